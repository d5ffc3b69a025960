// The test window at work against stand-sim (a separate process, as at the stand): idle CPU
// in the selection state, a whole demo run on the autopilot against its timer floor, the GUI
// thread's time per decoded answer and the peak resident memory. With --screenshots DIR it
// also writes pictures of the window during the run and of its state pages. Without --baud it
// runs itself twice, with both lines taking no time and with both at 9600 baud (8N1), so that
// the figures stand side by side.
//
//   bench_run [--idle-seconds N] [--screenshots DIR] [--baud N]
#include <sys/resource.h>
#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLabel>
#include <QListWidget>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <vector>

#include "BenchSupport.h"
#include "app/Shell.h"
#include "execution/Globals.h"
#include "app/TStartWindow.h"
#include "link/ChannelWindow.h"
#include "link/StationCodec.h"
#include "platform/Cp1251.h"
#include "platform/Dialogs.h"
#include "platform/Paths.h"
#include "records/TBirka.h"
#include "records/TProt.h"
#include "rsmanager/TrafficJournal.h"
#include "execution/StatePages.h"
#include "execution/StatePlot.h"
#include "execution/TFPrPch.h"

namespace fs = std::filesystem;

namespace {


void RunEventsFor(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

double CpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

void Save(QWidget* w, const QString& dir, const QString& name) {
    const QString path = dir + "/" + name;
    if (w->grab().save(path))
        std::printf("picture: %s\n", path.toUtf8().constData());
    else
        std::printf("could not write %s\n", path.toUtf8().constData());
}

}  // namespace

// The demo scenario with both lines at `baud` (0: as it stands, no line time).
std::string ScenarioAt(const std::string& work, int baud) {
    const std::string demo = std::string(STAND_DEMO_DIR) + "/sim/scenario.ini";
    if (baud == 0) return demo;
    std::string text;
    platform::ReadFileBytes(demo, text);
    const std::string line = "baud=" + std::to_string(baud) + "\n";
    for (const std::string section : {"[station]", "[modules]"}) {
        const size_t at = text.find(section);
        const size_t eol = at == std::string::npos ? std::string::npos : text.find('\n', at);
        if (eol == std::string::npos) {
            text += "\n" + section + "\n" + line;
        } else {
            text.insert(eol + 1, line);
        }
    }
    const std::string path = work + "/sim/scenario.ini";
    platform::WriteFileBytes(path, text);
    return path;
}

// Runs this benchmark once per line speed, the pictures with the first only.
int EachLine(int argc, char* argv[]) {
    int status = 0;
    for (int baud : {0, 9600}) {
        QStringList args;
        for (int i = 1; i < argc; ++i) args << QString::fromLocal8Bit(argv[i]);
        if (baud != 0) {
            const qsizetype at = args.indexOf("--screenshots");
            if (at >= 0) args.remove(at, std::min<qsizetype>(2, args.size() - at));
        }
        args << "--baud" << QString::number(baud);
        std::printf(baud == 0 ? "== lines without time ==\n" : "== both lines at %d baud, 8N1 ==\n", baud);
        std::fflush(stdout);
        QProcess pass;
        pass.setProcessChannelMode(QProcess::ForwardedChannels);
        pass.start(QString::fromLocal8Bit(argv[0]), args);
        if (!pass.waitForFinished(-1) || pass.exitCode() != 0) status = 1;
    }
    return status;
}

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QuietSizeHintWarnings();
    int idleSeconds = 30;
    int baud = -1;
    QString screenshots;
    for (int i = 1; i + 1 < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--idle-seconds") idleSeconds = std::atoi(argv[++i]);
        if (a == "--screenshots") screenshots = QDir(argv[++i]).absolutePath();
        if (a == "--baud") baud = std::atoi(argv[++i]);
    }
    if (baud < 0) return EachLine(argc, argv);
    if (!screenshots.isEmpty()) QDir().mkpath(screenshots);

