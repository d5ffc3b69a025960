// The stand-records tool as a process on a real records file: what an engineer types and reads.
#include <gtest/gtest.h>

#include <cstdio>

#include "records/RunStore.h"
#include "support/Shell.h"
#include "support/TempDir.h"

namespace {

// One failed run of serial 77-1 with a row whose parameter holds a comma and a quote.
std::string MakeFile(TempDir& dir) {
    TRunStore store;
    std::string error;
    EXPECT_TRUE(store.Open(dir.File("runs.sqlite"), error)) << error;
    RunRecord_T r;
    r.id = "0f1e2d3c-0000-4000-8000-000000000001";
    r.stand = "Стенд 1";
    r.serial = "77-1";
    r.operatorName = "Сидоров";
    r.startedAt = "2026-12-09T10:00:00.000+03:00";
    r.endedAt = "2026-12-09T10:05:00.000+03:00";
    r.outcome = RunOutcome::Failed;
    CheckRecord_T c;
    c.position = 1;
    c.number = 3;
    c.title = "Изоляция";
    c.outcome = RunOutcome::Failed;
    MeasurementRecord_T m;
    m.row = 1;
    m.parameter = "R \"фаза A\", МОм";
    m.low = "10", m.high = "200", m.control = "100", m.measured = "5", m.result = "ОШИБКА";
    m.passed = false;
    m.inProtocol = true;
    c.rows.push_back(m);
    r.checks.push_back(c);
    EXPECT_TRUE(store.AddRuns({r}, error)) << error;
    return dir.File("runs.sqlite");
}

}  // namespace

TEST(StandRecordsTool, ListsShowsAndExportsARun) {
    TempDir dir;
    const std::string db = MakeFile(dir);
    const std::string tool = std::string(STAND_RECORDS_BINARY) + " --db " + db + " ";

    const std::string runs = Shell(tool + "runs");
    EXPECT_NE(runs.find("77-1"), std::string::npos) << runs;
    EXPECT_NE(runs.find("не прошла"), std::string::npos) << runs;

    const std::string serial = Shell(tool + "serial 77-1");
    EXPECT_NE(serial.find("Заводской номер 77-1: испытаний 1"), std::string::npos) << serial;
    EXPECT_NE(serial.find("    Изоляция: R \"фаза A\", МОм 5 (10..200) ОШИБКА"), std::string::npos) << serial;

    const std::string shown = Shell(tool + "show 0f1e2d3c");  // a beginning of the id is enough
    EXPECT_NE(shown.find("Оператор              Сидоров"), std::string::npos) << shown;

    // The JSON is valid JSON with the row's values (checked by a parser this program did not write).
    int status = -1;
    const std::string check = Shell(tool + "export --json 0f1e2d3c | python3 -c \"import json,sys; r=json.load(sys.stdin); "
                                         "m=r['checks'][0]['rows'][0]; print(r['outcome'], m['parameter'], m['passed'])\"",
                                  &status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(check, "failed R \"фаза A\", МОм False\n");

    ASSERT_EQ(Shell(tool + "export --csv " + dir.File("m.csv") + " --from 2026-12-01 --to 2026-12-31"),
              "Записано строк измерений: 1\n");
    EXPECT_EQ(dir.Read("m.csv"),
              "\xEF\xBB\xBFrun_id,stand,serial,started_at,check_position,check_title,row,parameter,low,high,control,"
              "measured,result,passed,attempts,in_protocol\r\n"
              "0f1e2d3c-0000-4000-8000-000000000001,Стенд 1,77-1,2026-12-09T10:00:00.000+03:00,1,Изоляция,1,"
              "\"R \"\"фаза A\"\", МОм\",10,200,100,5,ОШИБКА,0,1,1\r\n");
    // Outside the dates: the header alone.
    ASSERT_EQ(Shell(tool + "export --csv " + dir.File("n.csv") + " --from 2027-01-01"), "Записано строк измерений: 0\n");

    // Mistakes get a message and a failing exit code, not a crash.
    Shell(tool + "show ffff 2>&1", &status);
    EXPECT_EQ(status, 1);
    EXPECT_NE(Shell(std::string(STAND_RECORDS_BINARY) + " --db " + dir.File("none.sqlite") + " runs 2>&1").find("не найден"),
              std::string::npos);
}
