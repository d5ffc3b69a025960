// The real program as a process on a virtual display, driven by keys and mouse clicks (xdotool)
// against the simulated stand: every way out ends it with exit code 0, soon after its last step.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <sstream>
#include <vector>
#include <thread>

#include "StandSim.h"
#include "records/RunStore.h"
#include "platform/Cp1251.h"
#include "platform/Paths.h"
#include "support/TempDir.h"

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

std::string Run(const std::string& command) {
    std::string out;
    if (FILE* p = popen(command.c_str(), "r")) {
        char buf[256];
        while (fgets(buf, sizeof buf, p)) out += buf;
        pclose(p);
    }
    while (!out.empty() && (out.back() == '\n' || out.back() == ' ')) out.pop_back();
    return out;
}

bool Have(const char* tool) { return !Run(std::string("command -v ") + tool).empty(); }

// An X server of its own, on the display number it chose; what it says goes to `log`. It does not
// reset when its last client leaves, so one server serves the whole test.
class VirtualDisplay {
public:
    explicit VirtualDisplay(const std::string& log) {
        int fds[2];
        if (pipe(fds) != 0) return;
        pid_ = fork();
        if (pid_ == 0) {
            close(fds[0]);
            const std::string fd = std::to_string(fds[1]);
            int out = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            dup2(out, 2);
            execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1280x1024x24", "-nolisten", "tcp", "-r", "-noreset",
                   static_cast<char*>(nullptr));
            _exit(127);
        }
        close(fds[1]);
        // The server writes the number and its line end in two writes and dies when the second
        // finds the pipe closed, so the pipe stays open until the whole line is in.
        std::string number;
        char c = 0;
        while (read(fds[0], &c, 1) == 1 && c != '\n') number += c;
        close(fds[0]);
        if (!number.empty() && c == '\n') display_ = ":" + number;
    }
    ~VirtualDisplay() {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            waitpid(pid_, nullptr, 0);
        }
    }
    const std::string& Name() const { return display_; }

private:
    pid_t pid_ = -1;
    std::string display_;
};

// The stand program started in a working folder of its own; xdotool acts on its windows.
class Program {
public:
    Program(const std::string& display, const std::string& dir) : display_(display) {
        pid_ = fork();
        if (pid_ == 0) {
            if (chdir(dir.c_str()) != 0) _exit(126);
            setenv("DISPLAY", display.c_str(), 1);
            unsetenv("QT_QPA_PLATFORM");
            int null = open("/dev/null", O_WRONLY);
            dup2(null, 2);
            execl(STAND_BINARY, STAND_BINARY, static_cast<char*>(nullptr));
            _exit(127);
        }
    }
    ~Program() {
        if (pid_ > 0 && !exited_) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }

    // Waits for the process to end; its exit code, or -1 when it is still running at the deadline.
    int WaitExit(std::chrono::milliseconds within) {
        const auto end = Clock::now() + within;
        while (Clock::now() < end) {
            int status = 0;
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                exited_ = true;
                endedAt_ = Clock::now();
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            std::this_thread::sleep_for(20ms);
        }
        return -1;
    }
    Clock::time_point EndedAt() const { return endedAt_; }
    // kill -9: no handler of the program runs.
    void Kill() {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
        exited_ = true;
    }

