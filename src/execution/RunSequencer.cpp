#include "execution/RunSequencer.h"

#include "execution/Globals.h"
#include "link/CommandCatalogue.h"
#include "link/StationCodec.h"
#include "platform/Dialogs.h"
#include "records/ProtocolWriter.h"
#include "execution/ResultsTable.h"
#include "execution/StepInterpreter.h"

namespace {

constexpr const char* kEndStep = "endprov";
constexpr const char* kRowFormat = "|%-12s|%-11s|%-11s|%-11s|%-11s|%-11s|\n";
constexpr const char* kPassed = "Станция прошла проверку";
constexpr const char* kFailed = "Станция не прошла проверку";

}  // namespace

TRunSequencer::TRunSequencer(TScript& script, TResultsTable& table, TStepInterpreter& interpreter,
                             TReplyReader& reader, TProtocolWriter& protocol, TRunHost& host)
    : script_(script), table_(table), interp_(interpreter), reader_(reader), protocol_(protocol), host_(host) {}

std::string TRunSequencer::CheckKey(const char* key, const std::string& def) const {
    return script_.ReadString(checkSection_, key, def);
}

platform::DialogResult TRunSequencer::Ask(const std::string& text, const std::string& caption,
                                          platform::DialogButtons buttons) {
    const TPacingHold hold(host_);
    return platform::Dialogs::Current().Ask(text, caption, buttons, platform::DialogIcon::Question);
}

void TRunSequencer::Tell(const std::string& text, const std::string& caption, platform::DialogIcon icon) {
    const TPacingHold hold(host_);
    platform::Dialogs::Current().Show(text, caption, icon);
}

void TRunSequencer::StartStatePoll() {
    if (!IsMaster) host_.SetStatePoll(true);
}

// ---- preparation and the exchange lists ---------------------------------------------------

void TRunSequencer::Preparation(const RunTag_T& tag) {
    tag_ = tag;
    runActive_ = false;
    runToClose_ = false;
    // A new device starts with a clean verdict, whichever way the last one was left.
    stationFailed_ = false;
    runEnded_ = false;
    host_.RunBegan();
    host_.NewDevice(tag);
    host_.ShowDevice(tag);
    if (recorder_) {
        RunStart_T start = tag.record;
        start.deviceKind = Globals().TypeDevice;
        start.protocolFile = protocol_.Path();
        recorder_->BeginRun(start);
    }
    script_.Open(tag.scriptPath);
    host_.ShowCheckList(script_.BuildCheckList());
    InitialExchange();
}

void TRunSequencer::InitialExchange() {
    host_.SetSelectionEnabled(false);
    host_.SetStartEnabled(false);
    host_.SetErrorEnabled(false);
    host_.SetAbortEnabled(false);

    host_.SetStatus("Ждите ... Идет начальный цикл обмена", StatusColour::Green);
    std::vector<std::string> list;
    list.reserve(6);
    list.push_back(cmd::kState);
    list.push_back(cmd::kPassport);
    list.push_back(cmd::kPowerOff);
    // A setpoint field that holds no valid value was shown to the operator; the rest still goes.
    const std::string setpoints = host_.SetpointCommand();
    if (!setpoints.empty()) list.push_back(setpoints);
    list.push_back(cmd::kB1);
    list.push_back(cmd::kEepromRead00);
    StartList(ListKind::Initial, std::move(list));
}

void TRunSequencer::StartList(ListKind kind, std::vector<std::string> list) {
    listKind_ = kind;
    list_ = std::move(list);
    listCursor_ = 0;
    listSilent_ = 0;
    host_.ShowProgress(static_cast<int>(list_.size()));
    host_.SetProgress(0);
    reader_.SetReplyDone(true);
    host_.SetStatePoll(false);
    host_.SetListTimer(true);
}

void TRunSequencer::ExchangeListTick() {
    if (listKind_ == ListKind::None) {
        host_.SetListTimer(false);
        return;
    }
    if (listCursor_ >= list_.size()) {
        FinishList();
        return;
    }
    if (reader_.ReplyDone()) {
        host_.SendStation(list_[listCursor_++]);
        listSilent_ = 0;
        host_.SetProgress(static_cast<int>(listCursor_));
        return;
    }
    if (++listSilent_ > kListSilentLimit) {
        host_.SetListTimer(false);
        const auto answer = Ask("Прекратить работу?", "Нет связи с платой", platform::DialogButtons::YesNo);
        if (answer == platform::DialogResult::Yes) {
            listKind_ = ListKind::None;
            host_.HideProgress();
            RecordRunEnd(RunOutcome::Silent);
            host_.StartShutdown();
            return;
        }
        listSilent_ = 0;
        host_.SetListTimer(true);
    }
    // Unanswered: the same command goes again.
    if (listCursor_ > 0) host_.SendStation(list_[listCursor_ - 1]);
}

