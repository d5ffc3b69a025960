#include "execution/TFPrPch.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QTimer>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QCheckBox>
#include <QCoreApplication>
#include <QImage>
#include <QTableWidget>
#include <QToolButton>

#include "link/ChannelWindow.h"
#include "link/StationCodec.h"
#include "platform/Cp1251.h"
#include "platform/Termination.h"
#include "support/ScriptedDialogs.h"
#include "support/TempDir.h"
#include "execution/ScriptFindingsWindow.h"
#include "execution/StatePages.h"
#include "execution/StatePlot.h"
#include <QChartView>
#include <QDateTimeAxis>
#include <QValueAxis>
#include <QLineSeries>
#include <QTabBar>
#include "execution/Globals.h"
#include "support/QtWait.h"

#include <QScrollBar>
#include <QTest>

#include "app/Shell.h"
#include "app/TfmFirst.h"

namespace {

struct Window {
    TempDir dir;
    TCustomComm1 channel;
    TFPrPch w;
    ScriptedDialogs dialogs;
    platform::ScopedDialogs use{dialogs};

    Window() {
        channel.SetConfigFile(dir.Write("nastr.ini", ""));
        AppWindows_T windows;
        windows.CustomComm1 = &channel;
        w.SetWindows(windows);
    }
    void Script(const std::string& utf8) {
        w.OpenScript(dir.Write("s.ini", platform::Utf8ToCp1251(utf8)));
    }
    std::vector<std::vector<uint8_t>> Sent() {
        std::vector<std::vector<uint8_t>> out;
        while (channel.SendQueue()->Count() > 0) out.push_back(channel.SendQueue()->Pop());
        return out;
    }
};

}  // namespace

TEST(TestWindow, AStepSendsItsCommandOnChannelOne) {
    Window t;
    t.Script("[step1]\nText=Опрос\nSend=00 01 88\nPrOffTimer=1\nControl=1\nParameter1=U,0,500,0,3\n");
    t.w.Interpreter().BuffPar()[2] = 220.25f;
    const auto r = t.w.Interpreter().ExecuteStep(1);
    EXPECT_EQ(r.outcome, TStepInterpreter::Outcome::Passed);
    EXPECT_EQ(t.Sent(), (std::vector<std::vector<uint8_t>>{{0x4D, 0x00, 0x01, 0x88, 0x61, 0x2D, 0x00}}));
    EXPECT_EQ(t.w.StatusPanel(1)->text().toStdString(), "Команда отправлена");
    EXPECT_TRUE(t.w.StatusPanel(2)->text().isEmpty());
    EXPECT_EQ(t.w.STPan3->text().toStdString(), "Опрос");
    EXPECT_TRUE(t.w.MemoLog->toPlainText().contains("4D 00 01 88 61 2D 00"));
    EXPECT_EQ(t.w.Sender().Reader().PendingEcho(), 6);
    EXPECT_FALSE(t.w.Sender().Reader().ReplyDone());
    // The results table shows the row.
    EXPECT_EQ(t.w.Tabl1->item(0, 0)->text().toStdString(), "U");
    EXPECT_EQ(t.w.Tabl1->item(0, 4)->text().toStdString(), "220.25");
    EXPECT_EQ(t.w.Tabl1->item(0, 5)->text().toStdString(), "OK");
    // Pacing 1: the step timer stops and the start button reads "OK".
    EXPECT_FALSE(t.w.Timer1.isActive());
    EXPECT_EQ(t.w.BitBtn1->text().toStdString(), "OK");
    EXPECT_TRUE(t.w.BitBtn3->isEnabled());  // one row, operator pacing
}

TEST(TestWindow, NothingIsSentWithoutAScript) {
    Window t;
    t.w.Send = "00 01 88";
    t.w.SendStationCommand();
    EXPECT_TRUE(t.Sent().empty());
}