    std::string Xdo(const std::string& args) const {
        return Run("DISPLAY=" + display_ + " timeout 20 xdotool " + args + " 2>/dev/null");
    }
    // The visible window whose title holds `title` (the last one made), waiting for it.
    std::string Window(const std::string& title) const {
        return Xdo("search --sync --onlyvisible --name '" + title + "' | tail -1");
    }
    // Keys sent to a window. When a key closes its window, xdotool never gets to release it and
    // the server keeps it down: every later press of it would be lost, so each is let go here.
    void Keys(const std::string& window, const std::string& keys) const {
        Xdo("key --window " + window + " " + keys);
        Xdo("keyup " + keys);
    }
    // Keys to whatever holds the keyboard (an open menu).
    void Keys(const std::string& keys) const {
        Xdo("key " + keys);
        Xdo("keyup " + keys);
    }
    // Waits for one more visible window with `title` than `already` and gives the newest.
    std::string NewWindow(const std::string& title, size_t already, std::chrono::milliseconds within = 10s) const {
        const auto end = Clock::now() + within;
        while (Clock::now() < end) {
            std::vector<std::string> ids;
            std::istringstream lines(Xdo("search --onlyvisible --name '" + title + "'"));
            for (std::string id; std::getline(lines, id);) ids.push_back(id);
            if (ids.size() > already) return ids.back();
            std::this_thread::sleep_for(50ms);
        }
        return {};
    }
    // A click at a point given from the window's bottom-right corner (buttons of a dialog's
    // last row) or its top-left corner.
    void ClickFromBottomRight(const std::string& window, int dx, int dy) const { ClickAt(window, dx, dy, true); }
    void ClickFromTopLeft(const std::string& window, int dx, int dy) const { ClickAt(window, dx, dy, false); }

private:
    void ClickAt(const std::string& window, int dx, int dy, bool fromBottomRight) const {
        int x = 0, y = 0, w = 0, h = 0;
        const std::string g = Xdo("getwindowgeometry --shell " + window);
        std::sscanf(g.c_str(), "WINDOW=%*d X=%d Y=%d WIDTH=%d HEIGHT=%d", &x, &y, &w, &h);
        const int px = fromBottomRight ? x + w - dx : x + dx;
        const int py = fromBottomRight ? y + h - dy : y + dy;
        Xdo("mousemove " + std::to_string(px) + " " + std::to_string(py) + " click 1");
    }
    std::string display_;
    pid_t pid_ = -1;
    bool exited_ = false;
    Clock::time_point endedAt_;
};

// A working folder for the program: its settings on the simulator's ports and one script
// with one check of one step, chosen in the tag by default, expecting the versions the simulated
// station reports.
struct Stand {
    sim::StandSim sim;
    TempDir dir;
    VirtualDisplay display{dir.File("xvfb.log")};

