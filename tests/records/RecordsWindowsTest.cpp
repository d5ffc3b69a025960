// The test tag, the list editor, the protocol viewer and the logical number window.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QMessageBox>
#include <QTest>
#include <QComboBox>
#include <QDate>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTextCursor>
#include <QTimer>
#include <QValidator>

#include "app/QtDialogs.h"
#include "execution/Globals.h"
#include "execution/ScriptFindingsWindow.h"
#include "platform/Termination.h"
#include "platform/Cp1251.h"
#include "platform/Paths.h"
#include "records/ProtocolWriter.h"
#include "records/TBirka.h"
#include "records/TFLog.h"
#include "records/TProt.h"
#include "records/TfmMemo.h"
#include "support/ScriptedDialogs.h"
#include "support/TempDir.h"

namespace {

std::string Cp(const std::string& utf8) { return platform::Utf8ToCp1251(utf8); }

bool Exists(const std::string& path) {
    std::string bytes;
    return platform::ReadFileBytes(path, bytes);
}

// A working folder with two versions of one script and one of another, and a tag dialog on it.
struct Tag {
    TempDir dir;
    ScopedWorkingDirectory cd{dir.Path()};
    ScriptedDialogs dialogs;
    platform::ScopedDialogs use{dialogs};
    TProtocolWriter protocol;
    TfmMemo memo;
    std::vector<std::pair<int, int>> combinations;
    int contactorStops = 0, selectionOff = 0;
    std::string serialShown, versionShown;
    std::unique_ptr<TBirka> birka;

    Tag() {
        WorkDir = dir.Path();
        IsMaster = false;
        platform::ResetTerminationForTests();
        // Each with one check that the script checker finds sound.
        const std::string check = "[title1]\r\nTitl=Связь\r\nOneStep=1\r\n[step1]\r\nNext=endprov\r\n";
        dir.Write("scn/a.ini", Cp("[info]\r\nversion=v1.05\r\ndevice=Станция\r\ndesc=Старая\r\narc_dir=./prot/st/\r\n" + check));
        dir.Write("scn/b.ini", Cp("[info]\r\nversion=v1.10\r\ndevice=Станция\r\ndesc=Новая\r\narc_dir=./prot/st/\r\n"
                                  "[COEFFICIENT_OF_SHAPE]\r\nK_U_IN=0.1\r\nK_I_OUT=0.05\r\nK_U_OUT=0.2\r\n"
                                  "[version]\r\nvCP=2\r\nvKK=3\r\nvRG=4\r\nvIzm=5\r\nvPzu=6\r\n" + check));
        dir.Write("scn/c.ini", Cp("[info]\r\nversion=v2.00\r\ndevice=Блок\r\ndesc=Блок ПЧ\r\n" + check));
        dir.Write("data/tk.ini", "[TK]\r\nTK_U_IN=2\r\n");
        BirkaLinks_T l;
        l.protocol = &protocol;
        l.memo = &memo;
        l.disableSelection = [this] { ++selectionOff; };
        l.loadCombination = [this](int n, int ms) { combinations.emplace_back(n, ms); };
        l.stopContactorTimers = [this] { ++contactorStops; };
        l.showSerial = [this](const std::string& s) { serialShown = s; };
        l.showTestVersion = [this](const std::string& s) { versionShown = s; };
        birka = std::make_unique<TBirka>(l);
    }
    ~Tag() { platform::ResetTerminationForTests(); }
};

}  // namespace

