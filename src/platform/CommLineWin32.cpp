// The serial component's line on Windows: the comm functions themselves, on one handle opened
// for overlapped I/O, with an overlapped block for each of the read, the write and the comm
// event wait.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <atomic>

#include "platform/CommLine.h"

namespace platform {
namespace {

class CommLineWin32 final : public CommLine {
public:
    CommLineWin32() {
        read_.hEvent = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
        write_.hEvent = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
        wait_.hEvent = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
        wake_ = ::CreateEventW(nullptr, FALSE, FALSE, nullptr);
    }
    ~CommLineWin32() override {
        Close();
        for (HANDLE h : {read_.hEvent, write_.hEvent, wait_.hEvent, wake_})
            if (h) ::CloseHandle(h);
    }

    OpenResult Open(const std::string& name) override {
        Close();
        if (!port_.Open(name)) {
            lastError_ = port_.LastError();
            return lastError_ == ERROR_BAD_DEVICE ? OpenResult::NotCharacterDevice
                                                  : OpenResult::Failed;
        }
        errors_ = 0;
        rtsHigh_ = true;
        lastError_ = 0;
        return OpenResult::Opened;
    }

    void Close() override {
        if (port_.IsOpen() && waitPending_) {
            // An empty mask ends the comm event wait; it is over before its block is reused.
            ::SetCommMask(H(), 0);
            ::CancelIoEx(H(), &wait_);
            DWORD n = 0;
            ::GetOverlappedResult(H(), &wait_, &n, TRUE);
            waitPending_ = false;
        }
        port_.Close();
    }

    bool IsOpen() const override { return port_.IsOpen(); }
    int LastError() const override { return lastError_; }

    bool SetQueueSizes(uint32_t input, uint32_t output) override {
        return Check() && Ok(::SetupComm(H(), input, output));
    }

    bool SetTimeouts(const CommTimeouts& t) override {
        if (!Check()) return false;
        timeouts_.ReadIntervalTimeout = t.readInterval;
        timeouts_.ReadTotalTimeoutMultiplier = t.readMultiplier;
        timeouts_.ReadTotalTimeoutConstant = t.readConstant;
        timeouts_.WriteTotalTimeoutMultiplier = t.writeMultiplier;
        timeouts_.WriteTotalTimeoutConstant = t.writeConstant;
        return Ok(::SetCommTimeouts(H(), &timeouts_));
    }

    bool SetState(const CommState& s) override {
        if (!Check()) return false;
        DCB dcb{};
        dcb.DCBlength = sizeof dcb;
        if (!Ok(::GetCommState(H(), &dcb))) return false;
        dcb.BaudRate = s.line.baudRate;
        dcb.ByteSize = s.line.byteSize;
        dcb.Parity = s.line.parity;
        dcb.StopBits = s.line.stopBits;
        dcb.XonChar = static_cast<char>(s.xonChar);
        dcb.XoffChar = static_cast<char>(s.xoffChar);
        dcb.ErrorChar = static_cast<char>(s.errorChar);
        dcb.EofChar = static_cast<char>(s.eofChar);
        dcb.EvtChar = static_cast<char>(s.evtChar);
        dcb.XonLim = s.xonLimit;
        dcb.XoffLim = s.xoffLimit;
        dcb.fBinary = TRUE;
        dcb.fParity = s.parityCheck;
        dcb.fDsrSensitivity = s.dsrSensitivity;
        dcb.fTXContinueOnXoff = s.txContinueOnXoff;
        dcb.fErrorChar = s.errorCharReplace;
        dcb.fNull = s.nullDiscard;
        dcb.fOutxCtsFlow = s.flow == CommState::Flow::RtsCts;
        dcb.fOutxDsrFlow = s.flow == CommState::Flow::DtrDsr;
        dcb.fOutX = dcb.fInX = s.flow == CommState::Flow::XonXoff;
        dcb.fDtrControl = s.flow == CommState::Flow::DtrDsr ? DTR_CONTROL_HANDSHAKE : DTR_CONTROL_ENABLE;
        // Writing the block sets RTS from its RTS mode. The line's direction belongs to the escape
        // functions: the block keeps the level they set, whatever mode is asked for, so that
        // rewriting it (a parity switch before an address byte, say) never turns the line.
        if (s.flow == CommState::Flow::RtsCts)
            dcb.fRtsControl = RTS_CONTROL_HANDSHAKE;
        else
            dcb.fRtsControl = rtsHigh_ ? RTS_CONTROL_ENABLE : RTS_CONTROL_DISABLE;
        return Ok(::SetCommState(H(), &dcb));
    }

