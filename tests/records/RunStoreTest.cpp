// The stand's records file as a real SQLite database: what is written comes back whole, the
// outbox knows what the plant still lacks, an older file is brought up to date, and a file that
// cannot be used says so and is left as it was.
#include <gtest/gtest.h>

#include <sqlite3.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>

#include "records/RunStore.h"
#include "records/Sha256.h"
#include "support/TempDir.h"

namespace {

RunRecord_T SampleRun(const std::string& id, const std::string& session, const std::string& serial = "1234-5678") {
    RunRecord_T r;
    r.id = id;
    r.session = session;
    r.stand = "Стенд 1";
    r.device = "Станция";
    r.serial = serial;
    r.operatorName = "Иванов";
    r.script = "./scn/one.ini";
    r.scriptSha256 = Sha256Hex("script");
    r.startedAt = "2026-12-09T10:00:00.000+03:00";
    return r;
}

CheckRecord_T SampleCheck(int position, bool fail) {
    CheckRecord_T c;
    c.position = position;
    c.number = position;
    c.title = "Изоляция";
    c.outcome = fail ? RunOutcome::Failed : RunOutcome::Passed;
    c.startedAt = "2026-12-09T10:00:01.000+03:00";
    c.endedAt = "2026-12-09T10:00:05.000+03:00";
    for (int row = 1; row <= 3; ++row) {
        MeasurementRecord_T m;
        m.row = row;
        m.parameter = "R" + std::to_string(row);
        m.low = "10", m.high = "20", m.control = "15";
        m.measured = fail && row == 2 ? "25" : "15";
        m.result = fail && row == 2 ? "ОШИБКА" : "OK";
        m.passed = !(fail && row == 2);
        m.inProtocol = true;
        c.rows.push_back(m);
    }
    MeasurementRecord_T attempt;
    attempt.row = 4;
    attempt.parameter = "Время_ож";
    attempt.low = "0", attempt.high = "3", attempt.control = "3", attempt.measured = "1", attempt.result = "-";
    attempt.attempts = 2;
    c.rows.push_back(attempt);
    return c;
}

std::string Raw(const std::string& path, const char* sql) {
    sqlite3* db = nullptr;
    sqlite3_open(path.c_str(), &db);
    std::string out;
    sqlite3_exec(
        db, sql,
        [](void* o, int n, char** v, char**) {
            auto* s = static_cast<std::string*>(o);
            for (int i = 0; i < n; ++i) *s += (i ? "|" : "") + std::string(v[i] ? v[i] : "NULL");
            *s += "\n";
            return 0;
        },
        &out, nullptr);
    sqlite3_close(db);
    return out;
}

}  // namespace

TEST(RunStore, ARunComesBackAsItWasWrittenAndTheFileIsCrashSafe) {
    TempDir dir;
    TRunStore store;
    std::string error;
    ASSERT_TRUE(store.Open(dir.File("runs.sqlite"), error)) << error;
    EXPECT_EQ(Raw(dir.File("runs.sqlite"), "PRAGMA journal_mode"), "wal\n");
    EXPECT_EQ(Raw(dir.File("runs.sqlite"), "PRAGMA user_version"), "5\n");

    ASSERT_TRUE(store.BeginRun(SampleRun("run-1", "s1"), error)) << error;
    ASSERT_TRUE(store.SetPassport("run-1", {7, {1, 2, 3, 4, 5}, "15.03.2016 10:30"}, error));
    ASSERT_TRUE(store.AddCheck("run-1", SampleCheck(1, false), error));
    ASSERT_TRUE(store.AddCheck("run-1", SampleCheck(2, true), error));
    ASSERT_TRUE(store.EndRun("run-1", RunOutcome::Failed, "2026-12-09T10:01:00.000+03:00", "prot/ProtTest.txt", error));

    const auto run = store.LoadRun("run-", error);
    ASSERT_TRUE(run) << error;
    EXPECT_EQ(run->operatorName, "Иванов");
    EXPECT_EQ(run->outcome, RunOutcome::Failed);
    EXPECT_EQ(run->protocolFile, "prot/ProtTest.txt");
    ASSERT_TRUE(run->passport);
    EXPECT_EQ(run->passport->versions[4], 5);
    ASSERT_EQ(run->checks.size(), 2u);
    const auto& rows = run->checks[1].rows;
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[1].measured, "25");
    EXPECT_EQ(rows[1].passed, false);
    EXPECT_EQ(rows[0].passed, true);
    EXPECT_FALSE(rows[3].passed.has_value());  // the attempt row is not judged
    EXPECT_EQ(rows[3].attempts, 2);

    // A serial's history names the failing row; the listing counts the checks.
    const auto history = store.SerialHistory("1234-5678", error);
    ASSERT_EQ(history.size(), 1u);
    ASSERT_EQ(history[0].failingRows.size(), 1u);
    EXPECT_EQ(history[0].failingRows[0], "Изоляция: R2 25 (10..20) ОШИБКА");
    EXPECT_EQ(store.LastRuns(10, error)[0].checks, 2);
    EXPECT_EQ(Raw(dir.File("runs.sqlite"), "PRAGMA integrity_check"), "ok\n");
}

