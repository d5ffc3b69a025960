#include "records/RunStore.h"

#include <sys/statvfs.h>
#include <unistd.h>

#include <map>

namespace {

// The first schema, as the first program that kept records made it.
constexpr const char* kSchema1 = R"(
CREATE TABLE runs(id TEXT PRIMARY KEY, stand TEXT, serial TEXT, device TEXT, operator TEXT, cause TEXT,
                  script TEXT, script_sha256 TEXT, started_at TEXT, ended_at TEXT,
                  outcome TEXT NOT NULL DEFAULT 'incomplete', protocol_file TEXT);
CREATE TABLE checks(run_id TEXT NOT NULL REFERENCES runs(id), position INTEGER NOT NULL, title TEXT,
                    outcome TEXT NOT NULL DEFAULT 'incomplete', PRIMARY KEY(run_id, position));
CREATE TABLE measurements(run_id TEXT NOT NULL REFERENCES runs(id), check_position INTEGER NOT NULL,
                          row INTEGER NOT NULL, parameter TEXT, low TEXT, high TEXT, control TEXT,
                          measured TEXT, result TEXT, passed INTEGER,
                          PRIMARY KEY(run_id, check_position, row));
)";

constexpr const char* kSchema2 = R"(
ALTER TABLE runs ADD COLUMN session TEXT NOT NULL DEFAULT '';
ALTER TABLE runs ADD COLUMN program_version TEXT;
ALTER TABLE runs ADD COLUMN device_kind TEXT;
ALTER TABLE runs ADD COLUMN remarks TEXT;
ALTER TABLE runs ADD COLUMN script_version TEXT;
ALTER TABLE runs ADD COLUMN archive_file TEXT;
ALTER TABLE runs ADD COLUMN logical_number INTEGER;
ALTER TABLE runs ADD COLUMN v_cp INTEGER;
ALTER TABLE runs ADD COLUMN v_kk INTEGER;
ALTER TABLE runs ADD COLUMN v_rg INTEGER;
ALTER TABLE runs ADD COLUMN v_izm INTEGER;
ALTER TABLE runs ADD COLUMN v_pzu INTEGER;
ALTER TABLE runs ADD COLUMN firmware_date TEXT;
ALTER TABLE runs ADD COLUMN revision INTEGER NOT NULL DEFAULT 1;
ALTER TABLE runs ADD COLUMN sent_revision INTEGER NOT NULL DEFAULT 0;
ALTER TABLE checks ADD COLUMN number INTEGER;
ALTER TABLE checks ADD COLUMN started_at TEXT;
ALTER TABLE checks ADD COLUMN ended_at TEXT;
ALTER TABLE measurements ADD COLUMN attempts INTEGER NOT NULL DEFAULT 1;
ALTER TABLE measurements ADD COLUMN in_protocol INTEGER NOT NULL DEFAULT 1;
CREATE TABLE eeprom_sessions(id TEXT PRIMARY KEY, run_id TEXT REFERENCES runs(id), stand TEXT, kind TEXT,
                             file TEXT, blocks INTEGER, mismatches INTEGER, outcome TEXT,
                             started_at TEXT, ended_at TEXT);
CREATE INDEX runs_serial ON runs(serial);
CREATE INDEX runs_started ON runs(started_at);
CREATE INDEX runs_outbox ON runs(sent_revision, revision);
)";

// EEPROM sessions made with no run open go to the plant on their own.
constexpr const char* kSchema3 = R"(
ALTER TABLE eeprom_sessions ADD COLUMN sent INTEGER NOT NULL DEFAULT 0;
CREATE INDEX eeprom_outbox ON eeprom_sessions(sent) WHERE run_id IS NULL;
)";

// The traffic journal of a run that went wrong, saved beside its protocol.
constexpr const char* kSchema4 = R"(
ALTER TABLE runs ADD COLUMN journal_file TEXT;
)";

// The statistics find a parameter's rows, with the values they need, and the failed rows
// without reading every row.
constexpr const char* kSchema5 = R"(
CREATE INDEX measurements_parameter ON measurements(parameter, run_id, measured, low, high);
CREATE INDEX measurements_failed ON measurements(run_id) WHERE passed = 0;
CREATE INDEX runs_statistics ON runs(started_at, outcome, script, id);
)";

