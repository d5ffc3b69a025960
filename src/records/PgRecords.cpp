#include "records/PgRecords.h"

#include <libpq-fe.h>

#include <algorithm>
#include <map>
#include <string_view>
#include <unordered_map>
#include <memory>
#include <thread>

#include "records/PgForwarder.h"

namespace {

// Times as the stand writes them: "2026-12-09T05:41:07.123+03:00".
std::string Time(const std::string& column) {
    return "coalesce(to_char(" + column + ", 'YYYY-MM-DD\"T\"HH24:MI:SS.MSTZH:TZM'), '')";
}

// One answer of the server; NULL reads as an empty text and as 0.
class Result {
public:
    explicit Result(PGresult* r) : r_(r, PQclear) {}
    bool Ok() const {
        const ExecStatusType st = PQresultStatus(r_.get());
        return st == PGRES_TUPLES_OK || st == PGRES_COMMAND_OK;
    }
    std::string Error() const {
        std::string e = PQresultErrorMessage(r_.get());
        while (!e.empty() && (e.back() == '\n' || e.back() == ' ')) e.pop_back();
        return e;
    }
    int Rows() const { return PQntuples(r_.get()); }
    bool IsNull(int row, int col) const { return PQgetisnull(r_.get(), row, col) != 0; }
    std::string Text(int row, int col) const { return PQgetvalue(r_.get(), row, col); }
    // Valid while the result lives.
    std::string_view View(int row, int col) const {
        return {PQgetvalue(r_.get(), row, col), static_cast<size_t>(PQgetlength(r_.get(), row, col))};
    }
    int Int(int row, int col) const { return IsNull(row, col) ? 0 : std::atoi(PQgetvalue(r_.get(), row, col)); }

private:
    std::unique_ptr<PGresult, void (*)(PGresult*)> r_;
};

Result Query(pg_conn* c, const std::string& sql, const std::vector<std::string>& params, std::string& error) {
    std::vector<const char*> values;
    for (const std::string& p : params) values.push_back(p.c_str());
    Result r(PQexecParams(c, sql.c_str(), static_cast<int>(values.size()), nullptr, values.data(), nullptr, nullptr, 0));
    if (!r.Ok()) error = "База завода не ответила на запрос: " + r.Error();
    return r;
}

const std::string kSummaryColumns = "r.id, r.stand, r.serial, r.device, r.operator, r.script, " + Time("r.started_at") +
                                    ", " + Time("r.ended_at") +
                                    ", r.outcome, (SELECT count(*) FROM checks c WHERE c.run_id = r.id)";

RunSummary_T ReadSummary(const Result& s, int row) {
    RunSummary_T r;
    r.id = s.Text(row, 0);
    r.stand = s.Text(row, 1);
    r.serial = s.Text(row, 2);
    r.device = s.Text(row, 3);
    r.operatorName = s.Text(row, 4);
    r.script = s.Text(row, 5);
    r.startedAt = s.Text(row, 6);
    r.endedAt = s.Text(row, 7);
    r.outcome = OutcomeFromName(s.Text(row, 8));
    r.checks = s.Int(row, 9);
    return r;
}

// The columns row, parameter, low, high, control, measured, result, passed, attempts,
// in_protocol from `first` on.
MeasurementRecord_T ReadMeasurement(const Result& s, int row, int first) {
    MeasurementRecord_T m;
    m.row = s.Int(row, first);
    m.parameter = s.Text(row, first + 1);
    m.low = s.Text(row, first + 2);
    m.high = s.Text(row, first + 3);
    m.control = s.Text(row, first + 4);
    m.measured = s.Text(row, first + 5);
    m.result = s.Text(row, first + 6);
    if (!s.IsNull(row, first + 7)) m.passed = s.Text(row, first + 7) == "t";
    m.attempts = s.IsNull(row, first + 8) ? 1 : s.Int(row, first + 8);
    m.inProtocol = s.Text(row, first + 9) == "t";
    return m;
}

// A connection as every reading of the plant's database wants it: UTF-8 texts, the server's
// notices kept off the terminal. Its status tells whether it is up.
pg_conn* Connect(const std::string& conninfo) {
    const char* keys[] = {"dbname", "connect_timeout", nullptr};
    const char* values[] = {conninfo.c_str(), "10", nullptr};
    pg_conn* c = PQconnectdbParams(keys, values, 1);
    if (PQstatus(c) == CONNECTION_OK) {
        PQsetNoticeProcessor(c, [](void*, const char*) {}, nullptr);
        PQclear(PQexec(c, "SET client_encoding TO 'UTF8'"));
    }
    return c;
}

// Why a connection is not up, without the password of the connection string.
std::string Unreachable(pg_conn* c, const std::string& conninfo) {
    std::string why = PQerrorMessage(c);
    while (!why.empty() && (why.back() == '\n' || why.back() == ' ')) why.pop_back();
    return "Нет связи с базой завода (" + TPgForwarder::Redacted(conninfo) + "): " + why;
}

const char* kMeasurementColumns = "m.row, m.parameter, m.low, m.high, m.control, m.measured, m.result, m.passed, "
                                  "m.attempts, m.in_protocol";

}  // namespace