TEST(RunStore, TheOutboxHoldsEndedRunsAndThoseAnEarlierStartLeftIncomplete) {
    TempDir dir;
    TRunStore store;
    std::string error;
    ASSERT_TRUE(store.Open(dir.File("runs.sqlite"), error));
    ASSERT_TRUE(store.BeginRun(SampleRun("old", "earlier"), error));  // never ended: the program died
    ASSERT_TRUE(store.BeginRun(SampleRun("going", "now"), error));    // still running
    ASSERT_TRUE(store.BeginRun(SampleRun("done", "now"), error));
    ASSERT_TRUE(store.EndRun("done", RunOutcome::Passed, "t", "p", error));

    auto pending = store.PendingRuns("now", 10, error);
    ASSERT_EQ(pending.size(), 2u);
    EXPECT_EQ(pending[0].id, "old");
    EXPECT_EQ(pending[1].id, "done");
    EXPECT_EQ(store.PendingCount("now", error), 2);

    ASSERT_TRUE(store.MarkSent("done", pending[1].revision, error));
    EXPECT_EQ(store.PendingCount("now", error), 1);
    // The archive name arrives after the run went: the run is due again, and a mark for the
    // revision that travelled does not cover the newer one.
    ASSERT_TRUE(store.SetArchiveFile("done", "prot/1234-5678.000.txt", error));
    EXPECT_EQ(store.PendingCount("now", error), 2);
    ASSERT_TRUE(store.MarkSent("done", pending[1].revision, error));
    EXPECT_EQ(store.PendingCount("now", error), 2);
    // A batch goes on after the last one's place; a pass from the start finds both again.
    const auto after = store.PendingRuns("now", 10, error, pending[0].rowid);
    ASSERT_EQ(after.size(), 1u);
    EXPECT_EQ(after[0].id, "done");
    EXPECT_TRUE(store.PendingRuns("now", 10, error, after[0].rowid).empty());
    EXPECT_EQ(store.PendingRuns("now", 10, error).size(), 2u);
}

TEST(RunStore, ARunIsFoundByItsIdOrByABeginningOnlyOneIdHas) {
    TempDir dir;
    TRunStore store;
    std::string error;
    ASSERT_TRUE(store.Open(dir.File("runs.sqlite"), error));
    for (const char* id : {"abcd-1", "abcd-2", "abce-0000"})
        ASSERT_TRUE(store.BeginRun(SampleRun(id, "now"), error)) << error;
    auto id = [&](const std::string& asked) {
        const auto run = store.LoadRun(asked, error);
        return run ? run->id : "-";
    };
    EXPECT_EQ(id("abce"), "abce-0000");
    EXPECT_EQ(id("abcd-2"), "abcd-2");
    EXPECT_EQ(id("abcd-1"), "abcd-1");
    EXPECT_EQ(id("abcd"), "-");
    EXPECT_EQ(error, "Начало abcd подходит к нескольким испытаниям; укажите больше знаков.");
    error.clear();
    EXPECT_EQ(id("abc"), "-");  // too short to be taken as a beginning
    EXPECT_EQ(error, "Испытание abc не найдено.");
}

TEST(RunStore, AFileOfTheFirstSchemaIsBroughtUpToDateWithItsRunsKept) {
    TempDir dir;
    const std::string path = dir.File("runs.sqlite");
    Raw(path,
        "CREATE TABLE runs(id TEXT PRIMARY KEY, stand TEXT, serial TEXT, device TEXT, operator TEXT, cause TEXT, "
        "script TEXT, script_sha256 TEXT, started_at TEXT, ended_at TEXT, outcome TEXT NOT NULL DEFAULT "
        "'incomplete', protocol_file TEXT);"
        "CREATE TABLE checks(run_id TEXT NOT NULL REFERENCES runs(id), position INTEGER NOT NULL, title TEXT, "
        "outcome TEXT NOT NULL DEFAULT 'incomplete', PRIMARY KEY(run_id, position));"
        "CREATE TABLE measurements(run_id TEXT NOT NULL REFERENCES runs(id), check_position INTEGER NOT NULL, row "
        "INTEGER NOT NULL, parameter TEXT, low TEXT, high TEXT, control TEXT, measured TEXT, result TEXT, passed "
        "INTEGER, PRIMARY KEY(run_id, check_position, row));"
        "INSERT INTO runs(id, serial, started_at, outcome) VALUES('v1run', '77', '2026-01-01T00:00:00+03:00', 'passed');"
        "INSERT INTO checks VALUES('v1run', 1, 'Связь', 'passed');"
        "INSERT INTO measurements VALUES('v1run', 1, 1, 'U', '1', '2', '1', '1.5', 'OK', 1);"
        "PRAGMA user_version=1;");
    TRunStore store;
    std::string error;
    ASSERT_TRUE(store.Open(path, error)) << error;
    EXPECT_EQ(Raw(path, "PRAGMA user_version"), "5\n");
    const auto run = store.LoadRun("v1run", error);
    ASSERT_TRUE(run) << error;
    ASSERT_EQ(run->checks.size(), 1u);
    ASSERT_EQ(run->checks[0].rows.size(), 1u);
    EXPECT_EQ(run->checks[0].rows[0].measured, "1.5");
    EXPECT_EQ(run->checks[0].rows[0].attempts, 1);
    // Its runs never reached a plant: they wait in the outbox.
    EXPECT_EQ(store.PendingCount("now", error), 1);
    ASSERT_TRUE(store.AddCheck("v1run", SampleCheck(2, false), error)) << error;
}

