#include "execution/StepInterpreter.h"

#include <gtest/gtest.h>

#include "link/StationCodec.h"
#include "platform/Cp1251.h"

namespace {

// Records what a step asks of the test window.
class FakeHost : public TStepHost {
public:
    std::vector<std::string> log, status, sent, pictures;
    std::vector<std::pair<int, int>> combinations, actions;
    std::vector<int> pacing;
    std::vector<std::string> abortCaptions;
    int setpointCommands = 0;
    bool yes = true;
    int questions = 0;
    bool automatOff = false;
    bool pictureExists = true;
    uint8_t nibble = 0x0E;
    std::vector<uint8_t> eb;
    std::vector<bool> errorButton;
    std::vector<std::vector<uint8_t>> packets;

    void LogLine(const std::string& line) override { log.push_back(line); }
    std::vector<std::string> LastLogLines(int count) const override {
        const int n = std::min<int>(count, static_cast<int>(log.size()));
        return std::vector<std::string>(log.end() - n, log.end());
    }
    void ShowStatus(const std::string& text) override { status.push_back(text); }
    void SetAutopilotInterval(int) override {}
    void SetCombination(int number, int ms) override { combinations.emplace_back(number, ms); }
    bool ContactorActionRunning() const override { return false; }
    void StartContactorAction(int a, int ms) override { actions.emplace_back(a, ms); }
    bool AskOperator(const std::string&, const std::string&) override {
        ++questions;
        return yes;
    }
    bool ShowPicture(const std::string& path) override {
        pictures.push_back(path);
        return pictureExists;
    }
    void HidePicture() override { pictures.push_back("<none>"); }
    bool AutomatOff() const override { return automatOff; }
    void SetAbortCaption(const std::string& c) override { abortCaptions.push_back(c); }
    void SetErrorButtonEnabled(bool e) override { errorButton.push_back(e); }
    void ScrollToRow(int) override {}
    void SendSetpointCommand() override { ++setpointCommands; }
    void SendStepCommand(const std::string& text, const std::function<void(uint8_t&)>& rewrite) override {
        sent.push_back(text);
        packets.push_back(BuildRequestPacket(text, rewrite).bytes);
    }
    void ApplyPacing(int p) override { pacing.push_back(p); }
    uint8_t InputNibble() const override { return nibble; }
    std::vector<uint8_t> LastEbPayload() const override { return eb; }
};

struct Rig {
    TScript script;
    TResultsTable table;
    FakeHost host;
    TStepInterpreter step{script, table, host};

    explicit Rig(const std::string& utf8) { script.LoadBytes(platform::Utf8ToCp1251(utf8)); }
    TStepInterpreter::Result_T Run(const std::string& section, int mode = 1) {
        step.SetCurrentStep(section);
        return step.ExecuteStep(mode);
    }
    std::string Cell(int c, int r) const { return table.Cell(c, r); }
};

const char* kURow = "[s]\nControl=1\nParameter1=U,380,420,400,3\n";

}  // namespace

TEST(StepJudging, BoundsAreInclusiveAndValuesShownAsTheStandShowsThem) {
    const struct {
        float value;
        bool pass;
        const char* shown;
    } cases[] = {{380, true, "380"},         {420, true, "420"},   {379.99f, false, "379.99"},
                 {420.01f, false, "420.01"}, {400.5f, true, "400.50"}, {400, true, "400"}};
    for (const auto& c : cases) {
        Rig rig(kURow);
        rig.step.BuffPar()[2] = c.value;
        const auto r = rig.Run("s");
        EXPECT_EQ(r.outcome, c.pass ? TStepInterpreter::Outcome::Passed : TStepInterpreter::Outcome::Failed);
        EXPECT_EQ(rig.Cell(0, 1), "U");
        EXPECT_EQ(rig.Cell(3, 1), "400");
        EXPECT_EQ(rig.Cell(4, 1), c.shown) << c.value;
        EXPECT_EQ(rig.Cell(5, 1), c.pass ? "OK" : "ОШИБКА");
        EXPECT_EQ(rig.step.FailedSteps(), c.pass ? 0 : 1);
    }
    EXPECT_EQ(TStepInterpreter::FormatMeasured(0.4), "0");
    EXPECT_EQ(TStepInterpreter::FormatMeasured(1.0), "1");
}

