// Station exchanges through the whole GUI-free path: reply reader and request framing, the
// serial manager, a pseudo-terminal and the simulated station. Figures for the issue notes.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>

#include "Percentile.h"
#include "StandSim.h"
#include "link/CommandCatalogue.h"
#include "link/StationCodec.h"
#include "rsmanager/RsManager.h"

namespace {

using Clock = std::chrono::steady_clock;

class Notifier : public platform::WindowPoster {
public:
    void post(int message) override {
        if (message != 1024) return;
        std::lock_guard lock(m_);
        ++received_;
        cv_.notify_all();
    }
    bool WaitBeyond(int seen) {
        std::unique_lock lock(m_);
        return cv_.wait_for(lock, std::chrono::seconds(2), [&] { return received_ > seen; });
    }
    int Received() {
        std::lock_guard lock(m_);
        return received_;
    }

private:
    std::mutex m_;
    std::condition_variable cv_;
    int received_ = 0;
};


// From the request being queued to its answer decoded by the reader, 1000 exchanges of
// "00 01 88" on an echoing line. The argument is the sender period: 50 ms as channel 1 runs,
// 1 ms to show what the path itself costs.
void BM_StationExchange(benchmark::State& state) {
    for (auto _ : state) {
        sim::Scenario_T scenario;
        scenario.echo = true;
        sim::StandSim stand(scenario);
        std::string error;
        if (!stand.Start(error)) {
            state.SkipWithError(error.c_str());
            return;
        }
        TQueueMessages send, receive;
        Notifier notifier;
        TRsManager manager(&send, &receive, 1024, 1025);
        manager.SetWindow(&notifier);
        manager.SetProtocol("VOLTAR");
        manager.SetSenderPeriod(static_cast<int32_t>(state.range(0)));
        manager.SetPort(stand.StationPort());
        if (manager.Open() != 0) {
            state.SkipWithError("open failed");
            return;
        }
        TReplyReader reader;
        std::vector<double> us;
        for (int i = 0; i < 1000; ++i) {
            const auto t0 = Clock::now();
            const RequestPacket_T p = BuildRequestPacket(cmd::kState);
            reader.RequestSent(p.bytes);
            send.Push(p.bytes);
            bool answered = false;
            while (!answered) {
                const int seen = notifier.Received();
                while (receive.Count() > 0) {
                    const auto m = receive.Pop();
                    const auto r = reader.Read(m.data(), m.size());
                    if (r.result == TReplyReader::Result::Frame) answered = true;
                }
                if (!answered && !notifier.WaitBeyond(seen)) break;
            }
            if (!answered) break;
            us.push_back(std::chrono::duration<double, std::micro>(Clock::now() - t0).count());
        }
        manager.Close();
        stand.Stop();
        state.counters["exchanges"] = static_cast<double>(us.size());
        state.counters["median_us"] = Percentile(us, 0.5);
        state.counters["p99_us"] = Percentile(us, 0.99);
    }
}
BENCHMARK(BM_StationExchange)->Arg(50)->Arg(1)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
