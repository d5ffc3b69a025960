#include <gtest/gtest.h>

#include "platform/BuildVersion.h"
#include "platform/Dialogs.h"
#include "platform/Version.h"
#include "support/ScriptedDialogs.h"

using namespace platform;

TEST(Version, BuildNumberKeepsOnlyItsLowByte) {
    EXPECT_EQ(FormatVersionText({0x00010002, 0x00030004}), "1.2.3.4");
    EXPECT_EQ(FormatVersionText({0x00010002, 0x00030100}), "1.2.3.0");
    EXPECT_EQ(FormatVersionText({0xFFFFFFFF, 0xFFFF01FF}), "65535.65535.65535.255");
}

TEST(Version, ProgramVersionComesFromTheBuild) {
    const std::string expected =
        std::to_string(STAND_VERSION_MAJOR) + "." + std::to_string(STAND_VERSION_MINOR) + "." +
        std::to_string(STAND_VERSION_PATCH) + "." + std::to_string(STAND_VERSION_TWEAK & 0xFF);
    EXPECT_EQ(VersionText(), expected);
}

TEST(Dialogs, WithoutDialogsInstalledEveryQuestionGetsTheCautiousAnswer) {
    Dialogs& d = Dialogs::Current();
    EXPECT_EQ(d.Ask("?", "c", DialogButtons::YesNoCancel, DialogIcon::Question),
              DialogResult::Cancel);
    EXPECT_EQ(d.Ask("?", "c", DialogButtons::YesNo, DialogIcon::Question), DialogResult::No);
    EXPECT_EQ(d.Ask("!", "c", DialogButtons::Ok, DialogIcon::Warning), DialogResult::Ok);
    EXPECT_EQ(d.OpenFileName({}), "");
    EXPECT_FALSE(d.Print({}));
}

TEST(Dialogs, ScriptedDialogsAnswerInOrderAndRecordEveryQuestion) {
    ScriptedDialogs scripted;
    scripted.Answer(DialogResult::No).Answer(DialogResult::Yes).ChooseFile("/p/ProtTest.txt");
    {
        ScopedDialogs use(scripted);
        Dialogs& d = Dialogs::Current();
        EXPECT_EQ(d.Ask("Первый?", "Внимание", DialogButtons::YesNo, DialogIcon::Question),
                  DialogResult::No);
        d.Show("Сообщение", "Warning", DialogIcon::Warning);
        EXPECT_EQ(d.Ask("Второй?", "Внимание", DialogButtons::YesNoCancel, DialogIcon::Question),
                  DialogResult::Yes);
        EXPECT_EQ(d.OpenFileName({"Открыть", "/p", "*.txt", ""}), "/p/ProtTest.txt");
    }
    EXPECT_NE(&Dialogs::Current(), &scripted);
    EXPECT_TRUE(scripted.AllAnswersUsed());
    ASSERT_EQ(scripted.Questions().size(), 3u);
    EXPECT_EQ(scripted.Questions()[1].text, "Сообщение");
    EXPECT_EQ(scripted.Questions()[1].caption, "Warning");
    EXPECT_EQ(scripted.Questions()[2].buttons, DialogButtons::YesNoCancel);
    EXPECT_EQ(scripted.FileRequests().at(0).caption, "Открыть");
}
