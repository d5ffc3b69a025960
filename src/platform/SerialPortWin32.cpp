// The serial port on Windows: one handle opened for overlapped I/O, with an overlapped block
// (and its event) for each of the three things that may be pending at once: the wait for a
// comm event, a read and a write. Nothing is left pending when a call returns, except the comm
// event wait, which Close() ends and waits for before the handle goes.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cerrno>

#include "platform/SerialPort.h"

namespace platform {
namespace {

HANDLE H(void* h) { return static_cast<HANDLE>(h); }

// Errors after which the device is not coming back by itself (an adapter pulled out, say).
bool DeviceGone(DWORD e) {
    return e == ERROR_ACCESS_DENIED || e == ERROR_BAD_COMMAND || e == ERROR_GEN_FAILURE ||
           e == ERROR_DEVICE_NOT_CONNECTED || e == ERROR_DEVICE_REMOVED ||
           e == ERROR_INVALID_HANDLE;
}

}  // namespace

struct SerialPort::Io {
    OVERLAPPED wait{}, read{}, write{};
    HANDLE wake = nullptr;  // auto-reset: one Wake() ends one wait
    DWORD eventMask = 0;    // filled in by the pending comm event wait
    bool waitPending = false;

    Io() {
        wait.hEvent = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
        read.hEvent = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
        write.hEvent = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
        wake = ::CreateEventW(nullptr, FALSE, FALSE, nullptr);
    }
    ~Io() {
        for (HANDLE h : {wait.hEvent, read.hEvent, write.hEvent, wake})
            if (h) ::CloseHandle(h);
    }
    bool Ok() const { return wait.hEvent && read.hEvent && write.hEvent && wake; }
};

SerialPort::SerialPort() = default;

SerialPort::~SerialPort() { Close(); }

bool SerialPort::IsOpen() const { return handle_ != nullptr; }

std::string SerialPort::DevicePath(const std::string& name) {
    if (name.rfind("\\\\", 0) == 0) return name;
    // The device namespace reaches COM10 and above too.
    return "\\\\.\\" + name;
}

std::string SerialPort::ErrorText(int code) {
    wchar_t* text = nullptr;
    const DWORD n = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, static_cast<DWORD>(code), 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::string out;
    if (n > 0 && text) {
        const int size = ::WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(n), nullptr, 0,
                                               nullptr, nullptr);
        out.resize(static_cast<size_t>(size));
        ::WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(n), out.data(), size, nullptr,
                              nullptr);
        while (!out.empty() && (out.back() == '\n' || out.back() == '\r' || out.back() == ' '))
            out.pop_back();
    }
    if (text) ::LocalFree(text);
    return out.empty() ? "error " + std::to_string(code) : out;
}

bool SerialPort::Open(const std::string& name) {
    Close();
    path_ = DevicePath(name);
    // No sharing: a port another program (or another manager of ours) holds is refused.
    HANDLE h = ::CreateFileA(path_.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                             OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        lastError_ = static_cast<int>(::GetLastError());
        return false;
    }
    if (::GetFileType(h) != FILE_TYPE_CHAR) {
        ::CloseHandle(h);
        lastError_ = ERROR_BAD_DEVICE;
        return false;
    }
    auto io = std::make_unique<Io>();
    if (!io->Ok()) {
        lastError_ = static_cast<int>(::GetLastError());
        ::CloseHandle(h);
        return false;
    }
    handle_ = h;
    io_ = std::move(io);
    lastError_ = 0;
    readError_ = 0;
    writeError_ = 0;
    return true;
}