TEST(StepJudging, WithoutControlRowsAreWrittenButNeverFail) {
    Rig rig("[s]\nParameter1=U,380,420,400,3\nParameter2=I,0,1,0,4\n");
    rig.step.BuffPar()[2] = 1;
    EXPECT_EQ(rig.Run("s").outcome, TStepInterpreter::Outcome::Passed);
    EXPECT_EQ(rig.table.NextFreeRow(), 3);
    EXPECT_EQ(rig.Cell(5, 1), "");
    EXPECT_EQ(rig.step.StepRows(), 2);
}

TEST(StepJudging, MasksJudgeBitsAndChangeTheSpelling) {
    Rig rig("[s]\nControl=1\nMaska1=6\nParameter1=Bits,1,1,1,1\n");
    rig.step.BuffPar()[0] = 7;
    EXPECT_EQ(rig.Run("s").outcome, TStepInterpreter::Outcome::Passed);
    EXPECT_EQ(rig.Cell(4, 1), "1");
    EXPECT_EQ(rig.Cell(5, 1), "OK.");
    rig.step.BuffPar()[0] = 5;
    EXPECT_EQ(rig.Run("s").outcome, TStepInterpreter::Outcome::Failed);
    EXPECT_EQ(rig.Cell(4, 2), "0");
    EXPECT_EQ(rig.Cell(5, 2), "ОШИБКА.");
    // Maska2 belongs to the second row only.
    Rig two("[s]\nControl=1\nMaska2=3\nParameter1=A,7,7,7,1\nParameter2=B,1,1,1,1\n");
    two.step.BuffPar()[0] = 7;
    EXPECT_EQ(two.Run("s").outcome, TStepInterpreter::Outcome::Passed);
    EXPECT_EQ(two.Cell(4, 1), "7");
    EXPECT_EQ(two.Cell(5, 1), "OK");
    EXPECT_EQ(two.Cell(5, 2), "OK.");
}

TEST(StepJudging, OperatorRowsTakeTheControlValueOrTheTypedOne) {
    Rig rig("[s]\nControl=1\nParameter1=Осмотр,1,1,1,0\n");
    EXPECT_EQ(rig.Run("s").outcome, TStepInterpreter::Outcome::Passed);
    EXPECT_EQ(rig.Cell(4, 1), "1");
    EXPECT_EQ(rig.Cell(5, 1), "OK");

    // A repeated step writes its rows again over the same ones; what the operator typed into
    // the measured column in between is what gets judged.
    rig.table.SetNextFreeRow(1);
    rig.table.SetCell(4, 1, "0");
    EXPECT_EQ(rig.Run("s").outcome, TStepInterpreter::Outcome::Failed);
    EXPECT_EQ(rig.Cell(4, 1), "0");
    EXPECT_EQ(rig.Cell(5, 1), "ОШИБКА");
    rig.table.SetNextFreeRow(1);
    rig.table.SetCell(4, 1, "x");
    EXPECT_EQ(rig.Run("s").outcome, TStepInterpreter::Outcome::Error);  // not a number
}

TEST(StepJudging, ErrorModeFailsTheFirstOperatorRowAndStops) {
    Rig rig("[s]\nControl=1\nParameter1=U,0,500,1,1\nParameter2=Осмотр,1,1,1,0\nParameter3=W,0,1,0,2\n");
    const auto r = rig.Run("s", 0);
    EXPECT_EQ(r.outcome, TStepInterpreter::Outcome::Failed);
    EXPECT_EQ(rig.Cell(5, 1), "OK");
    EXPECT_EQ(rig.Cell(4, 2), "ОШИБКА");
    EXPECT_EQ(rig.Cell(5, 2), "-");
    EXPECT_EQ(rig.Cell(4, 3), "");  // not judged
    EXPECT_EQ(rig.Cell(5, 3), "");
}

TEST(StepJudging, BadScriptValuesStopTheStepWithAReason) {
    Rig index("[s]\nControl=1\nParameter1=U,0,1,0,2006\n");
    auto r = index.Run("s");
    EXPECT_EQ(r.outcome, TStepInterpreter::Outcome::Error);
    EXPECT_NE(r.error.find("2005"), std::string::npos);
    EXPECT_NE(index.Cell(5, 1).find("ОШИБКА"), std::string::npos);
    EXPECT_TRUE(index.host.sent.empty());  // nothing sent from a step that could not complete

    Rig bound("[s]\nControl=1\nParameter1=U,low,1,0,1\n");
    EXPECT_EQ(bound.Run("s").outcome, TStepInterpreter::Outcome::Error);
    Rig stimul("[s]\nNumFunction=2\nStimul=0\n");
    EXPECT_EQ(stimul.Run("s").outcome, TStepInterpreter::Outcome::Error);
    Rig words("[s]\nNumFunction=2\nStimul=abc\n");
    EXPECT_EQ(words.Run("s").outcome, TStepInterpreter::Outcome::Error);
    Rig picture("[s]\nShowPicture=\\missing.bmp\n");
    picture.host.pictureExists = false;
    EXPECT_EQ(picture.Run("s").outcome, TStepInterpreter::Outcome::Error);
}

