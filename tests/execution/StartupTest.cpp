// The first showing of the main window against the simulator: start window, both channels
// configured from the settings file and opened on the simulator's ports.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QPushButton>
#include <QTimer>

#include "StandSim.h"
#include "app/Shell.h"
#include "execution/Globals.h"
#include "app/TStartWindow.h"
#include "platform/Termination.h"
#include "link/ChannelWindow.h"
#include "link/CommandCatalogue.h"
#include "platform/Cp1251.h"
#include "records/TProt.h"
#include "support/QtWait.h"
#include "support/ScriptedDialogs.h"
#include "support/TempDir.h"
#include "execution/TFPrPch.h"

TEST(Startup, TheFirstShowingOpensBothChannelsOnTheSimulator) {
    sim::StandSim stand;
    std::string error;
    ASSERT_TRUE(stand.Start(error)) << error;
    TempDir dir;
    dir.Write("data/nastr.ini",
              platform::Utf8ToCp1251("[ControlDevice]\nname=Stantion\n[Stantion]\nmode=КАЛВЕ\nnpacket=2\n"
                                     "[port]\nconnect_stantion=" + stand.StationPort() +
                                     "\nconnect_stend=" + stand.ModulesPort() +
                                     "\n[plata]\nconstruction=старая\n[DEVICE]\nname=HOLE\n"));
    ScopedWorkingDirectory cd(dir.Path());
    platform::ResetTerminationForTests();
    ScriptedDialogs dialogs;
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
    QTimer::singleShot(0, [&] {
        if (auto* start = StartWindowOf(main)) start->BitBtn1->click();
    });
    main.StartUp();

    EXPECT_FALSE(platform::TerminationRequested());
    EXPECT_EQ(Globals().TypeDevice, "Станция");
    EXPECT_EQ(main.cbConstruction->currentIndex(), 1);
    EXPECT_EQ(main.cbPacket->currentIndex(), 1);
    ASSERT_TRUE(c1.Manager() && c2.Manager());
    EXPECT_TRUE(c1.Manager()->IsOpen());
    EXPECT_TRUE(c2.Manager()->IsOpen());
    // The file's protocol name does not override the channels' own.
    EXPECT_EQ(c1.Manager()->Settings().receiveProtocol, "VOLTAR");
    EXPECT_EQ(c2.Manager()->Settings().receiveProtocol, "ICP");
    EXPECT_TRUE(main.TimerStatusICP.isActive());

    // A station command from the window reaches the simulated station.
    main.OpenScript(dir.Write("scn/s.ini", "[step1]\nSend=00 01 88\n"));
    main.Send = cmd::kState;
    main.SendStationCommand();
    EXPECT_TRUE(WaitUntil([&] { return !stand.StationRequests().empty(); }));
    EXPECT_TRUE(dialogs.Questions().empty());
    c1.CloseChannel();
    c2.CloseChannel();
}