constexpr const char* kMigrations[] = {kSchema1, kSchema2, kSchema3, kSchema4, kSchema5};
static_assert(sizeof kMigrations / sizeof *kMigrations == TRunStore::kSchemaVersion);

// The columns row, parameter, low, high, control, measured, result, passed, attempts,
// in_protocol from `first` on.
MeasurementRecord_T ReadMeasurement(const TSqliteStatement& s, int first) {
    MeasurementRecord_T m;
    m.row = static_cast<int>(s.Int(first));
    m.parameter = s.Text(first + 1);
    m.low = s.Text(first + 2);
    m.high = s.Text(first + 3);
    m.control = s.Text(first + 4);
    m.measured = s.Text(first + 5);
    m.result = s.Text(first + 6);
    if (!s.IsNull(first + 7)) m.passed = s.Int(first + 7) != 0;
    m.attempts = static_cast<int>(s.Int(first + 8));
    m.inProtocol = s.Int(first + 9) != 0;
    return m;
}

RunPassport_T ReadPassport(const TSqliteStatement& s, int first) {
    RunPassport_T p;
    p.logicalNumber = static_cast<int>(s.Int(first));
    for (int i = 0; i < 5; ++i) p.versions[i] = static_cast<int>(s.Int(first + 1 + i));
    p.firmwareDate = s.Text(first + 6);
    return p;
}

EepromSessionRecord_T ReadEepromSession(const TSqliteStatement& s) {
    EepromSessionRecord_T e;
    e.id = s.Text(0);
    e.runId = s.Text(1);
    e.stand = s.Text(2);
    e.kind = s.Text(3);
    e.file = s.Text(4);
    e.blocks = static_cast<int>(s.Int(5));
    e.mismatches = static_cast<int>(s.Int(6));
    e.outcome = s.Text(7);
    e.startedAt = s.Text(8);
    e.endedAt = s.Text(9);
    return e;
}

// The file, or the folder it would be made in, is on a medium mounted read-only, or is not
// writable for this user.
bool WriteProtected(const std::string& path) {
    struct statvfs fs{};
    if (access(path.c_str(), F_OK) == 0)
        return access(path.c_str(), W_OK) != 0 || (statvfs(path.c_str(), &fs) == 0 && (fs.f_flag & ST_RDONLY));
    const size_t slash = path.find_last_of('/');
    const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    return statvfs(folder.c_str(), &fs) == 0 && (fs.f_flag & ST_RDONLY);
}

}  // namespace

std::string TRunStore::Describe(const TSqliteError& e) const {
    const std::string file = "Файл записей испытаний " + path_;
    const std::string after = ". Испытания продолжаются, протоколы пишутся как всегда.";
    const int code = e.Code();
    if ((code == SQLITE_CANTOPEN || code == SQLITE_PERM || code == SQLITE_READONLY) && WriteProtected(path_))
        return file + " открыт только для чтения (носитель или файл защищён от записи); записи в него не ведутся" +
               after;
    switch (code) {
        case SQLITE_NOTADB:
        case SQLITE_CORRUPT: return file + " не является базой SQLite или повреждён; записи в него не ведутся" + after;
        case SQLITE_READONLY: return file + " открыт только для чтения; записи в него не ведутся" + after;
        case SQLITE_CANTOPEN:
        case SQLITE_PERM:
        case SQLITE_AUTH: return file + " не открывается (нет папки или прав доступа)" + after;
        case SQLITE_FULL: return "Нет места на диске для записей испытаний (" + path_ + "); последняя запись не сохранена" + after;
        case SQLITE_BUSY:
        case SQLITE_LOCKED: return file + " занят другой программой; последняя запись не сохранена" + after;
        case SQLITE_IOERR: return "Ошибка ввода-вывода при записи в " + path_ + ": " + e.what() + after;
        default: return "Ошибка базы записей испытаний " + path_ + ": " + e.what() + after;
    }
}