TEST(TestWindow, TheCheckListFollowsTheChainAndABrokenOneIsReported) {
    Window t;
    t.Script("[title1]\nTitl=A\nNextTitle=title2\nOneStep=5\n[title2]\nTitl=B\nNextTitle=title1\nOneStep=7\n");
    EXPECT_EQ(t.w.BuildCheckList(), 2);
    ASSERT_EQ(t.dialogs.Questions().size(), 1u);
    EXPECT_NE(t.dialogs.Questions()[0].text.find("title1"), std::string::npos);
    t.w.BtOKClick();
    EXPECT_EQ(t.dialogs.Questions().back().text, "Отметьте необходимые проверки");
    EXPECT_FALSE(t.w.Run().RunActive());
    t.w.ListProv->item(1)->setCheckState(Qt::Checked);
    t.w.BtOKClick();
    EXPECT_TRUE(t.w.Run().RunActive());
    EXPECT_EQ(t.w.Run().CheckNumber(), 2);
    EXPECT_EQ(t.w.Interpreter().CurrentStep(), "step7");
    EXPECT_EQ(t.w.STPan3->text().toStdString(), "B ");
    EXPECT_EQ(t.w.lbCurrentTest->text().toStdString(), "B");
    EXPECT_EQ(t.w.BitBtn1->text().toStdString(), "Начать!");
    EXPECT_FALSE(t.w.BtOK->isEnabled());
}

TEST(TestWindow, PicturesReplaceTheLogAndAMissingOneStopsTheStep) {
    Window t;
    t.dir.Write("data/p.bmp", "not a picture");
    t.Script("[step1]\nShowPicture=\\p.bmp\n[step2]\nShowPicture=None\n");
    t.w.Interpreter().SetPictureBase(t.dir.Path());
    t.w.show();
    EXPECT_EQ(t.w.Interpreter().ExecuteStep(1).outcome, TStepInterpreter::Outcome::Error);
    EXPECT_TRUE(t.Sent().empty());
    t.w.Interpreter().SetCurrentStep("step2");
    EXPECT_EQ(t.w.Interpreter().ExecuteStep(1).outcome, TStepInterpreter::Outcome::Passed);
    EXPECT_TRUE(t.w.MemoLog->isVisible());
    EXPECT_FALSE(t.w.ImagePicture->isVisible());
}

TEST(TestWindow, TheLogFollowsItsEndAfterAPictureUnlessTheOperatorScrolledUp) {
    Window t;
    QImage picture(40, 30, QImage::Format_RGB32);
    picture.fill(Qt::blue);
    t.dir.Write("data/readme.txt", "");
    ASSERT_TRUE(picture.save(QString::fromStdString(t.dir.File("data/p.png"))));
    t.Script("[step1]\nShowPicture=\\p.png\n[step2]\nShowPicture=None\n");
    t.w.Interpreter().SetPictureBase(t.dir.Path());
    // The window's start-up (start window, tag) is not part of this: it finds the program ending.
    platform::RequestTermination();
    t.w.show();
    QScrollBar* bar = t.w.MemoLog->verticalScrollBar();
    auto log = [&](int lines) {
        for (int i = 0; i < lines; ++i) t.w.LogLine("ICP in: 3E 30 30 30 46 0D");
        QCoreApplication::processEvents();
    };
    log(100);
    ASSERT_EQ(t.w.Interpreter().ExecuteStep(1).outcome, TStepInterpreter::Outcome::Passed);
    log(300);  // traffic goes on behind the picture
    t.w.Interpreter().SetCurrentStep("step2");
    ASSERT_EQ(t.w.Interpreter().ExecuteStep(1).outcome, TStepInterpreter::Outcome::Passed);
    log(5);
    ASSERT_GT(bar->maximum(), 0);
    EXPECT_EQ(bar->value(), bar->maximum());
    // The operator pages up to read: new lines leave him there; back at the end it follows.
    bar->triggerAction(QAbstractSlider::SliderPageStepSub);
    const int reading = bar->value();
    log(20);
    EXPECT_EQ(bar->value(), reading);
    bar->triggerAction(QAbstractSlider::SliderToMaximum);
    log(20);
    EXPECT_EQ(bar->value(), bar->maximum());
    platform::ResetTerminationForTests();
}

