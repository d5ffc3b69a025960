#include <gtest/gtest.h>

#include <filesystem>

#include "platform/Cp1251.h"
#include "platform/IniFile.h"
#include "support/TempDir.h"

using namespace platform;

namespace {

IniFile FromText(const std::string& cp1251) {
    IniFile ini;
    ini.LoadBytes(cp1251);
    return ini;
}

std::vector<std::string> V(std::initializer_list<const char*> l) {
    return {l.begin(), l.end()};
}

}  // namespace

TEST(IniFileRead, NamesMatchWithoutCaseInLatinAndCyrillic) {
    const IniFile ini = FromText(Utf8ToCp1251("[Port]\r\nEcho=1\r\n[Версия]\r\nКлюч=Значение\r\n"));
    EXPECT_TRUE(ini.HasSection("port"));
    EXPECT_TRUE(ini.HasSection("PORT"));
    EXPECT_EQ(ini.ReadInteger("pOrT", "ECHO", 0), 1);
    EXPECT_TRUE(ini.HasSection("ВЕРСИЯ"));
    EXPECT_EQ(ini.ReadString("версия", "КЛЮЧ", "-"), "Значение");
    EXPECT_FALSE(ini.HasSection("Versiya"));
    EXPECT_EQ(ini.ReadString("port", "missing", "default"), "default");
    EXPECT_EQ(ini.ReadString("nosection", "Echo", "d"), "d");
}

TEST(IniFileRead, ValuesAreTrimmedKeepTheirCommentAndTheFirstDuplicateWins) {
    const IniFile ini = FromText(
        "[a]\r\n  key  =  some value ; not a comment \r\nkey=second\r\nempty=\r\n"
        "; comment=line\r\n# other=comment\r\n[A]\r\nkey=third\r\nmore=yes\r\n");
    EXPECT_EQ(ini.ReadString("a", "key", ""), "some value ; not a comment");
    EXPECT_EQ(ini.ReadString("a", "empty", "dflt"), "");
    EXPECT_EQ(ini.ReadString("a", "comment", "none"), "none");
    EXPECT_EQ(ini.ReadString("a", "more", ""), "yes");  // a repeated section adds to the first
    EXPECT_EQ(ini.Sections(), V({"a"}));
}

TEST(IniFileRead, IntegersAreDecimalAndAnythingElseGivesTheDefault) {
    const IniFile ini = FromText(
        "[n]\nplain=42\nneg=-7\nplus=+3\nblanks=  12  \nhex=0x10\nletters=abc\ntail=12abc\n"
        "empty=\nbig=2147483647\nmin=-2147483648\nover=2147483648\nhuge=99999999999999999999\n");
    EXPECT_EQ(ini.ReadInteger("n", "plain", -1), 42);
    EXPECT_EQ(ini.ReadInteger("n", "neg", -1), -7);
    EXPECT_EQ(ini.ReadInteger("n", "plus", -1), 3);
    EXPECT_EQ(ini.ReadInteger("n", "blanks", -1), 12);
    EXPECT_EQ(ini.ReadInteger("n", "big", -1), 2147483647);
    EXPECT_EQ(ini.ReadInteger("n", "min", -1), -2147483647 - 1);
    for (const char* key : {"hex", "letters", "tail", "empty", "over", "huge", "absent"})
        EXPECT_EQ(ini.ReadInteger("n", key, 5), 5) << key;
}

TEST(IniFileRead, SectionLinesComeInFileOrderWithoutCommentsOrBlanks) {
    const IniFile ini = FromText(Utf8ToCp1251(
        "[Operators]\r\n3=Сидоров\r\n\r\n; retired\r\n1 = Иванов \r\nno equals sign\r\n"
        "[Other]\r\nx=1\r\n[operators]\r\n2=Петров\r\n"));
    EXPECT_EQ(ini.ReadSectionLines("OPERATORS"),
              V({"3=Сидоров", "1 = Иванов", "no equals sign", "2=Петров"}));
    EXPECT_TRUE(ini.ReadSectionLines("nothing").empty());
}

TEST(IniFileBadInput, GarbageNeverCrashesAndNeverMovesKeysToAnotherSection) {
    const IniFile ini = FromText(
        "garbage without equals\n=value without key\n[ok]\nk=1\n[broken header\nk2=2\n"
        "]odd\n[]\nblank=\n[ spaced ]  trailing text\nk3 = 3\n");
    EXPECT_EQ(ini.ReadInteger("ok", "k", 0), 1);
    // A header without "]" is not a section: the key behind it stays in [ok].
    EXPECT_EQ(ini.ReadInteger("ok", "k2", 0), 2);
    EXPECT_FALSE(ini.HasSection("broken header"));
    EXPECT_EQ(ini.ReadInteger("spaced", "k3", 0), 3);
}

TEST(IniFileBadInput, NulBytesEndTheReadableTextButWritesStayReadable) {
    const char original[] = "[a]\nk=1\n\0[b]\nk=2\n";
    IniFile ini = FromText(std::string(original, sizeof original - 1));
    EXPECT_EQ(ini.ReadInteger("a", "k", 0), 1);
    EXPECT_FALSE(ini.HasSection("b"));
    ini.WriteString("c", "k", "3");
    EXPECT_EQ(ini.ReadInteger("c", "k", 0), 3);
    // Nothing behind the NUL is thrown away.
    const char expected[] = "[a]\nk=1\n[c]\r\nk=3\r\n\0[b]\nk=2\n";
    EXPECT_EQ(ini.Bytes(), std::string(expected, sizeof expected - 1));
}