    // A working folder with the demo data, and the simulator as its own process.
    char pattern[] = "/tmp/bench_run.XXXXXX";
    const std::string work = mkdtemp(pattern);
    fs::copy(std::string(STAND_DEMO_DIR) + "/data", work + "/data", fs::copy_options::recursive);
    fs::copy(std::string(STAND_DEMO_DIR) + "/scn", work + "/scn", fs::copy_options::recursive);
    fs::create_directories(work + "/sim");
    QProcess sim;
    sim.start(STAND_SIM_PATH, {"--station", QString::fromStdString(work + "/sim/station"), "--modules",
                               QString::fromStdString(work + "/sim/modules"), "--scenario",
                               QString::fromStdString(ScenarioAt(work, baud))});
    if (!Wait([&] { return fs::is_symlink(work + "/sim/modules"); }, 5000)) {
        std::printf("stand-sim did not start\n");
        return 1;
    }
    platform::WriteFileBytes(work + "/data/nastr.ini",
                             platform::Utf8ToCp1251("[ControlDevice]\nname=Stantion\n[Stantion]\nmode=ВОЛТАР\n[port]\n"
                                                    "connect_stantion=" + work + "/sim/station\nconnect_stend=" +
                                                    work + "/sim/modules\n[version]\nvCP=1\nvKK=1\nvRG=1\nvIzm=1\nvPzu=1\n"));
    fs::current_path(work);

    YesDialogs dialogs;
    platform::ScopedDialogs use(dialogs);
    TCustomComm1 c1;
    TRS2 c2;
    TProt prot;
    TFPrPch main;
    AppWindows_T windows;
    windows.CustomComm1 = &c1;
    windows.RS2 = &c2;
    windows.Prot = &prot;
    main.SetWindows(windows);
    ConnectShell(main);
    main.SetTagDialog([&](RunTag_T& tag) {
        tag.scriptPath = "scn\\stanciya.ini";
        tag.deviceName = "Станция ВОЛТАР";
        tag.serialNumber = "12";
        tag.kUin = tag.kIout = tag.kUout = 0.1;
        tag.expectedVersions = {1, 1, 1, 1, 1};
        return main.Protocol().Open("prot\\12.000.txt");
    });
    QTimer helper;  // accepts the start window and closes the protocol viewer, as the operator would
    QObject::connect(&helper, &QTimer::timeout, [&] {
        if (StartWindowOf(main) && StartWindowOf(main)->isVisible()) StartWindowOf(main)->BitBtn1->click();
        if (prot.isVisible()) prot.reject();
    });
    helper.start(50);
    main.show();
    if (!Wait([&] { return StartWindowOf(main) && !StartWindowOf(main)->isVisible() && main.TmrBeg.isActive(); }, 10000) ||
        !Wait([&] { return !main.Run().ListRunning(); }, 30000)) {
        std::printf("the initial exchange did not finish\n");
        return 1;
    }

    if (!screenshots.isEmpty()) {
        main.miInternalStateClick();
        RunEventsFor(300);
        for (int i = 0; i < main.StatePages->count(); ++i) {
            main.StatePages->setCurrentIndex(i);
            RunEventsFor(100);
            Save(main.StatePages, screenshots, QString("state_page_%1.png").arg(i));
        }
        main.StatePages->setCurrentIndex(0);
        Save(&main, screenshots, "test_window_selection.png");
        // The test tag as the operator meets it, and the viewer on the run's protocol so far.
        TBirka tag(BirkaLinks_T{});
        tag.FormShow();
        tag.show();
        RunEventsFor(200);
        Save(&tag, screenshots, "test_tag.png");
        tag.hide();
        TProt viewer;
        viewer.ProtDir = work + "/prot";
        viewer.ProtFile = work + "/prot/12.000.txt";
        viewer.Temporary = true;
        viewer.FormShow();
        viewer.show();
        RunEventsFor(200);
        Save(&viewer, screenshots, "protocol_viewer.png");
        viewer.Saved = true;
        viewer.hide();
    }

    // Idle: the selection state, with the state poll and the stand's input poll running.
    const double cpu0 = CpuSeconds();
    QElapsedTimer idle;
    idle.start();
    RunEventsFor(idleSeconds * 1000);
    const double idleCpu = (CpuSeconds() - cpu0) / (static_cast<double>(idle.elapsed()) / 1000.0);
    std::printf("idle: %.2f %% of a core over %d s (state poll every 2 s, input poll every 1 s)\n", idleCpu * 100,
                idleSeconds);

