#include "rsmanager/RsManager.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <thread>

#include "rsmanager/Diagnostics.h"
#include "rsmanager/PackageJoin.h"
#include "support/Pty.h"
#include "support/TempDir.h"

using Bytes = std::vector<uint8_t>;
using namespace std::chrono_literals;

namespace {

// Records every notification; a test waits for the ones it expects, with a deadline.
class RecordingPoster : public platform::WindowPoster {
public:
    void post(int message) override {
        std::lock_guard lock(mutex_);
        messages_.push_back(message);
        changed_.notify_all();
    }
    int CountOf(int message) {
        std::lock_guard lock(mutex_);
        return static_cast<int>(std::count(messages_.begin(), messages_.end(), message));
    }
    bool WaitFor(int message, int count, std::chrono::milliseconds within = 3s) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, within, [&] {
            return std::count(messages_.begin(), messages_.end(), message) >= count;
        });
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<int> messages_;
};


struct Channel {
    TQueueMessages send, receive;
    RecordingPoster poster;
    TRsManager manager{&send, &receive, 1024, 1025};

    explicit Channel(const std::string& protocol = "VOLTAR") {
        manager.SetWindow(&poster);
        manager.SetProtocol(protocol);
        manager.SetSenderPeriod(10);
        manager.SetReceiveWait(100);
    }
    std::vector<Bytes> Received() {
        std::vector<Bytes> out;
        while (receive.Count() > 0) out.push_back(receive.Pop());
        return out;
    }
};

Bytes Crc(Bytes frame) {
    uint16_t crc = 0;
    for (uint8_t b : frame) {
        crc ^= static_cast<uint16_t>(b << 8);
        for (int i = 0; i < 8; ++i) crc = (crc & 0x8000) ? (crc << 1) ^ 0x8005 : crc << 1;
    }
    frame.push_back(static_cast<uint8_t>(crc >> 8));
    frame.push_back(static_cast<uint8_t>(crc));
    return frame;
}

const Bytes kPoll = {0x4D, 0x00, 0x01, 0x88, 0x61, 0x2D};
const Bytes kReply = Crc({0x4B, 0x00, 0x02, 0x73, 0x01});

}  // namespace

TEST(RsManager, OpeningAMissingPortFailsAndAValidOneThenOpens) {
    Channel ch;
    ch.manager.SetPort("/dev/no-such-port");
    EXPECT_EQ(ch.manager.Open(), -1);
    EXPECT_FALSE(ch.manager.IsOpen());
    Pty pty;
    ch.manager.SetPort(pty.SlavePath());
    EXPECT_EQ(ch.manager.Open(), 0);
    EXPECT_TRUE(ch.manager.IsOpen());
    EXPECT_EQ(ch.manager.Open(), -1);  // already open: nothing changes
    EXPECT_TRUE(ch.manager.IsOpen());
    EXPECT_EQ(ch.manager.Close(), 0);
    EXPECT_FALSE(ch.manager.IsOpen());
    EXPECT_EQ(ch.manager.Close(), 0);  // closing a closed manager is harmless
    EXPECT_FALSE(ch.manager.IsOpen());
}

TEST(RsManager, CloseWakesAReceiverWaitingForInputAndFreesThePort) {
    Pty pty;
    Channel ch;
    ch.manager.SetPort(pty.SlavePath());
    ASSERT_EQ(ch.manager.Open(), 0);
    std::this_thread::sleep_for(50ms);  // the receiver waits for input by now
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(ch.manager.Close(), 0);
    // Woken at once: neither a receive wait waited out nor a thread ended by force.
    EXPECT_LT(std::chrono::steady_clock::now() - t0, 1s);
    EXPECT_FALSE(ch.manager.IsOpen());
    Channel other;
    other.manager.SetPort(pty.SlavePath());
    EXPECT_EQ(other.manager.Open(), 0);
    pty.Write(kPoll);
    EXPECT_TRUE(other.poster.WaitFor(1024, 1));
}