TPgRecords::~TPgRecords() {
    if (rowsConn_) PQfinish(rowsConn_);
    if (conn_) PQfinish(conn_);
}

bool TPgRecords::Open(const std::string& conninfo, std::string& error) {
    conninfo_ = conninfo;
    conn_ = Connect(conninfo);
    if (PQstatus(conn_) != CONNECTION_OK) {
        error = Unreachable(conn_, conninfo);
        return false;
    }
    const Result r(PQexec(conn_, "SELECT to_regclass('runs') IS NOT NULL AND to_regclass('eeprom_sessions') IS NOT NULL"));
    if (!r.Ok() || r.Text(0, 0) != "t") {
        error = "В базе завода (" + TPgForwarder::Redacted(conninfo) +
                ") нет таблиц записей испытаний: ни один стенд ещё не передавал в неё испытания.";
        return false;
    }
    return true;
}

std::vector<RunSummary_T> TPgRecords::LastRuns(int count, std::string& error) {
    std::vector<RunSummary_T> out;
    const Result s = Query(conn_, "SELECT " + kSummaryColumns +
                                      " FROM runs r ORDER BY r.started_at DESC NULLS LAST, r.received_at DESC LIMIT $1",
                           {std::to_string(count)}, error);
    for (int i = 0; i < s.Rows(); ++i) out.push_back(ReadSummary(s, i));
    return out;
}

std::vector<RunSummary_T> TPgRecords::SerialHistory(const std::string& serial, std::string& error) {
    std::vector<RunSummary_T> out;
    const Result s = Query(conn_, "SELECT " + kSummaryColumns +
                                      " FROM runs r WHERE r.serial = $1 ORDER BY r.started_at, r.received_at",
                           {serial}, error);
    std::map<std::string, size_t> index;
    for (int i = 0; i < s.Rows(); ++i) {
        index[s.Text(i, 0)] = out.size();
        out.push_back(ReadSummary(s, i));
    }
    const Result f = Query(conn_,
                           "SELECT m.run_id, c.title, m.parameter, m.measured, m.low, m.high, m.result "
                           "FROM runs r JOIN measurements m ON m.run_id = r.id "
                           "JOIN checks c ON c.run_id = m.run_id AND c.position = m.check_position "
                           "WHERE r.serial = $1 AND m.passed = false ORDER BY m.run_id, m.check_position, m.row",
                           {serial}, error);
    for (int i = 0; i < f.Rows(); ++i) {
        const auto it = index.find(f.Text(i, 0));
        if (it == index.end()) continue;
        out[it->second].failingRows.push_back(f.Text(i, 1) + ": " + f.Text(i, 2) + " " + f.Text(i, 3) + " (" +
                                              f.Text(i, 4) + ".." + f.Text(i, 5) + ") " + f.Text(i, 6));
    }
    return out;
}