TEST(RunStore, AFileThatCannotServeSaysWhyAndIsLeftAsItWas) {
    TempDir dir;
    std::string error;
    {
        // Not a database at all.
        const std::string bytes = "ProtTest: this is a protocol, not a database\r\n" + std::string(600, 'x');
        dir.Write("text.sqlite", bytes);
        TRunStore store;
        EXPECT_FALSE(store.Open(dir.File("text.sqlite"), error));
        EXPECT_NE(error.find("не является базой SQLite"), std::string::npos) << error;
        EXPECT_EQ(dir.Read("text.sqlite"), bytes);
        EXPECT_FALSE(store.BeginRun(SampleRun("x", "s"), error));
    }
    {
        // Made by a newer program: untouched, not even migrated.
        Raw(dir.File("new.sqlite"), "CREATE TABLE future(x); PRAGMA user_version=9;");
        TRunStore store;
        EXPECT_FALSE(store.Open(dir.File("new.sqlite"), error));
        EXPECT_NE(error.find("более новой версией программы (схема 9"), std::string::npos) << error;
        EXPECT_EQ(Raw(dir.File("new.sqlite"), "SELECT name FROM sqlite_master"), "future\n");
    }
    {
        // A folder that is not there.
        TRunStore store;
        EXPECT_FALSE(store.Open(dir.File("nowhere/runs.sqlite"), error));
        EXPECT_NE(error.find("не открывается"), std::string::npos) << error;
    }
    {
        // Locked by another program for longer than the store waits: the write fails, what was
        // stored before stays.
        TRunStore store;
        ASSERT_TRUE(store.Open(dir.File("runs.sqlite"), error));
        store.SetBusyTimeout(100);
        ASSERT_TRUE(store.BeginRun(SampleRun("kept", "s"), error));
        sqlite3* other = nullptr;
        sqlite3_open(dir.File("runs.sqlite").c_str(), &other);
        ASSERT_EQ(sqlite3_exec(other, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
        EXPECT_FALSE(store.AddCheck("kept", SampleCheck(1, false), error));
        EXPECT_NE(error.find("занят другой программой"), std::string::npos) << error;
        sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
        sqlite3_close(other);
        const auto run = store.LoadRun("kept", error);
        ASSERT_TRUE(run);
        EXPECT_TRUE(run->checks.empty());
        EXPECT_TRUE(store.AddCheck("kept", SampleCheck(1, false), error)) << error;
    }
}

TEST(RunIds, AreUniqueAndStayUniqueInAChildProcess) {
    const std::string parent = NewUuid();
    EXPECT_EQ(parent.size(), 36u);
    EXPECT_EQ(parent[14], '4');  // version 4
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    const pid_t pid = fork();
    if (pid == 0) {
        const std::string id = NewUuid();
        (void)!write(fds[1], id.data(), id.size());
        _exit(0);
    }
    close(fds[1]);
    char child[37] = {};
    ASSERT_EQ(read(fds[0], child, 36), 36);
    close(fds[0]);
    waitpid(pid, nullptr, 0);
    // The parent's next id and the child's first come from the same generator state unless the
    // child seeds its own.
    EXPECT_NE(std::string(child), NewUuid());
}

TEST(Sha256, DigestsMatchTheStandardsVectorsAndTheSystemTool) {
    EXPECT_EQ(Sha256Hex(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(Sha256Hex("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(Sha256Hex("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
              "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
    EXPECT_EQ(Sha256Hex(std::string(1000000, 'a')), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
    // Lengths around the padding's block boundary, against coreutils.
    TempDir dir;
    for (size_t n : {55u, 56u, 63u, 64u, 65u, 119u, 120u}) {
        std::string bytes;
        for (size_t i = 0; i < n; ++i) bytes += static_cast<char>(i * 37 + 11);
        dir.Write("b", bytes);
        std::string out(64, '\0');
        FILE* p = popen(("sha256sum " + dir.File("b")).c_str(), "r");
        ASSERT_NE(p, nullptr);
        ASSERT_EQ(fread(out.data(), 1, 64, p), 64u);
        pclose(p);
        EXPECT_EQ(Sha256Hex(bytes), out) << n;
    }
}

namespace {

// A file system of its own with little room (a tmpfs), which can also be made read-only: what a
// full disk and a write-protected medium do to the file, as the kernel does it. Needs root.
class SmallDisk {
public:
    explicit SmallDisk(int kilobytes) {
        char tmpl[] = "/tmp/stand_disk_XXXXXX";
        if (!mkdtemp(tmpl)) return;
        path_ = tmpl;
        mounted_ = Shell("mount -t tmpfs -o size=" + std::to_string(kilobytes) + "k tmpfs " + path_);
    }
    ~SmallDisk() {
        if (mounted_) Shell("umount " + path_);
        rmdir(path_.c_str());
    }
    bool Mounted() const { return mounted_; }
    std::string File(const std::string& name) const { return path_ + "/" + name; }
    bool MakeReadOnly() { return Shell("mount -o remount,ro " + path_); }
    // Takes all the room that is left.
    void Fill() {
        FILE* f = std::fopen(File("filler").c_str(), "wb");
        if (!f) return;
        const std::string block(4096, 'x');
        while (std::fwrite(block.data(), 1, block.size(), f) == block.size() && std::fflush(f) == 0) {
        }
        std::fclose(f);
    }
    void Free() { std::remove(File("filler").c_str()); }

private:
    static bool Shell(const std::string& cmd) { return std::system((cmd + " 2>/dev/null").c_str()) == 0; }
    std::string path_;
    bool mounted_ = false;
};

#define SKIP_WITHOUT_DISK(d) \
    if (!(d).Mounted()) GTEST_SKIP() << "mounting a tmpfs needs root (CI runs as root)"

}  // namespace

TEST(RunStore, AFullDiskLosesOnlyTheWriteThatDidNotFitAndAReadOnlyMediumIsNamed) {
    std::string error;
    {
        SmallDisk disk(1024);
        SKIP_WITHOUT_DISK(disk);
        TRunStore store;
        ASSERT_TRUE(store.Open(disk.File("runs.sqlite"), error)) << error;
        ASSERT_TRUE(store.BeginRun(SampleRun("kept", "s"), error)) << error;
        ASSERT_TRUE(store.AddCheck("kept", SampleCheck(1, false), error)) << error;
        disk.Fill();
        bool full = false;
        for (int k = 2; k < 200 && !full; ++k) full = !store.AddCheck("kept", SampleCheck(k, true), error);
        ASSERT_TRUE(full);
        EXPECT_NE(error.find("Нет места на диске для записей испытаний"), std::string::npos) << error;
        EXPECT_NE(error.find("протоколы пишутся как всегда"), std::string::npos) << error;
        // Everything committed before is there and whole; with room again the store goes on.
        EXPECT_EQ(Raw(disk.File("runs.sqlite"), "PRAGMA integrity_check"), "ok\n");
        auto run = store.LoadRun("kept", error);
        ASSERT_TRUE(run) << error;
        const size_t before = run->checks.size();
        EXPECT_GE(before, 1u);
        EXPECT_EQ(run->checks[0].rows.size(), 4u);
        disk.Free();
        ASSERT_TRUE(store.AddCheck("kept", SampleCheck(300, false), error)) << error;
        run = store.LoadRun("kept", error);
        ASSERT_TRUE(run) << error;
        EXPECT_EQ(run->checks.size(), before + 1);
    }
    {
        SmallDisk disk(1024);
        SKIP_WITHOUT_DISK(disk);
        {
            TRunStore store;
            ASSERT_TRUE(store.Open(disk.File("runs.sqlite"), error)) << error;
            ASSERT_TRUE(store.BeginRun(SampleRun("kept", "s"), error)) << error;
        }
        ASSERT_TRUE(disk.MakeReadOnly());
        TRunStore store;
        EXPECT_FALSE(store.Open(disk.File("runs.sqlite"), error));
        EXPECT_NE(error.find("только для чтения"), std::string::npos) << error;
        // The tool still reads it.
        TRunStore reader;
        ASSERT_TRUE(reader.Open(disk.File("runs.sqlite"), error, true)) << error;
        EXPECT_TRUE(reader.LoadRun("kept", error)) << error;
    }
}