TEST(RsManager, APortThatCannotTakeTheSettingsIsNotLeftOpen) {
    Pty pty;
    TempDir dir;
    Channel ch;
    ch.manager.LoadConfig(dir.Write("c.ini", "[port_setting]\nbaud_rate=fast\n"));
    ch.manager.SetPort(pty.SlavePath());
    EXPECT_EQ(ch.manager.Open(), -1);
    EXPECT_FALSE(ch.manager.IsOpen());
    Channel other;  // the port was released
    other.manager.SetPort(pty.SlavePath());
    EXPECT_EQ(other.manager.Open(), 0);
}

TEST(RsManager, OnePushMakesExactlyOneWriteOfTheSameBytes) {
    Pty pty;
    Channel ch;
    ch.manager.SetPort(pty.SlavePath());
    ASSERT_EQ(ch.manager.Open(), 0);
    ch.send.Push(kPoll);
    EXPECT_EQ(pty.Read(kPoll.size(), 3s), kPoll);
    ASSERT_TRUE(ch.poster.WaitFor(1025, 1));
    // Nothing more follows: a second copy would arrive within a few sender periods.
    EXPECT_TRUE(pty.Read(1, 200ms).empty());
    EXPECT_EQ(ch.poster.CountOf(1025), 1);
    EXPECT_EQ(ch.send.Count(), 0);
}

TEST(RsManager, TheSenderWritesAtMostOneMessagePerPeriod) {
    Pty pty;
    Channel ch;
    ch.manager.SetSenderPeriod(40);
    ch.manager.SetPort(pty.SlavePath());
    ASSERT_EQ(ch.manager.Open(), 0);
    const auto start = std::chrono::steady_clock::now();
    for (uint8_t i = 0; i < 5; ++i) ch.send.Push({i});
    Bytes got;
    while (got.size() < 5) {
        const Bytes b = pty.Read(1, 3s);
        ASSERT_FALSE(b.empty());
        got.insert(got.end(), b.begin(), b.end());
    }
    const auto last = std::chrono::steady_clock::now();
    EXPECT_EQ(got, (Bytes{0, 1, 2, 3, 4}));
    // Five messages at one per period need at least four whole periods. Only this lower bound
    // is checked: a busy machine delays the reader (and may see two bytes in one read), which
    // can only lengthen the span, never shorten it.
    EXPECT_GE(last - start, 4 * 40ms);
}

TEST(RsManager, AFrameSplitOverTwoReadsIsAssembled) {
    Pty pty;
    Channel ch;
    ch.manager.SetPort(pty.SlavePath());
    ASSERT_EQ(ch.manager.Open(), 0);
    pty.Write(Bytes(kReply.begin(), kReply.begin() + 3));
    std::this_thread::sleep_for(30ms);  // let the first half be read on its own
    EXPECT_EQ(ch.receive.Count(), 0);
    pty.Write(Bytes(kReply.begin() + 3, kReply.end()));
    ASSERT_TRUE(ch.poster.WaitFor(1024, 1));
    EXPECT_EQ(ch.Received(), std::vector<Bytes>{kReply});
}

TEST(RsManager, TwoFramesInOneReadAreBothDeliveredAndAPartialOneWaits) {
    Pty pty;
    Channel ch;
    ch.manager.SetPort(pty.SlavePath());
    ASSERT_EQ(ch.manager.Open(), 0);
    Bytes both = kReply;
    both.insert(both.end(), kPoll.begin(), kPoll.end());
    both.insert(both.end(), kReply.begin(), kReply.begin() + 4);
    pty.Write(both);
    ASSERT_TRUE(ch.poster.WaitFor(1024, 2));
    pty.Write(Bytes(kReply.begin() + 4, kReply.end()));
    ASSERT_TRUE(ch.poster.WaitFor(1024, 3));
    EXPECT_EQ(ch.Received(), (std::vector<Bytes>{kReply, kPoll, kReply}));
}

