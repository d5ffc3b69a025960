#include "execution/TFPrPch.h"

#include "execution/ScriptFindingsWindow.h"

#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QSplitter>
#include <QStatusBar>
#include <QTableWidget>
#include <QToolButton>
#include <QVBoxLayout>
#include <clocale>

#include "execution/Globals.h"
#include "platform/Termination.h"
#include "link/CommandCatalogue.h"
#include "platform/Dialogs.h"
#include "platform/Paths.h"
#include "rsmanager/RsErrors.h"
#include "records/TBirka.h"
#include "records/TFLog.h"
#include "eeprom/TFPzu.h"
#include "execution/StatePages.h"

namespace {

QString U(const char* s) { return QString::fromUtf8(s); }

QPushButton* Button(const char* name, const char* caption, QWidget* parent) {
    auto* b = new QPushButton(U(caption), parent);
    b->setObjectName(name);
    return b;
}

}  // namespace

TFPrPch::TFPrPch(QWidget* parent) : QMainWindow(parent) {
    setObjectName("FPrPch");
    setWindowTitle(U("Проверка станции"));
    resize(1280, 860);
    WorkDir = platform::CurrentDirectory();
    run_.SetRecorder(&recorder_);
    // Values go to the screen, the protocol and the station with a point, whatever the desktop's locale.
    std::setlocale(LC_NUMERIC, "C");
    pzu_.Load(platform::JoinPath(WorkDir, "data\\pzu.ini"));
    interpreter_.SetPzuImage(&pzu_);
    interpreter_.SetPictureBase(WorkDir);
    decoder_.SetPzuImage(&pzu_);

    auto* central = new QWidget(this);
    BuildRunControls(central);
    setCentralWidget(central);
    for (auto& p : panels_) {
        p = new QLabel(this);
        // A long text is cut, not allowed to widen the window.
        p->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
        statusBar()->addWidget(p, 1);
    }
    lbRecords = new QLabel(this);
    lbRecords->setObjectName("lbRecords");
    lbRecords->setStyleSheet("QLabel { color: #d02020; }");
    lbRecords->hide();
    statusBar()->addPermanentWidget(lbRecords);
    lbRecordsPending = new QLabel(this);
    lbRecordsPending->setObjectName("lbRecordsPending");
    lbRecordsPending->hide();
    statusBar()->addPermanentWidget(lbRecordsPending);
    KeepWidthsDuringRun();
    table_.SetChangeListener([this](int row) { RefreshTableRow(row); });
    RefreshTableRow(-1);
    ConnectTimers();

    SetStatus("Ждите... Идет начальный цикл обмена...", StatusColour::Green);
    rbAutopilotOn->setChecked(true);
    StatePages->hide();
    SetSelectionEnabled(false);
    SetStartEnabled(false);
    SetErrorEnabled(false);
    HideProgress();
}

TFPrPch::~TFPrPch() = default;

