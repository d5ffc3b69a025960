#pragma once

#include <QDialog>
#include <array>
#include <functional>
#include <memory>

#include "app/ProgramSettings.h"
#include "app/StartResolution.h"
#include "platform/IniFile.h"

class QGroupBox;
class QLabel;
class QPushButton;
class QRadioButton;
class TChannelWindow;
class TProt;

// The windows and flags that the start window writes into.
struct StartWindowLinks_T {
    TChannelWindow* stationChannel = nullptr;
    TChannelWindow* standChannel = nullptr;
    TProt* viewer = nullptr;
    // The test window's echo and COM-monitor flags.
    std::function<void(bool echo, int monitor)> setTestWindowFlags;
    // "Статистика испытаний", over the start window.
    std::function<void(QWidget* parent)> showStatistics;
};

// The start window: reads data\nastr.ini once, fixes the device kind and the start-up
// globals, and offers "Проверка станции", "Открыть архив протоколов" (with "Статистика
// испытаний" beside it) and "Выход".
class TStartWindow : public QDialog {
    Q_OBJECT
public:
    // Modal results beyond Accepted (OK) and Rejected (Cancel, the window's close button).
    static constexpr int mrOk = QDialog::Accepted;
    static constexpr int mrCancel = QDialog::Rejected;
    static constexpr int mrAbort = 3;

    explicit TStartWindow(StartWindowLinks_T links, QWidget* parent = nullptr);

    // The settings file, kept for the EEPROM window.
    const platform::IniFile& Ini() const { return *ini_; }
    const ProgramSettings_T& Settings() const { return settings_; }
    const StartResolution_T& Resolution() const { return resolution_; }

    void BitBtn1Click();
    void btOpenProtClick();
    void btStatisticsClick() {
        if (links_.showStatistics) links_.showStatistics(this);
    }
    void BitBtn2Click() { done(mrAbort); }

    QLabel* Header;
    QGroupBox* RadioGroup1;
    std::array<QRadioButton*, 5> RadioItems{};
    QPushButton* BitBtn1;
    QPushButton* btOpenProt;
    QPushButton* btStatistics;
    QPushButton* BitBtn2;

private:
    int RadioIndex() const;
    StartWindowLinks_T links_;
    std::unique_ptr<platform::IniFile> ini_;
    ProgramSettings_T settings_;
    StartResolution_T resolution_;
};
