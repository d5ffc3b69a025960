#include "records/ProtocolWriter.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/Cp1251.h"
#include "support/TempDir.h"

TEST(ProtocolWriter, LinesAreWindows1251WithABlankBeforeCrLf) {
    TempDir dir;
    const std::string path = dir.Path() + "\\prot\\undef\\ProtTest.txt";
    TProtocolWriter w;
    ASSERT_TRUE(w.Open(path));
    EXPECT_TRUE(std::filesystem::is_directory(dir.File("prot/undef")));
    w.WriteLine("СУ Блок ПЧ. Протокол проверки.");
    w.WriteLine(std::string(74, '-') + "\n");
    w.WriteLabelValue("Заводской номер ", "12");
    w.WriteLine("");
    w.WriteLine("\nЗамечания оператора:");
    // Every write is in the file at once, before Close.
    const std::string expected =
        platform::Utf8ToCp1251("СУ Блок ПЧ. Протокол проверки. \r\n") + std::string(74, '-') +
        "\r\n \r\n" + platform::Utf8ToCp1251("Заводской номер  12 \r\n") + " \r\n" +
        platform::Utf8ToCp1251("\r\nЗамечания оператора: \r\n");
    EXPECT_EQ(dir.Read("prot/undef/ProtTest.txt"), expected);
    w.Close();
    EXPECT_EQ(dir.Read("prot/undef/ProtTest.txt"), expected);
}

TEST(ProtocolWriter, RowsAreFixedWidthInSingleByteCharacters) {
    const std::string row = TProtocolWriter::Format("|%-12s|%-11s|%-11s|%-11s|%-11s|%-11s|\n",
                                                    {"Uвх", "380", "420", "400", "400.50", "OK"});
    EXPECT_EQ(row, platform::Utf8ToCp1251("|Uвх         |380        |420        |400        |400.50     |OK         |\n"));
    EXPECT_EQ(TProtocolWriter::Format("%s%%%d %s", {"a", "b"}), "a%%d b");
    EXPECT_EQ(TProtocolWriter::Format("[%5s][%-3.1s]", {"ab", "xyz"}), "[   ab][x  ]");
    EXPECT_EQ(TProtocolWriter::Format("%s %s", {"only"}), "only ");  // a missing text is empty
}

TEST(ProtocolWriter, AFileThatCannotBeOpenedLeavesNoStream) {
    TempDir dir;
    const std::string blocker = dir.Write("file", "x");
    TProtocolWriter w;
    EXPECT_FALSE(w.Open(blocker + "/sub/ProtTest.txt"));
    EXPECT_EQ(w.Error(), "File " + blocker + "/sub/ProtTest.txt not found");
    EXPECT_FALSE(w.IsOpen());
    EXPECT_FALSE(w.WriteLine("lost"));
    EXPECT_EQ(dir.Read("file"), "x");
    // A second run over the same folder overwrites the file.
    ASSERT_TRUE(w.Open(dir.File("p.txt")));
    w.WriteLine("first run");
    ASSERT_TRUE(w.Open(dir.File("p.txt")));
    w.WriteLine("second");
    w.Close();
    EXPECT_EQ(dir.Read("p.txt"), "second \r\n");
}
