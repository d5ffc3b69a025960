// The operator at the simulated stand, through the window's controls: a value typed into the
// results table is what the repeated step judges and the protocol holds; a script error's box
// holds the stand still while it is open.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QLineEdit>
#include <QMessageBox>
#include <QTableWidget>
#include <QTest>

#include "SimScenario.h"
#include "StandRig.h"
#include "app/QtDialogs.h"

namespace {

// One check, one operator row: its control value 5 fails the limits 10..20, so the step
// repeats (up to three times) and judges what the operator typed meanwhile.
const char* kOperatorScript =
    "[title1]\r\nTitl=Ввод\r\nOneStep=1\r\nProt=1\r\n"
    "[step1]\r\nPrOffTimer=1\r\nControl=1\r\nParameter1=Uop,10,20,5,0\r\nRepeat=step1\r\nMaxRepeat=3\r\n"
    "Send=00 01 88\r\nNext=endprov\r\n";

void ClickStart(StandRig& s) {
    ASSERT_TRUE(WaitUntil([&] { return s.main->BitBtn1->isEnabled() && s.main->Sender().Reader().ReplyDone(); }, 5s));
    QTest::mouseClick(s.main->BitBtn1, Qt::LeftButton);
}

// Double-click on the cell, select what it holds, type, Enter: as the operator answers a row.
void TypeIntoCell(QTableWidget* table, int viewRow, int column, const QString& text) {
    const QRect cell = table->visualRect(table->model()->index(viewRow, column));
    QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, cell.center());
    QTest::mouseDClick(table->viewport(), Qt::LeftButton, {}, cell.center());
    auto* editor = table->viewport()->findChild<QLineEdit*>();
    ASSERT_NE(editor, nullptr) << "the cell did not open for editing";
    QTest::keyClick(editor, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(editor, text);
    QTest::keyClick(editor, Qt::Key_Return);
}

}  // namespace

TEST(OperatorAtStand, AValueTypedIntoTheTableIsJudgedOnTheRepeatAndWritten) {
    for (const auto& [typed, verdict] : {std::pair{"15", "OK"}, std::pair{"25", "ОШИБКА"}}) {
        StandRig s(sim::Scenario_T{}, "op.ini");
        s.dir.Write("scn/op.ini", platform::Utf8ToCp1251(kOperatorScript));
        ASSERT_TRUE(s.PrepareAndSelect());
        QTableWidget* t = s.main->Tabl1;
        ClickStart(s);  // the first judgement: the empty cell takes the control value
        EXPECT_EQ(t->item(0, 4)->text().toStdString(), "5");
        EXPECT_EQ(t->item(0, 5)->text().toStdString(), "ОШИБКА");
        EXPECT_EQ(t->currentRow(), 0);
        EXPECT_EQ(t->currentColumn(), 4);
        // Only that cell takes the operator's keys: the attempt row and the other columns do not.
        EXPECT_FALSE(t->item(0, 3)->flags() & Qt::ItemIsEditable);
        EXPECT_FALSE(t->item(1, 4)->flags() & Qt::ItemIsEditable);

        TypeIntoCell(t, 0, 4, typed);
        s.dialogs.Answer(platform::DialogResult::No);  // outside: go on after the last attempt
        for (int press = 0; press < 4 && s.main->Run().RunActive() && s.main->BitBtn1->text() != "Продолжить?";
             ++press)
            ClickStart(s);
        ASSERT_EQ(s.main->BitBtn1->text().toStdString(), "Продолжить?") << typed;
        EXPECT_EQ(t->item(0, 4)->text().toStdString(), typed);
        ClickStart(s);  // the run's end
        s.dialogs.Answer(platform::DialogResult::No);  // no next device
        ClickStart(s);
        const std::string row = "|Uop         |10         |20         |5          |" + std::string(typed) + "         |" +
                                std::string(verdict) + (std::string(verdict) == "OK" ? "         " : "     ") + "|\r\n";
        EXPECT_NE(s.Protocol().find(row), std::string::npos) << s.Protocol();
        // The attempt row beyond the check's rows is not in the protocol.
        EXPECT_EQ(s.Protocol().find("Время_ож"), std::string::npos);
    }
}

