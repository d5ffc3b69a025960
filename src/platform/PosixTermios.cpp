#include "platform/PosixTermios.h"

#include <errno.h>

namespace platform::posix {
namespace {

struct Speed {
    uint32_t baud;
    speed_t code;
};

constexpr Speed kSpeeds[] = {
    {50, B50},         {75, B75},         {110, B110},       {134, B134},
    {150, B150},       {200, B200},       {300, B300},       {600, B600},
    {1200, B1200},     {1800, B1800},     {2400, B2400},     {4800, B4800},
    {9600, B9600},     {19200, B19200},   {38400, B38400},   {57600, B57600},
    {115200, B115200}, {230400, B230400}, {460800, B460800}, {500000, B500000},
    {576000, B576000}, {921600, B921600}, {1000000, B1000000}, {1152000, B1152000},
    {1500000, B1500000}, {2000000, B2000000},
};

}  // namespace

bool SpeedCode(uint32_t baud, speed_t& code) {
    for (const Speed& s : kSpeeds) {
        if (s.baud == baud) {
            code = s.code;
            return true;
        }
    }
    return false;
}

int ApplySettings(int fd, const SerialSettings& s, const std::function<void(termios&)>& extra) {
    speed_t speed;
    if (!SpeedCode(s.baudRate, speed) || s.byteSize < 5 || s.byteSize > 8 || s.parity > 4 ||
        s.stopBits > 2)
        return EINVAL;
    termios t{};
    if (::tcgetattr(fd, &t) != 0) return errno;
    ::cfmakeraw(&t);
    t.c_cflag |= CLOCAL | CREAD;
    t.c_cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
    static constexpr tcflag_t kSizes[] = {CS5, CS6, CS7, CS8};
    t.c_cflag |= kSizes[s.byteSize - 5];
    switch (s.parity) {
        case 1: t.c_cflag |= PARENB | PARODD; break;
        case 2: t.c_cflag |= PARENB; break;
        case 3: t.c_cflag |= PARENB | PARODD | CMSPAR; break;  // mark
        case 4: t.c_cflag |= PARENB | CMSPAR; break;           // space
        default: break;
    }
    // One and a half stop bits exist only with five data bits, where the UART makes 1.5 of "two".
    if (s.stopBits != 0) t.c_cflag |= CSTOPB;
    t.c_iflag &= ~(IXON | IXOFF | IXANY);
    if (s.parity != 0) t.c_iflag |= INPCK;
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
    ::cfsetispeed(&t, speed);
    ::cfsetospeed(&t, speed);
    if (extra) extra(t);
    if (::tcsetattr(fd, TCSANOW, &t) != 0) {
        const int err = errno;
        // A pseudo-terminal drops parity and data-bit requests and glibc then reports EINVAL
        // although the rest took effect; only a speed that did not take is a failure.
        termios now{};
        if (::tcgetattr(fd, &now) != 0 || ::cfgetospeed(&now) != speed) return err;
    }
    return 0;
}

}  // namespace platform::posix