TEST(StepRepetition, MaxRepeatEndsAFailingLoopOnTheThirdAttempt) {
    Rig rig("[s]\nControl=1\nRepeat=s\nMaxRepeat=3\nParameter1=U,380,420,400,3\n");
    rig.step.BuffPar()[2] = 0;
    for (int attempt = 1; attempt <= 2; ++attempt) {
        EXPECT_EQ(rig.Run("s").outcome, TStepInterpreter::Outcome::Passed) << attempt;
        EXPECT_EQ(rig.step.RepeatTarget(), "s");
        EXPECT_EQ(rig.step.Attempts(), attempt);
        EXPECT_EQ(rig.Cell(0, rig.table.NextFreeRow()), "Время_ож");
        EXPECT_EQ(rig.Cell(4, rig.table.NextFreeRow()), std::to_string(attempt));
        EXPECT_EQ(rig.Cell(5, rig.table.NextFreeRow()), "OK");
        rig.table.SetNextFreeRow(rig.table.NextFreeRow() - 1);  // the sequencer rewrites the rows
    }
    EXPECT_EQ(rig.Run("s").outcome, TStepInterpreter::Outcome::Failed);
    EXPECT_EQ(rig.step.RepeatTarget(), "");
    EXPECT_EQ(rig.step.Attempts(), 0);
    EXPECT_EQ(rig.Cell(5, rig.table.NextFreeRow()), "-");
    EXPECT_EQ(rig.step.FailedSteps(), 1);

    Rig passing("[s]\nControl=1\nRepeat=s\nMaxRepeat=3\nParameter1=U,380,420,400,3\n");
    passing.step.BuffPar()[2] = 400;
    EXPECT_EQ(passing.Run("s").outcome, TStepInterpreter::Outcome::Passed);
    EXPECT_EQ(passing.step.RepeatTarget(), "");
}

TEST(StepRepetition, ARowWrittenOverTheAttemptRowStartsEmptyButARepeatedRowKeepsItsValue) {
    Rig rig("[s]\nControl=1\nRepeat=s\nMaxRepeat=3\nParameter1=U,10,20,5,0\n"
            "[t]\nParameter1=I,0,9,0,7\n");
    rig.Run("s");  // the attempt row goes into row 2, the next free row
    ASSERT_EQ(rig.Cell(0, 2), "Время_ож");
    rig.table.SetCell(4, 1, "15");  // the operator types into the step's own row
    rig.table.SetNextFreeRow(1);
    EXPECT_EQ(rig.Run("s").outcome, TStepInterpreter::Outcome::Passed);
    EXPECT_EQ(rig.Cell(4, 1), "15");
    EXPECT_EQ(rig.Cell(5, 1), "OK");
    // Another step's row over the attempt row shows nothing of it.
    rig.Run("t");
    EXPECT_EQ(rig.Cell(0, 2), "I");
    EXPECT_EQ(rig.Cell(4, 2), "");
    EXPECT_EQ(rig.Cell(5, 2), "");
}

TEST(StepRepetition, KeyExitLoopsUntilTheOperatorEndsIt) {
    Rig rig("[s]\nControl=1\nRepeat=s\nKeyExit=1\nParameter1=U,380,420,400,3\n");
    rig.step.BuffPar()[2] = 400;  // passing, and still looping
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(rig.Run("s").outcome, TStepInterpreter::Outcome::Passed);
        EXPECT_EQ(rig.step.RepeatTarget(), "s");
    }
    EXPECT_EQ(rig.host.abortCaptions.back(), "Завершить цикл");
    EXPECT_EQ(rig.step.LoopExitMode(), 1);
    // With MaxRepeat a passing attempt ends it.
    Rig bounded("[s]\nControl=1\nRepeat=s\nKeyExit=1\nMaxRepeat=2\nParameter1=U,380,420,400,3\n");
    bounded.step.BuffPar()[2] = 400;
    bounded.Run("s");
    EXPECT_EQ(bounded.step.RepeatTarget(), "");
    // KeyExit=0 gives the other caption; the mode survives a step without the key.
    Rig back("[a]\nKeyExit=0\n[b]\nNext=endprov\n");
    back.Run("a");
    back.Run("b");
    EXPECT_EQ(back.host.abortCaptions, (std::vector<std::string>{"Прекратить проверку?", "Прекратить проверку?"}));
}

