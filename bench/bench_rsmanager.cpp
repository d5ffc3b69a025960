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

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <random>
#include <thread>
#include <vector>

#include "Percentile.h"
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

// The time from a frame's last byte written on the far side to the received-message post,
// for three managers side by side on their own ports, one with the traffic journal and two
// without, frames sent to them in turn so that all see the same load on the machine.
class StampingPoster : public platform::WindowPoster {
public:
    void post(int message) override {
        if (message != 1024) return;
        std::lock_guard lock(mutex_);
        at_ = Clock::now();
        ++posts_;
        done_.notify_all();
    }
    // The time of post number n (1, 2, ...), or none within a second.
    bool WaitFor(int n, Clock::time_point& at) {
        std::unique_lock lock(mutex_);
        if (!done_.wait_for(lock, std::chrono::seconds(1), [&] { return posts_ >= n; })) return false;
        at = at_;
        return true;
    }

private:
    std::mutex mutex_;
    std::condition_variable done_;
    Clock::time_point at_{};
    int posts_ = 0;
};


void BM_ReceiveLatencyJournalOnOff(benchmark::State& state) {
    for (auto _ : state) {
        struct Side {
            PtyPair pty;
            TQueueMessages send, receive;
            StampingPoster poster;
            TRsManager manager{&send, &receive, 1024, 1025};
            std::vector<double> us;
            int frames = 0;
        };
        // A second manager without the journal shows how far two like sides differ anyway.
        TTrafficJournal journal;
        Side off, control, on;
        on.manager.SetJournal(&journal, 1);
        for (Side* s : {&off, &control, &on}) {
            s->manager.SetWindow(&s->poster);
            s->manager.SetProtocol("VOLTAR");
            s->manager.SetPort(s->pty.path);
            s->manager.Open();
        }
        const Bytes frame = StationFrame(Bytes(30, 0x5A));  // a state answer's size
        Side* order[3][3] = {{&off, &control, &on}, {&on, &off, &control}, {&control, &on, &off}};
        for (int i = 0; i < 30000; ++i) {
            // In threes, each side first, second and last in turn.
            Side& s = *order[(i / 3) % 3][i % 3];
            const Clock::time_point sent = Clock::now();
            if (write(s.pty.master, frame.data(), frame.size()) != static_cast<ssize_t>(frame.size())) break;
            Clock::time_point at;
            if (!s.poster.WaitFor(++s.frames, at)) break;
            s.us.push_back(std::chrono::duration<double, std::micro>(at - sent).count());
            while (s.receive.Count() > 0) s.receive.Pop();
            std::this_thread::sleep_for(std::chrono::microseconds(500));
        }
        for (Side* s : {&off, &control, &on}) s->manager.Close();
        state.counters["off_p50_us"] = Percentile(off.us, 0.5);
        state.counters["off_p99_us"] = Percentile(off.us, 0.99);
        state.counters["on_p50_us"] = Percentile(on.us, 0.5);
        state.counters["on_p99_us"] = Percentile(on.us, 0.99);
        state.counters["p99_on_over_off"] = Percentile(on.us, 0.99) / std::max(Percentile(off.us, 0.99), 1e-9);
        state.counters["p99_control_over_off"] =
            Percentile(control.us, 0.99) / std::max(Percentile(off.us, 0.99), 1e-9);
        state.counters["journal_frames"] = static_cast<double>(journal.NextSeq());
    }
}
BENCHMARK(BM_ReceiveLatencyJournalOnOff)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_JournalAdd(benchmark::State& state) {
    TTrafficJournal journal;
    const Bytes frame = StationFrame(Bytes(30, 0x5A));
    for (auto _ : state) journal.Add(1, JournalDir::In, frame.data(), frame.size(), true);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_JournalAdd);

}  // namespace

BENCHMARK_MAIN();
