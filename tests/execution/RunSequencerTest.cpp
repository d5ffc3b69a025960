#include "execution/RunSequencer.h"

#include <gtest/gtest.h>

#include "execution/Globals.h"
#include "link/StationCodec.h"
#include "platform/Cp1251.h"
#include "records/ProtocolWriter.h"
#include "support/ScriptedDialogs.h"
#include "support/TempDir.h"
#include "execution/ResultsTable.h"
#include "execution/StepInterpreter.h"

using platform::DialogResult;

namespace {

// The test window as far as a run touches it: timers and buttons as flags, channel 1 as a list
// of sent texts whose reply flag the test sets when "the station answers".
class FakeWindow : public TStepHost, public TRunHost {
public:
    TReplyReader* reader = nullptr;
    bool stepTimer = false, listTimer = false, poll = false;
    int autopilotMs = 0;
    bool autopilotSelected = true;
    int cyclicStops = 0;
    std::string startCaption = "Начать!";
    bool startEnabled = false, errorEnabled = false, abortEnabled = false, automatEnabled = false;
    bool selectionEnabled = false, checkListEnabled = false;
    std::vector<bool> ticked;
    std::vector<int> unticked;
    std::string status, currentTest;
    StatusColour colour = StatusColour::Green;
    int noAnswers = 0;
    int progressMax = -1, progress = -1;
    bool progressShown = false;
    std::vector<std::string> sent;
    int reopens = 0, receiveClears = 0, abortActions = 0, shutdowns = 0;
    std::vector<std::string> viewers;
    bool automatOff = false;
    std::string versionMessage;
    int holdDepth = 0;  // boxes open with the window's timers held
    std::vector<RunTag_T> tagResults;  // answers of the tag dialog, in order; none left: Cancel

    // TStepHost
    void LogLine(const std::string&) override {}
    std::vector<std::string> LastLogLines(int) const override { return {}; }
    void ShowStatus(const std::string& text) override { status = text; }
    void SetAutopilotInterval(int) override {}
    void SetCombination(int, int) override {}
    bool ContactorActionRunning() const override { return false; }
    void StartContactorAction(int, int) override {}
    bool AskOperator(const std::string&, const std::string&) override {
        startCaption = "Пауза...";
        return true;
    }
    bool ShowPicture(const std::string&) override { return true; }
    void HidePicture() override {}
    bool AutomatOff() const override { return automatOff; }
    void SetAbortCaption(const std::string&) override {}
    void SetErrorButtonEnabled(bool on) override { errorEnabled = on; }
    void ScrollToRow(int) override {}
    void SendSetpointCommand() override {}
    void SendStepCommand(const std::string& text, const std::function<void(uint8_t&)>&) override { SendStation(text); }
    void ApplyPacing(int pacing) override {
        stepTimer = pacing == 0;
        if (pacing != 0) startCaption = "OK";
        startEnabled = pacing != 0;
    }
    uint8_t InputNibble() const override { return 15; }
    std::vector<uint8_t> LastEbPayload() const override { return {}; }