TEST(TestWindow, TheWindowKeepsItsSizeWhileARunChangesItsTexts) {
    Window t;
    platform::RequestTermination();  // no start-up behind the showing
    t.w.show();
    QCoreApplication::processEvents();
    const QSize before = t.w.size();
    EXPECT_LE(t.w.minimumSizeHint().width(), 1280);  // it fits a stand PC's 1280-pixel screen
    t.w.SetStartCaption("Продолжить?");
    t.w.SetAbortCaption("Прекратить проверку?");
    t.w.sbtAutomatOffClick();  // "Включить АВТОМАТ"
    t.w.btMonitorClick();      // "Монитор COM-порта"
    t.w.SetCurrentTest(std::string(200, 'W'));
    t.w.SetStatus(std::string(400, 'W'), StatusColour::Red);
    t.w.StatusPanel(3)->setText(QString(300, 'W'));
    QCoreApplication::processEvents();
    EXPECT_EQ(t.w.size(), before);
    platform::ResetTerminationForTests();
}

TEST(TestWindow, ServiceControlsSendTheirTextsAndRefuseBadFields) {
    Window t;
    t.Script("[step1]\n");
    t.w.edDac->setText("127");
    t.w.btDacClick();
    auto sent = t.Sent();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0][3], 0x02);
    EXPECT_EQ(sent[0][4], 0x93);
    EXPECT_EQ(sent[0][5], 0x7F);
    t.w.edDac->setText("300");
    t.w.btDacClick();
    EXPECT_TRUE(t.Sent().empty());
    ASSERT_FALSE(t.dialogs.Questions().empty());
    EXPECT_NE(t.dialogs.Questions().back().text.find("от 0 до 255"), std::string::npos);
    t.w.btRotationSpeedClick();
    sent = t.Sent();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(std::vector<uint8_t>(sent[0].begin() + 3, sent[0].begin() + 7), (std::vector<uint8_t>{0xAB, 0x01, 0x00, 0xFA}));
}

TEST(TestWindow, ProtectionResetAndCyclicRequest) {
    Window t;
    t.Script("[step1]\n");
    t.w.TimerZaxvat.start();
    t.w.btProtectionResetClick();
    EXPECT_FALSE(t.w.TimerZaxvat.isActive());
    t.w.Timer3Timer();
    t.w.Timer3Timer();
    t.w.Timer3Timer();  // the list is empty: the timer stops, the poll resumes
    const auto sent = t.Sent();
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[0][7], 0x00);  // 4D 00 05 02 97 0B 01 00 ...
    EXPECT_EQ(sent[1][7], 0x01);
    EXPECT_FALSE(t.w.Timer3.isActive());
    EXPECT_TRUE(t.w.TimerZaxvat.isActive());

    t.w.sbtCyclicClick();
    EXPECT_TRUE(t.w.Timer4.isActive());
    EXPECT_FALSE(t.w.TimerZaxvat.isActive());
    EXPECT_EQ(t.w.sbtCyclic->toolTip().toStdString(), "Остановить обмен");
    t.w.Timer4Timer();
    ASSERT_EQ(t.Sent().size(), 1u);
    t.w.sbtCyclicClick();
    EXPECT_FALSE(t.w.Timer4.isActive());
    EXPECT_EQ(t.w.sbtCyclic->toolTip().toStdString(), "Циклический запрос параметров");
}

namespace {

std::vector<uint8_t> AnswerFrame(uint8_t code, const std::vector<uint8_t>& data) {
    std::vector<uint8_t> f;
    f.reserve(data.size() + 6);
    f.push_back(0x4D);
    f.push_back(0x00);
    f.push_back(static_cast<uint8_t>(data.size() + 1));
    f.push_back(code);
    for (uint8_t b : data) f.push_back(b);
    const uint16_t crc = StationCrc(f.data(), f.size());
    f.push_back(static_cast<uint8_t>(crc >> 8));
    f.push_back(static_cast<uint8_t>(crc & 0xFF));
    return f;
}

// How many pixels of the label as drawn are clearly red.
int RedPixels(QLabel* label) {
    const QImage image = label->grab().toImage();
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            n += c.red() > 150 && c.green() < 90 && c.blue() < 90;
        }
    return n;
}

}  // namespace