void TRunSequencer::FinishList() {
    const ListKind kind = listKind_;
    listKind_ = ListKind::None;
    host_.SetListTimer(false);
    host_.HideProgress();
    host_.SetSelectionEnabled(true);
    host_.SetCurrentTest("");
    if (kind == ListKind::Initial) {
        const std::string message = host_.VersionMessage();
        host_.SetStatus(message.empty() ? kSelectPrompt : message + " " + kSelectPrompt, StatusColour::Green);
        runActive_ = false;
        StartStatePoll();
        return;
    }
    // An aborted run has no verdict of its own; its protocol is closed here.
    runToClose_ = false;
    host_.ClearStationReceive();
    host_.SetStartEnabled(false);
    host_.SetAbortEnabled(false);
    host_.SetAutomatEnabled(false);
    host_.SetErrorEnabled(false);
    host_.SetStatusColour(StatusColour::Green);
    WriteCheckRows();
    // A failed step the operator stopped at is the station's failure, not his abort.
    RecordRunEnd(stationFailed_ ? RunOutcome::Failed : RunOutcome::Aborted);
    protocol_.WriteLine("Проверка прервана пользователем.");
    CloseProtocolAndShow();
    host_.SetStatus(std::string("Проверка прервана пользователем ") + kSelectPrompt, StatusColour::Green);
}

// ---- a run and its checks -----------------------------------------------------------------

void TRunSequencer::SelectionDone() {
    interp_.ResetFailedSteps();
    interp_.ClearRepeatTarget();
    host_.SetStatusColour(StatusColour::Yellow);
    host_.SetStepTimer(false);
    host_.StopCyclicRequest();
    StartStatePoll();
    host_.ClearExchangeLog();
    auto table = script_.MakeRunTable(host_.TickedChecks());
    if (table.empty()) {
        Tell("Отметьте необходимые проверки", "Проверка станции");
        return;
    }
    runTable_ = std::move(table);
    table_.Reset();
    host_.ShowExchangeLog();
    host_.SetSelectionEnabled(false);
    cursor_ = 0;
    checkNumber_ = runTable_[0].number;
    checkSection_ = "title" + std::to_string(checkNumber_);
    interp_.SetCurrentStep("step" + std::to_string(runTable_[0].oneStep));
    host_.SetStatus(CheckKey("Titl") + " " + CheckKey("Text"), StatusColour::Yellow);
    runActive_ = true;
    runToClose_ = true;
    nextCheckPending_ = false;
    scriptErrorPending_ = false;
    // Checks chosen again for the same device after its run ended: a run of their own.
    if (recorder_ && !recorder_->RunOpen()) recorder_->BeginRunAgain();
    if (runEnded_) host_.RunBegan();
    runEnded_ = false;
    runClock_ = false;
    host_.ShowRunProgress(1, static_cast<int>(runTable_.size()));
    runSilent_ = 0;
    table_.SetNextFreeRow(1);
    host_.SetStartEnabled(true);
    host_.SetAbortEnabled(true);
    host_.SetAutomatEnabled(true);
    host_.SetErrorEnabled(false);
    StartCheck();
}

bool TRunSequencer::PreparationCheck() const {
    const std::string& kind = Globals().TypeDevice;
    return checkNumber_ == 1 && kind != "Дроссель" && kind != "Станция";
}

void TRunSequencer::StartCheck() {
    interp_.ResetFailedSteps();
    interp_.ResetStepRows();
    host_.SetStepTimer(false);
    host_.SetStatusColour(StatusColour::Yellow);
    interp_.SetPacing(1);
    interp_.ResetAttempts();
    host_.SetStartCaption("Начать!");
    const std::string title = CheckKey("Titl");
    host_.SetCurrentTest(title);
    if (recorder_) recorder_->CheckStarted(checkNumber_, title);
    interp_.SetStoreEeprom(script_.ReadInteger(checkSection_, "Init", 0) != 0);
    // A passed check's rows are printed only when the script asks; a failed one's always are.
    prot_ = script_.ReadInteger(checkSection_, "Prot", 0);
    protocol_.WriteLine("\n" + title + "\n");
    checkFirstRow_ = table_.NextFreeRow();
    const bool operatorStarts = checkNumber_ == 1 || host_.AutomatOff() ||
                                script_.ReadInteger(checkSection_, "PrOffTimer", 1) != 0;
    if (operatorStarts) {
        host_.SetStepTimer(false);
        if (host_.AutomatOff())
            host_.SetStatePoll(false);
        else
            StartStatePoll();
        host_.SetStartEnabled(true);
    } else {
        host_.SetStepTimer(true);
        host_.SetStartEnabled(false);
        host_.SetErrorEnabled(false);
    }
    firstStepPending_ = true;
    host_.ShowExchangeLog();
}

