#include <gtest/gtest.h>

#include <random>

#include "rsmanager/PackageJoin.h"

using Bytes = std::vector<uint8_t>;

namespace {

// A station frame with its check, built independently of the framer.
Bytes StationFrame(uint8_t start, const Bytes& data) {
    Bytes f = {start, static_cast<uint8_t>(data.size() >> 8), static_cast<uint8_t>(data.size())};
    f.insert(f.end(), data.begin(), data.end());
    uint16_t crc = 0;
    for (uint8_t b : f) {
        crc ^= static_cast<uint16_t>(b << 8);
        for (int i = 0; i < 8; ++i) crc = (crc & 0x8000) ? (crc << 1) ^ 0x8005 : crc << 1;
    }
    f.push_back(static_cast<uint8_t>(crc >> 8));
    f.push_back(static_cast<uint8_t>(crc));
    return f;
}

Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }

Bytes Cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

std::vector<Bytes> Drain(TPackage& f) {
    std::vector<Bytes> out;
    while (f.Count() > 0) {
        Message_T m = f.PopMessage();
        EXPECT_EQ(m.status, msgOk);
        out.push_back(m.data);
    }
    return out;
}

std::vector<Bytes> FeedInBlocks(TPackage& f, const Bytes& stream, const std::vector<size_t>& cuts) {
    size_t from = 0;
    for (size_t cut : cuts) {
        f.PutAll(stream.data() + from, cut - from);
        from = cut;
    }
    f.PutAll(stream.data() + from, stream.size() - from);
    return Drain(f);
}

const Bytes kPoll = {0x4D, 0x00, 0x01, 0x88, 0x61, 0x2D};  // the program's own state request

}  // namespace

TEST(VoltarFramer, TheProgramsOwnRequestIsASixByteFrame) {
    EXPECT_EQ(StationFrame('M', {0x88}), kPoll);
    TPackageJoinVoltar f;
    EXPECT_EQ(f.Verdict(), TPackage::kInitial);
    // One block, one frame: the byte behind it stays unparsed in the tail.
    EXPECT_EQ(f.Put(Cat({kPoll, {0x00}})), 1);
    EXPECT_EQ(f.Tail(), Bytes{0x00});
    EXPECT_EQ(f.Verdict(), TPackage::kComplete);
    EXPECT_EQ(Drain(f), std::vector<Bytes>{kPoll});
}

TEST(VoltarFramer, AFrameSplitAtAnyByteIsAssembled) {
    const Bytes frame = StationFrame('K', {0x73, 1, 2, 3, 4, 5, 6, 7, 8});
    for (size_t cut = 1; cut < frame.size(); ++cut) {
        TPackageJoinVoltar f;
        EXPECT_EQ(f.Put(Bytes(frame.begin(), frame.begin() + cut)), 0) << cut;
        EXPECT_EQ(f.Put(Bytes(frame.begin() + cut, frame.end())), 1) << cut;
        EXPECT_EQ(Drain(f), std::vector<Bytes>{frame}) << cut;
    }
}

TEST(VoltarFramer, EveryFrameOfABlockIsDeliveredInOrder) {
    const Bytes a = StationFrame('6', {0x7F, 0x10});
    const Bytes b = StationFrame('M', {0x68});
    TPackageJoinVoltar f;
    const Bytes block = Cat({{0x00, 0xFF}, a, {0x11}, b, {0x4D, 0x00}});
    EXPECT_EQ(f.PutAll(block.data(), block.size()), 2);
    EXPECT_EQ(Drain(f), (std::vector<Bytes>{a, b}));
    // The partial frame at the end of the block is completed by the next one.
    const Bytes rest = {0x01, 0x88, 0x61, 0x2D};
    EXPECT_EQ(f.PutAll(rest.data(), rest.size()), 1);
    EXPECT_EQ(Drain(f), std::vector<Bytes>{kPoll});

    Bytes many;
    std::vector<Bytes> expected;
    for (int i = 0; i < 1000; ++i) {
        expected.push_back(StationFrame('M', {static_cast<uint8_t>(i), static_cast<uint8_t>(i >> 8)}));
        many.insert(many.end(), expected.back().begin(), expected.back().end());
    }
    EXPECT_EQ(f.PutAll(many.data(), many.size()), 1000);
    EXPECT_EQ(Drain(f), expected);
}

