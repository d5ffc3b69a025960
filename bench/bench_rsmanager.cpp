// Serial manager figures for the issue notes: framer throughput, receive latency over a pty,
// Close() time, CPU of idle and of orphaned managers, descriptor leaks over open/close cycles;
// the RS-485 serial component's event latencies and Close() time beside the manager's.
// Run: build/bench/bench_rsmanager (about 30 s). Never part of the tests.
#include <benchmark/benchmark.h>
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <random>
#include <thread>
#include <vector>

#include "link/Rs.h"
#include "rsmanager/RsManager.h"

using Bytes = std::vector<uint8_t>;
using Clock = std::chrono::steady_clock;

namespace {

Bytes StationFrame(const Bytes& data) {
    Bytes f = {0x4B, static_cast<uint8_t>(data.size() >> 8), static_cast<uint8_t>(data.size())};
    f.insert(f.end(), data.begin(), data.end());
    const uint16_t crc = TCrc::Crc16(f.data(), f.size());
    f.push_back(static_cast<uint8_t>(crc >> 8));
    f.push_back(static_cast<uint8_t>(crc));
    return f;
}

struct PtyPair {
    int master = -1, slave = -1;
    std::string path;
    PtyPair() {
        char name[128];
        openpty(&master, &slave, name, nullptr, nullptr);
        path = name;
        termios t{};
        tcgetattr(slave, &t);
        cfmakeraw(&t);
        tcsetattr(slave, TCSANOW, &t);
    }
    ~PtyPair() {
        if (master >= 0) close(master);
        if (slave >= 0) close(slave);
    }
};

class StampPoster : public platform::WindowPoster {
public:
    void post(int message) override {
        if (message != 1024) return;
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

double Percentile(std::vector<double> v, double p) {
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, static_cast<size_t>(p * v.size()))];
}

double ProcessCpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return ts.tv_sec + ts.tv_nsec / 1e9;
}

int OpenDescriptors() {
    int n = 0;
    if (DIR* d = opendir("/proc/self/fd")) {
        while (readdir(d)) ++n;
        closedir(d);
    }
    return n;
}

void BM_VoltarFramerThroughput(benchmark::State& state) {
    std::mt19937 rng(3);
    Bytes stream;
    while (stream.size() < 64 * 1024) {
        Bytes data(1 + rng() % 70);
        for (auto& b : data) b = static_cast<uint8_t>(rng());
        const Bytes f = StationFrame(data);
        stream.insert(stream.end(), f.begin(), f.end());
        stream.push_back(static_cast<uint8_t>(rng()));  // a byte of noise between frames
    }
    TPackageJoin join("VOLTAR");
    for (auto _ : state) {
        join.AddDataAll(stream.data(), stream.size());
        while (join.Count() > 0) benchmark::DoNotOptimize(join.PopMessage());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * stream.size()));
}
BENCHMARK(BM_VoltarFramerThroughput);

// From the last byte written on the pty master to the received-message post, 1000 frames.
void BM_ReceiveLatency(benchmark::State& state) {
    for (auto _ : state) {
        PtyPair pty;
        TQueueMessages send, receive;
        StampPoster poster;
        TRsManager manager(&send, &receive, 1024, 1025);
        manager.SetWindow(&poster);
        manager.SetProtocol("VOLTAR");
        manager.SetPort(pty.path);
        if (manager.Open() != 0) {
            state.SkipWithError("open failed");
            return;
        }
        std::vector<double> us;
        const Bytes frame = StationFrame({0x73, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10});
        for (int i = 1; i <= 1000; ++i) {
            const auto t0 = Clock::now();
            if (write(pty.master, frame.data(), frame.size()) != static_cast<ssize_t>(frame.size()))
                break;
            Clock::time_point at;
            if (!poster.WaitCount(i, at)) break;
            us.push_back(std::chrono::duration<double, std::micro>(at - t0).count());
            while (receive.Count() > 0) receive.Pop();
        }
        manager.Close();
        state.counters["frames"] = static_cast<double>(us.size());
        state.counters["median_us"] = Percentile(us, 0.5);
        state.counters["p99_us"] = Percentile(us, 0.99);
    }
}
BENCHMARK(BM_ReceiveLatency)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