bool TRunStore::Open(const std::string& path, std::string& error, bool readOnly) {
    path_ = path;
    try {
        db_.Open(path, readOnly);
        sqlite3_busy_timeout(db_.Handle(), 5000);
        // The first read finds out whether the file is a database at all.
        int64_t version = 0;
        try {
            version = db_.QueryInt("PRAGMA user_version");
        } catch (const TSqliteError& e) {
            // A file in WAL mode on a read-only medium cannot be read the usual way, but nothing
            // can change it there either.
            if (!readOnly || e.Code() != SQLITE_CANTOPEN || !WriteProtected(path)) throw;
            db_.OpenImmutable(path);
            version = db_.QueryInt("PRAGMA user_version");
        }
        // SQLite falls back to reading a file it may not write; the stand needs to know now.
        if (!readOnly && sqlite3_db_readonly(db_.Handle(), "main") == 1) throw TSqliteError(SQLITE_READONLY, "read-only");
        if (version > kSchemaVersion) {
            db_.Close();
            error = "Файл записей испытаний " + path + " создан более новой версией программы (схема " +
                    std::to_string(version) + ", эта программа знает схему " + std::to_string(kSchemaVersion) +
                    "); записи в него не ведутся. Испытания продолжаются, протоколы пишутся как всегда.";
            return false;
        }
        if (!readOnly) {
            db_.Exec("PRAGMA journal_mode=WAL");
            db_.Exec("PRAGMA synchronous=FULL");
            db_.Exec("PRAGMA foreign_keys=ON");
            Migrate();
        } else if (version < kSchemaVersion) {
            db_.Close();
            error = "Файл записей испытаний " + path + " старой схемы (" + std::to_string(version) +
                    "); откройте его программой стенда, она его обновит.";
            return false;
        }
        // Readers go over many pages (a year's statistics): 64 MiB of them kept, not 2.
        if (readOnly) db_.Exec("PRAGMA cache_size=-65536");
        return true;
    } catch (const TSqliteError& e) {
        error = Describe(e);
        db_.Close();
        return false;
    }
}

void TRunStore::Migrate() {
    const int64_t version = db_.QueryInt("PRAGMA user_version");
    for (int64_t v = version; v < kSchemaVersion; ++v) {
        // Each step and its version number in one transaction: a step is there whole or not at all.
        TSqliteDb::Transaction t(db_);
        db_.Exec(kMigrations[v]);
        db_.Exec(("PRAGMA user_version=" + std::to_string(v + 1)).c_str());
        t.Commit();
    }
}

template <class F>
bool TRunStore::Write(std::string& error, F&& f) {
    if (!db_.IsOpen()) {
        error = "Файл записей испытаний " + path_ + " не открыт.";
        return false;
    }
    try {
        TSqliteDb::Transaction t(db_);
        f();
        t.Commit();
        return true;
    } catch (const TSqliteError& e) {
        error = Describe(e);
        return false;
    }
}

void TRunStore::Bump(const std::string& runId) {
    TSqliteStatement(db_.Handle(), "UPDATE runs SET revision = revision + 1 WHERE id = ?").Bind(1, runId).Run();
}

void TRunStore::WritePassport(const std::string& runId, const RunPassport_T& p) {
    TSqliteStatement s(db_.Handle(),
                       "UPDATE runs SET logical_number=?, v_cp=?, v_kk=?, v_rg=?, v_izm=?, v_pzu=?, firmware_date=? "
                       "WHERE id=?");
    s.Bind(1, p.logicalNumber);
    for (int k = 0; k < 5; ++k) s.Bind(2 + k, p.versions[k]);
    s.Bind(7, p.firmwareDate).Bind(8, runId).Run();
}

void TRunStore::InsertRun(const RunRecord_T& r) {
    TSqliteStatement s(db_.Handle(),
                       "INSERT INTO runs(id, session, stand, program_version, device, device_kind, serial, operator, "
                       "cause, remarks, script, script_version, script_sha256, started_at, ended_at, outcome, "
                       "protocol_file, archive_file) VALUES(?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)");
    int i = 1;
    for (const std::string* v : {&r.id, &r.session, &r.stand, &r.programVersion, &r.device, &r.deviceKind, &r.serial,
                                 &r.operatorName, &r.cause, &r.remarks, &r.script, &r.scriptVersion, &r.scriptSha256,
                                 &r.startedAt})
        s.Bind(i++, *v);
    if (r.endedAt.empty())
        s.BindNull(i++);
    else
        s.Bind(i++, r.endedAt);
    s.Bind(i++, std::string(OutcomeName(r.outcome)));
    s.Bind(i++, r.protocolFile);
    s.Bind(i++, r.archiveFile);
    s.Run();
    if (r.passport) WritePassport(r.id, *r.passport);
    for (const CheckRecord_T& c : r.checks) InsertCheck(r.id, c);
}