    // TRunHost
    void SetStepTimer(bool on) override { stepTimer = on; }
    bool StepTimerOn() const override { return stepTimer; }
    void SetListTimer(bool on) override { listTimer = on; }
    void SetStatePoll(bool on) override { poll = on; }
    bool StatePollOn() const override { return poll; }
    void StartAutopilot(int ms) override { autopilotMs = ms; }
    void StopAutopilot() override { autopilotMs = 0; }
    bool AutopilotSelected() const override { return autopilotSelected; }
    void SwitchAutopilotOff() override {
        autopilotSelected = false;
        autopilotMs = 0;
    }
    void StopCyclicRequest() override { ++cyclicStops; }
    void SetStartCaption(const std::string& c) override { startCaption = c; }
    std::string StartCaption() const override { return startCaption; }
    void SetStartEnabled(bool on) override { startEnabled = on; }
    bool StartEnabled() const override { return startEnabled; }
    void SetErrorEnabled(bool on) override { errorEnabled = on; }
    void SetAbortEnabled(bool on) override { abortEnabled = on; }
    void SetAutomatEnabled(bool on) override { automatEnabled = on; }
    void SetSelectionEnabled(bool on) override { selectionEnabled = checkListEnabled = on; }
    void SetCheckListEnabled(bool on) override { checkListEnabled = on; }
    void UntickCheck(int line) override {
        unticked.push_back(line);
        if (line >= 0 && line < static_cast<int>(ticked.size())) ticked[line] = false;
    }
    std::vector<bool> TickedChecks() const override { return ticked; }
    void ShowCheckList(const TScript::CheckList_T& list) override { ticked.assign(list.names.size(), true); }
    void SetCurrentTest(const std::string& t) override { currentTest = t; }
    void SetStatus(const std::string& text, StatusColour c) override {
        status = text;
        colour = c;
    }
    void SetStatusColour(StatusColour c) override { colour = c; }
    void SetStatusText(const std::string& text) override { status = text; }
    void HoldPacing(bool hold) override { holdDepth += hold ? 1 : -1; }
    void ShowNoAnswer() override { ++noAnswers; }
    void ShowProgress(int maximum) override {
        progressMax = maximum;
        progressShown = true;
    }
    void SetProgress(int value) override { progress = value; }
    void HideProgress() override { progressShown = false; }
    void ClearExchangeLog() override {}
    void ShowExchangeLog() override {}
    void ShowDevice(const RunTag_T&) override {}
    void RefreshCoefficients() override {}
    void ScrollTableToTop() override {}
    void SendStation(const std::string& text) override {
        sent.push_back(text);
        reader->SetReplyDone(false);
    }
    void ReopenStationChannel() override {
        ++reopens;
        *reader = TReplyReader();
    }
    void ClearStationReceive() override { ++receiveClears; }
    std::string SetpointCommand() override { return "00  0F a9 setpoints"; }
    std::string VersionMessage() const override { return versionMessage; }
    void NewDevice(const RunTag_T&) override {}
    void StartAbortAction() override { ++abortActions; }
    void ShowProtocolViewer(const std::string& path) override { viewers.push_back(path); }
    bool ShowTagDialog(RunTag_T& tag) override {
        if (tagResults.empty()) return false;
        tag = tagResults.front();
        tagResults.erase(tagResults.begin());
        return true;
    }
    void StartShutdown() override { ++shutdowns; }
};

// Two checks: "Связь" waits for the operator, "Напряжение" steps on the timer and judges U.
const char* kTwoChecks =
    "[title1]\nTitl=Связь\nText=Опрос\nNextTitle=title2\nOneStep=1\n"
    "[title2]\nTitl=Напряжение\nText=Вход\nNextTitle=endtitle\nOneStep=10\nPrOffTimer=0\nProt=1\n"
    "[step1]\nText=Опрос\nPrOffTimer=1\nSend=00 01 88\nNext=endprov\n"
    "[step10]\nControl=1\nParameter1=U,0,500,0,6\nPrOffTimer=0\nSend=00 01 88\nNext=step11\n"
    "[step11]\nSend=00 01 88\nNext=endprov\n";

struct Rig {
    TempDir dir;
    TScript script;
    TResultsTable table;
    TReplyReader reader;
    TProtocolWriter protocol;
    FakeWindow w;
    TStepInterpreter interp{script, table, w};
    TRunSequencer run{script, table, interp, reader, protocol, w};
    ScriptedDialogs dialogs;
    platform::ScopedDialogs use{dialogs};
    RunTag_T tag;

    explicit Rig(const std::string& scriptUtf8 = kTwoChecks, const std::string& kind = "Станция") {
        w.reader = &reader;
        Globals().TypeDevice = kind;
        IsMaster = false;
        tag.scriptPath = dir.Write("scn/s.ini", platform::Utf8ToCp1251(scriptUtf8));
        EXPECT_TRUE(protocol.Open(dir.File("prot/1.000.txt")));
    }
    void Answer() { reader.SetReplyDone(true); }
    // Preparation with a station that answers every command of the initial list.
    void Prepare() {
        run.Preparation(tag);
        for (int i = 0; i < 7 && run.ListRunning(); ++i) {
            run.ExchangeListTick();
            Answer();
        }
        ASSERT_FALSE(run.ListRunning());
    }
    std::string Protocol() const { return platform::Cp1251ToUtf8(dir.Read("prot/1.000.txt")); }
};

std::string Rows(std::initializer_list<const char*> rows) {
    std::string s = "\r\n|Параметр    |Мин.зн.    |Макс.зн.   |Контр.зн.  |Измер.зн.  |Резюме     |\r\n";
    for (const char* r : rows) s += std::string(r) + "\r\n";
    return s;
}

}  // namespace

