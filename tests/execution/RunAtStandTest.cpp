// Whole runs of the test window against the simulated station and stand, through the real
// channels: the demo script passing, a silent station, the abort, the loop exit and shutdown.
#include <gtest/gtest.h>

#include <QApplication>
#include <filesystem>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>
#include <QTimer>

#include "SimScenario.h"
#include "StandSim.h"
#include "execution/Globals.h"
#include "app/TStartWindow.h"
#include "platform/Termination.h"
#include "link/ChannelWindow.h"
#include "platform/Cp1251.h"
#include "platform/Paths.h"
#include "records/TProt.h"
#include "support/QtWait.h"
#include "support/ScriptedDialogs.h"
#include "support/TempDir.h"
#include "eeprom/TFPzu.h"
#include "eeprom/THexGrid.h"
#include "eeprom/TWPzu.h"
#include "records/TBirka.h"
#include "records/TFLog.h"
#include "execution/StatePages.h"
#include "execution/TFPrPch.h"
#include "EepromRig.h"
#include "records/RunStore.h"
#include "records/RunStoreWriter.h"

using namespace std::chrono_literals;
using platform::DialogResult;

namespace {

using Stand = StandRig;


}  // namespace

TEST(RunAtStand, TheDemoScriptPassesAndTheProgramShutsDownAfterIt) {
    Stand s(DemoScenario());
    ASSERT_TRUE(s.PrepareAndSelect());
    EXPECT_EQ(s.main->StatePages->Edit3->text().toStdString(), "1");  // the passport was checked
    EXPECT_EQ(s.Requests(0x3B), 1);
    s.dialogs.Answer(DialogResult::Yes);  // the operator sees the "Сеть" indicator
    ASSERT_TRUE(s.Operate([&] { return !s.main->Run().RunActive(); }, 90s)) << s.Status();
    EXPECT_EQ(s.Status(), "Проверка станции окончена.\nСтанция прошла проверку");
    EXPECT_EQ(s.dialogs.Questions().back().text, "Испытания окончены. Станция прошла проверку");
    EXPECT_TRUE(s.sim.ContactorOn(1));  // check 4 switched the station's supply on

    ASSERT_TRUE(WaitUntil([&] { return !s.main->TimerContactor.isActive(); }, 10s));
    s.dialogs.Answer(DialogResult::No);  // no next device
    s.main->BitBtn1Click();
    EXPECT_TRUE(s.main->ShuttingDown());
    const std::string p = s.Protocol();
    EXPECT_NE(p.find("Логический номер 1 \r\n"), std::string::npos);
    EXPECT_NE(p.find("\r\nСвязь со станцией\r\n \r\n завершена. \r\n"), std::string::npos);
    EXPECT_NE(p.find("|Обороты     |0          |100        |0          |0          |OK         |\r\n"), std::string::npos);
    const std::string verdict = std::string(74, '=') + " \r\nИтоговый результат: Станция прошла проверку \r\n";
    ASSERT_GT(p.size(), verdict.size());
    EXPECT_EQ(p.substr(p.size() - verdict.size()), verdict);
    EXPECT_EQ(s.viewersClosed, 1);

    // Shutdown: three ticks, combination 1 twice, both channels closed, the program ends.
    const size_t before = s.Outputs().size();
    ASSERT_TRUE(WaitUntil([&] { return platform::TerminationRequested(); }, 15s));
    EXPECT_EQ(s.Outputs().size() - before, 30u);
    EXPECT_FALSE(s.sim.ContactorOn(1));
    EXPECT_FALSE(s.c1.Manager() && s.c1.Manager()->IsOpen());
    EXPECT_FALSE(s.c2.Manager() && s.c2.Manager()->IsOpen());
    EXPECT_GE(s.Requests(0xA3), 2);  // the initial list's and the shutdown's
}

