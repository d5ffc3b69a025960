#include <gtest/gtest.h>

#include <filesystem>

#include "platform/Paths.h"
#include "support/TempDir.h"

using namespace platform;

TEST(Paths, WindowsAndUnixSeparatorsNormaliseAlike) {
    EXPECT_EQ(NormalizePath("data\\nastr.ini"), "data/nastr.ini");
    EXPECT_EQ(NormalizePath("./data/birka.ini"), "data/birka.ini");
    EXPECT_EQ(NormalizePath("/work\\./prot/undef/"), "/work/prot/undef");
    EXPECT_EQ(NormalizePath("/work//a\\\\b"), "/work/a/b");
    EXPECT_EQ(NormalizePath("../x"), "../x");
    EXPECT_EQ(NormalizePath("."), ".");
    EXPECT_EQ(NormalizePath("/"), "/");
    EXPECT_EQ(JoinPath("/w", "data\\nastr.ini"), "/w/data/nastr.ini");
    EXPECT_EQ(JoinPath("/w", "./prot/undef/"), "/w/prot/undef");
    EXPECT_EQ(FileName("scn\\test.ini"), "test.ini");
    EXPECT_EQ(ParentDirectory("/w/prot/ProtTest.txt"), "/w/prot");
    EXPECT_EQ(ParentDirectory("ProtTest.txt"), ".");
}

TEST(Paths, MasksMatchLikeTheStandPcsDo) {
    EXPECT_TRUE(MatchesMask("test.ini", "*.ini"));
    EXPECT_TRUE(MatchesMask("TEST.INI", "*.ini"));
    EXPECT_FALSE(MatchesMask("test.ini.bak", "*.ini"));
    EXPECT_TRUE(MatchesMask("a.b.ini", "*.ini"));
    // "*.*" is every file, with or without an extension, as the archive listing expects.
    EXPECT_TRUE(MatchesMask("ProtTest", "*.*"));
    EXPECT_TRUE(MatchesMask("x.txt", "*.*"));
    EXPECT_TRUE(MatchesMask("P", "P.*"));
    EXPECT_FALSE(MatchesMask("Q", "P.*"));
    EXPECT_TRUE(MatchesMask("P1.txt", "P?.txt"));
    EXPECT_FALSE(MatchesMask("P12.txt", "P?.txt"));
    EXPECT_FALSE(MatchesMask(std::string(5000, 'a'), "*a*a*a*a*a*b"));
}

TEST(Paths, ListingFindsOnlyMatchingFilesSortedWithoutCase) {
    TempDir dir;
    dir.Write("scn/b.ini", "");
    dir.Write("scn/A.INI", "");
    dir.Write("scn/c.txt", "");
    dir.Write("scn/sub.ini/inner.ini", "");  // a folder named like a script is not a script
    EXPECT_EQ(ListFiles(dir.File("scn"), "*.ini"), (std::vector<std::string>{"A.INI", "b.ini"}));
    EXPECT_TRUE(ListFiles(dir.File("missing"), "*.ini").empty());
}

TEST(Paths, FoldersAreMadeAndFilesWrittenWhole) {
    TempDir dir;
    const std::string deep = dir.File("prot\\undef\\2026");
    ASSERT_TRUE(MakeDirectories(deep));
    EXPECT_TRUE(IsDirectory(deep));
    EXPECT_TRUE(MakeDirectories(deep));  // again: already there is fine
    const std::string file = JoinPath(deep, "ProtTest.txt");
    ASSERT_TRUE(WriteFileBytes(file, std::string("a\r\n\0b", 5)));
    std::string back;
    ASSERT_TRUE(ReadFileBytes(file, back));
    EXPECT_EQ(back, std::string("a\r\n\0b", 5));
    EXPECT_FALSE(ReadFileBytes(deep, back));
    EXPECT_TRUE(back.empty());
    EXPECT_TRUE(RemoveFile(file));
    EXPECT_FALSE(RemoveFile(file));
    EXPECT_FALSE(RemoveFile(deep));  // folders are not files
}

// Names are UTF-8 inside the program whatever the system's code page; Windows gets them as
// UTF-16, so a Russian name means the same file on both sides.
TEST(Paths, CyrillicNamesAreMadeWrittenListedAndReadBack) {
    TempDir dir;
    ScopedWorkingDirectory cd(dir.Path());
    const std::string folder = "архив\\Станция 1";
    ASSERT_TRUE(MakeDirectories(folder));
    EXPECT_TRUE(IsDirectory("архив/Станция 1"));
    const std::string file = JoinPath(folder, "Протокол №5.txt");
    const std::string text = "\xCF\xF0\xEE\xF2\xEE\xEA\xEE\xEB\r\n";  // "Протокол" in 1251
    ASSERT_TRUE(WriteNewFile(file, text));
    EXPECT_FALSE(WriteNewFile(file, "x"));  // never replaces what is there
    EXPECT_EQ(ListFiles(folder, "*.TXT"), std::vector<std::string>{"Протокол №5.txt"});
    std::string back;
    ASSERT_TRUE(ReadFileBytes("архив/Станция 1/Протокол №5.txt", back));
    EXPECT_EQ(back, text);
    ASSERT_TRUE(WriteFileBytes(file, "ok"));
    std::FILE* f = OpenFile(NormalizePath(file), "rb");
    ASSERT_NE(f, nullptr);
    char buf[4] = {};
    EXPECT_EQ(std::fread(buf, 1, sizeof buf, f), 2u);
    std::fclose(f);
    EXPECT_EQ(std::string(buf), "ok");
    EXPECT_EQ(ListFiles(folder, "*.tmp"), std::vector<std::string>{});  // no temporary left
    EXPECT_TRUE(RemoveFile(file));
    EXPECT_FALSE(IsRegularFile(file));
}

TEST(Paths, TheExecutableFolderHoldsThisTest) {
    EXPECT_TRUE(std::filesystem::exists(JoinPath(ExecutableDirectory(), TEST_EXECUTABLE_NAME)));
    TempDir dir;
    {
        ScopedWorkingDirectory cd(dir.Path());
        EXPECT_EQ(std::filesystem::canonical(CurrentDirectory()),
                  std::filesystem::canonical(dir.Path()));
    }
}