TEST(RunPreparation, TheInitialListGoesOneCommandPerAnsweredTick) {
    Rig r;
    r.run.Preparation(r.tag);
    EXPECT_EQ(r.w.status, "Ждите ... Идет начальный цикл обмена");
    EXPECT_TRUE(r.w.listTimer);
    EXPECT_FALSE(r.w.poll);
    EXPECT_EQ(r.w.progressMax, 6);
    EXPECT_EQ(r.w.ticked.size(), 2u);  // the list of checks was built from the tag's script
    r.run.ExchangeListTick();
    r.run.ExchangeListTick();  // not answered: the same command again
    EXPECT_EQ(r.w.sent, (std::vector<std::string>{"00 01 88", "00 01 88"}));
    EXPECT_EQ(r.w.progress, 1);
    for (int i = 0; i < 5; ++i) {
        r.Answer();
        r.run.ExchangeListTick();
    }
    EXPECT_EQ(r.w.sent, (std::vector<std::string>{"00 01 88", "00 01 88", "00  01 3b", "00 01 a3",
                                                  "00  0F a9 setpoints", "00  01 b1", "00 05 10 a0 00 00 10"}));
    EXPECT_TRUE(r.run.ListRunning());
    r.Answer();
    r.run.ExchangeListTick();
    EXPECT_FALSE(r.run.ListRunning());
    EXPECT_FALSE(r.w.listTimer);
    EXPECT_FALSE(r.w.progressShown);
    EXPECT_TRUE(r.w.poll);
    EXPECT_TRUE(r.w.selectionEnabled);
    EXPECT_EQ(r.w.status, TRunSequencer::kSelectPrompt);
    EXPECT_EQ(r.w.colour, StatusColour::Green);
}

TEST(RunPreparation, AVersionMessageGoesBeforeThePromptAndIsMasterKeepsThePollStopped) {
    Rig r;
    r.w.versionMessage = "Станция содержит старую нумерацию версий ПО процессора.";
    IsMaster = true;
    r.Prepare();
    EXPECT_EQ(r.w.status, r.w.versionMessage + " " + TRunSequencer::kSelectPrompt);
    EXPECT_FALSE(r.w.poll);
    IsMaster = false;
}

TEST(RunPreparation, ASilentBoardIsAskedAboutAfterThirtySilentTicks) {
    Rig r;
    r.run.Preparation(r.tag);
    r.run.ExchangeListTick();  // the first command goes
    for (int i = 0; i < 30; ++i) r.run.ExchangeListTick();
    EXPECT_TRUE(r.dialogs.Questions().empty());
    EXPECT_EQ(r.run.ListSilentCount(), 30);
    r.dialogs.Answer(DialogResult::No);
    r.run.ExchangeListTick();
    ASSERT_EQ(r.dialogs.Questions().size(), 1u);
    EXPECT_EQ(r.dialogs.Questions()[0].text, "Прекратить работу?");
    EXPECT_EQ(r.dialogs.Questions()[0].caption, "Нет связи с платой");
    EXPECT_EQ(r.run.ListSilentCount(), 0);
    EXPECT_TRUE(r.w.listTimer);
    EXPECT_EQ(r.w.sent.size(), 32u);  // every silent tick sent the first command again
    for (int i = 0; i < 30; ++i) r.run.ExchangeListTick();
    r.dialogs.Answer(DialogResult::Yes);
    r.run.ExchangeListTick();
    EXPECT_EQ(r.w.shutdowns, 1);
    EXPECT_FALSE(r.run.ListRunning());
}