TEST(TestTag, ShowingReadsBirkaIniAndBuildsTheCatalogue) {
    Tag t;
    t.dir.Write("data/birka.ini", Cp("[Birka]\r\nOperator=Иванов\r\nSerialNumber=77\r\nDesc=раз<br>два\r\n"
                                     "Cause=Повторная\r\nid_script=0\r\nFiltredScripts=1\r\n[Operators]\r\n"
                                     "1=Иванов\r\n2=Петров\r\n[Causes]\r\n1=Повторная\r\n"));
    t.birka->FormShow();
    EXPECT_EQ(t.selectionOff, 1);
    ASSERT_EQ(t.birka->cbPowerStantion->count(), 2);  // newest per device
    EXPECT_EQ(t.birka->cbPowerStantion->itemText(0).toStdString(), "Станция - версия теста 1.10");
    EXPECT_EQ(t.birka->ScriptIndex(), 0);
    EXPECT_EQ(t.birka->memoScnDesc->toPlainText().toStdString(), "Новая");
    EXPECT_EQ(t.birka->cbOperators->count(), 2);
    EXPECT_EQ(t.birka->cbOperators->currentText().toStdString(), "Иванов");
    EXPECT_EQ(t.birka->cbCause->count(), 1);  // the file's list replaces the design items
    EXPECT_EQ(t.birka->cbCause->currentText().toStdString(), "Повторная");
    EXPECT_TRUE(t.birka->meSerialNumber->text().isEmpty());
    EXPECT_EQ(t.birka->edDataTime->text(), QDate::currentDate().toString("dd.MM.yyyy"));
    t.birka->btLoadLastSerialClick();
    EXPECT_EQ(t.birka->meSerialNumber->text().toStdString(), "77");
    t.birka->btDescLoadClick();
    EXPECT_EQ(t.birka->memoUserDesc->toPlainText().toStdString(), "раз\nдва");

    // Switching the filter off lists every script; the saved index still points at entry 0.
    t.birka->chbAllScripts->click();
    EXPECT_EQ(t.birka->cbPowerStantion->count(), 3);
    EXPECT_EQ(t.birka->memoScnDesc->toPlainText().toStdString(), "Старая");
}

TEST(TestTag, AnIndexBeyondTheCatalogueSelectsNothingUntilTheOperatorChooses) {
    Tag t;
    t.dir.Write("data/birka.ini", "[Birka]\r\nid_script=9\r\n");
    t.birka->FormShow();
    EXPECT_EQ(t.birka->ScriptIndex(), -1);
    t.birka->TimerSelectValidTimer();
    EXPECT_FALSE(t.birka->btBirkaOk->isEnabled());
    t.birka->cbPowerStantion->setCurrentIndex(2);
    t.birka->TimerSelectValidTimer();
    EXPECT_TRUE(t.birka->btBirkaOk->isEnabled());
    EXPECT_EQ(t.birka->ScriptFile(), "./scn/c.ini");
}

TEST(TestTag, StartingARunSavesTheTagWritesTheHeaderAndHandsTheRunOver) {
    Tag t;
    t.birka->FormShow();
    t.birka->chbAllScripts->setChecked(false);
    t.birka->RebuildCatalogue();
    t.birka->cbPowerStantion->setCurrentIndex(1);  // b.ini
    t.birka->cbOperators->setEditText("Сидоров  ");
    t.birka->meSerialNumber->setText(" 12 ");
    t.birka->cbCause->setEditText("Первичная");
    t.birka->memoUserDesc->setPlainText("первая\n\nвторая");
    ASSERT_TRUE(t.birka->btBirkaOkClick());
    EXPECT_TRUE(IsMaster);
    EXPECT_EQ(t.combinations, (std::vector<std::pair<int, int>>{{3, 0}}));
    EXPECT_EQ(t.serialShown, "12");
    EXPECT_EQ(t.versionShown, "Версия тестов: v1.10");
    EXPECT_EQ(t.dir.Read("data/birka.ini"),
              Cp("[Birka]\r\nOperator=Сидоров\r\nSerialNumber=12\r\nDesc=первая<br><br>вторая\r\nCause=Первичная\r\n"
                 "id_script=1\r\nFiltredScripts=0\r\n"));  // both lists empty: no birka.ini gave any
    const std::string date = QDate::currentDate().toString("dd.MM.yyyy").toStdString();
    t.protocol.Close();
    const std::string header = platform::Cp1251ToUtf8(t.dir.Read("prot/st/ProtTest.txt"));
    EXPECT_EQ(header.substr(0, header.find("Версия ПО")),
              "СУ Станция. Протокол проверки. \r\n" + std::string(74, '-') +
                  "\r\n \r\nЗаводской номер  12 \r\nОператор :  Сидоров \r\nПричина предъявления Первичная \r\n"
                  "Дата проверки :  " + date + " \r\n\r\nЗамечания оператора: \r\nпервая \r\nвторая \r\n  \r\n");
    EXPECT_NE(header.find("K Uвх = 0.1000 \r\n"), std::string::npos);
    EXPECT_NE(header.find("ТK Uвх = 2.0000 \r\n"), std::string::npos);

    EXPECT_EQ(t.birka->ProtocolPath(), t.dir.Path() + "\\./prot/st/\\ProtTest.txt");

    // Shown again, the dialog remembers the script; the operator starts as soon as he may.
    QTimer press;
    QObject::connect(&press, &QTimer::timeout, [&] {
        if (t.birka->btBirkaOk->isEnabled()) t.birka->btBirkaOk->click();
    });
    press.start(20);
    RunTag_T tag;
    ASSERT_TRUE(t.birka->Execute(tag));
    EXPECT_EQ(tag.scriptPath, "./scn/b.ini");
    EXPECT_EQ(tag.deviceName, "Станция");
    EXPECT_EQ(tag.serialNumber, "");  // a new device's serial is typed anew
    EXPECT_FLOAT_EQ(static_cast<float>(tag.kUin), 0.2f);
    EXPECT_FLOAT_EQ(static_cast<float>(tag.kIout), 0.05f);
    EXPECT_EQ(tag.expectedVersions, (std::array<int, 5>{2, 3, 4, 5, 6}));
}

