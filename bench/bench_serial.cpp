// Figures of the serial layers on whichever platform this is built for: POSIX over pseudo-
// terminals, or Win32 under Wine over COM ports that tests/windows/run.sh joins in pairs
// (`bash tests/windows/run.sh --bench`). Plain chrono and no benchmark library, so that the
// same program builds with mingw-w64. Figures, never tests; under Wine they are Wine's, not
// Windows'. Each pass runs twice: with the far end writing at once, and with it writing at a
// 9600-baud line's pace (8N1, a byte every 1.04 ms, each byte handed over when its stop bit
// would end), where the figures are also given over the frame's own line time.
//   manager: far end write -> received-message post, 1000 frames; Close() with both threads
//            waiting, 50 times
//   TRS:     far end write -> OnRxChar; Write -> transmit-empty; Close() with its event
//            thread waiting
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "StationFrame.h"
#include "link/Rs.h"
#include "rsmanager/RsManager.h"
#include "support/Pty.h"

using Bytes = std::vector<uint8_t>;
using Clock = std::chrono::steady_clock;

namespace {

// Counts events of one kind and keeps the time of the last.
class Stamps {
public:
    void Stamp() {
        std::lock_guard lock(m_);
        last_ = Clock::now();
        ++count_;
        cv_.notify_all();
    }
    bool WaitCount(int n, Clock::time_point& at) {
        std::unique_lock lock(m_);
        const bool ok = cv_.wait_for(lock, std::chrono::seconds(2), [&] { return count_ >= n; });
        at = last_;
        return ok;
    }

private:
    std::mutex m_;
    std::condition_variable cv_;
    int count_ = 0;
    Clock::time_point last_;
};

class StampPoster : public platform::WindowPoster {
public:
    void post(int message) override {
        if (message == 1024) received.Stamp();
    }
    Stamps received;
};

double Percentile(std::vector<double> v, double p) {
    if (v.empty()) return -1;
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, static_cast<size_t>(p * static_cast<double>(v.size())))];
}

double Us(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double, std::micro>(to - from).count();
}

void Report(const std::string& what, const std::vector<double>& v, const char* unit, double scale) {
    std::printf("%-52s n=%-5zu median %9.1f %s   p99 %9.1f %s   max %9.1f %s\n", what.c_str(), v.size(),
                Percentile(v, 0.5) / scale, unit, Percentile(v, 0.99) / scale, unit,
                Percentile(v, 1.0) / scale, unit);
}

const Bytes kFrame = StationFrame({0x73, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10});

// The far end of a line of the given byte time (0: a bare pseudo-terminal, all bytes at once).
struct Line_T {
    const char* name;
    double byteSeconds;
    int frames;
};

// Writes as the far station's UART would: byte i is in the port once i + 1 byte times passed.
void LineWrite(Pty& pty, const Bytes& bytes, const Line_T& line, Clock::time_point from) {
    if (line.byteSeconds <= 0) {
        pty.Write(bytes);
        return;
    }
    for (size_t i = 0; i < bytes.size(); ++i) {
        std::this_thread::sleep_until(
            from + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(line.byteSeconds * static_cast<double>(i + 1))));
        pty.Write({bytes[i]});
    }
}

// The latencies less the frame's own line time: what the layer adds once the last byte is in.
std::vector<double> OverLine(std::vector<double> us, const Line_T& line) {
    const double floorUs = line.byteSeconds * static_cast<double>(kFrame.size()) * 1e6;
    for (double& v : us) v -= floorUs;
    return us;
}

std::string Label(const char* what, const Line_T& line, const char* suffix = "") {
    return std::string(what) + " [" + line.name + "]" + suffix;
}

void Manager(const Line_T& line) {
    Pty pty;
    TQueueMessages send, receive;
    StampPoster poster;
    TRsManager manager(&send, &receive, 1024, 1025);
    manager.SetWindow(&poster);
    manager.SetProtocol("VOLTAR");
    manager.SetPort(pty.SlavePath());
    manager.SetSenderPeriod(50);
    if (manager.Open() != 0) {
        std::printf("manager: open failed\n");
        return;
    }
    std::vector<double> latency;
    for (int i = 1; i <= line.frames; ++i) {
        const auto t0 = Clock::now();
        LineWrite(pty, kFrame, line, t0);
        Clock::time_point at;
        if (!poster.received.WaitCount(i, at)) break;
        latency.push_back(Us(t0, at));
        while (receive.Count() > 0) receive.Pop();
    }
    manager.Close();
    std::vector<double> close;
    for (int i = 0; i < 50; ++i) {
        manager.Open();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        const auto t0 = Clock::now();
        manager.Close();
        close.push_back(Us(t0, Clock::now()));
    }
    Report(Label("manager: write -> post", line), latency, "us", 1);
    if (line.byteSeconds > 0) Report(Label("manager: write -> post", line, " - line"), OverLine(latency, line), "us", 1);
    Report(Label("manager: Close()", line), close, "ms", 1000);
}

void Component(const Line_T& line) {
    Pty pty;
    TRS rs;
    rs.SetDeviceName(pty.SlavePath());
    Stamps rx, tx;
    // Bytes that trickle in come in several OnRxChar: a frame is in with its last byte.
    size_t bytesIn = 0;
    rs.OnRxChar = [&](TRS* s, long) {
        uint8_t buf[64];
        const long n = s->Read(buf, sizeof buf);
        if (n <= 0) return;
        const size_t before = bytesIn / kFrame.size();
        bytesIn += static_cast<size_t>(n);
        for (size_t k = before; k < bytesIn / kFrame.size(); ++k) rx.Stamp();
    };
    rs.OnTxEmpty = [&](TRS*) { tx.Stamp(); };
    try {
        rs.Open();
    } catch (const ERsError& e) {
        std::printf("TRS: %s\n", e.what());
        return;
    }
    std::vector<double> rxUs, txUs, close;
    for (int i = 1; i <= line.frames; ++i) {
        auto t0 = Clock::now();
        LineWrite(pty, kFrame, line, t0);
        Clock::time_point at;
        if (!rx.WaitCount(i, at)) break;
        rxUs.push_back(Us(t0, at));
        // From before the call: the event may come before Write has returned.
        t0 = Clock::now();
        rs.Write(kFrame.data(), static_cast<long>(kFrame.size()));
        if (!tx.WaitCount(i, at)) break;
        txUs.push_back(Us(t0, at));
        pty.Read(kFrame.size(), std::chrono::milliseconds(200));
    }
    for (int i = 0; i < 50; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        const auto t0 = Clock::now();
        rs.Close();
        close.push_back(Us(t0, Clock::now()));
        rs.Open();
    }
    rs.Close();
    Report(Label("TRS: write -> OnRxChar", line), rxUs, "us", 1);
    if (line.byteSeconds > 0) Report(Label("TRS: write -> OnRxChar", line, " - line"), OverLine(rxUs, line), "us", 1);
    // The pseudo-terminal takes the program's own writes at once at any speed set on it.
    Report(Label("TRS: Write -> transmit-empty", line), txUs, "us", 1);
    Report(Label("TRS: Close()", line), close, "ms", 1000);
}

}  // namespace

int main() {
#ifdef _WIN32
    std::printf("serial layers, Win32 backend (under Wine: Wine's figures, not Windows')\n");
#else
    std::printf("serial layers, POSIX backend\n");
#endif
    for (const Line_T& line : {Line_T{"at once", 0, 1000}, Line_T{"9600 8N1", 10.0 / 9600, 200}}) {
        Manager(line);
        Component(line);
    }
    return 0;
}
