// The records database's figures for the issue notes; never run as tests. Compare ratios
// within one run only.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <string>

#include "execution/ResultsTable.h"
#include "records/RunRecorder.h"
#include "records/RunStoreWriter.h"

namespace {

// A results table holding one check of 30 judged rows.
void FillThirtyRows(TResultsTable& table) {
    table.Reset();
    for (int r = 1; r <= 30; ++r) {
        table.WriteParameterRow(r, "Параметр " + std::to_string(r) + ",10,20,15", "step1/" + std::to_string(r));
        table.SetCell(4, r, "15.25");
        table.SetCell(5, r, "OK");
        table.GrowIfNeeded();
    }
    table.SetNextFreeRow(31);
}

std::string TempFile(const char* name) {
    char dir[] = "/tmp/bench_records_XXXXXX";
    return std::string(mkdtemp(dir)) + "/" + name;
}

// What the window's thread pays per recorded check: the rows taken from the table and queued.
void BM_WindowThreadPerCheck(benchmark::State& state) {
    TRunStoreWriter writer;
    std::string error;
    if (!writer.Open(TempFile("runs.sqlite"), error)) state.SkipWithError(error.c_str());
    TRunRecorder recorder;
    recorder.SetSink(&writer);
    TResultsTable table;
    FillThirtyRows(table);
    RunStart_T start;
    recorder.BeginRun(start);
    int n = 0;
    for (auto _ : state) {
        recorder.CheckStarted(++n, "Изоляция");
        recorder.CheckEnded(RunOutcome::Passed, table, 1, true);
        // Keep the queue from growing beyond what a real run makes (a check every few seconds).
        state.PauseTiming();
        writer.Flush();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_WindowThreadPerCheck)->Unit(benchmark::kMicrosecond);

// One 30-row check committed to the file with synchronous=FULL (its fsync included).
void BM_StoreThirtyRowCheck(benchmark::State& state) {
    TRunStore store;
    std::string error;
    if (!store.Open(TempFile("runs.sqlite"), error)) state.SkipWithError(error.c_str());
    RunRecord_T run;
    run.id = NewUuid();
    store.BeginRun(run, error);
    TResultsTable table;
    FillThirtyRows(table);
    CheckRecord_T check;
    check.title = "Изоляция";
    check.rows = TRunRecorder::Rows(table, 1, true);
    int n = 0;
    for (auto _ : state) {
        check.position = ++n;
        if (!store.AddCheck(run.id, check, error)) state.SkipWithError(error.c_str());
    }
}
BENCHMARK(BM_StoreThirtyRowCheck)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
