#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include "app/QtDialogs.h"

namespace {

struct Seen {
    QString title, text;
    QStringList buttons;
};

// Once the box is up, records it and presses the button with the given caption
// (an empty caption closes the box by its window button instead).
void PressWhenShown(const QString& caption, Seen& seen) {
    QTimer::singleShot(0, [&seen, caption] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box) {
            ADD_FAILURE() << "no message box";
            return;
        }
        seen.title = box->windowTitle();
        seen.text = box->text();
        for (QAbstractButton* b : box->buttons()) seen.buttons << b->text();
        if (caption.isEmpty()) {
            box->reject();
            return;
        }
        for (QAbstractButton* b : box->buttons())
            if (b->text() == caption) b->click();
    });
}

}  // namespace

TEST(QtDialogs, AQuestionShowsItsTextCaptionAndRussianButtons) {
    QtDialogs dialogs;
    Seen seen;
    PressWhenShown(QString::fromUtf8("Нет"), seen);
    const auto r =
        dialogs.Ask("Станция не отвечает. Повторить?", "Внимание",
                    platform::DialogButtons::YesNoCancel, platform::DialogIcon::Question);
    EXPECT_EQ(r, platform::DialogResult::No);
    EXPECT_EQ(seen.title.toStdString(), "Внимание");
    EXPECT_EQ(seen.text.toStdString(), "Станция не отвечает. Повторить?");
    seen.buttons.sort();
    EXPECT_EQ(seen.buttons.join(",").toStdString(), "Да,Нет,Отмена");
}

TEST(QtDialogs, ClosingTheBoxGivesTheCautiousAnswer) {
    QtDialogs dialogs;
    Seen seen;
    PressWhenShown(QString(), seen);
    EXPECT_EQ(
        dialogs.Ask("?", "c", platform::DialogButtons::YesNoCancel, platform::DialogIcon::Question),
        platform::DialogResult::Cancel);
    PressWhenShown(QString(), seen);
    EXPECT_EQ(dialogs.Ask("?", "c", platform::DialogButtons::YesNo, platform::DialogIcon::Question),
              platform::DialogResult::No);
    PressWhenShown(QString::fromUtf8("Да"), seen);
    EXPECT_EQ(dialogs.Ask("?", "c", platform::DialogButtons::YesNo, platform::DialogIcon::Question),
              platform::DialogResult::Yes);
}
