#include "records/TProt.h"

#include <QLabel>
#include <QMenuBar>
#include <QPageLayout>
#include <QPlainTextEdit>
#include <QPrinter>
#include <QStatusBar>
#include <QTextDocument>
#include <QToolBar>
#include <QVBoxLayout>

#include "platform/Termination.h"
#include "platform/Cp1251.h"
#include "platform/Dialogs.h"
#include "platform/Paths.h"
#include "records/ProtocolHeader.h"

std::string MyFName;

namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }

// The editor holds lines; the file holds Windows-1251 with CR LF.
std::string EditorToFile(const QString& text) {
    std::string out;
    for (char c : platform::Utf8ToCp1251(text.toStdString())) {
        if (c == '\n') out.push_back('\r');
        out.push_back(c);
    }
    return out;
}

QString FileToEditor(const std::string& bytes) {
    std::string t;
    t.reserve(bytes.size());
    for (size_t i = 0; i < bytes.size(); ++i)
        if (!(bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n')) t.push_back(bytes[i]);
    return Q(platform::Cp1251ToUtf8(t));
}

}  // namespace

TProt::TProt(QWidget* parent) : QDialog(parent) {
    setObjectName("Prot");
    setWindowTitle(QString::fromUtf8("Протокол проверки"));
    resize(800, 600);
    auto* menu = new QMenuBar(this);
    QMenu* file = menu->addMenu(QString::fromUtf8("Файл"));
    auto add = [&](const char* caption, const char* hint, auto handler) {
        QAction* a = file->addAction(QString::fromUtf8(caption));
        if (hint) a->setToolTip(QString::fromUtf8(hint));
        connect(a, &QAction::triggered, this, [this, handler] { (this->*handler)(); });
        return a;
    };
    add("Открыть", "Открыть фаил протокола", &TProt::aOpenExecute);
    QAction* save = add("Сохранить", nullptr, &TProt::aSaveExecute);
    add("Сохранить как...", nullptr, &TProt::aSaveAsExecute);
    add("Удалить", "Удалить текущий протокол", &TProt::aDeleteExecute);
    QAction* print = add("Печать", "Печать протокола", &TProt::aPrintExecute);
    add("Экспорт в PDF...", nullptr, &TProt::aPdfExecute);
    add("Выход", nullptr, &TProt::aExitExecute);
    auto* tools = new QToolBar(this);
    tools->addAction(save);
    tools->addAction(print);

    RichEdit1 = new QPlainTextEdit(this);
    RichEdit1->setObjectName("RichEdit1");
    QFont font("Courier New", 10);
    font.setStyleHint(QFont::Monospace);
    RichEdit1->setFont(font);
    RichEdit1->setLineWrapMode(QPlainTextEdit::NoWrap);
    RichEdit1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    RichEdit1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    auto* status = new QStatusBar(this);
    status->setObjectName("sbProtocol");
    status->setSizeGripEnabled(false);
    panels_[0] = new QLabel(status);
    panels_[0]->setFixedWidth(500);
    panels_[1] = new QLabel(status);
    panels_[1]->setMinimumWidth(50);
    status->addWidget(panels_[0]);
    status->addWidget(panels_[1], 1);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setMenuBar(menu);
    layout->addWidget(tools);
    layout->addWidget(RichEdit1, 1);
    layout->addWidget(status);
}

void TProt::Reset() {
    ProtDir.clear();
    ProtMask = "*.*";
    Saved = false;
    AskFile = false;
    SetPanels("", "");
}

void TProt::SetPanels(const std::string& file, const std::string& message) {
    panels_[0]->setText(Q(file));
    panels_[1]->setText(Q(message));
}

int TProt::ShowModal() {
    ++showCount_;
    FormShow();
    return platform::ExecModal(*this);
}

std::string TProt::OpenDialog(const std::string& fileName) {
    platform::FileDialogRequest r;
    r.caption = "Открыть";
    r.directory = ProtDir;
    r.filter = "все файлы (" + ProtMask + ")";
    r.fileName = fileName;
    return platform::Dialogs::Current().OpenFileName(r);
}

void TProt::FormShow() {
    RichEdit1->clear();
    RichEdit1->document()->setModified(false);
    if (ProtDir.empty()) return;
    Saved = !Temporary;
    if (AskFile) ProtFile = OpenDialog("");
    if (ProtFile.empty()) {
        Saved = true;
    } else if (!Load(ProtFile)) {
        platform::Dialogs::Current().Show("Не удалось прочитать файл " + ProtFile, "Протокол проверки",
                                          platform::DialogIcon::Error);
    }
    if (Saved)
        SetPanels(ProtFile, "");
    else
        SetPanels(ProtFile + " - временный файл", "Сохраните протокол!");
}

bool TProt::Load(const std::string& path) {
    std::string bytes;
    if (!platform::ReadFileBytes(platform::NormalizePath(path), bytes)) return false;
    RichEdit1->setPlainText(FileToEditor(bytes));
    RichEdit1->document()->setModified(false);
    return true;
}

bool TProt::WriteText(const std::string& path, bool createNew) {
    const std::string n = platform::NormalizePath(path);
    const std::string bytes = EditorToFile(RichEdit1->toPlainText());
    return createNew ? platform::WriteNewFile(n, bytes) : platform::WriteFileBytes(n, bytes);
}

bool TProt::aSaveExecute() {
    bool createNew = false;
    std::string target = ProtFile;
    if (!Saved) {
        // A fresh protocol gets the next archive name beside it; an existing archive file is
        // never written over, even by a name another save took a moment ago.
        std::string folder = platform::NormalizePath(ProtFile);
        folder = platform::ParentDirectory(folder);
        const std::string serial = ArchiveSerialSource ? ArchiveSerialSource() : ArchiveSerial("", "");
        for (int attempt = 0; attempt < 3; ++attempt) {
            target = folder + "/" + NextArchiveName(folder, serial);
            if (WriteText(target, true)) {
                createNew = true;
                break;
            }
        }
        if (!createNew) {
            platform::Dialogs::Current().Show("Не удалось создать файл архива " + target, "Протокол проверки",
                                              platform::DialogIcon::Error);
            return false;
        }
        ProtFile = target;
    } else if (!WriteText(target, false)) {
        platform::Dialogs::Current().Show("Не удалось записать файл " + target, "Протокол проверки",
                                          platform::DialogIcon::Error);
        return false;
    }
    RichEdit1->document()->setModified(false);
    SetPanels(ProtFile, "Протокол сохранен");
    Saved = true;
    return true;
}

void TProt::aSaveAsExecute() {
    platform::FileDialogRequest r;
    r.caption = "Сохранить как";
    r.directory = ProtDir;
    r.filter = "все файлы [*.*] (*)";
    if (Saved) {
        r.fileName = MyFName;
    } else {
        const std::string folder = platform::ParentDirectory(platform::NormalizePath(ProtFile));
        const std::string name =
            NextArchiveName(folder, ArchiveSerialSource ? ArchiveSerialSource() : ArchiveSerial("", ""));
        MyFName = name;
        r.fileName = name;
    }
    const std::string chosen = platform::Dialogs::Current().SaveFileName(r);
    if (!chosen.empty()) {
        if (WriteText(chosen, false))
            MyFName = chosen;
        else
            platform::Dialogs::Current().Show("Не удалось записать файл " + chosen, "Протокол проверки",
                                              platform::DialogIcon::Error);
    }
    SetPanels(chosen.empty() ? r.fileName : chosen, "");
    Saved = true;
}

void TProt::aOpenExecute() {
    MyFName.clear();
    const std::string f = OpenDialog("ProtTest.txt");
    if (f.empty()) return;
    MyFName = f;
    if (!Load(f)) {
        platform::Dialogs::Current().Show("Не удалось прочитать файл " + f, "Протокол проверки",
                                          platform::DialogIcon::Error);
        return;
    }
    SetPanels(f, "");
    Saved = true;
    ProtFile = f;
}

void TProt::aDeleteExecute() {
    // Only the protocol on the screen is deleted, and only when the operator confirms it: the
    // name last chosen may belong to another protocol than the one shown.
    const std::string shown = platform::NormalizePath(ProtFile);
    if (MyFName.empty() || platform::NormalizePath(MyFName) != shown) {
        SetPanels(ProtFile, "Удаляется только протокол, открытый кнопкой \"Открыть\"");
        return;
    }
    const auto answer = platform::Dialogs::Current().Ask("Удалить протокол " + MyFName + "?", "Удаление протокола",
                                                         platform::DialogButtons::YesNo,
                                                         platform::DialogIcon::Question);
    if (answer != platform::DialogResult::Yes) return;
    RichEdit1->clear();
    platform::RemoveFile(shown);
    SetPanels("", "Протокол " + MyFName + " удален!");
}

void TProt::aPrintExecute() {
    platform::PrintRequest r;
    r.caption = "";
    r.text = RichEdit1->toPlainText().toStdString();
    r.printToFileBytes = EditorToFile(RichEdit1->toPlainText());
    platform::Dialogs::Current().Print(r);
}

void TProt::aPdfExecute() {
    platform::FileDialogRequest r;
    r.caption = "Экспорт в PDF";
    r.directory = ProtDir;
    r.filter = "PDF (*.pdf)";
    std::string base = ProtFile.empty() ? std::string("protocol") : ProtFile;
    base = base.substr(base.find_last_of("/\\") == std::string::npos ? 0 : base.find_last_of("/\\") + 1);
    r.fileName = base.substr(0, base.rfind('.')) + ".pdf";
    const std::string path = platform::Dialogs::Current().SaveFileName(r);
    if (path.empty()) return;
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(Q(path));
    QTextDocument doc;
    doc.setDefaultFont(RichEdit1->font());
    doc.setPlainText(RichEdit1->toPlainText());
    doc.print(&printer);
    panels_[1]->setText(QString::fromUtf8("PDF сохранен"));
}

void TProt::aExitExecute() {
    Saved = false;
    close();
}

bool TProt::CloseAllowed() {
    if (Saved && !RichEdit1->document()->isModified()) return true;
    const auto answer = platform::Dialogs::Current().Ask(
        "Текст документа не сохранен.\n\nСохранить документ при выходе?\n\n(Отмена - продолжение работы с протоколом)",
        "Подтвердите завершение работы", platform::DialogButtons::YesNoCancel, platform::DialogIcon::Question);
    if (answer == platform::DialogResult::Cancel) return false;
    // A protocol that was to be saved and could not be stays open: closing would leave the
    // run without its archive file.
    if (answer == platform::DialogResult::Yes && !aSaveExecute()) return false;
    Saved = false;
    return true;
}

void TProt::reject() {
    if (CloseAllowed()) QDialog::reject();
}
