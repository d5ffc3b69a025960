#include <errno.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <mutex>

#include "platform/CommLine.h"
#include "platform/PosixTermios.h"

namespace platform {
namespace {

constexpr uint32_t kModemEvents = kEvCts | kEvDsr | kEvRlsd | kEvRing;
constexpr uint32_t kLineEvents = kModemEvents | kEvErr | kEvBreak;

// A terminal reports no line errors through its modem-control requests when it has no such
// lines (a pseudo-terminal, say): there is nothing to drive, which is not a failure.
bool NoModemLines(int err) { return err == ENOTTY || err == EINVAL; }

// The event character (kEvRxFlag) is never reported here: a terminal cannot tell which bytes it
// holds without reading them, and reading belongs to the owner.
class CommLinePosix final : public CommLine {
public:
    ~CommLinePosix() override { Close(); }

    OpenResult Open(const std::string& name) override {
        Close();
        if (!port_.Open(name)) {
            lastError_ = port_.LastError();
            return lastError_ == ENOTTY ? OpenResult::NotCharacterDevice : OpenResult::Failed;
        }
        wake_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
        if (wake_ < 0) {
            lastError_ = errno;
            port_.Close();
            return OpenResult::Failed;
        }
        const int fd = port_.Handle();
        {
            std::lock_guard<std::mutex> g(countsMutex_);
            countsSupported_ = ::ioctl(fd, TIOCGICOUNT, &counts_) == 0;
            errors_ = 0;
            pendingEvents_ = 0;
        }
        modemSupported_ = ::ioctl(fd, TIOCMGET, &lastModem_) == 0;
        lsrSupported_ = true;
        lastIn_ = 0;
        hungUp_ = false;
        txArmed_ = 0;
        consumed_ = false;
        wakeRequested_ = false;
        lastError_ = 0;
        return OpenResult::Opened;
    }

    void Close() override {
        if (wake_ >= 0) ::close(wake_);
        wake_ = -1;
        port_.Close();
    }

    bool IsOpen() const override { return port_.IsOpen(); }
    int LastError() const override { return lastError_; }

    // The terminal's queues have the sizes the kernel gives them.
    bool SetQueueSizes(uint32_t, uint32_t) override { return Check(); }

    // Reads and writes here wait as long as their callers say; the Windows time-outs have no
    // terminal counterpart beyond that and are only kept.
    bool SetTimeouts(const CommTimeouts& t) override {
        timeouts_ = t;
        return Check();
    }

    bool SetState(const CommState& s) override {
        if (!Check()) return false;
        const int err = posix::ApplySettings(port_.Handle(), s.line, [&s](termios& t) {
            t.c_cc[VSTART] = static_cast<cc_t>(s.xonChar);
            t.c_cc[VSTOP] = static_cast<cc_t>(s.xoffChar);
            if (s.parityCheck)
                t.c_iflag |= INPCK;
            else
                t.c_iflag &= ~INPCK;
            if (s.flow == CommState::Flow::RtsCts) t.c_cflag |= CRTSCTS;
            if (s.flow == CommState::Flow::XonXoff) t.c_iflag |= IXON | IXOFF;
        });
        return Fail(err);
    }

    bool Escape(CommEscape function) override {
        if (!Check()) return false;
        const int fd = port_.Handle();
        int bits = 0;
        int rc = 0;
        switch (function) {
            case CommEscape::SetRts: bits = TIOCM_RTS; rc = ::ioctl(fd, TIOCMBIS, &bits); break;
            case CommEscape::ClrRts: bits = TIOCM_RTS; rc = ::ioctl(fd, TIOCMBIC, &bits); break;
            case CommEscape::SetDtr: bits = TIOCM_DTR; rc = ::ioctl(fd, TIOCMBIS, &bits); break;
            case CommEscape::ClrDtr: bits = TIOCM_DTR; rc = ::ioctl(fd, TIOCMBIC, &bits); break;
            case CommEscape::SetBreak: rc = ::ioctl(fd, TIOCSBRK); break;
            case CommEscape::ClrBreak: rc = ::ioctl(fd, TIOCCBRK); break;
            case CommEscape::SetXoff: rc = ::tcflow(fd, TCOOFF); break;
            case CommEscape::SetXon: rc = ::tcflow(fd, TCOON); break;
            case CommEscape::ResetDev: return Fail(EINVAL);  // a printer's function
        }
        if (rc != 0 && bits != 0 && NoModemLines(errno)) return true;
        return Fail(rc == 0 ? 0 : errno);
    }

