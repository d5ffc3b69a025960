// The test window with both channels open on the simulator: stand switching and answers.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>

#include "StandSim.h"
#include "execution/Globals.h"
#include "app/TStartWindow.h"
#include "platform/Termination.h"
#include "link/ChannelWindow.h"
#include "link/CommandCatalogue.h"
#include "platform/Cp1251.h"
#include "records/TProt.h"
#include "support/QtWait.h"
#include "support/ScriptedDialogs.h"
#include "support/TempDir.h"
#include "execution/TFPrPch.h"
#include "StandRig.h"

using namespace std::chrono_literals;

namespace {

// A shown window with a one-step script, the tests sending what they need themselves.
struct Stand : StandRig {
    explicit Stand(const sim::Scenario_T& scenario) : StandRig(scenario) {
        Show();
        main->TimerStatusICP.stop();
        main->OpenScript(dir.Write("scn/s.ini", "[step1]\nSend=00 01 88\n"));
    }
};

}  // namespace

TEST(StandAtWork, ACombinationSwitchesTheContactorsInItsOrder) {
    Stand s({});
    s.main->SetCombination(7, 50);
    ASSERT_TRUE(WaitUntil([&] { return !s.main->TimerContactor.isActive(); }, 10s));
    ASSERT_TRUE(WaitUntil([&] { return s.sim.ContactorChanges().size() == 2; }));
    const auto changes = s.sim.ContactorChanges();
    EXPECT_EQ(changes[0].contactor, 5);
    EXPECT_TRUE(changes[0].on);
    EXPECT_EQ(changes[1].contactor, 6);
    EXPECT_TRUE(s.sim.ContactorOn(5));
    const auto commands = s.sim.ModuleCommands();
    ASSERT_EQ(commands.size(), 12u);  // one command per pair of the combination
    EXPECT_EQ(commands.front(), "@0100");
    EXPECT_EQ(commands[10], "@0110");  // contactor 5 on: module 01, bit value 16
    EXPECT_EQ(commands[11], "@0201");  // contactor 6 on: module 02, bit value 1
}

TEST(StandAtWork, TheInputPollReadsTheInvertedInputs) {
    sim::Scenario_T scenario;
    scenario.inputs = 0x1;
    Stand s(scenario);
    s.main->TimerStatusICPTimer();
    ASSERT_TRUE(WaitUntil([&] { return s.main->StandIo().InputNibble() == 1; }));
    EXPECT_TRUE(s.main->MemoLog->toPlainText().contains("ICP in: 3E 30 30 30 45 0D"));
}

TEST(StandAtWork, AnAnswerIsDecodedIntoTheParameterBuffer) {
    sim::Scenario_T scenario;
    scenario.answers[0x73] = std::vector<uint8_t>(29, 0);
    scenario.answers[0x73][0] = 0x01;
    scenario.answers[0x73][1] = 0x2C;
    Stand s(scenario);
    s.main->Send = cmd::kState;
    s.main->SendStationCommand();
    ASSERT_TRUE(WaitUntil([&] { return s.main->Sender().Reader().ReplyDone(); }));
    EXPECT_FLOAT_EQ(s.main->Interpreter().BuffPar()[4], 300);
    EXPECT_EQ(s.main->StatusPanel(2)->text().toStdString(), "Ответ получен");
    EXPECT_EQ(s.main->StatusPanel(3)->text().toStdString(), "Двигатель вращается. Обороты: 300");
}

TEST(StandAtWork, PowerOffSendsA3AndSwitchesEverythingOff) {
    Stand s({});
    s.main->SetCombination(17, 30);  // contactor 14 on
    ASSERT_TRUE(WaitUntil([&] { return s.sim.ContactorOn(14); }));
    s.main->aAllContactorsOffExecute();
    ASSERT_TRUE(WaitUntil([&] { return !s.sim.ContactorOn(14); }, 10s));
    bool sawA3 = false;
    for (const auto& r : s.sim.StationRequests()) sawA3 = sawA3 || (r.size() > 3 && r[3] == 0xA3);
    EXPECT_TRUE(sawA3);
    EXPECT_EQ(s.main->sbtAutomatOff->text().toStdString(), "Включить АВТОМАТ");
    EXPECT_TRUE(s.main->AutomatOff());
}