void TFPrPch::BuildRunControls(QWidget* central) {
    // Menu and actions.
    auto action = [this](const char* name, const char* caption) {
        auto* a = new QAction(U(caption), this);
        a->setObjectName(name);
        return a;
    };
    aSelectComplite = action("aSelectComplite", "Выбор тестов сделан");
    aFullChekit = action("aFullChekit", "Полная проверка");
    aMenuDeselect = action("aMenuDeselect", "Снять выделение");
    aAbort = action("aAbort", "Прервать проверку и показать протокол");
    aNewDevice = action("aNewDevice", "Новая проверка");
    aShowNewProtocol = action("aShowNewProtocol", "Сфорировать протокол испытаний");
    aExit = action("aExit", "Выход");
    aCheckScript = action("aCheckScript", "Проверить сценарий...");
    aTimerClickerOff = action("aTimerClickerOff", "");
    aRequestParam = action("aRequestParam", "Запрос параметров ПЧ");
    aResetPupch = action("aResetPupch", "Программный сброс ПЧ");
    aAllContactorsOff = action("aAllContactorsOff", "Обесточить станцию");
    miNewDevice = action("miNewDevice", "Новое устройство ");
    miPzu = action("miPzu", "ПЗУ");
    miInternalState = action("miInternalState", "Внунтреннее состояние ПЧ");
    miLogicalNumber = action("miLogicalNumber", "Логический номер");
    aAbout = action("aAbout", "О программе");
    aSaveJournal = action("aSaveJournal", "Сохранить журнал...");
    aStatistics = action("aStatistics", "Статистика испытаний...");
    addAction(aTimerClickerOff);

    QMenu* run = menuBar()->addMenu(U("Проверка"));
    for (QAction* a : {aSelectComplite, aFullChekit, aMenuDeselect, aAbort, aNewDevice, miNewDevice,
                       aShowNewProtocol, aCheckScript, aStatistics})
        run->addAction(a);
    run->addSeparator();
    run->addAction(aExit);
    QMenu* station = menuBar()->addMenu(U("Станция"));
    for (QAction* a : {aRequestParam, aResetPupch, aAllContactorsOff, miPzu, miInternalState, miLogicalNumber})
        station->addAction(a);
    station->addSeparator();
    station->addAction(aSaveJournal);
    connect(aSaveJournal, &QAction::triggered, this, [this] { SaveJournalAsked(this, *journal_); });
    menuBar()->addMenu(U("Справка"))->addAction(aAbout);

    connect(aSelectComplite, &QAction::triggered, this, [this] { BtOKClick(); });
    connect(aCheckScript, &QAction::triggered, this, [this] {
        CheckScriptFromMenu(platform::JoinPath(WorkDir, "scn"), platform::JoinPath(WorkDir, "data"), this);
    });
    connect(aStatistics, &QAction::triggered, this, [this] {
        if (shell_.showStatistics) shell_.showStatistics(this);
    });
    connect(aFullChekit, &QAction::triggered, this, [this] { aFullChekitExecute(); });
    connect(aMenuDeselect, &QAction::triggered, this, [this] { aMenuDeselectExecute(); });
    connect(aAbort, &QAction::triggered, this, [this] { aAbortExecute(); });
    connect(aNewDevice, &QAction::triggered, this, [this] { aNewDeviceExecute(); });
    connect(miNewDevice, &QAction::triggered, this, [this] { miNewDeviceClick(); });
    connect(aShowNewProtocol, &QAction::triggered, this, [this] { aShowNewProtocolExecute(); });
    connect(aExit, &QAction::triggered, this, [this] { aExitExecute(); });
    connect(aTimerClickerOff, &QAction::triggered, this, [this] { aTimerClickerOffExecute(); });
    connect(aRequestParam, &QAction::triggered, this, [this] { aRequestParamExecute(); });
    connect(aResetPupch, &QAction::triggered, this, [this] { aResetPupchExecute(); });
    connect(aAllContactorsOff, &QAction::triggered, this, [this] { aAllContactorsOffExecute(); });
    connect(miPzu, &QAction::triggered, this, [this] { miPzuClick(); });
    connect(miInternalState, &QAction::triggered, this, [this] { miInternalStateClick(); });
    connect(miLogicalNumber, &QAction::triggered, this, [this] { miLogicalNumberClick(); });
    connect(aAbout, &QAction::triggered, this, [this] {
        if (shell_.showAbout) shell_.showAbout();
    });

    // Device line: name, serial number and the three coefficients.
    auto* device = new QHBoxLayout;
    auto field = [&](QLineEdit*& e, const char* name, const char* label, int width) {
        device->addWidget(new QLabel(U(label), central));
        e = new QLineEdit(central);
        e->setObjectName(name);
        e->setReadOnly(true);
        e->setMaximumWidth(width);
        device->addWidget(e);
    };
    field(edDevice, "edDevice", "Устройство", 260);
    field(edSerial, "edSerial", "Зав. №", 120);
    field(edKUin, "edKUin", "K Uвх", 90);
    field(edKIout, "edKIout", "K Iвых", 90);
    field(edKUout, "edKUout", "K Uвых", 90);
    device->addStretch();

    // Check selection.
    auto* selection = new QGroupBox(U("Выбор проверок"), central);
    auto* sl = new QVBoxLayout(selection);
    ListProv = new QListWidget(selection);
    ListProv->setObjectName("ListProv");
    BtOK = Button("BtOK", "Выбор сделан", selection);
    btSelectAll = Button("btSelectAll", "Выбрать все тесты [ v ]", selection);
    btDeselectAll = Button("btDeselectAll", "Снять выделение", selection);
    sl->addWidget(ListProv, 1);
    for (QWidget* w : {static_cast<QWidget*>(btSelectAll), static_cast<QWidget*>(btDeselectAll),
                       static_cast<QWidget*>(BtOK)})
        sl->addWidget(w);
    connect(BtOK, &QPushButton::clicked, this, [this] { BtOKClick(); });
    connect(btSelectAll, &QPushButton::clicked, this, [this] { aFullChekitExecute(); });
    connect(btDeselectAll, &QPushButton::clicked, this, [this] { aMenuDeselectExecute(); });

    // Run controls.
    STPan3 = new QLabel(central);
    STPan3->setObjectName("STPan3");
    STPan3->setWordWrap(true);
    STPan3->setMinimumHeight(48);
    STPan3->setAutoFillBackground(true);
    lbCurrentTest = new QLabel(central);
    lbCurrentTest->setObjectName("lbCurrentTest");
    QFont bold = lbCurrentTest->font();
    bold.setBold(true);
    lbCurrentTest->setFont(bold);
    lbRunProgress = new QLabel(central);
    lbRunProgress->setObjectName("lbRunProgress");
    lbRunProgress->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    BitBtn1 = Button("BitBtn1", "Начать!", central);
    BitBtn3 = Button("BitBtn3", "Ошибка", central);
    bbtAbort = Button("bbtAbort", "Прервать проверку", central);
    sbtAutomatOff = Button("sbtAutomatOff", "Выключить АВТОМАТ", central);
    btAllContactorsOff = Button("btAllContactorsOff", "Обесточить станцию", central);
    rbAutopilotOn = new QRadioButton(U("вкл"), central);
    rbAutopilotOn->setObjectName("rbAutopilotOn");
    rbAutopilotOff = new QRadioButton(U("выкл"), central);
    rbAutopilotOff->setObjectName("rbAutopilotOff");
    ProgressBar = new QProgressBar(central);
    ProgressBar->setObjectName("ProgressBar");
    auto* buttons = new QHBoxLayout;
    for (QWidget* w : std::initializer_list<QWidget*>{BitBtn1, BitBtn3, bbtAbort})
        buttons->addWidget(w);
    buttons->addStretch();
    // The stand's own controls on a row of their own: one row of all of them would make the
    // window wider than a stand PC's screen.
    auto* standButtons = new QHBoxLayout;
    standButtons->addWidget(sbtAutomatOff);
    standButtons->addWidget(btAllContactorsOff);
    standButtons->addWidget(new QLabel(U("Автопилот:"), central));
    standButtons->addWidget(rbAutopilotOn);
    standButtons->addWidget(rbAutopilotOff);
    standButtons->addStretch();
    connect(BitBtn1, &QPushButton::clicked, this, [this] { BitBtn1Click(); });
    connect(BitBtn3, &QPushButton::clicked, this, [this] { BitBtn3Click(); });
    connect(bbtAbort, &QPushButton::clicked, this, [this] { aAbortExecute(); });
    connect(sbtAutomatOff, &QPushButton::clicked, this, [this] { sbtAutomatOffClick(); });
    connect(btAllContactorsOff, &QPushButton::clicked, this, [this] { aAllContactorsOffExecute(); });
    connect(rbAutopilotOff, &QRadioButton::toggled, this, [this](bool on) {
        if (on) TimerClicker.stop();
    });

    Tabl1 = new QTableWidget(TResultsTable::kInitialRows - 1, TResultsTable::kColumns, central);
    Tabl1->setObjectName("Tabl1");
    QStringList headers;
    for (const char* h : TResultsTable::kHeaders) headers << U(h);
    Tabl1->setHorizontalHeaderLabels(headers);
    Tabl1->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    Tabl1->setSelectionMode(QAbstractItemView::SingleSelection);
    // What the operator types into the one editable cell is the row's measured value.
    connect(Tabl1, &QTableWidget::itemChanged, this, [this](QTableWidgetItem* item) {
        if (item->column() == 4 && item->row() + 1 == editableRow_)
            table_.SetCell(4, editableRow_, item->text().toStdString());
    });

    // Exchange log with its buttons, and the step picture in its place.
    MemoLog = new QPlainTextEdit(central);
    MemoLog->setObjectName("MemoLog");
    MemoLog->setReadOnly(true);
    MemoLog->setMaximumBlockCount(5000);
    // The log follows its end unless the operator scrolled up to read; scrolling back to the
    // end follows again. A range change (new lines, the log shown again after a picture)
    // keeps a following log at its end.
    QScrollBar* logBar = MemoLog->verticalScrollBar();
    connect(logBar, &QAbstractSlider::actionTriggered, this,
            [this, logBar](int) { logFollows_ = logBar->sliderPosition() >= logBar->maximum(); });
    connect(logBar, &QAbstractSlider::rangeChanged, this, [this, logBar](int, int max) {
        if (logFollows_) logBar->setValue(max);
    });
    ImagePicture = new QLabel(central);
    ImagePicture->setObjectName("ImagePicture");
    ImagePicture->setAlignment(Qt::AlignCenter);
    ImagePicture->hide();
    btMonitor = Button("btMonitor", "Выкл.монитор", central);
    btShowExchange = Button("btShowExchange", "Только текст", central);
    btClearLog = Button("btClearLog", "Очистить", central);
    btRs1Show = Button("btRs1Show", "COM1", central);
    btRs2Show = Button("btRs2Show", "COM2", central);
    auto* logButtons = new QHBoxLayout;
    for (QWidget* w : std::initializer_list<QWidget*>{btMonitor, btShowExchange, btClearLog, btRs1Show, btRs2Show})
        logButtons->addWidget(w);
    logButtons->addStretch();
    connect(btMonitor, &QPushButton::clicked, this, [this] { btMonitorClick(); });
    connect(btShowExchange, &QPushButton::clicked, this, [this] { btShowExchangeClick(); });
    connect(btClearLog, &QPushButton::clicked, this, [this] { MemoLog->clear(); });
    connect(btRs1Show, &QPushButton::clicked, this, [this] {
        if (windows_.CustomComm1) windows_.CustomComm1->show();
    });
    connect(btRs2Show, &QPushButton::clicked, this, [this] {
        if (windows_.RS2) windows_.RS2->show();
    });

    // Right side: setpoints and service, and the internal state pages below them.
    ServicePages = new QTabWidget(central);
    ServicePages->setObjectName("ServicePages");
    ServicePages->addTab(BuildSetpointPage(), U("Уставки ПЧ"));
    ServicePages->addTab(BuildServicePage(), U("Сервис"));
    StatePages = new TStatePages(central);

    auto* runColumn = new QVBoxLayout;
    runColumn->addWidget(STPan3);
    // One line for the check's title and the run's progress, so the buttons below keep their place.
    auto* titleLine = new QHBoxLayout;
    titleLine->addWidget(lbCurrentTest, 1);
    titleLine->addWidget(lbRunProgress);
    runColumn->addLayout(titleLine);
    runColumn->addLayout(buttons);
    runColumn->addLayout(standButtons);
    runColumn->addWidget(ProgressBar);
    runColumn->addWidget(Tabl1, 3);
    runColumn->addLayout(logButtons);
    runColumn->addWidget(MemoLog, 2);
    runColumn->addWidget(ImagePicture, 2);
    auto* rightColumn = new QVBoxLayout;
    rightColumn->addWidget(ServicePages);
    rightColumn->addWidget(StatePages, 1);
    rightColumn->addStretch();

    auto* columns = new QHBoxLayout;
    columns->addWidget(selection, 2);
    columns->addLayout(runColumn, 5);
    columns->addLayout(rightColumn, 4);
    auto* layout = new QVBoxLayout(central);
    layout->addLayout(device);
    layout->addLayout(columns, 1);
}