    Stand() {
        std::string error;
        EXPECT_TRUE(sim.Start(error)) << error;
        dir.Write("data/nastr.ini", platform::Utf8ToCp1251("[ControlDevice]\r\nname=Stantion\r\n[Stantion]\r\nmode=ВОЛТАР\r\n"
                                                           "[port]\r\nconnect_stantion=" + sim.StationPort() +
                                                           "\r\nconnect_stend=" + sim.ModulesPort() +
                                                           "\r\nShow=1\r\n[DEVICE]\r\nname=VOLTAR\r\n"));
        dir.Write("data/birka.ini", "[Birka]\r\nOperator=Ivanov\r\nSerialNumber=77\r\nid_script=0\r\n");
        dir.Write("scn/one.ini", platform::Utf8ToCp1251("[info]\r\nversion=v1\r\ndevice=Станция\r\narc_dir=./prot/one/\r\n"
                                                        "[version]\r\nvCP=1\r\nvKK=1\r\nvRG=1\r\nvIzm=1\r\nvPzu=1\r\n"
                                                        "[title1]\r\nTitl=Связь\r\nOneStep=1\r\n"
                                                        "[step1]\r\nPrOffTimer=1\r\nSend=00 01 88\r\nNext=endprov\r\n"));
    }
    bool ToolsThere() const { return Have("Xvfb") && Have("xdotool"); }
    // The server is there and answers (it may still be starting when its number is known).
    bool DisplayAnswers() const {
        if (display.Name().empty()) return false;
        for (int i = 0; i < 100; ++i) {
            if (!Run("DISPLAY=" + display.Name() + " xdotool getdisplaygeometry 2>/dev/null").empty()) return true;
            std::this_thread::sleep_for(100ms);
        }
        return false;
    }
    // Through the tag to the test window, and on until the initial exchange is over and the
    // selection waits for the operator. The test window's id.
    std::string ToSelection(Program& p) {
        p.Keys(p.Window("Проверка станции"), "Return");
        const std::string tag = p.Window("Бирка");
        std::this_thread::sleep_for(800ms);    // the tag takes its first clicks only once it is laid out
        p.ClickFromBottomRight(tag, 160, 22);  // "Начало проверки"
        // The exchange ends with the EEPROM read; its answer and the list's last tick follow.
        for (int i = 0; i < 200 && StationRequestsWith(0x10) == 0; ++i) std::this_thread::sleep_for(50ms);
        std::this_thread::sleep_for(1500ms);
        return p.Window("Проверка станции");
    }
    // What the stand is sent from here on is what the ending sends.
    void CountFromHere() {
        outputsBefore_ = OutputCommands();
        powerOffsBefore_ = StationRequestsWith(0xA3);
    }
    // The test window's own shutdown: three ticks of 3000 ms; the station powered off once
    // and combination 1 set on the first two ticks; then the program ends.
    void ExpectTheWindowsShutdown(Program& p, Clock::time_point pressed) {
        ASSERT_EQ(p.WaitExit(15s), 0);
        const double took = std::chrono::duration<double>(p.EndedAt() - pressed).count();
        EXPECT_GT(took, 8.5);
        EXPECT_LT(took, 10.5);
        EXPECT_EQ(OutputCommands() - outputsBefore_, 30);
        EXPECT_EQ(StationRequestsWith(0xA3) - powerOffsBefore_, 1);
    }
    int StationRequestsWith(uint8_t code) {
        int n = 0;
        for (const auto& r : sim.StationRequests())
            if (r.size() > 3 && r[3] == code) ++n;
        return n;
    }
    // DCON output commands ("@AAHH"), the input polls ("@03") left out.
    int OutputCommands() {
        const auto all = sim.ModuleCommands();
        return static_cast<int>(std::count_if(all.begin(), all.end(), [](const std::string& c) { return c.size() == 5; }));
    }

private:
    int outputsBefore_ = 0;
    int powerOffsBefore_ = 0;
};

// Without the tools the test cannot run here; with them, a display that does not answer is a
// failure, not a reason to pass.
#define SKIP_WITHOUT_DISPLAY(s)                                                                  \
    if (!(s).ToolsThere()) GTEST_SKIP() << "Xvfb and xdotool are needed (scripts/deps.sh installs them)"; \
    ASSERT_TRUE((s).DisplayAnswers()) << "the virtual display " << (s).display.Name() << " does not answer:\n" << (s).dir.Read("xvfb.log")

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

}  // namespace

TEST(ProgramEnd, TheStartWindowsExitAndItsCloseEndTheProgramAtOnce) {
    Stand s;
    SKIP_WITHOUT_DISPLAY(s);
    // "Выход" is the third button: two tabs from "Проверка станции"; Escape closes the window.
    for (const char* keys : {"Tab Tab Return", "Escape"}) {
        Program p(s.display.Name(), s.dir.Path());
        p.Window("Проверка станции");
        std::this_thread::sleep_for(300ms);  // both windows of that name are up
        p.Keys(p.Window("Проверка станции"), keys);
        const auto pressed = Clock::now();
        ASSERT_EQ(p.WaitExit(5s), 0) << keys;
        EXPECT_LT(Seconds(p.EndedAt() - pressed), 1.5) << keys;
    }
    // The stand was never switched: the channels were not opened.
    EXPECT_EQ(s.OutputCommands(), 0);
    EXPECT_EQ(s.StationRequestsWith(0xA3), 0);
}