TEST(TestWindow, StatePagesLightTheirCaptionsFromTheAnswers) {
    Window t;
    TStatePages& pages = *t.w.StatePages;
    pages.show();
    std::vector<uint8_t> state(29, 0);
    state[11] = 0x04;  // protection: maximum current
    state[0] = 0x01;   // 300 revolutions
    state[1] = 0x2C;
    t.w.Decoder().Decode(AnswerFrame(0x73, state));
    pages.ShowAnswer(0x73, t.w.Decoder().State(), t.w.Interpreter().BuffPar().data());
    QLabel* lit = pages.Caption("ПЧ", " Защита по макс. току");
    QLabel* dark = pages.Caption("ПЧ", " Защита драйвера ШИМ");
    ASSERT_TRUE(lit && dark);
    EXPECT_TRUE(lit->isEnabled());
    EXPECT_FALSE(dark->isEnabled());
    EXPECT_GT(RedPixels(lit), 0);  // converter captions: red when set, grey when clear
    EXPECT_EQ(RedPixels(dark), 0);
    EXPECT_EQ(pages.Measurement(4)->text().toStdString(), "300.00");

    std::vector<uint8_t> board(28, 0);
    board[4] = 0x41;  // no answer from EEPROM 0 and EEPROM 6
    board[5] = 0x01;  // settings of the switch controller not read (bit set: caption dark)
    board[21] = 7, board[22] = 12, board[23] = 0xE0, board[24] = 9, board[25] = 5, board[26] = 3;
    t.w.Decoder().Decode(AnswerFrame(0xEF, board));
    pages.ShowAnswer(0xEF, t.w.Decoder().State(), t.w.Interpreter().BuffPar().data());
    QLabel* pzu0 = pages.Caption("Плата", " Нет ответа от ПЗУ0");
    QLabel* pzu6 = pages.Caption("Плата", " Нет ответа от ПЗУ6");
    QLabel* kk = pages.Caption("Плата", " Настройки КК считаны");
    QLabel* reg = pages.Caption("Плата", " Настройки РЕГ считаны");
    ASSERT_TRUE(pzu0 && pzu6 && kk && reg);
    EXPECT_TRUE(pzu0->isEnabled());
    EXPECT_EQ(RedPixels(pzu0), 0);  // board captions: green when lit
    EXPECT_TRUE(pzu6->isEnabled());
    EXPECT_GT(RedPixels(pzu6), 0);  // the last two EEPROM captions swap their colours
    EXPECT_FALSE(kk->isEnabled());  // shown inverted
    EXPECT_TRUE(reg->isEnabled());
    EXPECT_EQ(pages.lbClock->text().toStdString(), "07.12, 2016 09:05:03");
}

TEST(TestWindow, CloseKeysSendsTheTickedSwitchBits) {
    Window t;
    t.Script("[step1]\n");
    t.w.cbKeys[0]->setChecked(true);  // " M A"
    t.w.cbKeys[7]->setChecked(true);  // " U лин"
    t.w.btCloseKeysClick();
    const auto sent = t.Sent();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(std::vector<uint8_t>(sent[0].begin(), sent[0].begin() + 7),
              (std::vector<uint8_t>{0x4D, 0x00, 0x04, 0x04, 0x47, 0x10, 0x10}));
}

TEST(TestWindow, ClosingTheWindowStartsTheShutdownInstead) {
    Window t;
    t.w.show();
    EXPECT_FALSE(t.w.close());
    EXPECT_TRUE(t.w.isVisible());
    EXPECT_TRUE(t.w.ShuttingDown());
    EXPECT_TRUE(t.w.TimerShutdown.isActive());
    EXPECT_EQ(t.w.TimerShutdown.interval(), 3000);
    EXPECT_FALSE(t.w.BitBtn1->isEnabled());
    EXPECT_EQ(t.w.STPan3->text().toStdString(), "Идет подготовка к выключению стенда и программы");
}

TEST(TestWindow, OnceTheProgramEndsTheWindowClosesAndNoShutdownStarts) {
    Window t;
    t.w.show();
    platform::RequestTermination();
    t.w.StartShutdown();  // the tag's "Выход" ended the program: nothing switches again
    EXPECT_FALSE(t.w.ShuttingDown());
    EXPECT_TRUE(t.w.close());
    platform::ResetTerminationForTests();
}

