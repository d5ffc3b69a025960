// The statistics of a stand's file and of the plant's PostgreSQL server that the stand forwarded
// it to must agree: the same runs taken by each filter, the same first runs of a serial, the same
// order of ties, the same thinned series of a parameter.
#include <gtest/gtest.h>

#include <cstdlib>
#include <random>

#include "PgServer.h"
#include "records/PgForwarder.h"
#include "records/PgRecords.h"
#include "records/RunStore.h"
#include "support/Shell.h"
#include "support/TempDir.h"

namespace {

// Runs around the turn of a month at three stands, with ties in the start time, starts at the
// very edges of a day, two kinds and two script versions, look-alike script names, values written with a comma or not
// a number at all, and limits that give no capability.
std::vector<RunRecord_T> MixedRuns(int count) {
    std::mt19937 rng(20261209);
    auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
    const char* times[] = {"00:00:00.000", "09:15:00.000", "12:00:00.000", "12:00:00.000", "23:59:59.999"};
    const char* titles[] = {"Изоляция", "Напряжение", "Ток", "Связь"};
    std::vector<RunRecord_T> runs;
    for (int i = 0; i < count; ++i) {
        RunRecord_T r;
        r.id = "run-" + std::to_string(1000 + pick(9000)) + "-" + std::to_string(i);
        r.stand = "Стенд " + std::to_string(1 + pick(3));
        r.serial = pick(10) == 0 ? "" : "S" + std::to_string(pick(60));
        r.deviceKind = pick(3) == 0 ? "Шкаф" : "Станция";
        // Scripts named only like one.ini (by letter case, or with no folder before the name)
        // are other scripts on both stores.
        const int script = pick(8);
        r.script = script < 2    ? "C:\\scn\\two.ini"
                   : script == 2 ? "./scn/ONE.ini"
                   : script == 3 ? "./scn/xone.ini"
                                 : "./scn/one.ini";
        r.scriptVersion = pick(2) ? "v1" : "v2";
        const int day = 25 + pick(16);  // 25 November .. 10 December
        char date[16];
        std::snprintf(date, sizeof date, "2026-%02d-%02d", day > 30 ? 12 : 11, day > 30 ? day - 30 : day);
        r.startedAt = std::string(date) + "T" + times[pick(5)] + "+03:00";
        r.endedAt = r.startedAt;
        const int o = pick(10);
        r.outcome = o < 6 ? RunOutcome::Passed : o < 9 ? RunOutcome::Failed : RunOutcome::Aborted;
        const int checks = 1 + pick(4);
        for (int k = 0; k < checks; ++k) {
            CheckRecord_T c;
            c.position = k + 1;
            c.number = k + 1;
            c.title = titles[k];
            c.outcome = pick(5) == 0 ? RunOutcome::Failed : RunOutcome::Passed;
            for (int row = 1; row <= 3; ++row) {
                MeasurementRecord_T m;
                m.row = row;
                m.parameter = std::string(row == 1 ? "U" : row == 2 ? "I" : "K") + std::to_string(k + 1);
                m.low = row == 2 ? "" : row == 3 ? "5" : "200";
                m.high = row == 3 ? "5" : "240";
                const int whole = 180 + pick(80);
                const int v = pick(12);
                m.measured = v == 0 ? "-" : v == 1 ? std::to_string(whole) + "," + std::to_string(pick(10))
                                                   : std::to_string(whole) + "." + std::to_string(pick(100));
                m.passed = v == 0 ? std::nullopt : std::optional<bool>(whole >= 200 && whole < 240);
                c.rows.push_back(m);
            }
            r.checks.push_back(c);
        }
        runs.push_back(r);
    }
    return runs;
}

std::vector<StatsFilter_T> Filters() {
    std::vector<StatsFilter_T> f(7);
    f[1].from = "2026-12-01";
    f[1].to = "2026-12-01";  // one day, its first and last millisecond included
    f[2].from = "2026-11-30";
    f[2].stand = "Стенд 2";
    f[3].to = "2026-11-30";
    f[3].deviceKind = "Шкаф";
    f[4].scriptVersion = "v2";
    f[4].from = "2026-11-28";
    f[4].to = "2026-12-04";
    f[5].stand = "нет такого";
    f[6].from = "2026-12-01";
    f[6].to = "2026-12-31";
    f[6].stand = "Стенд 1";
    f[6].deviceKind = "Станция";
    f[6].scriptVersion = "v1";
    return f;
}

std::string Describe(const StatsFilter_T& f) {
    return "[" + f.from + ".." + f.to + " " + f.deviceKind + " " + f.stand + " " + f.scriptVersion + "]";
}

void ExpectSameCapability(const Capability_T& a, const Capability_T& b, const std::string& where) {
    SCOPED_TRACE(where);
    ASSERT_EQ(a.count, b.count);
    EXPECT_EQ(a.skipped, b.skipped);
    EXPECT_NEAR(a.mean, b.mean, 1e-9 * (1 + std::abs(a.mean)));
    EXPECT_NEAR(a.sigma, b.sigma, 1e-9 * (1 + a.sigma));
    EXPECT_EQ(a.min, b.min);
    EXPECT_EQ(a.max, b.max);
    EXPECT_EQ(a.low, b.low);
    EXPECT_EQ(a.high, b.high);
    EXPECT_EQ(a.cp.has_value(), b.cp.has_value());
    EXPECT_EQ(a.cpk.has_value(), b.cpk.has_value());
    if (a.cpk && b.cpk) {
        EXPECT_NEAR(*a.cpk, *b.cpk, 1e-9);
    }
    ASSERT_EQ(a.histogram.size(), b.histogram.size());
    for (size_t i = 0; i < a.histogram.size(); ++i) {
        EXPECT_EQ(a.histogram[i].from, b.histogram[i].from) << i;
        EXPECT_EQ(a.histogram[i].count, b.histogram[i].count) << i;
    }
    ASSERT_EQ(a.values.size(), b.values.size());
    for (size_t i = 0; i < a.values.size(); ++i) {
        EXPECT_EQ(a.values[i].startedAt, b.values[i].startedAt) << i;
        EXPECT_EQ(a.values[i].value, b.values[i].value) << i;
    }
}

}  // namespace