TEST(RunAtStand, ASilentStationGivesNoAnswerAndTheQuestionOnTheTwentyEighthCall) {
    sim::Scenario_T scenario;
    scenario.silent = true;
    Stand s(scenario);
    s.Show();
    s.main->OpenScript(s.dir.File("scn/stanciya.ini"));
    s.main->BuildCheckList();
    s.main->ListProv->item(1)->setCheckState(Qt::Checked);  // "Уставки и время" steps on the timer
    s.main->BtOKClick();
    ASSERT_TRUE(s.main->Run().RunActive());
    // The test makes the step timer's ticks itself, each once the previous command has left.
    auto tick = [&] {
        s.main->Timer1Timer();
        s.main->Timer1.stop();
    };
    tick();  // the first step goes out
    for (size_t i = 0; i < 27; ++i) {
        ASSERT_TRUE(WaitUntil([&] { return s.sim.StationRequests().size() == i + 1; }));
        tick();
        EXPECT_EQ(s.main->StatusPanel(2)->text().toStdString(), "Нет ответа");
    }
    ASSERT_TRUE(WaitUntil([&] { return s.sim.StationRequests().size() == 28; }));
    EXPECT_TRUE(s.dialogs.Questions().empty());
    s.dialogs.Answer(DialogResult::Yes);  // go on: channel 1 is closed and opened again
    tick();
    ASSERT_EQ(s.dialogs.Questions().size(), 1u);
    EXPECT_EQ(s.dialogs.Questions()[0].text, "Нет связи со станцией ! Продолжать?");
    ASSERT_TRUE(s.c1.Manager());
    EXPECT_TRUE(s.c1.Manager()->IsOpen());
    // The reopened channel still reaches the station: 28 sends before, one more after.
    ASSERT_TRUE(WaitUntil([&] { return s.sim.StationRequests().size() >= 29; }));
}

TEST(RunAtStand, AnAbortSendsTheFinalListAndSwitchesEverythingOff) {
    Stand s(DemoScenario());
    ASSERT_TRUE(s.PrepareAndSelect());
    s.main->BitBtn1Click();  // step1 of "Связь со станцией"
    ASSERT_TRUE(WaitUntil([&] { return s.main->Sender().Reader().ReplyDone(); }));
    const size_t a3 = s.Requests(0xA3), r41 = s.Requests(0x41), commands = s.Outputs().size();
    s.main->aAbortExecute();
    s.main->TimerContactorPower.stop();  // its ticks are driven below
    EXPECT_EQ(s.Status(), "Ждите.. Идет финальный обмен");
    // The final list and the contactor action, tick by tick as their timers would.
    ASSERT_TRUE(WaitUntil([&] { return !s.main->Run().ListRunning(); }, 10s));
    EXPECT_EQ(s.Requests(0xA3), a3 + 1);
    EXPECT_GE(s.Requests(0x41), r41 + 1);
    EXPECT_EQ(s.Status().rfind("Проверка прервана пользователем Отметьте", 0), 0u) << s.Status();
    EXPECT_NE(s.Protocol().find("Проверка прервана пользователем. \r\n"), std::string::npos);
    for (int tick = 0; tick < 5; ++tick) {
        s.main->TimerContactorPowerTimer();
        ASSERT_TRUE(WaitUntil([&] { return !s.main->TimerContactor.isActive(); }, 10s));
    }
    const auto sent = s.Outputs();
    ASSERT_EQ(sent.size() - commands, 30u);  // combination 1, then combination 3
    EXPECT_EQ(sent[commands], "@0200");      // contactor 9 off comes first in combination 1
    EXPECT_EQ(sent.back(), "@0300");         // 15 off ends combination 3 ...
    EXPECT_TRUE(s.sim.ContactorOn(1));       // ... after contactor 1 went on
    // The action's two resets on top of the list's.
    EXPECT_TRUE(WaitUntil([&] { return s.Requests(0x41) == r41 + 3; }));
    EXPECT_FALSE(s.main->Run().RunActive());
    EXPECT_TRUE(s.main->BtOK->isEnabled());
}

