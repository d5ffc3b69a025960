// The board's EEPROM programmed and read through the EEPROM window over a 9600-baud station
// line, with the blocks paced by the 400 ms timer and by the station's answers: the whole chip,
// a byte gone bad, and a block the line loses.
#include <gtest/gtest.h>

#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "EepromRig.h"
#include "SimStation.h"
#include "eeprom/THexGrid.h"
#include "eeprom/TWPzu.h"

using platform::DialogResult;

namespace {

struct Pacing_T {
    const char* name;
    const char* setting;  // the [pzu] line it takes; the timer needs none
};

// The test's name in listings: the pacing, not the struct's bytes.
void PrintTo(const Pacing_T& p, std::ostream* os) { *os << p.name; }

const Pacing_T kPacings[] = {{"ByTimer", ""}, {"ByAnswer", "pacing=answer\r\n"}};

sim::Scenario_T At9600() {
    sim::Scenario_T scenario = DemoScenario();
    scenario.stationLine = {9600, false, 1};
    return scenario;
}

// EEPROM writes (0x15) or reads (0x10) the station took for one block.
int BlockRequests(StandRig& s, uint8_t code, uint16_t address) {
    int n = 0;
    for (const auto& r : s.sim.StationRequests())
        if (r.size() > 6 && r[3] == code && (r[5] << 8 | r[6]) == address) ++n;
    return n;
}

std::string Pattern(size_t length, int seed) {
    std::string file(length, '\0');
    for (size_t i = 0; i < length; ++i) file[i] = static_cast<char>((i * 7 + i / 512 + static_cast<size_t>(seed)) & 0xFF);
    return file;
}

QString U(const char* text) { return QString::fromUtf8(text); }

class EepromAtStand : public ::testing::TestWithParam<Pacing_T> {};

}  // namespace

// The whole chip, block after block, as the operator starts it with the buttons, with one block
// lost on the line each way: the lost block goes again, every block is on the board, the
// read-back file holds the chip, the one byte gone bad is counted and marked, and neither
// direction went faster than the line carries the blocks.
TEST_P(EepromAtStand, TheWholeChipIsProgrammedAndReadBackOverA9600BaudLine) {
    sim::Scenario_T scenario = At9600();
    scenario.silentBlock = 0x1000;
    StandRig s(scenario);
    const std::string file = Pattern(32768, 3);
    QTimer typist;
    TFPzu* w = OpenEeprom(s, "pch.pzu", file, typist, GetParam().setting);
    ASSERT_TRUE(w);
    ASSERT_TRUE(w->SpeedButton62->isEnabled());
    // Each block's request out and its answer back, one after the other.
    const double answerBytes = static_cast<double>(sim::SimStation::Frame(0x1A, std::vector<uint8_t>(68)).size());
    auto lineFloor = [&](const std::vector<uint8_t>& request) {
        return std::chrono::duration<double>(512 * (static_cast<double>(request.size()) + answerBytes) *
                                             scenario.stationLine.ByteSeconds());
    };
    std::vector<uint8_t> block(64);

    auto started = std::chrono::steady_clock::now();
    QTest::mouseClick(w->SpeedButton62, Qt::LeftButton);
    bool estimated = false;  // the time left was shown while it ran
    bool repeatShown = false;
    ASSERT_TRUE(WaitUntil(
        [&] {
            estimated = estimated || w->LTimePzu->text().contains(U("осталось около"));
            repeatShown = repeatShown || w->STSend->text() == U("Повторяю посылку информации");
            return w->LProcPzu->text() == U("Программирование ВЫПОЛНЕНО.");
        },
        400s))
        << w->LProcPzu->text().toStdString();
    EXPECT_GE(std::chrono::steady_clock::now() - started, lineFloor(TPzuSession::WritePacket(0, block.data())));
    EXPECT_TRUE(estimated);
    EXPECT_TRUE(repeatShown);
    EXPECT_EQ(BlockRequests(s, 0x15, 0x1000), 2);
    EXPECT_EQ(w->LTimePzu->text().toStdString().rfind("Заняло ", 0), 0u) << w->LTimePzu->text().toStdString();
    EXPECT_EQ(w->STErr->text().toStdString(), "0");
    std::string board(file.size(), '\0');
    for (size_t a = 0; a < board.size(); ++a) board[a] = static_cast<char>(s.sim.EepromByte(0, static_cast<uint16_t>(a)));
    EXPECT_TRUE(board == file);
    EXPECT_EQ(s.dir.Read("pzu/pch.A0"), file);  // each write's answer, as the board held it
    EXPECT_EQ(BlockRequests(s, 0x15, 0x7FC0), 1);

    s.sim.SetEepromByte(0, 0x2345, static_cast<uint8_t>(file[0x2345] ^ 0x01));
    s.sim.SetScenario(scenario);  // the same block lost once more, now its read
    started = std::chrono::steady_clock::now();
    QTest::mouseClick(w->SpeedButton1, Qt::LeftButton);
    repeatShown = false;
    ASSERT_TRUE(WaitUntil(
        [&] {
            repeatShown = repeatShown || w->STSend->text() == U("Повторяю посылку запроса");
            return w->SpeedButton1->text() == U("Чтение");
        },
        400s));
    EXPECT_GE(std::chrono::steady_clock::now() - started, lineFloor(TPzuSession::ReadPacket(0)));
    EXPECT_TRUE(repeatShown);
    EXPECT_EQ(BlockRequests(s, 0x10, 0x1000), 2);
    EXPECT_EQ(w->LProcPzu->text().toStdString(), "Настройки не совпадают с файлом!.");
    EXPECT_EQ(w->STErr->text().toStdString(), "1");
    EXPECT_EQ(w->Comparison()->GridOut->GetErrorCell(0x2345), 1);
    EXPECT_EQ(w->Comparison()->GridOut->GetErrorCell(0x2344), 0);
    std::string expected = file;
    expected[0x2345] = static_cast<char>(file[0x2345] ^ 0x01);
    EXPECT_TRUE(s.dir.Read("pzu/pch.A0") == expected);
    EXPECT_EQ(BlockRequests(s, 0x10, 0x7FC0), 1);
    w->close();
}