QWidget* TFPrPch::BuildSetpointPage() {
    auto* page = new QWidget;
    auto* g = new QGridLayout(page);
    auto readBack = [&](int i, int row) {
        lbReadBack[i] = new QLabel(page);
        lbReadBack[i]->setObjectName(QString("lbReadBack%1").arg(i));
        lbReadBack[i]->setStyleSheet("color: navy");
        g->addWidget(lbReadBack[i], row, 2);
    };
    auto text = [&](const char* name, const char* value) {
        auto* e = new QLineEdit(U(value), page);
        e->setObjectName(name);
        e->setMaximumWidth(90);
        return e;
    };
    edRotationSpeed = text("edRotationSpeed", "250");
    cbInstantTrip = new QComboBox(page);
    cbInstantTrip->setObjectName("cbInstantTrip");
    cbInstantTrip->addItems({U("Выкл"), U("Вкл")});
    cbConstruction = new QComboBox(page);
    cbConstruction->setObjectName("cbConstruction");
    cbConstruction->addItems({U("новая"), U("старая")});
    edTransformerVoltage = text("edTransformerVoltage", "380");
    cbPacket = new QComboBox(page);
    cbPacket->setObjectName("cbPacket");
    cbPacket->addItems({"1", "2", "3"});
    auto* btRotationSpeed = Button("btRotationSpeed", "Обороты", page);
    auto* btInstantTrip = Button("btInstantTrip", "Мгнов. откл. по току", page);
    g->addWidget(btRotationSpeed, 0, 0);
    g->addWidget(edRotationSpeed, 0, 1);
    readBack(0, 0);
    g->addWidget(btInstantTrip, 1, 0);
    g->addWidget(cbInstantTrip, 1, 1);
    readBack(1, 1);
    const char* labels[] = {"Время", "Дата", "Год"};
    for (int i = 0; i < 3; ++i) {
        g->addWidget(new QLabel(U(labels[i]), page), 2 + i, 0);
        readBack(2 + i, 2 + i);
    }
    g->addWidget(new QLabel(U("Вариант конструкции"), page), 5, 0);
    g->addWidget(cbConstruction, 5, 1);
    readBack(5, 5);
    g->addWidget(new QLabel(U("Напряжение трансформатора"), page), 6, 0);
    g->addWidget(edTransformerVoltage, 6, 1);
    readBack(6, 6);
    g->addWidget(new QLabel(U("Пакет настроек"), page), 7, 0);
    g->addWidget(cbPacket, 7, 1);
    readBack(7, 7);
    auto* btSendAll = Button("btSendAll", "Отправить все", page);
    auto* btReadAll = Button("btReadAll", "Считать все", page);
    g->addWidget(btSendAll, 8, 0);
    g->addWidget(btReadAll, 8, 1);
    // Two rows of four: eight in one row would widen the window beyond the screen.
    auto* chips = new QGridLayout;
    for (int i = 0; i < 8; ++i) {
        auto* b = new QPushButton(U("ПЗУ") + QString::number(i), page);
        b->setObjectName(QString("btPzu%1").arg(i));
        chips->addWidget(b, i / 4, i % 4);
        connect(b, &QPushButton::clicked, this, [this, i] { btEepromClick(i); });
    }
    g->addLayout(chips, 9, 0, 1, 3);
    auto* notice = new QLabel(U("Внимание! Данные уставки действительны только на время тестирования станции. "
                                "Перед эксплуатацией уставки вводить только через ПИУ."),
                              page);
    notice->setWordWrap(true);
    notice->setStyleSheet("color: #a00000");
    g->addWidget(notice, 10, 0, 1, 3);
    connect(btRotationSpeed, &QPushButton::clicked, this, [this] { btRotationSpeedClick(); });
    connect(btInstantTrip, &QPushButton::clicked, this, [this] { btInstantTripClick(); });
    connect(btSendAll, &QPushButton::clicked, this, [this] { btSendAllClick(); });
    connect(btReadAll, &QPushButton::clicked, this, [this] { btReadAllClick(); });
    return page;
}