bool SerialPort::Configure(const SerialSettings& s) {
    if (!handle_) {
        lastError_ = ERROR_INVALID_HANDLE;
        return false;
    }
    auto fail = [this] {
        lastError_ = static_cast<int>(::GetLastError());
        return false;
    };
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!::GetCommState(H(handle_), &dcb)) return fail();
    dcb.BaudRate = s.baudRate;
    dcb.ByteSize = s.byteSize;
    dcb.Parity = s.parity;
    dcb.StopBits = s.stopBits;
    dcb.fBinary = TRUE;
    dcb.fAbortOnError = TRUE;
    if (!::SetCommState(H(handle_), &dcb)) return fail();
    // The time-outs follow the speed the port now reports: a read returns at once with what is
    // there; a write may take one character time (ten bits) per byte and half of one more.
    if (!::GetCommState(H(handle_), &dcb) || dcb.BaudRate == 0) return fail();
    const DWORD charTime = 10000000 / dcb.BaudRate;
    COMMTIMEOUTS t{};
    t.ReadIntervalTimeout = MAXDWORD;
    t.WriteTotalTimeoutMultiplier = charTime / 1000;
    t.WriteTotalTimeoutConstant = charTime / 2000;
    if (!::SetCommTimeouts(H(handle_), &t)) return fail();
    // Whatever the port held from before is not ours.
    ::PurgeComm(H(handle_), PURGE_RXABORT | PURGE_RXCLEAR | PURGE_TXABORT | PURGE_TXCLEAR);
    ClearErrors();
    settings_ = s;
    return true;
}

void SerialPort::Close() {
    if (handle_) {
        Io& io = *io_;
        if (io.waitPending) {
            // An empty mask ends the comm event wait; it must be over before its block goes.
            ::SetCommMask(H(handle_), 0);
            ::CancelIoEx(H(handle_), &io.wait);
            DWORD n = 0;
            ::GetOverlappedResult(H(handle_), &io.wait, &n, TRUE);
            io.waitPending = false;
        }
        ::CloseHandle(H(handle_));
    }
    handle_ = nullptr;
    io_.reset();
}

bool SerialPort::Purge(bool input, bool output) {
    if (!handle_) return false;
    DWORD flags = 0;
    if (input) flags |= PURGE_RXABORT | PURGE_RXCLEAR;
    if (output) flags |= PURGE_TXABORT | PURGE_TXCLEAR;
    return flags == 0 || ::PurgeComm(H(handle_), flags) != 0;
}

void SerialPort::ClearErrors() {
    if (!handle_) return;
    DWORD errors = 0;
    ::ClearCommError(H(handle_), &errors, nullptr);
}

SerialPort::Wait SerialPort::WaitForInput(int timeoutMs) {
    if (!handle_) {
        readError_ = ERROR_INVALID_HANDLE;
        return Wait::Error;
    }
    Io& io = *io_;
    const ULONGLONG deadline = timeoutMs < 0 ? 0 : ::GetTickCount64() + static_cast<ULONGLONG>(timeoutMs);
    for (;;) {
        // A character event may be left over from bytes an earlier read already took: only
        // bytes that are there count as input.
        COMSTAT st{};
        DWORD errors = 0;
        if (!::ClearCommError(H(handle_), &errors, &st)) {
            const DWORD e = ::GetLastError();
            readError_ = static_cast<int>(e);
            return DeviceGone(e) ? Wait::Hangup : Wait::Error;
        }
        if (st.cbInQue > 0) return Wait::Input;
        if (!io.waitPending) {
            if (!::SetCommMask(H(handle_), EV_RXCHAR)) {
                const DWORD e = ::GetLastError();
                readError_ = static_cast<int>(e);
                return DeviceGone(e) ? Wait::Hangup : Wait::Error;
            }
            ::ResetEvent(io.wait.hEvent);
            io.eventMask = 0;
            if (::WaitCommEvent(H(handle_), &io.eventMask, &io.wait)) continue;
            const DWORD e = ::GetLastError();
            if (e != ERROR_IO_PENDING) {
                readError_ = static_cast<int>(e);
                return DeviceGone(e) ? Wait::Hangup : Wait::Error;
            }
            io.waitPending = true;
        }
        DWORD limit = INFINITE;
        if (timeoutMs >= 0) {
            const ULONGLONG now = ::GetTickCount64();
            limit = now >= deadline ? 0 : static_cast<DWORD>(deadline - now);
        }
        const HANDLE handles[2] = {io.wait.hEvent, io.wake};
        const DWORD r = ::WaitForMultipleObjects(2, handles, FALSE, limit);
        if (r == WAIT_OBJECT_0) {
            DWORD n = 0;
            const BOOL ok = ::GetOverlappedResult(H(handle_), &io.wait, &n, FALSE);
            io.waitPending = false;
            if (!ok) {
                const DWORD e = ::GetLastError();
                // A line error stopped the wait (abort on error): clear it and wait again.
                if (e == ERROR_OPERATION_ABORTED) {
                    ClearErrors();
                    continue;
                }
                readError_ = static_cast<int>(e);
                return DeviceGone(e) ? Wait::Hangup : Wait::Error;
            }
            continue;
        }
        // The comm event wait stays pending for the next call (or for Close).
        if (r == WAIT_OBJECT_0 + 1) return Wait::Woken;
        if (r == WAIT_TIMEOUT) return Wait::Timeout;
        readError_ = static_cast<int>(::GetLastError());
        return Wait::Error;
    }
}

