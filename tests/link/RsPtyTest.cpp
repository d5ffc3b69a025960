// The serial component on this platform's own line, over pseudo-terminals (which have no modem
// lines: RTS and DTR requests succeed without effect there).
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "link/FakeCommLine.h"
#include "link/Rs.h"
#include "support/Pty.h"
#include "support/TempDir.h"

using namespace std::chrono_literals;
using Bytes = std::vector<uint8_t>;

namespace {

// A port that is not there, and what the system says for one another program holds.
#ifdef _WIN32
const char* const kMissingPort = "COM99";
#else
const char* const kMissingPort = "/dev/no-such-port";
constexpr int kHeld = 16;  // EBUSY
#endif

std::string OpenError(const std::string& device, int* code = nullptr) {
    TRS rs;
    rs.SetDeviceName(device);
    try {
        rs.Open();
    } catch (const ERsError& e) {
        if (code) *code = e.Code();
        return e.what();
    }
    return "";
}

}  // namespace

TEST(RsPty, OpeningRefusesWhatIsNoPortAndWhatIsHeld) {
    int code = 0;
    EXPECT_EQ(OpenError(kMissingPort, &code), "Ошибка открытия устройства 2");
    EXPECT_EQ(code, 2);
    TempDir dir;
    EXPECT_EQ(OpenError(dir.Write("file", "not a port")), "Неверный тип потока, закрытие потока");

    Pty pty;
    TRS first;
    first.SetDeviceName(pty.SlavePath());
    first.Open();
    EXPECT_TRUE(first.Enabled());
#ifndef _WIN32  // Wine does not refuse a second open of a device
    EXPECT_EQ(OpenError(pty.SlavePath(), &code), "Ошибка открытия устройства " + std::to_string(kHeld));
#endif
    first.Close();
    EXPECT_FALSE(first.Enabled());
    EXPECT_EQ(OpenError(pty.SlavePath()), "");  // free again
}

TEST(RsPty, WritesReadsTimeOutsAndQueues) {
    Pty pty;
    TRS rs;
    rs.SetDeviceName(pty.SlavePath());
    rs.SetBaudRate(115200);
    rs.Open();

    const Bytes frame = {0x01, 0x03, 0x00, 0x10, 0x00, 0x02};
    EXPECT_EQ(rs.Write(frame.data(), static_cast<long>(frame.size())), 6);
    EXPECT_EQ(pty.Read(6, 2s), frame);

    uint8_t buf[64];
    rs.SetReadTimeout(30);
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(rs.Read(buf, sizeof buf), -1);
    EXPECT_GE(std::chrono::steady_clock::now() - t0, 30ms);

    // A read waits for the first bytes to come within its time.
    std::thread far([&] {
        std::this_thread::sleep_for(10ms);
        pty.Write({0x41, 0x42});
    });
    rs.SetReadTimeout(2000);
    EXPECT_EQ(rs.Read(buf, sizeof buf), 2);
    EXPECT_EQ(buf[1], 0x42);
    far.join();

    pty.Write({1, 2, 3});
    for (int i = 0; i < 200 && rs.InQueCount() < 3; ++i) std::this_thread::sleep_for(1ms);
    EXPECT_EQ(rs.InQueCount(), 3);
    EXPECT_EQ(rs.OutQueCount(), 0);
    rs.PurgeIn();
    EXPECT_EQ(rs.InQueCount(), 0);
    rs.SetReadTimeout(10);
    EXPECT_EQ(rs.Read(buf, sizeof buf), -1);
    EXPECT_EQ(rs.GetRsErr(), 0u);  // a pseudo-terminal counts no line errors

#ifndef _WIN32  // a Windows port takes any speed
    int code = 0;
    try {
        rs.SetBaudRate(12345);
    } catch (const ERsError& e) {
        EXPECT_STREQ(e.what(), "Ошибка изменения свойств устройства");
        code = e.Code();
    }
    EXPECT_EQ(code, 22);
#endif
    rs.Close();
    EXPECT_EQ(rs.InQueCount(), -1);
}