void TRunStore::InsertCheck(const std::string& runId, const CheckRecord_T& c) {
    // A check written again (the same position) replaces the one before with its rows.
    TSqliteStatement(db_.Handle(), "DELETE FROM measurements WHERE run_id=? AND check_position=?")
        .Bind(1, runId)
        .Bind(2, c.position)
        .Run();
    TSqliteStatement(db_.Handle(),
                     "INSERT OR REPLACE INTO checks(run_id, position, number, title, outcome, started_at, ended_at) "
                     "VALUES(?,?,?,?,?,?,?)")
        .Bind(1, runId)
        .Bind(2, c.position)
        .Bind(3, c.number)
        .Bind(4, c.title)
        .Bind(5, std::string(OutcomeName(c.outcome)))
        .Bind(6, c.startedAt)
        .Bind(7, c.endedAt)
        .Run();
    TSqliteStatement m(db_.Handle(),
                       "INSERT OR REPLACE INTO measurements(run_id, check_position, row, parameter, low, high, control, "
                       "measured, result, passed, attempts, in_protocol) VALUES(?,?,?,?,?,?,?,?,?,?,?,?)");
    for (const MeasurementRecord_T& r : c.rows) {
        m.Reset();
        m.Bind(1, runId).Bind(2, c.position).Bind(3, r.row).Bind(4, r.parameter).Bind(5, r.low).Bind(6, r.high);
        m.Bind(7, r.control).Bind(8, r.measured).Bind(9, r.result).Bind(10, r.passed).Bind(11, r.attempts);
        m.Bind(12, r.inProtocol ? 1 : 0).Run();
    }
}

bool TRunStore::BeginRun(const RunRecord_T& run, std::string& error) {
    return Write(error, [&] { InsertRun(run); });
}

bool TRunStore::AddRuns(const std::vector<RunRecord_T>& runs, std::string& error) {
    return Write(error, [&] {
        for (const RunRecord_T& r : runs) InsertRun(r);
    });
}

bool TRunStore::SetPassport(const std::string& runId, const RunPassport_T& p, std::string& error) {
    return Write(error, [&] {
        WritePassport(runId, p);
        Bump(runId);
    });
}

bool TRunStore::AddCheck(const std::string& runId, const CheckRecord_T& check, std::string& error) {
    return Write(error, [&] {
        InsertCheck(runId, check);
        Bump(runId);
    });
}

bool TRunStore::EndRun(const std::string& runId, RunOutcome outcome, const std::string& endedAt,
                       const std::string& protocolFile, std::string& error) {
    return Write(error, [&] {
        TSqliteStatement(db_.Handle(), "UPDATE runs SET outcome=?, ended_at=?, protocol_file=? WHERE id=?")
            .Bind(1, std::string(OutcomeName(outcome)))
            .Bind(2, endedAt)
            .Bind(3, protocolFile)
            .Bind(4, runId)
            .Run();
        Bump(runId);
    });
}

bool TRunStore::SetArchiveFile(const std::string& runId, const std::string& archiveFile, std::string& error) {
    return Write(error, [&] {
        TSqliteStatement(db_.Handle(), "UPDATE runs SET archive_file=? WHERE id=?").Bind(1, archiveFile).Bind(2, runId).Run();
        Bump(runId);
    });
}

bool TRunStore::SetJournalFile(const std::string& runId, const std::string& journalFile, std::string& error) {
    return Write(error, [&] {
        TSqliteStatement(db_.Handle(), "UPDATE runs SET journal_file=? WHERE id=?").Bind(1, journalFile).Bind(2, runId).Run();
        Bump(runId);
    });
}