std::optional<RunRecord_T> TPgRecords::LoadRun(const std::string& idOrPrefix, std::string& error) {
    const std::string columns = "id, session, stand, program_version, device, device_kind, serial, operator, cause, "
                                "remarks, script, script_version, script_sha256, " +
                                Time("started_at") + ", " + Time("ended_at") +
                                ", outcome, protocol_file, archive_file, logical_number, v_cp, v_kk, v_rg, v_izm, "
                                "v_pzu, firmware_date";
    const bool prefix = idOrPrefix.size() >= 4;
    const Result s = Query(conn_,
                           "SELECT " + columns + " FROM runs WHERE id = $1 UNION ALL (SELECT " + columns +
                               " FROM runs WHERE $2 AND starts_with(id, $1) AND id <> $1 LIMIT 2) LIMIT 2",
                           {idOrPrefix, prefix ? "true" : "false"}, error);
    if (!error.empty()) return std::nullopt;
    if (s.Rows() == 0) {
        error = "Испытание " + idOrPrefix + " не найдено.";
        return std::nullopt;
    }
    if (s.Rows() > 1) {
        error = "Начало " + idOrPrefix + " подходит к нескольким испытаниям; укажите больше знаков.";
        return std::nullopt;
    }
    RunRecord_T r;
    std::string* fields[] = {&r.id,       &r.session,       &r.stand,        &r.programVersion, &r.device,
                             &r.deviceKind, &r.serial,      &r.operatorName, &r.cause,          &r.remarks,
                             &r.script,   &r.scriptVersion, &r.scriptSha256, &r.startedAt,      &r.endedAt};
    for (int i = 0; i < 15; ++i) *fields[i] = s.Text(0, i);
    r.outcome = OutcomeFromName(s.Text(0, 15));
    r.protocolFile = s.Text(0, 16);
    r.archiveFile = s.Text(0, 17);
    {
        // Read through the row as JSON: a server whose table predates the column answers empty.
        std::string ignored;
        const Result j = Query(conn_, "SELECT coalesce(to_jsonb(r)->>'journal_file', '') FROM runs r WHERE id = $1",
                               {r.id}, ignored);
        if (ignored.empty() && j.Rows() > 0) r.journalFile = j.Text(0, 0);
    }
    if (!s.IsNull(0, 18)) {
        RunPassport_T p;
        p.logicalNumber = s.Int(0, 18);
        for (int k = 0; k < 5; ++k) p.versions[k] = s.Int(0, 19 + k);
        p.firmwareDate = s.Text(0, 24);
        r.passport = p;
    }
    const Result c = Query(conn_,
                           "SELECT position, number, title, outcome, " + Time("started_at") + ", " + Time("ended_at") +
                               " FROM checks WHERE run_id = $1 ORDER BY position",
                           {r.id}, error);
    for (int i = 0; i < c.Rows(); ++i) {
        CheckRecord_T k;
        k.position = c.Int(i, 0);
        k.number = c.Int(i, 1);
        k.title = c.Text(i, 2);
        k.outcome = OutcomeFromName(c.Text(i, 3));
        k.startedAt = c.Text(i, 4);
        k.endedAt = c.Text(i, 5);
        r.checks.push_back(std::move(k));
    }
    const Result m = Query(conn_,
                           std::string("SELECT m.check_position, ") + kMeasurementColumns +
                               " FROM measurements m WHERE m.run_id = $1 ORDER BY m.check_position, m.row",
                           {r.id}, error);
    for (int i = 0; i < m.Rows(); ++i) {
        const int position = m.Int(i, 0);
        for (CheckRecord_T& k : r.checks)
            if (k.position == position) k.rows.push_back(ReadMeasurement(m, i, 1));
    }
    if (!error.empty()) return std::nullopt;
    return r;
}

