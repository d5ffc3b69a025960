#pragma once

#include <QDialog>
#include <QTimer>

class QLabel;
class QPushButton;

// The about window "О программе": what the program is for and its version.
class TfmFirst : public QDialog {
    Q_OBJECT
public:
    explicit TfmFirst(QWidget* parent = nullptr);

    void TimerWaitTimer();
    void Button1Click() { close(); }
    void Show() { show(); }

    QLabel* lbSoftVersion;
    QLabel* Label1;
    QPushButton* Button1;
    QTimer TimerWait;

private:
    bool Ready() const { return true; }
    int ticks_ = 0;
};
