#include "link/ChannelWindow.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QPlainTextEdit>
#include <QTest>
#include <QPushButton>

#include <QCheckBox>
#include <QRegularExpression>

#include "link/CommandCatalogue.h"
#include "link/JournalText.h"
#include "platform/Cp1251.h"
#include "link/StationCodec.h"
#include "rsmanager/RsErrors.h"
#include "support/Pty.h"
#include "support/QtWait.h"
#include "support/ScriptedDialogs.h"
#include "support/TempDir.h"

using Bytes = std::vector<uint8_t>;
using namespace std::chrono_literals;

namespace {

struct CountingClient : TChannelClient {
    int read1 = 0, rx2 = 0, lost = 0;
    void Read1(int) override { ++read1; }
    void RS2RxChar() override { ++rx2; }
    void ChannelLinkLost(int, const std::string&) override { ++lost; }
};

QStringList Lines(TChannelWindow& w) { return w.Memo()->toPlainText().split('\n', Qt::SkipEmptyParts); }

}  // namespace

TEST(ChannelWindow, TwinsDifferOnlyWhereTheyShould) {
    TCustomComm1 c1;
    TRS2 c2;
    EXPECT_EQ(c1.windowTitle(), "CustomComm1");
    EXPECT_EQ(c2.windowTitle(), "RS2");
    EXPECT_EQ(c1.size(), QSize(475, 391));
    EXPECT_EQ(c2.size(), QSize(482, 404));
    EXPECT_TRUE(c1.findChild<QPushButton*>("btCopyCplipboard"));
    EXPECT_TRUE(c2.findChild<QPushButton*>("btCopyClipboard"));
    EXPECT_EQ(c1.findChild<QPushButton*>("btClear")->text(), "btClear");
    EXPECT_EQ(c1.Manager(), nullptr);  // no manager before a configuration file is given
    EXPECT_EQ(c1.OpenChannel(), -1);
}

TEST(ChannelWindow, TrafficIsLoggedOnlyWhileTheWindowIsVisible) {
    TempDir dir;
    TCustomComm1 w;
    w.SetConfigFile(dir.Write("nastr.ini", ""));
    const Bytes packet = BuildRequestPacket(cmd::kState).bytes;
    w.SendBytes(packet.data(), packet.size());
    EXPECT_TRUE(Lines(w).isEmpty());
    w.show();
    w.SendBytes(packet.data(), packet.size());
    EXPECT_EQ(Lines(w), QStringList({"out:", "4D-00-01-88-61-2D-00"}));
    EXPECT_EQ(w.SendQueue()->Count(), 2);  // hidden or not, the bytes were queued
    // "Копировать": the selected lines reach the clipboard with real line breaks.
    w.Memo()->selectAll();
    QTest::mouseClick(w.findChild<QPushButton*>("btCopyCplipboard"), Qt::LeftButton);
    EXPECT_EQ(QApplication::clipboard()->text(), "out:\n4D-00-01-88-61-2D-00");
    w.findChild<QPushButton*>("btClear")->click();
    EXPECT_TRUE(Lines(w).isEmpty());
}

TEST(ChannelWindow, ReceiveBlockTakesMessagesOfUpTo99Bytes) {
    TempDir dir;
    TRS2 w;
    w.SetConfigFile(dir.Write("nastr.ini", ""));
    w.show();
    uint8_t buf[99];
    int32_t status = -1;
    EXPECT_EQ(w.ReceiveBlock(buf, status), 0);
    EXPECT_EQ(status, 0);
    EXPECT_TRUE(Lines(w).isEmpty());  // nothing taken, nothing logged

    w.ReceiveQueue()->Push(Bytes(99, 0xAB));
    w.ReceiveQueue()->Push(Bytes(100, 0xCD));
    w.ReceiveQueue()->Push({'>', '\r'});
    EXPECT_EQ(w.ReceiveBlock(buf, status), 99);
    EXPECT_EQ(buf[98], 0xAB);
    EXPECT_EQ(w.ReceiveBlock(buf, status), 0);  // 100 bytes: logged, then dropped
    EXPECT_EQ(w.ReceiveBlock(buf, status), 2);  // and never returned later
    EXPECT_EQ(w.ReceiveBlock(buf, status), 0);
    const QStringList lines = Lines(w);
    ASSERT_EQ(lines.size(), 6);
    EXPECT_EQ(lines[4], "in:");
    EXPECT_EQ(lines[5], "3E 0D");
}

TEST(ChannelWindow, SetConfigFileTwiceRebuildsEverythingWithTheSameSettings) {
    TempDir dir;
    Pty pty;
    CountingClient client;
    TCustomComm1 w;
    w.SetClient(&client);
    w.SetPortName(pty.SlavePath());
    w.SetRtsFlag(1);
    w.SetConfigFile(dir.Write("nastr.ini", ""));
    EXPECT_EQ(w.RtsFlag(), 0);
    // Marks on the first manager and queues that a rebuilt set cannot carry.
    w.Manager()->SetSenderPeriod(999);
    w.Manager()->SetProtocol("HOLE");
    w.ReceiveQueue()->Push({1});
    w.SendQueue()->Push({2});
    w.SetConfigFile(dir.File("nastr.ini"));
    EXPECT_EQ(w.ReceiveQueue()->Count(), 0);
    EXPECT_EQ(w.SendQueue()->Count(), 0);
    EXPECT_EQ(w.Manager()->Settings().port, pty.SlavePath());
    EXPECT_EQ(w.Manager()->Settings().receiveProtocol, "VOLTAR");
    EXPECT_EQ(w.Manager()->Settings().senderPeriodMs, 50);
    // The rebuilt manager reaches the window: a frame on the line calls Read1.
    ASSERT_EQ(w.OpenChannel(), 0);
    pty.Write({0x4D, 0x00, 0x01, 0x88, 0x61, 0x2D});
    EXPECT_TRUE(WaitUntil([&] { return client.read1 == 1; }));
    EXPECT_EQ(client.rx2, 0);
    w.CloseChannel();
}