TEST(RunLifecycle, AWholeRunThatPassesWritesItsChecksAndTheVerdict) {
    Rig r;
    r.Prepare();
    r.run.SelectionDone();
    EXPECT_TRUE(r.run.RunActive());
    EXPECT_EQ(r.w.status, "Связь Опрос");
    EXPECT_EQ(r.w.currentTest, "Связь");
    EXPECT_EQ(r.w.startCaption, "Начать!");
    EXPECT_TRUE(r.w.startEnabled);
    EXPECT_FALSE(r.w.stepTimer);  // check 1 waits for the operator
    EXPECT_FALSE(r.w.selectionEnabled);
    const size_t before = r.w.sent.size();

    r.run.StartButtonPressed();  // step1 goes
    EXPECT_EQ(r.w.sent.size(), before + 1);
    EXPECT_EQ(r.w.autopilotMs, 2000);  // "OK": the autopilot presses again
    r.Answer();
    r.run.StartButtonPressed();  // endprov is executed like a step (the state request), then the check ends
    EXPECT_EQ(r.w.sent.size(), before + 2);
    EXPECT_EQ(r.w.sent.back(), "00 01 88");
    EXPECT_EQ(r.w.status, "Связь завершена.");
    EXPECT_EQ(r.w.startCaption, "Продолжить?");
    r.run.StartButtonPressed();  // the next check starts on the step timer
    EXPECT_EQ(r.w.unticked, std::vector<int>{0});
    EXPECT_EQ(r.w.status, "Напряжение. Вход");
    EXPECT_TRUE(r.w.stepTimer);
    EXPECT_FALSE(r.w.startEnabled);
    r.interp.BuffPar()[5] = 220;
    r.run.Step(1);  // step10
    r.Answer();
    r.run.Step(1);  // step11
    r.Answer();
    r.run.Step(1);  // endprov
    EXPECT_EQ(r.w.status, "Напряжение завершена.");
    EXPECT_FALSE(r.w.stepTimer);
    r.run.StartButtonPressed();
    EXPECT_FALSE(r.run.RunActive());
    EXPECT_EQ(r.w.status, "Проверка станции окончена.\nСтанция прошла проверку");
    ASSERT_EQ(r.dialogs.Questions().size(), 1u);
    EXPECT_EQ(r.dialogs.Questions()[0].text, "Испытания окончены. Станция прошла проверку");
    EXPECT_TRUE(r.w.selectionEnabled);
    EXPECT_EQ(r.w.currentTest, "");

    r.dialogs.Answer(DialogResult::No);
    r.run.StartButtonPressed();  // after the run
    EXPECT_EQ(r.dialogs.Questions().back().text, "Перейти к проверке следующего устройства?");
    EXPECT_EQ(r.dialogs.Questions().back().caption, "Конец проверки");
    EXPECT_EQ(r.w.shutdowns, 1);
    EXPECT_EQ(r.w.viewers, std::vector<std::string>{r.protocol.Path()});
    EXPECT_FALSE(r.protocol.IsOpen());
    EXPECT_EQ(r.Protocol(),
              "\r\nСвязь\r\n \r\n"
              " завершена. \r\n"  // a passed check without Prot=1 prints no rows
              "\r\nНапряжение\r\n \r\n"
                  " завершена. \r\n" +
                  Rows({"|U           |0          |500        |0          |220        |OK         |"}) +
                  std::string(74, '=') + " \r\nИтоговый результат: Станция прошла проверку \r\n");
}

