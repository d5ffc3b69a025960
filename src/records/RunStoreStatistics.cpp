// The statistics of the stand's records file: every query reads through indices and streams
// its rows, so a plant's year of runs is never held in memory at once.
#include <algorithm>

#include "records/RunStore.h"

namespace {

// The filter as conditions on the runs table `r` and the texts they bind, in order. Only the
// conditions in use are written, so that the index on the start time serves the range.
struct Where {
    std::string sql;
    std::vector<std::string> binds;
};

Where RunConditions(const StatsFilter_T& f) {
    Where w;
    auto add = [&](const std::string& condition, const std::string& value) {
        w.sql += " AND " + condition;
        w.binds.push_back(value);
    };
    // The start times are ISO texts that begin with the local date: a day's bounds compare as
    // text ("2026-12-31T..." sorts before "2026-12-31U").
    if (!f.from.empty()) add("r.started_at >= ?", f.from);
    if (!f.to.empty()) add("r.started_at < ?", f.to + "U");
    if (!f.deviceKind.empty()) add("r.device_kind = ?", f.deviceKind);
    if (!f.stand.empty()) add("r.stand = ?", f.stand);
    if (!f.scriptVersion.empty()) add("r.script_version = ?", f.scriptVersion);
    return w;
}

constexpr const char* kVerdict = "r.outcome IN ('passed', 'failed')";

void BindAll(TSqliteStatement& s, const std::vector<std::string>& binds, int first = 1) {
    for (size_t i = 0; i < binds.size(); ++i) s.Bind(first + static_cast<int>(i), binds[i]);
}

}  // namespace

YieldReport_T TRunStore::Yield(const StatsFilter_T& f, std::string& error) {
    YieldReport_T r;
    const Where w = RunConditions(f);
    try {
        {
            TSqliteStatement s(db_.Handle(),
                               ("SELECT count(*) FILTER (WHERE " + std::string(kVerdict) +
                                "), count(*) FILTER (WHERE r.outcome = 'passed'), count(*) FILTER (WHERE NOT " +
                                kVerdict + ") FROM runs r WHERE 1" + w.sql)
                                   .c_str());
            BindAll(s, w.binds);
            if (s.Step()) r.runs = s.Int(0), r.passed = s.Int(1), r.unfinished = s.Int(2);
        }
        {
            // A serial's first run with a verdict, in the range, decides its first pass.
            TSqliteStatement s(db_.Handle(),
                               ("SELECT count(*), count(*) FILTER (WHERE outcome = 'passed') FROM (SELECT r.outcome, "
                                "row_number() OVER (PARTITION BY r.serial ORDER BY r.started_at, r.id) AS k FROM runs r "
                                "WHERE " + std::string(kVerdict) + " AND r.serial <> ''" + w.sql + ") WHERE k = 1")
                                   .c_str());
            BindAll(s, w.binds);
            if (s.Step()) r.serials = s.Int(0), r.firstPassed = s.Int(1);
        }
        TSqliteStatement s(db_.Handle(),
                           ("SELECT c.title, count(*), count(*) FILTER (WHERE c.outcome = 'passed') FROM runs r "
                            "JOIN checks c ON c.run_id = r.id WHERE " + std::string(kVerdict) +
                            " AND c.outcome IN ('passed', 'failed')" + w.sql +
                            " GROUP BY c.title ORDER BY min(c.number), c.title")
                               .c_str());
        BindAll(s, w.binds);
        while (s.Step()) r.checks.push_back({s.Text(0), s.Int(1), s.Int(2)});
    } catch (const TSqliteError& e) {
        error = Describe(e);
    }
    return r;
}

std::vector<ParetoLine_T> TRunStore::ParetoByCheck(const StatsFilter_T& f, std::string& error) {
    std::vector<ParetoLine_T> out;
    const Where w = RunConditions(f);
    try {
        TSqliteStatement s(db_.Handle(),
                           ("SELECT c.title, count(*) AS n FROM runs r JOIN checks c ON c.run_id = r.id WHERE " +
                            std::string(kVerdict) + " AND c.outcome = 'failed'" + w.sql +
                            " GROUP BY c.title ORDER BY n DESC, c.title")
                               .c_str());
        BindAll(s, w.binds);
        while (s.Step()) out.push_back({s.Text(0), "", s.Int(1)});
    } catch (const TSqliteError& e) {
        error = Describe(e);
    }
    return out;
}

