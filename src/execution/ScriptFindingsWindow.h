#pragma once

#include <QDialog>
#include <string>
#include <vector>

#include "execution/ScriptCheck.h"

class QLabel;
class QPushButton;
class QTableWidget;

// The findings of a script check as a list (file, line, kind, text). Before a run, a script
// with errors is shown with "Продолжить" and "Отмена"; checked from the menu, with "Закрыть".
class TScriptFindings : public QDialog {
public:
    TScriptFindings(const std::vector<ScriptFinding_T>& findings, bool beforeRun, QWidget* parent = nullptr);

    QLabel* lbSummary;
    QTableWidget* Table;
    QPushButton* btContinue;  // before a run only
    QPushButton* btCancel;    // "Отмена" before a run, else "Закрыть"
};

// Checks the script a run is about to use; true when it has no error or the operator goes on
// with "Продолжить". Warnings alone do not ask.
bool ConfirmScriptBeforeRun(const std::string& path, const std::string& shownName, const std::string& dataDir,
                            QWidget* parent);
// "Проверить сценарий...": the operator picks a file and reads what was found.
void CheckScriptFromMenu(const std::string& scriptFolder, const std::string& dataDir, QWidget* parent);