TEST(RunLifecycle, OneFailedStepFailsTheStationEvenWhenTheOperatorGoesOn) {
    Rig r;
    r.Prepare();
    r.w.ticked = {false, true};
    r.run.SelectionDone();
    r.interp.BuffPar()[5] = 600;
    r.dialogs.Answer(DialogResult::No);
    r.run.Step(1);  // step10 fails: the operator goes on
    ASSERT_EQ(r.dialogs.Questions().size(), 1u);
    EXPECT_EQ(r.dialogs.Questions()[0].text, "Ошибка!!!! Прекращаю проверку?");
    EXPECT_EQ(r.dialogs.Questions()[0].caption, "Ошибка");
    EXPECT_TRUE(r.run.RunActive());
    EXPECT_TRUE(r.w.stepTimer);  // restored as it ran
    r.Answer();
    r.run.Step(1);
    r.Answer();
    r.run.Step(1);
    EXPECT_EQ(r.w.status, "Напряжение не прошла!");
    EXPECT_EQ(r.w.colour, StatusColour::Red);
    r.run.Step(1);
    EXPECT_EQ(r.w.status, "Проверка станции окончена.\nСтанция не прошла проверку");
    EXPECT_EQ(r.dialogs.Questions().back().text, "Испытания окончены. Станция не прошла проверку");
    EXPECT_EQ(r.w.colour, StatusColour::Red);  // the verdict keeps the failed check's colour
    const std::string p = r.Protocol();
    EXPECT_NE(p.find(" не прошла! \r\n"), std::string::npos);
    EXPECT_NE(p.find("|U           |0          |500        |0          |600        |"), std::string::npos);
}

TEST(RunLifecycle, AStoppedRunIsClosedByTheStartButtonAndAScriptErrorPausesOnTheSameStep) {
    Rig r;
    r.Prepare();
    r.w.ticked = {false, true};
    r.run.SelectionDone();
    r.run.Stop();  // "Обесточить станцию" in the middle of the run
    r.dialogs.Answer(DialogResult::No);
    r.run.StartButtonPressed();
    EXPECT_EQ(r.dialogs.Questions().back().text, "Перейти к проверке следующего устройства?");
    EXPECT_EQ(r.w.shutdowns, 1);

    // A bound that is no number: the box, then the run waits on the same step and rows.
    Rig e("[title1]\nTitl=Т\nOneStep=1\n[step1]\nControl=1\nParameter1=U,x,5,0,3\nNext=endprov\n");
    e.Prepare();
    e.run.SelectionDone();
    e.run.StartButtonPressed();
    ASSERT_EQ(e.dialogs.Questions().size(), 1u);
    EXPECT_EQ(e.dialogs.Questions()[0].caption, "Ошибка сценария");
    EXPECT_EQ(e.w.holdDepth, 0);
    EXPECT_TRUE(e.run.RunActive());
    EXPECT_FALSE(e.w.stepTimer);
    EXPECT_FALSE(e.w.autopilotSelected);
    EXPECT_TRUE(e.w.startEnabled);
    EXPECT_EQ(e.table.NextFreeRow(), 1);
    EXPECT_FALSE(e.run.StationFailed());
    const size_t sent = e.w.sent.size();
    e.run.StartButtonPressed();  // the same step again: the same box, nothing sent
    EXPECT_EQ(e.dialogs.Questions().size(), 2u);
    EXPECT_EQ(e.w.sent.size(), sent);
    EXPECT_EQ(e.table.NextFreeRow(), 1);
}

TEST(RunLifecycle, YesToTheFailedStepQuestionAbortsWithTheFinalList) {
    Rig r;
    r.Prepare();
    r.w.ticked = {false, true};
    r.run.SelectionDone();
    r.interp.BuffPar()[5] = 600;
    r.dialogs.Answer(DialogResult::Yes);
    const size_t before = r.w.sent.size();
    r.run.Step(1);
    EXPECT_FALSE(r.run.RunActive());
    EXPECT_TRUE(r.run.StationFailed());
    EXPECT_EQ(r.w.abortActions, 1);
    EXPECT_TRUE(r.run.ListRunning());
    r.Answer();
    r.run.ExchangeListTick();
    r.Answer();
    r.run.ExchangeListTick();
    r.Answer();
    r.run.ExchangeListTick();
    EXPECT_EQ(std::vector<std::string>(r.w.sent.begin() + static_cast<long>(before) + 1, r.w.sent.end()),
              (std::vector<std::string>{"00 01 a3", "00  01 41"}));
    EXPECT_EQ(r.w.status, std::string("Проверка прервана пользователем ") + TRunSequencer::kSelectPrompt);
    EXPECT_EQ(r.w.viewers.size(), 1u);
    const std::string p = r.Protocol();
    const std::string last = "|600        |ОШИБКА     |\r\nПроверка прервана пользователем. \r\n";
    ASSERT_GT(p.size(), last.size());
    EXPECT_EQ(p.substr(p.size() - last.size()), last);
}