TEST(ProgramEnd, TheTagsExitSwitchesTheStandOffOnceAndEnds) {
    Stand s;
    SKIP_WITHOUT_DISPLAY(s);
    Program p(s.display.Name(), s.dir.Path());
    p.Keys(p.Window("Проверка станции"), "Return");
    const std::string tag = p.Window("Бирка");
    ASSERT_FALSE(tag.empty());
    p.ClickFromBottomRight(tag, 50, 22);  // "Выход", the last button of the tag
    const auto pressed = Clock::now();
    ASSERT_EQ(p.WaitExit(12s), 0);
    // Two ticks of 3000 ms, then the end: no shutdown of the test window behind it.
    EXPECT_GT(Seconds(p.EndedAt() - pressed), 5.5);
    EXPECT_LT(Seconds(p.EndedAt() - pressed), 7.0);
    EXPECT_EQ(s.OutputCommands(), 15);  // combination 1, once
    EXPECT_EQ(s.StationRequestsWith(0xA3), 0);
}

TEST(ProgramEnd, TheTestWindowsExitSwitchesTheStandOffAndEnds) {
    Stand s;
    SKIP_WITHOUT_DISPLAY(s);
    Program p(s.display.Name(), s.dir.Path());
    const std::string main = s.ToSelection(p);
    ASSERT_FALSE(main.empty());
    ASSERT_EQ(s.StationRequestsWith(0x10), 1) << "the initial exchange did not end";
    s.CountFromHere();
    p.ClickFromTopLeft(main, 40, 8);  // the menu "Проверка"
    std::this_thread::sleep_for(500ms);
    const auto pressed = Clock::now();
    p.Keys("Up Return");  // its last item, "Выход"
    s.ExpectTheWindowsShutdown(p, pressed);
}

TEST(ProgramEnd, NoToTheNextDeviceAfterAWholeRunEndsTheProgram) {
    Stand s;
    SKIP_WITHOUT_DISPLAY(s);
    Program p(s.display.Name(), s.dir.Path());
    const std::string main = s.ToSelection(p);
    ASSERT_FALSE(main.empty());
    p.ClickFromTopLeft(main, 106, 805);  // "Выбор сделан"
    std::this_thread::sleep_for(500ms);
    p.ClickFromTopLeft(main, 257, 140);  // "Начать!"
    const std::string verdict = p.NewWindow("Проверка станции", 1);
    ASSERT_FALSE(verdict.empty()) << "no \"Испытания окончены\" box";
    p.Keys(verdict, "Return");
    std::this_thread::sleep_for(500ms);
    p.ClickFromTopLeft(main, 257, 140);  // the enabled start button closes the run
    const std::string viewer = p.Window("Протокол проверки");
    ASSERT_FALSE(viewer.empty());
    std::this_thread::sleep_for(500ms);
    p.Keys(viewer, "Escape");
    p.Keys(p.Window("Подтвердите завершение работы"), "Return");  // "Да": the protocol goes to the archive
    const std::string next = p.Window("Конец проверки");
    ASSERT_FALSE(next.empty());
    std::this_thread::sleep_for(300ms);
    s.CountFromHere();
    const auto pressed = Clock::now();
    p.Keys(next, "Tab Return");  // "Нет"
    s.ExpectTheWindowsShutdown(p, pressed);
    // Next to the working copy, the protocol kept in the archive, with the run's verdict.
    std::vector<std::string> archived;
    for (const auto& f : std::filesystem::directory_iterator(s.dir.Path() + "/prot/one"))
        if (f.path().filename() != "ProtTest.txt") archived.push_back(f.path().filename().string());
    ASSERT_EQ(archived.size(), 1u);
    EXPECT_NE(s.dir.Read("prot/one/" + archived[0]).find(platform::Utf8ToCp1251("Итоговый результат: Станция прошла проверку")),
              std::string::npos);
    // The stand's records file holds the run, its verdict and the archive file the viewer made.
    TRunStore store;
    std::string error;
    ASSERT_TRUE(store.Open(s.dir.File("data/runs.sqlite"), error)) << error;
    const auto runs = store.LastRuns(10, error);
    ASSERT_EQ(runs.size(), 1u) << error;
    const auto run = store.LoadRun(runs[0].id, error);
    ASSERT_TRUE(run) << error;
    EXPECT_EQ(run->outcome, RunOutcome::Passed);
    EXPECT_EQ(run->operatorName, "Ivanov");
    EXPECT_EQ(platform::FileName(run->archiveFile), archived[0]);
    ASSERT_EQ(run->checks.size(), 1u);
    EXPECT_EQ(run->checks[0].title, "Связь");
}

