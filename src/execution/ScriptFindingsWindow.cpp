#include "execution/ScriptFindingsWindow.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include "platform/Dialogs.h"
#include "platform/Paths.h"
#include "platform/Termination.h"

namespace {

QString U(const std::string& s) { return QString::fromStdString(s); }

}  // namespace

TScriptFindings::TScriptFindings(const std::vector<ScriptFinding_T>& findings, bool beforeRun, QWidget* parent)
    : QDialog(parent) {
    setObjectName("ScriptFindings");
    setWindowTitle(QString::fromUtf8("Проверка сценария"));
    setModal(true);
    size_t errors = 0;
    for (const auto& f : findings) errors += f.severity == ScriptFinding_T::Error;
    lbSummary = new QLabel(this);
    lbSummary->setObjectName("lbSummary");
    lbSummary->setWordWrap(true);
    QString summary = QString::fromUtf8("Ошибок: %1, предупреждений: %2.").arg(errors).arg(findings.size() - errors);
    if (beforeRun) summary += QString::fromUtf8(" Сценарий с ошибками может остановить проверку или дать неверный итог.");
    lbSummary->setText(summary);

    Table = new QTableWidget(static_cast<int>(findings.size()), 4, this);
    Table->setObjectName("Table");
    Table->setHorizontalHeaderLabels(
        {QString::fromUtf8("Файл"), QString::fromUtf8("Строка"), QString::fromUtf8("Вид"), QString::fromUtf8("Текст")});
    Table->verticalHeader()->hide();
    Table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    Table->setSelectionBehavior(QAbstractItemView::SelectRows);
    Table->setWordWrap(true);
    for (int r = 0; r < static_cast<int>(findings.size()); ++r) {
        const ScriptFinding_T& f = findings[static_cast<size_t>(r)];
        const bool error = f.severity == ScriptFinding_T::Error;
        const QString cells[] = {U(f.file), QString::number(f.line),
                                 QString::fromUtf8(error ? "ошибка" : "предупреждение"), U(f.text)};
        for (int c = 0; c < 4; ++c) {
            auto* item = new QTableWidgetItem(cells[c]);
            if (error && c == 2) item->setForeground(QColor(0xB0, 0x00, 0x00));
            Table->setItem(r, c, item);
        }
    }
    Table->horizontalHeader()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    Table->horizontalHeader()->setSectionResizeMode(1, QHeaderView::ResizeToContents);
    Table->horizontalHeader()->setSectionResizeMode(2, QHeaderView::ResizeToContents);
    Table->horizontalHeader()->setStretchLastSection(true);
    Table->resizeRowsToContents();

    btContinue = new QPushButton(QString::fromUtf8("Продолжить"), this);
    btContinue->setObjectName("btContinue");
    btContinue->setVisible(beforeRun);
    btCancel = new QPushButton(QString::fromUtf8(beforeRun ? "Отмена" : "Закрыть"), this);
    btCancel->setObjectName("btCancel");
    // A slip of the Enter key must not start a run on a broken script.
    btCancel->setDefault(true);
    btCancel->setFocus();
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btContinue);
    buttons->addWidget(btCancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(lbSummary);
    layout->addWidget(Table);
    layout->addLayout(buttons);
    resize(900, 420);
    connect(btContinue, &QPushButton::clicked, this, &QDialog::accept);
    connect(btCancel, &QPushButton::clicked, this, &QDialog::reject);
}

bool ConfirmScriptBeforeRun(const std::string& path, const std::string& shownName, const std::string& dataDir,
                            QWidget* parent) {
    std::vector<ScriptFinding_T> findings;
    // A file that cannot be read is the run's own business to report, as it always was.
    if (!CheckScriptFile(path, shownName, dataDir, findings) || !HasErrors(findings)) return true;
    TScriptFindings window(findings, true, parent);
    return platform::ExecModal(window) == QDialog::Accepted;
}

void CheckScriptFromMenu(const std::string& scriptFolder, const std::string& dataDir, QWidget* parent) {
    platform::FileDialogRequest request;
    request.caption = "Проверить сценарий";
    request.directory = scriptFolder;
    request.filter = "Сценарии (*.ini);;Все файлы (*)";
    const std::string path = platform::Dialogs::Current().OpenFileName(request);
    if (path.empty()) return;
    std::vector<ScriptFinding_T> findings;
    const std::string name = platform::FileName(path);
    if (!CheckScriptFile(path, name, dataDir, findings)) {
        platform::Dialogs::Current().Show("Файл " + path + " не прочитан.", "Проверка сценария",
                                          platform::DialogIcon::Error);
        return;
    }
    if (findings.empty()) {
        platform::Dialogs::Current().Show("Сценарий " + name + ": ошибок и предупреждений нет.", "Проверка сценария");
        return;
    }
    TScriptFindings window(findings, false, parent);
    platform::ExecModal(window);
}