TEST(RunLifecycle, ASilentStationIsAskedAboutOnTheTwentyEighthCall) {
    Rig r;
    r.Prepare();
    r.w.ticked = {false, true};
    r.run.SelectionDone();
    r.run.Step(1);  // step10 goes and nobody answers
    for (int i = 0; i < 27; ++i) r.run.Step(1);
    EXPECT_EQ(r.w.noAnswers, 27);
    EXPECT_TRUE(r.dialogs.Questions().empty());
    EXPECT_EQ(r.interp.CurrentStep(), "step10");  // the same step, sent again each call

    r.dialogs.Answer(DialogResult::Yes);
    r.run.Step(1);
    ASSERT_EQ(r.dialogs.Questions().size(), 1u);
    EXPECT_EQ(r.dialogs.Questions()[0].text, "Нет связи со станцией ! Продолжать?");
    EXPECT_EQ(r.dialogs.Questions()[0].caption, "Конец проверки");
    EXPECT_EQ(r.dialogs.Questions()[0].buttons, platform::DialogButtons::YesNoCancel);
    EXPECT_EQ(r.w.reopens, 1);
    EXPECT_TRUE(r.w.stepTimer);
    EXPECT_EQ(r.run.RunSilentCount(), 0);

    for (int i = 0; i < 27; ++i) r.run.Step(1);
    r.dialogs.Answer(DialogResult::Cancel);
    const size_t sent = r.w.sent.size();
    r.run.Step(1);
    EXPECT_FALSE(r.w.stepTimer);  // paused until the start button
    EXPECT_TRUE(r.w.startEnabled);
    EXPECT_EQ(r.w.sent.size(), sent);

    for (int i = 0; i < 28; ++i) {
        if (i == 27) r.dialogs.Answer(DialogResult::No);
        r.run.Step(1);
    }
    EXPECT_EQ(r.w.shutdowns, 1);
}

TEST(RunLifecycle, AbortSendsTheFinalListAndKeyExitOnlyEndsTheLoop) {
    Rig r("[title1]\nTitl=Цикл\nNextTitle=endtitle\nOneStep=1\n"
          "[step1]\nKeyExit=1\nRepeat=step1\nPrOffTimer=1\nNext=endprov\n");
    r.Prepare();
    r.run.SelectionDone();
    r.run.StartButtonPressed();
    EXPECT_EQ(r.interp.LoopExitMode(), 1);
    r.run.Abort();
    EXPECT_EQ(r.interp.LoopExitMode(), 0);
    EXPECT_TRUE(r.run.RunActive());
    EXPECT_FALSE(r.run.ListRunning());
    EXPECT_EQ(r.w.abortActions, 0);
    EXPECT_EQ(r.w.status, "Ждите.. Идет финальный обмен");
    EXPECT_FALSE(r.w.autopilotSelected);

    r.run.Abort();  // now the run ends
    EXPECT_FALSE(r.run.RunActive());
    EXPECT_EQ(r.interp.CurrentStep(), "endprov");
    EXPECT_EQ(r.w.abortActions, 1);
    EXPECT_EQ(r.w.progressMax, 2);
    const size_t before = r.w.sent.size();
    for (int i = 0; i < 3; ++i) {
        r.run.ExchangeListTick();
        r.Answer();
    }
    EXPECT_EQ(std::vector<std::string>(r.w.sent.begin() + static_cast<long>(before), r.w.sent.end()),
              (std::vector<std::string>{"00 01 a3", "00  01 41"}));
    EXPECT_FALSE(r.w.startEnabled);
    EXPECT_FALSE(r.w.abortEnabled);
    EXPECT_TRUE(r.w.selectionEnabled);
    EXPECT_EQ(r.w.receiveClears, 1);
    EXPECT_FALSE(r.protocol.IsOpen());
    EXPECT_NE(r.Protocol().find("Проверка прервана пользователем. \r\n"), std::string::npos);
}

