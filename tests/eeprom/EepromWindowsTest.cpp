// The hex grids as drawn, the password dialog and the EEPROM window with a recording channel.
#include <gtest/gtest.h>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <regex>
#include <thread>

#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "eeprom/TFPzu.h"
#include "eeprom/THexGrid.h"
#include "eeprom/TPSW.h"
#include "eeprom/TWPzu.h"
#include "platform/Paths.h"
#include "support/QtWait.h"
#include "support/ScriptedDialogs.h"
#include "support/TempDir.h"

namespace {

QColor CellColour(THexGrid& g, int col, int row) {
    const QRect r = g.CellRect(col, row);
    const QImage image = g.viewport()->grab().toImage();
    return image.pixelColor(r.center().x() + r.width() / 3, r.center().y());  // beside the text
}

}  // namespace

TEST(HexGridWidget, ErrorCellsArePaintedInTheirColourUnlessSelected) {
    THexGridColor g;
    g.ColorError = QColor(255, 0, 255);
    g.SetGridColCount(16);
    g.SetDataCount(64);
    g.resize(600, 200);
    g.show();
    EXPECT_EQ(g.model()->headerData(0, Qt::Vertical).toString(), "000000");
    EXPECT_EQ(g.model()->headerData(1, Qt::Vertical).toString(), "000010");
    EXPECT_EQ(g.model()->headerData(15, Qt::Horizontal).toString(), "0f");
    EXPECT_EQ(g.model()->data(g.model()->index(0, 0)).toString(), "ff");
    g.SetErrorCell(17, 1);  // row 2, column 2
    g.Refresh();
    EXPECT_EQ(CellColour(g, 2, 2), QColor(255, 0, 255));
    EXPECT_NE(CellColour(g, 3, 2), QColor(255, 0, 255));
    g.setCurrentIndex(g.model()->index(1, 1));  // the selected cell shows the selection instead
    EXPECT_NE(CellColour(g, 2, 2), QColor(255, 0, 255));
    g.clearSelection();
    g.SetErrorCell(17, 0);
    g.Refresh();
    EXPECT_NE(CellColour(g, 2, 2), QColor(255, 0, 255));
}

TEST(HexGridWidget, TheComparisonWindowsGrids) {
    TWPzu w;
    EXPECT_EQ(w.windowTitle(), QString::fromUtf8("Файл:") + QString(136, ' ') + QString::fromUtf8("ПЗУ:"));
    EXPECT_EQ(w.GridIn->DataCount(), 32767);
    EXPECT_EQ(w.GridIn->DefaultData(), 0);
    EXPECT_EQ(w.GridIn->GetAData(32767), 0);  // beyond the last kept byte: the default
    EXPECT_EQ(w.GridOut->DefaultData(), 255);
    EXPECT_EQ(w.GridOut->GetAData(100), 0xFF);  // the EEPROM side as erased
    EXPECT_EQ(w.GridOut->model()->rowCount(), 2048);
    EXPECT_EQ(w.GridOut->model()->headerData(2047, Qt::Vertical).toString(), "007ff0");
}

