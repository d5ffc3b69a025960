#pragma once

#include <array>
#include <string>
#include <vector>

#include "execution/Script.h"
#include "records/RunRecorder.h"
#include "platform/Dialogs.h"

class TResultsTable;
class TStepInterpreter;
class TReplyReader;
class TProtocolWriter;

enum class StatusColour { Green, Yellow, Red, DarkRed };

// What the test tag hands to a run: the script, the device and the expected versions.
struct RunTag_T {
    std::string scriptPath;
    std::string deviceName;
    std::string serialNumber;
    double kUin = 0.00001, kIout = 0.00001, kUout = 0.00001;
    std::array<int, 5> expectedVersions{};  // CP, KK, RG, IZM, EEPROM firmware
    RunStart_T record;                      // what the run's record takes from the tag
};

// The test window as the run sees it: its timers, buttons and panels, channel 1, the stand's
// final switching and the other windows. The program's test window implements it; the
// sequencer's own tests use a recording fake.
class TRunHost {
public:
    virtual ~TRunHost() = default;

    // Timer1 (steps), TmrBeg (exchange lists), TimerZaxvat (state poll), TimerClicker (autopilot).
    virtual void SetStepTimer(bool on) = 0;
    virtual bool StepTimerOn() const = 0;
    virtual void SetListTimer(bool on) = 0;
    virtual void SetStatePoll(bool on) = 0;
    virtual bool StatePollOn() const = 0;
    virtual void StartAutopilot(int ms) = 0;
    virtual void StopAutopilot() = 0;
    virtual bool AutopilotSelected() const = 0;  // rbAutopilotOn
    virtual void SwitchAutopilotOff() = 0;        // rbAutopilotOff checked, timer stopped
    virtual void StopCyclicRequest() = 0;         // Timer4

    virtual void SetStartCaption(const std::string& caption) = 0;
    virtual std::string StartCaption() const = 0;
    virtual void SetStartEnabled(bool on) = 0;
    virtual bool StartEnabled() const = 0;
    virtual bool AutomatOff() const = 0;
    virtual void SetErrorEnabled(bool on) = 0;
    virtual void SetAbortEnabled(bool on) = 0;
    virtual void SetAutomatEnabled(bool on) = 0;
    // BtOK with ListProv, btSelectAll and btDeselectAll.
    virtual void SetSelectionEnabled(bool on) = 0;
    virtual void SetCheckListEnabled(bool on) = 0;  // ListProv alone
    virtual void UntickCheck(int line) = 0;
    virtual std::vector<bool> TickedChecks() const = 0;
    virtual void ShowCheckList(const TScript::CheckList_T& list) = 0;
    virtual void SetCurrentTest(const std::string& title) = 0;  // lbCurrentTest
    virtual void SetStatus(const std::string& text, StatusColour colour) = 0;  // STPan3
    virtual void SetStatusColour(StatusColour colour) = 0;
    virtual void SetStatusText(const std::string& text) = 0;  // in the colour it has
    virtual void ShowNoAnswer() = 0;  // third status bar panel
    virtual void ShowProgress(int maximum) = 0;
    virtual void SetProgress(int value) = 0;
    virtual void HideProgress() = 0;
    virtual void ClearExchangeLog() = 0;
    virtual void ShowExchangeLog() = 0;
    virtual void ShowDevice(const RunTag_T& tag) = 0;  // name, serial and coefficient fields
    virtual void RefreshCoefficients() = 0;
    virtual void ScrollTableToTop() = 0;

    // Channel 1.
    virtual void SendStation(const std::string& text) = 0;
    virtual void ReopenStationChannel() = 0;
    virtual void ClearStationReceive() = 0;
    virtual std::string SetpointCommand() = 0;  // the setpoint write command from the setpoint page
    virtual std::string VersionMessage() const = 0;  // of the passport check, empty when all is well
    virtual void NewDevice(const RunTag_T& tag) = 0;  // passport check due again, expected versions

    virtual void StartAbortAction() = 0;  // contactor action 1 at 4000 ms
    virtual void ShowProtocolViewer(const std::string& path) = 0;
    // The test tag dialog, modal; true for OK with the tag filled in.
    virtual bool ShowTagDialog(RunTag_T& tag) = 0;
    virtual void StartShutdown() = 0;
    // Around every box of a run: while one is open, no timer of the window sends or switches
    // anything (holds nest; the last release restarts what the first hold stopped).
    virtual void HoldPacing(bool hold) = 0;
    // A run's frames begin here: the tag was accepted, or checks were chosen again after the
    // last run of the device ended.
    virtual void RunBegan() {}
    // "Начать!" pressed for the first time in the run: its clock starts.
    virtual void RunClockStarted() {}
    // Check `number` of `of` in the run is now the current one.
    virtual void ShowRunProgress(int /*number*/, int /*of*/) {}
    // The run has its outcome (also when nothing records it).
    virtual void RunEnded(RunOutcome /*outcome*/) {}
};