TEST(ChannelWindow, ThePortNameFromTheStartWindowWinsOverTheFile) {
    TempDir dir;
    Pty pty;
    TRS2 w;
    w.SetPortName(pty.SlavePath());
    w.SetConfigFile(dir.Write("nastr.ini", "[port_setting]\nport=COM9\n[DEVICE]\nname=HOLE\n"
                                           "[TIMERS]\nComPortSender=7\n"));
    ASSERT_EQ(w.OpenChannel(), 0);
    EXPECT_EQ(w.Manager()->Settings().port, pty.SlavePath());
    EXPECT_EQ(w.Manager()->Settings().receiveProtocol, "ICP");
    EXPECT_EQ(w.Manager()->Settings().senderPeriodMs, 7);  // the file's timing does apply
    w.CloseChannel();
    EXPECT_EQ(w.OpenChannel(), 0);
    w.CloseChannel();
}

TEST(ChannelWindow, AnUnreadableConfigurationReachesTheCaller) {
    TempDir dir;
    Pty pty;
    TCustomComm1 w;
    w.SetPortName(pty.SlavePath());
    w.SetConfigFile(dir.File("missing.ini"));
    EXPECT_THROW(w.OpenChannel(), TErrRsManager);
    EXPECT_TRUE(w.Manager()->IsOpen());  // the port had been opened before the file was read
    w.CloseChannel();
    w.SetPortName("/dev/no-such-port");
    w.SetConfigFile(dir.Write("nastr.ini", ""));
    EXPECT_EQ(w.OpenChannel(), -1);
}

TEST(ChannelWindow, WritesAndALostLinkAreReported) {
    TempDir dir;
    auto pty = std::make_unique<Pty>();
    CountingClient client;
    TRS2 w;
    w.SetClient(&client);
    w.SetPortName(pty->SlavePath());
    w.SetConfigFile(dir.Write("nastr.ini", ""));
    w.show();
    ASSERT_EQ(w.OpenChannel(), 0);
    const Bytes cmd = {'@', '0', '3', '\r'};
    w.SendBytes(cmd.data(), cmd.size());
    EXPECT_EQ(pty->Read(4, 3s), cmd);
    EXPECT_TRUE(WaitUntil([&] { return Lines(w).contains("Data send"); }));
    pty->Write({'>', '0', '0', '0', 'F', '\r'});
    EXPECT_TRUE(WaitUntil([&] { return client.rx2 == 1; }));
    pty->CloseMaster();
    EXPECT_TRUE(WaitUntil([&] { return client.lost == 1; }));
    EXPECT_TRUE(Lines(w).last().startsWith(QString::fromUtf8("Связь потеряна: ")));
    w.CloseChannel();
}

TEST(ChannelWindow, TimesBeforeTheLinesAndTheJournalSavedFromTheButton) {
    TempDir dir;
    Pty pty;
    auto journal = std::make_shared<TTrafficJournal>();
    TRS2 w;
    w.SetPortName(pty.SlavePath());
    w.SetJournal(journal);
    w.SetConfigFile(dir.Write("nastr.ini", ""));
    w.show();
    ASSERT_EQ(w.OpenChannel(), 0);
    QTest::mouseClick(w.TimesBox(), Qt::LeftButton);
    ASSERT_TRUE(w.ShowTimes());
    const Bytes cmd = {'@', '0', '1', '\r'};
    w.SendBytes(cmd.data(), cmd.size());
    EXPECT_EQ(pty.Read(4, 3s), cmd);
    pty.Write({'>', '0', '0', '0', 'F', '\r'});
    ASSERT_TRUE(WaitUntil([&] { return journal->NextSeq() == 2; }));
    const QRegularExpression timed("^\\d\\d:\\d\\d:\\d\\d\\.\\d\\d\\d out:$");
    EXPECT_TRUE(timed.match(Lines(w).value(0)).hasMatch()) << Lines(w).value(0).toStdString();
    w.CloseChannel();

    ScriptedDialogs dialogs;
    platform::ScopedDialogs use(dialogs);
    dialogs.ChooseFile(dir.File("journal.csv"));
    QTest::mouseClick(w.SaveJournalButton(), Qt::LeftButton);
    const std::string csv = dir.Read("journal.csv");
    EXPECT_EQ(csv.substr(0, csv.find("\r\n")), platform::Utf8ToCp1251(JournalCsvHeader()));
    EXPECT_NE(csv.find(";2;\xef\xe5\xf0\xe5\xe4\xe0\xed;40 30 31 0D;;@01\\r;\r\n"), std::string::npos);  // "передан"
    EXPECT_NE(csv.find(";2;\xef\xf0\xe8\xed\xff\xf2;3E 30 30 30 46 0D;;>000F\\r;\r\n"), std::string::npos);  // "принят"
    ASSERT_EQ(dialogs.Questions().size(), 1u);
    EXPECT_EQ(dialogs.Questions()[0].text, "Журнал сохранён: " + dir.File("journal.csv") + "\nКадров: 2");
}
