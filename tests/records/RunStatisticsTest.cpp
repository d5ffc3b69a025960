// Statistics on a small records file whose answers are worked out by hand: which runs
// count, first-pass yield, the Pareto order and a parameter's capability against its limits.
#include <gtest/gtest.h>

#include <cmath>

#include "StatsRuns.h"
#include "records/RunStore.h"
#include "support/Shell.h"
#include "support/TempDir.h"

using namespace stats_runs;

TEST(RunStatistics, YieldCountsRunsWithAVerdictAndEachSerialsFirstRun) {
    TempDir dir;
    TRunStore store;
    std::string error;
    ASSERT_TRUE(store.Open(MakeFile(dir), error, true)) << error;
    const YieldReport_T y = store.Yield(December(), error);
    ASSERT_TRUE(error.empty()) << error;
    EXPECT_EQ(y.runs, 5);        // a1, a2, b, e, g
    EXPECT_EQ(y.passed, 3);      // a2, b, g
    EXPECT_EQ(y.unfinished, 1);  // c
    EXPECT_EQ(y.serials, 4);     // A, B, E, G
    EXPECT_EQ(y.firstPassed, 2); // B and G; A failed its first run
    ASSERT_EQ(y.checks.size(), 3u);
    EXPECT_EQ(y.checks[0].name, "Напряжение");
    EXPECT_EQ(y.checks[0].total, 5);
    EXPECT_EQ(y.checks[0].passed, 3);
    EXPECT_EQ(y.checks[1].name, "Ток");
    EXPECT_EQ(y.checks[1].passed, 4);
    // Without the stand, S2's failed run joins; from November on, D's passed one too.
    StatsFilter_T all;
    EXPECT_EQ(store.Yield(all, error).runs, 7);
    all.deviceKind = "Дроссель";
    EXPECT_EQ(store.Yield(all, error).runs, 0);
}

TEST(RunStatistics, ParetoPutsTheMostFrequentFailuresFirst) {
    TempDir dir;
    TRunStore store;
    std::string error;
    ASSERT_TRUE(store.Open(MakeFile(dir), error, true)) << error;
    const auto byCheck = store.ParetoByCheck(December(), error);
    ASSERT_EQ(byCheck.size(), 2u) << error;
    EXPECT_EQ(byCheck[0].check, "Напряжение");
    EXPECT_EQ(byCheck[0].failures, 2);
    EXPECT_EQ(byCheck[1].check, "Ток");
    EXPECT_EQ(byCheck[1].failures, 1);
    const auto byParameter = store.ParetoByParameter(December(), error);
    ASSERT_EQ(byParameter.size(), 3u);
    EXPECT_EQ(byParameter[0].parameter, "U");
    EXPECT_EQ(byParameter[0].failures, 2);
    // Ties in title order: a passed run's failed row (K of b) counts as well.
    EXPECT_EQ(byParameter[1].check + "/" + byParameter[1].parameter, "Прочее/K");
    EXPECT_EQ(byParameter[2].check + "/" + byParameter[2].parameter, "Ток/I");
}

TEST(RunStatistics, CapabilityAgainstTheLimitsAndNoneWhereTheyDoNotAllowIt) {
    TempDir dir;
    TRunStore store;
    std::string error;
    ASSERT_TRUE(store.Open(MakeFile(dir), error, true)) << error;
    // U of a1, b, a2, e in time order: 25, 16, 15, 8; g's "-" is not a number; c has no verdict.
    const Capability_T u = store.Capability(December(), "one.ini", "U", error);
    ASSERT_TRUE(error.empty()) << error;
    EXPECT_EQ(u.count, 4);
    EXPECT_EQ(u.skipped, 1);
    EXPECT_DOUBLE_EQ(u.mean, 16);
    EXPECT_NEAR(u.sigma, std::sqrt(146.0 / 3), 1e-9);
    EXPECT_EQ(u.min, 8);
    EXPECT_EQ(u.max, 25);
    ASSERT_TRUE(u.cp && u.cpk);
    EXPECT_NEAR(*u.cp, 10 / (6 * 6.976150), 1e-6);   // 0.238910
    EXPECT_NEAR(*u.cpk, 4 / (3 * 6.976150), 1e-6);   // 0.191128: nearer the upper limit
    ASSERT_EQ(u.values.size(), 4u);
    EXPECT_EQ(u.values[0].value, 25);
    EXPECT_EQ(u.values[1].value, 16);
    EXPECT_EQ(u.values[3].startedAt.substr(0, 10), "2026-12-04");
    // The decimal comma reads as a point.
    EXPECT_NEAR(store.Capability(December(), "./scn/one.ini", "I", error).max, 1.5, 1e-12);
    // One limit, or two equal ones: no Cp, no Cpk, the rest as ever.
    const Capability_T t = store.Capability(December(), "one.ini", "T", error);
    EXPECT_EQ(t.count, 2);
    EXPECT_FALSE(t.low);
    EXPECT_FALSE(t.cp || t.cpk);
    const Capability_T k = store.Capability(December(), "one.ini", "K", error);
    EXPECT_EQ(k.count, 2);
    EXPECT_FALSE(k.cp || k.cpk);
    EXPECT_NE(FormatCapability(k).find("не определены"), std::string::npos);
    // Another script's name finds nothing; a wildcard in it is taken as a letter.
    EXPECT_EQ(store.Capability(December(), "two.ini", "U", error).count, 0);
    EXPECT_EQ(store.Capability(December(), "%.ini", "U", error).count, 0);
}

