// The window thread's time per state answer with the plot page open: the answer decoded, the
// state pages lit and the plot's history fed, and every tenth of a second the plot redrawn
// and painted, as at a station answering twenty times a second with five minutes of history.
// Run: QT_QPA_PLATFORM=offscreen build/bench/bench_plot. Never part of the tests.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QChartView>
#include <QLineSeries>
#include <algorithm>
#include <chrono>
#include <vector>

#include "Percentile.h"
#include "execution/AnswerDecoder.h"
#include "execution/StatePages.h"
#include "execution/StatePlot.h"
#include "link/StationCodec.h"

namespace {

using Clock = std::chrono::steady_clock;

std::vector<uint8_t> StateAnswer(int i) {
    std::vector<uint8_t> f = {0x4D, 0x00, 30, 0x73};
    // The measured values move with every answer; the flag bytes 10..13 stay, as they do at a
    // station that is not failing.
    for (int k = 0; k < 29; ++k)
        f.push_back(k >= 10 && k <= 13 ? uint8_t{0x21} : static_cast<uint8_t>((i * (k + 3) / 7 + k * 11) & 0x7F));
    const uint16_t crc = StationCrc(f.data(), f.size());
    f.push_back(static_cast<uint8_t>(crc >> 8));
    f.push_back(static_cast<uint8_t>(crc));
    return f;
}


// First argument: 0 the plot page hidden (another page shown), 1 open. Second: answers per
// tick of the redraw timer (100 ms): 1 is the state poll of a run or slower, every answer drawn;
// 2 is twenty answers a second, every second answer drawn.
void BM_WindowThreadPerStateAnswer(benchmark::State& state) {
    const bool open = state.range(0) != 0;
    const int answersPerTick = static_cast<int>(state.range(1));
    float buffPar[64] = {};
    TAnswerDecoder decoder(buffPar);
    TAnswerDecoder::Coefficients_T k;
    k.kUin = k.kIout = k.kUout = 1.5;
    decoder.SetCoefficients(k);
    TStatePages pages;
    pages.resize(1000, 560);
    pages.show();
    pages.setCurrentWidget(open ? static_cast<QWidget*>(pages.Plot) : pages.widget(0));
    TStatePlot& plot = *pages.Plot;
    plot.TimerRedraw.stop();  // driven below at its own pace
    int64_t now = 1765272184000;
    plot.SetClock([&] { return now; });
    std::vector<std::vector<uint8_t>> answers;
    for (int i = 0; i < 256; ++i) answers.push_back(StateAnswer(i));
    // Five minutes of history at twenty answers a second.
    for (int i = 0; i < 6000; ++i) {
        decoder.Decode(answers[i % 256]);
        plot.AddState(buffPar);
        now += 50;
    }
    std::vector<double> perAnswer, redraws, paints;
    int i = 0;
    for (auto _ : state) {
        const auto t0 = Clock::now();
        decoder.Decode(answers[i % 256]);
        pages.ShowAnswer(0x73, decoder.State(), buffPar);
        now += 100 / answersPerTick;
        if (++i % answersPerTick == 0) {  // the redraw timer's tick
            const auto r0 = Clock::now();
            if (plot.isVisible()) {
                plot.TimerRedrawTimer();
                // The chart paints from the event loop, as in the program.
                const auto p0 = Clock::now();
                QCoreApplication::processEvents();
                paints.push_back(std::chrono::duration<double, std::micro>(Clock::now() - p0).count());
            }
            redraws.push_back(std::chrono::duration<double, std::micro>(Clock::now() - r0).count());
        }
        perAnswer.push_back(std::chrono::duration<double, std::micro>(Clock::now() - t0).count());
    }
    double sum = 0;
    for (double v : perAnswer) sum += v;
    state.counters["answer_p50_us"] = Percentile(perAnswer, 0.5);
    state.counters["answer_p99_us"] = Percentile(perAnswer, 0.99);
    state.counters["answer_mean_us"] = perAnswer.empty() ? 0 : sum / static_cast<double>(perAnswer.size());
    state.counters["redraw_p50_us"] = Percentile(redraws, 0.5);
    state.counters["paint_p50_us"] = Percentile(paints, 0.5);
    state.counters["points_drawn"] = plot.PointsOf(0).size();
    state.counters["pieces_last_redraw"] = static_cast<double>(plot.PiecesRedrawn());
}
BENCHMARK(BM_WindowThreadPerStateAnswer)
    ->Args({0, 2})
    ->Args({1, 2})
    ->Args({1, 1})
    ->Iterations(2000)
    ->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