// A box of a run is open for the lifetime of this object: the window's timers are held.
class TPacingHold {
public:
    explicit TPacingHold(TRunHost& host) : host_(host) { host_.HoldPacing(true); }
    ~TPacingHold() { host_.HoldPacing(false); }
    TPacingHold(const TPacingHold&) = delete;
    TPacingHold& operator=(const TPacingHold&) = delete;

private:
    TRunHost& host_;
};

// The run lifecycle of the test window: preparation with the initial exchange, the run over
// the ticked checks, the step sequencer with its silent-station and failed-step questions, the
// abort with the final exchange, the verdict and the move to the next device.
class TRunSequencer {
public:
    static constexpr const char* kSelectPrompt =
        "Отметьте кнопкой мыши необходимые проверки из списка. После выбора нажмите кнопку ВЫБОР "
        "СДЕЛАН на панели выбора проверок";
    static constexpr int kListSilentLimit = 30;  // silent exchange-list ticks before the question
    static constexpr int kRunSilentLimit = 27;   // silent sequencer calls before the question

    TRunSequencer(TScript& script, TResultsTable& table, TStepInterpreter& interpreter,
                  TReplyReader& reader, TProtocolWriter& protocol, TRunHost& host);

    void Preparation(const RunTag_T& tag);
    // The initial list alone ("Отправить все").
    void InitialExchange();
    void ExchangeListTick();  // TmrBeg
    void SelectionDone();     // "Выбор сделан"
    // One sequencer call: mode 1 normal (Timer1, the start button), 0 error (the error button).
    void Step(int mode);
    void StartButtonPressed();  // BitBtn1: autopilot, then the sequencer or the end of the run
    void ErrorButtonPressed();  // BitBtn3
    void AutopilotTick();       // TimerClicker
    void Abort();               // aAbort
    void NewDevice();           // aNewDevice
    void NewDeviceMenu();       // "Новое устройство "
    void CloseProtocolAndShow();  // aShowNewProtocol

    // The stand is being switched off: the run takes no further call. A run still going is
    // recorded with `outcome`; with the program's end, so is one whose checks were not begun.
    void Stop(RunOutcome outcome = RunOutcome::Incomplete);
    // Where the run's record goes; none: nothing is recorded.
    void SetRecorder(TRunRecorder* recorder) { recorder_ = recorder; }

    bool RunActive() const { return runActive_; }
    bool StationFailed() const { return stationFailed_; }
    void MarkStationFailed() { stationFailed_ = true; }
    int CheckNumber() const { return checkNumber_; }
    int RunSilentCount() const { return runSilent_; }
    int ListSilentCount() const { return listSilent_; }
    bool ListRunning() const { return listKind_ != ListKind::None; }
    const std::vector<std::string>& List() const { return list_; }
    const RunTag_T& Tag() const { return tag_; }

    // The rows of a check as the protocol holds them: the header row, then each filled row.
    static std::vector<std::string> CheckRowsText(const TResultsTable& table, int firstRow, int nextFree);

private:
    enum class Reason { StepError, Stopped };
    enum class ListKind { None, Initial, Final };

    void StartCheck();
    void EndCheck();
    void ExecuteAndJudge(int mode, Reason reason);
    void FailedStepQuestion(Reason reason);
    bool SilentStationQuestion();
    void FinishList();
    void WriteCheckRows();
    void StartStatePoll();
    void AfterRun();
    void AfterSequencerCall();
    void StartList(ListKind kind, std::vector<std::string> list);
    bool PreparationCheck() const;
    std::string CheckKey(const char* key, const std::string& def = "") const;
    platform::DialogResult Ask(const std::string& text, const std::string& caption, platform::DialogButtons buttons);
    void Tell(const std::string& text, const std::string& caption,
              platform::DialogIcon icon = platform::DialogIcon::Information);
    void ScriptErrorPause(const std::string& error, int rowBefore);
    void RecordRunEnd(RunOutcome outcome);
    void RecordInStore(RunOutcome outcome);
    bool RowsInProtocol(bool failed) const;

    TScript& script_;
    TResultsTable& table_;
    TStepInterpreter& interp_;
    TReplyReader& reader_;
    TProtocolWriter& protocol_;
    TRunHost& host_;

    RunTag_T tag_;
    bool runActive_ = false;
    bool runEnded_ = false;    // the last run has its outcome: the next choice of checks is a new run
    bool runClock_ = false;    // the run's clock was started by its first "Начать!"
    bool runToClose_ = false;  // a run of this device began; the start button closes it once it ended
    std::vector<TScript::RunEntry_T> runTable_;
    size_t cursor_ = 0;
    int checkNumber_ = 0;
    std::string checkSection_;
    bool firstStepPending_ = false;
    bool nextCheckPending_ = false;
    bool stationFailed_ = false;
    int prot_ = 1;
    int checkFirstRow_ = 1;
    int runSilent_ = 0;
    int listSilent_ = 0;
    ListKind listKind_ = ListKind::None;
    TRunRecorder* recorder_ = nullptr;
    bool scriptErrorPending_ = false;  // the run waits on a step the script could not complete
    std::vector<std::string> list_;
    size_t listCursor_ = 0;
};