TEST(RunStatistics, ALongSeriesKeepsItsExtremesAndTheToolPrintsTheReports) {
    TRunningStats s;
    for (double v : {2.0, 4.0, 4.0, 4.0, 5.0, 5.0, 7.0, 9.0}) s.Add(v);
    EXPECT_DOUBLE_EQ(s.Mean(), 5);
    EXPECT_NEAR(s.Sigma(), std::sqrt(32.0 / 7), 1e-12);
    // A span of 7 fits 64 bins of 1/8 (57 of them) but not of 1/16; the same bins whatever the
    // order the values come in.
    auto bins = [](const TRunningStats& r) {
        std::string out;
        for (const HistogramBin_T& b : r.Histogram())
            out += std::to_string(b.from) + ".." + std::to_string(b.to) + ":" + std::to_string(b.count) + " ";
        return out;
    };
    EXPECT_EQ(bins(s), "2.000000..2.125000:1 4.000000..4.125000:3 5.000000..5.125000:2 7.000000..7.125000:1 "
                       "9.000000..9.125000:1 ");
    TRunningStats reversed;
    for (double v : {9.0, 7.0, 5.0, 5.0, 4.0, 4.0, 4.0, 2.0}) reversed.Add(v);
    EXPECT_EQ(bins(reversed), bins(s));
    TRunningStats far;
    for (double v : {-1e308, 1.5e308, 0.0}) far.Add(v);
    EXPECT_LE(far.Histogram().size(), 3u);
    EXPECT_FALSE(ParseMeasured("12abc"));
    EXPECT_FALSE(ParseMeasured("inf"));
    EXPECT_EQ(ParseMeasured(" -1,25 "), -1.25);

    TempDir dir;
    const std::string db = MakeFile(dir);
    {
        TRunStore store;
        std::string error;
        ASSERT_TRUE(store.Open(db, error, true));
        const Capability_T u = store.Capability(StatsFilter_T{}, "one.ini", "U", error, 4);
        // Seven rows, six of them values (d 17, a1 25, b 16, a2 15, f 30, e 8; g's is no number),
        // thinned to stretches of four rows, each giving its highest and lowest in time order;
        // the statistics see all six.
        ASSERT_EQ(u.count, 6);
        ASSERT_EQ(u.values.size(), 4u);
        EXPECT_EQ(u.values[0].value, 25);
        EXPECT_EQ(u.values[1].value, 15);
        EXPECT_EQ(u.values[2].value, 30);
        EXPECT_EQ(u.values[3].value, 8);
        EXPECT_EQ(u.min, 8);
    }
    const std::string tool = std::string(STAND_RECORDS_BINARY) + " --db " + db + " ";
    const std::string yield = Shell(tool + "yield --from 2026-12-01 --to 2026-12-31 --stand S1");
    EXPECT_NE(yield.find("испытаний с итогом: 5, прошли: 3 (60.0 %)"), std::string::npos) << yield;
    EXPECT_NE(yield.find("станций: 4, прошли с первого раза: 2 (50.0 %)"), std::string::npos) << yield;
    const std::string pareto = Shell(tool + "pareto --stand S1 --from 2026-12-01 --json");
    EXPECT_NE(pareto.find("{\"check\": \"Напряжение\", \"failures\": 2}"), std::string::npos) << pareto;
    const std::string cap = Shell(tool + "capability one.ini U --stand S1 --from 2026-12-01 --json");
    EXPECT_NE(cap.find("\"count\": 4, \"skipped\": 1, \"mean\": 16,"), std::string::npos) << cap;
    EXPECT_NE(Shell(tool + "yield --bogus 1 2>&1").find("неизвестный ключ --bogus"), std::string::npos);
}