void TRunSequencer::Step(int mode) {
    if (!runActive_) return;
    host_.RefreshCoefficients();

    if (nextCheckPending_) {
        if (cursor_ < runTable_.size()) host_.UntickCheck(runTable_[cursor_].line);
        ++cursor_;
        checkNumber_ = cursor_ < runTable_.size() ? runTable_[cursor_].number : 0;
        if (checkNumber_ != 0) {
            host_.ShowRunProgress(static_cast<int>(cursor_) + 1, static_cast<int>(runTable_.size()));
            host_.SetStartEnabled(true);
            host_.SetStartCaption("Начать!");
            checkSection_ = "title" + std::to_string(checkNumber_);
            interp_.SetCurrentStep("step" + std::to_string(runTable_[cursor_].oneStep));
            host_.SetStatus(CheckKey("Titl") + ". " + CheckKey("Text"), StatusColour::Yellow);
            nextCheckPending_ = false;
            StartCheck();
            return;
        }
        const char* verdict = stationFailed_ ? kFailed : kPassed;
        // The colour stays that of the last check's end: red when the station failed.
        host_.SetStatusText(std::string("Проверка станции окончена.\n") + verdict);
        RecordRunEnd(stationFailed_ ? RunOutcome::Failed : RunOutcome::Passed);
        host_.SetStartEnabled(true);
        runActive_ = false;
        host_.SetSelectionEnabled(true);
        host_.SetCurrentTest("");
        Tell(std::string("Испытания окончены. ") + verdict, "Проверка станции");
        return;
    }

    if (firstStepPending_) {
        firstStepPending_ = false;
        reader_.SetReplyDone(true);
        ExecuteAndJudge(mode, Reason::StepError);
    } else if (interp_.CurrentStep() != kEndStep) {
        Reason reason = Reason::StepError;
        if (reader_.ReplyDone()) {
            runSilent_ = 0;
            if (!interp_.RepeatTarget().empty()) {
                const int rows = interp_.StepRows();
                interp_.SetCurrentStep(interp_.RepeatTarget());
                if (interp_.RepeatBound() > 1) table_.SetNextFreeRow(std::max(1, table_.NextFreeRow() - rows));
                interp_.ClearRepeatTarget();
            } else {
                interp_.SetCurrentStep(script_.ReadString(interp_.CurrentStep(), "Next"));
            }
        } else {
            reason = Reason::Stopped;
            ++runSilent_;
            if (runSilent_ > kRunSilentLimit && !SilentStationQuestion()) {
                host_.ShowNoAnswer();
                return;
            }
        }
        // The chain's end is executed like any step (its own keys, by default the state
        // request) before the check ends.
        ExecuteAndJudge(mode, reason);
        // Shown after the step's command went again, whose sending clears the answer panel:
        // the operator sees it until an answer comes.
        if (reason == Reason::Stopped) host_.ShowNoAnswer();
    }
    if (runActive_ && interp_.CurrentStep() == kEndStep) EndCheck();
}

bool TRunSequencer::SilentStationQuestion() {
    runSilent_ = 0;
    const bool stepTimerRan = host_.StepTimerOn();
    host_.SetStepTimer(false);
    host_.SetStatePoll(false);
    const auto answer =
        Ask("Нет связи со станцией ! Продолжать?", "Конец проверки", platform::DialogButtons::YesNoCancel);
    if (answer == platform::DialogResult::No) {
        RecordRunEnd(RunOutcome::Silent);
        host_.StartShutdown();
        return false;
    }
    if (answer == platform::DialogResult::Yes) {
        host_.ReopenStationChannel();
        host_.SetStepTimer(stepTimerRan);
        if (!stepTimerRan) StartStatePoll();
        return true;
    }
    // Cancel: paused until the operator presses the start button, which sends the step again.
    host_.SetStartEnabled(true);
    return false;
}

