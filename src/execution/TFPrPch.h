#pragma once

#include <QMainWindow>
#include <QTimer>
#include <array>
#include <chrono>
#include <memory>

#include "execution/AppWindows.h"
#include "link/ChannelWindow.h"
#include "rsmanager/TrafficJournal.h"
#include "platform/IniFile.h"
#include "records/ProtocolWriter.h"
#include "execution/AnswerDecoder.h"
#include "execution/ResultsTable.h"
#include "execution/RunSequencer.h"
#include "execution/Script.h"
#include "execution/ServiceCommands.h"
#include "execution/StandIo.h"
#include "execution/StationSender.h"
#include "execution/StepInterpreter.h"

class QAction;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QTableWidget;
class QTabWidget;
class QToolButton;
class TBirka;
class TFLog;
class TFPzu;
class TStatePages;

// What the program's shell gives the test window: the start window, which fixes the device
// kind and the channels' ports at the first showing (false: the operator leaves the program),
// and the EEPROM settings file that the settings file names.
struct ShellLinks_T {
    std::function<bool(class TFPrPch&)> startWindow;
    struct EepromSettings_T {
        bool sectionPresent = false;
        std::string file;
        bool pacedByAnswer = false;
    };
    std::function<EepromSettings_T()> eepromSettings;
    std::function<void()> showAbout;  // "О программе"
    std::function<void(QWidget* parent)> showStatistics;  // "Статистика испытаний..."
};

// The test window: the program's main window. It holds the script, the results table, the
// step interpreter and the run sequencer, switches the stand on channel 2 and talks to the
// station on channel 1. Its handlers are public so that tests call them as the timers and
// buttons do.
class TFPrPch : public QMainWindow, public TStepHost, public TChannelClient, public TRunHost {
    Q_OBJECT
public:
    explicit TFPrPch(QWidget* parent = nullptr);
    ~TFPrPch() override;

    // The windows created at start; the channel windows report to this window.
    void SetWindows(const AppWindows_T& windows);
    void SetShell(ShellLinks_T shell) { shell_ = std::move(shell); }
    const AppWindows_T& Windows() const { return windows_; }
    // The test tag dialog (OK fills the tag); without one the window waits after start-up.
    void SetTagDialog(std::function<bool(RunTag_T&)> dialog) { tagDialog_ = std::move(dialog); }

    // The first showing: start-up (start window, tag dialog, channels, stand poll), then the tag.
    void FormShow();
    void StartUp();
    void TagAtStart();
    // Loads a script: the whole file, current step step1.
    void OpenScript(const std::string& path);
    // Fills the list of checks from the script's chain; a broken chain is shown to the
    // operator. Returns the number of lines.
    int BuildCheckList();
    // The tag was accepted (its protocol is open): the initial exchange with the station.
    void Preparation(const RunTag_T& tag) { run_.Preparation(tag); }

    // Timers.
    void Timer1Timer() { run_.Step(1); }
    void TmrBegTimer() { run_.ExchangeListTick(); }
    void TimerZaxvatTimer();
    void TimerClickerTimer() {
        CommitTableEdit();
        run_.AutopilotTick();
    }
    void TimerShutdownTimer();
    void TimerContactorTimer();
    void TimerContactorPowerTimer();
    void TimerStatusICPTimer();
    void Timer3Timer();
    void Timer4Timer() { SendStationCommand(); }

    // Buttons and actions.
    void BtOKClick() { run_.SelectionDone(); }
    void BitBtn1Click() {
        CommitTableEdit();
        run_.StartButtonPressed();
    }
    void BitBtn3Click() {
        CommitTableEdit();
        run_.ErrorButtonPressed();
    }
    void aAbortExecute() { run_.Abort(); }
    void aFullChekitExecute();
    void aMenuDeselectExecute();
    void aNewDeviceExecute() { run_.NewDevice(); }
    void miNewDeviceClick() { run_.NewDeviceMenu(); }
    void aShowNewProtocolExecute() { run_.CloseProtocolAndShow(); }
    void aExitExecute() { StartShutdown(); }
    void aTimerClickerOffExecute() { SwitchAutopilotOff(); }
    void aRequestParamExecute();
    void aResetPupchExecute();
    void aAllContactorsOffExecute();
    void miPzuClick();
    void miInternalStateClick();
    void miLogicalNumberClick();
    TFLog* LogicalNumberWindow() { return logWindow_.get(); }
    TFPzu* EepromWindow() { return pzuWindow_.get(); }
    TBirka* Birka() { return birka_.get(); }
    void btMonitorClick();
    void btShowExchangeClick();
    void sbtAutomatOffClick();

