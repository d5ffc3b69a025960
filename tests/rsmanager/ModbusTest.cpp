#include "rsmanager/Modbus.h"

#include <gtest/gtest.h>

#include <random>

#include "rsmanager/PackageJoin.h"
#include "rsmanager/PackageModbus.h"

namespace {

using Bytes = std::vector<uint8_t>;

// Feeds the bytes one block each; returns the results byte by byte.
std::vector<uint8_t> Feed(TPackage& p, const Bytes& bytes) {
    std::vector<uint8_t> results;
    for (uint8_t b : bytes) results.push_back(p.ParseByte(b));
    return results;
}

// A reply of function 3 or 4 with its check, built here from the published layout.
Bytes Reply(uint8_t address, uint8_t function, const Bytes& data) {
    Bytes f;
    f.push_back(address);
    f.push_back(function);
    f.push_back(static_cast<uint8_t>(data.size()));
    for (uint8_t b : data) f.push_back(b);
    const uint16_t c = ModBusCRC16(f.data(), f.size());
    f.push_back(static_cast<uint8_t>(c & 0xFF));
    f.push_back(static_cast<uint8_t>(c >> 8));
    return f;
}

// The OWEN text form written from its description: '#', two letters per byte ('G' + the four
// bits, high ones first), the check high byte first, carriage return.
Bytes OwenText(const Bytes& bytes) {
    Bytes all = bytes;
    uint16_t reg = 0;
    for (uint8_t byte : bytes)
        for (int i = 0; i < 8; ++i) {
            const bool top = ((byte << i) & 0x80) != ((reg >> 8) & 0x80);
            reg = static_cast<uint16_t>(top ? (reg << 1) ^ 0x8F57 : reg << 1);
        }
    all.push_back(static_cast<uint8_t>(reg >> 8));
    all.push_back(static_cast<uint8_t>(reg & 0xFF));
    Bytes text = {'#'};
    for (uint8_t b : all) {
        text.push_back(static_cast<uint8_t>('G' + (b >> 4)));
        text.push_back(static_cast<uint8_t>('G' + (b & 15)));
    }
    text.push_back('\r');
    return text;
}

}  // namespace

TEST(ModbusCrc, PublishedValueAndBothFormsAgree) {
    const std::string digits = "123456789";
    EXPECT_EQ(ModBusCRC16(reinterpret_cast<const uint8_t*>(digits.data()), digits.size()), 0x4B37);
    EXPECT_EQ(ModBusCRC16Table(reinterpret_cast<const uint8_t*>(digits.data()), digits.size()), 0x4B37);
    std::mt19937 rng(7);
    for (int i = 0; i < 2000; ++i) {
        Bytes b(rng() % 300);
        for (auto& x : b) x = static_cast<uint8_t>(rng());
        ASSERT_EQ(ModBusCRC16(b.data(), b.size()), ModBusCRC16Table(b.data(), b.size()));
    }
}

TEST(ModbusRtuFramer, TheReplyIsOneMessageAndABadCheckIsRejected) {
    TPackageJoinModbusRtu p;
    const Bytes reply = {0x01, 0x03, 0x02, 0x00, 0x0A, 0x38, 0x43};
    EXPECT_EQ(Feed(p, reply), (std::vector<uint8_t>{0, 0, 0, 0, 0, 0, 1}));
    ASSERT_EQ(p.Count(), 1);
    EXPECT_EQ(p.PopMessage().data, reply);
    Bytes bad = reply;
    bad.back() ^= 1;
    EXPECT_EQ(Feed(p, bad).back(), 2);
    EXPECT_EQ(p.Count(), 0);
    // Two replies in one block, split anyhow: PutAll delivers both.
    Bytes two = reply;
    const Bytes second = Reply(2, 4, {0x12, 0x34, 0x56, 0x78});
    two.insert(two.end(), second.begin(), second.end());
    EXPECT_EQ(p.PutAll(two.data(), 5), 0);
    EXPECT_EQ(p.PutAll(two.data() + 5, two.size() - 5), 2);
}

