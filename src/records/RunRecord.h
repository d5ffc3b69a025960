#pragma once

#include <array>
#include <optional>
#include <string>
#include <vector>

// A run as the records database keeps it: who tested which device with which script, what the
// station reported, each check with its result rows, and the EEPROM sessions around it.
// Plain data: the recorder fills it as the run goes, the stores write it.

// How a run or a check ended. A row that was never ended reads "incomplete": the program
// ended (or died) while it ran.
enum class RunOutcome { Incomplete, Passed, Failed, Aborted, Silent, ScriptError };

// The names kept in the database; they never change once written.
const char* OutcomeName(RunOutcome outcome);
// Unknown names read as incomplete.
RunOutcome OutcomeFromName(const std::string& name);
// The Russian word for the operator and for reports.
const char* OutcomeText(RunOutcome outcome);

struct RunPassport_T {
    int logicalNumber = 0;
    std::array<int, 5> versions{};  // central, switch controller, regulator, meter, EEPROM firmware
    std::string firmwareDate;       // "15.03.2016 10:30"
};

struct MeasurementRecord_T {
    int row = 0;  // the row of the results table
    std::string parameter, low, high, control, measured;
    std::string result;                 // the verdict text as the operator saw it
    std::optional<bool> passed;         // judged pass or fail; empty when the row was not judged
    int attempts = 1;                   // how often the row was written by a repeated step
    bool inProtocol = false;            // the protocol file holds the row
};

struct CheckRecord_T {
    int position = 0;  // 1, 2, ... in the order of the run
    int number = 0;    // the check's number in the script (section titleN)
    std::string title;
    RunOutcome outcome = RunOutcome::Incomplete;
    std::string startedAt, endedAt;
    std::vector<MeasurementRecord_T> rows;
};

struct RunRecord_T {
    std::string id;       // UUID
    std::string session;  // the program start that made the run (UUID)
    std::string stand, programVersion;
    std::string device, deviceKind, serial, operatorName, cause, remarks;
    std::string script, scriptVersion, scriptSha256;
    std::string startedAt, endedAt;  // ISO 8601 with the UTC offset
    RunOutcome outcome = RunOutcome::Incomplete;
    std::string protocolFile, archiveFile;
    std::string journalFile;  // the traffic journal saved beside the protocol; empty when none
    std::optional<RunPassport_T> passport;
    std::vector<CheckRecord_T> checks;
};

struct EepromSessionRecord_T {
    std::string id;
    std::string runId;  // the run of the device on the stand at the time; empty when none
    std::string stand;
    std::string kind;   // "programming" or "reading"
    std::string file;
    int blocks = 0, mismatches = 0;
    std::string outcome;  // "passed", "failed", "cancelled"
    std::string startedAt, endedAt;
};

// What a record is written to. The recorder calls it on the window's thread, so each call must
// return at once; a store that waits for a disk queues the work.
class TRunRecordSink {
public:
    virtual ~TRunRecordSink() = default;
    // The run row with the tag's data, outcome incomplete, no checks.
    virtual void BeginRun(const RunRecord_T& run) = 0;
    virtual void SetPassport(const std::string& runId, const RunPassport_T& passport) = 0;
    virtual void AddCheck(const std::string& runId, const CheckRecord_T& check) = 0;
    virtual void EndRun(const std::string& runId, RunOutcome outcome, const std::string& endedAt,
                        const std::string& protocolFile) = 0;
    virtual void SetArchiveFile(const std::string& runId, const std::string& archiveFile) = 0;
    // The traffic journal saved for a run that failed, was aborted or lost the station.
    virtual void SetJournalFile(const std::string& /*runId*/, const std::string& /*journalFile*/) {}
    virtual void AddEepromSession(const EepromSessionRecord_T& session) = 0;
};

// A random (version 4) UUID in its usual text form.
std::string NewUuid();
// The local time now as "2026-12-09T05:41:07.123+03:00".
std::string NowIso8601();