TEST(HexGridWidget, F3WalksTheDifferencesRoundTheEndAndTheListIsExported) {
    TWPzu w;
    // Three blocks answered with a difference each: 0x0041, 0x1A2F and 0x7FC0.
    for (int32_t a : {0x7FC0, 0x0041, 0x1A2F}) {
        w.GridIn->SetAData(a, 0x11);
        w.GridOut->SetAData(a, 0x22);
        w.GridOut->SetErrorCell(a, 1);
    }
    w.UpdateStatus();
    w.show();
    w.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    EXPECT_EQ(w.lbStatus->text(), QString::fromUtf8("Различий: 3"));
    QWidget* focus = w.GridOut;
    focus->setFocus();
    QTest::keyClick(focus, Qt::Key_F3);
    EXPECT_EQ(w.CurrentIndex(), 0x0041);
    QTest::keyClick(focus, Qt::Key_F3);
    QTest::keyClick(focus, Qt::Key_F3);
    EXPECT_EQ(w.CurrentIndex(), 0x7FC0);
    // Both grids stand on the cell: row 0x7FC, column 0.
    EXPECT_EQ(w.GridIn->currentIndex(), w.GridIn->model()->index(0x7FC, 0));
    EXPECT_EQ(w.GridOut->currentIndex(), w.GridOut->model()->index(0x7FC, 0));
    EXPECT_EQ(w.lbStatus->text(), QString::fromUtf8("Различий: 3 · различие 3 из 3, адрес 7fc0h"));
    QTest::keyClick(focus, Qt::Key_F3);  // round the end
    EXPECT_EQ(w.CurrentIndex(), 0x0041);
    QTest::keyClick(focus, Qt::Key_F3, Qt::ShiftModifier);
    EXPECT_EQ(w.CurrentIndex(), 0x7FC0);
    QTest::mouseClick(w.btPrevious, Qt::LeftButton);
    EXPECT_EQ(w.CurrentIndex(), 0x1A2F);

    ScriptedDialogs dialogs;
    platform::ScopedDialogs use(dialogs);
    w.edAddress->clear();
    QTest::keyClicks(w.edAddress, "0x100");
    QTest::keyClick(w.edAddress, Qt::Key_Return);
    EXPECT_EQ(w.CurrentIndex(), 0x100);
    EXPECT_EQ(w.GridOut->currentIndex(), w.GridOut->model()->index(0x10, 0));
    EXPECT_EQ(w.lbStatus->text(), QString::fromUtf8("Различий: 3 · адрес 0100h"));
    w.edAddress->setText("8000");  // past the last kept byte
    QTest::mouseClick(w.btGoToAddress, Qt::LeftButton);
    ASSERT_EQ(dialogs.Questions().size(), 1u);
    EXPECT_EQ(dialogs.Questions()[0].text,
              "Адрес «8000» не подходит: нужен шестнадцатеричный адрес от 0000 до 7FFE.");
    EXPECT_EQ(w.CurrentIndex(), 0x100);

    TempDir dir;
    dialogs.ChooseFile(dir.File("d.csv"));
    QTest::mouseClick(w.btExport, Qt::LeftButton);
    EXPECT_EQ(dir.Read("d.csv"), "\xd1\xf2\xf0\xe0\xed\xe8\xf6\xe0;\xc0\xe4\xf0\xe5\xf1;\xd4\xe0\xe9\xeb;\xcf\xc7\xd3\r\n"
                                 "1;0041;11;22\r\n104;1A2F;11;22\r\n511;7FC0;11;22\r\n");
}

TEST(HexData, DifferencesAndTypedAddresses) {
    THexDataColor marks;
    marks.SetDataCount(100);
    EXPECT_EQ(marks.NextErrorCell(-1, true), -1);
    EXPECT_EQ(marks.ErrorCellCount(), 0);
    marks.SetErrorCell(50, 1);
    EXPECT_EQ(marks.NextErrorCell(50, true), 50);  // the only one: found again from itself
    EXPECT_EQ(marks.NextErrorCell(-1, false), 50);
    EXPECT_EQ(PzuDifferences(THexData(), marks).size(), 1u);
    EXPECT_EQ(ParseHexAddress(" 1a2fh"), 0x1A2F);
    EXPECT_EQ(ParseHexAddress("0X7FFE"), 0x7FFE);
    EXPECT_EQ(ParseHexAddress("12g"), -1);
    EXPECT_EQ(ParseHexAddress(""), -1);
    EXPECT_EQ(ParseHexAddress("123456789"), -1);
}

TEST(PasswordDialog, ThreeAttemptsAndTheRightOneOpens) {
    for (const bool secondRight : {true, false}) {
        TPSW psw;
        int attempt = 0;
        QTimer typist;
        QObject::connect(&typist, &QTimer::timeout, [&] {
            if (!psw.isVisible()) return;
            EXPECT_TRUE(psw.PSEdit->text().isEmpty());  // emptied on every showing
            ++attempt;
            psw.PSEdit->setText(attempt == 2 && secondRight ? "482" : "481");
            psw.Finish();
        });
        typist.start(10);
        EXPECT_EQ(psw.AskAccess(), secondRight);
        EXPECT_EQ(attempt, secondRight ? 2 : 3);
        EXPECT_EQ(psw.StaticText1->text().toStdString(), "Не угадали! Попробуйте еще раз!");
        EXPECT_EQ(psw.PSEdit->echoMode(), QLineEdit::Password);
    }
}

namespace {

struct Eeprom {
    TempDir dir;
    ScriptedDialogs dialogs;
    platform::ScopedDialogs use{dialogs};
    TPSW psw;
    std::vector<std::vector<uint8_t>> sent;
    int testTimersStopped = 0, captureStopped = 0;
    bool shown = false;
    std::unique_ptr<TFPzu> w;