    // Channel 1: one received message through the reply reader and the answer decoder.
    void Read1(int) override;
    // Channel 2: one module reply.
    void RS2RxChar() override;

    // Setpoint page and service controls: a command text from the fields, or the field's
    // message when it does not hold a valid value.
    void SendServiceCommand(const ServiceCommand_T& command);
    void btRotationSpeedClick();
    void btInstantTripClick();
    void btSendAllClick();
    void btReadAllClick();
    void btEepromClick(int chip);
    void btDacClick();
    void btPwmClick();
    void btPotentiometerClick(int channel);
    void btCloseKeysClick();
    // "Сброс защиты": the two commands one per Timer3 tick, the state poll paused meanwhile.
    void btProtectionResetClick();
    // "Циклический запрос параметров": toggles Timer4.
    void sbtCyclicClick();

    // Sends the text in Send as one request packet on channel 1.
    void SendStationCommand(const std::function<void(uint8_t&)>& rewrite = {});

    std::string Send;
    bool EchoFlag = false;
    int ComMonitor = 0;

    TScript& Script() { return script_; }
    TResultsTable& Table() { return table_; }
    TStepInterpreter& Interpreter() { return interpreter_; }
    TStationSender& Sender() { return sender_; }
    TRunSequencer& Run() { return run_; }
    // What the runs of this window are recorded with; the program gives it its store.
    TRunRecorder& Recorder() { return recorder_; }
    TProtocolWriter& Protocol() { return protocol_; }
    TStandIo& StandIo() { return standIo_; }
    TAnswerDecoder& Decoder() { return decoder_; }
    QLabel* StatusPanel(int i) { return panels_[i]; }
    // The records database's trouble, on the status bar (the whole message as its tip) and in
    // the exchange log; the run goes on.
    void ShowRecordsProblem(const std::string& message);
    QLabel* RecordsPanel() { return lbRecords; }
    // Runs that have not reached the plant's database yet; none: the panel goes.
    void ShowRecordsPending(int runs);
    QLabel* RecordsPendingPanel() { return lbRecordsPending; }
    StatusColour CurrentStatusColour() const { return statusColour_; }
    bool ShuttingDown() const { return shutdownTick_ >= 0; }

    // TStepHost
    void LogLine(const std::string& line) override;
    bool ExchangeLogOn() const override { return monitorOn_; }
    std::vector<std::string> LastLogLines(int count) const override;
    void ShowStatus(const std::string& text) override;
    void SetAutopilotInterval(int ms) override;
    void SetCombination(int number, int contactorTimerMs) override;
    bool ContactorActionRunning() const override { return TimerContactorPower.isActive(); }
    void StartContactorAction(int action, int intervalMs) override;
    bool AskOperator(const std::string& caption, const std::string& text) override;
    bool ShowPicture(const std::string& path) override;
    void HidePicture() override;
    bool AutomatOff() const override { return automatOff_; }
    void SetAbortCaption(const std::string& caption) override;
    void SetErrorButtonEnabled(bool enabled) override;
    void ScrollToRow(int row) override;
    void PlaceTableCursor(int row) override;
    void SendSetpointCommand() override;
    void SendStepCommand(const std::string& text, const std::function<void(uint8_t&)>& rewrite) override;
    void ApplyPacing(int pacing) override;
    uint8_t InputNibble() const override { return standIo_.InputNibble(); }
    std::vector<uint8_t> LastEbPayload() const override { return decoder_.State().lastEbPayload; }