TEST(TestWindow, AboutPowerOffMonitorAndServiceControlsAreWhereTheOperatorLooks) {
    Window t;
    TfmFirst about(&t.w);
    AppWindows_T windows = t.w.Windows();
    windows.fmFirst = &about;
    t.w.SetWindows(windows);
    ConnectShell(t.w);
    about.hide();
    t.w.aAbout->trigger();  // "Справка" / "О программе"
    EXPECT_TRUE(about.isVisible());

    // "Show=0" in the settings: the traffic memo starts hidden, and a step's text then stays
    // out of the log whatever the hex trace says; switched on, the text goes in.
    platform::RequestTermination();
    t.w.ComMonitor = 0;
    t.w.StartUp();
    platform::ResetTerminationForTests();
    EXPECT_TRUE(t.w.MemoLog->isHidden());
    EXPECT_EQ(t.w.btMonitor->text().toStdString(), "Монитор COM-порта");
    t.Script("[step1]\nText=Шаг один\n");
    t.w.Interpreter().ExecuteStep(1);
    EXPECT_FALSE(t.w.MemoLog->toPlainText().contains(QString::fromUtf8("Шаг один")));
    QTest::mouseClick(t.w.btShowExchange, Qt::LeftButton);  // the hex trace alone changes nothing
    t.w.Interpreter().ExecuteStep(1);
    EXPECT_FALSE(t.w.MemoLog->toPlainText().contains(QString::fromUtf8("Шаг один")));
    QTest::mouseClick(t.w.btMonitor, Qt::LeftButton);
    t.w.Interpreter().ExecuteStep(1);
    EXPECT_TRUE(t.w.MemoLog->toPlainText().contains(QString::fromUtf8("Шаг один")));

    // "Обесточить станцию" is a button as well as the menu item: "00 01 a3" goes out.
    t.Sent();
    QTest::mouseClick(t.w.btAllContactorsOff, Qt::LeftButton);
    const auto sent = t.Sent();
    ASSERT_FALSE(sent.empty());
    EXPECT_EQ(sent[0], BuildRequestPacket("00 01 a3").bytes);

    // The service page: both requests the catalogue names, the passport button without a hint.
    std::map<std::string, std::vector<uint8_t>> byHint;
    for (QToolButton* b : t.w.ServicePages->findChildren<QToolButton*>()) {
        t.Sent();
        if (b == t.w.sbtCyclic) continue;
        b->click();
        const auto out = t.Sent();
        if (!out.empty()) byHint[b->toolTip().toStdString()] = out.back();
    }
    EXPECT_EQ(byHint["Запрос служебной регулятора"], BuildRequestPacket("00 02 bb 02").bytes);
    EXPECT_EQ(byHint["Запрос служебной центроального"], BuildRequestPacket("00 02 bb 04").bytes);
    EXPECT_EQ(byHint[""], BuildRequestPacket("00  01 3b").bytes);
}

TEST(TestWindow, AnActionCutShortDoesNotLeaveItsStageToTheNext) {
    Window t;
    t.Script("[step1]\n");
    t.w.StartContactorAction(2, 3000);
    t.w.TimerContactorPowerTimer();  // combination 1
    t.w.TimerContactorPowerTimer();  // combination 7
    t.w.aAllContactorsOffExecute();  // cuts the action short
    EXPECT_FALSE(t.w.TimerContactorPower.isActive());
    EXPECT_EQ(t.w.TimerContactor.interval(), 150);
    t.w.StartContactorAction(1, 4000);  // as the abort does
    EXPECT_EQ(t.w.TimerContactorPower.interval(), 4000);
    t.w.TimerContactorPowerTimer();  // its first stage: combination 1 again, at 200 ms
    EXPECT_EQ(t.w.TimerContactor.interval(), 200);
    EXPECT_EQ(t.w.StatusPanel(3)->text().toStdString(), "Выключение всех контакторов");
}

