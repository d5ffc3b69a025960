#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "link/CommandCatalogue.h"
#include "platform/IniFile.h"
#include "execution/ResultsTable.h"
#include "execution/Script.h"

// What a step does outside its own data: the test window's controls, the stand, the channel.
// The program's test window implements it; tests use a recording fake.
class TStepHost {
public:
    virtual ~TStepHost() = default;
    virtual void LogLine(const std::string& line) = 0;  // exchange log
    virtual bool ExchangeLogOn() const { return true; }
    virtual std::vector<std::string> LastLogLines(int count) const = 0;
    virtual void ShowStatus(const std::string& text) = 0;  // status panel STPan3
    virtual void SetAutopilotInterval(int ms) = 0;
    virtual void SetCombination(int number, int contactorTimerMs) = 0;
    virtual bool ContactorActionRunning() const = 0;
    virtual void StartContactorAction(int action, int intervalMs) = 0;
    // The Yes/No question with the start button, automat-off flag and autopilot handling
    // around it; true for Yes.
    virtual bool AskOperator(const std::string& caption, const std::string& text) = 0;
    // False when the picture cannot be shown (a missing file).
    virtual bool ShowPicture(const std::string& path) = 0;
    virtual void HidePicture() = 0;
    virtual bool AutomatOff() const = 0;
    virtual void SetAbortCaption(const std::string& caption) = 0;
    virtual void SetErrorButtonEnabled(bool enabled) = 0;
    virtual void ScrollToRow(int row) = 0;
    // The results table's cursor to column 4 of `row`, the one cell the operator may edit.
    virtual void PlaceTableCursor(int /*row*/) {}
    virtual void SendSetpointCommand() = 0;  // calculation 1
    // The step's own command; `rewrite` applies calculations 4, 5, 6 to its last payload byte.
    virtual void SendStepCommand(const std::string& text,
                                 const std::function<void(uint8_t&)>& rewrite) = 0;
    virtual void ApplyPacing(int pacing) = 0;
    virtual uint8_t InputNibble() const = 0;
    // Payload (code first) of the last 0xEB answer.
    virtual std::vector<uint8_t> LastEbPayload() const = 0;
};

// Carries out one script step: texts, operator question, calculation, stand switching, result
// rows with their verdict, the repetition rule and the step's command.
class TStepInterpreter {
public:
    static constexpr int kBuffParSize = 2005;
    enum class Outcome { Passed, Failed, Error };
    struct Result_T {
        Outcome outcome = Outcome::Passed;
        std::string error;  // why the step could not complete (Outcome::Error)
    };

    TStepInterpreter(TScript& script, TResultsTable& table, TStepHost& host);

    // pzu.ini of the working folder, read when the test window was created.
    void SetPzuImage(const platform::IniFile* pzu) { pzu_ = pzu; }
    void SetClock(ClockFn clock) { clock_ = std::move(clock); }
    // The working folder at program start: pictures are looked up under its "data" folder.
    void SetPictureBase(const std::string& folder) { pictureBase_ = folder; }

    // mode 1: normal; 0: the operator pressed "Ошибка".
    Result_T ExecuteStep(int mode);

    // The text the step sends (after ReWritePzu and SendUst).
    std::string StepCommandText();

    std::array<float, kBuffParSize>& BuffPar() { return buffPar_; }
    const std::string& CurrentStep() const { return step_; }
    void SetCurrentStep(const std::string& s) { step_ = s; }
    const std::string& RepeatTarget() const { return repeatTarget_; }
    void ClearRepeatTarget() { repeatTarget_.clear(); }
    int RepeatBound() const { return repeatBound_; }
    int Attempts() const { return attempts_; }
    void ResetAttempts() { attempts_ = 0; }
    int RememberedPacing() const { return rememberedPacing_; }
    int Pacing() const { return pacing_; }
    void SetPacing(int p) { pacing_ = p; }
    int LoopExitMode() const { return loopExit_; }
    void SetLoopExitMode(int m) { loopExit_ = m; }
    bool StoreEeprom() const { return storeEeprom_; }
    void SetStoreEeprom(bool on) { storeEeprom_ = on; }
    int FailedSteps() const { return failedSteps_; }
    void ResetFailedSteps() { failedSteps_ = 0; }
    int StepRows() const { return stepRows_; }
    void ResetStepRows() { stepRows_ = 0; }
    double CoefficientK() const { return k_; }
    int RampByte() const { return ramp_; }
    void SetRampByte(int v) { ramp_ = v; }
    double ScaleFactor() const { return scale_; }
    void SetScaleFactor(double s) { scale_ = s; }
    const std::string& ExpectedEeprom() const { return expectedEeprom_; }

    // Text of a measured value in the table: two decimals when at least 1 with a fraction,
    // else none.
    static std::string FormatMeasured(double v);

private:
    std::string Key(const char* key, const std::string& def = "") const;
    int IntKey(const char* key, int def) const;
    bool Judge(int mode, int numFunction, Result_T& result);
    void ApplyRepetitionRule();

    TScript& script_;
    TResultsTable& table_;
    TStepHost& host_;
    const platform::IniFile* pzu_ = nullptr;
    ClockFn clock_ = SystemLocalTime;

    std::array<float, kBuffParSize> buffPar_{};
    std::string step_ = "step1";
    std::string repeatTarget_;
    int repeatBound_ = 0;
    int attempts_ = 0;
    int calc8Counter_ = 0;
    int rememberedPacing_ = 0;
    int pacing_ = 0;
    int loopExit_ = 0;
    bool storeEeprom_ = true;
    int failedSteps_ = 0;
    int stepRows_ = 0;
    int stepFailures_ = 0;
    bool stepEndedFailed_ = false;
    std::string pictureBase_ = ".";
    double k_ = 0;
    int ramp_ = 0;
    double scale_ = 1.0;
    std::string expectedEeprom_;
};

// A decimal number as the scripts write it ("." separates the fraction); nothing else.
bool ParseNumber(const std::string& text, double& value);
