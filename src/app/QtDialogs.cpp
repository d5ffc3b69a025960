#include "app/QtDialogs.h"

#include "platform/Termination.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QPrintDialog>
#include "platform/Paths.h"
#include <QPrinter>
#include <QPushButton>
#include <QTextDocument>

namespace {

QString Q(const std::string& s) {
    return QString::fromStdString(s);
}

QWidget* ParentWindow() {
    if (QWidget* w = QApplication::activeModalWidget()) return w;
    return QApplication::activeWindow();
}

}  // namespace

platform::DialogResult QtDialogs::Ask(const std::string& text, const std::string& caption,
                                      platform::DialogButtons buttons, platform::DialogIcon icon) {
    using platform::DialogButtons;
    using platform::DialogResult;
    // After a termination request nothing may wait for the operator.
    if (platform::TerminationRequested()) {
        if (buttons == DialogButtons::Ok) return DialogResult::Ok;
        return buttons == DialogButtons::YesNo ? DialogResult::No : DialogResult::Cancel;
    }
    QMessageBox box(ParentWindow());
    box.setWindowTitle(Q(caption));
    box.setText(Q(text));
    switch (icon) {
        case platform::DialogIcon::None:
            box.setIcon(QMessageBox::NoIcon);
            break;
        case platform::DialogIcon::Information:
            box.setIcon(QMessageBox::Information);
            break;
        case platform::DialogIcon::Warning:
            box.setIcon(QMessageBox::Warning);
            break;
        case platform::DialogIcon::Error:
            box.setIcon(QMessageBox::Critical);
            break;
        case platform::DialogIcon::Question:
            box.setIcon(QMessageBox::Question);
            break;
    }
    // Russian captions on the buttons whatever the system's translations are.
    auto add = [&](QMessageBox::StandardButton b, const char* label) {
        box.addButton(b)->setText(QString::fromUtf8(label));
    };
    switch (buttons) {
        case DialogButtons::Ok:
            add(QMessageBox::Ok, "OK");
            break;
        case DialogButtons::OkCancel:
            add(QMessageBox::Ok, "OK");
            add(QMessageBox::Cancel, "Отмена");
            break;
        case DialogButtons::YesNo:
            add(QMessageBox::Yes, "Да");
            add(QMessageBox::No, "Нет");
            break;
        case DialogButtons::YesNoCancel:
            add(QMessageBox::Yes, "Да");
            add(QMessageBox::No, "Нет");
            add(QMessageBox::Cancel, "Отмена");
            break;
    }
    box.exec();
    switch (box.standardButton(box.clickedButton())) {
        case QMessageBox::Ok:
            return DialogResult::Ok;
        case QMessageBox::Yes:
            return DialogResult::Yes;
        case QMessageBox::No:
            return DialogResult::No;
        default:
            // The window's close button: the most cautious answer the box offers.
            if (buttons == DialogButtons::Ok) return DialogResult::Ok;
            if (buttons == DialogButtons::YesNo) return DialogResult::No;
            return DialogResult::Cancel;
    }
}

std::string QtDialogs::OpenFileName(const platform::FileDialogRequest& r) {
    if (platform::TerminationRequested()) return {};
    return QFileDialog::getOpenFileName(ParentWindow(), Q(r.caption), Q(r.directory), Q(r.filter))
        .toStdString();
}

std::string QtDialogs::SaveFileName(const platform::FileDialogRequest& r) {
    if (platform::TerminationRequested()) return {};
    QString start = Q(r.directory);
    if (!r.fileName.empty()) start = start.isEmpty() ? Q(r.fileName) : start + "/" + Q(r.fileName);
    return QFileDialog::getSaveFileName(ParentWindow(), Q(r.caption), start, Q(r.filter))
        .toStdString();
}

bool QtDialogs::Print(const platform::PrintRequest& r) {
    if (platform::TerminationRequested()) return false;
    QPrinter printer;
    printer.setDocName(Q(r.caption));
    QPrintDialog dialog(&printer, ParentWindow());
    dialog.setWindowTitle(QString::fromUtf8("Печать"));
    dialog.setOptions(QAbstractPrintDialog::PrintToFile | QAbstractPrintDialog::PrintPageRange);
    if (dialog.exec() != QDialog::Accepted) return false;
    if (!printer.outputFileName().isEmpty() && !r.printToFileBytes.empty()) {
        // "Print to file" keeps the protocol as the plain text it is.
        platform::FileDialogRequest save;
        save.caption = "Print to File:";
        save.fileName = printer.outputFileName().toStdString();
        const std::string path = SaveFileName(save);
        return !path.empty() && platform::WriteFileBytes(path, r.printToFileBytes);
    }
    QTextDocument doc;
    doc.setPlainText(Q(r.text));
    doc.print(&printer);
    return printer.printerState() != QPrinter::Error;
}