TEST(TestTag, ABadDateKeepsTheDialogOpenAfterSavingTheTag) {
    Tag t;
    t.birka->FormShow();
    t.birka->cbPowerStantion->setCurrentIndex(0);
    t.birka->edDataTime->setText("31.02.2026");
    EXPECT_FALSE(t.birka->btBirkaOkClick());
    ASSERT_EQ(t.dialogs.Questions().size(), 1u);
    EXPECT_NE(t.dialogs.Questions()[0].text.find("не является датой"), std::string::npos);
    EXPECT_TRUE(IsMaster);
    EXPECT_TRUE(Exists(t.dir.File("data/birka.ini")));
    EXPECT_FALSE(Exists(t.dir.File("prot/st/ProtTest.txt")));
}

TEST(TestTag, AScriptWithErrorsIsListedAndCancelKeepsTheTagOpenUntilTheOperatorGoesOn) {
    Tag t;
    // d.ini's step names a step that is not there; e.ini only has a key the program does not read.
    t.dir.Write("scn/d.ini", Cp("[info]\r\nversion=v1.00\r\ndevice=Дроссель\r\n[title1]\r\nOneStep=1\r\n"
                                "[step1]\r\nNext=step2\r\n"));
    t.dir.Write("scn/e.ini", Cp("[info]\r\nversion=v1.00\r\ndevice=Шкаф\r\n[title1]\r\nOneStep=1\r\n"
                                "[step1]\r\nNXet=1\r\nNext=endprov\r\n"));
    std::vector<std::vector<std::string>> listed;
    int windows = 0;
    bool cancelled = false, clicked = false;
    // The operator: picks d.ini, starts, reads the list, cancels, starts again and goes on.
    QTimer op;
    QObject::connect(&op, &QTimer::timeout, [&] {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            auto* f = dynamic_cast<TScriptFindings*>(w);
            if (!f || !f->isVisible()) continue;
            if (listed.empty())
                for (int r = 0; r < f->Table->rowCount(); ++r) {
                    listed.emplace_back();
                    for (int c = 0; c < 4; ++c) listed.back().push_back(f->Table->item(r, c)->text().toStdString());
                }
            ++windows;
            EXPECT_TRUE(f->btContinue->isVisible());
            QTest::mouseClick(cancelled ? f->btContinue : f->btCancel, Qt::LeftButton);
            if (!cancelled) {
                cancelled = true;
                // Still the tag, untouched by the run: nothing saved, no protocol, no stand switching.
                EXPECT_TRUE(t.birka->isVisible());
                EXPECT_FALSE(Exists(t.dir.File("data/birka.ini")));
                EXPECT_TRUE(t.combinations.empty());
                QTimer::singleShot(50, [&] { QTest::mouseClick(t.birka->btBirkaOk, Qt::LeftButton); });
            }
            return;
        }
        if (listed.empty() && t.birka->isVisible() && !cancelled) {
            if (t.birka->cbPowerStantion->currentText().startsWith(QString::fromUtf8("Дроссель"))) {
                // From outside this timer's own call, which a nested event loop does not run again.
                if (t.birka->btBirkaOk->isEnabled() && !clicked) {
                    clicked = true;
                    QTimer::singleShot(0, [&] { QTest::mouseClick(t.birka->btBirkaOk, Qt::LeftButton); });
                }
            } else {
                const int d = t.birka->cbPowerStantion->findText(QString::fromUtf8("Дроссель"), Qt::MatchStartsWith);
                t.birka->cbPowerStantion->setCurrentIndex(d);
            }
        }
    });
    op.start(30);
    RunTag_T tag;
    ASSERT_TRUE(t.birka->Execute(tag));
    op.stop();
    EXPECT_EQ(windows, 2);
    EXPECT_EQ(tag.scriptPath, "./scn/d.ini");
    EXPECT_TRUE(Exists(t.dir.File("data/birka.ini")));
    ASSERT_EQ(listed.size(), 1u);
    EXPECT_EQ(listed[0], (std::vector<std::string>{"scn/d.ini", "7", "ошибка", "Next=step2: такой секции нет"}));

    // Warnings alone do not ask.
    t.birka->FormShow();
    t.birka->cbPowerStantion->setCurrentIndex(
        t.birka->cbPowerStantion->findText(QString::fromUtf8("Шкаф"), Qt::MatchStartsWith));
    QTimer watch;
    bool asked = false;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* f = dynamic_cast<TScriptFindings*>(w); f && f->isVisible()) asked = true, f->reject();
    });
    watch.start(10);
    EXPECT_TRUE(t.birka->btBirkaOkClick());
    EXPECT_FALSE(asked);
}