TEST(VoltarFramer, ABadCheckDeliversNothingAndTheVerdictStaysRejected) {
    Bytes bad = kPoll;
    bad[5] ^= 0x01;
    TPackageJoinVoltar f;
    EXPECT_EQ(f.Put(bad), 0);
    EXPECT_EQ(f.Verdict(), TPackage::kRejected);
    EXPECT_EQ(f.Put(kPoll), 1);
    EXPECT_EQ(f.Verdict(), TPackage::kRejected);
    EXPECT_EQ(Drain(f), std::vector<Bytes>{kPoll});
}

TEST(VoltarFramer, LengthsAboveTheLimitAreDroppedAtTheThirdByte) {
    TPackageJoinVoltar f;
    // 4D 01 00 announces 256 bytes: dropped, and hunting resumes with the very next byte.
    const Bytes s = Cat({{0x4D, 0x01, 0x00}, kPoll});
    EXPECT_EQ(f.PutAll(s.data(), s.size()), 1);
    EXPECT_EQ(Drain(f), std::vector<Bytes>{kPoll});
    EXPECT_TRUE(f.Frame().empty());
}

TEST(VoltarFramer, ALengthOfZeroStillTakesOneDataByte) {
    TPackageJoinVoltar f;
    // Announces 0 but carries one data byte, with the check over all four.
    const Bytes rebuilt = [] {
        Bytes g = {0x4D, 0x00, 0x00, 0x55};
        uint16_t crc = 0;
        for (uint8_t b : g) {
            crc ^= static_cast<uint16_t>(b << 8);
            for (int i = 0; i < 8; ++i) crc = (crc & 0x8000) ? (crc << 1) ^ 0x8005 : crc << 1;
        }
        g.push_back(static_cast<uint8_t>(crc >> 8));
        g.push_back(static_cast<uint8_t>(crc));
        return g;
    }();
    EXPECT_EQ(f.Put(rebuilt), 1);
    EXPECT_EQ(Drain(f), std::vector<Bytes>{rebuilt});
}

TEST(VoltarFramer, HowBytesAreSplitIntoBlocksNeverChangesWhatIsDelivered) {
    std::mt19937 rng(7);
    for (int round = 0; round < 200; ++round) {
        Bytes stream;
        while (stream.size() < 600) {
            switch (rng() % 5) {
                case 0: stream.push_back(static_cast<uint8_t>(rng())); break;  // noise
                case 1: {  // a frame with a broken check
                    Bytes b = StationFrame('K', {static_cast<uint8_t>(rng())});
                    b.back() ^= 0x80;
                    stream.insert(stream.end(), b.begin(), b.end());
                    break;
                }
                case 2: stream.insert(stream.end(), {0x4D, static_cast<uint8_t>(rng() % 3), 0xFF}); break;
                default: {
                    Bytes data(rng() % 80);
                    for (auto& x : data) x = static_cast<uint8_t>(rng());
                    const Bytes b = StationFrame("6KM"[rng() % 3], data);
                    stream.insert(stream.end(), b.begin(), b.end());
                }
            }
        }
        TPackageJoinVoltar whole;
        const auto expected = FeedInBlocks(whole, stream, {});
        std::vector<size_t> every(stream.size() - 1);
        for (size_t i = 0; i < every.size(); ++i) every[i] = i + 1;
        TPackageJoinVoltar single;
        EXPECT_EQ(FeedInBlocks(single, stream, every), expected) << round;
        std::vector<size_t> random;
        for (size_t at = rng() % 50; at < stream.size(); at += 1 + rng() % 50) random.push_back(at);
        TPackageJoinVoltar split;
        EXPECT_EQ(FeedInBlocks(split, stream, random), expected) << round;
        for (const Bytes& m : expected) {
            ASSERT_GE(m.size(), 6u);
            EXPECT_EQ(StationFrame(m[0], Bytes(m.begin() + 3, m.end() - 2)), m);
        }
    }
}