// Under Wine a pseudo-terminal refuses mark and space parity, and a COM pair's far end cannot
// hang up the near one: these two run on POSIX only.
#ifndef _WIN32
TEST(RsPty, NetModeBytesLeaveInOrder) {
    Pty pty;
    TRS rs;
    rs.SetDeviceName(pty.SlavePath());
    rs.SetIsNET(true);
    std::atomic<int> txEmpty{0};
    rs.OnTxEmpty = [&](TRS*) { ++txEmpty; };
    rs.Open();
    for (uint8_t address = 1; address <= 3; ++address) {
        const Bytes frame = {address, 0x10, 0x20, 0x30};
        EXPECT_EQ(rs.Write(frame.data(), 4), 4);
        EXPECT_EQ(pty.Read(4, 2s), frame);
    }
    // Each frame's address byte and its data report their own transmit-empty: none is merged.
    for (int i = 0; i < 2000 && txEmpty < 6; ++i) std::this_thread::sleep_for(1ms);
    std::this_thread::sleep_for(5ms);
    EXPECT_EQ(txEmpty, 6);
    rs.Close();
}

#endif

TEST(RsPty, ReceivedBytesAreAnnouncedOnTheOwnersThread) {
    Pty pty;
    OwnerLoop owner;
    TRS rs;
    rs.SetDeviceName(pty.SlavePath());
    rs.SetDispatcher(owner.Dispatcher());
    Bytes got;
    bool elsewhere = false;
    const auto me = std::this_thread::get_id();
    rs.OnRxChar = [&](TRS* s, long count) {
        elsewhere = elsewhere || std::this_thread::get_id() != me;
        EXPECT_GT(count, 0);
        uint8_t buf[64];
        const long n = s->Read(buf, sizeof buf);
        if (n > 0) got.insert(got.end(), buf, buf + n);
    };
    int txEmpty = 0;
    rs.OnTxEmpty = [&](TRS*) { ++txEmpty; };
    rs.Open();
    pty.Write({0x10, 0x20, 0x30, 0x40});
    ASSERT_TRUE(owner.RunUntil([&] { return got.size() >= 4; }, 5s));
    EXPECT_EQ(got, (Bytes{0x10, 0x20, 0x30, 0x40}));
    pty.Write({0x50});
    ASSERT_TRUE(owner.RunUntil([&] { return got.size() >= 5; }, 5s));
    EXPECT_FALSE(elsewhere);

    const uint8_t b[2] = {1, 2};
    rs.Write(b, 2);
    EXPECT_TRUE(owner.RunUntil([&] { return txEmpty == 1; }, 5s));
    rs.Close();
}

#ifndef _WIN32
TEST(RsPty, AVanishedFarSideFailsTheRead) {
    Pty pty;
    TRS rs;
    rs.SetDeviceName(pty.SlavePath());
    rs.Open();
    pty.CloseMaster();
    uint8_t buf[8];
    std::string text;
    try {
        rs.Read(buf, sizeof buf);
    } catch (const ERsError& e) {
        text = e.what();
    }
    EXPECT_EQ(text, "Ошибка чтения");
    rs.Close();
}

#endif

// Bytes keep coming while the port is opened and closed, with events handled on the event
// thread itself and on an owner's thread: nothing may race.
TEST(RsPty, OpenAndCloseWhileEventsFlow) {
    Pty pty;
    std::atomic<bool> stop{false};
    std::thread far([&] {
        while (!stop) {
            pty.Write({0x55, 0xAA});
            pty.Read(64, 1ms);
            std::this_thread::sleep_for(200us);
        }
    });
    std::atomic<long> announced{0};
    for (int round = 0; round < 20; ++round) {
        OwnerLoop owner;
        TRS rs;
        rs.SetDeviceName(pty.SlavePath());
        if (round % 2 == 0) rs.SetDispatcher(owner.Dispatcher());
        rs.OnRxChar = [&](TRS* s, long) {
            uint8_t buf[64];
            if (s->Read(buf, sizeof buf) > 0) ++announced;
        };
        rs.Open();
        const uint8_t b[3] = {1, 2, 3};
        rs.Write(b, 3);
        owner.RunFor(5ms);
        rs.Close();
    }
    stop = true;
    far.join();
    EXPECT_GT(announced.load(), 0);
}
