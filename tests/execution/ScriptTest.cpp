#include "execution/Script.h"

#include <gtest/gtest.h>

#include "platform/Cp1251.h"

namespace {

TScript Load(const std::string& utf8) {
    TScript s;
    s.LoadBytes(platform::Utf8ToCp1251(utf8));
    return s;
}

using Strings = std::vector<std::string>;

}  // namespace

TEST(ScriptChecks, TheListFollowsTheChainAndOneLineIsTicked) {
    const TScript s = Load(
        "[title1]\nTitl=Первая\nNextTitle=title7\n[title7]\nTitl=Седьмая\nNextTitle=title3\n"
        "[TITLE3]\nTitl=Третья\n[title2]\nTitl=not in the chain\n");
    const auto list = s.BuildCheckList();
    EXPECT_EQ(list.names, (Strings{"Первая", "Седьмая", "Третья"}));
    EXPECT_FALSE(list.tickSingle);
    EXPECT_FALSE(list.brokenChain);

    EXPECT_TRUE(Load("[title1]\nTitl=Одна\n").BuildCheckList().tickSingle);
    // No script at all: one empty line, ticked.
    TScript missing;
    missing.Open("/no/such/script.ini");
    const auto empty = missing.BuildCheckList();
    EXPECT_EQ(empty.names, Strings{""});
    EXPECT_TRUE(empty.tickSingle);
}

TEST(ScriptChecks, AChainThatComesBackStopsAndIsReported) {
    const auto list = Load("[title1]\nTitl=A\nNextTitle=title2\n[title2]\nTitl=B\nNextTitle=Title1\n").BuildCheckList();
    EXPECT_EQ(list.names, (Strings{"A", "B"}));
    EXPECT_TRUE(list.brokenChain);
    EXPECT_EQ(list.brokenAt, "Title1");
    // A section pointing at itself.
    EXPECT_TRUE(Load("[title1]\nTitl=A\nNextTitle=title1\n").BuildCheckList().brokenChain);
}

TEST(ScriptChecks, TheRunTableHoldsEveryTickedCheckInListOrder) {
    std::string text;
    for (int i = 1; i <= 25; ++i) {
        text += "[title" + std::to_string(i) + "]\nTitl=Check " + std::to_string(i) + "\nOneStep=" +
                std::to_string(100 + i) + "\n";
        if (i < 25) text += "NextTitle=title" + std::to_string(i + 1) + "\n";
    }
    const TScript s = Load(text);
    std::vector<bool> ticked(25, true);
    ticked[1] = false;
    const auto table = s.MakeRunTable(ticked);
    ASSERT_EQ(table.size(), 24u);  // more than 19: none is lost
    EXPECT_EQ(table[0].number, 1);
    EXPECT_EQ(table[1].number, 3);
    EXPECT_EQ(table[1].oneStep, 103);
    EXPECT_EQ(table.back().number, 25);
    EXPECT_TRUE(s.MakeRunTable(std::vector<bool>(25, false)).empty());
}

TEST(ScriptChecks, CheckNumbersComeFromTheSectionName) {
    EXPECT_EQ(TScript::CheckNumber("title12"), 12);
    EXPECT_EQ(TScript::CheckNumber("Title999"), 999);
    EXPECT_EQ(TScript::CheckNumber("title"), 0);
    EXPECT_EQ(TScript::CheckNumber("title1a"), 0);
    EXPECT_EQ(TScript::CheckNumber("step1"), 0);
}

TEST(ScriptKeys, DefaultsAndCase) {
    const TScript s = Load("[STEP1]\nnext=step2\nControl=1\nShowMessage=x\n");
    EXPECT_EQ(s.ReadString("step1", "Next"), "step2");
    EXPECT_TRUE(s.ReadBool("step1", "control", false));
    EXPECT_EQ(s.ReadInteger("step1", "ShowMessage", 0), 0);  // not a number: the default
    EXPECT_EQ(s.ReadInteger("step1", "PrOffTimer", 2), 2);
    EXPECT_EQ(s.ReadString("step9", "Send", ""), "");
}

TEST(ParameterLine, FieldsByCommaOrBlankWithQuotes) {
    EXPECT_EQ(ParseParameterLine("U,380,420,400,3"),
              (std::array<std::string, 5>{"U", "380", "420", "400", "3"}));
    EXPECT_EQ(ParseParameterLine("  U 380, 420 ,400   3 "),
              (std::array<std::string, 5>{"U", "380", "420", "400", "3"}));
    EXPECT_EQ(ParseParameterLine("\"U вход, В\",1.5,\"2,5\",,0"),
              (std::array<std::string, 5>{"U вход, В", "1.5", "2,5", "", "0"}));
    EXPECT_EQ(ParseParameterLine("\"say \"\"hi\"\"\",1"),
              (std::array<std::string, 5>{"say \"hi\"", "1", "", "", ""}));
    EXPECT_EQ(ParseParameterLine("\"unterminated"), (std::array<std::string, 5>{"unterminated", "", "", "", ""}));
    EXPECT_EQ(SplitCommaText("a,"), (Strings{"a", ""}));
    EXPECT_EQ(SplitCommaText(""), Strings{});
    EXPECT_EQ(SplitCommaText("a,b,c,d,e,f,g").size(), 7u);
}