TEST(RunAtStand, AnAbortedRunLeavesItsJournalBesideTheProtocolWithTheBytesOfTheLine) {
    Stand s(DemoScenario());
    s.dir.Write("prot/12.000_journal.txt", "kept");  // an earlier run's journal of the same name
    ASSERT_TRUE(s.PrepareAndSelect());
    EXPECT_EQ(s.main->lbRunProgress->text().toStdString().rfind("Проверка 1 из ", 0), 0u);
    QTest::mouseClick(s.main->BitBtn1, Qt::LeftButton);  // "Начать!": the run's clock starts
    ASSERT_TRUE(WaitUntil([&] { return s.main->Sender().Reader().ReplyDone(); }));
    EXPECT_TRUE(QRegularExpression("^Проверка 1 из \\d+ · 00:0\\d$").match(s.main->lbRunProgress->text()).hasMatch())
        << s.main->lbRunProgress->text().toStdString();
    s.main->aAbortExecute();
    ASSERT_TRUE(WaitUntil([&] { return !s.main->Run().ListRunning(); }, 10s));
    ASSERT_TRUE(WaitUntil([&] { return !s.main->LastRunJournal().empty(); }, 10s));
    EXPECT_EQ(s.main->LastRunJournal(), "prot\\12.000_journal-2.txt");
    EXPECT_EQ(s.dir.Read("prot/12.000_journal.txt"), "kept");
    EXPECT_FALSE(s.main->TimerRunClock.isActive());
    const std::string text = platform::Cp1251ToUtf8(s.dir.Read("prot/12.000_journal-2.txt"));
    EXPECT_EQ(text.rfind("Журнал обмена\r\nУстройство: Станция ВОЛТАР, зав. номер 12. Итог: прервана оператором.\r\n\r\n", 0), 0u)
        << text.substr(0, 200);
    EXPECT_NE(text.find("К1 <- 4D "), std::string::npos);
    EXPECT_NE(text.find("| 73 Состояние ПЧ  (CRC верна)\r\n"), std::string::npos);
    EXPECT_NE(text.find("К2 -> 40 30 33 0D  | @03\\r\r\n"), std::string::npos);  // the input poll
    EXPECT_NE(text.find("К2 <- 3E 30 30 30 46 0D  | >000F\\r\r\n"), std::string::npos);

    // What the journal holds is what went over the lines, byte for byte.
    s.c1.CloseChannel();
    s.c2.CloseChannel();
    std::vector<uint8_t> in;
    std::vector<std::vector<uint8_t>> out;
    std::vector<std::string> modules;
    for (const JournalFrame_T& f : s.main->Journal().Read(0, 1000000)) {
        EXPECT_TRUE(f.accepted);
        if (f.channel == 1 && f.dir == JournalDir::In) in.insert(in.end(), f.bytes.begin(), f.bytes.end());
        if (f.channel == 1 && f.dir == JournalDir::Out) out.push_back(f.bytes);
        if (f.channel == 2 && f.dir == JournalDir::Out) modules.emplace_back(f.bytes.begin(), f.bytes.end() - 1);
    }
    EXPECT_EQ(in, s.sim.StationOutput());
    const auto requests = s.sim.StationRequests();
    ASSERT_EQ(out.size(), requests.size());
    for (size_t i = 0; i < out.size(); ++i)
        EXPECT_EQ(std::vector<uint8_t>(out[i].begin(), out[i].begin() + std::min(out[i].size(), requests[i].size())),
                  requests[i]) << i;
    EXPECT_EQ(modules, s.sim.ModuleCommands());
}

