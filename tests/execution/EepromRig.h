#pragma once
// The EEPROM window at the simulated stand, shared by the end-to-end tests that program and
// read the board.
#include <QLineEdit>
#include <filesystem>

#include "SimScenario.h"
#include "StandRig.h"
#include "eeprom/TFPzu.h"

inline sim::Scenario_T DemoScenario() {
    sim::Scenario_T scenario;
    std::string error;
    EXPECT_TRUE(sim::LoadScenario(kDemo + "/sim/scenario.ini", scenario, error)) << error;
    return scenario;
}

// The EEPROM window opened from the test window on a settings file of `content`, with the
// password given; the abort's final exchange is over. `moreSettings` goes into the [pzu]
// section after the file's name.
inline TFPzu* OpenEeprom(StandRig& s, const std::string& name, const std::string& content, QTimer& typist,
                         const std::string& moreSettings = "") {
    const std::string settings = s.dir.Write("pzu/" + name, content);
    // The settings name the file relative to the program's folder.
    const std::string relative = std::filesystem::relative(settings, platform::ExecutableDirectory()).string();
    s.dir.Write("data/nastr.ini", s.dir.Read("data/nastr.ini") + "[pzu]\r\npzu=" + relative + "\r\n" + moreSettings);
    s.Show();
    s.main->miPzuClick();
    TFPzu* w = s.main->EepromWindow();
    if (!w || !WaitUntil([&] { return !s.main->Run().ListRunning(); }, 10s)) return nullptr;
    QObject::connect(&typist, &QTimer::timeout, [&s] {
        if (!s.psw.isVisible()) return;
        s.psw.PSEdit->setText("482");
        s.psw.Finish();
    });
    typist.start(10);
    w->SBPasswClick();
    return w;
}
