#include "platform/SerialPort.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <thread>

#include "support/Pty.h"
#include "support/TempDir.h"

using platform::SerialPort;
using platform::SerialSettings;

TEST(SerialPort, PortNamesMapToDevices) {
    EXPECT_EQ(SerialPort::DevicePath("COM1"), "/dev/ttyS0");
    EXPECT_EQ(SerialPort::DevicePath("COM12"), "/dev/ttyS11");
    EXPECT_EQ(SerialPort::DevicePath("/dev/pts/3"), "/dev/pts/3");
    EXPECT_EQ(SerialPort::DevicePath("ttyUSB0"), "/dev/ttyUSB0");
    EXPECT_EQ(SerialPort::DevicePath("COM0"), "/dev/COM0");
    EXPECT_EQ(SerialPort::DevicePath("COMX"), "/dev/COMX");
}

TEST(SerialPort, MissingDevicesAndPlainFilesAreRefused) {
    SerialPort port;
    EXPECT_FALSE(port.Open("/dev/no-such-port"));
    EXPECT_EQ(port.LastError(), ENOENT);
    TempDir dir;
    EXPECT_FALSE(port.Open(dir.Write("file", "x")));
    EXPECT_EQ(port.LastError(), ENOTTY);
    EXPECT_FALSE(port.IsOpen());
}

TEST(SerialPort, APortIsHeldExclusively) {
    Pty pty;
    SerialPort a, b;
    ASSERT_TRUE(a.Open(pty.SlavePath()));
    EXPECT_FALSE(b.Open(pty.SlavePath()));
    EXPECT_EQ(b.LastError(), EBUSY);
    a.Close();
    EXPECT_TRUE(b.Open(pty.SlavePath()));
}

TEST(SerialPort, SettingsAreCheckedAndAPtyKeepsWhatItCan) {
    Pty pty;
    SerialPort port;
    ASSERT_TRUE(port.Open(pty.SlavePath()));
    EXPECT_TRUE(port.Configure({9600, 8, 0, 0}));
    // Parity, seven bits and two stop bits: a pty drops some of it, which is not an error.
    EXPECT_TRUE(port.Configure({19200, 7, 2, 2}));
    EXPECT_TRUE(port.Configure({9600, 8, 3, 0}));  // mark
    EXPECT_TRUE(port.Configure({9600, 8, 4, 1}));  // space, one and a half
    EXPECT_FALSE(port.Configure({0, 8, 0, 0}));    // 0 would hang the line up
    EXPECT_FALSE(port.Configure({12345, 8, 0, 0}));
    EXPECT_FALSE(port.Configure({9600, 9, 0, 0}));
    EXPECT_FALSE(port.Configure({9600, 8, 5, 0}));
    EXPECT_FALSE(port.Configure({9600, 8, 0, 3}));
}

TEST(SerialPort, AWriteWaitsAsLongAsItsBytesNeedOnTheLine) {
    // An EEPROM block, 75 bytes, at 9600 8N1: 750 bits, 78.125 ms; the 50 ms wait would cut it.
    EXPECT_EQ(platform::LineTimeMs(75, {9600, 8, 0, 0}), 79);
    EXPECT_EQ(platform::LineTimeMs(75, {115200, 8, 0, 0}), 7);
    // 7E1.5: 1 + 7 + 1 + 1.5 = 10.5 bits a byte.
    EXPECT_EQ(platform::LineTimeMs(96, {9600, 7, 2, 1}), 105);
    platform::SerialPort port;
    EXPECT_EQ(port.WriteWaitMs(75, 50), 79 + platform::SerialPort::kWriteMarginMs);
    EXPECT_EQ(port.WriteWaitMs(4, 500), 500);  // a longer wait asked for stays
}

TEST(SerialPort, BytesCrossBothWays) {
    Pty pty;
    SerialPort port;
    ASSERT_TRUE(port.Open(pty.SlavePath()));
    ASSERT_TRUE(port.Configure({115200, 8, 0, 0}));
    const std::vector<uint8_t> out = {0x4D, 0x00, 0x01, 0x88, 0x61, 0x2D, 0x00};
    EXPECT_EQ(port.Write(out.data(), out.size(), 50), 7);
    EXPECT_EQ(pty.Read(7, std::chrono::seconds(2)), out);

    uint8_t buf[64];
    EXPECT_EQ(port.Read(buf, sizeof buf), 0);  // nothing there: at once, no error
    pty.Write({'>', '1', '\r'});
    ASSERT_EQ(port.WaitForInput(2000), SerialPort::Wait::Input);
    EXPECT_EQ(port.Read(buf, sizeof buf), 3);
    EXPECT_EQ(port.WaitForInput(10), SerialPort::Wait::Timeout);
}

TEST(SerialPort, AWaitingThreadIsWokenAtOnce) {
    Pty pty;
    SerialPort port;
    ASSERT_TRUE(port.Open(pty.SlavePath()));
    SerialPort::Wait result = SerialPort::Wait::Timeout;
    std::thread waiter([&] { result = port.WaitForInput(-1); });
    port.Wake();
    waiter.join();  // with no limit on the wait, only the wake-up can end it
    EXPECT_EQ(result, SerialPort::Wait::Woken);
}

TEST(SerialPort, AVanishedDeviceReportsAHangUp) {
    Pty pty;
    SerialPort port;
    ASSERT_TRUE(port.Open(pty.SlavePath()));
    ASSERT_TRUE(port.Configure({9600, 8, 0, 0}));
    pty.CloseMaster();
    EXPECT_EQ(port.WaitForInput(2000), SerialPort::Wait::Hangup);
    uint8_t buf[8];
    EXPECT_LE(port.Read(buf, sizeof buf), 0);
    const uint8_t b = 0x55;
    EXPECT_EQ(port.Write(&b, 1, 50), -1);
    port.Close();
    EXPECT_FALSE(port.IsOpen());
}