std::vector<EepromSessionRecord_T> TPgRecords::EepromSessions(const std::string& runId, std::string& error) {
    std::vector<EepromSessionRecord_T> out;
    // An empty id asks for the sessions with no run.
    const Result s = Query(conn_,
                           "SELECT id, coalesce(run_id, ''), stand, kind, file, blocks, mismatches, outcome, " +
                               Time("started_at") + ", " + Time("ended_at") +
                               " FROM eeprom_sessions WHERE run_id IS NOT DISTINCT FROM NULLIF($1, '') "
                               "ORDER BY started_at, id",
                           {runId}, error);
    for (int i = 0; i < s.Rows(); ++i) {
        EepromSessionRecord_T e;
        e.id = s.Text(i, 0);
        e.runId = s.Text(i, 1);
        e.stand = s.Text(i, 2);
        e.kind = s.Text(i, 3);
        e.file = s.Text(i, 4);
        e.blocks = s.Int(i, 5);
        e.mismatches = s.Int(i, 6);
        e.outcome = s.Text(i, 7);
        e.startedAt = s.Text(i, 8);
        e.endedAt = s.Text(i, 9);
        out.push_back(std::move(e));
    }
    return out;
}

std::vector<MeasurementExport_T> TPgRecords::Measurements(const std::string& from, const std::string& to,
                                                          std::string& error) {
    std::vector<MeasurementExport_T> out;
    // A day is a day of the session's time zone.
    const Result s = Query(conn_,
                           "SELECT r.id, r.stand, r.serial, " + Time("r.started_at") + ", c.title, m.check_position, " +
                               kMeasurementColumns +
                               " FROM measurements m JOIN runs r ON r.id = m.run_id "
                               "JOIN checks c ON c.run_id = m.run_id AND c.position = m.check_position "
                               "WHERE ($1 = '' OR r.started_at::date >= NULLIF($1, '')::date) "
                               "AND ($2 = '' OR r.started_at::date <= NULLIF($2, '')::date) "
                               "ORDER BY r.started_at, r.id, m.check_position, m.row",
                           {from, to}, error);
    for (int i = 0; i < s.Rows(); ++i) {
        MeasurementExport_T e;
        e.runId = s.Text(i, 0);
        e.stand = s.Text(i, 1);
        e.serial = s.Text(i, 2);
        e.startedAt = s.Text(i, 3);
        e.checkTitle = s.Text(i, 4);
        e.checkPosition = s.Int(i, 5);
        e.m = ReadMeasurement(s, i, 6);
        out.push_back(std::move(e));
    }
    return out;
}

namespace {

// The filter as conditions on the runs `r` with their values as parameters from `$first` on.
// A day is a day of the session's time zone, compared as a range so that the index on the
// start time serves it.
struct PgWhere {
    std::string sql;
    std::vector<std::string> binds;
    std::string Add(const std::string& value) {
        binds.push_back(value);
        return "$" + std::to_string(binds.size());
    }
};

PgWhere PgRunConditions(const StatsFilter_T& f) {
    PgWhere w;
    // Each bound turned into a time once, not compared as a date with every row's time.
    if (!f.from.empty()) w.sql += " AND r.started_at >= " + w.Add(f.from) + "::date::timestamptz";
    if (!f.to.empty()) w.sql += " AND r.started_at < (" + w.Add(f.to) + "::date + 1)::timestamptz";
    if (!f.deviceKind.empty()) w.sql += " AND r.device_kind = " + w.Add(f.deviceKind);
    if (!f.stand.empty()) w.sql += " AND r.stand = " + w.Add(f.stand);
    if (!f.scriptVersion.empty()) w.sql += " AND r.script_version = " + w.Add(f.scriptVersion);
    return w;
}

std::string PgScriptMatch(PgWhere& w, const std::string& script) {
    const std::vector<std::string> b = ScriptMatchBinds(script);
    const std::string exact = w.Add(b[0]), slash = w.Add(b[1]), backslash = w.Add(b[2]);
    return " AND (r.script = " + exact + " OR r.script LIKE " + slash + " ESCAPE '!' OR r.script LIKE " + backslash +
           " ESCAPE '!')";
}

constexpr const char* kPgVerdict = "r.outcome IN ('passed', 'failed')";

bool DaysValid(const StatsFilter_T& f, std::string& error) {
    for (const std::string* d : {&f.from, &f.to})
        if (!d->empty() && !IsStatsDay(*d)) {
            error = "Дата " + *d + " не годится: нужна дата вида ГГГГ-ММ-ДД.";
            return false;
        }
    return true;
}

int64_t Int64(const Result& r, int row, int col) {
    return r.IsNull(row, col) ? 0 : std::strtoll(r.Text(row, col).c_str(), nullptr, 10);
}

}  // namespace

