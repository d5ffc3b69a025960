#pragma once

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

// One serial port, opened exclusively, in raw mode, with non-blocking reads: a read returns at
// once with whatever the driver holds. One thread may wait for input and read while another
// writes; any thread may wake the waiting one. Open, Configure and Close belong to the owner
// and must not run while other threads use the port.
namespace platform {

// Port settings as the stand's configuration names them (Windows control-block codes).
struct SerialSettings {
    uint32_t baudRate = 9600;
    uint8_t byteSize = 8;  // 5..8
    uint8_t parity = 0;    // 0 none, 1 odd, 2 even, 3 mark, 4 space
    uint8_t stopBits = 0;  // 0 one, 1 one and a half, 2 two
};

// How long `bytes` take on a line of these settings (start bit, data bits, parity, stop bits),
// rounded up to whole milliseconds.
inline int LineTimeMs(size_t bytes, const SerialSettings& s) {
    const uint32_t baud = s.baudRate ? s.baudRate : 9600;
    // In half bits, so that one and a half stop bits stay exact.
    const uint64_t stopHalfBits = s.stopBits == 0 ? 2u : s.stopBits == 1 ? 3u : 4u;
    const uint64_t halfBits = 2u * (1u + s.byteSize + (s.parity ? 1u : 0u)) + stopHalfBits;
    return static_cast<int>((bytes * halfBits * 1000 + 2ull * baud - 1) / (2ull * baud));
}

class SerialPort {
public:
    enum class Wait { Input, Timeout, Woken, Hangup, Error };

    SerialPort();
    ~SerialPort();
    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;

    // "COMn" is /dev/ttyS(n-1); a name beginning with "/" is a device path; anything else is
    // taken as a name under /dev.
    static std::string DevicePath(const std::string& name);

    // Opens the device for reading and writing, refusing a port that another program (or
    // another manager of ours) holds. False with LastError() set on failure.
    bool Open(const std::string& name);
    // Applies the settings, then discards whatever both directions held. A pseudo-terminal
    // ignores parity and data bits; only what it does keep (the speed) must match.
    bool Configure(const SerialSettings& settings);
    void Close();
    bool IsOpen() const;

    // Discards what the driver holds for input and/or output.
    bool Purge(bool input, bool output);
    // Clears the line's error state (a terminal keeps none; a Windows port stops all I/O after
    // a line error until it is cleared).
    void ClearErrors();

    // Waits at most timeoutMs (negative: no limit) for input, a wake-up or a hang-up.
    Wait WaitForInput(int timeoutMs);
    // Ends the current or the next WaitForInput with Woken. Safe from any thread.
    void Wake();

    // What the driver holds, at most max bytes: the count, 0 when nothing is there, -1 on an
    // error (LastReadError() tells which; EIO once the device is gone).
    long Read(uint8_t* buffer, size_t max);
    // Writes all bytes or gives up after timeoutMs, or after the time the bytes need on the line
    // (plus kWriteMarginMs) when that is longer: a long block at a low speed is never cut.
    // Returns what was written, -1 on an error.
    long Write(const uint8_t* data, size_t size, int timeoutMs);
    static constexpr int kWriteMarginMs = 50;
    // The wait a write of `size` bytes is given.
    int WriteWaitMs(size_t size, int timeoutMs) const {
        return std::max(timeoutMs, LineTimeMs(size, settings_) + kWriteMarginMs);
    }

    // System error code (errno; GetLastError() on Windows) of the last failure: of
    // Open/Configure, of the reading side, of the writing side (kept apart: the two sides fail in
    // different threads).
    int LastError() const { return lastError_; }
    int LastReadError() const { return readError_; }
    int LastWriteError() const { return writeError_; }
    const std::string& Path() const { return path_; }
    // The system's text for an error code of this platform.
    static std::string ErrorText(int code);

#ifdef _WIN32
    // The port's handle, for the platform's other serial layers (nullptr when closed).
    void* Handle() const { return handle_; }

private:
    struct Io;  // the overlapped blocks and their events
    void* handle_ = nullptr;
    std::unique_ptr<Io> io_;
#else
    // The descriptor, for the platform's other serial layers (-1 when closed).
    int Handle() const { return fd_; }

private:
    int fd_ = -1;
    int wakeFd_ = -1;
#endif
    int lastError_ = 0;
    SerialSettings settings_;  // as last configured
    std::atomic<int> readError_{0};
    std::atomic<int> writeError_{0};
    std::string path_;
};

}  // namespace platform
