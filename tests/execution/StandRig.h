#pragma once
// Shared by the end-to-end tests of the test window.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

#include "StandSim.h"
#include "app/Shell.h"
#include "execution/Globals.h"
#include "app/TStartWindow.h"
#include "platform/Termination.h"
#include "link/ChannelWindow.h"
#include "platform/Cp1251.h"
#include "platform/Paths.h"
#include "eeprom/TPSW.h"
#include "records/TProt.h"
#include "support/QtWait.h"
#include "support/ScriptedDialogs.h"
#include "support/TempDir.h"
#include "execution/TFPrPch.h"

using namespace std::chrono_literals;

inline const std::string kDemo = STAND_DEMO_DIR;

// The test window with both channels on the simulator, in a working folder holding the demo
// data; the tag dialog hands over `tag` and opens the protocol when prepareAtStart is set.
struct StandRig {
    sim::StandSim sim;
    TempDir dir;
    std::unique_ptr<ScopedWorkingDirectory> cd;
    ScriptedDialogs dialogs;
    std::unique_ptr<platform::ScopedDialogs> use;
    TCustomComm1 c1;
    TRS2 c2;
    TProt prot;
    TPSW psw;
    QTimer viewerCloser;  // the operator closes the protocol viewer whenever it opens
    int viewersClosed = 0;
    std::unique_ptr<TFPrPch> main;
    RunTag_T tag;
    bool prepareAtStart = false;

    explicit StandRig(const sim::Scenario_T& scenario, const std::string& script = "stanciya.ini") : sim(scenario) {
        std::string error;
        EXPECT_TRUE(sim.Start(error)) << error;
        for (const char* folder : {"data", "scn"})
            for (const std::string& f : platform::ListFiles(kDemo + "/" + folder, "*.*")) {
                std::string bytes;
                EXPECT_TRUE(platform::ReadFileBytes(kDemo + "/" + folder + "/" + f, bytes));
                dir.Write(std::string(folder) + "/" + f, bytes);
            }
        dir.Write("data/nastr.ini",
                  platform::Utf8ToCp1251("[ControlDevice]\nname=Stantion\n[Stantion]\nmode=ВОЛТАР\n"
                                         "[port]\nconnect_stantion=" + sim.StationPort() +
                                         "\nconnect_stend=" + sim.ModulesPort() +
                                         "\n[version]\nvCP=1\nvKK=1\nvRG=1\nvIzm=1\nvPzu=1\n"));
        cd = std::make_unique<ScopedWorkingDirectory>(dir.Path());
        use = std::make_unique<platform::ScopedDialogs>(dialogs);
        platform::ResetTerminationForTests();
        IsMaster = false;
        GetLN = false;
        main = std::make_unique<TFPrPch>();
        AppWindows_T windows;
        windows.CustomComm1 = &c1;
        windows.RS2 = &c2;
        windows.Prot = &prot;
        windows.PSW = &psw;
        main->SetWindows(windows);
        ConnectShell(*main);
        tag.scriptPath = "scn\\" + script;
        tag.deviceName = "Станция ВОЛТАР";
        tag.serialNumber = "12";
        tag.kUin = tag.kIout = tag.kUout = 0.1;
        tag.expectedVersions = {1, 1, 1, 1, 1};
        main->SetTagDialog([this](RunTag_T& t) {
            if (!prepareAtStart) return false;
            t = tag;
            return main->Protocol().Open("prot\\12.000.txt");
        });
        QObject::connect(&viewerCloser, &QTimer::timeout, [this] {
            for (QWidget* w : QApplication::topLevelWidgets())
                if (auto* viewer = qobject_cast<TProt*>(w); viewer && viewer->isVisible()) {
                    ++viewersClosed;
                    viewer->Saved = true;  // the operator leaves it without saving
                    viewer->reject();
                }
        });
        viewerCloser.start(50);
    }
    ~StandRig() {
        c1.CloseChannel();
        c2.CloseChannel();
    }

    // Start window OK, both channels open; the tag accepted when prepareAtStart is set.
    void Show() {
        QTimer::singleShot(0, [this] {
            if (auto* start = StartWindowOf(*main)) start->BitBtn1->click();
        });
        if (prepareAtStart)
            main->FormShow();
        else
            main->StartUp();
        main->SwitchAutopilotOff();  // the test presses the start button itself
    }
    bool PrepareAndSelect(std::chrono::seconds within = 30s) {
        prepareAtStart = true;
        Show();
        if (!WaitUntil([&] { return !main->Run().ListRunning(); }, within)) return false;
        main->aFullChekitExecute();
        main->BtOKClick();
        return main->Run().RunActive();
    }
    // The operator presses the start button whenever it is enabled and the station has answered.
    bool Operate(const std::function<bool()>& until, std::chrono::seconds within) {
        return WaitUntil(
            [&] {
                if (until()) return true;
                if (main->BitBtn1->isEnabled() && main->Sender().Reader().ReplyDone() &&
                    !main->TimerContactorPower.isActive())
                    main->BitBtn1Click();
                return until();
            },
            within);
    }
    // The output commands the modules received ("@AAHH"), without the input polls.
    std::vector<std::string> Outputs() {
        std::vector<std::string> out;
        for (const std::string& c : sim.ModuleCommands())
            if (c.size() == 5) out.push_back(c);
        return out;
    }
    std::string Status() const { return main->STPan3->text().toStdString(); }
    std::string Protocol() const { return platform::Cp1251ToUtf8(dir.Read("prot/12.000.txt")); }
    size_t Requests(uint8_t code) {
        size_t n = 0;
        for (const auto& r : sim.StationRequests()) n += r.size() > 3 && r[3] == code;
        return n;
    }
};