TEST(RunAtStand, AnAbortInsideAnOpenLoopOnlyEndsTheLoop) {
    Stand s({}, "loop.ini");
    s.dir.Write("scn/loop.ini",
                platform::Utf8ToCp1251("[title1]\nTitl=Цикл\nNextTitle=endtitle\nOneStep=1\n"
                                       "[step1]\nKeyExit=1\nPrOffTimer=0\nSend=00 01 88\nNext=step2\n"
                                       "[step2]\nRepeat=step2\nSend=00 01 88\nNext=endprov\n"));
    ASSERT_TRUE(s.PrepareAndSelect());
    s.main->BitBtn1Click();
    ASSERT_TRUE(WaitUntil([&] { return s.Requests(0x88) > 8; }, 20s));  // looping on the timer
    EXPECT_TRUE(s.main->Run().RunActive());
    s.main->aAbortExecute();
    ASSERT_TRUE(WaitUntil([&] { return s.Status() == "Цикл завершена."; }, 10s)) << s.Status();
    EXPECT_TRUE(s.main->Run().RunActive());  // the run goes on to its next check
    EXPECT_FALSE(s.main->Run().ListRunning());
    EXPECT_EQ(s.main->BitBtn1->text().toStdString(), "Продолжить?");
}

TEST(RunAtStand, AVersionMismatchFailsTheStationAndIsShownBeforeThePrompt) {
    sim::Scenario_T scenario = DemoScenario();
    scenario.versions = {2, 1, 1, 1};
    Stand s(scenario);
    s.prepareAtStart = true;
    s.Show();
    ASSERT_TRUE(WaitUntil([&] { return !s.main->Run().ListRunning(); }, 30s));
    const std::string message = "Ошибка номера версии ПО процессора платы ПУ-ПЧ.";
    EXPECT_EQ(s.Status(), message + " " + TRunSequencer::kSelectPrompt);
    EXPECT_TRUE(s.main->Run().StationFailed());
    ASSERT_EQ(s.dialogs.Questions().size(), 1u);
    EXPECT_EQ(s.dialogs.Questions()[0].text, message);
    EXPECT_EQ(s.main->StatePages->STVerCP->text().toStdString(), "2");
    const std::string p = s.Protocol();
    EXPECT_NE(p.find("Ошибка: " + message + " \r\n"), std::string::npos);
    EXPECT_NE(p.find(" Центральный             1        |      2 \r\n"), std::string::npos);
}