QWidget* TFPrPch::BuildServicePage() {
    auto* page = new QWidget;
    auto* g = new QGridLayout(page);
    int n = 0;
    auto tool = [&](const char* hint, const char* caption, std::function<void()> handler) {
        auto* b = new QToolButton(page);
        b->setText(U(caption));
        b->setToolTip(U(hint));
        b->setObjectName(QString("sbtService%1").arg(n));
        g->addWidget(b, n / 4, n % 4);
        ++n;
        connect(b, &QToolButton::clicked, this, std::move(handler));
        return b;
    };
    auto send = [this](const char* text) {
        return [this, text] { SendServiceCommand({true, text, ""}); };
    };
    tool("Запрос уставок", "Уставки?", send(cmd::kReadSetpoints));
    tool("Запрос служебной информации", "Служ. ЦП", send(cmd::kServiceCentral));
    tool("Запрос служебной коммутатора", "Служ. КК", send(cmd::kServiceSwitch));
    tool("Запрос служебной регулятора", "Служ. РГ", send(cmd::kServiceRegulator));
    tool("Запрос служебной центроального", "Служ. ЦП 2", send(cmd::kServiceCentral));
    tool("Замер", "Замер", send(cmd::kMeasure));
    tool("Программный сброс", "Сброс", send(cmd::kSoftReset));
    tool("Программный  сброс", "Сброс 2", send(cmd::kSoftResetToolbar));
    tool("", "Паспорт", send(cmd::kPassport));
    tool("Тест ПИЛА", "ПИЛА", send(cmd::kSawTest));
    tool("Стоп ТЕСТ КК", "Стоп КК", send(cmd::kStopTest));
    tool("Стоп тест", "Стоп", send(cmd::kStopTest));
    tool("Тест коммутатора", "Тест КК", send(cmd::kSwitchTest));
    tool("Перебор комбинаций", "Перебор", send(cmd::kSwitchTest));
    tool("Выдать отрицательный порог", "Порог -", send(cmd::kIssueCombination[0]));
    tool("Выдать положительный порог", "Порог +", send(cmd::kIssueCombination[1]));
    tool("Выдать комбинацию 0", "Комб. 0", send(cmd::kIssueCombination[0]));
    tool("Выдать комбинацию 10", "Комб. 10", send(cmd::kIssueCombination[1]));
    for (int i = 2; i <= 5; ++i) {
        static const char* const kHints[] = {"Выдать комбинацию 2", "Выдать комбинацию 3", "Выдать комбинацию 4",
                                             "Выдать комбинацию 5"};
        static const char* const kCaptions[] = {"Комб. 2", "Комб. 3", "Комб. 4", "Комб. 5"};
        tool(kHints[i - 2], kCaptions[i - 2], send(cmd::kIssueCombination[static_cast<size_t>(i)]));
    }
    tool("Сброс защиты", "Сброс защ.", [this] { btProtectionResetClick(); });
    sbtCyclic = tool("Циклический запрос параметров", "Цикл", [this] { sbtCyclicClick(); });
    sbtCyclic->setObjectName("sbtCyclic");

    int row = n / 4 + 1;
    auto valueRow = [&](const char* hint, QLineEdit*& e, const char* name, std::function<void()> handler) {
        auto* b = new QToolButton(page);
        b->setText(U(hint).trimmed());
        b->setToolTip(U(hint));
        e = new QLineEdit("127", page);
        e->setObjectName(name);
        e->setMaximumWidth(60);
        g->addWidget(b, row, 0, 1, 3);
        g->addWidget(e, row, 3);
        ++row;
        connect(b, &QToolButton::clicked, this, std::move(handler));
    };
    valueRow("Установить ЦАП", edDac, "edDac", [this] { btDacClick(); });
    valueRow("Установка ШИМ", edPwm, "edPwm", [this] { btPwmClick(); });
    static const char* const kPotentiometers[] = {"Потенциометр канала рег. тока", "Потенциометр канала А",
                                                  "Потенциометр канала С", " Потенциометр канала рег. напряжения ",
                                                  " Потенциометр канала В "};
    for (int i = 0; i < 5; ++i)
        valueRow(kPotentiometers[i], edPotentiometer[i], QString("edPotentiometer%1").arg(i).toUtf8().constData(),
                 [this, i] { btPotentiometerClick(i); });

    auto* keys = new QGroupBox(U("Замкнуть ключи"), page);
    auto* kg = new QGridLayout(keys);
    static const char* const kKeyCaptions[] = {" M A", " M B", " M C", " V A", " V B", " V C", " Igr",
                                               " U лин", " I рег", " U рег", "Резерв", "Резерв", "Резерв", "Резерв"};
    for (int i = 0; i < 14; ++i) {
        cbKeys[i] = new QCheckBox(U(kKeyCaptions[i]), keys);
        cbKeys[i]->setObjectName(QString("cbKey%1").arg(i));
        kg->addWidget(cbKeys[i], i / 7, i % 7);
    }
    auto* btCloseKeys = new QToolButton(keys);
    btCloseKeys->setText(U("Замкнуть ключи"));
    btCloseKeys->setToolTip(U("Замкнуть ключи"));
    btCloseKeys->setObjectName("btCloseKeys");
    kg->addWidget(btCloseKeys, 2, 0, 1, 3);
    connect(btCloseKeys, &QToolButton::clicked, this, [this] { btCloseKeysClick(); });
    g->addWidget(keys, row, 0, 1, 4);
    return page;
}