    // TRunHost
    void SetStepTimer(bool on) override;
    bool StepTimerOn() const override { return Timer1.isActive(); }
    void SetListTimer(bool on) override;
    void SetStatePoll(bool on) override;
    bool StatePollOn() const override { return TimerZaxvat.isActive(); }
    void StartAutopilot(int ms) override;
    void StopAutopilot() override { TimerClicker.stop(); }
    bool AutopilotSelected() const override;
    void SwitchAutopilotOff() override;
    void StopCyclicRequest() override;
    void SetStartCaption(const std::string& caption) override;
    std::string StartCaption() const override;
    void SetStartEnabled(bool on) override;
    bool StartEnabled() const override;
    void SetErrorEnabled(bool on) override;
    void SetAbortEnabled(bool on) override;
    void SetAutomatEnabled(bool on) override;
    void SetSelectionEnabled(bool on) override;
    void SetCheckListEnabled(bool on) override;
    void UntickCheck(int line) override;
    std::vector<bool> TickedChecks() const override;
    void ShowCheckList(const TScript::CheckList_T& list) override;
    void SetCurrentTest(const std::string& title) override;
    void SetStatus(const std::string& text, StatusColour colour) override;
    void SetStatusColour(StatusColour colour) override;
    void SetStatusText(const std::string& text) override { ShowStatus(text); }
    void HoldPacing(bool hold) override;
    void ShowNoAnswer() override;
    void ShowProgress(int maximum) override;
    void SetProgress(int value) override;
    void HideProgress() override;
    void ClearExchangeLog() override;
    void ShowExchangeLog() override;
    void ShowDevice(const RunTag_T& tag) override;
    void RefreshCoefficients() override;
    void ScrollTableToTop() override;
    void SendStation(const std::string& text) override;
    void ReopenStationChannel() override;
    void ClearStationReceive() override;
    std::string SetpointCommand() override;
    std::string VersionMessage() const override { return versionMessage_; }
    void NewDevice(const RunTag_T& tag) override;
    void StartAbortAction() override { StartContactorAction(1, 4000); }
    void ShowProtocolViewer(const std::string& path) override;
    bool ShowTagDialog(RunTag_T& tag) override;
    void StartShutdown() override;
    void RunBegan() override;
    void RunClockStarted() override;
    void ShowRunProgress(int number, int of) override;
    void RunEnded(RunOutcome outcome) override;

    // What went over both channels; the channel windows given to SetWindows write to it.
    TTrafficJournal& Journal() { return *journal_; }
    const std::shared_ptr<TTrafficJournal>& SharedJournal() const { return journal_; }
    // The journal file saved beside the protocol at the last run's end, empty when none.
    const std::string& LastRunJournal() const { return lastRunJournal_; }
    // Once a second while a run's clock goes: "Проверка 3 из 7 · 01:05".
    void TimerRunClockTimer();

    QTimer Timer1;               // step timer, 700 ms
    QTimer TmrBeg;               // exchange lists, 700 ms
    QTimer TimerZaxvat;          // state poll, 2000 ms
    QTimer TimerClicker;         // autopilot, 5000 ms
    QTimer TimerShutdown;        // shutdown sequence, 3000 ms
    QTimer TimerContactorPower;  // contactor actions, 3000/4000 ms
    QTimer TimerContactor;       // contactor switching, 150/200/300 ms
    QTimer TimerContactor3;      // stand module control, set at run time
    QTimer TimerStatusICP;       // module input poll, 1000 ms
    QTimer Timer3;               // protection-reset list, 200 ms
    QTimer Timer4;               // cyclic request, 1000 ms
    QTimer TimerShutdownQuick;   // 1000 ms, without effect
    QTimer TimerRunClock;        // run progress, 1000 ms
    int TimerContactorPowerTag = 0;

    // Actions and menu items.
    QAction* aSelectComplite;
    QAction* aFullChekit;
    QAction* aMenuDeselect;
    QAction* aAbort;
    QAction* aNewDevice;
    QAction* aShowNewProtocol;
    QAction* aExit;
    QAction* aCheckScript;
    QAction* aTimerClickerOff;
    QAction* aRequestParam;
    QAction* aResetPupch;
    QAction* aAllContactorsOff;
    QAction* miNewDevice;
    QAction* miPzu;
    QAction* miInternalState;
    QAction* miLogicalNumber;
    QAction* aAbout;
    QAction* aSaveJournal;
    QAction* aStatistics;

    // Run controls.
    QListWidget* ListProv;
    QPushButton* BtOK;
    QPushButton* btSelectAll;
    QPushButton* btDeselectAll;
    QPushButton* BitBtn1;
    QPushButton* BitBtn3;
    QPushButton* bbtAbort;
    QPushButton* sbtAutomatOff;
    QPushButton* btAllContactorsOff;
    QRadioButton* rbAutopilotOn;
    QRadioButton* rbAutopilotOff;
    QLabel* STPan3;
    QLabel* lbCurrentTest;
    QLabel* lbRunProgress;  // "Проверка 3 из 7" and the time since "Начать!"
    QProgressBar* ProgressBar;
    QTableWidget* Tabl1;
    QPlainTextEdit* MemoLog;
    QLabel* ImagePicture;
    QPushButton* btMonitor;
    QPushButton* btShowExchange;
    QPushButton* btClearLog;
    QPushButton* btRs1Show;
    QPushButton* btRs2Show;
    QLineEdit* edDevice;
    QLineEdit* edSerial;
    QLineEdit* edKUin;
    QLineEdit* edKIout;
    QLineEdit* edKUout;
    TStatePages* StatePages;