TEST(OperatorAtStand, AScriptErrorsBoxHoldsTheStandStillAndLeavesTheRunPaused) {
    StandRig s(sim::Scenario_T{}, "err.ini");
    // The step switches combination 1 (15 changes at 150 ms) and then finds its picture missing.
    s.dir.Write("scn/err.ini", platform::Utf8ToCp1251("[title1]\r\nTitl=Рисунок\r\nOneStep=1\r\n"
                                                      "[step1]\r\nNumCombin=1\r\nShowPicture=\\nowhere.bmp\r\n"
                                                      "Next=endprov\r\n"));
    ASSERT_TRUE(s.PrepareAndSelect());
    QtDialogs real;
    platform::ScopedDialogs useReal(real);
    size_t requests = 0, commands = 0;
    bool boxSeen = false;
    QTimer::singleShot(200, [&] {
        boxSeen = qobject_cast<QMessageBox*>(QApplication::activeModalWidget()) != nullptr;
        requests = s.sim.StationRequests().size();
        commands = s.sim.ModuleCommands().size();
    });
    QTimer::singleShot(3200, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            EXPECT_EQ(box->windowTitle().toStdString(), "Ошибка сценария");
            EXPECT_EQ(s.sim.StationRequests().size(), requests);  // nothing sent for 3 s
            EXPECT_EQ(s.sim.ModuleCommands().size(), commands);   // no contactor switched, no poll
            QTest::keyClick(box, Qt::Key_Return);
        }
    });
    ClickStart(s);
    EXPECT_TRUE(boxSeen);
    // Paused: no step timer, the button waits for the operator, the run still active.
    EXPECT_TRUE(s.main->Run().RunActive());
    EXPECT_FALSE(s.main->Timer1.isActive());
    EXPECT_TRUE(s.main->BitBtn1->isEnabled());
    EXPECT_FALSE(s.main->Run().StationFailed());
    // The held switching goes on after the box: all 15 changes of combination 1 reach the stand.
    EXPECT_TRUE(WaitUntil([&] { return s.Outputs().size() >= 15; }, 5s)) << s.Outputs().size();
}

TEST(OperatorAtStand, ContactorActionOneSendsEveryChangeOfBothItsCombinations) {
    StandRig s(sim::Scenario_T{}, "act.ini");
    s.dir.Write("scn/act.ini", platform::Utf8ToCp1251("[title1]\r\nTitl=Отключение\r\nOneStep=1\r\n"
                                                      "[step1]\r\nAction=1\r\nPrOffTimer=1\r\nNext=endprov\r\n"));
    ASSERT_TRUE(s.PrepareAndSelect());
    const size_t before = s.Outputs().size();
    ClickStart(s);
    // Five stages of 3000 ms; combination 1 (15 pairs at 200 ms) must not be cut by the next.
    ASSERT_TRUE(WaitUntil([&] { return s.main->TimerContactorPower.isActive(); }, 2s));
    ASSERT_TRUE(WaitUntil([&] { return !s.main->TimerContactorPower.isActive(); }, 20s));
    ASSERT_TRUE(WaitUntil([&] { return !s.main->TimerContactor.isActive(); }, 5s));
    const std::vector<std::string> out = s.Outputs();
    EXPECT_EQ(out.size() - before, 30u);
    EXPECT_TRUE(s.sim.ContactorOn(1));  // combination 3's "1 on", after all of combination 1
}

TEST(OperatorAtStand, TheEepromByteOfTheInitialExchangeIsKeptInPzuIni) {
    StandRig s(sim::Scenario_T{});
    s.sim.SetEepromByte(0, 0x0000, 0x5A);
    ASSERT_TRUE(s.PrepareAndSelect());
    // The initial list's read of page A0 at 0000 answered; its first byte is in the file itself.
    const std::string pzu = s.dir.Read("data/pzu.ini");
    const size_t section = pzu.find("[Pzu0]");
    ASSERT_NE(section, std::string::npos) << pzu;
    EXPECT_NE(pzu.find("Data=90", section), std::string::npos) << pzu;
}