TEST(RunAtStand, ARunFromTheTagDialogEndsInAnArchiveFileOfItsSerial) {
    Stand s(DemoScenario());
    s.main->SetTagDialog({});  // the program's own tag dialog
    s.viewerCloser.stop();
    QTimer operatorAtTheStand;
    QObject::connect(&operatorAtTheStand, &QTimer::timeout, [&] {
        TBirka* tag = s.main->Birka();
        if (tag && tag->isVisible() && tag->btBirkaOk->isEnabled() == false && tag->ScriptIndex() < 0) {
            for (int i = 0; i < tag->cbPowerStantion->count(); ++i)
                if (tag->cbPowerStantion->itemText(i).startsWith(QString::fromUtf8("Станция ВОЛТАР")))
                    tag->cbPowerStantion->setCurrentIndex(i);
            tag->meSerialNumber->setText("12");
            tag->cbOperators->setEditText(QString::fromUtf8("Иванов"));
        }
        if (tag && tag->isVisible() && tag->btBirkaOk->isEnabled()) tag->btBirkaOk->click();
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* viewer = qobject_cast<TProt*>(w); viewer && viewer->isVisible()) {
                viewer->aSaveExecute();  // the fresh protocol goes to the archive
                viewer->reject();
            }
    });
    operatorAtTheStand.start(20);
    s.prepareAtStart = true;
    s.main->miLogicalNumberClick();  // open beside the test window: it shows what the board reports
    s.Show();
    ASSERT_TRUE(WaitUntil([&] { return !s.main->Run().ListRunning() && s.main->ListProv->count() > 0; }, 30s));
    EXPECT_TRUE(IsMaster);
    ASSERT_TRUE(s.main->LogicalNumberWindow());
    EXPECT_EQ(s.main->LogicalNumberWindow()->LgP1->text().toStdString(), "1");
    EXPECT_EQ(s.main->LogicalNumberWindow()->LgP23->text().toStdString(), "15/03");
    EXPECT_EQ(s.main->edSerial->text().toStdString(), "12");
    EXPECT_EQ(s.main->edKUin->text().toStdString(), "0.10200");  // K_U_IN 0.1 × TK_U_IN 1.02
    s.main->ListProv->item(0)->setCheckState(Qt::Checked);  // "Связь со станцией"
    s.main->BtOKClick();
    ASSERT_TRUE(s.Operate([&] { return !s.main->Run().RunActive(); }, 60s)) << s.Status();
    EXPECT_EQ(s.Status(), "Проверка станции окончена.\nСтанция прошла проверку");
    s.dialogs.Answer(DialogResult::No);  // no next device
    s.main->BitBtn1Click();

    const std::string folder = "prot/stanciya/";
    const std::string fresh = s.dir.Read(folder + "ProtTest.txt");
    EXPECT_EQ(s.dir.Read(folder + "12.000.txt"), fresh);
    const std::string p = platform::Cp1251ToUtf8(fresh);
    EXPECT_EQ(p.rfind("СУ Станция ВОЛТАР. Протокол проверки. \r\n", 0), 0u);
    EXPECT_NE(p.find("Оператор :  Иванов \r\n"), std::string::npos);
    EXPECT_NE(p.find("Версия тестов    : v1.05 \r\n"), std::string::npos);
    EXPECT_NE(p.find("\r\nСвязь со станцией\r\n \r\n завершена. \r\n"), std::string::npos);
    EXPECT_NE(p.find("Итоговый результат: Станция прошла проверку \r\n"), std::string::npos);
    EXPECT_NE(platform::Cp1251ToUtf8(s.dir.Read("data/birka.ini")).find("SerialNumber=12\r\n"), std::string::npos);
}