    // Setpoint page and service controls.
    QTabWidget* ServicePages;
    QLineEdit* edRotationSpeed;
    QComboBox* cbInstantTrip;
    QComboBox* cbConstruction;
    QLineEdit* edTransformerVoltage;
    QComboBox* cbPacket;
    std::array<QLabel*, 8> lbReadBack{};  // speed, trip, time, date, year, construction, voltage, package
    QLineEdit* edDac;
    QLineEdit* edPwm;
    std::array<QLineEdit*, 5> edPotentiometer{};
    std::array<QCheckBox*, 14> cbKeys{};  // "Замкнуть ключи": seven first-byte boxes, then seven second
    QToolButton* sbtCyclic;

protected:
    void showEvent(QShowEvent* e) override;
    void closeEvent(QCloseEvent* e) override;

private:
    // Switching a running timer on again leaves its countdown alone: the state poll keeps its
    // own rhythm instead of falling into step with the autopilot's presses.
    static void Enable(QTimer& t) {
        if (!t.isActive()) t.start();
    }
    void BuildRunControls(QWidget* central);
    // Shows or hides the exchange log as the monitor button does.
    void SetMonitor(bool on);
    void ShowLogIfMonitored();
    QWidget* BuildSetpointPage();
    QWidget* BuildServicePage();
    void ConnectTimers();
    void KeepWidthsDuringRun();
    void RefreshTableRow(int row);
    // A value still in the cell's editor counts as typed: the step about to run judges it.
    void CommitTableEdit();
    void ShowReadBack();
    void RunPassportCheck();
    void StopContactorTimers();

    void UpdateRunProgress();

    AppWindows_T windows_;
    std::shared_ptr<TTrafficJournal> journal_ = std::make_shared<TTrafficJournal>();
    uint64_t journalFrom_ = 0;
    std::string lastRunJournal_;
    int progressNumber_ = 0, progressOf_ = 0;
    std::chrono::steady_clock::time_point runClockStart_{}, runClockEnd_{};
    bool runClockOn_ = false;
    TScript script_;
    TResultsTable table_;
    TStepInterpreter interpreter_{script_, table_, *this};
    TStationSender sender_;
    TProtocolWriter protocol_;
    TRunRecorder recorder_;
    TRunSequencer run_{script_, table_, interpreter_, sender_.Reader(), protocol_, *this};
    platform::IniFile pzu_;
    ShellLinks_T shell_;
    std::unique_ptr<TBirka> birka_;
    std::unique_ptr<TFLog> logWindow_;
    std::unique_ptr<TFPzu> pzuWindow_;
    bool pzuShown_ = false;  // the EEPROM window is shown: it takes the clearing answer
    std::function<bool(RunTag_T&)> tagDialog_;
    QLabel* panels_[4] = {};
    QLabel* lbRecords = nullptr;
    QLabel* lbRecordsPending = nullptr;
    bool shownOnce_ = false;
    bool monitorOn_ = true;  // "Монитор COM-порта": the exchange log is switched on
    bool hexTrace_ = true;   // "Показать обмен": frames go to the log in hexadecimal
    bool logFollows_ = true; // the log keeps its last line in view until the operator scrolls up
    bool automatOff_ = false;
    StatusColour statusColour_ = StatusColour::Green;
    TCombination combination_;
    TStandIo standIo_;
    TContactorAction action_;
    std::vector<std::string> protectionReset_;
    bool pollBeforeReset_ = false;
    TAnswerDecoder decoder_{interpreter_.BuffPar().data()};
    TAnswerDecoder::Coefficients_T coefficients_;
    bool passportChecked_ = false;
    std::string versionMessage_;
    int shutdownTick_ = -1;  // -1: no shutdown running
    int editableRow_ = 0;  // the row whose column 4 the operator may type into (0: none)
    int holdDepth_ = 0;
    std::vector<QTimer*> held_;  // stopped while a box is open, restarted when it closes
};
