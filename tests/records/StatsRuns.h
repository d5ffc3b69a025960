#pragma once

// A small records file whose statistics are worked out by hand in the tests that use it.
#include <gtest/gtest.h>

#include "records/RunStore.h"
#include "support/TempDir.h"

namespace stats_runs {

struct Row {
    std::string parameter, low, high, measured;
    std::optional<bool> passed;
};

inline RunRecord_T Run(const std::string& id, const std::string& serial, const std::string& started, RunOutcome outcome,
                const std::vector<std::pair<RunOutcome, std::vector<Row>>>& checks, const std::string& stand = "S1") {
    RunRecord_T r;
    r.id = id;
    r.stand = stand;
    r.serial = serial;
    r.deviceKind = "Станция";
    r.script = "./scn/one.ini";
    r.scriptVersion = "v1";
    r.startedAt = started + ".000+03:00";
    r.endedAt = r.startedAt;
    r.outcome = outcome;
    const char* titles[] = {"Напряжение", "Ток", "Прочее"};
    for (size_t k = 0; k < checks.size(); ++k) {
        CheckRecord_T c;
        c.position = c.number = static_cast<int>(k) + 1;
        c.title = titles[k];
        c.outcome = checks[k].first;
        int row = 1;
        for (const Row& x : checks[k].second) {
            MeasurementRecord_T m;
            m.row = row++;
            m.parameter = x.parameter, m.low = x.low, m.high = x.high, m.measured = x.measured, m.passed = x.passed;
            c.rows.push_back(m);
        }
        r.checks.push_back(c);
    }
    return r;
}

inline const RunOutcome P = RunOutcome::Passed, F = RunOutcome::Failed;

// December at stand S1: A fails then passes, B and G pass, E fails both checks, C is aborted.
// D (November) and F (stand S2) lie outside the filter.
inline std::string MakeFile(TempDir& dir, const std::string& name = "runs.sqlite") {
    TRunStore store;
    std::string error;
    EXPECT_TRUE(store.Open(dir.File(name), error)) << error;
    auto u = [](const std::string& v, std::optional<bool> ok) { return Row{"U", "10", "20", v, ok}; };
    auto i = [](const std::string& v, bool ok) { return Row{"I", "0", "1", v, ok}; };
    std::vector<RunRecord_T> runs = {
        Run("a1", "A", "2026-12-01T10:00:00", F, {{F, {u("25", false)}}, {P, {i("0.5", true)}}}),
        Run("a2", "A", "2026-12-02T09:00:00", P,
            {{P, {u("15", true)}}, {P, {i("0.4", true)}}, {P, {{"T", "", "80", "60", true}, {"K", "5", "5", "5", true}}}}),
        Run("b", "B", "2026-12-01T11:00:00", P,
            {{P, {u("16", true)}}, {P, {i("0.6", true)}}, {P, {{"T", "", "80", "70", true}, {"K", "5", "5", "6", false}}}}),
        Run("c", "C", "2026-12-03T09:00:00", RunOutcome::Aborted, {{RunOutcome::Aborted, {u("14", true)}}}),
        Run("d", "D", "2026-11-30T09:00:00", P, {{P, {u("17", true)}}}),
        Run("e", "E", "2026-12-04T09:00:00", F, {{F, {u("8", false)}}, {F, {i("1,5", false)}}}),
        Run("g", "G", "2026-12-05T09:00:00", P, {{P, {u("-", std::nullopt)}}, {P, {i("0.3", true)}}}),
        Run("f", "F", "2026-12-02T10:00:00", F, {{F, {u("30", false)}}}, "S2"),
    };
    EXPECT_TRUE(store.AddRuns(runs, error)) << error;
    return dir.File(name);
}

inline StatsFilter_T December() {
    StatsFilter_T f;
    f.from = "2026-12-01";
    f.to = "2026-12-31";
    f.stand = "S1";
    return f;
}

}  // namespace stats_runs
