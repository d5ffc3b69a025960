// A whole run at the simulated stand, recorded in the stand's SQLite file: the database holds
// the run once, with the rows its protocol file shows.
#include <gtest/gtest.h>

#include <QTest>
#include <sstream>

#include "SimScenario.h"
#include "StandRig.h"
#include "../records/PgServer.h"
#include "app/ProgramSettings.h"
#include "app/StandRecords.h"
#include "records/RunStore.h"
#include "records/RunStoreWriter.h"

namespace {

// Two checks of operator rows: the first within its limits, the second outside (the operator
// goes on after the failed step).
const char* kScript =
    "[info]\r\nversion=v7\r\n"
    "[title1]\r\nTitl=Напряжение\r\nOneStep=1\r\nProt=1\r\nNextTitle=title2\r\n"
    "[step1]\r\nPrOffTimer=1\r\nControl=1\r\nParameter1=Uвх,10,20,15,0\r\nParameter2=Uвых,1,2,1.5,0\r\n"
    "Send=00 01 88\r\nNext=endprov\r\n"
    "[title2]\r\nTitl=Ток\r\nOneStep=2\r\nProt=1\r\n"
    "[step2]\r\nPrOffTimer=1\r\nControl=1\r\nParameter1=Iвых,0,1,5,0\r\nSend=00 01 88\r\nNext=endprov\r\n";

void Press(StandRig& s) {
    ASSERT_TRUE(WaitUntil([&] { return s.main->BitBtn1->isEnabled() && s.main->Sender().Reader().ReplyDone(); }, 5s));
    QTest::mouseClick(s.main->BitBtn1, Qt::LeftButton);
}

std::string Trim(const std::string& t) {
    const size_t a = t.find_first_not_of(' ');
    return a == std::string::npos ? "" : t.substr(a, t.find_last_not_of(' ') - a + 1);
}

// The result rows of a protocol text: its "|...|...|" lines without the header rows.
std::vector<std::vector<std::string>> ProtocolRows(const std::string& protocol) {
    std::vector<std::vector<std::string>> rows;
    std::istringstream lines(protocol);
    for (std::string line; std::getline(lines, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.size() < 2 || line[0] != '|') continue;
        std::vector<std::string> cells;
        std::istringstream fields(line.substr(1));
        for (std::string cell; std::getline(fields, cell, '|');) cells.push_back(Trim(cell));
        if (!cells.empty() && cells[0] != "Параметр") rows.push_back(cells);
    }
    return rows;
}

// The whole script through the start button, with "no" to stopping at the failed step and to
// the next device.
void RunTheScript(StandRig& s) {
    ASSERT_TRUE(s.PrepareAndSelect());
    s.dialogs.Answer(platform::DialogResult::No);  // "Прекращаю проверку?" at the failed step: no
    for (int press = 0; press < 12 && s.main->Run().RunActive(); ++press) Press(s);
    ASSERT_FALSE(s.main->Run().RunActive());
    s.dialogs.Answer(platform::DialogResult::No);  // no next device
    Press(s);                                       // the run's end: protocol, viewer, question
}

}  // namespace

