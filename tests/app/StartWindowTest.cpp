#include "app/Shell.h"
#include "app/TStartWindow.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

#include "execution/Globals.h"
#include "app/TfmFirst.h"
#include "platform/Termination.h"
#include "link/ChannelWindow.h"
#include "platform/Cp1251.h"
#include "platform/Version.h"
#include "records/TProt.h"
#include "support/ScriptedDialogs.h"
#include "support/TempDir.h"
#include "execution/TFPrPch.h"
#include "app/StandRecords.h"
#include "records/StatsRuns.h"
#include "records/TStatisticsWindow.h"
#include <QDateEdit>
#include <QTest>

namespace {

struct Scene {
    TempDir dir;
    ScopedWorkingDirectory cd{dir.Path()};
    TCustomComm1 c1;
    TRS2 c2;
    TProt prot;
    bool echo = false;
    int monitor = -1;

    explicit Scene(const std::string& nastrUtf8) {
        if (!nastrUtf8.empty()) dir.Write("data/nastr.ini", platform::Utf8ToCp1251(nastrUtf8));
        WorkDir = dir.Path();
        platform::ResetTerminationForTests();
        Globals() = StartGlobals_T{};
    }
    ~Scene() { platform::ResetTerminationForTests(); }
    StartWindowLinks_T Links() {
        return {&c1, &c2, &prot, [this](bool e, int m) { echo = e, monitor = m; }, {}};
    }
};

}  // namespace

TEST(StartWindow, ReadsTheSettingsIntoTheGlobalsAndTheChannels) {
    Scene s("[ControlDevice]\nname=Stantion\n[Stantion]\nmode=КАЛВЕ\npacket=7\nnpacket=3\n[Block]\n"
            "[port]\nconnect_stantion=/dev/ttyUSB0\nconnect_stend=/dev/ttyUSB1\nRTS=2\nEcho=1\nShow=1\n"
            "[plata]\nconstruction=старая\n[version]\nvKK=12\n");
    s.c2.SetRtsFlag(0);
    TStartWindow w(s.Links());
    EXPECT_EQ(w.Header->text().toStdString(), " Проверка станции управления ВД");
    EXPECT_FALSE(w.RadioGroup1->isVisibleTo(&w));
    EXPECT_FALSE(w.RadioItems[0]->isEnabled());
    EXPECT_TRUE(w.RadioItems[2]->isEnabled());
    EXPECT_TRUE(w.RadioItems[4]->isEnabled());
    EXPECT_TRUE(w.RadioItems[4]->isChecked());
    EXPECT_EQ(w.RadioItems[1]->text().toStdString(), "Входной контроль платы ПЧ   ");
    EXPECT_EQ(Globals().TypeDevice, "Станция");
    EXPECT_EQ(Globals().ConstructionOld, 1);
    EXPECT_EQ(Globals().vKK, 12);
    EXPECT_EQ(s.c1.PortName(), "/dev/ttyUSB0");
    EXPECT_EQ(s.c2.PortName(), "/dev/ttyUSB1");
    EXPECT_EQ(s.c1.RtsFlag(), 1);
    EXPECT_EQ(s.c2.RtsFlag(), 0);  // RTS=2 leaves the stand channel's flag
    EXPECT_TRUE(s.echo);
    EXPECT_EQ(s.monitor, 1);

    w.BitBtn1->click();
    EXPECT_EQ(w.result(), TStartWindow::mrOk);
    EXPECT_EQ(Globals().TypeDevice, "Станция");
    EXPECT_EQ(Globals().StationMode, "ВОЛТАР");
    EXPECT_EQ(Globals().Packet, "7");
    EXPECT_EQ(Globals().NPacket, 3);
}

TEST(StartWindow, WithoutAPortSectionTheChannelsKeepTheirPorts) {
    Scene s("[ControlDevice]\nname=Block\n[Block]\n");
    TStartWindow w(s.Links());
    EXPECT_EQ(s.c1.PortName(), "COM1");
    EXPECT_EQ(s.c2.PortName(), "COM2");
    EXPECT_EQ(s.monitor, -1);
    w.BitBtn2->click();
    EXPECT_EQ(w.result(), TStartWindow::mrAbort);
}

TEST(StartWindow, KindNoneOrNoFileTellsTheOperatorAndEndsTheProgram) {
    Scene s("");
    ScriptedDialogs dialogs;
    platform::ScopedDialogs use(dialogs);
    TStartWindow w(s.Links());
    EXPECT_TRUE(platform::TerminationRequested());
    EXPECT_EQ(Globals().TypeDevice, "");
    ASSERT_EQ(dialogs.Questions().size(), 1u);
    EXPECT_EQ(dialogs.Questions()[0].text, "Недоступно в данной версии");
    // A modal window asked for after the request returns Cancel at once.
    EXPECT_EQ(platform::ExecModal(w), QDialog::Rejected);
    QCoreApplication::processEvents();  // the queued quit is harmless without a running loop
}

