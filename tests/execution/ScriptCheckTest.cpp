// The script checker on small broken scripts, each fault at its line; the demo scripts clean;
// stand-check as a script writer runs it.
#include "execution/ScriptCheck.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "platform/Cp1251.h"
#include "platform/IniFile.h"
#include "platform/Paths.h"
#include "support/Shell.h"
#include "support/TempDir.h"

namespace {

const std::string kDemo = STAND_DEMO_DIR;
using Strings = std::vector<std::string>;

// Three lines of catalogue that are sound; a case's own lines begin at line 4.
const std::string kHead = "[info]\r\nversion=v1.00\r\ndevice=Станция\r\n";
// A sound check whose one step ends it.
const std::string kCheck = "[title1]\r\nTitl=Связь\r\nOneStep=1\r\n[step1]\r\nNext=endprov\r\n";

// "line severity code" of each finding.
Strings Found(const std::string& utf8, const ScriptCheckOptions_T& options = {}) {
    Strings out;
    for (const ScriptFinding_T& f : CheckScript(platform::Utf8ToCp1251(utf8), "s.ini", options))
        out.push_back(std::to_string(f.line) + (f.severity == ScriptFinding_T::Error ? " E " : " W ") + f.code);
    return out;
}

struct Case {
    const char* what;
    std::string script;
    Strings expected;
};

}  // namespace

TEST(ScriptCheck, EachFaultIsFoundAtItsLine) {
    const std::vector<Case> cases = {
        {"sound", kHead + kCheck, {}},
        {"check chain",
         kHead + "[title1]\r\nTitl=A\r\nOneStep=1\r\nNextTitle=title5\r\n[step1]\r\nNext=endprov\r\n",
         {"7 E next-title-unknown"}},
        {"cycle",
         kHead + "[title1]\r\nOneStep=1\r\nNextTitle=title2\r\n[title2]\r\nOneStep=1\r\nNextTitle=TITLE1\r\n"
                 "[step1]\r\nNext=endprov\r\n",
         {"9 E title-cycle"}},
        {"check names",
         kHead + "[title1]\r\nOneStep=1\r\nNextTitle=title01\r\n[title01]\r\nOneStep=1\r\nNextTitle=title1000\r\n"
                 "[title1000]\r\nOneStep=1\r\n[step1]\r\nNext=endprov\r\n[title7]\r\nOneStep=1\r\n",
         {"7 E title-name", "10 E title-name", "14 W title-unreachable"}},
        {"OneStep",
         kHead + "[title1]\r\nOneStep=4\r\nNextTitle=title2\r\n[title2]\r\nTitl=B\r\n",
         {"5 E one-step-unknown", "7 E one-step-unknown"}},
        {"steps",
         kHead + "[title1]\r\nOneStep=1\r\n[step1]\r\nNext=step2\r\nRepeat=step9\r\n[step2]\r\nSend=00 01 88\r\n"
                 "[step3]\r\nNext=EndProv\r\n",
         {"8 E next-unknown", "9 E next-missing", "11 W step-unreachable", "12 E endprov-case"}},
        {"no way to endprov",
         kHead + "[title1]\r\nOneStep=1\r\n[step1]\r\nNext=step2\r\n[step2]\r\nRepeat=step2\r\nNext=step1\r\n",
         {"6 E no-end"}},
        {"keys",
         kHead + kCheck + "NXet=step2\r\nNext=step3\r\nParamter1=a,1,2,3,4\r\n[info]\r\ndevice=Другое\r\n",
         {"9 W unknown-key", "10 W duplicate-key", "11 W unknown-key", "12 W duplicate-section", "13 W duplicate-key"}},
        {"types and ranges",
         kHead + kCheck + "NumCombin=18\r\nAction=5\r\nNumFunction=7\r\nControl=2\r\nClickTimer=1с\r\nPrOffTimer=3\r\n"
                          "KeyExit=2\r\nMaxRepeat=3\r\n",
         {"9 E range", "9 W no-effect", "10 E range", "11 E num-function", "12 E type", "13 E type", "14 W no-effect",
          "15 W no-effect", "16 W no-effect"}},
        {"parameter lines",
         kHead + kCheck + "Control=1\r\nParameter1=U,380,420,400,3\r\nParameter2=I,1,2\r\nParameter3=R,x,5,1,0\r\n"
                          "Parameter4=T,9,1,5,2006\r\nParameter5=\"фаза A\",1,2,1,1\r\nParameter7=lost,1,2,1,1\r\n"
                          "Maska1=6\r\nMaska9=1\r\n",
         {"11 E parameter-fields", "12 E parameter-number", "13 E parameter-bounds", "13 E parameter-index",
          "14 E parameter-name", "15 W parameter-gap", "17 W mask-without-row"}},
        {"unjudged bounds only warn",
         kHead + kCheck + "Parameter1=R,x,5,1,0\r\n", {"9 W parameter-number"}},
        {"commands",
         kHead + "[title1]\r\nOneStep=1\r\n[step1]\r\nSend=00 02 bb\r\nNext=step2\r\n[step2]\r\nSend=00 01 8g\r\n"
                 "Next=step3\r\n[step3]\r\nSend=27 11 88\r\nNext=step4\r\n[step4]\r\nSend=00 01\r\nReWritePzu=a\r\n"
                 "Next=step5\r\n[step5]\r\nSendUst=00 FA\r\nSendUst1=00 01\r\nSend=00 01 88\r\nNext=step6\r\n"
                 "[step6]\r\nSendUst1=01\r\nNext=endprov\r\n",
         {"7 E command-length", "10 E command-form", "13 E command-size", "20 E command-length", "22 W no-effect",
          "25 W no-effect"}},
        {"calculation 2, question, picture",
         kHead + kCheck + "NumFunction=2\r\nStimul=0\r\nShowMessage=1\r\nMessageText1=Вопрос\r\nShowPicture=stand.bmp\r\n",
         {"10 E stimul", "11 E message-text", "13 E picture-path"}},
        // Too large for an integer: not zero, and read without an overflow (a fuzz finding).
        {"calculation 2 by a huge Stimul", kHead + kCheck + "NumFunction=2\r\nStimul=" + std::string(98, '2') + "\r\n", {}},
        {"catalogue",
         "[info]\r\nversion=1\r\n[COEFFICIENT_OF_SHAPE]\r\nK_U_IN=0.1\r\nK_I_OUT=abc\r\n[version]\r\nvCP=x\r\n" + kCheck,
         {"1 W catalogue", "2 W catalogue", "3 W catalogue", "5 W catalogue", "7 E type"}},
        {"lines that are not read",
         kHead + kCheck + "Text=ok\r\nгде знак равенства\r\n", {"10 W syntax"}},
        {"mixed line ends", kHead + "[title1]\nOneStep=1\r\n[step1]\r\nNext=endprov\r\n", {"4 W line-ends"}},
        {"no check at all", kHead, {"1 E no-title1"}},
    };
    for (const Case& c : cases) EXPECT_EQ(Found(c.script), c.expected) << c.what;

    // More checks than the run table holds: the twentieth is named.
    std::string many = kHead;
    for (int i = 1; i <= 20; ++i)
        many += "[title" + std::to_string(i) + "]\r\nOneStep=1\r\n" +
                (i < 20 ? "NextTitle=title" + std::to_string(i + 1) + "\r\n" : std::string());
    many += "[step1]\r\nNext=endprov\r\n";
    EXPECT_EQ(Found(many), Strings{"61 E too-many-checks"});
}