TEST(TestTag, TheSerialFieldRefusesOtherCharactersTypedOrPasted) {
    Tag t;
    int pos = 0;
    QString ok = QString::fromUtf8("АБ-12_x.9 я");
    QString bad = QString::fromUtf8("12/3");
    QString yo = QString::fromUtf8("Ёж");
    EXPECT_EQ(t.birka->meSerialNumber->validator()->validate(ok, pos), QValidator::Acceptable);
    EXPECT_EQ(t.birka->meSerialNumber->validator()->validate(bad, pos), QValidator::Invalid);
    EXPECT_EQ(t.birka->meSerialNumber->validator()->validate(yo, pos), QValidator::Invalid);
}

TEST(TestTag, ExitSwitchesTheStandOffAndEndsTheProgramOnTheSecondTick) {
    Tag t;
    t.birka->FormShow();
    t.birka->bbtExitClick();
    EXPECT_FALSE(t.birka->btBirkaOk->isEnabled());
    EXPECT_FALSE(t.birka->bbtExit->isEnabled());
    EXPECT_TRUE(t.birka->TimerShutdown.isActive());
    EXPECT_EQ(t.birka->TimerShutdown.interval(), 3000);
    EXPECT_EQ(t.dialogs.Questions().back().text, "Через 5 секунд стенд и программа будут выключены");
    t.birka->TimerShutdownTimer();
    EXPECT_EQ(t.contactorStops, 1);
    EXPECT_EQ(t.combinations, (std::vector<std::pair<int, int>>{{1, 150}}));
    EXPECT_FALSE(platform::TerminationRequested());
    t.birka->TimerShutdownTimer();
    EXPECT_TRUE(platform::TerminationRequested());
    EXPECT_FALSE(t.birka->TimerShutdown.isActive());
}