TEST(TestWindow, TheMenusCheckScriptListsWhatItFindsAndSaysWhenThereIsNothing) {
    Window t;
    WorkDir = t.dir.Path();
    t.dir.Write("scn/broken.ini", platform::Utf8ToCp1251("[info]\r\nversion=v1.00\r\ndevice=Станция\r\n[title1]\r\n"
                                                         "OneStep=1\r\n[step1]\r\nSend=00 02 88\r\nNext=endprov\r\n"));
    t.dir.Write("scn/sound.ini", platform::Utf8ToCp1251("[info]\r\nversion=v1.00\r\ndevice=Станция\r\n[title1]\r\n"
                                                        "OneStep=1\r\n[step1]\r\nNext=endprov\r\n"));
    QMenuBar* bar = t.w.findChild<QMenuBar*>();
    ASSERT_TRUE(bar);
    QAction* runMenu = nullptr;
    for (QAction* a : bar->actions())
        if (a->text() == QString::fromUtf8("Проверка")) runMenu = a;
    ASSERT_TRUE(runMenu && runMenu->menu());
    // The menu of the bar open (the window itself is not shown: that would start the tag), the
    // operator clicks the item.
    auto choose = [&] {
        QMenu* menu = runMenu->menu();
        menu->popup(QPoint(100, 100));
        ASSERT_TRUE(WaitUntil([&] { return menu->isVisible(); }, std::chrono::seconds(2)));
        QAction* item = nullptr;
        for (QAction* a : menu->actions())
            if (a->text() == QString::fromUtf8("Проверить сценарий...")) item = a;
        ASSERT_TRUE(item);
        QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(item).center());
    };
    std::vector<std::string> rows;
    QTimer reader;
    QObject::connect(&reader, &QTimer::timeout, [&] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* f = dynamic_cast<TScriptFindings*>(w); f && f->isVisible()) {
                for (int r = 0; r < f->Table->rowCount(); ++r)
                    rows.push_back(f->Table->item(r, 1)->text().toStdString() + " " +
                                   f->Table->item(r, 2)->text().toStdString() + " " +
                                   f->Table->item(r, 3)->text().toStdString());
                EXPECT_FALSE(f->btContinue->isVisible());
                EXPECT_EQ(f->btCancel->text().toStdString(), "Закрыть");
                QTest::mouseClick(f->btCancel, Qt::LeftButton);
            }
    });
    reader.start(20);
    t.dialogs.ChooseFile(t.dir.File("scn/broken.ini"));
    ASSERT_NO_FATAL_FAILURE(choose());
    ASSERT_TRUE(WaitUntil([&] { return !rows.empty(); }, std::chrono::seconds(5)));
    EXPECT_EQ(rows, (std::vector<std::string>{"7 ошибка Send: байты длины объявляют 2, а за ними 1; недостающие уйдут нулями"}));
    ASSERT_EQ(t.dialogs.FileRequests().size(), 1u);
    EXPECT_EQ(t.dialogs.FileRequests()[0].directory, t.dir.File("scn"));

    t.dialogs.ChooseFile(t.dir.File("scn/sound.ini"));
    ASSERT_NO_FATAL_FAILURE(choose());
    ASSERT_TRUE(WaitUntil([&] { return !t.dialogs.Questions().empty(); }, std::chrono::seconds(5)));
    EXPECT_EQ(t.dialogs.Questions().back().text, "Сценарий sound.ini: ошибок и предупреждений нет.");
    EXPECT_EQ(rows.size(), 1u);
}