void TFPrPch::KeepWidthsDuringRun() {
    // The window keeps its size while a run changes captions and texts: each button is as
    // wide as its widest caption from the start, and the labels do not ask for more room.
    auto widest = [](QPushButton* b, std::initializer_list<const char*> captions) {
        const QString shown = b->text();
        int w = 0;
        for (const char* c : captions) {
            b->setText(U(c));
            w = std::max(w, b->sizeHint().width());
        }
        b->setText(shown);
        b->setMinimumWidth(w);
    };
    widest(BitBtn1, {"Начать!", "OK", "Продолжить?", "Пауза..."});
    widest(bbtAbort, {"Прервать проверку", "Прекратить проверку?", "Завершить цикл"});
    widest(sbtAutomatOff, {"Выключить АВТОМАТ", "Включить АВТОМАТ"});
    widest(btMonitor, {"Выкл.монитор", "Монитор COM-порта"});
    widest(btShowExchange, {"Только текст", "Показать обмен"});
    for (QLabel* l : {lbCurrentTest, STPan3}) l->setSizePolicy(QSizePolicy::Ignored, l->sizePolicy().verticalPolicy());
}

void TFPrPch::ConnectTimers() {
    const std::pair<QTimer*, std::function<void()>> handlers[] = {
        {&Timer1, [this] { Timer1Timer(); }},
        {&TmrBeg, [this] { TmrBegTimer(); }},
        {&TimerZaxvat, [this] { TimerZaxvatTimer(); }},
        {&TimerClicker, [this] { TimerClickerTimer(); }},
        {&TimerShutdown, [this] { TimerShutdownTimer(); }},
        {&TimerContactorPower, [this] { TimerContactorPowerTimer(); }},
        {&TimerContactor, [this] { TimerContactorTimer(); }},
        {&TimerStatusICP, [this] { TimerStatusICPTimer(); }},
        {&Timer3, [this] { Timer3Timer(); }},
        {&Timer4, [this] { Timer4Timer(); }},
    };
    for (const auto& [timer, handler] : handlers) {
        // Coarse timers drift by up to 5 % late: a 15-pair list at 200 ms would then outlast
        // the 3000 ms stage that follows it.
        timer->setTimerType(Qt::PreciseTimer);
        connect(timer, &QTimer::timeout, this, handler);
    }
    Timer1.setInterval(700);
    TmrBeg.setInterval(700);
    TimerZaxvat.setInterval(2000);
    TimerClicker.setInterval(5000);
    TimerShutdown.setInterval(3000);
    TimerContactorPower.setInterval(3000);
    TimerContactor.setInterval(300);
    TimerStatusICP.setInterval(1000);
    Timer3.setInterval(200);
    Timer4.setInterval(1000);
    TimerShutdownQuick.setInterval(1000);
    TimerRunClock.setInterval(1000);
    connect(&TimerRunClock, &QTimer::timeout, this, [this] { TimerRunClockTimer(); });
}

