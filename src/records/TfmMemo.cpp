#include "records/TfmMemo.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

TfmMemo::TfmMemo(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
    setObjectName("fmMemo");
    setWindowTitle(QString::fromUtf8("Редактор списка"));
    setModal(false);
    Memo1 = new QPlainTextEdit(this);
    Memo1->setObjectName("Memo1");
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    btSave = new QPushButton(QString::fromUtf8("Принять"), this);
    btSave->setObjectName("btSave");
    btCancel = new QPushButton(QString::fromUtf8("Отмена"), this);
    btCancel->setObjectName("btCancel");
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btSave);
    buttons->addWidget(btCancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Memo1);
    layout->addLayout(buttons);
    setFixedSize(320, 260);
    home_ = parent;
    connect(btSave, &QPushButton::clicked, this, [this] { btSaveClick(); });
    connect(btCancel, &QPushButton::clicked, this, [this] { btCancelClick(); });
}

void TfmMemo::Position(int left, int top) {
    position_ = QPoint(left, top);
    move(position_);
    update();
}

void TfmMemo::Open(QComboBox* target) {
    target_ = target;
    // The tag is application-modal: a window of its own is the only one it does not block,
    // and it keeps the editor above it.
    if (QWidget* tag = target ? target->window() : nullptr) {
        if (parentWidget() != tag) setParent(tag, windowFlags());
        // Centred over the tag as it is now; on its first showing the tag had no place yet
        // when it asked.
        if (tag->isVisible())
            Position(tag->x() + (tag->width() - width()) / 2, tag->y() + (tag->height() - height()) / 2);
    }
    QStringList lines;
    for (int i = 0; target && i < target->count(); ++i) lines << target->itemText(i);
    // A final line break ends the last line without opening one: a list that ends with an
    // empty item needs one more for that item to come back from "Принять".
    Memo1->setPlainText(lines.join('\n') + (!lines.isEmpty() && lines.last().isEmpty() ? "\n" : ""));
    move(position_);
    show();
    update();
}

QStringList TfmMemo::MemoLines(const QString& text) {
    if (text.isEmpty()) return {};
    QStringList lines = text.split('\n');
    if (text.endsWith('\n')) lines.removeLast();
    return lines;
}

void TfmMemo::btSaveClick() {
    if (target_) {
        const QString current = target_->currentText();
        target_->clear();
        target_->addItems(MemoLines(Memo1->toPlainText()));
        // The typed text of an editable box is the operator's, not the list's.
        target_->setEditText(current);
    }
    close();
}

void TfmMemo::btCancelClick() {
    Memo1->clear();
    close();
}

void TfmMemo::done(int result) {
    QDialog::done(result);
    GoHome();
}

void TfmMemo::GoHome() {
    if (parentWidget() != home_ && !isVisible()) setParent(home_, windowFlags());
}