// Texts order as the stand's file orders them (by their bytes), whatever the server's locale.
YieldReport_T TPgRecords::Yield(const StatsFilter_T& f, std::string& error) {
    YieldReport_T y;
    if (!DaysValid(f, error)) return y;
    const PgWhere w = PgRunConditions(f);
    const std::string verdict = kPgVerdict;
    const Result a = Query(conn_,
                           "SELECT count(*) FILTER (WHERE " + verdict + "), count(*) FILTER (WHERE r.outcome = 'passed'), "
                           "count(*) FILTER (WHERE NOT " + verdict + ") FROM runs r WHERE true" + w.sql,
                           w.binds, error);
    if (a.Rows() == 1) y.runs = Int64(a, 0, 0), y.passed = Int64(a, 0, 1), y.unfinished = Int64(a, 0, 2);
    const Result b = Query(conn_,
                           "SELECT count(*), count(*) FILTER (WHERE outcome = 'passed') FROM (SELECT r.outcome, "
                           "row_number() OVER (PARTITION BY r.serial ORDER BY r.started_at, r.id COLLATE \"C\") AS k "
                           "FROM runs r WHERE " + verdict + " AND r.serial <> ''" + w.sql + ") s WHERE k = 1",
                           w.binds, error);
    if (b.Rows() == 1) y.serials = Int64(b, 0, 0), y.firstPassed = Int64(b, 0, 1);
    const Result c = Query(conn_,
                           "SELECT c.title, count(*), count(*) FILTER (WHERE c.outcome = 'passed') FROM runs r "
                           "JOIN checks c ON c.run_id = r.id WHERE " + verdict +
                           " AND c.outcome IN ('passed', 'failed')" + w.sql +
                           " GROUP BY c.title ORDER BY min(c.number), c.title COLLATE \"C\"",
                           w.binds, error);
    for (int i = 0; i < c.Rows(); ++i) y.checks.push_back({c.Text(i, 0), Int64(c, i, 1), Int64(c, i, 2)});
    return y;
}

std::vector<ParetoLine_T> TPgRecords::ParetoByCheck(const StatsFilter_T& f, std::string& error) {
    std::vector<ParetoLine_T> out;
    if (!DaysValid(f, error)) return out;
    const PgWhere w = PgRunConditions(f);
    const Result s = Query(conn_,
                           "SELECT c.title, count(*) AS n FROM runs r JOIN checks c ON c.run_id = r.id WHERE " +
                               std::string(kPgVerdict) + " AND c.outcome = 'failed'" + w.sql +
                               " GROUP BY c.title ORDER BY n DESC, c.title COLLATE \"C\"",
                           w.binds, error);
    for (int i = 0; i < s.Rows(); ++i) out.push_back({s.Text(i, 0), "", Int64(s, i, 1)});
    return out;
}

std::vector<ParetoLine_T> TPgRecords::ParetoByParameter(const StatsFilter_T& f, std::string& error) {
    std::vector<ParetoLine_T> out;
    if (!DaysValid(f, error)) return out;
    const PgWhere w = PgRunConditions(f);
    const Result s = Query(conn_,
                           "SELECT c.title, m.parameter, count(*) AS n FROM measurements m "
                           "JOIN runs r ON r.id = m.run_id "
                           "JOIN checks c ON c.run_id = m.run_id AND c.position = m.check_position "
                           "WHERE m.passed = false AND " + std::string(kPgVerdict) + w.sql +
                               " GROUP BY c.title, m.parameter ORDER BY n DESC, c.title COLLATE \"C\", "
                               "m.parameter COLLATE \"C\"",
                           w.binds, error);
    for (int i = 0; i < s.Rows(); ++i) out.push_back({s.Text(i, 0), s.Text(i, 1), Int64(s, i, 2)});
    return out;
}

