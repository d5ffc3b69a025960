#include "records/RunRecorder.h"

#include "execution/ResultsTable.h"
#include "platform/Paths.h"
#include "records/Sha256.h"

TRunRecorder::TRunRecorder() : clock_(NowIso8601), session_(NewUuid()) {}

void TRunRecorder::BeginRun(const RunStart_T& start) {
    if (RunOpen()) EndRun(RunOutcome::Incomplete);
    last_ = start;
    haveLast_ = true;
    BeginRunAgain();
}

void TRunRecorder::BeginRunAgain() {
    if (!haveLast_) return;
    if (RunOpen()) EndRun(RunOutcome::Incomplete);
    runId_ = NewUuid();
    lastRunId_ = runId_;
    position_ = 0;
    checkOpen_ = false;
    if (!sink_) return;
    RunRecord_T r;
    r.id = runId_;
    r.session = session_;
    r.stand = stand_;
    r.programVersion = programVersion_;
    r.device = last_.device;
    r.deviceKind = last_.deviceKind;
    r.serial = last_.serial;
    r.operatorName = last_.operatorName;
    r.cause = last_.cause;
    r.remarks = last_.remarks;
    r.script = last_.script;
    r.scriptVersion = last_.scriptVersion;
    std::string bytes;
    // A script that cannot be read now was read a moment ago by the tag; the run is kept
    // without its checksum rather than not at all.
    if (platform::ReadFileBytes(last_.scriptPath, bytes)) r.scriptSha256 = Sha256Hex(bytes);
    r.startedAt = clock_();
    r.protocolFile = last_.protocolFile;
    sink_->BeginRun(r);
}

void TRunRecorder::Passport(const RunPassport_T& passport) {
    if (sink_ && RunOpen()) sink_->SetPassport(runId_, passport);
}

void TRunRecorder::CheckStarted(int number, const std::string& title) {
    if (!RunOpen()) return;
    check_ = CheckRecord_T{};
    check_.position = ++position_;
    check_.number = number;
    check_.title = title;
    check_.startedAt = clock_();
    checkOpen_ = true;
}

std::vector<MeasurementRecord_T> TRunRecorder::Rows(const TResultsTable& table, int firstRow, bool inProtocol) {
    std::vector<MeasurementRecord_T> rows;
    for (int r = std::max(1, firstRow); r < table.NextFreeRow() && r < table.RowCount(); ++r) {
        if (table.Cell(0, r).empty()) continue;
        MeasurementRecord_T m;
        m.row = r;
        m.parameter = table.Cell(0, r);
        m.low = table.Cell(1, r);
        m.high = table.Cell(2, r);
        m.control = table.Cell(3, r);
        m.measured = table.Cell(4, r);
        m.result = table.Cell(5, r);
        // The verdicts the judge writes on a parameter's row; an attempt row's "OK" says only that
        // tries remain.
        if (table.IsParameterRow(r)) {
            if (m.result == "OK" || m.result == "OK.")
                m.passed = true;
            else if (m.result.rfind("ОШИБКА", 0) == 0)
                m.passed = false;
        }
        m.attempts = table.Writes(r);
        m.inProtocol = inProtocol;
        rows.push_back(std::move(m));
    }
    return rows;
}

void TRunRecorder::CheckEnded(RunOutcome outcome, const TResultsTable& table, int firstRow, bool inProtocol) {
    EndCheck(outcome, &table, firstRow, inProtocol);
}

void TRunRecorder::EndCheck(RunOutcome outcome, const TResultsTable* table, int firstRow, bool inProtocol) {
    if (!checkOpen_) return;
    checkOpen_ = false;
    check_.outcome = outcome;
    check_.endedAt = clock_();
    if (!sink_) return;
    if (table) check_.rows = Rows(*table, firstRow, inProtocol);
    sink_->AddCheck(runId_, check_);
}

void TRunRecorder::EndRun(RunOutcome outcome, const TResultsTable* table, int firstRow, bool inProtocol) {
    if (!RunOpen()) return;
    EndCheck(outcome, table, firstRow, inProtocol);
    if (sink_) sink_->EndRun(runId_, outcome, clock_(), last_.protocolFile);
    runId_.clear();
}

void TRunRecorder::ArchiveSaved(const std::string& archiveFile) {
    if (sink_ && !lastRunId_.empty()) sink_->SetArchiveFile(lastRunId_, archiveFile);
}

void TRunRecorder::JournalSaved(const std::string& journalFile) {
    if (sink_ && !lastRunId_.empty()) sink_->SetJournalFile(lastRunId_, journalFile);
}

void TRunRecorder::EepromSession(EepromSessionRecord_T session) {
    if (!sink_) return;
    if (session.id.empty()) session.id = NewUuid();
    session.runId = runId_;
    session.stand = stand_;
    sink_->AddEepromSession(session);
}