void TFPrPch::SetWindows(const AppWindows_T& windows) {
    windows_ = windows;
    if (windows_.CustomComm1) {
        windows_.CustomComm1->SetClient(this);
        windows_.CustomComm1->SetJournal(journal_);
    }
    if (windows_.RS2) {
        windows_.RS2->SetClient(this);
        windows_.RS2->SetJournal(journal_);
    }
}

void TFPrPch::showEvent(QShowEvent* e) {
    QMainWindow::showEvent(e);
    if (shownOnce_) return;
    shownOnce_ = true;
    // Runs from the event loop, as the first showing does, so that modal windows nest in it.
    QTimer::singleShot(0, this, [this] { FormShow(); });
}

void TFPrPch::closeEvent(QCloseEvent* e) {
    // Once the program is ending, the window goes; before that the stand is switched off
    // first, and the shutdown ends the program.
    if (platform::TerminationRequested()) {
        e->accept();
        return;
    }
    e->ignore();
    StartShutdown();
}

void TFPrPch::FormShow() {
    StartUp();
    if (!platform::TerminationRequested()) TagAtStart();
}

void TFPrPch::StartUp() {
    // The start window belongs to the program's shell; without one (the windows' own tests)
    // the device kind stays as the process-wide values have it.
    if (shell_.startWindow && !shell_.startWindow(*this)) platform::RequestTermination();
    cbConstruction->setCurrentIndex(Globals().ConstructionOld);
    cbPacket->setCurrentIndex(Globals().NPacket - 1);
    SetMonitor(ComMonitor == 1);
    if (platform::TerminationRequested()) return;
    if (!tagDialog_) {
        BirkaLinks_T b;
        b.protocol = &protocol_;
        b.memo = windows_.fmMemo;
        b.disableSelection = [this] { SetSelectionEnabled(false); };
        b.loadCombination = [this](int number, int ms) {
            SetCombination(number, ms > 0 ? ms : TimerContactor.interval());
        };
        b.stopContactorTimers = [this] { StopContactorTimers(); };
        b.showSerial = [this](const std::string& serial) { edSerial->setText(QString::fromStdString(serial)); };
        b.showTestVersion = [this](const std::string& text) {
            lbCurrentTest->setText(QString::fromStdString(text));
            panels_[0]->setText(QString::fromStdString(text));
        };
        birka_ = std::make_unique<TBirka>(b, this);
        tagDialog_ = [this](RunTag_T& tag) { return birka_->Execute(tag); };
    }

    // Channel 2, then channel 1, from the settings file of the working folder.
    const std::string config = WorkDir + "\\" + "data\\nastr.ini";
    for (TChannelWindow* w :
         {static_cast<TChannelWindow*>(windows_.RS2), static_cast<TChannelWindow*>(windows_.CustomComm1)}) {
        if (!w) continue;
        w->SetConfigFile(config);
        try {
            if (w->OpenChannel() != 0)
                LogLine("Порт " + w->PortName() + " не открыт (" + w->windowTitle().toStdString() + ")");
        } catch (const TErrRsManager& e) {
            platform::Dialogs::Current().Show(e.Message(), "Ошибка", platform::DialogIcon::Error);
        }
    }
    TimerStatusICP.start();
}