std::vector<std::string> TPgRecords::StatsScripts(const StatsFilter_T& f, std::string& error) {
    std::vector<std::string> out;
    if (!DaysValid(f, error)) return out;
    const PgWhere w = PgRunConditions(f);
    const Result s = Query(conn_,
                           "SELECT DISTINCT r.script COLLATE \"C\" FROM runs r WHERE " + std::string(kPgVerdict) + w.sql +
                               " AND r.script <> '' ORDER BY 1",
                           w.binds, error);
    for (int i = 0; i < s.Rows(); ++i) out.push_back(s.Text(i, 0));
    return out;
}

std::vector<std::string> TPgRecords::StatsParameters(const StatsFilter_T& f, const std::string& script,
                                                     std::string& error) {
    std::vector<std::string> out;
    if (!DaysValid(f, error)) return out;
    PgWhere w = PgRunConditions(f);
    const std::string match = PgScriptMatch(w, script);
    const Result s = Query(conn_,
                           "SELECT m.parameter FROM measurements m WHERE m.run_id = (SELECT r.id FROM runs r WHERE " +
                               std::string(kPgVerdict) + w.sql + match +
                               " ORDER BY r.started_at DESC, r.id COLLATE \"C\" DESC LIMIT 1) AND m.parameter <> '' GROUP BY m.parameter "
                               "ORDER BY min(m.check_position * 100000 + m.row)",
                           w.binds, error);
    for (int i = 0; i < s.Rows(); ++i) out.push_back(s.Text(i, 0));
    return out;
}

namespace {

// A timestamptz in binary: microseconds since 2000-01-01 UTC, big-endian.
int64_t BinaryMicros(std::string_view v) {
    uint64_t u = 0;
    for (size_t i = 0; i < 8 && i < v.size(); ++i) u = u << 8 | static_cast<unsigned char>(v[i]);
    return static_cast<int64_t>(u);
}

// A text[] literal of the given texts, each quoted.
std::string ArrayLiteral(const std::vector<std::string_view>& texts) {
    std::string out = "{";
    for (std::string_view t : texts) {
        if (out.size() > 1) out += ',';
        out += '"';
        for (char ch : t) {
            if (ch == '"' || ch == '\\') out += '\\';
            out += ch;
        }
        out += '"';
    }
    return out + "}";
}

}  // namespace