TEST(ScriptCheck, PicturesAndEepromSectionsAreLookedForWhereTheStandKeepsThem) {
    TempDir dir;
    dir.Write("data/stand.bmp", "BM");
    platform::IniFile pzu;
    pzu.LoadBytes("[Num]\r\nData=12\r\n[Empty]\r\n");
    ScriptCheckOptions_T options;
    options.dataDir = dir.File("data");
    options.pzu = &pzu;
    const std::string script = kHead + "[title1]\r\nOneStep=1\r\n[step1]\r\nShowPicture=\\stand.bmp\r\nNext=step2\r\n"
                                       "[step2]\r\nShowPicture=\\sub\\none.bmp\r\nSend=00 01 10\r\nReWritePzu=Num\r\n"
                                       "Next=step3\r\n[step3]\r\nSend=00 01 10\r\nReWritePzu=Nope\r\nNext=step4\r\n"
                                       "[step4]\r\nSend=00 01 10\r\nReWritePzu=Empty\r\nNext=endprov\r\n";
    // step2's command with its EEPROM byte has two payload bytes, announced as one.
    EXPECT_EQ(Found(script, options),
              (Strings{"10 E picture-missing", "11 E command-length", "15 E command-length", "16 E pzu-section",
                       "19 E command-length", "20 W pzu-data"}));
    EXPECT_EQ(Found(script), (Strings{"11 E command-length", "15 E command-length", "19 E command-length"}));
}

TEST(ScriptCheck, TheDemoScriptsAreCleanAndAUtf8CopyIsFound) {
    for (const std::string& file : platform::ListFiles(kDemo + "/scn", "*.ini")) {
        std::vector<ScriptFinding_T> findings;
        ASSERT_TRUE(CheckScriptFile(kDemo + "/scn/" + file, file, kDemo + "/data", findings));
        for (const auto& f : findings) ADD_FAILURE() << FormatFinding(f);
    }
    std::string bytes;
    ASSERT_TRUE(platform::ReadFileBytes(kDemo + "/scn/stanciya.ini", bytes));
    const auto findings = CheckScript(platform::Cp1251ToUtf8(bytes), "stanciya.ini", {});
    ASSERT_FALSE(findings.empty());
    EXPECT_EQ(FormatFinding(findings[0]).rfind("stanciya.ini:1: error: файл в кодировке UTF-8", 0), 0u);
    EXPECT_EQ(findings[0].code, "encoding-utf8");
}

