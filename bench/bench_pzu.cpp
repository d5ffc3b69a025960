// Programming 32 KiB into the simulated board's EEPROM through the test window's channel 1,
// with the station's line at 9600 and at 115200 baud, the blocks paced by the 400 ms timer and
// by the station's answers, the four interleaved in one run: wall time, the line-time floor of
// the bytes carried, the answer/timer ratio per line, and the GUI thread's time per block.
// With --screenshots DIR it then reads the EEPROM back with four bad bytes and pictures the
// EEPROM and comparison windows; --fast programs once on a line without time, ticking every
// 50 ms (for pictures only, no figures).
//
//   bench_pzu [--reps N] [--fast] [--screenshots DIR]
#include <sys/resource.h>
#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <cstdio>
#include <filesystem>
#include <map>
#include <numeric>
#include <vector>

#include "SimStation.h"
#include "StandSim.h"
#include "BenchSupport.h"
#include "app/Shell.h"
#include "execution/Globals.h"
#include "app/TStartWindow.h"
#include "eeprom/PzuSession.h"
#include "eeprom/TFPzu.h"
#include "eeprom/THexGrid.h"
#include "eeprom/TPSW.h"
#include "eeprom/TWPzu.h"
#include "link/ChannelWindow.h"
#include "platform/Cp1251.h"
#include "platform/Dialogs.h"
#include "platform/Paths.h"
#include "records/TProt.h"
#include "execution/TFPrPch.h"

namespace fs = std::filesystem;

