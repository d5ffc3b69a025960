#include "eeprom/PzuSession.h"

#include <gtest/gtest.h>

#include "link/StationCodec.h"
#include "support/TempDir.h"

namespace {

std::string Bytes(size_t n, int seed = 0) {
    std::string s(n, '\0');
    for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>((i * 7 + static_cast<size_t>(seed)) & 0xFF);
    return s;
}

// The answer a faithful EEPROM gives: device, address, count, the block's bytes.
std::vector<uint8_t> Answer(uint16_t address, const std::array<uint8_t, 64>& block) {
    std::vector<uint8_t> d;
    d.reserve(68);
    d.push_back(0xA0);
    d.push_back(static_cast<uint8_t>(address >> 8));
    d.push_back(static_cast<uint8_t>(address & 0xFF));
    d.push_back(0x40);
    for (uint8_t b : block) d.push_back(b);
    return d;
}

}  // namespace

TEST(PzuSession, PacketsAreTheStationCodecsFramesOfTheBlockCommands) {
    std::array<uint8_t, 64> data{};
    std::string text = "00 45 15 a0 7f c0 40";
    for (size_t i = 0; i < 64; ++i) {
        data[i] = static_cast<uint8_t>(255 - i);
        text += " " + BytesToHex(&data[i], 1, "");
    }
    const auto write = TPzuSession::WritePacket(0x7FC0, data.data());
    ASSERT_EQ(write.size(), 75u);
    EXPECT_EQ(write, BuildRequestPacket(text).bytes);
    const auto read = TPzuSession::ReadPacket(0x0040);
    ASSERT_EQ(read.size(), 11u);
    EXPECT_EQ(read, BuildRequestPacket("00 05 10 a0 00 40 40").bytes);
}

TEST(PzuSession, ProgrammingAFullFileSends512BlocksThenFinishes) {
    TempDir dir;
    const std::string path = dir.Write("pch.pzu", Bytes(32768));
    TPzuSession s;
    std::string error;
    ASSERT_TRUE(s.OpenSettings(path, error));
    ASSERT_TRUE(s.LengthUsable(error));
    ASSERT_TRUE(s.OpenReadBack(path));
    s.Start(true);
    for (int k = 0; k < 512; ++k) {
        const auto t = s.OnTick();
        ASSERT_EQ(t.what, TPzuSession::Tick::Send) << k;
        ASSERT_EQ(t.address, 64 * k);
        EXPECT_EQ(s.OnTick().what, TPzuSession::Tick::Waiting);  // one block outstanding at a time
        const auto a = s.OnAnswer(Answer(t.address, s.Block()).data());
        EXPECT_EQ(a.firstDifference, -1);
    }
    EXPECT_EQ(s.OnTick().what, TPzuSession::Tick::Finished);
    EXPECT_EQ(s.ErrorCount(), 0);
    s.CloseFiles();
    EXPECT_EQ(dir.Read("pch.A0"), Bytes(32768));
}

TEST(PzuSession, AShortFileIsOneBlockAndOtherLengthsAreRefused) {
    TempDir dir;
    TPzuSession s;
    std::string error;
    ASSERT_TRUE(s.OpenSettings(dir.Write("s.pzu", Bytes(29, 3)), error));
    ASSERT_TRUE(s.LengthUsable(error));
    s.Start(true);
    const auto t = s.OnTick();
    ASSERT_EQ(t.what, TPzuSession::Tick::Send);
    EXPECT_EQ(t.address, 0);
    EXPECT_EQ(t.packet[8 + 28], static_cast<uint8_t>(Bytes(29, 3)[28]));
    EXPECT_EQ(t.packet[8 + 29], 0);  // the rest of the block as the buffer held it
    s.OnAnswer(Answer(0, s.Block()).data());
    EXPECT_EQ(s.OnTick().what, TPzuSession::Tick::Finished);

    ASSERT_TRUE(s.OpenSettings(dir.Write("odd.pzu", Bytes(1000)), error));
    EXPECT_FALSE(s.LengthUsable(error));
    EXPECT_NE(error.find("1000"), std::string::npos);
    EXPECT_FALSE(s.OpenSettings(dir.File("none.pzu"), error));
    EXPECT_EQ(error, "Нет файла с уставками  " + dir.File("none.pzu") + ".");
    EXPECT_EQ(TPzuSession::ReadBackPath("a.b/pch.pzu"), "a.b/pch.A0");
    EXPECT_EQ(TPzuSession::ReadBackPath("a.b/pch"), "a.b/pch.A0");
}