TEST(IniFileBadInput, HugeLinesInvalidBytesAndABomAreHandled) {
    const std::string big(1 << 20, 'x');
    const IniFile ini = FromText("\xEF\xBB\xBF[s]\r\nlong=" + big + "\r\nodd=\x98\xFF\r\n" + big +
                                 "\r\nafter=1\r\n");
    EXPECT_TRUE(ini.HasSection("s"));
    EXPECT_EQ(ini.ReadString("s", "long", "").size(), big.size());
    EXPECT_EQ(Utf8ToCp1251(ini.ReadString("s", "odd", "")), "\x98\xFF");
    EXPECT_EQ(ini.ReadInteger("s", "after", 0), 1);
    // The same three bytes anywhere but at the very start are part of a name.
    const IniFile first = FromText("\xEF\xBB\xBFk=1\r\n");
    EXPECT_EQ(first.ReadInteger("", "k", 0), 1);
    const IniFile later = FromText("x=0\r\n\xEF\xBB\xBFk=2\r\n");
    EXPECT_EQ(later.ReadInteger("", "п»їk", 0), 2);  // those bytes read as Windows-1251
}

TEST(IniFileWrite, ANewFileGetsWindowsLinesInWindows1251) {
    IniFile ini;
    ini.WriteString("Birka", "Operator", "Иванов И.И.");
    ini.WriteString("Birka", "id_script", "2");
    ini.WriteString("Operators", "1", "Петров");
    EXPECT_EQ(ini.Bytes(),
              "[Birka]\r\nOperator=\xC8\xE2\xE0\xED\xEE\xE2 \xC8.\xC8.\r\nid_script=2\r\n"
              "[Operators]\r\n1=\xCF\xE5\xF2\xF0\xEE\xE2\r\n");
}

TEST(IniFileWrite, EditsTouchOnlyTheirLine) {
    const std::string original =
        "; settings by hand\r\n[Birka]\r\nOperator = Old\r\n\r\nCause=x\r\n\r\n[Other]\r\nk=v";
    IniFile ini = FromText(original);
    ini.WriteString("birka", "OPERATOR", "New");
    EXPECT_EQ(ini.Bytes(),
              "; settings by hand\r\n[Birka]\r\nOPERATOR=New\r\n\r\nCause=x\r\n\r\n[Other]\r\nk=v");
    ini.WriteString("Birka", "Desc", "a\r\nb");  // a line break must not split the file
    ini.WriteString("Other", "k2", "v2");        // the last line had no line break
    EXPECT_EQ(ini.Bytes(),
              "; settings by hand\r\n[Birka]\r\nOPERATOR=New\r\n\r\nCause=x\r\nDesc=a  b\r\n\r\n"
              "[Other]\r\nk=v\r\nk2=v2\r\n");
    EXPECT_EQ(ini.ReadString("Birka", "Desc", ""), "a  b");
}

TEST(IniFileWrite, EraseSectionRemovesEveryLineOfItAndNothingElse) {
    IniFile ini = FromText(
        "[Birka]\r\nOperator=A\r\n[Operators]\r\n1=A\r\n; note\r\n2=B\r\n[Causes]\r\n1=C\r\n"
        "[OPERATORS]\r\n3=D\r\n");
    ini.EraseSection("operators");
    EXPECT_EQ(ini.Bytes(), "[Birka]\r\nOperator=A\r\n[Causes]\r\n1=C\r\n");
    EXPECT_FALSE(ini.HasSection("Operators"));
    ini.EraseSection("absent");
    EXPECT_EQ(ini.Bytes(), "[Birka]\r\nOperator=A\r\n[Causes]\r\n1=C\r\n");
}

TEST(ProfileFunctions, MissingFilesReadAsEmptyAndWritesCreateThem) {
    TempDir dir;
    const std::string path = dir.File("birka.ini");
    EXPECT_EQ(ReadProfileString(path, "Birka", "Operator", "none"), "none");
    EXPECT_EQ(ReadProfileInt(path, "Birka", "id_script", -1), -1);
    EXPECT_TRUE(ReadProfileSection(path, "Operators").empty());
    ASSERT_TRUE(WriteProfileString(path, "Birka", "Operator", "Оператор"));
    ASSERT_TRUE(WriteProfileString(path, "Operators", "1", "Первый"));
    ASSERT_TRUE(WriteProfileString(path, "Operators", "2", "Второй"));
    EXPECT_EQ(ReadProfileString(path, "birka", "operator", ""), "Оператор");
    EXPECT_EQ(ReadProfileSection(path, "Operators"), V({"1=Первый", "2=Второй"}));
    ASSERT_TRUE(EraseProfileSection(path, "Operators"));
    EXPECT_EQ(dir.Read("birka.ini"), "[Birka]\r\nOperator=\xCE\xEF\xE5\xF0\xE0\xF2\xEE\xF0\r\n");
    EXPECT_FALSE(std::filesystem::exists(path + ".tmp"));
}

TEST(ProfileFunctions, AFolderInPlaceOfTheFileIsNeitherReadNorReplaced) {
    TempDir dir;
    const std::string path = dir.File("nastr.ini");
    std::filesystem::create_directory(path);
    IniFile ini;
    EXPECT_FALSE(ini.Load(path));
    EXPECT_FALSE(ini.HasSection("port"));
    EXPECT_FALSE(WriteProfileString(path, "a", "b", "c"));
    EXPECT_FALSE(EraseProfileSection(path, "a"));
    EXPECT_TRUE(std::filesystem::is_directory(path));
    EXPECT_FALSE(WriteProfileString(dir.File("no/such/folder.ini"), "a", "b", "c"));
}