TEST(RunAtStand, TheEepromWindowProgramsTheBoardThroughChannelOne) {
    Stand s(DemoScenario());
    std::string file(32768, '\0');
    for (size_t i = 0; i < file.size(); ++i) file[i] = static_cast<char>((i * 31 + i / 256) & 0xFF);
    TRunStoreWriter records;
    std::string error;
    ASSERT_TRUE(records.Open(s.dir.File("data/runs.sqlite"), error)) << error;
    s.main->Recorder().SetSink(&records);
    QTimer typist;
    TFPzu* w = OpenEeprom(s, "pch.pzu", file, typist);
    ASSERT_TRUE(w);
    EXPECT_TRUE(w->isVisible());
    ASSERT_TRUE(w->SpeedButton62->isEnabled());
    w->SpeedButton62Click();
    // Blocks go as soon as the previous one is answered, as the block timer would send them.
    ASSERT_TRUE(WaitUntil(
        [&] {
            if (!w->WaitingForBlock() && w->TmrSend.isActive()) w->TmrSendTimer();
            return w->LProcPzu->text() == QString::fromUtf8("Программирование ВЫПОЛНЕНО.");
        },
        120s))
        << w->LProcPzu->text().toStdString();
    for (uint16_t a : {uint16_t{0}, uint16_t{63}, uint16_t{64}, uint16_t{0x4000}, uint16_t{0x7FFF}})
        EXPECT_EQ(s.sim.EepromByte(0, a), static_cast<uint8_t>(file[a])) << a;
    EXPECT_EQ(s.dir.Read("pzu/pch.A0"), file);
    EXPECT_EQ(w->STErr->text().toStdString(), "0");

    // Reading back after one byte of the EEPROM went bad.
    s.sim.SetEepromByte(0, 0x1234, static_cast<uint8_t>(file[0x1234] ^ 0x0F));
    const size_t requestsBefore = s.sim.StationRequests().size();
    w->SpeedButton1Click();
    ASSERT_TRUE(WaitUntil(
        [&] {
            if (!w->WaitingForBlock() && w->TmrSend.isActive()) w->TmrSendTimer();
            return !w->TmrSend.isActive();
        },
        120s));
    EXPECT_EQ(s.sim.StationRequests().size() - requestsBefore, 512u);
    EXPECT_EQ(w->LProcPzu->text().toStdString(), "Настройки не совпадают с файлом!.");
    EXPECT_EQ(w->Session().ErrorCount(), 1);
    EXPECT_EQ(w->Comparison()->GridOut->GetErrorCell(0x1234), 1);
    std::string expected = file;
    expected[0x1234] = static_cast<char>(file[0x1234] ^ 0x0F);
    EXPECT_EQ(s.dir.Read("pzu/pch.A0"), expected);
    w->close();
    EXPECT_FALSE(s.main->EepromWindow() && s.main->EepromWindow()->WindowActive());

    // Both sessions are in the stand's records; no run was open, so they belong to none.
    s.main->Recorder().SetSink(nullptr);
    records.Flush();
    TRunStore store;
    ASSERT_TRUE(store.Open(s.dir.File("data/runs.sqlite"), error)) << error;
    const auto sessions = store.EepromSessions("", error);
    ASSERT_EQ(sessions.size(), 2u) << error;
    EXPECT_EQ(sessions[0].kind, "programming");
    EXPECT_EQ(sessions[0].outcome, "passed");
    EXPECT_EQ(sessions[0].blocks, 512);
    EXPECT_EQ(sessions[1].kind, "reading");
    EXPECT_EQ(sessions[1].outcome, "failed");
    EXPECT_EQ(sessions[1].mismatches, 1);
    EXPECT_NE(sessions[1].file.find("pch.pzu"), std::string::npos) << sessions[1].file;
}

TEST(RunAtStand, AShortFileIsOneBlockAndAnI2cFailureIsShown) {
    sim::Scenario_T scenario = DemoScenario();
    Stand s(scenario);
    QTimer typist;
    TFPzu* w = OpenEeprom(s, "short.pzu", std::string(29, '\x5A'), typist);
    ASSERT_TRUE(w);
    w->TmrSend.setInterval(60000);  // the test makes the ticks
    w->SpeedButton62Click();
    w->TmrSendTimer();
    EXPECT_EQ(w->StaticText1->text().toStdString(), "512");
    EXPECT_EQ(w->LAdrPzu->text().toStdString(), "0000h - 0040h");
    w->BtProcPZUClick();  // paused with the block outstanding
    ASSERT_TRUE(WaitUntil([&] { return !w->WaitingForBlock(); }));
    w->BtProcPZUClick();
    w->TmrSendTimer();  // the first tick after the answer: the file is done
    EXPECT_EQ(w->LProcPzu->text().toStdString(), "Программирование ВЫПОЛНЕНО.");
    EXPECT_EQ(s.sim.EepromByte(0, 28), 0x5A);
    EXPECT_EQ(s.sim.EepromByte(0, 29), 0x00);  // the rest of the block as its buffer held it

    // The station reports the I2C bus broken: the run waits with the reason shown.
    scenario.i2cFail = true;
    s.sim.SetScenario(scenario);
    w->SpeedButton1Click();
    w->TmrSendTimer();
    ASSERT_TRUE(WaitUntil([&] { return w->LProcPzu->text() == QString::fromUtf8("Нет связи с ПЗУ по I2C"); }));
    EXPECT_TRUE(w->WaitingForBlock());
    w->SpeedButton1Click();  // the operator cancels
    EXPECT_FALSE(w->TmrSend.isActive());
    EXPECT_EQ(w->SpeedButton1->text().toStdString(), "Чтение");
}