TEST(ModbusTables, FunctionsThreeAndFourParseAndOthersDoNot) {
    TModbus m;
    EXPECT_EQ(m.Protocol().info.protocol, "MODBUS");
    EXPECT_EQ(m.Protocol().info.check, "ModBusCRC16");
    ASSERT_TRUE(m.ParseReply(Reply(1, 3, {0x00, 0x0A, 0xFF, 0xFE})));
    EXPECT_EQ(m.Contents().complete.values.at(0), 1u);
    EXPECT_EQ(m.Contents().complete.values.at(1), 3u);
    EXPECT_EQ(m.Contents().complete.values.at(2), 4u);
    EXPECT_EQ(m.Contents().complete.elements, (std::vector<uint32_t>{0x000A, 0xFFFE}));
    EXPECT_TRUE(m.ParseReply(Reply(247, 4, {})));
    EXPECT_FALSE(m.ParseReply(Reply(248, 3, {0, 1})));  // address above 247
    EXPECT_FALSE(m.ParseReply(Reply(1, 6, {0, 1})));    // not described
    EXPECT_FALSE(m.ParseReply(Reply(1, 3, {0, 1, 2})));  // odd register data
    Bytes shortened = Reply(1, 3, {0, 1, 2, 3});
    shortened[2] = 6;  // announces more than it holds
    EXPECT_FALSE(m.ParseReply(shortened));
    Bytes broken = Reply(1, 3, {0, 1});
    broken[3] ^= 0x40;
    EXPECT_FALSE(m.ParseReply(broken));
    EXPECT_FALSE(m.ParseReply({1, 3, 0}));

    TMapRom rom(4, 0);
    const uint8_t two[] = {0x12, 0x34};
    EXPECT_EQ(rom.Read(0, 2), -1);  // still free
    EXPECT_EQ(rom.Write(1, two, 2), 0);
    EXPECT_EQ(rom.Read(1, 2), 0x1234);
    EXPECT_EQ(rom.Write(2, two, 2), -1);  // meets a taken byte
    EXPECT_EQ(rom.Write(3, two, 2), -1);  // outside
}

TEST(ModbusFramer, CompletesAtTheLastByteAndGivesUpPastItsLimit) {
    TPackageJoinModbus p;
    const Bytes reply = Reply(1, 4, {0x01, 0x02});
    const auto results = Feed(p, reply);
    EXPECT_EQ(results.back(), 1);
    EXPECT_EQ(std::count(results.begin(), results.end(), 1), 1);
    EXPECT_EQ(p.PopMessage().data, reply);
    TPackageJoinModbus q;
    Bytes noise(129, 0x55);
    EXPECT_EQ(Feed(q, noise).back(), 2);
}

TEST(MercuryFramer, CompletesAtTheFourthByteAndHonoursItsAddressFilter) {
    Bytes reply = {0x01, 0x00};
    const uint16_t c = ModBusCRC16(reply.data(), reply.size());
    reply.push_back(static_cast<uint8_t>(c & 0xFF));
    reply.push_back(static_cast<uint8_t>(c >> 8));
    TPackageJoinMercury p;
    EXPECT_EQ(Feed(p, reply), (std::vector<uint8_t>{0, 0, 0, 1}));
    EXPECT_EQ(p.PopMessage().data, reply);
    TPackageJoinMercury filtered;
    filtered.SetAddressFilter({0x05});
    EXPECT_EQ(Feed(filtered, {0x01, 0x00}), (std::vector<uint8_t>{0, 0}));
    EXPECT_TRUE(filtered.Frame().empty());  // 01 was not taken as an address
    TPackageJoinMercury overlong;
    Bytes noise(31, 0x33);
    EXPECT_EQ(Feed(overlong, noise).back(), 2);
}