TEST(VoltarFramer, AHundredKilobyteReadOfNoiseDeliversOnlyValidFramesInBoundedSpace) {
    std::mt19937 rng(11);
    Bytes noise(100 * 1024);
    for (auto& b : noise) b = static_cast<uint8_t>(rng());
    const Bytes frame = StationFrame('M', {0x68, 0x01});
    noise.insert(noise.begin() + 50000, frame.begin(), frame.end());
    TPackageJoinVoltar f;
    f.PutAll(noise.data(), noise.size());
    EXPECT_LE(f.Frame().size(), 256u);
    size_t valid = 0;
    for (const Bytes& m : Drain(f)) {
        EXPECT_EQ(StationFrame(m[0], Bytes(m.begin() + 3, m.end() - 2)), m);
        valid += m == frame;
    }
    // The planted frame survives unless the noise just before it opened a frame that swallowed
    // its first bytes; with this seed it does not.
    EXPECT_EQ(valid, 1u);
}

TEST(IcpFramer, AReplyUpToItsCarriageReturnIsOneMessage) {
    TPackageJoinIcpcon f;
    const Bytes reply = Text(">1234567\r");
    EXPECT_EQ(f.Put(Text(">1234567")), 0);  // held until the carriage return
    EXPECT_EQ(f.Put(Text("\r")), 1);
    EXPECT_EQ(Drain(f), std::vector<Bytes>{reply});
    EXPECT_EQ(Drain(f).size(), 0u);
    // Noise before the start character is skipped; every start character opens a reply.
    const Bytes s = Text("xx\x01!01\r#02\r$03\r%04\r@05\r~06\r");
    EXPECT_EQ(f.PutAll(s.data(), s.size()), 6);
    EXPECT_EQ(Drain(f), (std::vector<Bytes>{Text("!01\r"), Text("#02\r"), Text("$03\r"),
                                            Text("%04\r"), Text("@05\r"), Text("~06\r")}));
}

TEST(IcpFramer, RepliesLongerThanTwentyBytesAreNeverDelivered) {
    TPackageJoinIcpcon f;
    const Bytes twenty = Cat({Text(">"), Bytes(18, '0'), Text("\r")});
    EXPECT_EQ(f.Put(twenty), 1);
    EXPECT_EQ(Drain(f), std::vector<Bytes>{twenty});
    const Bytes longer = Cat({Text(">"), Bytes(19, '0'), Text("\r")});
    EXPECT_EQ(f.Put(longer), 0);
    EXPECT_EQ(f.Verdict(), TPackage::kRejected);
    // Everything keeps being swallowed until the general limit drops the frame...
    EXPECT_EQ(f.Put(Text(">1\r")), 0);
    Bytes filler(300, 'A');
    f.PutAll(filler.data(), filler.size());
    EXPECT_LE(f.Frame().size(), 251u);
    // ...after which replies are read again.
    const Bytes next = Text(">2\r");
    EXPECT_EQ(f.PutAll(next.data(), next.size()), 1);
    EXPECT_EQ(Drain(f), std::vector<Bytes>{next});
    // Text without any start character never becomes a message and never grows.
    TPackageJoinIcpcon g;
    const Bytes noise(100000, 'Z');
    EXPECT_EQ(g.PutAll(noise.data(), noise.size()), 0);
    EXPECT_TRUE(g.Frame().empty());
}

TEST(PackageJoin, NamesChooseTheFramerExactlyAndUnknownNamesReadRawBlocks) {
    EXPECT_EQ(TPackageJoin("VOLTAR").CurrentKind(), TPackageJoin::Kind::Voltar);
    EXPECT_EQ(TPackageJoin("ICP").CurrentKind(), TPackageJoin::Kind::Icp);
    EXPECT_EQ(TPackageJoin("HOLE").CurrentKind(), TPackageJoin::Kind::Hole);
    EXPECT_EQ(TPackageJoin("MODBUS_RTU").CurrentKind(), TPackageJoin::Kind::ModbusRtu);
    EXPECT_EQ(TPackageJoin("AUTO").CurrentKind(), TPackageJoin::Kind::Auto);
    TPackageJoin raw("voltar");  // names are exact
    EXPECT_EQ(raw.CurrentKind(), TPackageJoin::Kind::Hole);
    const Bytes block = {0x4D, 0x00, 0x01};
    EXPECT_EQ(raw.AddDataAll(block.data(), block.size()), 1);
    EXPECT_EQ(raw.AddDataAll(block.data(), 0), 1);  // an empty block adds nothing
    EXPECT_EQ(raw.PopMessage().data, block);

    TPackageJoin v("VOLTAR");
    v.AddDataAll(kPoll.data(), 3);
    v.Clear();  // the partial frame goes too
    v.AddDataAll(kPoll.data() + 3, 3);
    EXPECT_EQ(v.Count(), 0);
}
