#pragma once

#include <QTimer>

#include <chrono>
#include <QWidget>
#include <functional>
#include <memory>
#include <string>

#include "eeprom/PzuSession.h"
#include "records/RunRecord.h"

class QLabel;
class QProgressBar;
class QPushButton;
class TPSW;
class TWPzu;

// What the EEPROM window reaches in the test window.
struct PzuLinks_T {
    std::function<void(const std::vector<uint8_t>&)> sendPacket;  // purge, reset accumulation, send
    std::function<bool()> trafficShown;
    std::function<void(const std::string&)> logLine;
    std::function<void()> stopTestTimers;  // Timer1, Timer3, Timer4
    std::function<void()> stopCapture;     // the state poll
    std::function<void(const std::string&)> sendStation;
    std::function<void(bool)> shown;       // the test window's flag for the 0x77 answer
    std::function<void()> closed;          // the window is gone
    std::function<void(EepromSessionRecord_T)> recordSession;  // a programming or reading ended
    TPSW* password = nullptr;
};

// "ПЗУ": programming the board's EEPROM from the settings file in 64-byte blocks, reading it
// back and comparing, and waiting for the station's clearing of pages A2..AE.
class TFPzu : public QWidget {
    Q_OBJECT
public:
    explicit TFPzu(PzuLinks_T links, QWidget* parent = nullptr);
    ~TFPzu() override;

    // The opening steps; false when the window is not to be shown (no pzu section, no file).
    bool Open(const std::string& settingsPath, bool pzuSectionPresent);
    // The next block goes as soon as the previous one's answer is in and compared; the block
    // timer then only bounds the wait for an answer that does not come. Off: every tick.
    void SetPacedByAnswer(bool on) { pacedByAnswer_ = on; }

    void SpeedButton62Click();  // "Программирование" / "Отменить"
    void SpeedButton1Click();   // "Читать" / "Отменить"
    void BtProcPZUClick();      // "Остановить" / "Продолжить"
    void SpeedButton2Click();   // "Обнулить А2-АЕ"
    void SpeedButton65Click();  // "Больше >>"
    void SBPasswClick();        // password
    void TmrSendTimer();

    // From the test window's reply reader.
    bool WaitingForBlock() const { return !session_.Answered(); }
    void BlockAnswered(const uint8_t* data68);
    void I2CError();
    void ClearingFinished();
    bool WindowActive() const { return windowActive_; }
    bool AccessGranted() const { return accessGranted_; }
    TPzuSession& Session() { return session_; }
    TWPzu* Comparison() { return comparison_.get(); }

    QPushButton* SpeedButton62;
    QPushButton* SpeedButton1;
    QPushButton* BtProcPZU;
    QPushButton* SpeedButton2;
    QPushButton* SpeedButton65;
    QPushButton* SBPassw;
    QLabel* LAdrPzu;
    QLabel* LProcPzu;
    QLabel* LResPzu;
    QLabel* LFilePzu;
    QProgressBar* BarProcPZU;
    QLabel* STErr;
    QLabel* StaticText1;
    QLabel* STSend;
    QLabel* STAnswer;
    QLabel* LTimePzu;  // elapsed and an estimate of the time left
    QTimer TmrSend;
    int TmrSendTag = 0;
    int ClearTicks = 1;

protected:
    void closeEvent(QCloseEvent* e) override;

private:
    void FinishProgramming();
    void FinishReading();
    // The session that ends goes to the run's record (while its files are still open).
    void RecordSession(bool programming);
    bool OpenFiles();
    void SetState(const QString& text, const char* colour);
    void SendBlock(const TPzuSession::TickResult_T& t);
    void StartClock();
    void ShowTimes(int blocksDone, int blocksLeft);  // blocksLeft < 0: the run is over

    PzuLinks_T links_;
    TPzuSession session_;
    std::string settingsPath_;
    std::unique_ptr<TWPzu> comparison_;
    bool windowActive_ = false;
    bool accessGranted_ = false;
    bool showTraffic_ = false;
    int tag62_ = 0, tag1_ = 0, tagProc_ = 0, tag65_ = 0;
    std::string sessionStartedAt_;
    bool pacedByAnswer_ = false;
    std::chrono::steady_clock::time_point startedClock_;
};