TEST(StepCommands, SendAppendsAndSubstitutes) {
    Rig rig("[s]\nSend=00 01 88\n[empty]\n[ust]\nSendUst=00 FA 01\nSendUst1= 00 01 7C 00 01\n"
            "[pzu]\nSend=00 06 15 a0 00 40 01\nReWritePzu=Pzu3\n[pzu2]\nSend=00 06 15 a0 00 40 01\nReWritePzu=Pzu9\n");
    platform::IniFile pzu;
    pzu.LoadBytes("[Pzu3]\nData=300\n[Pzu4]\nData=17\n");
    rig.step.SetPzuImage(&pzu);
    rig.step.SetClock([] { return LocalDateTime_T{2026, 12, 7, 20, 5, 0}; });

    rig.Run("s");
    EXPECT_EQ(rig.host.packets.back(), (std::vector<uint8_t>{0x4D, 0x00, 0x01, 0x88, 0x61, 0x2D, 0x00}));
    rig.Run("empty");
    EXPECT_EQ(rig.host.sent.back(), "00 01 88");
    rig.Run("ust");
    // The reader trims the blank that starts SendUst1; the three-digit rule makes the bytes
    // come out the same.
    EXPECT_EQ(HexTextToBytes(rig.host.sent.back()),
              HexTextToBytes("00 0f a9 00 FA 01 14 05 07 0C 07 EA 00 01 7C 00 01"));
    EXPECT_EQ(rig.host.packets.back().size(), 21u);
    rig.Run("pzu");
    EXPECT_EQ(rig.host.sent.back(), "00 06 15 a0 00 40 01 FF");
    EXPECT_EQ(rig.step.ExpectedEeprom(), "300");
    rig.Run("pzu2");  // a section without Data: FF, expecting 65535
    EXPECT_EQ(rig.step.ExpectedEeprom(), "65535");

    // The rows of a ReWritePzu step show the expected value of the last such send.
    Rig judged("[w]\nReWritePzu=Pzu3\n[r]\nControl=1\nReWritePzu=Pzu3\nParameter1=ПЗУ,0,0,0,1\n");
    judged.step.SetPzuImage(&pzu);
    // Before any such send there is no expected value: the step cannot be judged.
    EXPECT_EQ(judged.Run("r").outcome, TStepInterpreter::Outcome::Error);
    judged.table.Reset();
    judged.Run("w");  // sends and remembers 300
    judged.step.BuffPar()[0] = 300;
    EXPECT_EQ(judged.Run("r").outcome, TStepInterpreter::Outcome::Passed);
    EXPECT_EQ(judged.Cell(1, 1), "300");
    EXPECT_EQ(judged.Cell(3, 1), "300");
    EXPECT_EQ(judged.Cell(5, 1), "OK");
}

TEST(StepCommands, CalculationsOnTheLastPayloadByte) {
    Rig rig("[ramp]\nNumFunction=5\nSend=00 03 02 95 10\n[keep]\nNumFunction=6\nSend=00 03 02 95 4F\n"
            "[scale]\nNumFunction=4\nSend=00 03 02 93 80\n");
    rig.Run("keep");
    EXPECT_EQ(rig.step.RampByte(), 0x4F);  // 79
    rig.Run("ramp");
    EXPECT_EQ(rig.host.packets.back()[5], 80);
    rig.Run("ramp");
    EXPECT_EQ(rig.host.packets.back()[5], 80);
    rig.step.SetScaleFactor(1.5);
    rig.Run("scale");
    EXPECT_EQ(rig.host.packets.back()[5], 192);
    rig.step.SetScaleFactor(3);
    rig.Run("scale");
    EXPECT_EQ(rig.host.packets.back()[5], 255);
}