// A block lost four times, the block and its three repeats, brings the give-up question:
// "no" keeps waiting until the next repeat is answered, "yes" ends the run, programming or
// reading, with the rest of the chip not touched.
TEST_P(EepromAtStand, AfterUnansweredRepeatsTheOperatorDecidesWhetherToGiveUp) {
    sim::Scenario_T scenario = At9600();
    scenario.silentBlock = 0x0000;
    scenario.silentBlockTimes = 4;
    StandRig s(scenario);
    QTimer typist;
    TFPzu* w = OpenEeprom(s, "pch.pzu", std::string(29, '\x5A'), typist, GetParam().setting);
    ASSERT_TRUE(w);

    s.dialogs.Answer(DialogResult::No);
    QTest::mouseClick(w->SpeedButton62, Qt::LeftButton);
    ASSERT_TRUE(WaitUntil([&] { return w->LProcPzu->text() == U("Программирование ВЫПОЛНЕНО."); }, 30s))
        << w->LProcPzu->text().toStdString();
    ASSERT_EQ(s.dialogs.Questions().size(), 1u);
    EXPECT_EQ(s.dialogs.Questions()[0].text, " Прекращаю работу с ПЗУ...");
    EXPECT_EQ(s.dialogs.Questions()[0].caption, "Нет связи с платой");
    EXPECT_EQ(s.dialogs.Questions()[0].buttons, platform::DialogButtons::YesNo);
    EXPECT_EQ(BlockRequests(s, 0x15, 0x0000), 5);
    EXPECT_EQ(s.sim.EepromByte(0, 28), 0x5A);

    // In the middle of the whole chip, the second block lost for good: the operator gives up,
    // programming and then reading; neither goes on past it.
    const std::string file = Pattern(32768, 9);
    ASSERT_NE(static_cast<uint8_t>(file[0x40]), 0xFF);
    s.dir.Write("pzu/pch.pzu", file);
    scenario.silentBlock = 0x0040;
    s.sim.SetScenario(scenario);
    s.dialogs.Answer(DialogResult::Yes);
    QTest::mouseClick(w->SpeedButton62, Qt::LeftButton);
    ASSERT_TRUE(WaitUntil([&] { return w->LProcPzu->text() == U("Программирование прервано ..."); }, 30s))
        << w->LProcPzu->text().toStdString();
    EXPECT_EQ(s.dialogs.Questions().size(), 2u);
    EXPECT_EQ(BlockRequests(s, 0x15, 0x0040), 4);
    EXPECT_EQ(BlockRequests(s, 0x15, 0x0080), 0);
    EXPECT_EQ(s.sim.EepromByte(0, 0x3F), static_cast<uint8_t>(file[0x3F]));
    EXPECT_EQ(s.sim.EepromByte(0, 0x40), 0xFF);
    EXPECT_EQ(w->SpeedButton62->text().toStdString(), "Программирование");

    s.sim.SetScenario(scenario);
    s.dialogs.Answer(DialogResult::Yes);
    QTest::mouseClick(w->SpeedButton1, Qt::LeftButton);
    ASSERT_TRUE(WaitUntil([&] { return w->LProcPzu->text() == U("Чтение ПЗУ прервано..."); }, 30s))
        << w->LProcPzu->text().toStdString();
    EXPECT_EQ(s.dialogs.Questions().size(), 3u);
    EXPECT_EQ(BlockRequests(s, 0x10, 0x0040), 4);
    EXPECT_EQ(BlockRequests(s, 0x10, 0x0080), 0);
    EXPECT_EQ(w->STErr->text().toStdString(), "0");  // block 0 read back as written
    EXPECT_TRUE(w->SpeedButton62->isEnabled());
    EXPECT_TRUE(s.dialogs.AllAnswersUsed());
    w->close();
}

INSTANTIATE_TEST_SUITE_P(Pacings, EepromAtStand, ::testing::ValuesIn(kPacings),
                         [](const ::testing::TestParamInfo<Pacing_T>& p) { return std::string(p.param.name); });