    bool SetRs485(const Rs485Control& c) override {
        if (!Check()) return false;
        serial_rs485 r{};
        if (c.enable) {
            r.flags = SER_RS485_ENABLED |
                      (c.rtsHighOnSend ? SER_RS485_RTS_ON_SEND : SER_RS485_RTS_AFTER_SEND);
            r.delay_rts_after_send = c.delayAfterSendMs;
        }
        return Fail(::ioctl(port_.Handle(), TIOCSRS485, &r) == 0 ? 0 : errno);
    }

    bool TransmitImmediate(uint8_t byte) override {
        if (Write(&byte, 1, 1000) == 1) return true;
        if (lastError_ == 0) lastError_ = ETIMEDOUT;
        return false;
    }

    bool Flush() override {
        if (!Check()) return false;
        int rc;
        while ((rc = ::tcdrain(port_.Handle())) != 0 && errno == EINTR) {
        }
        return Fail(rc == 0 ? 0 : errno);
    }

    long Write(const uint8_t* data, size_t size, int waitMs) override {
        const long n = port_.Write(data, size, waitMs < 0 ? 0 : waitMs);
        if (n < 0) lastError_ = port_.LastWriteError();
        if (n > 0) {
            ++txArmed_;
            Nudge();  // the event wait watches the output more closely now
        }
        return n;
    }

    long Read(uint8_t* buffer, size_t max, int waitMs) override {
        using Clock = std::chrono::steady_clock;
        const auto deadline = Clock::now() + std::chrono::milliseconds(waitMs < 0 ? 0 : waitMs);
        for (;;) {
            const long n = port_.Read(buffer, max);
            if (n != 0) {
                if (n < 0) lastError_ = port_.LastReadError();
                consumed_ = true;
                return n;
            }
            // Rounded up: a wait cut short by the rounding would end the read early.
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
            if (left.count() <= 0) return 0;
            const SerialPort::Wait w = port_.WaitForInput(static_cast<int>(left.count()));
            if (w == SerialPort::Wait::Error || w == SerialPort::Wait::Hangup) {
                lastError_ = port_.LastReadError() != 0 ? port_.LastReadError() : EIO;
                return -1;
            }
        }
    }

    long InQueue() override { return Count(FIONREAD); }
    long OutQueue() override { return Count(TIOCOUTQ); }

    bool Purge(bool input, bool output) override {
        if (!Check()) return false;
        if (input) consumed_ = true;
        return Fail(port_.Purge(input, output) ? 0 : errno);
    }

    uint32_t TakeErrors() override {
        std::lock_guard<std::mutex> g(countsMutex_);
        if (port_.IsOpen()) UpdateCounts();
        const uint32_t e = errors_;
        errors_ = 0;
        return e;
    }

    bool SetEventMask(uint32_t mask) override {
        mask_ = mask;
        return Check();
    }

    uint32_t WaitEvents() override {
        for (;;) {
            const uint32_t mask = mask_;
            if (const uint32_t ev = Collect() & mask) return ev;
            pollfd fds[2] = {{wake_, POLLIN, 0}, {port_.Handle(), POLLIN, 0}};
            // A terminal says "input" for as long as bytes wait, so it is watched only while
            // none do; bytes that keep waiting are counted on the slices below.
            const nfds_t n = (mask & kEvRxChar) && lastIn_ == 0 && !hungUp_ ? 2 : 1;
            using namespace std::chrono;
            nanoseconds slice{-1};
            if (txArmed_ > 0 && (mask & kEvTxEmpty))
                slice = microseconds(200);  // the line is about to be turned round
            else if (hungUp_)
                slice = milliseconds(20);
            else if (((mask & kEvRxChar) && lastIn_ > 0) ||
                     ((mask & kLineEvents) && (countsSupported_ || modemSupported_)))
                slice = milliseconds(2);
            timespec ts{static_cast<time_t>(slice.count() / 1000000000),
                        static_cast<long>(slice.count() % 1000000000)};
            const int rc = ::ppoll(fds, n, slice.count() < 0 ? nullptr : &ts, nullptr);
            if (rc < 0 && errno != EINTR) hungUp_ = true;
            if (rc > 0 && (fds[0].revents & POLLIN)) {
                uint64_t v;
                while (::read(wake_, &v, sizeof v) == sizeof v) {
                }
                if (wakeRequested_.exchange(false)) return 0;
            }
            if (n == 2 && (fds[1].revents & (POLLHUP | POLLERR | POLLNVAL))) hungUp_ = true;
        }
    }

    void WakeEvents() override {
        wakeRequested_ = true;
        Nudge();
    }

private:
    // Makes the event wait look again without ending it.
    void Nudge() {
        if (wake_ < 0) return;
        const uint64_t one = 1;
        [[maybe_unused]] const ssize_t n = ::write(wake_, &one, sizeof one);
    }