void TFPrPch::TagAtStart() {
    RunTag_T tag;
    if (ShowTagDialog(tag))
        Preparation(tag);
    else
        StartShutdown();  // nothing more when the tag's own "Выход" already ended the program
}

void TFPrPch::OpenScript(const std::string& path) {
    script_.Open(path);
    interpreter_.SetCurrentStep("step1");
}

int TFPrPch::BuildCheckList() {
    ShowCheckList(script_.BuildCheckList());
    return ListProv->count();
}

void TFPrPch::ShowCheckList(const TScript::CheckList_T& list) {
    ListProv->clear();
    for (const std::string& name : list.names) {
        auto* item = new QListWidgetItem(QString::fromStdString(name), ListProv);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(list.tickSingle ? Qt::Checked : Qt::Unchecked);
    }
    if (list.brokenChain)
        platform::Dialogs::Current().Show("Цепочка проверок сценария разорвана: раздел " + list.brokenAt +
                                              " встречается повторно. Список проверок показан до этого места.",
                                          "Ошибка сценария", platform::DialogIcon::Warning);
}

void TFPrPch::PlaceTableCursor(int row) {
    const int previous = editableRow_;
    editableRow_ = row;
    if (previous != row && previous > 0) RefreshTableRow(previous);
    RefreshTableRow(row);
    Tabl1->setCurrentCell(row - 1, 4);
}

