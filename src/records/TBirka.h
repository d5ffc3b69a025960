#pragma once

#include <QDialog>
#include <QTimer>
#include <functional>
#include <string>
#include <vector>

#include "records/TestTag.h"
#include "execution/RunSequencer.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class TProtocolWriter;
class TfmMemo;

// What the test tag reaches in the test window.
struct BirkaLinks_T {
    TProtocolWriter* protocol = nullptr;
    TfmMemo* memo = nullptr;
    std::function<void()> disableSelection;                // list of checks, "Выбор сделан", select buttons
    std::function<void(int number, int intervalMs)> loadCombination;  // 0 ms: the timer's interval as it is
    std::function<void()> stopContactorTimers;
    std::function<void(const std::string&)> showSerial;
    std::function<void(const std::string&)> showTestVersion;  // current-check label and first panel
};

// The test tag dialog "Бирка": operator, date, serial, cause and remarks for the protocol, and
// the test script from the catalogue of ./scn/. "Начало проверки" saves birka.ini, opens the
// protocol with its header and hands the run to the test window; "Выход" switches the stand
// off and ends the program.
class TBirka : public QDialog {
    Q_OBJECT
public:
    explicit TBirka(BirkaLinks_T links, QWidget* parent = nullptr);

    // Shows the dialog modally; true when a run was started, with its tag filled in.
    bool Execute(RunTag_T& tag);
    void FormShow();  // what every showing does before the operator sees the dialog
    void InitTag();   // "Инициализация бирки": birka.ini, the catalogue, WorkDir
    void RebuildCatalogue();
    void cbPowerStantionChange(int index);
    void TimerSelectValidTimer();
    void btLoadLastSerialClick();
    void btDescLoadClick();
    void btClearUserDescClick();
    void btOperatorsEditClick();
    void btCausesEditClick();
    // "Начало проверки": false while the dialog stays open (no script, a bad date).
    bool btBirkaOkClick();
    void bbtExitClick();
    void TimerShutdownTimer();

    const user_data_T& Data() const { return data_; }
    int ScriptIndex() const { return scriptIndex_; }
    const std::vector<script_cfg_T>& Catalogue() const { return catalogue_; }
    // The selected script's file, or an empty text without a selection.
    std::string ScriptFile() const;
    std::string ProtocolFolder() const;
    std::string ProtocolPath() const;

    QComboBox* cbOperators;
    QLineEdit* edDataTime;
    QComboBox* cbPowerStantion;
    QCheckBox* chbAllScripts;
    QPlainTextEdit* memoScnDesc;
    QLineEdit* meSerialNumber;
    QPushButton* btLoadLastSerial;
    QComboBox* cbCause;
    QPlainTextEdit* memoUserDesc;
    QPushButton* btClearUserDesc;
    QPushButton* btDescLoad;
    QPushButton* btOperatorsEdit;
    QPushButton* btCausesEdit;
    QPushButton* btBirkaOk;
    QPushButton* bbtExit;
    QLabel* Label1;
    QLabel* Label2;
    QLabel* Label3;
    QLabel* Label5;
    QTimer TimerSelectValid;
    QTimer TimerShutdown;

protected:
    // Escape does not end the tag: only its two buttons do.
    void reject() override {}

private:
    BirkaLinks_T links_;
    user_data_T data_;
    std::vector<script_cfg_T> catalogue_;
    int scriptIndex_ = -1;
    int savedScriptIndex_ = -1;
    int shutdownTick_ = 0;
    RunTag_T handedOver_;
};