TEST(ScriptCheck, EveryFaultAtOnceInOneFile) {
    // One of each kind above, in one script: each is still found, at its own line.
    const std::string script =
        "[info]\r\nversion=1\r\n[COEFFICIENT_OF_SHAPE]\r\nK_U_IN=abc\r\n"                        // 1-4
        "[title1]\r\nOneStep=1\r\nNextTitle=title02\r\n[title02]\r\nOneStep=8\r\nNextTitle=title1\r\n"  // 5-10
        "[step1]\r\nNXet=step2\r\nNext=step2\r\nNext=step3\r\nControl=1\r\nParameter1=U,10,5,7,3\r\n"    // 11-16
        "Parameter3=I,1,2,3,4\r\nMaska4=3\r\nSend=00 03 88\r\nNumCombin=18\r\n"                         // 17-20
        "[step2]\r\nParameter1=\"U a\",1,2,3,3000\r\nSendUst=00 01\r\nShowMessage=1\r\nNumFunction=2\r\n"  // 21-25
        "ShowPicture=pic.bmp\r\nNext=step2\r\n[step9]\r\nNext=EndProv\r\nстрока\n";                     // 26-30
    const Strings found = Found(script);
    for (const char* expected :
         {"1 W catalogue", "2 W catalogue", "4 W catalogue", "8 E title-name", "9 E one-step-unknown", "10 E title-cycle",
          "11 E no-end", "12 W unknown-key", "14 W duplicate-key", "16 E parameter-bounds", "17 W parameter-gap",
          "18 W mask-without-row", "19 E command-length", "20 E range", "22 E parameter-name", "22 E parameter-index",
          "23 E command-length", "24 E message-text", "25 E stimul", "26 E picture-path", "28 W step-unreachable",
          "29 E endprov-case", "30 W syntax", "30 W line-ends"})
        EXPECT_NE(std::find(found.begin(), found.end(), expected), found.end()) << expected;
}

TEST(StandCheckTool, PrintsFindingsAsCompilersDoAndSaysByItsStatus) {
    TempDir dir;
    dir.Write("scn/good.ini", platform::Utf8ToCp1251(kHead + kCheck));
    dir.Write("scn/bad.ini", platform::Utf8ToCp1251(kHead + kCheck + "NXet=x\r\nNumCombin=40\r\n"));
    dir.Write("scn/warn.ini", platform::Utf8ToCp1251(kHead + kCheck + "NXet=x\r\n"));
    const std::string tool = std::string(STAND_CHECK_BINARY) + " ";
    int status = -1;
    EXPECT_EQ(Shell(tool + dir.File("scn/good.ini"), &status), "");
    EXPECT_EQ(status, 0);
    EXPECT_EQ(Shell(tool + dir.File("scn/warn.ini"), &status),
              dir.File("scn/warn.ini") +
                  ":9: warning: неизвестный ключ NXet в секции [step1]: программа его не читает (может быть, Next?)\n");
    EXPECT_EQ(status, 0);
    const std::string bad = Shell("cd " + dir.Path() + " && " + tool + "scn/bad.ini", &status);
    EXPECT_EQ(status, 1);
    EXPECT_EQ(bad,
              "scn/bad.ini:9: warning: неизвестный ключ NXet в секции [step1]: программа его не читает (может быть, Next?)\n"
              "scn/bad.ini:10: error: NumCombin=40: комбинаций стенда 1..17, шаг ничего не переключит\n");
    // JSON that a parser this program did not write reads.
    const std::string json = Shell(tool + "--json " + dir.File("scn/bad.ini") + " " + dir.File("scn/good.ini") +
                                       " | python3 -c \"import json,sys; a=json.load(sys.stdin); "
                                       "print(len(a), a[1]['line'], a[1]['severity'], a[1]['code'])\"",
                                   &status);
    EXPECT_EQ(json, "2 10 error range\n");
    Shell(tool + dir.File("scn/none.ini") + " " + dir.File("scn/good.ini") + " 2>/dev/null", &status);
    EXPECT_EQ(status, 2);
    // The demo folder as it ships: its pictures and pzu.ini beside the scripts.
    EXPECT_EQ(Shell(tool + kDemo + "/scn/*.ini", &status), "");
    EXPECT_EQ(status, 0);
}
