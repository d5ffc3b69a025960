#pragma once

#include <functional>
#include <string>
#include <vector>

#include "records/RunRecord.h"

class TResultsTable;

// What the tag gives a run's record at "Начало проверки".
struct RunStart_T {
    std::string device, deviceKind, serial, operatorName, cause, remarks;
    std::string scriptPath;  // the file itself, read for its SHA-256
    std::string script;      // as the tag names it ("./scn/one.ini")
    std::string scriptVersion;
    std::string protocolFile;
};

// Follows a run on the window's thread and hands each finished piece to the sink: the run row
// at its start, every check when it ends, the outcome at the end. Without a sink it records
// nothing and costs nothing.
class TRunRecorder {
public:
    TRunRecorder();

    void SetSink(TRunRecordSink* sink) { sink_ = sink; }
    void SetStand(const std::string& stand, const std::string& programVersion) {
        stand_ = stand;
        programVersion_ = programVersion;
    }
    void SetClock(std::function<std::string()> clock) { clock_ = std::move(clock); }
    const std::string& Session() const { return session_; }

    // A run that is still open ends as incomplete first.
    void BeginRun(const RunStart_T& start);
    // The same device again without a new tag: a new run with the last one's data.
    void BeginRunAgain();
    bool RunOpen() const { return !runId_.empty(); }
    const std::string& RunId() const { return runId_; }
    // The run that the tag began last, open or ended (the archive name arrives after the end).
    const std::string& LastRunId() const { return lastRunId_; }

    void Passport(const RunPassport_T& passport);
    void CheckStarted(int number, const std::string& title);
    // The check's rows from the results table, `firstRow` up to the next free row; rows with no
    // parameter are left out, as the protocol leaves them.
    void CheckEnded(RunOutcome outcome, const TResultsTable& table, int firstRow, bool inProtocol);
    bool CheckOpen() const { return checkOpen_; }
    // An open check ends with the same outcome and the rows it has.
    void EndRun(RunOutcome outcome, const TResultsTable* table = nullptr, int firstRow = 1, bool inProtocol = false);
    void ArchiveSaved(const std::string& archiveFile);
    void JournalSaved(const std::string& journalFile);
    void EepromSession(EepromSessionRecord_T session);

    // Rows of a results table as records.
    static std::vector<MeasurementRecord_T> Rows(const TResultsTable& table, int firstRow, bool inProtocol);

private:
    void EndCheck(RunOutcome outcome, const TResultsTable* table, int firstRow, bool inProtocol);

    TRunRecordSink* sink_ = nullptr;
    std::function<std::string()> clock_;
    std::string session_, stand_, programVersion_;
    RunStart_T last_;
    bool haveLast_ = false;
    std::string runId_, lastRunId_, protocolFile_;
    int position_ = 0;
    bool checkOpen_ = false;
    CheckRecord_T check_;
};