TEST(OwenFramer, FramesOfAnIndependentEncoderPassAndAChangedLetterFails) {
    const Bytes text = OwenText({0x10, 0x20, 0xAB, 0x01, 0x02, 0x03});
    EXPECT_TRUE(TOwenUtility::CheckFrame(text));
    TPackageJoinOwen p;
    const auto results = Feed(p, text);
    EXPECT_EQ(results.back(), 1);
    EXPECT_EQ(p.PopMessage().data, text);
    for (size_t i = 1; i + 1 < text.size(); ++i) {
        Bytes changed = text;
        changed[i] = changed[i] == 'V' ? 'G' : static_cast<uint8_t>(changed[i] + 1);
        EXPECT_FALSE(TOwenUtility::CheckFrame(changed)) << i;
    }
    EXPECT_FALSE(TOwenUtility::CheckFrame({'#', 'G', 'G', '\r'}));  // too short
    TPackageJoinOwen limited(20);
    EXPECT_EQ(Feed(limited, Bytes(21, 'G')).back(), 2);
}

TEST(AutoFramer, WithoutANameEachBlockIsAMessage) {
    TPackageAuto a;
    EXPECT_EQ(a.Name(), "HOLE");
    const Bytes block = {1, 2, 3};
    EXPECT_EQ(a.Put(block), 1);
    EXPECT_EQ(a.Put(block), 2);
    EXPECT_EQ(a.Candidates(), 0u);
    a.SetName("NONSENSE");
    EXPECT_EQ(a.Name(), "HOLE");
}

TEST(AutoFramer, CandidatesHuntUntilOneCompletesAndRejectedOnesGo) {
    TPackageAuto a;
    a.SetName("MODBUS_RTU");
    const Bytes reply = Reply(1, 3, {0x00, 0x0A});
    // Two blocks that hold no whole reply leave two candidates (each still assembling).
    a.Put(Bytes{0x09});
    a.Put(Bytes{0x03});
    EXPECT_EQ(a.Candidates(), 2u);
    // The reply in the next block: the two older candidates read it wrongly and fail their
    // check, the new one completes it, and all are dropped.
    a.Put(reply);
    ASSERT_EQ(a.Count(), 1);
    EXPECT_EQ(a.PopMessage().data, reply);
    EXPECT_EQ(a.Candidates(), 0u);

    // A whole reply in one block, followed by the start of the next: the tail is fed again.
    TPackageAuto b;
    b.SetName("MODBUS_RTU");
    Bytes two = reply;
    two.push_back(0x01);
    b.Put(two);
    EXPECT_EQ(b.Count(), 1);
    EXPECT_EQ(b.PopMessage().data, reply);
    EXPECT_EQ(b.Candidates(), 1u);  // the tail's candidate waits for more

    // A candidate whose check fails is dropped at the end of that block.
    TPackageAuto c;
    c.SetName("MODBUS_RTU");
    Bytes bad = reply;
    bad.back() ^= 0xFF;
    c.Put(bad);
    EXPECT_EQ(c.Count(), 0);
    EXPECT_EQ(c.Candidates(), 0u);
}

TEST(AutoFramer, ALineThatNeverCompletesKeepsABoundedList) {
    TPackageAuto a;
    a.SetName("VOLTAR");
    for (int i = 0; i < 1000; ++i) a.Put(Bytes{0x00});
    EXPECT_EQ(a.Candidates(), TPackageAuto::kMaxCandidates);
    EXPECT_EQ(a.Count(), 0);
}

TEST(PackageJoin, ModbusRtuAndAutoAreTheirOwnFramers) {
    TPackageJoin rtu("MODBUS_RTU");
    EXPECT_EQ(rtu.CurrentKind(), TPackageJoin::Kind::ModbusRtu);
    EXPECT_EQ(rtu.Framer().Name(), "MODBUS_RTU");
    TPackageJoin automatic("AUTO");
    EXPECT_EQ(automatic.CurrentKind(), TPackageJoin::Kind::Auto);
    EXPECT_NE(dynamic_cast<TPackageAuto*>(&automatic.Framer()), nullptr);
}