// The serial component on the same kind of line: from the last byte written on the master to
// OnRxChar (run on the event thread, no dispatcher), and from Write's return to the
// transmit-empty that turns the line round; Close() with its event thread waiting.
void BM_RsEventLatency(benchmark::State& state) {
    for (auto _ : state) {
        PtyPair pty;
        TRS rs;
        rs.SetDeviceName(pty.path);
        rs.SetBaudRate(115200);
        std::mutex m;
        std::condition_variable cv;
        int rx = 0, tx = 0;
        Clock::time_point rxAt, txAt;
        rs.OnRxChar = [&](TRS* s, long) {
            uint8_t buf[64];
            s->Read(buf, sizeof buf);
            std::lock_guard g(m);
            ++rx;
            rxAt = Clock::now();
            cv.notify_all();
        };
        rs.OnTxEmpty = [&](TRS*) {
            std::lock_guard g(m);
            ++tx;
            txAt = Clock::now();
            cv.notify_all();
        };
        rs.Open();
        std::vector<double> rxUs, txUs;
        const Bytes frame = StationFrame({0x73, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10});
        for (int i = 1; i <= 1000; ++i) {
            auto t0 = Clock::now();
            if (write(pty.master, frame.data(), frame.size()) != static_cast<ssize_t>(frame.size()))
                break;
            std::unique_lock l(m);
            if (!cv.wait_for(l, std::chrono::seconds(2), [&] { return rx >= i; })) break;
            rxUs.push_back(std::chrono::duration<double, std::micro>(rxAt - t0).count());
            l.unlock();
            rs.Write(frame.data(), static_cast<long>(frame.size()));
            t0 = Clock::now();
            l.lock();
            if (!cv.wait_for(l, std::chrono::seconds(2), [&] { return tx >= i; })) break;
            txUs.push_back(std::chrono::duration<double, std::micro>(txAt - t0).count());
            l.unlock();
            uint8_t sink[256];
            while (read(pty.master, sink, sizeof sink) > 0 && rs.OutQueCount() > 0) {
            }
        }
        std::vector<double> closeMs;
        for (int i = 0; i < 50; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
            const auto t0 = Clock::now();
            rs.Close();
            closeMs.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
            rs.Open();
        }
        rs.Close();
        state.counters["rx_median_us"] = Percentile(rxUs, 0.5);
        state.counters["rx_p99_us"] = Percentile(rxUs, 0.99);
        state.counters["tx_median_us"] = Percentile(txUs, 0.5);
        state.counters["tx_p99_us"] = Percentile(txUs, 0.99);
        state.counters["close_median_ms"] = Percentile(closeMs, 0.5);
        state.counters["close_max_ms"] = Percentile(closeMs, 1.0);
    }
}
BENCHMARK(BM_RsEventLatency)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_CloseTime(benchmark::State& state) {
    for (auto _ : state) {
        PtyPair pty;
        TQueueMessages send, receive;
        TRsManager manager(&send, &receive, 1024, 1025);
        manager.SetPort(pty.path);
        manager.SetSenderPeriod(50);  // the station channel's period
        std::vector<double> ms;
        for (int i = 0; i < 50; ++i) {
            manager.Open();
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
            const auto t0 = Clock::now();
            manager.Close();
            ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
        }
        state.counters["median_ms"] = Percentile(ms, 0.5);
        state.counters["max_ms"] = Percentile(ms, 1.0);
    }
}
BENCHMARK(BM_CloseTime)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

// CPU of the whole process while one manager sits open: on a quiet line, then on a line whose
// far side went away (the receiver must not spin).
void BM_IdleCpu(benchmark::State& state) {
    const bool orphaned = state.range(0) != 0;
    for (auto _ : state) {
        PtyPair pty;
        TQueueMessages send, receive;
        TRsManager manager(&send, &receive, 1024, 1025);
        manager.SetPort(pty.path);
        manager.SetSenderPeriod(10);  // the fastest sender: the worst case
        manager.Open();
        if (orphaned) {
            close(pty.master);
            pty.master = -1;
        }
        const double c0 = ProcessCpuSeconds();
        const auto t0 = Clock::now();
        std::this_thread::sleep_for(std::chrono::seconds(10));
        const double wall = std::chrono::duration<double>(Clock::now() - t0).count();
        state.counters["cpu_percent"] = 100.0 * (ProcessCpuSeconds() - c0) / wall;
        manager.Close();
    }
}
BENCHMARK(BM_IdleCpu)->Arg(0)->Arg(1)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

void BM_OpenCloseCycles(benchmark::State& state) {
    for (auto _ : state) {
        PtyPair pty;
        TQueueMessages send, receive;
        TRsManager manager(&send, &receive, 1024, 1025);
        manager.SetPort(pty.path);
        const int before = OpenDescriptors();
        int failures = 0;
        for (int i = 0; i < 1000; ++i) {
            failures += manager.Open() != 0;
            manager.Close();
        }
        state.counters["fd_leaked"] = OpenDescriptors() - before;
        state.counters["open_failures"] = failures;
    }
}
BENCHMARK(BM_OpenCloseCycles)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