TEST(ListEditor, OpenOverTheModalTagItTakesKeysAndKeepsATrailingEmptyItem) {
    Tag t;
    QComboBox* operators = t.birka->cbOperators;
    bool typed = false;
    QPoint editorAt, tagCentre;
    QTimer::singleShot(100, [&] {
        operators->clear();
        operators->addItems({"Иванов", ""});
        QTest::mouseClick(t.birka->btOperatorsEdit, Qt::LeftButton);  // "..."
        QCoreApplication::processEvents();
        EXPECT_TRUE(t.memo.isVisible());
        editorAt = t.memo.geometry().center();
        tagCentre = t.birka->geometry().center();
        QTest::keyClick(t.memo.Memo1, Qt::Key_Home, Qt::ControlModifier);
        QTest::keyClicks(t.memo.Memo1, "D");
        QTest::mouseClick(t.memo.btSave, Qt::LeftButton);
        typed = true;
        t.birka->done(QDialog::Rejected);
    });
    RunTag_T tag;
    t.birka->Execute(tag);
    ASSERT_TRUE(typed);
    EXPECT_LE((editorAt - tagCentre).manhattanLength(), 2);  // centred over the tag, first showing too
    ASSERT_EQ(operators->count(), 2);
    EXPECT_EQ(operators->itemText(0).toStdString(), "DИванов");
    EXPECT_EQ(operators->itemText(1).toStdString(), "");  // the empty last item came back
}

TEST(ListEditor, AcceptReplacesTheItemsAndCancelLeavesThem) {
    Tag t;
    QComboBox box;
    box.addItems({"a", "b"});
    t.memo.Position(10, 20);
    t.memo.Open(&box);
    EXPECT_EQ(t.memo.Memo1->toPlainText().toStdString(), "a\nb");
    EXPECT_EQ(t.memo.pos(), QPoint(10, 20));
    t.memo.Memo1->setPlainText("x\n\ny\n\n");  // a trailing empty line becomes an empty item
    t.memo.btSaveClick();
    ASSERT_EQ(box.count(), 4);
    EXPECT_EQ(box.itemText(1).toStdString(), "");
    EXPECT_EQ(box.itemText(3).toStdString(), "");
    t.memo.Open(&box);
    t.memo.Memo1->setPlainText("z");
    t.memo.btCancelClick();
    EXPECT_EQ(box.count(), 4);
    EXPECT_TRUE(t.memo.Memo1->toPlainText().isEmpty());
    t.memo.Open(&box);
    t.memo.Memo1->clear();
    t.memo.btSaveClick();
    EXPECT_EQ(box.count(), 0);
}

namespace {

struct Viewer {
    TempDir dir;
    ScriptedDialogs dialogs;
    platform::ScopedDialogs use{dialogs};
    TProt prot;
    std::string fresh;

    Viewer() {
        MyFName.clear();
        fresh = Cp("СУ Станция. Протокол проверки. \r\nИтоговый результат: Станция прошла проверку \r\n");
        dir.Write("prot/st/ProtTest.txt", fresh);
    }
    void AfterRun() {
        prot.Reset();
        prot.ProtMask = "ProtTest.txt";
        prot.ProtDir = dir.File("prot/st");
        prot.ProtFile = dir.File("prot/st/ProtTest.txt");
        prot.AskFile = false;
        prot.Temporary = true;
        prot.ArchiveSerialSource = [] { return std::string("12"); };
        prot.FormShow();
    }
};

}  // namespace