namespace {


double ThreadCpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_THREAD, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

}  // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QuietSizeHintWarnings();
    bool fast = false;
    int reps = 1;
    QString screenshots;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--fast") fast = true;
        if (a == "--reps" && i + 1 < argc) reps = std::max(1, std::atoi(argv[++i]));
        if (a == "--screenshots" && i + 1 < argc) screenshots = QDir(argv[++i]).absolutePath();
    }
    if (!screenshots.isEmpty()) QDir().mkpath(screenshots);

    sim::StandSim sim;
    std::string error;
    if (!sim.Start(error)) {
        std::printf("stand-sim: %s\n", error.c_str());
        return 1;
    }
    char pattern[] = "/tmp/bench_pzu.XXXXXX";
    const std::string work = mkdtemp(pattern);
    std::string file(32768, '\0');
    for (size_t i = 0; i < file.size(); ++i) file[i] = static_cast<char>((i * 7 + i / 512) & 0xFF);
    fs::create_directories(work + "/data");
    platform::WriteFileBytes(work + "/pch.pzu", file);
    const std::string relative = fs::relative(work + "/pch.pzu", platform::ExecutableDirectory()).string();
    platform::WriteFileBytes(work + "/data/nastr.ini",
                             platform::Utf8ToCp1251("[ControlDevice]\nname=Stantion\n[Stantion]\nmode=ВОЛТАР\n[port]\n"
                                                    "connect_stantion=" + sim.StationPort() + "\nconnect_stend=" +
                                                    sim.ModulesPort() + "\n[pzu]\npzu=" + relative + "\n"));
    fs::current_path(work);

    YesDialogs dialogs;
    platform::ScopedDialogs use(dialogs);
    TCustomComm1 c1;
    TRS2 c2;
    TProt prot;
    TPSW psw;
    TFPrPch main;
    AppWindows_T windows;
    windows.CustomComm1 = &c1;
    windows.RS2 = &c2;
    windows.Prot = &prot;
    windows.PSW = &psw;
    main.SetWindows(windows);
    ConnectShell(main);
    QTimer helper;  // the operator: accepts the start window, types the password
    QObject::connect(&helper, &QTimer::timeout, [&] {
        if (StartWindowOf(main) && StartWindowOf(main)->isVisible()) StartWindowOf(main)->BitBtn1->click();
        if (psw.isVisible()) {
            psw.PSEdit->setText("482");
            psw.Finish();
        }
    });
    helper.start(20);
    main.StartUp();
    main.TimerStatusICP.stop();
    main.miPzuClick();
    TFPzu* w = main.EepromWindow();
    if (!w || !Wait([&] { return !main.Run().ListRunning(); }, 10000)) {
        std::printf("the EEPROM window did not open\n");
        return 1;
    }
    w->SBPasswClick();
    if (fast) w->TmrSend.setInterval(50);

    struct Pass_T {
        int baud;
        bool byAnswer;
    };
    std::vector<Pass_T> passes;
    if (fast) {
        passes.push_back({0, false});
    } else {
        for (int r = 0; r < reps; ++r)
            for (int baud : {9600, 115200})
                for (bool byAnswer : {false, true}) passes.push_back({baud, byAnswer});
    }
    std::map<std::pair<int, bool>, std::vector<double>> walls;  // (baud, by answer) -> seconds
    if (!fast) std::printf("%-7s %-9s %8s %10s %9s %9s %11s\n", "baud", "pacing", "wall s", "line s",
                           "wall/line", "bytes", "CPU/block");
    int seed = 0;
    for (const Pass_T& pass : passes) {
        sim::Scenario_T scenario;
        scenario.stationLine = {pass.baud, false, 1};
        sim.SetScenario(scenario);
        w->SetPacedByAnswer(pass.byAnswer);
        // A new pattern each time, so that every pass has to change every block of the board.
        ++seed;
        for (size_t i = 0; i < file.size(); ++i) file[i] = static_cast<char>((i * 7 + i / 512 + seed * 37) & 0xFF);
        platform::WriteFileBytes(work + "/pch.pzu", file);
        const size_t requestsBefore = sim.StationRequests().size();
        const size_t outputBefore = sim.StationOutput().size();

        const double cpu0 = ThreadCpuSeconds();
        QElapsedTimer wall;
        wall.start();
        w->SpeedButton62Click();
        if (!Wait([&] { return !w->TmrSend.isActive(); }, 900000)) {
            std::printf("programming did not end\n");
            return 1;
        }
        const double wallS = static_cast<double>(wall.elapsed()) / 1000;
        const double cpu = ThreadCpuSeconds() - cpu0;
        int differences = 0;
        long first = -1;
        for (size_t a = 0; a < file.size(); ++a)
            if (sim.EepromByte(0, static_cast<uint16_t>(a)) != static_cast<uint8_t>(file[a]) && differences++ == 0)
                first = static_cast<long>(a);
        if (differences > 0 || w->LProcPzu->text() != QString::fromUtf8("Программирование ВЫПОЛНЕНО.")) {
            std::printf("programming 32 KiB: %s, EEPROM differs from the file in %d bytes, the first at %04lX\n",
                        w->LProcPzu->text().toUtf8().constData(), differences, first);
            return 1;
        }
        if (fast) continue;
        // The floor: every byte that crossed the line, both ways, at the line's byte time.
        const auto requests = sim.StationRequests();
        size_t bytes = sim.StationOutput().size() - outputBefore;
        for (size_t i = requestsBefore; i < requests.size(); ++i) bytes += requests[i].size();
        const double lineS = static_cast<double>(bytes) * scenario.stationLine.ByteSeconds();
        walls[{pass.baud, pass.byAnswer}].push_back(wallS);
        std::printf("%-7d %-9s %8.1f %10.1f %9.2f %9zu %8.0f us\n", pass.baud, pass.byAnswer ? "answer" : "timer",
                    wallS, lineS, wallS / lineS, bytes, cpu / 512 * 1e6);
        std::fflush(stdout);
    }
    if (!fast) {
        auto mean = [](const std::vector<double>& v) { return std::accumulate(v.begin(), v.end(), 0.0) / static_cast<double>(v.size()); };
        for (int baud : {9600, 115200}) {
            const double timer = mean(walls[{baud, false}]);
            const double answer = mean(walls[{baud, true}]);
            // A block's round trip: its write out, the station's answer with the 64 bytes it holds back.
            const std::vector<uint8_t> block(TPzuSession::kBlockSize);
            const size_t roundTripBytes = TPzuSession::WritePacket(0, block.data()).size() +
                                          sim::SimStation::Frame(0x1A, std::vector<uint8_t>(68)).size();
            const double roundTripS =
                static_cast<double>(roundTripBytes) * sim::LineTime_T{baud, false, 1}.ByteSeconds();
            std::printf("%d baud: by answer %.1f s / by timer %.1f s = %.3f; 512 round trips of %.1f ms = %.1f s\n",
                        baud, answer, timer, answer / timer, roundTripS * 1000, 512 * roundTripS);
        }
    }

    if (!screenshots.isEmpty()) {
        // Four bad bytes in four blocks; the pictures show the first, then the third by F3.
        for (uint16_t a : {0x0123, 0x0456, 0x1A2F, 0x2345})
            sim.SetEepromByte(0, a, static_cast<uint8_t>(file[a] ^ 0xFF));
        w->TmrSend.setInterval(50);
        w->SpeedButton1Click();
        Wait([&] { return !w->TmrSend.isActive(); }, 120000);
        w->SpeedButton65Click();
        w->Comparison()->GridOut->scrollTo(w->Comparison()->GridOut->model()->index(0x0123 / 16, 0));
        w->Comparison()->GridIn->scrollTo(w->Comparison()->GridIn->model()->index(0x0123 / 16, 0));
        Wait([] { return false; }, 300);
        for (auto [widget, name] : {std::pair<QWidget*, const char*>{w, "eeprom_window.png"},
                                    {w->Comparison(), "eeprom_comparison.png"}}) {
            const QString path = screenshots + "/" + name;
            std::printf("%s: %s\n", widget->grab().save(path) ? "picture" : "could not write", path.toUtf8().constData());
        }
        w->Comparison()->activateWindow();
        for (int i = 0; i < 3; ++i) w->Comparison()->NextDifference();
        Wait([] { return false; }, 300);
        const QString third = screenshots + "/eeprom_comparison_third_difference.png";
        std::printf("%s: %s (%s)\n", w->Comparison()->grab().save(third) ? "picture" : "could not write",
                    third.toUtf8().constData(), w->Comparison()->lbStatus->text().toUtf8().constData());
        std::printf("reading back with four bad bytes: %s, errors %d\n", w->LProcPzu->text().toUtf8().constData(),
                    w->Session().ErrorCount());
    }

    w->close();
    c1.CloseChannel();
    c2.CloseChannel();
    fs::current_path("/");
    fs::remove_all(work);
    return 0;
}