void TRunSequencer::ExecuteAndJudge(int mode, Reason reason) {
    const int rowBefore = table_.NextFreeRow();
    const TStepInterpreter::Result_T r = interp_.ExecuteStep(mode);
    if (r.outcome == TStepInterpreter::Outcome::Error) {
        ScriptErrorPause(r.error, rowBefore);
        return;
    }
    scriptErrorPending_ = false;
    if (r.outcome == TStepInterpreter::Outcome::Passed) return;
    FailedStepQuestion(reason);
}

void TRunSequencer::ScriptErrorPause(const std::string& error, int rowBefore) {
    // The step could not complete (a picture missing, a typed value or a bound that is no
    // number): the run waits for the operator, who may mend what he typed, and his press
    // executes the same step again over the same rows. The autopilot would press for him.
    host_.SetStepTimer(false);
    host_.SwitchAutopilotOff();
    table_.SetNextFreeRow(rowBefore);
    scriptErrorPending_ = true;
    Tell(error, "Ошибка сценария", platform::DialogIcon::Warning);
    firstStepPending_ = true;
    StartStatePoll();
    host_.SetStartCaption("OK");
    host_.SetStartEnabled(true);
}

void TRunSequencer::FailedStepQuestion(Reason reason) {
    const bool stepTimerRan = host_.StepTimerOn();
    const bool pollRan = host_.StatePollOn();
    host_.SetStepTimer(false);
    StartStatePoll();
    host_.StopAutopilot();
    const auto answer = Ask("Ошибка!!!! Прекращаю проверку?", "Ошибка",
                                                         platform::DialogButtons::YesNo);
    if (answer != platform::DialogResult::Yes) {
        host_.SetStepTimer(stepTimerRan);
        if (!IsMaster) host_.SetStatePoll(pollRan);
        return;
    }
    runActive_ = false;
    host_.SetSelectionEnabled(true);
    host_.SetCurrentTest("");
    stationFailed_ = true;
    if (reason == Reason::Stopped) {
        host_.SetStatus("Выполнение проверки прервано. ", StatusColour::DarkRed);
        protocol_.WriteLine("\n" + std::string(74, '-'));
        protocol_.WriteLine("Выполнение проверки прервано.");
        RecordRunEnd(RunOutcome::Silent);
        return;
    }
    host_.SetStatus("Выполнение проверки прервано из-за ошибки в шаге проверки.\nСтанция проверку не прошла",
                    StatusColour::Red);
    Abort();
}

void TRunSequencer::EndCheck() {
    const std::string title = CheckKey("Titl");
    if (recorder_)
        recorder_->CheckEnded(interp_.FailedSteps() > 0 ? RunOutcome::Failed : RunOutcome::Passed, table_,
                              checkFirstRow_, RowsInProtocol(interp_.FailedSteps() > 0));
    if (interp_.FailedSteps() > 0) {
        host_.SetStatus(title + " не прошла!", StatusColour::Red);
        protocol_.WriteLine(" не прошла!");
        stationFailed_ = true;
        WriteCheckRows();
    } else {
        host_.SetStatus(title + " завершена.", StatusColour::Yellow);
        protocol_.WriteLine(" завершена.");
        if (prot_ == 1) WriteCheckRows();
    }
    host_.SetStepTimer(false);
    StartStatePoll();
    host_.SetStartCaption("Продолжить?");
    host_.SetStartEnabled(true);
    interp_.SetPacing(1);
    nextCheckPending_ = true;
}

std::vector<std::string> TRunSequencer::CheckRowsText(const TResultsTable& table, int firstRow, int nextFree) {
    std::vector<std::string> out;
    auto row = [&](int r) {
        return TProtocolWriter::FormatUtf8(kRowFormat, {table.Cell(0, r), table.Cell(1, r), table.Cell(2, r),
                                                        table.Cell(3, r), table.Cell(4, r), table.Cell(5, r)});
    };
    out.push_back("\n" + row(0));
    for (int r = std::max(1, firstRow); r < nextFree; ++r)
        if (!table.Cell(0, r).empty()) out.push_back(row(r));
    return out;
}

bool TRunSequencer::RowsInProtocol(bool failed) const { return !PreparationCheck() && (failed || prot_ == 1); }

void TRunSequencer::RecordRunEnd(RunOutcome outcome) {
    runEnded_ = true;
    if (recorder_) RecordInStore(outcome);
    host_.RunEnded(outcome);
}