bool TRunStore::AddEepromSession(const EepromSessionRecord_T& e, std::string& error) {
    return Write(error, [&] {
        TSqliteStatement s(db_.Handle(),
                           "INSERT OR REPLACE INTO eeprom_sessions(id, run_id, stand, kind, file, blocks, mismatches, "
                           "outcome, started_at, ended_at) VALUES(?,?,?,?,?,?,?,?,?,?)");
        s.Bind(1, e.id);
        if (e.runId.empty())
            s.BindNull(2);
        else
            s.Bind(2, e.runId);
        s.Bind(3, e.stand).Bind(4, e.kind).Bind(5, e.file).Bind(6, e.blocks).Bind(7, e.mismatches);
        s.Bind(8, e.outcome).Bind(9, e.startedAt).Bind(10, e.endedAt).Run();
        if (!e.runId.empty()) Bump(e.runId);
    });
}

namespace {

constexpr const char* kSummaryColumns =
    "r.id, r.stand, r.serial, r.device, r.operator, r.script, r.started_at, r.ended_at, r.outcome, "
    "(SELECT count(*) FROM checks c WHERE c.run_id = r.id)";

RunSummary_T ReadSummary(const TSqliteStatement& s) {
    RunSummary_T r;
    r.id = s.Text(0);
    r.stand = s.Text(1);
    r.serial = s.Text(2);
    r.device = s.Text(3);
    r.operatorName = s.Text(4);
    r.script = s.Text(5);
    r.startedAt = s.Text(6);
    r.endedAt = s.Text(7);
    r.outcome = OutcomeFromName(s.Text(8));
    r.checks = static_cast<int>(s.Int(9));
    return r;
}

}  // namespace

std::vector<RunSummary_T> TRunStore::LastRuns(int count, std::string& error) {
    std::vector<RunSummary_T> out;
    try {
        TSqliteStatement s(db_.Handle(), (std::string("SELECT ") + kSummaryColumns +
                                          " FROM runs r ORDER BY r.started_at DESC, r.rowid DESC LIMIT ?")
                                             .c_str());
        s.Bind(1, count);
        while (s.Step()) out.push_back(ReadSummary(s));
    } catch (const TSqliteError& e) {
        error = Describe(e);
    }
    return out;
}

std::vector<RunSummary_T> TRunStore::SerialHistory(const std::string& serial, std::string& error) {
    std::vector<RunSummary_T> out;
    try {
        TSqliteStatement s(db_.Handle(), (std::string("SELECT ") + kSummaryColumns +
                                          " FROM runs r WHERE r.serial = ? ORDER BY r.started_at, r.rowid")
                                             .c_str());
        s.Bind(1, serial);
        std::map<std::string, size_t> index;
        while (s.Step()) {
            index[s.Text(0)] = out.size();
            out.push_back(ReadSummary(s));
        }
        TSqliteStatement f(db_.Handle(),
                           "SELECT m.run_id, c.title, m.parameter, m.measured, m.low, m.high, m.result "
                           "FROM runs r JOIN measurements m ON m.run_id = r.id "
                           "JOIN checks c ON c.run_id = m.run_id AND c.position = m.check_position "
                           "WHERE r.serial = ? AND m.passed = 0 ORDER BY m.run_id, m.check_position, m.row");
        f.Bind(1, serial);
        while (f.Step()) {
            const auto it = index.find(f.Text(0));
            if (it == index.end()) continue;
            out[it->second].failingRows.push_back(f.Text(1) + ": " + f.Text(2) + " " + f.Text(3) + " (" + f.Text(4) +
                                                  ".." + f.Text(5) + ") " + f.Text(6));
        }
    } catch (const TSqliteError& e) {
        error = Describe(e);
    }
    return out;
}