void TFPrPch::CommitTableEdit() {
    // Moving the focus from the editor to the table is what commits it.
    QWidget* focus = QApplication::focusWidget();
    if (focus && focus != Tabl1 && Tabl1->isAncestorOf(focus)) Tabl1->setFocus();
}

void TFPrPch::RefreshTableRow(int row) {
    // Row 0 of the model is the header; the view shows rows 1.. as its own 0..
    if (row < 0) {
        if (table_.NextFreeRow() <= 1) editableRow_ = 0;  // a new run's empty table
        Tabl1->setRowCount(table_.RowCount() - 1);
        for (int r = 1; r < table_.RowCount(); ++r) RefreshTableRow(r);
        return;
    }
    if (row == 0) return;
    const QSignalBlocker quiet(Tabl1);
    if (Tabl1->rowCount() < table_.RowCount() - 1) Tabl1->setRowCount(table_.RowCount() - 1);
    for (int c = 0; c < TResultsTable::kColumns; ++c) {
        QTableWidgetItem* item = Tabl1->item(row - 1, c);
        if (!item) {
            item = new QTableWidgetItem;
            Tabl1->setItem(row - 1, c, item);
        }
        item->setText(QString::fromStdString(table_.Cell(c, row)));
        // Only column 4 of the last written row can be selected and edited.
        item->setFlags(row == editableRow_ && c == 4 ? Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsEditable
                                                     : Qt::ItemIsEnabled);
    }
}

void TFPrPch::ShowRecordsProblem(const std::string& message) {
    lbRecords->setText(QString::fromUtf8("Записи испытаний: ошибка"));
    lbRecords->setToolTip(QString::fromStdString(message));
    lbRecords->show();
    LogLine(message);
}

void TFPrPch::ShowRecordsPending(int runs) {
    lbRecordsPending->setText(QString::fromUtf8("Не переданы в БД: %1").arg(runs));
    lbRecordsPending->setVisible(runs > 0);
}
