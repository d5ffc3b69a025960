// Serial manager figures: framer throughput, CPU of idle and of orphaned managers, descriptor
// leaks over open/close cycles. Latencies and Close() times, of the manager and of the RS-485
// serial component, are bench_serial's (it builds for both backends).
// Run: build/bench/bench_rsmanager (about 25 s). Never part of the tests.
#include <benchmark/benchmark.h>
#include <dirent.h>
#include <pty.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <random>
#include <thread>
#include <vector>

#include "StationFrame.h"
#include "rsmanager/RsManager.h"

using Bytes = std::vector<uint8_t>;
using Clock = std::chrono::steady_clock;

namespace {

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