Capability_T TPgRecords::Capability(const StatsFilter_T& f, const std::string& script, const std::string& parameter,
                                    std::string& error, size_t maxPoints) {
    Capability_T c;
    c.script = script;
    c.parameter = parameter;
    if (!DaysValid(f, error)) return c;
    // As on the stand's file: the runs of the filter listed once and the parameter's rows read
    // from their covering index, matched by id; the rows are read through a cursor on a second
    // connection while the runs are listed. The runs come unsorted with their start times as
    // numbers and are ordered and matched to the script here: on the server, the sort with its
    // byte-order tie-break, the formatting of every time and the pattern match of every script
    // cost more than the whole listing.
    std::string rows, rowsError;
    std::vector<uint32_t> rowAt;
    std::vector<std::optional<double>> values;
    if (!rowsConn_ || PQstatus(rowsConn_) != CONNECTION_OK) {
        if (rowsConn_) PQfinish(rowsConn_);
        rowsConn_ = Connect(conninfo_);
    }
    std::thread reader([&] {
        if (PQstatus(rowsConn_) != CONNECTION_OK) {
            rowsError = Unreachable(rowsConn_, conninfo_);
            return;
        }
        std::string ignored;
        Query(rowsConn_, "BEGIN READ ONLY", {}, ignored);
        Query(rowsConn_,
              "DECLARE capability_rows NO SCROLL CURSOR FOR SELECT run_id, measured, low, high FROM measurements "
              "WHERE parameter = $1",
              {parameter}, rowsError);
        while (rowsError.empty()) {
            const Result s = Query(rowsConn_, "FETCH 20000 FROM capability_rows", {}, rowsError);
            if (s.Rows() == 0) break;
            for (int i = 0; i < s.Rows(); ++i) {
                rowAt.push_back(static_cast<uint32_t>(rows.size()));
                values.push_back(ParseMeasured(s.View(i, 1)));
                for (int k : {0, 2, 3}) {
                    rows += s.View(i, k);
                    rows += '\0';
                }
            }
        }
        Query(rowsConn_, rowsError.empty() ? "COMMIT" : "ROLLBACK", {}, ignored);
    });

    const PgWhere w = PgRunConditions(f);
    std::vector<const char*> binds;
    for (const std::string& b : w.binds) binds.push_back(b.c_str());
    const Result runs(PQexecParams(conn_,
                                   ("SELECT r.id, r.started_at, r.outcome, r.script FROM runs r WHERE true" + w.sql).c_str(),
                                   static_cast<int>(binds.size()), nullptr, binds.data(), nullptr, nullptr, 1));

    reader.join();
    if (!runs.Ok()) error = "База завода не ответила на запрос: " + runs.Error();
    if (error.empty()) error = rowsError;
    if (!error.empty()) return c;

    struct Run {
        bool timed;
        int64_t micros;
        std::string_view outcome, script, id;
    };
    std::vector<Run> listed;
    listed.reserve(static_cast<size_t>(runs.Rows()));
    for (int i = 0; i < runs.Rows(); ++i) {
        Run r{!runs.IsNull(i, 1), BinaryMicros(runs.View(i, 1)), runs.View(i, 2), runs.View(i, 3), runs.View(i, 0)};
        if ((r.outcome == "passed" || r.outcome == "failed") && ScriptMatches(r.script, script)) listed.push_back(r);
    }
    // The stand's file orders a missing start time (an empty text) before every other.
    std::sort(listed.begin(), listed.end(), [](const Run& a, const Run& b) {
        if (a.timed != b.timed) return !a.timed;
        if (a.micros != b.micros) return a.micros < b.micros;
        if (a.outcome != b.outcome) return a.outcome < b.outcome;
        if (a.script != b.script) return a.script < b.script;
        return a.id < b.id;
    });
    std::unordered_map<std::string_view, uint32_t> order;
    order.reserve(listed.size());
    for (size_t k = 0; k < listed.size(); ++k) order.emplace(listed[k].id, static_cast<uint32_t>(k));
    TCapabilityBuilder builder(listed.size(), maxPoints);
    for (size_t i = 0; i < rowAt.size(); ++i) {
        const std::string_view run(rows.data() + rowAt[i]);
        const auto found = order.find(run);
        if (found == order.end()) continue;
        const std::string_view low(run.data() + run.size() + 1);
        builder.Add(found->second, values[i], low, std::string_view(low.data() + low.size() + 1));
    }

    // Only the kept points' times are written out, by the server, in the session's time zone.
    std::vector<std::string_view> kept;
    for (const auto& point : builder.Points()) kept.push_back(listed[point.first].id);
    std::unordered_map<std::string, std::string> times;
    if (!kept.empty()) {
        const Result t = Query(conn_, "SELECT id, " + Time("started_at") + " FROM runs WHERE id = ANY($1::text[])",
                               {ArrayLiteral(kept)}, error);
        for (int i = 0; i < t.Rows(); ++i) times.emplace(t.Text(i, 0), t.Text(i, 1));
    }
    if (!error.empty()) return c;
    builder.Finish(c, [&](uint32_t at) {
        const auto found = times.find(std::string(listed[at].id));
        return found == times.end() ? std::string() : found->second;
    });
    return c;
}