    // A whole run on the autopilot. The floor is the time its pacing timers must take: each step
    // tick, and each autopilot tick that is not overlapped by running steps.
    double floorMs = 0;
    int stepTicks = 0, pilotTicks = 0;
    QObject::connect(&main.Timer1, &QTimer::timeout, [&] {
        floorMs += main.Timer1.interval();
        ++stepTicks;
    });
    QObject::connect(&main.TimerClicker, &QTimer::timeout, [&] {
        if (main.Timer1.isActive()) return;
        floorMs += 2000;  // the autopilot's interval while a run is on
        ++pilotTicks;
    });
    if (!screenshots.isEmpty()) {
        // The station channel's memo with times, and the plots, follow the run from its start.
        c1.SetShowTimes(true);
        c1.show();
        main.StatePages->setCurrentWidget(main.StatePages->Plot);
    }
    const uint64_t journalFrom = main.SharedJournal()->NextSeq();
    main.aFullChekitExecute();
    main.BtOKClick();
    main.rbAutopilotOn->setChecked(true);
    QElapsedTimer run;
    run.start();
    main.BitBtn1Click();  // the operator starts the first check; the autopilot does the rest
    bool pictured = false;
    const bool ended = Wait(
        [&] {
            if (!screenshots.isEmpty() && !pictured && main.Run().CheckNumber() == 3) {
                pictured = true;
                Save(&main, screenshots, "test_window_run.png");
                Save(main.StatePages, screenshots, "state_plot_run.png");
                Save(&c1, screenshots, "channel_memo_times.png");
            }
            return !main.Run().RunActive();
        },
        600000);
    const double wallMs = static_cast<double>(run.elapsed());
    if (!ended) {
        std::printf("the run did not end\n");
        return 1;
    }
    if (!screenshots.isEmpty()) Save(&main, screenshots, "test_window_verdict.png");
    std::printf("demo run: %.1f s wall, floor %.1f s (%d step ticks x 700 ms, %d autopilot ticks x 2000 ms), "
                "wall/floor %.3f, verdict \"%s\"\n",
                wallMs / 1000, floorMs / 1000, stepTicks, pilotTicks, wallMs / floorMs,
                main.STPan3->text().toUtf8().constData());

    // What a line costs per exchange: from a request's write to its answer framed, per channel,
    // out of the traffic journal of the run.
    for (uint8_t channel : {uint8_t{1}, uint8_t{2}}) {
        std::vector<double> ms;
        int64_t sentAt = -1;
        for (const JournalFrame_T& f : main.SharedJournal()->Read(journalFrom, TTrafficJournal::kMinFrames)) {
            if (f.channel != channel) continue;
            if (f.dir == JournalDir::Out) {
                sentAt = f.monoUs;
            } else if (sentAt >= 0) {
                ms.push_back(static_cast<double>(f.monoUs - sentAt) / 1000);
                sentAt = -1;
            }
        }
        std::sort(ms.begin(), ms.end());
        if (!ms.empty())
            std::printf("%s: request written -> answer framed, n=%zu, median %.1f ms, p99 %.1f ms\n",
                        channel == 1 ? "station" : "modules", ms.size(), ms[ms.size() / 2], ms[ms.size() * 99 / 100]);
    }

    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    std::printf("peak RSS: %.1f MiB (program side; the simulator runs apart)\n", static_cast<double>(u.ru_maxrss) / 1024);

    // The GUI thread's share of one answer: decoding, the state page and the log line.
    std::vector<uint8_t> frame;
    frame.reserve(35);
    frame.push_back(0x4D);
    frame.push_back(0x00);
    frame.push_back(30);
    frame.push_back(0x73);
    for (int i = 0; i < 29; ++i) frame.push_back(static_cast<uint8_t>(i * 7));
    const uint16_t crc = StationCrc(frame.data(), frame.size());
    frame.push_back(static_cast<uint8_t>(crc >> 8));
    frame.push_back(static_cast<uint8_t>(crc & 0xFF));
    const std::string text = " <-" + BytesToHex(frame, " ");
    std::vector<double> us;
    for (int i = 0; i < 5000; ++i) {
        QElapsedTimer t;
        t.start();
        main.Decoder().Decode(frame);
        main.StatePages->ShowAnswer(0x73, main.Decoder().State(), main.Interpreter().BuffPar().data());
        main.LogLine(text);
        us.push_back(static_cast<double>(t.nsecsElapsed()) / 1000);
    }
    std::sort(us.begin(), us.end());
    std::printf("one 0x73 answer on the GUI thread: median %.1f us, p99 %.1f us (decode + state page + log line)\n",
                us[us.size() / 2], us[us.size() * 99 / 100]);

    c1.CloseChannel();
    c2.CloseChannel();
    sim.terminate();
    sim.waitForFinished(3000);
    fs::current_path("/");
    fs::remove_all(work);
    return 0;
}