TEST(RsManager, AFrameWithABadCheckIsNotDeliveredAndPostsNothing) {
    Pty pty;
    Channel ch;
    ch.manager.SetPort(pty.SlavePath());
    ASSERT_EQ(ch.manager.Open(), 0);
    Bytes bad = kReply;
    bad[4] ^= 0xFF;
    pty.Write(bad);
    pty.Write(kPoll);  // a good frame behind it shows the bad one was read and dropped
    ASSERT_TRUE(ch.poster.WaitFor(1024, 1));
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(ch.poster.CountOf(1024), 1);
    EXPECT_EQ(ch.Received(), std::vector<Bytes>{kPoll});
}

TEST(RsManager, SettingsLoadedWhileOpenApplyAtTheNextOpen) {
    Pty pty;
    TempDir dir;
    Channel ch("VOLTAR");
    ch.manager.SetPort(pty.SlavePath());
    ASSERT_EQ(ch.manager.Open(), 0);
    ch.manager.LoadConfig(dir.Write("c.ini", "[DEVICE]\nname=ICP\n[TIMERS]\nComPortSender=30\n"));
    ch.manager.SetPort(pty.SlavePath());  // the file named COM1; the channel keeps its port
    pty.Write(kPoll);
    ASSERT_TRUE(ch.poster.WaitFor(1024, 1));
    EXPECT_EQ(ch.Received(), std::vector<Bytes>{kPoll});  // still the station framer

    ASSERT_EQ(ch.manager.Close(), 0);
    ASSERT_EQ(ch.manager.Open(), 0);
    const Bytes dcon = {'>', '0', '0', '\r'};
    pty.Write(kPoll);
    pty.Write(dcon);
    ASSERT_TRUE(ch.poster.WaitFor(1024, 2));
    EXPECT_EQ(ch.Received(), std::vector<Bytes>{dcon});  // now the module framer
}

TEST(RsManager, AVanishedDeviceIsReportedOnceAndTheManagerRecovers) {
    std::vector<std::string> diagnostics;
    std::mutex dm;
    SetRsDiagnosticsSink([&](const std::string& t) {
        std::lock_guard lock(dm);
        diagnostics.push_back(t);
    });
    auto pty = std::make_unique<Pty>();
    Channel ch;
    ch.manager.SetPort(pty->SlavePath());
    ASSERT_EQ(ch.manager.Open(), 0);
    EXPECT_FALSE(ch.manager.LinkFailed());
    pty->CloseMaster();
    ASSERT_TRUE(ch.poster.WaitFor(1026, 1));
    EXPECT_TRUE(ch.manager.LinkFailed());
    EXPECT_FALSE(ch.manager.LinkError().empty());
    // Writes to the dead line are dropped, not retried.
    ch.send.Push(kPoll);
    for (int i = 0; i < 300 && ch.send.Count() != 0; ++i) std::this_thread::sleep_for(10ms);
    EXPECT_EQ(ch.send.Count(), 0);
    std::this_thread::sleep_for(250ms);  // a few receive waits
    EXPECT_EQ(ch.poster.CountOf(1026), 1);
    EXPECT_EQ(ch.manager.Close(), 0);
    SetRsDiagnosticsSink(nullptr);
    {
        std::lock_guard lock(dm);
        // One report per receive wait at most, not a spinning thread.
        const auto reads = std::count(diagnostics.begin(), diagnostics.end(),
                                      std::string(rsdiag::kReadFailed));
        EXPECT_GE(reads, 1);
        EXPECT_LE(reads, 20);
    }

    pty = std::make_unique<Pty>();  // the adapter is back (under a new name here)
    ch.manager.SetPort(pty->SlavePath());
    ASSERT_EQ(ch.manager.Open(), 0);
    EXPECT_FALSE(ch.manager.LinkFailed());
    pty->Write(kPoll);
    ASSERT_TRUE(ch.poster.WaitFor(1024, 1));
}