void TRunSequencer::RecordInStore(RunOutcome outcome) {
    // The check that was going keeps the rows it has; an abort or a failure writes them to the
    // protocol, a stop does not.
    const bool written = outcome == RunOutcome::Aborted || outcome == RunOutcome::Failed;
    recorder_->EndRun(outcome, &table_, checkFirstRow_, written && RowsInProtocol(true));
}

void TRunSequencer::Stop(RunOutcome outcome) {
    if (runActive_)
        RecordRunEnd(scriptErrorPending_ ? RunOutcome::ScriptError : outcome);
    else if (outcome == RunOutcome::Incomplete)
        RecordRunEnd(RunOutcome::Incomplete);
    runActive_ = false;
}

void TRunSequencer::WriteCheckRows() {
    if (PreparationCheck()) return;
    for (const std::string& line : CheckRowsText(table_, checkFirstRow_, table_.NextFreeRow()))
        protocol_.WriteFormatted("%s", {line});
}

// ---- the operator's buttons ---------------------------------------------------------------

void TRunSequencer::StartButtonPressed() {
    host_.StopAutopilot();
    if (!runActive_) {
        // However the run ended (its last check, a stop, the stand switched off), the enabled
        // button closes it: the verdict, then the next device.
        if (runToClose_) AfterRun();
        return;
    }
    if (!runClock_) {
        runClock_ = true;
        host_.RunClockStarted();
    }
    host_.SetStartCaption("Продолжить?");
    Step(1);
    AfterSequencerCall();
}

void TRunSequencer::AfterSequencerCall() {
    if (!runActive_ || !host_.AutopilotSelected()) return;
    const std::string caption = host_.StartCaption();
    if (caption == "Продолжить?" || caption == "Начать!" || caption == "OK")
        host_.StartAutopilot(2000);
    else
        host_.SwitchAutopilotOff();
}

void TRunSequencer::ErrorButtonPressed() { Step(0); }

void TRunSequencer::AutopilotTick() {
    host_.StopAutopilot();
    if (host_.StartEnabled())
        StartButtonPressed();
    else
        host_.StartAutopilot(2000);
}

void TRunSequencer::Abort() {
    host_.SetCheckListEnabled(true);
    host_.SwitchAutopilotOff();
    host_.SetStatus("Ждите.. Идет финальный обмен", StatusColour::Green);
    if (interp_.LoopExitMode() == 1) {
        interp_.SetLoopExitMode(0);
        return;
    }
    // The run goes back to the selection: the sequencer takes no further call for it.
    runActive_ = false;
    interp_.SetCurrentStep(kEndStep);
    host_.SetStepTimer(false);
    host_.SetListTimer(false);
    std::vector<std::string> list;
    list.reserve(2);
    list.push_back(cmd::kPowerOff);
    list.push_back(cmd::kSoftReset);
    StartList(ListKind::Final, std::move(list));
    host_.StartAbortAction();
}

void TRunSequencer::AfterRun() {
    runToClose_ = false;
    protocol_.WriteLine(std::string(74, '='));
    protocol_.WriteLine(std::string("Итоговый результат: ") + (stationFailed_ ? kFailed : kPassed));
    CloseProtocolAndShow();
    const auto answer = Ask("Перейти к проверке следующего устройства?", "Конец проверки",
                                                         platform::DialogButtons::YesNo);
    host_.SetStatus("Отметьте кнопкой мыши необходимые проверки из списка. После выбора нажмите кнопку НАЧАТЬ "
                    "на панели выбора проверок, для запуска тестов",
                    StatusColour::Green);
    host_.SetStartEnabled(false);
    host_.SetAbortEnabled(false);
    host_.SetAutomatEnabled(false);
    host_.SetErrorEnabled(false);
    if (answer != platform::DialogResult::Yes) {
        host_.ScrollTableToTop();
        host_.StartShutdown();
        return;
    }
    host_.SetStatePoll(false);
    stationFailed_ = false;
    nextCheckPending_ = true;
    RunTag_T tag;
    if (host_.ShowTagDialog(tag))
        Preparation(tag);
    else
        host_.StartShutdown();
}

void TRunSequencer::NewDevice() {
    protocol_.Close();
    RunTag_T tag;
    if (host_.ShowTagDialog(tag))
        Preparation(tag);
    else
        host_.StartShutdown();
}

void TRunSequencer::NewDeviceMenu() {
    RunTag_T tag;
    if (host_.ShowTagDialog(tag)) Preparation(tag);
}

void TRunSequencer::CloseProtocolAndShow() {
    const std::string path = protocol_.Path();
    protocol_.Close();
    if (!path.empty()) host_.ShowProtocolViewer(path);
}
