#pragma once

#include <QDialog>

class QLabel;
class QLineEdit;

// The password dialog of the EEPROM service: Enter closes it, "yes" for the right password.
class TPSW : public QDialog {
    Q_OBJECT
public:
    static constexpr const char* kPassword = "482";

    explicit TPSW(QWidget* parent = nullptr);

    // Up to three attempts, each shown modally; true at the first right entry.
    bool AskAccess();
    // Closing: the entry against the password.
    void Finish();

    QLineEdit* PSEdit;
    QLabel* StaticText1;

protected:
    void showEvent(QShowEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
};