    bool Check() {
        if (port_.IsOpen()) return true;
        lastError_ = EBADF;
        return false;
    }

    bool Fail(int err) {
        if (err != 0) lastError_ = err;
        return err == 0;
    }

    long Count(unsigned long request) {
        if (!Check()) return -1;
        int n = 0;
        if (::ioctl(port_.Handle(), request, &n) != 0) {
            lastError_ = errno;
            return -1;
        }
        return n;
    }

    // The kernel counts line errors, breaks and modem-line changes; their growth since the
    // last look becomes error bits and events. Called with countsMutex_ held.
    void UpdateCounts() {
        if (!countsSupported_) return;
        serial_icounter_struct now{};
        if (::ioctl(port_.Handle(), TIOCGICOUNT, &now) != 0) return;
        uint32_t e = 0;
        if (now.frame != counts_.frame) e |= kCeFrame;
        if (now.overrun != counts_.overrun) e |= kCeOverrun;
        if (now.parity != counts_.parity) e |= kCeRxParity;
        if (now.buf_overrun != counts_.buf_overrun) e |= kCeRxOver;
        if (now.brk != counts_.brk) {
            e |= kCeBreak;
            pendingEvents_ |= kEvBreak;
        }
        if (e & (kCeFrame | kCeOverrun | kCeRxParity)) pendingEvents_ |= kEvErr;
        if (now.cts != counts_.cts) pendingEvents_ |= kEvCts;
        if (now.dsr != counts_.dsr) pendingEvents_ |= kEvDsr;
        if (now.dcd != counts_.dcd) pendingEvents_ |= kEvRlsd;
        if (now.rng != counts_.rng) pendingEvents_ |= kEvRing;  // counted on the trailing edge
        errors_ |= e;
        counts_ = now;
    }

    // Runs on the event thread only.
    uint32_t Collect() {
        const int fd = port_.Handle();
        uint32_t ev = 0;
        {
            std::lock_guard<std::mutex> g(countsMutex_);
            UpdateCounts();
            ev = pendingEvents_;
            pendingEvents_ = 0;
        }
        if (!countsSupported_ && modemSupported_) {
            int m = 0;
            if (::ioctl(fd, TIOCMGET, &m) == 0) {
                const int changed = m ^ lastModem_;
                if (changed & TIOCM_CTS) ev |= kEvCts;
                if (changed & TIOCM_DSR) ev |= kEvDsr;
                if (changed & TIOCM_CD) ev |= kEvRlsd;
                if ((lastModem_ & TIOCM_RI) && !(m & TIOCM_RI)) ev |= kEvRing;
                lastModem_ = m;
            }
        }
        int in = 0;
        if (::ioctl(fd, FIONREAD, &in) == 0) {
            if (consumed_.exchange(false)) lastIn_ = 0;
            if (in > lastIn_) ev |= kEvRxChar;
            lastIn_ = in;
        }
        if (txArmed_ > 0) {
            int out = 0;
            if (::ioctl(fd, TIOCOUTQ, &out) == 0 && out == 0 && ShiftRegisterEmpty(fd)) {
                --txArmed_;  // one event per write, so that none is merged into another
                ev |= kEvTxEmpty;
            }
        }
        return ev;
    }

    bool ShiftRegisterEmpty(int fd) {
        if (!lsrSupported_) return true;
        unsigned int lsr = 0;
        if (::ioctl(fd, TIOCSERGETLSR, &lsr) == 0) return (lsr & TIOCSER_TEMT) != 0;
        lsrSupported_ = false;
        return true;
    }

    SerialPort port_;
    int wake_ = -1;
    std::atomic<int> lastError_{0};
    std::atomic<uint32_t> mask_{0};
    std::atomic<int> txArmed_{0};
    std::atomic<bool> consumed_{false};
    std::atomic<bool> wakeRequested_{false};
    std::atomic<bool> modemSupported_{false};
    CommTimeouts timeouts_;

    std::mutex countsMutex_;
    bool countsSupported_ = false;
    serial_icounter_struct counts_{};
    uint32_t errors_ = 0;
    uint32_t pendingEvents_ = 0;

    // The event thread's own.
    int lastModem_ = 0;
    int lastIn_ = 0;
    bool hungUp_ = false;
    bool lsrSupported_ = true;
};

}  // namespace

std::unique_ptr<CommLine> MakeCommLine() { return std::make_unique<CommLinePosix>(); }

void RaiseThreadPriority() {
    // The thread's own nice value; a process that may not lower it keeps the normal one.
    ::setpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()), -10);
}

}  // namespace platform