TEST(TestWindow, TheMenuOpensTheStatisticsBesideTheWindowAndOnlyOnce) {
    Window t;
    WorkDir = t.dir.Path();
    t.dir.Write("data/nastr.ini", "[records]\r\ndatabase=data/none.sqlite\r\n");
    ConnectShell(t.w);
    QMenuBar* bar = t.w.findChild<QMenuBar*>();
    ASSERT_TRUE(bar);
    QMenu* menu = nullptr;
    for (QAction* a : bar->actions())
        if (a->text() == QString::fromUtf8("Проверка")) menu = a->menu();
    ASSERT_TRUE(menu);
    // "Выход" stays the last item, where the operator's keys find it.
    const QList<QAction*> items = menu->actions();
    ASSERT_GE(items.size(), 3);
    EXPECT_EQ(items.back()->text().toStdString(), "Выход");
    EXPECT_EQ(items[items.size() - 3]->text().toStdString(), "Статистика испытаний...");
    auto open = [&] {
        std::vector<QWidget*> shown;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->windowTitle() == QString::fromUtf8("Статистика испытаний") && w->isVisible()) shown.push_back(w);
        return shown;
    };
    for (int i = 0; i < 2; ++i) {
        menu->popup(QPoint(100, 100));
        ASSERT_TRUE(WaitUntil([&] { return menu->isVisible(); }, std::chrono::seconds(2)));
        QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(items[items.size() - 3]).center());
        ASSERT_TRUE(WaitUntil([&] { return open().size() == 1; }));
    }
    QWidget* statistics = open()[0];
    EXPECT_FALSE(statistics->isModal());
    auto* status = statistics->findChild<QLabel*>("lbStatus");
    ASSERT_TRUE(WaitUntil([&] { return status->text().contains("none.sqlite"); }));
    EXPECT_EQ(status->text().toStdString(), "Файла записей испытаний " + t.dir.File("data/none.sqlite") +
                                                " нет: на этом стенде еще не было испытаний.");
    statistics->close();
    EXPECT_TRUE(WaitUntil([&] { return open().empty(); }));
}

TEST(TestWindow, ThePlotPageDrawsTheStateAnswersAtMostOnEveryTickOfItsTimer) {
    Window t;
    TStatePages& pages = *t.w.StatePages;
    TStatePlot& plot = *pages.Plot;
    int64_t now = 1765272184000;
    plot.SetClock([&] { return now; });
    // The pages as a window of their own: showing the test window would start a run.
    QWidget* home = pages.parentWidget();
    pages.setParent(nullptr);
    pages.resize(900, 500);
    pages.show();
    QTest::mouseClick(pages.tabBar(), Qt::LeftButton, {}, pages.tabBar()->tabRect(pages.indexOf(&plot)).center());
    ASSERT_EQ(pages.currentWidget(), &plot);
    EXPECT_TRUE(plot.TimerRedraw.isActive());
    EXPECT_GE(plot.TimerRedraw.interval(), 100);  // ten redraws a second at most

    // Show the speed as well: the operator ticks "Обороты" in the list.
    const int speed = 9;
    ASSERT_EQ(plot.lstSeries->item(speed)->text().toStdString(), "Обороты");
    EXPECT_FALSE(plot.SeriesShown(speed));
    plot.lstSeries->setFocus();
    plot.lstSeries->setCurrentRow(speed);
    QTest::keyClick(plot.lstSeries, Qt::Key_Space);
    ASSERT_TRUE(plot.SeriesShown(speed));

    // Fifty answers arrive through channel 1 before the plot redraws.
    auto answer = [&](int rpm) {
        std::vector<uint8_t> state(29, 0);
        state[0] = static_cast<uint8_t>(rpm >> 8);
        state[1] = static_cast<uint8_t>(rpm);
        t.channel.ReceiveQueue()->Push(AnswerFrame(0x73, state));
        QEvent received(static_cast<QEvent::Type>(TChannelWindow::kReceivedMessage));
        QCoreApplication::sendEvent(&t.channel, &received);
        now += 4000;  // the state poll's pace or slower: every answer is a point of its own
    };
    plot.TimerRedraw.stop();  // its ticks are driven below
    const int before = plot.RedrawCount();
    for (int i = 0; i < 50; ++i) answer(1000 + i);
    EXPECT_EQ(plot.RedrawCount(), before);  // answers only fill the history
    plot.TimerRedrawTimer();
    plot.TimerRedrawTimer();  // nothing new: nothing drawn
    EXPECT_EQ(plot.RedrawCount(), before + 1);
    const QList<QPointF> drawn = plot.PointsOf(speed);
    ASSERT_EQ(drawn.size(), 50);
    EXPECT_EQ(drawn[0], QPointF(1765272184000, 1000));
    EXPECT_EQ(drawn[49], QPointF(1765272184000 + 49 * 4000, 1049));
    // Five minutes at first, ending at the next half minute.
    const int64_t end = plot.TimeAxis()->max().toMSecsSinceEpoch();
    EXPECT_EQ(end - plot.TimeAxis()->min().toMSecsSinceEpoch(), 5 * 60000);
    EXPECT_EQ(end % 30000, 0);
    EXPECT_GT(end, now - 4000);
    EXPECT_LE(end - (now - 4000), 30000);
    EXPECT_LE(plot.ValueAxis()->min(), 0.0);  // the currents read 0 at these answers

    // Paused, the picture stays as it was; going on catches up at the next tick.
    QTest::mouseClick(plot.btPause, Qt::LeftButton);
    EXPECT_EQ(plot.btPause->text().toStdString(), "Продолжить");
    answer(2000);
    plot.TimerRedrawTimer();
    EXPECT_EQ(plot.PointsOf(speed).size(), 50);
    QTest::mouseClick(plot.btPause, Qt::LeftButton);
    plot.TimerRedrawTimer();
    EXPECT_EQ(plot.PointsOf(speed).size(), 51);
    // Within the same tenth of the span only the last piece of each shown quantity is laid out.
    now = (now / 30000 + 1) * 30000;  // a new half minute: the axis steps, all is laid out
    answer(2001);
    plot.TimerRedrawTimer();
    EXPECT_EQ(plot.PiecesRedrawn(), 70u);  // six quantities at first and the speed, ten pieces each
    answer(2002);
    plot.TimerRedrawTimer();
    EXPECT_EQ(plot.PiecesRedrawn(), 7u);
    EXPECT_EQ(plot.PointsOf(speed).last().y(), 2002);

    // "Сохранить график" writes the picture as PNG.
    t.dialogs.ChooseFile(t.dir.File("plot"));
    QTest::mouseClick(plot.btSave, Qt::LeftButton);
    const QImage saved(QString::fromStdString(t.dir.File("plot.png")), "PNG");
    EXPECT_EQ(saved.size(), plot.View()->size() * plot.View()->devicePixelRatio());

    // Another page: no redraws behind the operator's back.
    QTest::mouseClick(pages.tabBar(), Qt::LeftButton, {}, pages.tabBar()->tabRect(0).center());
    EXPECT_FALSE(plot.TimerRedraw.isActive());
    pages.setParent(home);
}