void SerialPort::Wake() {
    if (io_) ::SetEvent(io_->wake);
}

long SerialPort::Read(uint8_t* buffer, size_t max) {
    if (!handle_) {
        readError_ = ERROR_INVALID_HANDLE;
        return -1;
    }
    Io& io = *io_;
    ::ResetEvent(io.read.hEvent);
    DWORD n = 0;
    const DWORD want = static_cast<DWORD>(max > 0x7FFFFFFF ? 0x7FFFFFFF : max);
    if (::ReadFile(H(handle_), buffer, want, &n, &io.read)) return static_cast<long>(n);
    DWORD e = ::GetLastError();
    if (e == ERROR_IO_PENDING) {
        // The time-outs make a read return with what is there; a driver that still holds it
        // gets a moment, then the read is cancelled, and it is over before the buffer is left.
        if (::WaitForSingleObject(io.read.hEvent, 100) != WAIT_OBJECT_0)
            ::CancelIoEx(H(handle_), &io.read);
        if (::GetOverlappedResult(H(handle_), &io.read, &n, TRUE)) return static_cast<long>(n);
        e = ::GetLastError();
    }
    if (e == ERROR_OPERATION_ABORTED) {
        ClearErrors();  // a line error (abort on error) or our own cancel: nothing lost to report
        return static_cast<long>(n);
    }
    readError_ = static_cast<int>(e);
    return -1;
}

long SerialPort::Write(const uint8_t* data, size_t size, int timeoutMs) {
    if (!handle_) {
        writeError_ = ERROR_INVALID_HANDLE;
        return -1;
    }
    Io& io = *io_;
    ::ResetEvent(io.write.hEvent);
    DWORD n = 0;
    const DWORD count = static_cast<DWORD>(size > 0x7FFFFFFF ? 0x7FFFFFFF : size);
    if (::WriteFile(H(handle_), data, count, &n, &io.write)) return static_cast<long>(n);
    DWORD e = ::GetLastError();
    if (e == ERROR_IO_PENDING) {
        // A driver may complete the write only when its last byte is on the line: the wait
        // covers that time, then gives up.
        const DWORD wait = static_cast<DWORD>(WriteWaitMs(size, timeoutMs < 0 ? 0 : timeoutMs));
        if (::WaitForSingleObject(io.write.hEvent, wait) != WAIT_OBJECT_0)
            ::CancelIoEx(H(handle_), &io.write);
        // The bytes are the caller's: the write is over, one way or the other, before returning.
        if (::GetOverlappedResult(H(handle_), &io.write, &n, TRUE)) return static_cast<long>(n);
        e = ::GetLastError();
        if (e == ERROR_OPERATION_ABORTED) return static_cast<long>(n);  // what went out counts
    }
    if (e == ERROR_OPERATION_ABORTED) ClearErrors();
    writeError_ = static_cast<int>(e);
    return -1;
}

}  // namespace platform
