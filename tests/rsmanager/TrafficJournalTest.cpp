#include "rsmanager/TrafficJournal.h"

#include <gtest/gtest.h>

#include <fstream>
#include <thread>

using Bytes = std::vector<uint8_t>;

namespace {

Bytes Frame(uint64_t n, size_t size) {
    Bytes b(size);
    for (size_t i = 0; i < size; ++i) b[i] = static_cast<uint8_t>(n + i);
    return b;
}

long ResidentKiB() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
    return -1;
}

}  // namespace

TEST(TrafficJournal, FramesComeBackWithTheirTimesDirectionAndVerdictInOrder) {
    TTrafficJournal j;
    const Bytes poll = {0x4D, 0x00, 0x01, 0x88, 0x61, 0x2D, 0x00};
    j.AddAt(1, JournalDir::Out, poll.data(), poll.size(), true, 1765272184123, 42);
    j.AddAt(2, JournalDir::In, poll.data(), 3, false, 1765272184124, 43);
    const auto frames = j.Read(0, 10);
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(frames[0].seq, 0u);
    EXPECT_EQ(frames[0].wallMs, 1765272184123);
    EXPECT_EQ(frames[0].monoUs, 42);
    EXPECT_EQ(frames[0].channel, 1);
    EXPECT_EQ(frames[0].dir, JournalDir::Out);
    EXPECT_TRUE(frames[0].accepted);
    EXPECT_EQ(frames[0].bytes, poll);
    EXPECT_EQ(frames[1].bytes, Bytes(poll.begin(), poll.begin() + 3));
    EXPECT_FALSE(frames[1].accepted);
    EXPECT_EQ(j.Read(1, 10).size(), 1u);
    EXPECT_EQ(j.Read(0, 1).size(), 1u);
    // Live frames take both clocks.
    j.Add(1, JournalDir::In, poll.data(), poll.size(), true);
    const auto live = j.Read(2, 1).at(0);
    EXPECT_GT(live.wallMs, 1765272184124);
    EXPECT_GT(live.monoUs, 0);
}

TEST(TrafficJournal, AMillionFramesKeepTheLastOnesInFlatMemory) {
    TTrafficJournal j;
    const Bytes f = Frame(0, 35);  // a state answer's length
    auto add = [&](uint64_t n) {
        for (uint64_t i = 0; i < n; ++i) j.AddAt(1, JournalDir::In, f.data(), f.size(), true, 0, 0);
    };
    // 16 MiB of 35-byte frames: both rings have gone round once after 480,000.
    add(500000);
    const long afterFill = ResidentKiB();
    add(500000);
    const long afterMillion = ResidentKiB();
    EXPECT_EQ(j.NextSeq(), 1000000u);
    EXPECT_GE(j.NextSeq() - j.FirstHeld(), TTrafficJournal::kMinFrames);
    EXPECT_EQ(j.NextSeq() - j.FirstHeld(), TTrafficJournal::kSlots);
    // The rings were full after the first half: half a million more frames cost nothing.
    EXPECT_LT(afterMillion - afterFill, 1024) << afterFill << " KiB, then " << afterMillion << " KiB";
    const auto old = j.Read(0, 5);
    ASSERT_EQ(old.size(), 5u);
    EXPECT_EQ(old[0].seq, j.FirstHeld());
    EXPECT_EQ(old[0].bytes, f);
}

TEST(TrafficJournal, LargeFramesPushOutOldOnesByTheirBytesAndLongOnesKeepTheirHead) {
    // A small journal shows the byte ring's own bound: 10 slots, 100 bytes.
    TTrafficJournal j(10, 100);
    for (uint64_t n = 0; n < 5; ++n) {
        const Bytes f = Frame(n, 30);
        j.AddAt(1, JournalDir::In, f.data(), f.size(), true, 0, 0);
    }
    // 150 bytes were written; the last three frames (90 bytes) are whole, the two before are gone.
    EXPECT_EQ(j.FirstHeld(), 2u);
    const auto held = j.Read(0, 10);
    ASSERT_EQ(held.size(), 3u);
    for (size_t i = 0; i < 3; ++i) EXPECT_EQ(held[i].bytes, Frame(i + 2, 30)) << i;  // across the wrap

    TTrafficJournal big;
    const Bytes huge = Frame(7, TTrafficJournal::kMaxStoredFrame + 100);
    big.AddAt(1, JournalDir::Out, huge.data(), huge.size(), true, 0, 0);
    const auto f = big.Read(0, 1).at(0);
    EXPECT_EQ(f.size, huge.size());
    EXPECT_EQ(f.bytes, Bytes(huge.begin(), huge.begin() + TTrafficJournal::kMaxStoredFrame));
}

TEST(TrafficJournal, ClearForgetsFramesAndNumbersGoOn) {
    TTrafficJournal j;
    const Bytes f = Frame(1, 4);
    j.AddAt(1, JournalDir::In, f.data(), f.size(), true, 0, 0);
    j.Clear();
    EXPECT_TRUE(j.Read(0, 10).empty());
    j.AddAt(1, JournalDir::In, f.data(), f.size(), true, 0, 0);
    const auto frames = j.Read(0, 10);
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0].seq, 1u);
}

TEST(TrafficJournal, WritersOnFourThreadsAndAReaderLoseNothingTheRingHolds) {
    TTrafficJournal j;
    constexpr int kPerThread = 20000;
    std::vector<std::thread> writers;
    for (uint8_t t = 0; t < 4; ++t)
        writers.emplace_back([&j, t] {
            for (int i = 0; i < kPerThread; ++i) {
                const Bytes f = {t, static_cast<uint8_t>(i), static_cast<uint8_t>(i >> 8)};
                j.Add(static_cast<uint8_t>(t % 2 + 1), t < 2 ? JournalDir::Out : JournalDir::In, f.data(), f.size(), true);
            }
        });
    uint64_t seen = 0;
    while (seen < 4 * kPerThread - j.Missed()) {
        const auto frames = j.Read(seen, 4096);
        for (const auto& f : frames) {
            ASSERT_EQ(f.seq, seen);  // nothing is forgotten: 80,000 frames fit
            ASSERT_EQ(f.bytes.size(), 3u);
            ++seen;
        }
        if (frames.empty()) std::this_thread::yield();
    }
    for (auto& w : writers) w.join();
    EXPECT_EQ(j.NextSeq() + j.Missed(), 4u * kPerThread);
}
