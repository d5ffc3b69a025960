#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstring>

#include "platform/PosixTermios.h"
#include "platform/SerialPort.h"

namespace platform {

SerialPort::SerialPort() = default;

SerialPort::~SerialPort() { Close(); }

bool SerialPort::IsOpen() const { return fd_ >= 0; }

std::string SerialPort::ErrorText(int code) { return std::strerror(code); }

void SerialPort::ClearErrors() {}

std::string SerialPort::DevicePath(const std::string& name) {
    if (!name.empty() && name[0] == '/') return name;
    if (name.size() > 3 && (name.compare(0, 3, "COM") == 0 || name.compare(0, 3, "com") == 0)) {
        const std::string digits = name.substr(3);
        if (digits.find_first_not_of("0123456789") == std::string::npos && digits.size() < 6) {
            const int n = std::stoi(digits);
            if (n >= 1) return "/dev/ttyS" + std::to_string(n - 1);
        }
    }
    return "/dev/" + name;
}

bool SerialPort::Open(const std::string& name) {
    Close();
    path_ = DevicePath(name);
    const int fd = ::open(path_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        lastError_ = errno;
        return false;
    }
    // A lock that every program of ours honours (root passes TIOCEXCL, not this), and the
    // terminal's own exclusive mode for everybody else.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0 || !::isatty(fd)) {
        lastError_ = ::isatty(fd) ? EBUSY : ENOTTY;
        ::close(fd);
        return false;
    }
    ::ioctl(fd, TIOCEXCL);
    const int wake = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (wake < 0) {
        lastError_ = errno;
        ::close(fd);
        return false;
    }
    fd_ = fd;
    wakeFd_ = wake;
    lastError_ = 0;
    return true;
}

bool SerialPort::Configure(const SerialSettings& s) {
    if (fd_ < 0) {
        lastError_ = EBADF;
        return false;
    }
    const int err = posix::ApplySettings(fd_, s, {});
    if (err != 0) {
        lastError_ = err;
        return false;
    }
    settings_ = s;
    // Whatever arrived before the line was raw (an echo of the far side, say) is not ours.
    ::tcflush(fd_, TCIOFLUSH);
    return true;
}

void SerialPort::Close() {
    if (wakeFd_ >= 0) ::close(wakeFd_);
    if (fd_ >= 0) ::close(fd_);  // releases the lock as well
    wakeFd_ = -1;
    fd_ = -1;
}

bool SerialPort::Purge(bool input, bool output) {
    if (fd_ < 0) return false;
    const int which = input && output ? TCIOFLUSH : input ? TCIFLUSH : TCOFLUSH;
    if (!input && !output) return true;
    return ::tcflush(fd_, which) == 0;
}

SerialPort::Wait SerialPort::WaitForInput(int timeoutMs) {
    if (fd_ < 0) {
        readError_ = EBADF;
        return Wait::Error;
    }
    pollfd fds[2] = {{fd_, POLLIN, 0}, {wakeFd_, POLLIN, 0}};
    const int rc = ::poll(fds, 2, timeoutMs < 0 ? -1 : timeoutMs);
    if (rc < 0) {
        readError_ = errno;
        return errno == EINTR ? Wait::Timeout : Wait::Error;
    }
    if (fds[1].revents & POLLIN) {
        uint64_t v;
        while (::read(wakeFd_, &v, sizeof v) == sizeof v) {
        }
        return Wait::Woken;
    }
    if (rc == 0) return Wait::Timeout;
    if (fds[0].revents & (POLLHUP | POLLERR | POLLNVAL)) {
        // A vanished device may still have bytes buffered; those are read first.
        int pending = 0;
        if ((fds[0].revents & POLLIN) && ::ioctl(fd_, FIONREAD, &pending) == 0 && pending > 0)
            return Wait::Input;
        readError_ = EIO;
        return Wait::Hangup;
    }
    if (fds[0].revents & POLLIN) return Wait::Input;
    return Wait::Timeout;
}

void SerialPort::Wake() {
    if (wakeFd_ < 0) return;
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(wakeFd_, &one, sizeof one);
}

long SerialPort::Read(uint8_t* buffer, size_t max) {
    if (fd_ < 0) {
        readError_ = EBADF;
        return -1;
    }
    const ssize_t n = ::read(fd_, buffer, max);
    if (n < 0) {
        if (errno == EAGAIN || errno == EINTR) return 0;
        readError_ = errno;
        return -1;
    }
    return static_cast<long>(n);
}

long SerialPort::Write(const uint8_t* data, size_t size, int timeoutMs) {
    if (fd_ < 0) {
        writeError_ = EBADF;
        return -1;
    }
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(WriteWaitMs(size, timeoutMs));
    size_t done = 0;
    while (done < size) {
        const ssize_t n = ::write(fd_, data + done, size - done);
        if (n > 0) {
            done += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR) {
            writeError_ = errno;
            return done > 0 ? static_cast<long>(done) : -1;
        }
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) break;
        pollfd p{fd_, POLLOUT, 0};
        if (::poll(&p, 1, static_cast<int>(left)) < 0 && errno != EINTR) {
            writeError_ = errno;
            break;
        }
        if (p.revents & (POLLHUP | POLLERR | POLLNVAL)) {
            writeError_ = EIO;
            return done > 0 ? static_cast<long>(done) : -1;
        }
    }
    return static_cast<long>(done);
}

}  // namespace platform
