#include <gtest/gtest.h>

#include <set>

#include "platform/Cp1251.h"
#include "platform/IniFile.h"
#include "platform/Paths.h"
#include "execution/Script.h"

namespace {

const std::string kScn = std::string(STAND_DEMO_DIR) + "/scn";

std::string Lower(const std::string& s) {
    std::string c = platform::Utf8ToCp1251(s);
    for (char& ch : c) ch = static_cast<char>(platform::Cp1251ToLower(static_cast<unsigned char>(ch)));
    return platform::Cp1251ToUtf8(c);
}

}  // namespace

TEST(SampleScripts, EveryChainIsWholeAndEndsWhereItShould) {
    const auto files = platform::ListFiles(kScn, "*.ini");
    ASSERT_GE(files.size(), 5u);
    for (const std::string& file : files) {
        SCOPED_TRACE(file);
        TScript s;
        ASSERT_TRUE(s.Open(platform::JoinPath(kScn, file)));
        const auto list = s.BuildCheckList();
        EXPECT_FALSE(list.brokenChain);
        ASSERT_FALSE(list.names.empty());
        for (size_t i = 0; i < list.sections.size(); ++i) {
            const std::string& check = list.sections[i];
            EXPECT_TRUE(s.HasSection(check)) << check;
            EXPECT_FALSE(list.names[i].empty()) << check;
            EXPECT_GT(TScript::CheckNumber(check), 0) << check;
            std::string step = "step" + std::to_string(s.ReadInteger(check, "OneStep", 0));
            std::set<std::string> seen;
            while (Lower(step) != "endprov") {
                ASSERT_TRUE(s.HasSection(step)) << check << " reaches missing " << step;
                ASSERT_TRUE(seen.insert(Lower(step)).second) << check << " loops at " << step;
                const std::string repeat = s.ReadString(step, "Repeat");
                if (!repeat.empty()) {
                    EXPECT_TRUE(s.HasSection(repeat)) << step << " repeats " << repeat;
                }
                step = s.ReadString(step, "Next");
                ASSERT_FALSE(step.empty()) << "a step without Next";
            }
        }
    }
}

TEST(SampleScripts, TogetherTheyUseEveryKey) {
    std::set<std::string> used;
    for (const std::string& file : platform::ListFiles(kScn, "*.ini")) {
        platform::IniFile ini;
        ASSERT_TRUE(ini.Load(platform::JoinPath(kScn, file)));
        for (const std::string& section : ini.Sections()) {
            for (const std::string& line : ini.ReadSectionLines(section)) {
                std::string key = line.substr(0, line.find('='));
                while (!key.empty() && key.back() == ' ') key.pop_back();
                // Parameter<k> and Maska<k> count once.
                while (!key.empty() && key.back() >= '0' && key.back() <= '9') key.pop_back();
                const bool check = Lower(section).rfind("title", 0) == 0;
                used.insert((check ? "check:" : "step:") + key);
            }
        }
    }
    for (const char* k : {"Titl", "Text", "NextTitle", "OneStep", "Prot", "PrOffTimer", "Init"})
        EXPECT_TRUE(used.count(std::string("check:") + k)) << k;
    for (const char* k : {"Text", "ClickTimer", "Repeat", "Stimul", "NumFunction", "ReadModuleInputs",
                          "NumCombin", "MessageText", "MessageValue", "Action", "ShowMessage", "TextProt",
                          "ShowPicture", "PrOffTimer", "Init", "KeyExit", "Control", "Parameter", "Maska",
                          "ReWritePzu", "MaxRepeat", "Send", "SendUst", "SendUst", "Next"})
        EXPECT_TRUE(used.count(std::string("step:") + k)) << k;
}
