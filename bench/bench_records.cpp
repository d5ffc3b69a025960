// The records database's figures for the issue notes; never run as tests. Compare ratios
// within one run only.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <string>

#include <chrono>
#include <cstdio>
#include <memory>

#include "PgServer.h"
#include "execution/ResultsTable.h"
#include "records/PgForwarder.h"
#include "records/PgRecords.h"
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

RunRecord_T ThirtyRowRun(int i, const TResultsTable& table) {
    RunRecord_T r;
    r.id = NewUuid();
    r.session = "earlier";
    r.stand = "Стенд 1";
    r.serial = "S" + std::to_string(i / 10);  // ten runs per serial
    r.startedAt = r.endedAt = NowIso8601();
    r.outcome = i % 7 == 0 ? RunOutcome::Failed : RunOutcome::Passed;
    CheckRecord_T c;
    c.position = 1;
    c.title = "Изоляция";
    c.rows = TRunRecorder::Rows(table, 1, true);
    if (i % 7 == 0) c.rows[3].passed = false, c.rows[3].result = "ОШИБКА";
    r.checks.push_back(c);
    return r;
}

void FillRuns(TRunStore& store, int runs) {
    TResultsTable table;
    FillThirtyRows(table);
    std::string error;
    for (int done = 0; done < runs;) {
        std::vector<RunRecord_T> batch;
        for (int k = 0; k < 1000 && done < runs; ++k, ++done) batch.push_back(ThirtyRowRun(done, table));
        store.AddRuns(batch, error);
    }
}

// "stand-records serial" on a file of 100,000 runs of 30 rows each.
void BM_SerialHistoryOf100kRuns(benchmark::State& state) {
    static const std::string path = [] {
        const std::string p = TempFile("big.sqlite");
        TRunStore store;
        std::string error;
        store.Open(p, error);
        FillRuns(store, 100000);
        return p;
    }();
    TRunStore store;
    std::string error;
    store.Open(path, error, true);
    int i = 0;
    for (auto _ : state) {
        const auto runs = store.SerialHistory("S" + std::to_string((i++ * 7919) % 10000), error);
        if (runs.size() != 10) state.SkipWithError("a serial without its ten runs");
    }
}
BENCHMARK(BM_SerialHistoryOf100kRuns)->Unit(benchmark::kMillisecond);