std::vector<ParetoLine_T> TRunStore::ParetoByParameter(const StatsFilter_T& f, std::string& error) {
    std::vector<ParetoLine_T> out;
    const Where w = RunConditions(f);
    try {
        // Failed rows are few: they are found through their own index, then their runs.
        TSqliteStatement s(db_.Handle(),
                           ("SELECT c.title, m.parameter, count(*) AS n FROM measurements m "
                            "JOIN runs r ON r.id = m.run_id "
                            "JOIN checks c ON c.run_id = m.run_id AND c.position = m.check_position "
                            "WHERE m.passed = 0 AND " + std::string(kVerdict) + w.sql +
                            " GROUP BY c.title, m.parameter ORDER BY n DESC, c.title, m.parameter")
                               .c_str());
        BindAll(s, w.binds);
        while (s.Step()) out.push_back({s.Text(0), s.Text(1), s.Int(2)});
    } catch (const TSqliteError& e) {
        error = Describe(e);
    }
    return out;
}

Capability_T TRunStore::Capability(const StatsFilter_T& f, const std::string& script, const std::string& parameter,
                                   std::string& error, size_t maxPoints) {
    Capability_T c;
    c.script = script;
    c.parameter = parameter;
    const Where w = RunConditions(f);
    // The script as the tag names it ("./scn/one.ini") or by its file name alone.
    const std::string scriptMatch = " AND (r.script = ? OR r.script LIKE ? ESCAPE '!' OR r.script LIKE ? ESCAPE '!')";
    std::string escaped;
    for (char ch : script) {
        if (ch == '%' || ch == '_' || ch == '!') escaped += '!';
        escaped += ch;
    }
    const std::vector<std::string> scriptBinds = {script, "%/" + escaped, "%\\" + escaped};
    const std::string from = " FROM measurements m JOIN runs r ON r.id = m.run_id WHERE m.parameter = ? AND " +
                             std::string(kVerdict) + w.sql + scriptMatch;
    try {
        int64_t rows = 0;
        {
            TSqliteStatement s(db_.Handle(), ("SELECT count(*)" + from).c_str());
            s.Bind(1, parameter);
            BindAll(s, w.binds, 2);
            BindAll(s, scriptBinds, 2 + static_cast<int>(w.binds.size()));
            if (s.Step()) rows = s.Int(0);
        }
        TSqliteStatement s(db_.Handle(),
                           ("SELECT r.started_at, m.measured, m.low, m.high" + from + " ORDER BY r.started_at, r.id")
                               .c_str());
        s.Bind(1, parameter);
        BindAll(s, w.binds, 2);
        BindAll(s, scriptBinds, 2 + static_cast<int>(w.binds.size()));
        TRunningStats stats;
        // The series for the run chart: runs of `stride` rows give their lowest and highest.
        const int64_t stride = maxPoints >= 2 && rows > static_cast<int64_t>(maxPoints)
                                   ? (rows + static_cast<int64_t>(maxPoints / 2) - 1) / static_cast<int64_t>(maxPoints / 2)
                                   : 1;
        std::optional<CapabilityPoint_T> lo, hi;
        int64_t inStretch = 0;
        std::string low, high;
        auto flush = [&] {
            if (lo && hi) {
                const bool loFirst = lo->startedAt <= hi->startedAt;
                c.values.push_back(loFirst ? *lo : *hi);
                if (lo->startedAt != hi->startedAt || lo->value != hi->value) c.values.push_back(loFirst ? *hi : *lo);
            }
            lo.reset();
            hi.reset();
            inStretch = 0;
        };
        while (s.Step()) {
            low = s.Text(2);
            high = s.Text(3);
            const std::optional<double> v = ParseMeasured(s.Text(1));
            if (!v) {
                ++c.skipped;
                continue;
            }
            stats.Add(*v);
            CapabilityPoint_T p{s.Text(0), *v};
            if (stride == 1) {
                c.values.push_back(std::move(p));
                continue;
            }
            if (!lo || p.value < lo->value) lo = p;
            if (!hi || p.value > hi->value) hi = p;
            if (++inStretch == stride) flush();
        }
        flush();
        c.low = ParseMeasured(low);
        c.high = ParseMeasured(high);
        FillCapability(c, stats);
    } catch (const TSqliteError& e) {
        error = Describe(e);
    }
    return c;
}