TEST(ProgramEnd, AKilledProgramLosesNoCommittedCheckAndLeavesTheRunIncomplete) {
    Stand s;
    SKIP_WITHOUT_DISPLAY(s);
    // Two checks; the second is a chain of steps that is still going when the program dies.
    std::string chain;
    for (int i = 2; i < 12; ++i)
        chain += "[step" + std::to_string(i) + "]\r\nPrOffTimer=1\r\nSend=00 01 88\r\nNext=step" + std::to_string(i + 1) + "\r\n";
    chain += "[step12]\r\nNext=endprov\r\n";
    s.dir.Write("scn/one.ini", platform::Utf8ToCp1251("[info]\r\nversion=v1\r\ndevice=Станция\r\narc_dir=./prot/one/\r\n"
                                                      "[version]\r\nvCP=1\r\nvKK=1\r\nvRG=1\r\nvIzm=1\r\nvPzu=1\r\n"
                                                      "[title1]\r\nTitl=Связь\r\nOneStep=1\r\nNextTitle=title2\r\n"
                                                      "[step1]\r\nPrOffTimer=1\r\nSend=00 01 88\r\nNext=endprov\r\n"
                                                      "[title2]\r\nTitl=Цепочка\r\nOneStep=2\r\n" + chain));
    Program p(s.display.Name(), s.dir.Path());
    const std::string main = s.ToSelection(p);
    ASSERT_FALSE(main.empty());
    p.ClickFromTopLeft(main, 106, 749);  // "Выбрать все тесты [ v ]"
    std::this_thread::sleep_for(300ms);
    p.ClickFromTopLeft(main, 106, 805);  // "Выбор сделан"
    std::this_thread::sleep_for(500ms);
    p.ClickFromTopLeft(main, 257, 140);  // "Начать!"; the autopilot goes on to the second check
    // As soon as the first check is in the file, the program dies.
    const std::string path = s.dir.File("data/runs.sqlite");
    auto checksStored = [&] {
        TRunStore reader;
        std::string error;
        if (!reader.Open(path, error, true)) return 0;
        const auto runs = reader.LastRuns(1, error);
        return runs.empty() ? 0 : runs[0].checks;
    };
    for (int i = 0; i < 300 && checksStored() == 0; ++i) std::this_thread::sleep_for(20ms);
    ASSERT_EQ(checksStored(), 1);
    p.Kill();

    TRunStore store;
    std::string error;
    ASSERT_TRUE(store.Open(path, error)) << error;
    const auto runs = store.LastRuns(10, error);
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].outcome, RunOutcome::Incomplete);
    const auto run = store.LoadRun(runs[0].id, error);
    ASSERT_TRUE(run) << error;
    ASSERT_EQ(run->checks.size(), 1u);
    EXPECT_EQ(run->checks[0].title, "Связь");
    EXPECT_EQ(run->checks[0].outcome, RunOutcome::Passed);
    EXPECT_TRUE(run->endedAt.empty());
    // A later start takes it as a run an earlier start left: it waits for the plant.
    EXPECT_EQ(store.PendingCount("a later start", error), 1);
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    sqlite3_stmt* check = nullptr;
    sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &check, nullptr);
    ASSERT_EQ(sqlite3_step(check), SQLITE_ROW);
    EXPECT_STREQ(reinterpret_cast<const char*>(sqlite3_column_text(check, 0)), "ok");
    sqlite3_finalize(check);
    sqlite3_close(db);
}
