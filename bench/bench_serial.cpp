// Figures of the serial layers on whichever platform this is built for: POSIX over pseudo-
// terminals, or Win32 under Wine over COM ports that tests/windows/run.sh joins in pairs
// (`bash tests/windows/run.sh --bench`). Plain chrono and no benchmark library, so that the
// same program builds with mingw-w64. Figures, never tests; under Wine they are Wine's, not
// Windows'.
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

void Report(const char* what, const std::vector<double>& v, const char* unit, double scale) {
    std::printf("%-34s n=%-5zu median %9.1f %s   p99 %9.1f %s   max %9.1f %s\n", what, v.size(),
                Percentile(v, 0.5) / scale, unit, Percentile(v, 0.99) / scale, unit,
                Percentile(v, 1.0) / scale, unit);
}

const Bytes kFrame = StationFrame({0x73, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10});

void Manager() {
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
    for (int i = 1; i <= 1000; ++i) {
        const auto t0 = Clock::now();
        pty.Write(kFrame);
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
    Report("manager: write -> post", latency, "us", 1);
    Report("manager: Close()", close, "ms", 1000);
}

void Component() {
    Pty pty;
    TRS rs;
    rs.SetDeviceName(pty.SlavePath());
    Stamps rx, tx;
    rs.OnRxChar = [&](TRS* s, long) {
        uint8_t buf[64];
        s->Read(buf, sizeof buf);
        rx.Stamp();
    };
    rs.OnTxEmpty = [&](TRS*) { tx.Stamp(); };
    try {
        rs.Open();
    } catch (const ERsError& e) {
        std::printf("TRS: %s\n", e.what());
        return;
    }
    std::vector<double> rxUs, txUs, close;
    for (int i = 1; i <= 1000; ++i) {
        auto t0 = Clock::now();
        pty.Write(kFrame);
        Clock::time_point at;
        if (!rx.WaitCount(i, at)) break;
        rxUs.push_back(Us(t0, at));
        rs.Write(kFrame.data(), static_cast<long>(kFrame.size()));
        t0 = Clock::now();
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
    Report("TRS: write -> OnRxChar", rxUs, "us", 1);
    Report("TRS: Write -> transmit-empty", txUs, "us", 1);
    Report("TRS: Close()", close, "ms", 1000);
}

}  // namespace

int main() {
#ifdef _WIN32
    std::printf("serial layers, Win32 backend (under Wine: Wine's figures, not Windows')\n");
#else
    std::printf("serial layers, POSIX backend\n");
#endif
    Manager();
    Component();
    return 0;
}