TEST(StepCalculations, TwoThreeEightNineTen) {
    Rig rig("[c2]\nNumFunction=2\nStimul=10\n[c3]\nNumFunction=3\n[c8]\nNumFunction=8\n"
            "[c9]\nNumFunction=9\nControl=1\nParameter1=A,0,9,0,11\nParameter2=B,0,9,0,12\n[c10]\nNumFunction=10\n");
    auto& b = rig.step.BuffPar();
    b[4] = 10, b[5] = 20, b[6] = 30, b[7] = 1, b[8] = 2, b[9] = 3;
    rig.Run("c2");
    EXPECT_FLOAT_EQ(b[4], 20);
    EXPECT_FLOAT_EQ(b[7], 2);
    EXPECT_FLOAT_EQ(b[8], 10);
    EXPECT_DOUBLE_EQ(rig.step.CoefficientK(), (20 * 1.41 - 4) / 10);

    rig.host.eb = std::vector<uint8_t>(18, 0);
    rig.host.eb[9] = 0x01, rig.host.eb[10] = 0xF4;  // 500
    rig.Run("c3");
    EXPECT_FLOAT_EQ(b[0], 100);
    EXPECT_FLOAT_EQ(b[4], static_cast<float>((20 * 1.41 - 4) / 10 * 100 * 0.001));

    rig.Run("c8");
    EXPECT_FLOAT_EQ(b[0], 0);
    rig.Run("c8");
    EXPECT_FLOAT_EQ(b[0], 1);
    EXPECT_EQ(rig.host.log.back(), "BuffPar[0].: 1");

    b[10] = 4, b[11] = 3;
    rig.Run("c9");
    EXPECT_FLOAT_EQ(b[0], 7);  // 4 OR 3

    rig.Run("c10");
    EXPECT_FLOAT_EQ(b[99], 0x0E);
}

TEST(StepFlow, QuestionsSwitchingPacingAndTexts) {
    Rig rig("[q]\nShowMessage=1\nMessageText1=Внимание\nMessageText2=Лампа горит?\nMessageValue1=5\nMessageValue2=6\n"
            "NumCombin=10\nText=Проверка ламп\nTextProt=Итог,1,2\nPrOffTimer=1\n"
            "[a]\nAction=2\nNumCombin=3\nPrOffTimer=5\nShowPicture=\\p.bmp\n[n]\nShowPicture=None\nPrOffTimer=0\n");
    rig.step.SetPictureBase("/w");
    rig.host.yes = false;
    rig.Run("q");
    EXPECT_FLOAT_EQ(rig.step.BuffPar()[0], 6);
    EXPECT_EQ(rig.host.combinations, (std::vector<std::pair<int, int>>{{10, 150}}));
    EXPECT_EQ(rig.host.status.back(), "Проверка ламп");
    EXPECT_EQ(rig.Cell(0, 1), "Итог");
    EXPECT_EQ(rig.Cell(2, 1), "2");
    EXPECT_EQ(rig.host.pacing.back(), 1);

    rig.Run("a");  // an action: no combination; PrOffTimer=5 keeps the remembered pacing
    EXPECT_EQ(rig.host.actions, (std::vector<std::pair<int, int>>{{2, 3000}}));
    EXPECT_EQ(rig.host.combinations.size(), 1u);
    EXPECT_EQ(rig.step.RememberedPacing(), 1);
    EXPECT_EQ(rig.host.pictures.back(), "/w\\data\\p.bmp");

    rig.Run("n");
    EXPECT_EQ(rig.host.pictures.back(), "<none>");
    EXPECT_EQ(rig.host.pacing.back(), 0);
    rig.host.automatOff = true;
    rig.Run("n");
    EXPECT_EQ(rig.host.pacing.back(), 1);  // automat off: the operator paces
    EXPECT_EQ(rig.step.RememberedPacing(), 0);
}

TEST(StepTable, TheTableGrowsAheadOfItsRows) {
    std::string text = "[s]\n";
    for (int k = 1; k <= 30; ++k) text += "Parameter" + std::to_string(k) + "=P,0,1,0,1\n";
    Rig rig(text);
    EXPECT_EQ(rig.table.RowCount(), 10);
    rig.Run("s");
    EXPECT_EQ(rig.table.NextFreeRow(), 31);
    EXPECT_GE(rig.table.RowCount() - rig.table.NextFreeRow(), 20);
    EXPECT_EQ(rig.Cell(0, 0), "Параметр");
    EXPECT_EQ(rig.Cell(5, 0), "Резюме");
}