std::optional<RunRecord_T> TRunStore::LoadRun(const std::string& idOrPrefix, std::string& error) {
    try {
        TSqliteStatement s(db_.Handle(),
                           "SELECT id, session, stand, program_version, device, device_kind, serial, operator, cause, "
                           "remarks, script, script_version, script_sha256, started_at, ended_at, outcome, "
                           "protocol_file, archive_file, logical_number, v_cp, v_kk, v_rg, v_izm, v_pzu, firmware_date, "
                           "journal_file FROM runs WHERE id = ?1 UNION ALL SELECT * FROM (SELECT id, session, stand, "
                           "program_version, device, device_kind, serial, operator, cause, remarks, script, "
                           "script_version, script_sha256, started_at, ended_at, outcome, protocol_file, archive_file, "
                           "logical_number, v_cp, v_kk, v_rg, v_izm, v_pzu, firmware_date, journal_file FROM runs "
                           "WHERE ?2 AND id > ?1 AND id < ?3 LIMIT 2) LIMIT 2");
        // The ids that begin with the text lie between it and it followed by a byte no UTF-8 text
        // holds: a range the index serves. (A pattern built in the query would read every run,
        // once for each run the forwarder sends.)
        const bool prefix = idOrPrefix.size() >= 4 && idOrPrefix.find_first_of("*?[]") == std::string::npos;
        s.Bind(1, idOrPrefix).Bind(2, prefix ? 1 : 0).Bind(3, idOrPrefix + '\xFF');
        if (!s.Step()) {
            error = "Испытание " + idOrPrefix + " не найдено.";
            return std::nullopt;
        }
        RunRecord_T r;
        std::string* fields[] = {&r.id,      &r.session,    &r.stand,         &r.programVersion, &r.device,
                                 &r.deviceKind, &r.serial,  &r.operatorName,  &r.cause,          &r.remarks,
                                 &r.script,  &r.scriptVersion, &r.scriptSha256, &r.startedAt,    &r.endedAt};
        for (int i = 0; i < 15; ++i) *fields[i] = s.Text(i);
        r.outcome = OutcomeFromName(s.Text(15));
        r.protocolFile = s.Text(16);
        r.archiveFile = s.Text(17);
        r.journalFile = s.Text(25);
        if (!s.IsNull(18)) r.passport = ReadPassport(s, 18);
        if (s.Step()) {
            error = "Начало " + idOrPrefix + " подходит к нескольким испытаниям; укажите больше знаков.";
            return std::nullopt;
        }
        TSqliteStatement c(db_.Handle(),
                           "SELECT position, number, title, outcome, started_at, ended_at FROM checks WHERE run_id = ? "
                           "ORDER BY position");
        c.Bind(1, r.id);
        while (c.Step()) {
            CheckRecord_T k;
            k.position = static_cast<int>(c.Int(0));
            k.number = static_cast<int>(c.Int(1));
            k.title = c.Text(2);
            k.outcome = OutcomeFromName(c.Text(3));
            k.startedAt = c.Text(4);
            k.endedAt = c.Text(5);
            r.checks.push_back(std::move(k));
        }
        TSqliteStatement m(db_.Handle(),
                           "SELECT check_position, row, parameter, low, high, control, measured, result, passed, "
                           "attempts, in_protocol FROM measurements WHERE run_id = ? ORDER BY check_position, row");
        m.Bind(1, r.id);
        while (m.Step()) {
            const int position = static_cast<int>(m.Int(0));
            for (CheckRecord_T& k : r.checks) {
                if (k.position == position) k.rows.push_back(ReadMeasurement(m, 1));
            }
        }
        return r;
    } catch (const TSqliteError& e) {
        error = Describe(e);
        return std::nullopt;
    }
}

std::vector<EepromSessionRecord_T> TRunStore::EepromSessions(const std::string& runId, std::string& error) {
    std::vector<EepromSessionRecord_T> out;
    try {
        TSqliteStatement s(db_.Handle(),
                           "SELECT id, run_id, stand, kind, file, blocks, mismatches, outcome, started_at, ended_at "
                           "FROM eeprom_sessions WHERE run_id IS ? ORDER BY started_at, rowid");
        if (runId.empty())
            s.BindNull(1);
        else
            s.Bind(1, runId);
        while (s.Step()) out.push_back(ReadEepromSession(s));
    } catch (const TSqliteError& e) {
        error = Describe(e);
    }
    return out;
}