    Eeprom() {
        PzuLinks_T l;
        l.sendPacket = [this](const std::vector<uint8_t>& p) { sent.push_back(p); };
        l.trafficShown = [] { return false; };
        l.stopTestTimers = [this] { ++testTimersStopped; };
        l.stopCapture = [this] { ++captureStopped; };
        l.shown = [this](bool on) { shown = on; };
        l.password = &psw;
        w = std::make_unique<TFPzu>(l);
    }
    // The operator presses "Пароль" and types the right one.
    void GrantAccess() {
        QTimer typist;
        QObject::connect(&typist, &QTimer::timeout, [this] {
            if (!psw.isVisible()) return;
            psw.PSEdit->setText("482");
            psw.Finish();
        });
        typist.start(10);
        w->SBPasswClick();
    }
    // A faithful EEPROM answering the last packet sent (a read, or a write of 64 bytes).
    void AnswerLast(int corruptIndex = -1) {
        const auto& p = sent.back();
        std::vector<uint8_t> d;
        d.reserve(68);
        for (size_t i = 4; i < 8; ++i) d.push_back(p[i]);
        for (size_t i = 0; i < 64; ++i) d.push_back(w->Session().Block()[i]);
        if (corruptIndex >= 0) d[4 + static_cast<size_t>(corruptIndex)] ^= 0x55;
        w->BlockAnswered(d.data());
    }
};

std::string Pattern(size_t n) {
    std::string s(n, '\0');
    for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>(i * 13 + 1);
    return s;
}

}  // namespace

TEST(EepromWindow, OpeningNeedsTheSectionAndTheFile) {
    Eeprom e;
    EXPECT_FALSE(e.w->Open(e.dir.File("pch.pzu"), false));  // no [pzu]: not shown, nothing said
    EXPECT_TRUE(e.dialogs.Questions().empty());
    EXPECT_EQ(e.testTimersStopped, 1);
    Eeprom f;
    EXPECT_FALSE(f.w->Open(f.dir.File("none.pzu"), true));
    ASSERT_EQ(f.dialogs.Questions().size(), 1u);
    EXPECT_EQ(f.dialogs.Questions()[0].text, "Нет файла с уставками  " + f.dir.File("none.pzu") + ".");
}

TEST(EepromWindow, ReadingComparesMarksTheFirstDifferenceAndCountsDown) {
    Eeprom e;
    const std::string path = e.dir.Write("pch.pzu", Pattern(32768));
    ASSERT_TRUE(e.w->Open(path, true));
    EXPECT_TRUE(e.shown);
    EXPECT_FALSE(e.w->SpeedButton62->isEnabled());  // until the password is given
    e.w->SpeedButton1Click();
    EXPECT_EQ(e.w->SpeedButton1->text().toStdString(), "Отменить");
    EXPECT_EQ(e.captureStopped, 1);
    for (int k = 0; k < 512; ++k) {
        e.w->TmrSendTimer();
        ASSERT_EQ(e.sent.size(), static_cast<size_t>(k + 1));
        if (k == 0) {
            EXPECT_EQ(e.w->StaticText1->text().toStdString(), "512");
        }
        if (k == 3) {
            e.w->BtProcPZUClick();  // pause with the block outstanding
            EXPECT_EQ(e.w->BtProcPZU->text().toStdString(), "Продолжить");
            EXPECT_FALSE(e.w->TmrSend.isActive());
            e.w->BtProcPZUClick();
            EXPECT_EQ(e.w->LProcPzu->text().toStdString(), "Идет чтение ПЗУ .....");
        }
        e.AnswerLast(k == 7 ? 9 : -1);
    }
    EXPECT_EQ(e.w->StaticText1->text().toStdString(), "1");
    EXPECT_EQ(e.w->Comparison()->GridOut->GetErrorCell(7 * 64 + 9), 1);
    EXPECT_EQ(e.w->Comparison()->lbStatus->text().toStdString(), "Различий: 1");  // counted as the block came
    EXPECT_EQ(e.w->Comparison()->GridOut->GetErrorCell(7 * 64 + 10), 0);
    EXPECT_EQ(e.w->STErr->text().toStdString(), "1");
    e.w->TmrSendTimer();  // past the last block
    EXPECT_EQ(e.w->LProcPzu->text().toStdString(), "Настройки не совпадают с файлом!.");
    EXPECT_EQ(e.w->SpeedButton1->text().toStdString(), "Чтение");
    EXPECT_FALSE(e.w->TmrSend.isActive());
    EXPECT_EQ(e.dir.Read("pch.A0").size(), 32768u);
}