TEST(StartWindow, TheArchiveCanBeOpenedAgainAndAgain) {
    Scene s("[ControlDevice]\nname=Block\n");
    TStartWindow w(s.Links());
    for (int i = 1; i <= 3; ++i) {
        QTimer::singleShot(0, &s.prot, [&] { s.prot.reject(); });
        w.btOpenProt->click();
        EXPECT_EQ(s.prot.ShowCount(), i);
    }
    EXPECT_EQ(s.prot.ProtMask, "*.*");
    EXPECT_EQ(s.prot.ProtDir, s.dir.Path() + "\\prot");
    EXPECT_TRUE(s.prot.AskFile);
    EXPECT_FALSE(s.prot.Temporary);
    EXPECT_EQ(w.result(), 0);  // still open, no result yet
}

TEST(StartWindow, StatisticsOpenOverItOnTheStandsRecordsAndLeaveTheKeysAsTheyWere) {
    Scene s("[ControlDevice]\nname=Block\n[Block]\n[records]\ndatabase=data/runs.sqlite\n");
    stats_runs::MakeFile(s.dir, "data/runs.sqlite");
    StartWindowLinks_T links = s.Links();
    links.showStatistics = [](QWidget* parent) { ShowStatisticsWindow(parent, WorkDir, true); };
    TStartWindow w(links);
    w.show();
    EXPECT_EQ(w.btStatistics->geometry().top(), w.btOpenProt->geometry().top());
    EXPECT_GT(w.btStatistics->geometry().left(), w.btOpenProt->geometry().right());
    EXPECT_EQ(w.BitBtn1->nextInFocusChain(), w.btOpenProt);
    EXPECT_EQ(w.btOpenProt->nextInFocusChain(), w.BitBtn2);
    // The window is modal over the start window; the operator asks for the year and closes it.
    std::string yield;
    bool modal = false;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        for (QWidget* top : QApplication::topLevelWidgets()) {
            auto* st = qobject_cast<TStatisticsWindow*>(top);
            if (!st || !st->isVisible() || st->Busy()) continue;
            if (st->edFrom->date() != QDate(2026, 1, 1)) {
                modal = st->isModal();
                st->edFrom->setDate(QDate(2026, 1, 1));
                st->edTo->setDate(QDate(2026, 12, 31));
                QTest::mouseClick(st->btShow, Qt::LeftButton);
            } else {
                yield = st->lbYield->text().toStdString();
                QTest::mouseClick(st->btClose, Qt::LeftButton);
            }
        }
    });
    poll.start(20);
    w.btStatistics->click();
    EXPECT_TRUE(modal);
    EXPECT_EQ(yield.find("Испытаний с итогом: 7, прошли: 4"), 0u) << yield;
    EXPECT_EQ(w.result(), 0);  // the start window stays open
}

TEST(StartWindow, ClosingItLikeExitEndsTheProgramAtTheFirstShowing) {
    Scene s("[ControlDevice]\nname=Block\n[Block]\n");
    TFPrPch main;
    AppWindows_T windows;
    windows.CustomComm1 = &s.c1;
    windows.RS2 = &s.c2;
    windows.Prot = &s.prot;
    main.SetWindows(windows);
    ConnectShell(main);
    // The system close button: reject, i.e. Cancel.
    QTimer::singleShot(0, [&] {
        if (auto* start = StartWindowOf(main)) start->reject();
    });
    main.FormShow();
    EXPECT_TRUE(platform::TerminationRequested());
    EXPECT_EQ(s.c1.Manager(), nullptr);  // the channels are not touched after the request
}

TEST(AboutWindow, ShowsTheVersionAndClosesWhenReady) {
    TfmFirst about;
    EXPECT_EQ(about.windowTitle().toStdString(), "О программе");
    EXPECT_EQ(about.lbSoftVersion->text().toStdString(), "Версия модуля ядра: " + platform::VersionText());
    EXPECT_TRUE(about.TimerWait.isActive());
    EXPECT_EQ(about.TimerWait.interval(), 1000);
    about.show();
    about.TimerWaitTimer();
    EXPECT_EQ(about.Label1->text().toStdString(), "Программа к работе готова");
    EXPECT_FALSE(about.TimerWait.isActive());
    EXPECT_FALSE(about.isVisible());
    about.show();
    about.Button1->click();
    EXPECT_FALSE(about.isVisible());
    EXPECT_EQ(about.Button1->text().toStdString(), "Закрыть");
}

// Pictures of both windows for a look at the rendering (Cyrillic included); they land in
// the test's working folder, build/tests/app.
TEST(WindowPictures, StartAndAboutWindowsAreSavedAsPng) {
    const QString out = QDir::currentPath();
    Scene s("[ControlDevice]\nname=Stantion\n[Stantion]\nmode=ВОЛТАР\n[FullTest]\n[Block]\n");
    TStartWindow w(s.Links());
    w.show();
    QCoreApplication::processEvents();
    EXPECT_TRUE(w.grab().save(out + "/start_window.png"));
    TfmFirst about;
    about.show();
    QCoreApplication::processEvents();
    EXPECT_TRUE(about.grab().save(out + "/about_window.png"));
}