TEST(RunProtocolRows, ProtZeroWritesOnlyTheNameAndABoardsFirstCheckNoRows) {
    const char* script =
        "[title1]\nTitl=Подготовка\nNextTitle=title2\nOneStep=1\n"
        "[title2]\nTitl=Тихая\nNextTitle=endtitle\nOneStep=2\nProt=0\nPrOffTimer=1\n"
        "[step1]\nControl=1\nParameter1=U,0,500,0,6\nPrOffTimer=1\nNext=endprov\n"
        "[step2]\nControl=1\nParameter1=U,0,500,0,6\nPrOffTimer=1\nNext=endprov\n";
    Rig r(script, "Плата");
    r.Prepare();
    r.run.SelectionDone();
    for (int i = 0; i < 5; ++i) {
        r.run.StartButtonPressed();
        r.Answer();
    }
    EXPECT_EQ(r.w.status, "Тихая завершена.");
    EXPECT_EQ(r.Protocol(), "\r\nПодготовка\r\n \r\n завершена. \r\n\r\nТихая\r\n \r\n завершена. \r\n");
}

TEST(RunProtocolRows, OnlyFilledRowsOfTheCheckAreWritten) {
    TResultsTable t;
    t.SetRowText(1, "A,1,2,3,4,OK");
    t.SetRowText(3, "B,1,2,3,4,OK");
    t.SetRowText(4, "C");  // beyond the next free row
    const auto lines = TRunSequencer::CheckRowsText(t, 1, 4);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[1], "|A           |1          |2          |3          |4          |OK         |\n");
    EXPECT_EQ(lines[2].substr(0, 14), "|B           |");
}

TEST(RunAutopilot, TheTickPressesAnEnabledButtonOrWaits) {
    Rig r;
    r.Prepare();
    r.run.SelectionDone();
    r.w.startEnabled = false;
    r.run.AutopilotTick();
    EXPECT_EQ(r.w.autopilotMs, 2000);
    const size_t before = r.w.sent.size();
    r.w.startEnabled = true;
    r.run.AutopilotTick();
    EXPECT_EQ(r.w.sent.size(), before + 1);  // the first step went
    EXPECT_EQ(r.w.autopilotMs, 2000);        // and the autopilot presses again
}

TEST(RunAutopilot, AStepLeftPausedSwitchesTheAutopilotOff) {
    Rig r("[title1]\nTitl=Вопрос\nNextTitle=endtitle\nOneStep=1\n"
          "[step1]\nShowMessage=1\nMessageText1=Стенд\nMessageText2=Готов?\nPrOffTimer=0\nNext=endprov\n");
    r.Prepare();
    r.run.SelectionDone();
    r.run.StartButtonPressed();
    EXPECT_EQ(r.w.startCaption, "Пауза...");
    EXPECT_FALSE(r.w.autopilotSelected);
    EXPECT_EQ(r.w.autopilotMs, 0);
}

TEST(RunLifecycle, TheNextDeviceStartsFromTheTagWithACleanVerdict) {
    Rig r;
    r.Prepare();
    r.w.ticked = {false, true};
    r.run.SelectionDone();
    r.interp.BuffPar()[5] = 600;
    r.dialogs.Answer(DialogResult::No);  // the failed step: go on
    for (int i = 0; i < 4; ++i) {
        r.run.Step(1);
        r.Answer();
    }
    ASSERT_FALSE(r.run.RunActive());
    ASSERT_TRUE(r.run.StationFailed());
    r.w.tagResults.push_back(r.tag);  // the operator fills the tag of the next device
    r.dialogs.Answer(DialogResult::Yes);
    r.run.StartButtonPressed();
    EXPECT_NE(r.Protocol().find("Итоговый результат: Станция не прошла проверку \r\n"), std::string::npos);
    EXPECT_EQ(r.w.shutdowns, 0);
    EXPECT_FALSE(r.run.StationFailed());
    EXPECT_TRUE(r.run.ListRunning());  // the initial exchange for the new device
    EXPECT_EQ(r.w.status, "Ждите ... Идет начальный цикл обмена");

    r.Prepare();
    r.run.NewDevice();  // "Новая проверка" with the tag dialog cancelled: shutdown
    EXPECT_EQ(r.w.shutdowns, 1);
}