    bool Escape(CommEscape function) override {
        if (!Check()) return false;
        if (!::EscapeCommFunction(H(), static_cast<DWORD>(function))) {
            const DWORD e = ::GetLastError();
            // A port without modem lines (a pseudo-terminal under Wine, say) has nothing to
            // drive: not a failure, as on POSIX.
            const bool modemLine = function == CommEscape::SetRts || function == CommEscape::ClrRts ||
                                   function == CommEscape::SetDtr || function == CommEscape::ClrDtr;
            if (!(modemLine && e == ERROR_NOT_SUPPORTED)) {
                lastError_ = static_cast<int>(e);
                return false;
            }
        }
        if (function == CommEscape::SetRts) rtsHigh_ = true;
        if (function == CommEscape::ClrRts) rtsHigh_ = false;
        return true;
    }

    // The driver's own switching (RTS toggle) knows no hold time after the last byte: the
    // component turns the line itself.
    bool SetRs485(const Rs485Control&) override {
        lastError_ = ERROR_NOT_SUPPORTED;
        return false;
    }

    bool TransmitImmediate(uint8_t byte) override {
        return Check() && Ok(::TransmitCommChar(H(), static_cast<char>(byte)));
    }

    bool Flush() override { return Check() && Ok(::FlushFileBuffers(H())); }

    long Write(const uint8_t* data, size_t size, int waitMs) override {
        if (!Check()) return -1;
        return Transfer(write_, waitMs, [&](DWORD* n) {
            return ::WriteFile(H(), data, static_cast<DWORD>(size), n, &write_);
        });
    }

    long Read(uint8_t* buffer, size_t max, int waitMs) override {
        if (!Check()) return -1;
        // The time-outs make a read return at once with what is there. With nothing there the
        // first byte is waited for by looking at the input queue every millisecond: the comm
        // event mask is the event thread's, and the read time-outs' "wait for the first byte"
        // form is not kept by every driver (Wine's blocks until the buffer is full).
        const ULONGLONG deadline = ::GetTickCount64() + static_cast<ULONGLONG>(waitMs > 0 ? waitMs : 0);
        for (;;) {
            const long n = Transfer(read_, 1000, [&](DWORD* got) {
                return ::ReadFile(H(), buffer, static_cast<DWORD>(max), got, &read_);
            });
            if (n != 0) return n;
            for (;;) {
                if (::GetTickCount64() >= deadline) return 0;
                const long waiting = InQueue();
                if (waiting < 0) return -1;
                if (waiting > 0) break;
                ::Sleep(1);
            }
        }
    }

    long InQueue() override {
        COMSTAT st{};
        return Status(st) ? static_cast<long>(st.cbInQue) : -1;
    }
    long OutQueue() override {
        COMSTAT st{};
        return Status(st) ? static_cast<long>(st.cbOutQue) : -1;
    }

    bool Purge(bool input, bool output) override {
        if (!Check()) return false;
        DWORD flags = 0;
        if (input) flags |= PURGE_RXABORT | PURGE_RXCLEAR;
        if (output) flags |= PURGE_TXABORT | PURGE_TXCLEAR;
        return flags == 0 || Ok(::PurgeComm(H(), flags));
    }

    uint32_t TakeErrors() override {
        COMSTAT st{};
        Status(st);
        return errors_.exchange(0);
    }

    bool SetEventMask(uint32_t mask) override {
        if (!Check()) return false;
        // A port without modem lines cannot report their changes, and asking for them there
        // (a pseudo-terminal under Wine) stops every other event as well.
        DWORD status = 0;
        if (!::GetCommModemStatus(H(), &status)) mask &= ~(kEvCts | kEvDsr | kEvRlsd | kEvRing);
        return Ok(::SetCommMask(H(), mask));
    }