TEST(ProtocolViewer, AFreshProtocolIsSavedUnderTheNextArchiveNameAndThenInPlace) {
    Viewer v;
    v.dir.Write("prot/st/12.000.txt", "older archive");
    v.dir.Write("prot/st/123.004.txt", "another serial");
    v.AfterRun();
    EXPECT_EQ(v.prot.Panel(0)->text().toStdString(), v.dir.File("prot/st/ProtTest.txt") + " - временный файл");
    EXPECT_EQ(v.prot.Panel(1)->text().toStdString(), "Сохраните протокол!");
    EXPECT_EQ(v.prot.RichEdit1->toPlainText().toStdString(),
              "СУ Станция. Протокол проверки. \nИтоговый результат: Станция прошла проверку \n");
    v.prot.aSaveExecute();
    EXPECT_EQ(v.dir.Read("prot/st/12.001.txt"), v.fresh);  // the same bytes as the run wrote them
    EXPECT_EQ(v.dir.Read("prot/st/12.000.txt"), "older archive");
    EXPECT_EQ(v.prot.Panel(1)->text().toStdString(), "Протокол сохранен");
    v.prot.RichEdit1->moveCursor(QTextCursor::End);
    v.prot.RichEdit1->insertPlainText(QString::fromUtf8("Примечание"));
    v.prot.aSaveExecute();  // the second save writes the same archive file again
    EXPECT_FALSE(Exists(v.dir.File("prot/st/12.002.txt")));
    EXPECT_EQ(v.dir.Read("prot/st/12.001.txt"), v.fresh + Cp("Примечание"));
    // "Выход" right after a save still asks.
    v.prot.show();
    v.dialogs.Answer(platform::DialogResult::No);
    v.prot.aExitExecute();
    ASSERT_EQ(v.dialogs.Questions().size(), 1u);
    EXPECT_EQ(v.dialogs.Questions()[0].caption, "Подтвердите завершение работы");
    EXPECT_EQ(v.dialogs.Questions()[0].text,
              "Текст документа не сохранен.\n\nСохранить документ при выходе?\n\n(Отмена - продолжение работы с протоколом)");
}

TEST(ProtocolViewer, BrowsingWithTheDialogCancelledShowsNothingAndClosesQuietly) {
    Viewer v;
    v.prot.Reset();
    v.prot.ProtDir = v.dir.File("prot");
    v.prot.AskFile = true;
    v.dialogs.ChooseFile("");
    v.prot.FormShow();
    EXPECT_TRUE(v.prot.RichEdit1->toPlainText().isEmpty());
    EXPECT_TRUE(v.prot.Saved);
    v.prot.reject();  // no question
    EXPECT_TRUE(v.dialogs.Questions().empty());
    EXPECT_EQ(v.dialogs.FileRequests().at(0).directory, v.dir.File("prot"));
}

TEST(ProtocolViewer, SaveAsCancelledStillCountsAsSavedAndDeleteActsOnlyOnItsFile) {
    Viewer v;
    v.AfterRun();
    v.dialogs.ChooseFile("");
    v.prot.aSaveAsExecute();
    EXPECT_TRUE(v.prot.Saved);
    EXPECT_EQ(v.dialogs.FileRequests().back().fileName, "12.000.txt");
    EXPECT_EQ(v.prot.Panel(0)->text().toStdString(), "12.000.txt");
    EXPECT_EQ(MyFName, "12.000.txt");
    // A name that is not the protocol shown: nothing is deleted or cleared, nothing asked.
    v.prot.aDeleteExecute();
    EXPECT_FALSE(v.prot.RichEdit1->toPlainText().isEmpty());
    EXPECT_EQ(v.dir.Read("prot/st/ProtTest.txt"), v.fresh);
    EXPECT_TRUE(v.dialogs.Questions().empty());
}

// The real boxes, answered while they are open, as the operator answers them.
void AnswerNextBox(QMessageBox::StandardButton button, std::string* text = nullptr) {
    QTimer::singleShot(100, [button, text] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        if (text) *text = box->text().toStdString();
        QTest::mouseClick(box->button(button), Qt::LeftButton);
    });
}

