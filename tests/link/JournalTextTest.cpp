#include "link/JournalText.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <fstream>

#include "platform/Cp1251.h"
#include "support/TempDir.h"

using Bytes = std::vector<uint8_t>;

namespace {

constexpr int64_t kWall = 1765272184123;  // 2025-12-09 09:23:04.123 UTC

class JournalText : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("TZ", "UTC", 1);
        tzset();
    }
};

JournalFrame_T Make(uint8_t channel, JournalDir dir, Bytes bytes, bool accepted = true) {
    JournalFrame_T f;
    f.wallMs = kWall;
    f.monoUs = 1234567;
    f.channel = channel;
    f.dir = dir;
    f.accepted = accepted;
    f.size = static_cast<uint32_t>(bytes.size());
    f.bytes = std::move(bytes);
    return f;
}

// A state answer 73 with data 01 02: its checksum is 64 B8.
const Bytes kAnswer = {0x4D, 0x00, 0x03, 0x73, 0x01, 0x02, 0x64, 0xB8};

}  // namespace

TEST_F(JournalText, LinesNameTheCodeAndJudgeTheChecksumAsTheWindowDoes) {
    EXPECT_EQ(JournalTextLine(Make(1, JournalDir::In, kAnswer)),
              "2025-12-09 09:23:04.123         1234567  К1 <- 4D 00 03 73 01 02 64 B8  | 73 Состояние ПЧ  (CRC верна)");
    Bytes bad = kAnswer;
    bad[7] ^= 1;
    EXPECT_EQ(DescribeFrame(Make(1, JournalDir::In, bad, false)).verdict, "ошибка CRC");
    EXPECT_EQ(JournalTextLine(Make(1, JournalDir::Out, {0x4D, 0x00, 0x01, 0x88, 0x61, 0x2D, 0x00})),
              "2025-12-09 09:23:04.123         1234567  К1 -> 4D 00 01 88 61 2D 00  | 88 запрос");
    // The request's own code seen in the input is the line's echo.
    EXPECT_EQ(DescribeFrame(Make(1, JournalDir::In, {0x4D, 0x00, 0x01, 0x88, 0x61, 0x2D})).name, "эхо запроса");
    EXPECT_EQ(DescribeFrame(Make(1, JournalDir::In, {0x4D, 0x00, 0x01, 0x55, 0, 0})).name, "неизвестный код");
    // Module commands read as their text.
    EXPECT_EQ(JournalTextLine(Make(2, JournalDir::Out, {'@', '0', '1', '\r'}, false)),
              "2025-12-09 09:23:04.123         1234567  К2 -> 40 30 31 0D  | @01\\r  (не записан)");
    // A frame longer than the journal keeps says how long it was.
    JournalFrame_T cut = Make(1, JournalDir::Out, {0x4D, 0x00});
    cut.size = 5000;
    EXPECT_EQ(JournalTextLine(cut), "2025-12-09 09:23:04.123         1234567  К1 -> 4D 00 ... (5000 байт)");
}

TEST_F(JournalText, CsvLinesQuoteWhatWouldSplitThem) {
    EXPECT_EQ(JournalCsvHeader(), "Время;Мкс;Канал;Направление;Байты;Код;Название;Проверка");
    EXPECT_EQ(JournalCsvLine(Make(1, JournalDir::In, kAnswer)),
              "2025-12-09 09:23:04.123;1234567;1;принят;4D 00 03 73 01 02 64 B8;73;Состояние ПЧ;CRC верна");
    EXPECT_EQ(JournalCsvLine(Make(2, JournalDir::In, {'>', ';', '"', '\r'})),
              "2025-12-09 09:23:04.123;1234567;2;принят;3E 3B 22 0D;;\">;\"\"\\r\";");
    EXPECT_EQ(JournalFormatOf("a/b/Journal.CSV"), JournalFormat::Csv);
    EXPECT_EQ(JournalFormatOf("journal.txt"), JournalFormat::Text);
}

TEST_F(JournalText, ASavedFileIsWindows1251WithCrLfAndHoldsTheChosenFrames) {
    TTrafficJournal j;
    j.AddAt(1, JournalDir::In, kAnswer.data(), kAnswer.size(), true, kWall, 7);
    const Bytes dcon = {'@', '0', '1', '\r'};
    j.AddAt(2, JournalDir::Out, dcon.data(), dcon.size(), true, kWall + 1, 8);
    TempDir dir;
    const auto csv = SaveJournal(j, dir.File("j.csv"), JournalFormat::Csv, 0, ~0ull, 2);
    ASSERT_TRUE(csv.ok) << csv.error;
    EXPECT_EQ(csv.frames, 1u);
    EXPECT_EQ(dir.Read("j.csv"), platform::Utf8ToCp1251("Время;Мкс;Канал;Направление;Байты;Код;Название;Проверка\r\n"
                                                          "2025-12-09 09:23:04.124;8;2;передан;40 30 31 0D;;@01\\r;\r\n"));
    // A save the operator stops writes nothing.
    const auto stopped = SaveJournal(j, dir.File("x.txt"), JournalFormat::Text, 0, ~0ull, 0,
                                     [](uint64_t, uint64_t) { return false; });
    EXPECT_FALSE(stopped.ok);
    EXPECT_FALSE(std::ifstream(dir.File("x.txt")).good());
}

TEST_F(JournalText, ARunsJournalGoesBesideItsProtocolAndNeverReplacesAFile) {
    TTrafficJournal j(4, 1000);
    for (int i = 0; i < 6; ++i) j.AddAt(1, JournalDir::In, kAnswer.data(), kAnswer.size(), true, kWall, i);
    TempDir dir;
    dir.Write("1234.000_journal.txt", "kept");
    const auto r = SaveRunJournal(j, dir.File("1234.000.txt"), 1, "Итог: прервана.");
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.path, dir.File("1234.000_journal-2.txt"));
    EXPECT_EQ(dir.Read("1234.000_journal.txt"), "kept");
    // The run began at frame 1; the ring of four holds 2..5, so one frame of the run is lost.
    EXPECT_EQ(r.frames, 4u);
    EXPECT_EQ(r.lost, 1u);
    const std::string text = platform::Cp1251ToUtf8(dir.Read("1234.000_journal-2.txt"));
    EXPECT_EQ(text.substr(0, text.find("2025")),
              "Журнал обмена\r\nИтог: прервана.\r\nНачало вытеснено из журнала: потеряно кадров 1\r\n\r\n");
    const auto again = SaveRunJournal(j, dir.File("1234.000.txt"), 1, "");
    EXPECT_EQ(again.path, dir.File("1234.000_journal-3.txt"));
    // A folder that cannot be written says so.
    const auto nowhere = SaveRunJournal(j, dir.File("missing/1.txt"), 0, "");
    EXPECT_FALSE(nowhere.ok);
    EXPECT_NE(nowhere.error.find("Не удалось записать журнал обмена"), std::string::npos);
}