std::vector<EepromSessionRecord_T> TRunStore::PendingEepromSessions(int limit, std::string& error) {
    std::vector<EepromSessionRecord_T> out;
    try {
        TSqliteStatement s(db_.Handle(),
                           "SELECT id, run_id, stand, kind, file, blocks, mismatches, outcome, started_at, ended_at "
                           "FROM eeprom_sessions WHERE run_id IS NULL AND sent = 0 ORDER BY rowid LIMIT ?");
        s.Bind(1, limit);
        while (s.Step()) out.push_back(ReadEepromSession(s));
    } catch (const TSqliteError& e) {
        error = Describe(e);
    }
    return out;
}

bool TRunStore::MarkEepromSent(const std::vector<std::string>& ids, std::string& error) {
    return Write(error, [&] {
        TSqliteStatement s(db_.Handle(), "UPDATE eeprom_sessions SET sent = 1 WHERE id = ?");
        for (const std::string& id : ids) {
            s.Reset();
            s.Bind(1, id).Run();
        }
    });
}

std::vector<MeasurementExport_T> TRunStore::Measurements(const std::string& from, const std::string& to,
                                                         std::string& error) {
    std::vector<MeasurementExport_T> out;
    try {
        // started_at begins with the local date, so a day's bound compares as text.
        TSqliteStatement s(db_.Handle(),
                           "SELECT r.id, r.stand, r.serial, r.started_at, c.title, m.check_position, m.row, m.parameter, "
                           "m.low, m.high, m.control, m.measured, m.result, m.passed, m.attempts, m.in_protocol "
                           "FROM measurements m JOIN runs r ON r.id = m.run_id "
                           "JOIN checks c ON c.run_id = m.run_id AND c.position = m.check_position "
                           "WHERE (?1 = '' OR substr(r.started_at, 1, 10) >= ?1) "
                           "AND (?2 = '' OR substr(r.started_at, 1, 10) <= ?2) "
                           "ORDER BY r.started_at, r.id, m.check_position, m.row");
        s.Bind(1, from).Bind(2, to);
        while (s.Step()) {
            MeasurementExport_T e;
            e.runId = s.Text(0);
            e.stand = s.Text(1);
            e.serial = s.Text(2);
            e.startedAt = s.Text(3);
            e.checkTitle = s.Text(4);
            e.checkPosition = static_cast<int>(s.Int(5));
            e.m = ReadMeasurement(s, 6);
            out.push_back(std::move(e));
        }
    } catch (const TSqliteError& e) {
        error = Describe(e);
    }
    return out;
}

std::vector<TRunStore::Pending_T> TRunStore::PendingRuns(const std::string& currentSession, int limit,
                                                         std::string& error, int64_t afterRowid) {
    std::vector<Pending_T> out;
    try {
        TSqliteStatement s(db_.Handle(),
                           "SELECT id, revision, rowid FROM runs WHERE rowid > ? AND sent_revision < revision "
                           "AND (outcome <> 'incomplete' OR session <> ?) ORDER BY rowid LIMIT ?");
        s.Bind(1, afterRowid).Bind(2, currentSession).Bind(3, limit);
        while (s.Step()) out.push_back({s.Text(0), s.Int(1), s.Int(2)});
    } catch (const TSqliteError& e) {
        error = Describe(e);
    }
    return out;
}

int TRunStore::PendingCount(const std::string& currentSession, std::string& error) {
    try {
        TSqliteStatement s(db_.Handle(),
                           "SELECT count(*) FROM runs WHERE sent_revision < revision "
                           "AND (outcome <> 'incomplete' OR session <> ?)");
        s.Bind(1, currentSession);
        return s.Step() ? static_cast<int>(s.Int(0)) : 0;
    } catch (const TSqliteError& e) {
        error = Describe(e);
        return 0;
    }
}

bool TRunStore::MarkSent(const std::string& runId, int64_t revision, std::string& error) {
    return MarkSent(std::vector<Pending_T>{{runId, revision}}, error);
}

bool TRunStore::MarkSent(const std::vector<Pending_T>& runs, std::string& error) {
    return Write(error, [&] {
        // A revision made while it travelled stays due.
        TSqliteStatement s(db_.Handle(), "UPDATE runs SET sent_revision = max(sent_revision, ?) WHERE id = ?");
        for (const Pending_T& r : runs) {
            s.Reset();
            s.Bind(1, r.revision).Bind(2, r.id).Run();
        }
    });
}