TEST(EepromWindow, ProgrammingNeedsThePasswordAndAUsableFile) {
    Eeprom e;
    const std::string path = e.dir.Write("odd.pzu", Pattern(1000));
    ASSERT_TRUE(e.w->Open(path, true));
    e.GrantAccess();
    EXPECT_TRUE(e.w->AccessGranted());
    EXPECT_TRUE(e.w->SpeedButton62->isEnabled());
    e.w->SpeedButton62Click();
    ASSERT_EQ(e.dialogs.Questions().size(), 1u);
    EXPECT_NE(e.dialogs.Questions()[0].text.find("1000"), std::string::npos);
    EXPECT_TRUE(e.sent.empty());
    EXPECT_FALSE(e.w->TmrSend.isActive());
    EXPECT_EQ(e.w->SpeedButton62->text().toStdString(), "Программирование");
}

// The file is replaced (saved anew by an editor) or taken away while the window is open: the
// run goes by the file as it is when the operator starts it.
TEST(EepromWindow, ARunReadsTheSettingsFileAsItIsWhenItStarts) {
    Eeprom e;
    const std::string path = e.dir.Write("pch.pzu", std::string(32768, '\x11'));
    ASSERT_TRUE(e.w->Open(path, true));
    e.GrantAccess();
    ASSERT_TRUE(platform::WriteFileBytes(path, std::string(29, '\x22')));
    QTest::mouseClick(e.w->SpeedButton62, Qt::LeftButton);
    e.w->TmrSendTimer();
    ASSERT_EQ(e.sent.size(), 1u);
    EXPECT_EQ(e.sent[0][8], 0x22);
    EXPECT_EQ(e.sent[0][8 + 29], 0x00);  // a short file: the rest of its block is zeros
    e.AnswerLast();
    e.w->TmrSendTimer();
    EXPECT_EQ(e.w->LProcPzu->text().toStdString(), "Программирование ВЫПОЛНЕНО.");

    std::filesystem::remove(path);
    QTest::mouseClick(e.w->SpeedButton62, Qt::LeftButton);
    ASSERT_EQ(e.dialogs.Questions().size(), 1u);
    EXPECT_EQ(e.dialogs.Questions()[0].text, "Нет файла с уставками");
    EXPECT_FALSE(e.w->TmrSend.isActive());
    EXPECT_EQ(e.sent.size(), 1u);
}

TEST(EepromWindow, AWrongPasswordWhileProgrammingLeavesItsCancelButton) {
    Eeprom e;
    ASSERT_TRUE(e.w->Open(e.dir.Write("short.pzu", Pattern(29)), true));
    std::string typed = "482";
    QTimer typist;
    QObject::connect(&typist, &QTimer::timeout, [&] {
        if (!e.psw.isVisible()) return;
        e.psw.PSEdit->setText(QString::fromStdString(typed));
        e.psw.Finish();
    });
    typist.start(10);
    e.w->SBPasswClick();
    e.w->SpeedButton62Click();
    ASSERT_TRUE(e.w->TmrSend.isActive());
    ASSERT_EQ(e.w->SpeedButton62->text().toStdString(), "Отменить");
    typed = "000";  // the operator asks again and gets it wrong
    e.w->SBPasswClick();
    EXPECT_FALSE(e.w->AccessGranted());
    ASSERT_TRUE(e.w->SpeedButton62->isEnabled());
    e.w->SpeedButton62->click();  // "Отменить" still stops programming
    EXPECT_FALSE(e.w->TmrSend.isActive());
    EXPECT_EQ(e.w->SpeedButton62->text().toStdString(), "Программирование");
}

TEST(EepromWindow, ClearingWaitPollsAfter120TicksAndEndsOnTheAnswer) {
    Eeprom e;
    std::vector<std::string> polls;
    PzuLinks_T l;
    l.sendStation = [&](const std::string& t) { polls.push_back(t); };
    TFPzu w(l);
    w.SpeedButton2Click();
    EXPECT_EQ(w.TmrSend.interval(), 1000);
    EXPECT_EQ(w.LProcPzu->text().toStdString(), "Очистка ПЗУ .....");
    for (int i = 0; i < 120; ++i) w.TmrSendTimer();
    EXPECT_TRUE(polls.empty());
    w.TmrSendTimer();
    EXPECT_EQ(polls, std::vector<std::string>{"00 01 88"});
    w.ClearingFinished();
    EXPECT_FALSE(w.TmrSend.isActive());
    EXPECT_EQ(w.TmrSendTag, 0);
    EXPECT_EQ(w.LProcPzu->text().toStdString(), "Очистка закончена");
}

