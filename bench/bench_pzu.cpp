// Programming 32 KiB into the simulated board's EEPROM through the test window's channel 1 at
// the block timer's own 400 ms pacing: wall time against the floor of its ticks, and the GUI
// thread's time per block. With --screenshots DIR it reads the EEPROM back with four bad bytes
// and pictures the EEPROM and comparison windows; --fast ticks every 50 ms instead (for
// pictures only, no figures).
//
//   bench_pzu [--fast] [--screenshots DIR]
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

#include "StandSim.h"
#include "BenchSupport.h"
#include "app/Shell.h"
#include "execution/Globals.h"
#include "app/TStartWindow.h"
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
    bool fast = false;
    QString screenshots;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--fast") fast = true;
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

    const double cpu0 = ThreadCpuSeconds();
    QElapsedTimer wall;
    wall.start();
    w->SpeedButton62Click();
    if (!Wait([&] { return !w->TmrSend.isActive(); }, 600000)) {
        std::printf("programming did not end\n");
        return 1;
    }
    const double wallMs = static_cast<double>(wall.elapsed());
    const double cpu = ThreadCpuSeconds() - cpu0;
    bool same = true;
    for (size_t a = 0; a < file.size(); ++a) same = same && sim.EepromByte(0, static_cast<uint16_t>(a)) == static_cast<uint8_t>(file[a]);
    std::printf("programming 32 KiB: %s, EEPROM %s the file\n", w->LProcPzu->text().toUtf8().constData(),
                same ? "equals" : "DIFFERS FROM");
    if (!fast) {
        const double floorMs = 513 * 400.0;  // 512 blocks and the tick that finds the file done
        std::printf("wall %.1f s against the floor of 513 ticks x 400 ms = %.1f s: ratio %.4f\n", wallMs / 1000,
                    floorMs / 1000, wallMs / floorMs);
        std::printf("GUI thread: %.3f s of CPU, %.0f us per block (send, answer, comparison grids)\n", cpu,
                    cpu / 512 * 1e6);
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