// A plant's year: 100,000 runs spread evenly over 2026, three checks of ten rows each, one
// serial in ten tested again, a row in twenty outside its limits.
const std::string& YearOfRuns() {
    static const std::string path = [] {
        const std::string p = TempFile("year.sqlite");
        TRunStore store;
        std::string error;
        store.Open(p, error);
        uint32_t seed = 12345;
        // The high bits of the generator: its low ones repeat after a few steps.
        auto next = [&] { return (seed = seed * 1664525u + 1013904223u) >> 8; };
        const char* titles[] = {"Напряжение", "Ток", "Изоляция"};
        for (int done = 0; done < 100000;) {
            std::vector<RunRecord_T> batch;
            for (int k = 0; k < 1000; ++k, ++done) {
                RunRecord_T r;
                r.id = NewUuid();
                r.session = "earlier";
                r.stand = done % 3 ? "Стенд 1" : "Стенд 2";
                r.deviceKind = "Станция";
                r.serial = "S" + std::to_string(done % 10 == 9 ? done - 1 : done);
                r.script = "./scn/stanciya.ini";
                r.scriptVersion = "v1";
                const long minute = static_cast<long>(done) * 365L * 24 * 60 / 100000;
                const long day = minute / (24 * 60);
                static const int kMonth[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
                int month = 0;
                long d = day;
                while (d >= kMonth[month]) d -= kMonth[month++];
                char when[40];
                std::snprintf(when, sizeof when, "2026-%02d-%02ldT%02ld:%02ld:00.000+03:00", month + 1, d + 1,
                              minute / 60 % 24, minute % 60);
                r.startedAt = r.endedAt = when;
                bool runFailed = false;
                for (int c = 0; c < 3; ++c) {
                    CheckRecord_T check;
                    check.position = check.number = c + 1;
                    check.title = titles[c];
                    bool failed = false;
                    for (int row = 1; row <= 10; ++row) {
                        MeasurementRecord_T m;
                        m.row = row;
                        m.parameter = "P" + std::to_string(c * 10 + row);
                        m.low = "100", m.high = "200";
                        const bool bad = next() % 20 == 0;
                        const double v = bad ? 205 + next() % 10 : 130 + (next() % 4000) / 100.0;
                        char text[16];
                        std::snprintf(text, sizeof text, "%.2f", v);
                        m.measured = text;
                        m.passed = !bad;
                        failed = failed || bad;
                        check.rows.push_back(m);
                    }
                    check.outcome = failed ? RunOutcome::Failed : RunOutcome::Passed;
                    runFailed = runFailed || failed;
                    r.checks.push_back(check);
                }
                r.outcome = runFailed ? RunOutcome::Failed : RunOutcome::Passed;
                batch.push_back(std::move(r));
            }
            store.AddRuns(batch, error);
        }
        return p;
    }();
    return path;
}

// The quality engineer's month: yield, per check, and both Pareto lists.
void YieldAndParetoOfJune(benchmark::State& state, TRecordsSource& store) {
    std::string error;
    StatsFilter_T f;
    f.from = "2026-06-01";
    f.to = "2026-06-30";
    for (auto _ : state) {
        const YieldReport_T y = store.Yield(f, error);
        const auto byCheck = store.ParetoByCheck(f, error);
        const auto byParameter = store.ParetoByParameter(f, error);
        if (y.runs < 8000 || byCheck.size() != 3 || byParameter.size() != 30) state.SkipWithError("wrong answers");
        state.counters["runs"] = static_cast<double>(y.runs);
    }
    if (!error.empty()) state.SkipWithError(error.c_str());
}

// One parameter's capability over the whole year.
void CapabilityOverTheYear(benchmark::State& state, TRecordsSource& store) {
    std::string error;
    StatsFilter_T f;
    f.from = "2026-01-01";
    f.to = "2026-12-31";
    for (auto _ : state) {
        const Capability_T c = store.Capability(f, "stanciya.ini", "P7", error);
        if (c.count != 100000 || !c.cpk) state.SkipWithError("wrong answers");
        state.counters["cpk"] = c.cpk ? *c.cpk : 0;
        state.counters["points"] = static_cast<double>(c.values.size());
    }
    if (!error.empty()) state.SkipWithError(error.c_str());
}

void BM_YieldAndParetoOneMonth(benchmark::State& state) {
    TRunStore store;
    std::string error;
    store.Open(YearOfRuns(), error, true);
    YieldAndParetoOfJune(state, store);
}
BENCHMARK(BM_YieldAndParetoOneMonth)->Unit(benchmark::kMillisecond);

void BM_CapabilityOfOneParameterOverAYear(benchmark::State& state) {
    TRunStore store;
    std::string error;
    store.Open(YearOfRuns(), error, true);
    CapabilityOverTheYear(state, store);
}
BENCHMARK(BM_CapabilityOfOneParameterOverAYear)->Unit(benchmark::kMillisecond);

// The same year forwarded to a PostgreSQL server on this machine, analysed as autovacuum would.
PgServer* PlantYear() {
    static std::unique_ptr<PgServer> pg = [] {
        setenv("PGTZ", "Europe/Moscow", 1);
        auto server = std::make_unique<PgServer>();
        std::string error;
        TPgForwarder forwarder(YearOfRuns(), server->ConnInfo(), "now");
        if (!server->Ok() || !forwarder.ForwardAll(error)) return std::unique_ptr<PgServer>();
        server->Query("VACUUM ANALYZE");
        return server;
    }();
    return pg.get();
}

// STAND_BENCH_POSTGRES names a server that already holds the year (as a earlier run of this
// benchmark left it), so that its queries can be timed again without forwarding it anew.
bool OpenPlantYear(benchmark::State& state, TPgRecords& plant) {
    std::string error;
    if (const char* given = std::getenv("STAND_BENCH_POSTGRES")) {
        if (plant.Open(given, error)) return true;
        state.SkipWithError(error.c_str());
        return false;
    }
    if (PgServer::Installed() && PlantYear() && plant.Open(PlantYear()->ConnInfo(), error)) return true;
    state.SkipWithError("no PostgreSQL server with the year");
    return false;
}

void BM_YieldAndParetoOneMonthOnPostgres(benchmark::State& state) {
    TPgRecords plant;
    if (OpenPlantYear(state, plant)) YieldAndParetoOfJune(state, plant);
}
BENCHMARK(BM_YieldAndParetoOneMonthOnPostgres)->Unit(benchmark::kMillisecond);

void BM_CapabilityOfOneParameterOverAYearOnPostgres(benchmark::State& state) {
    TPgRecords plant;
    if (OpenPlantYear(state, plant)) CapabilityOverTheYear(state, plant);
}
BENCHMARK(BM_CapabilityOfOneParameterOverAYearOnPostgres)->Unit(benchmark::kMillisecond);

// Forwarding 10,000 ended runs (30 rows each) to a PostgreSQL server on this machine.
void BM_Forward10kRunsToPostgres(benchmark::State& state) {
    if (!PgServer::Installed()) {
        state.SkipWithError("postgresql-15 is not installed");
        return;
    }
    for (auto _ : state) {
        state.PauseTiming();
        auto pg = std::make_unique<PgServer>();
        const std::string path = TempFile("outbox.sqlite");
        {
            TRunStore store;
            std::string error;
            store.Open(path, error);
            FillRuns(store, 10000);
        }
        auto forwarder = std::make_unique<TPgForwarder>(path, pg->ConnInfo(), "now");
        std::string error;
        state.ResumeTiming();
        const auto start = std::chrono::steady_clock::now();
        if (!forwarder->ForwardAll(error)) state.SkipWithError(error.c_str());
        const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        state.counters["runs_per_s"] = 10000 / s;
        state.PauseTiming();
        forwarder.reset();
        pg.reset();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_Forward10kRunsToPostgres)->Unit(benchmark::kSecond)->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