TEST(RunRecordsAtStand, TheRecordedRowsAreTheRowsOfTheProtocol) {
    StandRig s(sim::Scenario_T{}, "rec.ini");
    s.dir.Write("scn/rec.ini", platform::Utf8ToCp1251(kScript));
    TRunStoreWriter writer;
    std::string error;
    ASSERT_TRUE(writer.Open(s.dir.File("data/runs.sqlite"), error)) << error;
    s.main->Recorder().SetSink(&writer);
    s.main->Recorder().SetStand("Стенд 2", "0.1.0.1");
    s.tag.record.serial = "12";
    s.tag.record.operatorName = "Петров";
    s.tag.record.scriptPath = s.dir.File("scn/rec.ini");
    s.tag.record.script = "./scn/rec.ini";
    s.tag.record.scriptVersion = "v7";

    ASSERT_NO_FATAL_FAILURE(RunTheScript(s));
    s.main->Recorder().SetSink(nullptr);
    writer.Flush();

    TRunStore store;
    ASSERT_TRUE(store.Open(s.dir.File("data/runs.sqlite"), error)) << error;
    const auto runs = store.LastRuns(10, error);
    ASSERT_EQ(runs.size(), 1u) << error;
    const auto run = store.LoadRun(runs[0].id, error);
    ASSERT_TRUE(run) << error;
    EXPECT_EQ(run->outcome, RunOutcome::Failed) << s.Protocol();
    EXPECT_EQ(run->operatorName, "Петров");
    EXPECT_EQ(run->stand, "Стенд 2");
    EXPECT_EQ(run->scriptSha256.size(), 64u);
    ASSERT_TRUE(run->passport);
    EXPECT_EQ(run->passport->versions, (std::array<int, 5>{1, 1, 1, 1, 1}));
    ASSERT_EQ(run->checks.size(), 2u);
    EXPECT_EQ(run->checks[0].outcome, RunOutcome::Passed);
    EXPECT_EQ(run->checks[1].outcome, RunOutcome::Failed);

    std::vector<std::vector<std::string>> recorded;
    for (const CheckRecord_T& c : run->checks)
        for (const MeasurementRecord_T& m : c.rows)
            if (m.inProtocol) recorded.push_back({m.parameter, m.low, m.high, m.control, m.measured, m.result});
    const auto printed = ProtocolRows(s.Protocol());
    EXPECT_EQ(recorded, printed) << s.Protocol();
    EXPECT_EQ(printed.size(), 3u);
    // The station failed: the run's journal lies beside its protocol and the record names it.
    EXPECT_EQ(run->journalFile, "prot\\12.000_journal.txt");
    EXPECT_EQ(s.dir.Read("prot/12.000_journal.txt").rfind("\xc6\xf3\xf0\xed\xe0\xeb", 0), 0u);  // "Журнал"
    EXPECT_EQ(s.main->lbRunProgress->text().toStdString().rfind("Проверка 2 из 2 · 00:", 0), 0u)
        << s.main->lbRunProgress->text().toStdString();
}

TEST(RunRecordsAtStand, AFileThatCannotServeIsNamedOnTheStatusBarAndTheRunGoesOn) {
    StandRig s(sim::Scenario_T{}, "rec.ini");
    s.dir.Write("scn/rec.ini", platform::Utf8ToCp1251(kScript));
    const std::string notADatabase = "это не база данных\r\n" + std::string(2000, '#');
    s.dir.Write("data/runs.sqlite", notADatabase);
    ProgramSettings_T settings;
    TStandRecords records(*s.main, settings, s.dir.Path());
    EXPECT_FALSE(records.Active());
    EXPECT_TRUE(s.main->RecordsPanel()->isVisibleTo(s.main.get()));
    EXPECT_EQ(s.main->RecordsPanel()->text().toStdString(), "Записи испытаний: ошибка");
    EXPECT_NE(s.main->RecordsPanel()->toolTip().toStdString().find("не является базой SQLite"), std::string::npos);

    ASSERT_NO_FATAL_FAILURE(RunTheScript(s));
    EXPECT_EQ(ProtocolRows(s.Protocol()).size(), 3u) << s.Protocol();
    EXPECT_EQ(s.dir.Read("data/runs.sqlite"), notADatabase);
}

TEST(RunRecordsAtStand, RunsWaitingForThePlantAreCountedOnTheStatusBarUntilTheServerTakesThem) {
    PgServer pg;
    if (!PgServer::Installed()) GTEST_SKIP() << "postgresql-15 is needed (scripts/deps.sh installs it)";
    ASSERT_TRUE(pg.Ok());
    ASSERT_TRUE(pg.Stop());
    StandRig s(sim::Scenario_T{}, "rec.ini");
    s.dir.Write("scn/rec.ini", platform::Utf8ToCp1251(kScript));
    ProgramSettings_T settings;
    settings.recordsPostgres = pg.ConnInfo();
    settings.standName = "Стенд 3";
    TStandRecords records(*s.main, settings, s.dir.Path());
    ASSERT_TRUE(records.Active());
    QLabel* pending = s.main->RecordsPendingPanel();
    EXPECT_FALSE(pending->isVisibleTo(s.main.get()));

    ASSERT_NO_FATAL_FAILURE(RunTheScript(s));
    // The server is away: the ended run waits and the operator sees it at once.
    EXPECT_TRUE(WaitUntil([&] { return pending->isVisibleTo(s.main.get()); }, 5s));
    EXPECT_EQ(pending->text().toStdString(), "Не переданы в БД: 1");
    ASSERT_TRUE(pg.Start());
    EXPECT_TRUE(WaitUntil([&] { return !pending->isVisibleTo(s.main.get()); }, 70s)) << pending->text().toStdString();
    EXPECT_EQ(pg.Query("SELECT stand || ' ' || outcome || ' ' || (SELECT count(*) FROM measurements) FROM runs"),
              "Стенд 3 failed 3");
}
