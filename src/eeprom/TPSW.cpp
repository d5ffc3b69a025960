#include "eeprom/TPSW.h"

#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

#include "platform/Termination.h"

TPSW::TPSW(QWidget* parent) : QDialog(parent) {
    setObjectName("PSW");
    setWindowTitle(QString::fromUtf8("Введите пароль и нажмите ENTER"));
    PSEdit = new QLineEdit(this);
    PSEdit->setObjectName("PSEdit");
    PSEdit->setEchoMode(QLineEdit::Password);
    PSEdit->setStyleSheet("lineedit-password-character: 42");  // every character as "*"
    StaticText1 = new QLabel(this);
    StaticText1->setObjectName("StaticText1");
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(PSEdit);
    layout->addWidget(StaticText1);
    setFixedSize(300, 90);
}

void TPSW::showEvent(QShowEvent* e) {
    QDialog::showEvent(e);
    PSEdit->clear();
    PSEdit->setFocus();
    PSEdit->selectAll();
}

void TPSW::keyPressEvent(QKeyEvent* e) {
    if (e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter ||
        (e->key() == Qt::Key_C && (e->modifiers() & Qt::ControlModifier))) {
        Finish();
        return;
    }
    QDialog::keyPressEvent(e);
}

void TPSW::Finish() {
    if (PSEdit->text() == kPassword)
        accept();
    else
        reject();
}

bool TPSW::AskAccess() {
    for (int attempt = 0; attempt < 3; ++attempt) {
        const bool yes = platform::ExecModal(*this) == QDialog::Accepted;
        StaticText1->setText(QString::fromUtf8("Не угадали! Попробуйте еще раз!"));
        if (yes) return true;
        if (platform::TerminationRequested()) return false;
    }
    return false;
}
