#pragma once

#include <QWidget>
#include <functional>
#include <string>

class QLineEdit;
class QPushButton;

// "Программирование логического номера": the board's number and its readiness date and time,
// written into the station's control board through the test window's channel 1.
class TFLog : public QWidget {
    Q_OBJECT
public:
    // `send` hands a command text to the test window's sender.
    explicit TFLog(std::function<void(const std::string&)> send, QWidget* parent = nullptr);

    void SpeedButton23Click();  // "Установить текущую дату"
    void SpeedButton63Click();  // "Программирование"
    // What the station reported: number, date "dd.mm.yyyy" and time "hh:mm".
    void ShowReported(unsigned logicalNumber, const std::string& date, const std::string& time);

    QLineEdit* Lg1;   // board number
    QLineEdit* Lg6;   // hours
    QLineEdit* Lg7;   // minutes
    QLineEdit* Lg2;   // day
    QLineEdit* Lg3;   // month
    QLineEdit* Lg45;  // year
    QLineEdit* LgP1;
    QLineEdit* LgP67;
    QLineEdit* LgP23;
    QLineEdit* LgP45;
    QPushButton* SpeedButton63;
    QPushButton* SpeedButton23;

protected:
    void showEvent(QShowEvent* e) override;

private:
    std::function<void(const std::string&)> send_;
};