TEST(RsManager, AReadThatFindsNothingIsNotALostLink) {
    // Input was announced, then a purge took it before the read: zero bytes. The line is
    // alive; a loss latched here would hide the real one later (the vanished-device test).
    Pty pty;
    platform::SerialPort port;
    ASSERT_TRUE(port.Open(pty.SlavePath()));
    RecordingPoster poster;
    TMutexVar<bool> run(false);  // no back-off sleeps in this test
    TLinkState link;
    ThreadParam_T param;
    param.port = &port;
    param.window = &poster;
    param.runFlag = &run;
    param.link = &link;
    TPackageJoin framer("VOLTAR");
    RsFunc::ReadData(param, framer);
    EXPECT_FALSE(link.Failed());
    EXPECT_EQ(link.Error(), "");
    EXPECT_EQ(poster.CountOf(1026), 0);
}

TEST(RsManager, NoiseAndLongStreamsDeliverOnlyValidFrames) {
    Pty pty;
    Channel ch;
    ch.manager.SetPort(pty.SlavePath());
    ASSERT_EQ(ch.manager.Open(), 0);
    Bytes stream;
    std::vector<Bytes> expected;
    uint32_t x = 12345;
    for (int i = 0; i < 1000; ++i) {
        for (int k = 0; k < 7; ++k) {
            x = x * 1103515245 + 12345;
            const uint8_t noise = static_cast<uint8_t>(x >> 16);
            // Noise never contains a start byte here, so every frame behind it is whole.
            stream.push_back(noise == 0x36 || noise == 0x4B || noise == 0x4D ? 0 : noise);
        }
        expected.push_back(Crc({0x4B, 0x00, 0x02, 0x73, static_cast<uint8_t>(i)}));
        stream.insert(stream.end(), expected.back().begin(), expected.back().end());
    }
    pty.Write(stream);  // ~14 KB, read in blocks of at most 1200 bytes
    ASSERT_TRUE(ch.poster.WaitFor(1024, 1000, 10s));
    EXPECT_EQ(ch.Received(), expected);
}

TEST(RsManager, TheJournalHoldsEveryFrameWrittenAndReadTheRejectedOnesToo) {
    Pty pty;
    Channel ch;
    TTrafficJournal journal;
    ch.manager.SetJournal(&journal, 1);
    ch.manager.SetPort(pty.SlavePath());
    ASSERT_EQ(ch.manager.Open(), 0);
    ch.send.Push(kPoll);
    EXPECT_EQ(pty.Read(kPoll.size(), 3s), kPoll);
    ASSERT_TRUE(ch.poster.WaitFor(1025, 1));
    Bytes bad = kReply;
    bad[4] ^= 0xFF;
    pty.Write(bad);
    pty.Write(kReply);
    ASSERT_TRUE(ch.poster.WaitFor(1024, 1));
    ch.manager.Close();
    const auto frames = journal.Read(0, 10);
    ASSERT_EQ(frames.size(), 3u);
    EXPECT_EQ(frames[0].dir, JournalDir::Out);
    EXPECT_EQ(frames[0].bytes, kPoll);
    EXPECT_TRUE(frames[0].accepted);
    EXPECT_EQ(frames[1].dir, JournalDir::In);
    EXPECT_EQ(frames[1].bytes, bad);
    EXPECT_FALSE(frames[1].accepted);
    EXPECT_EQ(frames[2].bytes, kReply);
    EXPECT_TRUE(frames[2].accepted);
    for (const auto& f : frames) EXPECT_EQ(f.channel, 1);
    EXPECT_LE(frames[0].monoUs, frames[1].monoUs);
    // The queue of valid messages never saw the rejected frame.
    EXPECT_EQ(ch.Received(), std::vector<Bytes>{kReply});
}