TEST(StatisticsAgreement, TheStandsFileAndThePlantsServerGiveTheSameAnswers) {
    if (!PgServer::Installed()) GTEST_SKIP() << "postgresql-15 is needed (scripts/deps.sh installs it)";
    // The records were written at +03:00; the plant's session reads its days in that zone.
    setenv("PGTZ", "Europe/Moscow", 1);
    PgServer pg;
    ASSERT_TRUE(pg.Ok()) << "the test's PostgreSQL server did not start";
    TempDir dir;
    const std::string path = dir.File("runs.sqlite");
    std::string error;
    {
        TRunStore store;
        ASSERT_TRUE(store.Open(path, error)) << error;
        ASSERT_TRUE(store.AddRuns(MixedRuns(400), error)) << error;
    }
    TPgForwarder forwarder(path, pg.ConnInfo(), "now");
    ASSERT_TRUE(forwarder.ForwardAll(error)) << error;

    TRunStore file;
    ASSERT_TRUE(file.Open(path, error, true)) << error;
    TPgRecords plant;
    ASSERT_TRUE(plant.Open(pg.ConnInfo(), error)) << error;

    int64_t seen = 0;
    for (const StatsFilter_T& f : Filters()) {
        const std::string where = Describe(f);
        const YieldReport_T a = file.Yield(f, error), b = plant.Yield(f, error);
        ASSERT_EQ(error, "") << where;
        EXPECT_EQ(a.runs, b.runs) << where;
        EXPECT_EQ(a.passed, b.passed) << where;
        EXPECT_EQ(a.unfinished, b.unfinished) << where;
        EXPECT_EQ(a.serials, b.serials) << where;
        EXPECT_EQ(a.firstPassed, b.firstPassed) << where;
        ASSERT_EQ(a.checks.size(), b.checks.size()) << where;
        for (size_t i = 0; i < a.checks.size(); ++i) {
            EXPECT_EQ(a.checks[i].name, b.checks[i].name) << where;
            EXPECT_EQ(a.checks[i].total, b.checks[i].total) << where;
            EXPECT_EQ(a.checks[i].passed, b.checks[i].passed) << where;
        }
        seen += a.runs;

        for (bool byParameter : {false, true}) {
            const auto pa = byParameter ? file.ParetoByParameter(f, error) : file.ParetoByCheck(f, error);
            const auto pb = byParameter ? plant.ParetoByParameter(f, error) : plant.ParetoByCheck(f, error);
            ASSERT_EQ(error, "") << where;
            ASSERT_EQ(pa.size(), pb.size()) << where;
            for (size_t i = 0; i < pa.size(); ++i) {
                EXPECT_EQ(pa[i].check, pb[i].check) << where << " " << i;
                EXPECT_EQ(pa[i].parameter, pb[i].parameter) << where << " " << i;
                EXPECT_EQ(pa[i].failures, pb[i].failures) << where << " " << i;
            }
        }

        const auto sa = file.StatsScripts(f, error), sb = plant.StatsScripts(f, error);
        EXPECT_EQ(sa, sb) << where;
        for (const std::string& script : {std::string("one.ini"), std::string("two.ini")}) {
            const auto qa = file.StatsParameters(f, script, error), qb = plant.StatsParameters(f, script, error);
            ASSERT_EQ(error, "") << where;
            EXPECT_EQ(qa, qb) << where << " " << script;
            for (const std::string& parameter : {std::string("U1"), std::string("I2"), std::string("K3")})
                for (size_t points : {size_t{4000}, size_t{10}}) {
                    ExpectSameCapability(file.Capability(f, script, parameter, error, points),
                                         plant.Capability(f, script, parameter, error, points),
                                         where + " " + script + " " + parameter + " " + std::to_string(points));
                    ASSERT_EQ(error, "");
                }
        }
    }
    // The filters took runs, and the one-day filter found the day's edges.
    EXPECT_GT(seen, 400);
    StatsFilter_T day;
    day.from = day.to = "2026-12-01";
    EXPECT_GT(file.Yield(day, error).runs, 0);

    const Capability_T u = plant.Capability({}, "one.ini", "U1", error, 10);
    EXPECT_GT(u.count, 100);
    EXPECT_TRUE(u.cpk.has_value());
    EXPECT_FALSE(plant.Capability({}, "one.ini", "I2", error).cpk.has_value());  // one limit
    EXPECT_FALSE(plant.Capability({}, "one.ini", "K3", error).cpk.has_value());  // equal limits

    StatsFilter_T bad;
    bad.from = "2026-13-01";
    plant.Yield(bad, error);
    EXPECT_EQ(error, "Дата 2026-13-01 не годится: нужна дата вида ГГГГ-ММ-ДД.");
    error.clear();

    const std::string tool = "PGTZ=Europe/Moscow " + std::string(STAND_RECORDS_BINARY) + " --postgres '" +
                             pg.ConnInfo() + "' ";
    const std::string json = Shell(tool + "capability one.ini U1 --stand 'Стенд 1' --json");
    StatsFilter_T s1;
    s1.stand = "Стенд 1";
    EXPECT_NE(json.find("\"count\": " + std::to_string(file.Capability(s1, "one.ini", "U1", error).count) + ","),
              std::string::npos)
        << json;
    EXPECT_NE(Shell(tool + "yield --from 2026-02-30 2>&1").find("2026-02-30 не годится"), std::string::npos);
}
