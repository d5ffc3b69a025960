#include "app/Shell.h"

#include "app/StandRecords.h"
#include "app/StartResolution.h"
#include "app/TStartWindow.h"
#include "app/TfmFirst.h"
#include "execution/Globals.h"
#include "execution/TFPrPch.h"
#include "link/ChannelWindow.h"
#include "platform/Dialogs.h"
#include "platform/Termination.h"

void ConnectShell(TFPrPch& main) {
    ShellLinks_T shell;
    shell.startWindow = [](TFPrPch& m) {
        StartWindowLinks_T links;
        links.stationChannel = m.Windows().CustomComm1;
        links.standChannel = m.Windows().RS2;
        links.viewer = m.Windows().Prot;
        links.setTestWindowFlags = [&m](bool echo, int monitor) {
            m.EchoFlag = echo;
            m.ComMonitor = monitor;
        };
        links.showStatistics = [](QWidget* parent) { ShowStatisticsWindow(parent, WorkDir, true); };
        // A child of the test window: its settings file outlives the modal showing, for the
        // EEPROM window.
        delete StartWindowOf(m);
        auto* start = new TStartWindow(links, &m);
        const int result = platform::ExecModal(*start);
        if (result == TStartWindow::mrAbort || result == TStartWindow::mrCancel) return false;
        if (Globals().TypeDevice == "None") {
            platform::Dialogs::Current().Show(kUnavailableMessage, "Проверка станции", platform::DialogIcon::Warning);
            return false;
        }
        return true;
    };
    shell.eepromSettings = [&main] {
        ShellLinks_T::EepromSettings_T s;
        if (const TStartWindow* start = StartWindowOf(main)) {
            s.sectionPresent = start->Settings().pzuSectionPresent;
            s.file = start->Settings().pzu;
            s.pacedByAnswer = start->Settings().pzuPacedByAnswer;
        }
        return s;
    };
    shell.showStatistics = [](QWidget* parent) { ShowStatisticsWindow(parent, WorkDir, false); };
    shell.showAbout = [&main] {
        if (TfmFirst* about = main.Windows().fmFirst) about->Show();
    };
    main.SetShell(std::move(shell));
}

TStartWindow* StartWindowOf(TFPrPch& main) {
    return main.findChild<TStartWindow*>("StartWindow", Qt::FindDirectChildrenOnly);
}