    uint32_t WaitEvents() override {
        for (;;) {
            if (!port_.IsOpen()) return 0;
            if (!waitPending_) {
                ::ResetEvent(wait_.hEvent);
                eventMask_ = 0;
                if (::WaitCommEvent(H(), &eventMask_, &wait_)) {
                    if (eventMask_ != 0) return eventMask_;
                    continue;  // the mask was changed under the wait
                }
                if (::GetLastError() != ERROR_IO_PENDING) {
                    // A failing port is not waited on in a spin: the owner learns of it on its
                    // next read or write; the thread looks again a little later.
                    if (::WaitForSingleObject(wake_, 20) == WAIT_OBJECT_0) return 0;
                    continue;
                }
                waitPending_ = true;
            }
            const HANDLE handles[2] = {wait_.hEvent, wake_};
            const DWORD r = ::WaitForMultipleObjects(2, handles, FALSE, INFINITE);
            if (r == WAIT_OBJECT_0 + 1) return 0;  // the wait stays pending for the next call
            DWORD n = 0;
            const BOOL ok = ::GetOverlappedResult(H(), &wait_, &n, FALSE);
            waitPending_ = false;
            if (ok && eventMask_ != 0) return eventMask_;
            if (!ok) ClearErrorsQuietly();
        }
    }

    void WakeEvents() override { ::SetEvent(wake_); }

private:
    HANDLE H() const { return static_cast<HANDLE>(port_.Handle()); }

    bool Check() {
        if (port_.IsOpen()) return true;
        lastError_ = ERROR_INVALID_HANDLE;
        return false;
    }

    bool Ok(BOOL done) {
        if (!done) lastError_ = static_cast<int>(::GetLastError());
        return done != 0;
    }

    // Line errors are gathered: reading the queue sizes must not lose them for TakeErrors.
    bool Status(COMSTAT& st) {
        if (!Check()) return false;
        DWORD e = 0;
        if (!Ok(::ClearCommError(H(), &e, &st))) return false;
        errors_ |= e;
        return true;
    }

    void ClearErrorsQuietly() {
        COMSTAT st{};
        DWORD e = 0;
        if (::ClearCommError(H(), &e, &st)) errors_ |= e;
    }

    // One overlapped transfer, over before it returns (the buffer is the caller's).
    template <typename Start>
    long Transfer(OVERLAPPED& ov, int waitMs, Start start) {
        ::ResetEvent(ov.hEvent);
        DWORD n = 0;
        if (start(&n)) return static_cast<long>(n);
        DWORD e = ::GetLastError();
        if (e == ERROR_IO_PENDING) {
            if (::WaitForSingleObject(ov.hEvent, waitMs < 0 ? 0 : static_cast<DWORD>(waitMs)) !=
                WAIT_OBJECT_0)
                ::CancelIoEx(H(), &ov);
            if (::GetOverlappedResult(H(), &ov, &n, TRUE)) return static_cast<long>(n);
            e = ::GetLastError();
            if (e == ERROR_OPERATION_ABORTED) return static_cast<long>(n);
        }
        if (e == ERROR_OPERATION_ABORTED) ClearErrorsQuietly();  // a line error stopped it
        lastError_ = static_cast<int>(e);
        return -1;
    }

    SerialPort port_;
    OVERLAPPED read_{}, write_{}, wait_{};
    HANDLE wake_ = nullptr;
    COMMTIMEOUTS timeouts_{MAXDWORD, 0, 0, 0, 0};
    std::atomic<int> lastError_{0};
    std::atomic<uint32_t> errors_{0};
    std::atomic<bool> rtsHigh_{true};
    // The event thread's own.
    DWORD eventMask_ = 0;
    bool waitPending_ = false;
};

}  // namespace

std::unique_ptr<CommLine> MakeCommLine() { return std::make_unique<CommLineWin32>(); }

void RaiseThreadPriority() { ::SetThreadPriority(::GetCurrentThread(), THREAD_PRIORITY_HIGHEST); }

}  // namespace platform