TEST(PzuSession, ReadingComparesEveryBlockAndKeepsWhatTheEepromSaid) {
    TempDir dir;
    const std::string path = dir.Write("pch.pzu", Bytes(32768, 1));
    TPzuSession s;
    std::string error;
    ASSERT_TRUE(s.OpenSettings(path, error));
    ASSERT_TRUE(s.OpenReadBack(path));
    s.Start(false);
    std::string eeprom;
    for (int k = 0; k < 512; ++k) {
        const auto t = s.OnTick();
        ASSERT_EQ(t.what, TPzuSession::Tick::Send);
        EXPECT_EQ(t.packet, TPzuSession::ReadPacket(static_cast<uint16_t>(64 * k)));
        auto block = s.Block();
        if (k == 100) block[17] ^= 0xFF;
        const auto a = s.OnAnswer(Answer(t.address, block).data());
        EXPECT_EQ(a.firstDifference, k == 100 ? 17 : -1);
        eeprom.append(block.begin(), block.end());
    }
    EXPECT_EQ(s.OnTick().what, TPzuSession::Tick::Finished);
    EXPECT_EQ(s.ErrorCount(), 1);
    s.CloseFiles();
    EXPECT_EQ(dir.Read("pch.A0"), eeprom);
}

TEST(PzuSession, AnUnansweredBlockGoesAgainThreeTimesThenTheOperatorDecides) {
    TempDir dir;
    TPzuSession s;
    std::string error;
    ASSERT_TRUE(s.OpenSettings(dir.Write("pch.pzu", Bytes(32768)), error));
    s.Start(true);
    const auto first = s.OnTick();
    int repeats = 0;
    for (int tick = 1; tick <= 4 * TPzuSession::kRepeatAfterTicks; ++tick) {
        const auto t = s.OnTick();
        if (t.what == TPzuSession::Tick::Repeat) {
            ++repeats;
            EXPECT_EQ(t.packet, first.packet);
            EXPECT_EQ(tick % TPzuSession::kRepeatAfterTicks, 0);
        } else if (t.what == TPzuSession::Tick::AskGiveUp) {
            EXPECT_EQ(tick, 4 * TPzuSession::kRepeatAfterTicks);
        } else {
            EXPECT_EQ(t.what, TPzuSession::Tick::Waiting);
        }
    }
    EXPECT_EQ(repeats, TPzuSession::kMaxRepeats);
    s.KeepWaiting();
    for (int tick = 1; tick < TPzuSession::kRepeatAfterTicks; ++tick) EXPECT_EQ(s.OnTick().what, TPzuSession::Tick::Waiting);
    EXPECT_EQ(s.OnTick().what, TPzuSession::Tick::Repeat);
    // A late answer lets the next block go at the next tick.
    s.OnAnswer(Answer(0, s.Block()).data());
    const auto next = s.OnTick();
    EXPECT_EQ(next.address, 64);
    // The answer to a repeat of block 0 comes after it: not block 64's, not an error, and the
    // read-back is not written; block 64's own answer still counts.
    std::array<uint8_t, 64> other{};
    other.fill(0x77);
    const auto late = s.OnAnswer(Answer(0, other).data());
    EXPECT_TRUE(late.foreign);
    EXPECT_EQ(s.ErrorCount(), 0);
    EXPECT_FALSE(s.Answered());
    EXPECT_FALSE(s.OnAnswer(Answer(64, s.Block()).data()).foreign);
    EXPECT_TRUE(s.Answered());
}
