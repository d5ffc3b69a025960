#include <QApplication>

#include "app/AppWindows.h"
#include "app/QtDialogs.h"
#include "app/TfmFirst.h"
#include "eeprom/TPSW.h"
#include "link/ChannelWindow.h"
#include "records/TProt.h"
#include "records/TfmMemo.h"
#include "execution/TDataModule1.h"
#include "execution/TFPrPch.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QString::fromUtf8("Проверка станции"));
    QApplication::setApplicationDisplayName(QString::fromUtf8("Проверка станции"));

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

        fprPch.show();
        app.exec();
    } catch (const std::exception& e) {
        dialogs.Show(e.what(), "Проверка станции", platform::DialogIcon::Error);
    }
    // The stand's tooling looks only at the protocol files; the program always ends with 0.
    return 0;
}
