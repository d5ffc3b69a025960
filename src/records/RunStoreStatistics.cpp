// The statistics of the stand's records file: every query reads through indices and streams
// its rows, so a plant's year of runs is never held in memory at once.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <thread>
#include <string_view>
#include <unordered_map>

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
const std::string kScriptMatch = "(r.script = ? OR r.script GLOB ? OR r.script GLOB ?)";

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
    // Joining each of a year's rows to its run costs a lookup by the run's text id; instead the
    // runs the filter takes are listed once in time order, and the parameter's rows are read
    // straight from their covering index and matched by id. The two readings are independent:
    // the rows are read on a second connection beside the listing. Memory: the runs and the
    // one parameter's rows, each side in one buffer of texts ("id\0started\0", "run\0low\0
    // high\0"), not an allocation per run; the values are read as numbers on the way.
    std::string rows, rowsError;
    std::vector<uint32_t> rowAt;
    std::vector<std::optional<double>> values;
    std::thread reader([&] {
        TRunStore other;
        if (!other.Open(path_, rowsError, true)) return;
        try {
            TSqliteStatement s(other.db_.Handle(),
                               "SELECT run_id, measured, low, high FROM measurements WHERE parameter = ?");
            s.Bind(1, parameter);
            while (s.Step()) {
                rowAt.push_back(static_cast<uint32_t>(rows.size()));
                values.push_back(ParseMeasured(s.TextView(1)));
                for (int k : {0, 2, 3}) {
                    rows += s.TextView(k);
                    rows += '\0';
                }
            }
        } catch (const TSqliteError& e) {
            rowsError = other.Describe(e);
        }
    });
    std::string texts;
    std::vector<uint32_t> at;  // per run: where its id begins; its start time follows the id
    try {
        TSqliteStatement s(db_.Handle(),
                           ("SELECT r.id, r.started_at FROM runs r WHERE " + std::string(kVerdict) + w.sql + " AND " +
                            kScriptMatch +
                            " ORDER BY r.started_at, r.outcome, r.script, r.id")  // as the index holds them: no sort
                               .c_str());
        BindAll(s, w.binds);
        BindAll(s, ScriptMatchBinds(script, true), 1 + static_cast<int>(w.binds.size()));
        while (s.Step()) {
            at.push_back(static_cast<uint32_t>(texts.size()));
            texts += s.TextView(0);
            texts += '\0';
            texts += s.TextView(1);
            texts += '\0';
        }
    } catch (const TSqliteError& e) {
        error = Describe(e);
    }
    reader.join();
    if (error.empty()) error = rowsError;
    if (!error.empty()) return c;

    auto field = [](const std::string& buffer, uint32_t from, int k) {
        const char* p = buffer.data() + from;
        for (; k > 0; --k) p += std::strlen(p) + 1;
        return std::string_view(p);
    };
    std::unordered_map<std::string_view, uint32_t> order;
    order.reserve(at.size());
    for (size_t k = 0; k < at.size(); ++k) order.emplace(field(texts, at[k], 0), static_cast<uint32_t>(k));
    TCapabilityBuilder builder(at.size(), maxPoints);
    for (size_t i = 0; i < rowAt.size(); ++i) {
        const std::string_view run = field(rows, rowAt[i], 0);
        const auto found = order.find(run);
        if (found == order.end()) continue;
        const std::string_view low(run.data() + run.size() + 1);
        builder.Add(found->second, values[i], low, std::string_view(low.data() + low.size() + 1));
    }
    builder.Finish(c, [&](uint32_t k) { return std::string(field(texts, at[k], 1)); });
    return c;
}

std::vector<std::string> TRunStore::StatsScripts(const StatsFilter_T& f, std::string& error) {
    std::vector<std::string> out;
    const Where w = RunConditions(f);
    try {
        TSqliteStatement s(db_.Handle(), ("SELECT DISTINCT r.script FROM runs r WHERE " + std::string(kVerdict) +
                                          w.sql + " AND r.script <> '' ORDER BY 1")
                                             .c_str());
        BindAll(s, w.binds);
        while (s.Step()) out.push_back(s.Text(0));
    } catch (const TSqliteError& e) {
        error = Describe(e);
    }
    return out;
}

std::vector<std::string> TRunStore::StatsParameters(const StatsFilter_T& f, const std::string& script,
                                                    std::string& error) {
    std::vector<std::string> out;
    const Where w = RunConditions(f);
    try {
        // A script measures the same parameters run after run: its latest run names them, in its order.
        TSqliteStatement s(db_.Handle(),
                           ("SELECT m.parameter FROM measurements m WHERE m.run_id = (SELECT r.id FROM runs r WHERE " +
                            std::string(kVerdict) + w.sql + " AND " + kScriptMatch +
                            " ORDER BY r.started_at DESC, r.id DESC LIMIT 1) AND m.parameter <> '' GROUP BY m.parameter "
                            "ORDER BY min(m.check_position * 100000 + m.row)")
                               .c_str());
        BindAll(s, w.binds);
        BindAll(s, ScriptMatchBinds(script, true), 1 + static_cast<int>(w.binds.size()));
        while (s.Step()) out.push_back(s.Text(0));
    } catch (const TSqliteError& e) {
        error = Describe(e);
    }
    return out;
}
