#pragma once

#include <QMainWindow>
#include <array>
#include <QTimer>
#include <memory>

#include "app/AppWindows.h"
#include "link/ChannelWindow.h"
#include "platform/IniFile.h"
#include "test/AnswerDecoder.h"
#include "test/ResultsTable.h"
#include "test/ServiceCommands.h"
#include "test/Script.h"
#include "test/StandIo.h"
#include "test/StationSender.h"
#include "test/StepInterpreter.h"

class QComboBox;
class QLineEdit;
class QListWidget;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class QTableWidget;
class TStartWindow;

// The test window: the program's main window. It shows the start window on its first
// showing, holds the script, the results table and the step interpreter, and sends the
// station's commands on channel 1.
class TFPrPch : public QMainWindow, public TStepHost, public TChannelClient {
    Q_OBJECT
public:
    explicit TFPrPch(QWidget* parent = nullptr);
    ~TFPrPch() override;

    // The windows created at start; the channel windows report to this window.
    void SetWindows(const AppWindows_T& windows);

    // The first showing: start window, channels, stand poll (and, later, the test tag).
    void FormShow();
    // Loads a script for a run: the whole file, current step step1, current check title1.
    void OpenScript(const std::string& path);
    // Fills the list of checks from the script's chain; a broken chain is shown to the
    // operator. Returns the number of lines.
    int BuildCheckList();
    // "Выбор сделан": the run table from the ticked lines; empty when nothing is ticked.
    std::vector<TScript::RunEntry_T> SelectionDone();
    // Channel 1: one received message through the reply reader and the answer decoder.
    void Read1(int) override;
    // Channel 2: one module reply.
    void RS2RxChar() override;
    // Stand switching: the contactor timer's tick applies the next pair of the combination.
    void TimerContactorTimer();
    // The contactor action timer's tick: the next stage of the running action.
    void TimerContactorPowerTimer();
    // Module 03's input request, once a second.
    void TimerStatusICPTimer();
    // "Обесточить станцию".
    void aAllContactorsOffExecute();
    // The automat button.
    void sbtAutomatOffClick();
    // Setpoint page and service controls: a command text from the fields, or the field's
    // message when it does not hold a valid value.
    void SendServiceCommand(const ServiceCommand_T& command);
    void btRotationSpeedClick();
    void btInstantTripClick();
    void btReadAllClick();
    void btEepromClick(int chip);
    void btDacClick();
    void btPwmClick();
    void btPotentiometerClick(int channel);
    // "Сброс защиты": the two commands one per Timer3 tick, the state poll paused meanwhile.
    void btProtectionResetClick();
    void Timer3Timer();
    // "Циклический запрос параметров": toggles Timer4.
    void sbtCyclicClick();
    void Timer4Timer() { SendStationCommand(); }
    TStandIo& StandIo() { return standIo_; }
    TAnswerDecoder& Decoder() { return decoder_; }
    // Sends the text in Send as one request packet on channel 1.
    void SendStationCommand(const std::function<void(uint8_t&)>& rewrite = {});

    std::string Send;
    bool EchoFlag = false;
    int ComMonitor = 0;

    TScript& Script() { return script_; }
    TResultsTable& Table() { return table_; }
    TStepInterpreter& Interpreter() { return interpreter_; }
    TStationSender& Sender() { return sender_; }
    TStartWindow* StartWindow() { return startWindow_.get(); }
    QLabel* StatusPanel(int i) { return panels_[i]; }

    // TStepHost
    void LogLine(const std::string& line) override;
    bool ExchangeLogOn() const override { return exchangeLogOn_; }
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
    void SendSetpointCommand() override;
    void SendStepCommand(const std::string& text, const std::function<void(uint8_t&)>& rewrite) override;
    void ApplyPacing(int pacing) override;
    uint8_t InputNibble() const override { return standIo_.InputNibble(); }
    std::vector<uint8_t> LastEbPayload() const override { return decoder_.State().lastEbPayload; }

    QTimer Timer1;               // step timer, 700 ms
    QTimer TimerZaxvat;          // state poll, 2000 ms
    QTimer TimerClicker;         // autopilot, 5000 ms
    QTimer TimerContactor;       // contactor switching, 150/200/300 ms
    QTimer TimerContactorPower;  // contactor actions, 3000/4000 ms
    QTimer TimerStatusICP;       // module input poll, 1000 ms
    QTimer Timer3;               // protection-reset list, 200 ms
    QTimer Timer4;               // cyclic request, 1000 ms
    int TimerContactorPowerTag = 0;

    QLineEdit* edRotationSpeed;
    QComboBox* cbInstantTrip;
    QLineEdit* edTransformerVoltage;
    QLineEdit* edDac;
    QLineEdit* edPwm;
    std::array<QLineEdit*, 5> edPotentiometer{};
    QPushButton* sbtCyclic;
    QComboBox* cbConstruction;
    QComboBox* cbPacket;
    QPushButton* bbtStart;
    QPushButton* bbtError;
    QPushButton* bbtAbort;
    QPushButton* sbtAutomatOff;
    QPlainTextEdit* MemoLog;
    QLabel* ImagePicture;
    QLabel* STPan3;
    QTableWidget* Tabl1;
    QListWidget* ListProv;

protected:
    void showEvent(QShowEvent* e) override;

private:
    void RefreshTableRow(int row);

    AppWindows_T windows_;
    TScript script_;
    TResultsTable table_;
    TStepInterpreter interpreter_{script_, table_, *this};
    TStationSender sender_;
    platform::IniFile pzu_;
    std::unique_ptr<TStartWindow> startWindow_;
    QLabel* panels_[4] = {};
    bool shownOnce_ = false;
    bool exchangeLogOn_ = true;
    bool automatOff_ = false;
    TCombination combination_;
    TStandIo standIo_;
    TContactorAction action_;
    std::vector<std::string> protectionReset_;
    bool pollBeforeReset_ = false;
    TAnswerDecoder decoder_{interpreter_.BuffPar().data()};
};