TEST(StateHistory, RangesAndThinnedSeriesKeepTheSpikes) {
    TStateHistory h(100);
    float buff[32] = {};
    for (int i = 0; i < 150; ++i) {
        buff[5] = i == 120 ? 999.0f : static_cast<float>(i);
        h.Add(i * 10, buff);
    }
    EXPECT_EQ(h.Size(), 100u);  // the oldest fifty went
    const auto all = h.Range(0, 10000);
    ASSERT_EQ(all.size(), 100u);
    EXPECT_EQ(all.front().wallMs, 500);
    EXPECT_EQ(h.Range(1000, 1020).size(), 3u);
    EXPECT_EQ(h.Span(0, 10000), std::make_pair(size_t{0}, size_t{100}));
    const auto thin = SeriesPoints(h, 0, 10000, 0, 10);  // "Uвх A" is buffer 5
    EXPECT_LE(thin.size(), 10u);
    EXPECT_TRUE(std::any_of(thin.begin(), thin.end(), [](auto& p) { return p.second == 999.0f; }));
    EXPECT_TRUE(std::is_sorted(thin.begin(), thin.end(), [](auto& a, auto& b) { return a.first < b.first; }));
    EXPECT_EQ(SeriesPoints(h, 0, 10000, 0, 1000).size(), 100u);
    EXPECT_EQ(SeriesPoints(h, 1000, 1020, 0, 1000).size(), 3u);
    // A stretch drawn again with more samples keeps the points of its earlier buckets.
    TStateHistory growing;
    for (int i = 0; i < 100; ++i) growing.Add(i * 10, (buff[5] = static_cast<float>(i % 7), buff));
    const auto before = SeriesPoints(growing, 0, 1999, 0, 10);
    for (int i = 100; i < 150; ++i) growing.Add(i * 10, buff);
    const auto after = SeriesPoints(growing, 0, 1999, 0, 10);
    ASSERT_GE(after.size(), 2u);
    EXPECT_EQ(std::vector(after.begin(), after.begin() + 2), std::vector(before.begin(), before.begin() + 2));
}
