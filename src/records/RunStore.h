#pragma once

#include <optional>
#include <string>
#include <vector>

#include "records/RunRecord.h"
#include "records/RunStatistics.h"
#include "records/SqliteDb.h"

// One run in a listing.
struct RunSummary_T {
    std::string id, stand, serial, device, operatorName, script, startedAt, endedAt;
    RunOutcome outcome = RunOutcome::Incomplete;
    int checks = 0;
    std::vector<std::string> failingRows;  // "check title: parameter measured (low..high) result"
};

// A measurement with its run, for exports.
struct MeasurementExport_T {
    std::string runId, stand, serial, startedAt, checkTitle;
    int checkPosition = 0;
    MeasurementRecord_T m;
};

// Where the records are read from: the stand's own file or the plant's database. Every call
// answers what it found and leaves a message for people in `error` when it failed.
class TRecordsSource {
public:
    virtual ~TRecordsSource() = default;
    // The last `count` runs, newest first.
    virtual std::vector<RunSummary_T> LastRuns(int count, std::string& error) = 0;
    // Every run of a serial, oldest first, with the rows that failed.
    virtual std::vector<RunSummary_T> SerialHistory(const std::string& serial, std::string& error) = 0;
    // A run by its id or an unambiguous beginning of it.
    virtual std::optional<RunRecord_T> LoadRun(const std::string& idOrPrefix, std::string& error) = 0;
    // The EEPROM sessions of a run; of none (an empty id): those made with no run open.
    virtual std::vector<EepromSessionRecord_T> EepromSessions(const std::string& runId, std::string& error) = 0;
    // Measurements of the runs started on the days from..to ("YYYY-MM-DD"; empty: no bound).
    virtual std::vector<MeasurementExport_T> Measurements(const std::string& from, const std::string& to,
                                                          std::string& error) = 0;

    // Statistics of the runs the filter takes (RunStatistics.h). Both stores answer alike: the
    // same runs counted, the same order of ties, the same thinning of a long series.
    virtual YieldReport_T Yield(const StatsFilter_T& filter, std::string& error) = 0;
    virtual std::vector<ParetoLine_T> ParetoByCheck(const StatsFilter_T& filter, std::string& error) = 0;
    virtual std::vector<ParetoLine_T> ParetoByParameter(const StatsFilter_T& filter, std::string& error) = 0;
    // One parameter of one script (its name as the tag gives it, or its file name).
    virtual Capability_T Capability(const StatsFilter_T& filter, const std::string& script,
                                    const std::string& parameter, std::string& error, size_t maxPoints = 4000) = 0;
    // The scripts and the parameters of a script that the filter's runs measured, for a choice.
    virtual std::vector<std::string> StatsScripts(const StatsFilter_T& filter, std::string& error) = 0;
    virtual std::vector<std::string> StatsParameters(const StatsFilter_T& filter, const std::string& script,
                                                     std::string& error) = 0;
};

// A stand's own records: an SQLite file in WAL mode with synchronous=FULL, so that what was
// committed survives a crash or a cut power. Every write is one transaction. The file is also
// the outbox of the plant's database: each run carries a revision, and the revision that
// reached the plant.
//
// Every call catches SQLite's failures and answers false with a message for the operator; a
// failed write leaves what was stored as it was.
class TRunStore : public TRecordsSource {
public:
    // 1: the first tables; 2: the run's whole tag, passport, attempts, EEPROM sessions, outbox;
    // 3: the outbox of EEPROM sessions made with no run; 4: the run's traffic journal; 5: indices
    // of the statistics.
    static constexpr int kSchemaVersion = 5;

    bool Open(const std::string& path, std::string& error, bool readOnly = false);
    void Close() { db_.Close(); }
    bool IsOpen() const { return db_.IsOpen(); }
    const std::string& Path() const { return path_; }
    // How long a write waits for another program's lock (5 s unless set).
    void SetBusyTimeout(int ms) {
        if (db_.IsOpen()) sqlite3_busy_timeout(db_.Handle(), ms);
    }

    bool BeginRun(const RunRecord_T& run, std::string& error);
    bool SetPassport(const std::string& runId, const RunPassport_T& passport, std::string& error);
    bool AddCheck(const std::string& runId, const CheckRecord_T& check, std::string& error);
    bool EndRun(const std::string& runId, RunOutcome outcome, const std::string& endedAt,
                const std::string& protocolFile, std::string& error);
    bool SetArchiveFile(const std::string& runId, const std::string& archiveFile, std::string& error);
    bool SetJournalFile(const std::string& runId, const std::string& journalFile, std::string& error);
    bool AddEepromSession(const EepromSessionRecord_T& session, std::string& error);
    // Many runs in one transaction (imports and benchmarks).
    bool AddRuns(const std::vector<RunRecord_T>& runs, std::string& error);

    std::vector<RunSummary_T> LastRuns(int count, std::string& error) override;
    std::vector<RunSummary_T> SerialHistory(const std::string& serial, std::string& error) override;
    std::optional<RunRecord_T> LoadRun(const std::string& idOrPrefix, std::string& error) override;
    std::vector<EepromSessionRecord_T> EepromSessions(const std::string& runId, std::string& error) override;
    std::vector<MeasurementExport_T> Measurements(const std::string& from, const std::string& to,
                                                  std::string& error) override;

    // The outbox: runs whose last revision has not reached the plant, oldest first. A run of
    // this program start goes only once it ended; one left incomplete by an earlier start goes
    // as it is.
    struct Pending_T {
        std::string id;
        int64_t revision = 0;
        int64_t rowid = 0;  // where the next batch goes on from
    };
    // Runs due at the plant, oldest first, from after `afterRowid` on: a long backlog is read
    // batch by batch from where the last one ended, not from its start each time.
    std::vector<Pending_T> PendingRuns(const std::string& currentSession, int limit, std::string& error,
                                       int64_t afterRowid = 0);
    int PendingCount(const std::string& currentSession, std::string& error);
    // EEPROM sessions made with no run open that have not reached the plant, oldest first.
    std::vector<EepromSessionRecord_T> PendingEepromSessions(int limit, std::string& error);
    bool MarkEepromSent(const std::vector<std::string>& ids, std::string& error);
    // The plant holds `revision` of the run.
    bool MarkSent(const std::string& runId, int64_t revision, std::string& error);
    bool MarkSent(const std::vector<Pending_T>& runs, std::string& error);

    YieldReport_T Yield(const StatsFilter_T& filter, std::string& error) override;
    std::vector<ParetoLine_T> ParetoByCheck(const StatsFilter_T& filter, std::string& error) override;
    std::vector<ParetoLine_T> ParetoByParameter(const StatsFilter_T& filter, std::string& error) override;
    Capability_T Capability(const StatsFilter_T& filter, const std::string& script, const std::string& parameter,
                            std::string& error, size_t maxPoints = 4000) override;
    std::vector<std::string> StatsScripts(const StatsFilter_T& filter, std::string& error) override;
    std::vector<std::string> StatsParameters(const StatsFilter_T& filter, const std::string& script,
                                             std::string& error) override;

    // The message for the operator of an SQLite failure on this file.
    std::string Describe(const TSqliteError& e) const;

private:
    void Migrate();
    void Bump(const std::string& runId);
    void InsertRun(const RunRecord_T& run);
    void WritePassport(const std::string& runId, const RunPassport_T& passport);
    void InsertCheck(const std::string& runId, const CheckRecord_T& check);
    template <class F>
    bool Write(std::string& error, F&& f);

    TSqliteDb db_;
    std::string path_;
};