TEST(EepromWindow, AnUnansweredBlockIsRepeatedThenTheOperatorMayGiveUp) {
    Eeprom e;
    ASSERT_TRUE(e.w->Open(e.dir.Write("pch.pzu", Pattern(32768)), true));
    e.w->SpeedButton1Click();
    e.w->TmrSendTimer();
    for (int tick = 0; tick < TPzuSession::kMaxRepeats * TPzuSession::kRepeatAfterTicks; ++tick) e.w->TmrSendTimer();
    ASSERT_EQ(e.sent.size(), 1u + TPzuSession::kMaxRepeats);
    EXPECT_EQ(e.sent.back(), e.sent.front());  // the same request again
    EXPECT_EQ(e.w->STSend->text().toStdString(), "Повторяю посылку запроса");
    EXPECT_TRUE(e.dialogs.Questions().empty());
    e.dialogs.Answer(platform::DialogResult::Yes);
    for (int tick = 0; tick < TPzuSession::kRepeatAfterTicks; ++tick) e.w->TmrSendTimer();
    ASSERT_EQ(e.dialogs.Questions().size(), 1u);
    EXPECT_EQ(e.dialogs.Questions()[0].text, " Прекращаю работу с ПЗУ...");
    EXPECT_EQ(e.dialogs.Questions()[0].caption, "Нет связи с платой");
    EXPECT_FALSE(e.w->TmrSend.isActive());
    EXPECT_EQ(e.w->LProcPzu->text().toStdString(), "Чтение ПЗУ прервано...");
}

// Paced by answer, each answered block brings the next at once and the timer only bounds the
// wait; a pause holds the next block back. Paced by the timer (the default), an answer sends
// nothing.
TEST(EepromWindow, PacedByAnswerTheNextBlockGoesWhenThePreviousIsAnswered) {
    for (const bool byAnswer : {false, true}) {
        Eeprom e;
        e.w->SetPacedByAnswer(byAnswer);
        ASSERT_TRUE(e.w->Open(e.dir.Write("pch.pzu", Pattern(32768)), true));
        e.w->SpeedButton1Click();
        e.w->TmrSendTimer();  // the first block goes on the first tick in either pacing
        ASSERT_EQ(e.sent.size(), 1u);
        e.AnswerLast();
        QCoreApplication::processEvents();
        EXPECT_EQ(e.sent.size(), byAnswer ? 2u : 1u) << byAnswer;
        if (!byAnswer) continue;

        e.w->BtProcPZUClick();  // paused with block 2 out
        e.AnswerLast(5);
        QCoreApplication::processEvents();
        EXPECT_EQ(e.sent.size(), 2u);
        EXPECT_EQ(e.w->STErr->text().toStdString(), "1");  // compared all the same
        e.w->BtProcPZUClick();
        e.w->TmrSendTimer();  // continued: the timer's tick sends the next
        ASSERT_EQ(e.sent.size(), 3u);
        while (e.w->TmrSend.isActive()) {
            e.AnswerLast();
            QCoreApplication::processEvents();
            ASSERT_LE(e.sent.size(), 513u);
        }
        EXPECT_EQ(e.sent.size(), 512u);
        EXPECT_EQ(e.w->LProcPzu->text().toStdString(), "Настройки не совпадают с файлом!.");
        EXPECT_EQ(e.dir.Read("pch.A0"), [] {
            std::string expected = Pattern(32768);
            expected[64 + 5] = static_cast<char>(expected[64 + 5] ^ 0x55);
            return expected;
        }());
        EXPECT_EQ(e.w->LTimePzu->text().toStdString().rfind("Заняло ", 0), 0u) << e.w->LTimePzu->text().toStdString();
    }
}

TEST(EepromWindow, ShowsTheElapsedTimeAndAnEstimateOfTheRest) {
    Eeprom e;
    ASSERT_TRUE(e.w->Open(e.dir.Write("pch.pzu", Pattern(32768)), true));
    e.w->SpeedButton1Click();
    e.w->TmrSendTimer();
    EXPECT_EQ(e.w->LTimePzu->text().toStdString(), "Прошло 0:00");  // no block done to go by
    e.AnswerLast();
    std::this_thread::sleep_for(std::chrono::milliseconds(1100));  // no events: the ticks are this test's
    e.w->TmrSendTimer();
    // One block in at least 1.1 s: 511 more take at least 9 min 22 s.
    const std::string shown = e.w->LTimePzu->text().toStdString();
    std::smatch m;
    ASSERT_TRUE(std::regex_match(shown, m, std::regex("Прошло (\\d+):(\\d\\d) · осталось около (\\d+):(\\d\\d)"))) << shown;
    const int elapsedMin = std::stoi(m[1]), elapsedSec = std::stoi(m[2]), leftMin = std::stoi(m[3]),
              leftSec = std::stoi(m[4]);
    EXPECT_GE(elapsedMin * 60 + elapsedSec, 1) << shown;
    EXPECT_GE(leftMin * 60 + leftSec, 561) << shown;
}
