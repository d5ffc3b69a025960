#include <QApplication>

#include <cstdio>
#include <string_view>

#include "execution/AppWindows.h"
#include "app/ProgramSettings.h"
#include "app/QtDialogs.h"
#include "app/StandRecords.h"
#include "app/Shell.h"
#include "app/TfmFirst.h"
#include "eeprom/TPSW.h"
#include "link/ChannelWindow.h"
#include "platform/IniFile.h"
#include "platform/Termination.h"
#include "platform/Version.h"
#include "execution/Globals.h"
#include "records/TProt.h"
#include "records/TfmMemo.h"
#include "execution/TDataModule1.h"
#include "execution/TFPrPch.h"

int main(int argc, char* argv[]) {
    // The version the about window and the protocols show, for the package's scripts: asked
    // before any window, so that it needs no display.
    if (argc == 2 && std::string_view(argv[1]) == "--version") {
        std::printf("%s\n", platform::VersionText().c_str());
        return 0;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QString::fromUtf8("Проверка станции"));
    QApplication::setApplicationDisplayName(QString::fromUtf8("Проверка станции"));

    // The stand is already switched off when the program asks to end; the event loop ends
    // without asking the windows again (the test window refuses a close that would start the
    // shutdown once more). Queued, so that a request from a handler ends the loop when the
    // handler has returned.
    platform::SetTerminationHandler([&app] {
        QMetaObject::invokeMethod(&app, [] { QCoreApplication::exit(0); }, Qt::QueuedConnection);
    });

    QtDialogs dialogs;
    platform::ScopedDialogs useDialogs(dialogs);

    try {
        // Created in this order; the first is the main window. All live until the end.
        AppWindows_T w;
        TFPrPch fprPch;
        w.FPrPch = &fprPch;
        TPSW psw(&fprPch);
        w.PSW = &psw;
        TProt prot(&fprPch);
        w.Prot = &prot;
        TDataModule1 dataModule;
        w.DataModule1 = &dataModule;
        TCustomComm1 customComm1;
        w.CustomComm1 = &customComm1;
        TRS2 rs2;
        w.RS2 = &rs2;
        TfmMemo fmMemo(&fprPch);
        w.fmMemo = &fmMemo;
        TfmFirst fmFirst(&fprPch);
        w.fmFirst = &fmFirst;
        fprPch.SetWindows(w);
        ConnectShell(fprPch);
        platform::IniFile settingsFile;
        settingsFile.Load(ProgramSettingsPath(WorkDir));
        TStandRecords records(fprPch, ReadProgramSettings(settingsFile), WorkDir);

        fprPch.show();
        app.exec();
    } catch (const std::exception& e) {
        dialogs.Show(e.what(), "Проверка станции", platform::DialogIcon::Error);
    }
    // The stand's tooling looks only at the protocol files; the program always ends with 0.
    return 0;
}
