// The recorder on a real store: what the results table shows becomes the check's rows, and a
// run that is left (a new tag, the program's end) is kept as incomplete.
#include <gtest/gtest.h>

#include "execution/ResultsTable.h"
#include "records/RunRecorder.h"
#include "records/RunStoreWriter.h"
#include "records/Sha256.h"
#include "support/TempDir.h"

namespace {

struct Recording {
    TempDir dir;
    TRunStoreWriter writer;
    TRunRecorder recorder;
    TResultsTable table;
    RunStart_T start;

    Recording() {
        std::string error;
        EXPECT_TRUE(writer.Open(dir.File("runs.sqlite"), error)) << error;
        recorder.SetSink(&writer);
        recorder.SetStand("Стенд 3", "0.1.0.1");
        dir.Write("scn/one.ini", "[title1]\r\nTitl=x\r\n");
        start.scriptPath = dir.File("scn/one.ini");
        start.script = "./scn/one.ini";
        start.serial = "555";
        table.Reset();
    }
    RunRecord_T Load(const std::string& id) {
        writer.Flush();
        TRunStore store;
        std::string error;
        EXPECT_TRUE(store.Open(dir.File("runs.sqlite"), error)) << error;
        auto run = store.LoadRun(id, error);
        EXPECT_TRUE(run) << error;
        return run ? *run : RunRecord_T{};
    }
};

}  // namespace

TEST(RunRecorder, TheTablesRowsBecomeTheChecksRowsWithTheirVerdictsAndAttempts) {
    Recording r;
    r.recorder.BeginRun(r.start);
    const std::string id = r.recorder.RunId();
    r.recorder.CheckStarted(4, "Изоляция");
    // A repeated step writes its row three times; the judge's verdicts; an attempt row; an
    // empty row in between.
    for (int i = 0; i < 3; ++i) r.table.WriteParameterRow(1, "R,10,20,15", "step1/1");
    r.table.SetCell(4, 1, "25");
    r.table.SetCell(5, 1, "ОШИБКА");
    r.table.WriteParameterRow(2, "U,1,2,1", "step2/1");
    r.table.SetCell(4, 2, "1.5");
    r.table.SetCell(5, 2, "OK.");
    r.table.SetRowText(4, "Время_ож,0,3,3,1,OK,-");
    r.table.SetNextFreeRow(5);
    r.recorder.CheckEnded(RunOutcome::Failed, r.table, 1, true);
    r.recorder.EndRun(RunOutcome::Failed);

    const RunRecord_T run = r.Load(id);
    EXPECT_EQ(run.stand, "Стенд 3");
    EXPECT_EQ(run.scriptSha256, Sha256Hex("[title1]\r\nTitl=x\r\n"));
    EXPECT_EQ(run.session, r.recorder.Session());
    ASSERT_EQ(run.checks.size(), 1u);
    EXPECT_EQ(run.checks[0].number, 4);
    EXPECT_EQ(run.checks[0].outcome, RunOutcome::Failed);
    const auto& rows = run.checks[0].rows;
    ASSERT_EQ(rows.size(), 3u);  // row 3 had no parameter
    EXPECT_EQ(rows[0].attempts, 3);
    EXPECT_EQ(rows[0].passed, false);
    EXPECT_EQ(rows[1].attempts, 1);
    EXPECT_EQ(rows[1].passed, true);
    EXPECT_EQ(rows[2].row, 4);
    EXPECT_FALSE(rows[2].passed.has_value());  // "OK" of an attempt row is said of the attempts, not judged
    EXPECT_TRUE(rows[2].inProtocol);
}

TEST(RunRecorder, ARunThatIsLeftIsKeptIncompleteWithTheCheckItWasIn) {
    Recording r;
    r.recorder.BeginRun(r.start);
    const std::string first = r.recorder.RunId();
    r.recorder.CheckStarted(1, "Связь");
    r.recorder.BeginRun(r.start);  // a new tag in the middle
    const std::string second = r.recorder.RunId();
    EXPECT_NE(first, second);
    r.recorder.CheckStarted(1, "Связь");
    r.recorder.EndRun(RunOutcome::Silent, &r.table, 1, false);

    const RunRecord_T left = r.Load(first);
    EXPECT_EQ(left.outcome, RunOutcome::Incomplete);
    EXPECT_FALSE(left.endedAt.empty());
    ASSERT_EQ(left.checks.size(), 1u);
    EXPECT_EQ(left.checks[0].outcome, RunOutcome::Incomplete);
    const RunRecord_T silent = r.Load(second);
    EXPECT_EQ(silent.outcome, RunOutcome::Silent);
    ASSERT_EQ(silent.checks.size(), 1u);
    EXPECT_EQ(silent.checks[0].outcome, RunOutcome::Silent);
    // The archive name reaches the last run even after its end.
    r.recorder.ArchiveSaved("prot/555.000.txt");
    EXPECT_EQ(r.Load(second).archiveFile, "prot/555.000.txt");
}