TEST(ProtocolViewer, DeleteAsksFirstAndAFailedSaveOnClosingKeepsTheViewerOpen) {
    Viewer v;
    QtDialogs real;
    platform::ScopedDialogs useReal(real);
    v.prot.Reset();
    MyFName = v.dir.File("prot/st/ProtTest.txt");  // chosen with "Открыть" before
    v.prot.ProtFile = MyFName;
    v.prot.Temporary = false;
    v.prot.FormShow();
    v.prot.show();
    QAction* del = nullptr;
    for (QAction* a : v.prot.findChildren<QAction*>())
        if (a->text() == QString::fromUtf8("Удалить")) del = a;
    ASSERT_NE(del, nullptr);
    std::string asked;
    AnswerNextBox(QMessageBox::No, &asked);
    del->trigger();
    EXPECT_EQ(asked, "Удалить протокол " + MyFName + "?");
    EXPECT_EQ(v.dir.Read("prot/st/ProtTest.txt"), v.fresh);
    AnswerNextBox(QMessageBox::Yes);
    del->trigger();
    EXPECT_FALSE(Exists(v.dir.File("prot/st/ProtTest.txt")));

    // A fresh protocol whose archive cannot be written: "Да" to saving, the error, and the
    // viewer is still there with the text.
    v.dir.Write("prot/blocked", "a file where the archive folder should be");
    v.prot.Reset();
    v.prot.ProtFile = v.dir.File("prot/blocked/ProtTest.txt");
    v.prot.Temporary = true;
    v.prot.RichEdit1->setPlainText("protocol");
    v.prot.show();
    std::string error;
    QTimer::singleShot(100, [&] {
        AnswerNextBox(QMessageBox::Ok, &error);  // the error box that follows the answer
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        QTest::mouseClick(box->button(QMessageBox::Yes), Qt::LeftButton);
    });
    QTest::keyClick(&v.prot, Qt::Key_Escape);
    EXPECT_NE(error.find("Не удалось создать файл архива"), std::string::npos) << error;
    EXPECT_TRUE(v.prot.isVisible());
    EXPECT_EQ(v.prot.RichEdit1->toPlainText().toStdString(), "protocol");
    MyFName.clear();
}

TEST(ProtocolViewer, PrintingHandsOverTheTextAndItsFileBytes) {
    Viewer v;
    v.AfterRun();
    v.dialogs.AcceptPrint(true);
    v.prot.aPrintExecute();
    ASSERT_EQ(v.dialogs.PrintRequests().size(), 1u);
    EXPECT_EQ(v.dialogs.PrintRequests()[0].printToFileBytes, v.fresh);
    EXPECT_EQ(v.dialogs.PrintRequests()[0].text, v.prot.RichEdit1->toPlainText().toStdString());
    const std::string pdf = v.dir.File("p.pdf");
    v.dialogs.ChooseFile(pdf);
    v.prot.aPdfExecute();
    std::string bytes;
    ASSERT_TRUE(platform::ReadFileBytes(pdf, bytes));
    EXPECT_EQ(bytes.substr(0, 5), "%PDF-");
}

TEST(LogicalNumberWindow, ProgrammingSendsTheCommandAndRefusesFieldsOutOfRange) {
    ScriptedDialogs dialogs;
    platform::ScopedDialogs use(dialogs);
    std::vector<std::string> sent;
    TFLog w([&](const std::string& t) { sent.push_back(t); });
    EXPECT_EQ(w.windowTitle().toStdString(), "Программирование логического номера");
    w.Lg1->setText("300");
    w.Lg6->setText("14");
    w.Lg7->setText("5");
    w.Lg2->setText("7");
    w.Lg3->setText("3");
    w.Lg45->setText("2016");
    GetLN = true;
    w.SpeedButton63Click();
    EXPECT_EQ(sent, std::vector<std::string>{"00  09 19 01 2C 07 03 07 E0 0E 05"});
    EXPECT_FALSE(GetLN);
    w.Lg2->setText("32");
    w.SpeedButton63Click();
    EXPECT_EQ(sent.size(), 1u);
    ASSERT_EQ(dialogs.Questions().size(), 1u);
    EXPECT_NE(dialogs.Questions()[0].text.find("«День»"), std::string::npos);
    w.SpeedButton23Click();
    EXPECT_EQ(w.Lg45->text().toInt(), QDate::currentDate().year());
    w.ShowReported(300, "07.03.2016", "14:05");
    EXPECT_EQ(w.LgP1->text().toStdString(), "300");
    EXPECT_EQ(w.LgP23->text().toStdString(), "07/03");
    EXPECT_EQ(w.LgP45->text().toStdString(), "2016");
    EXPECT_EQ(w.LgP67->text().toStdString(), "14:05");
}
