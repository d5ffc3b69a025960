#include "test/TFPrPch.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTableWidget>
#include <QVBoxLayout>

#include "app/Globals.h"
#include "app/StartResolution.h"
#include "app/TStartWindow.h"
#include "app/Termination.h"
#include "link/ChannelWindow.h"
#include "link/CommandCatalogue.h"
#include "platform/Dialogs.h"
#include "platform/Paths.h"
#include "rsmanager/RsErrors.h"

namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }

// Channel 1 as the station sender sees it.
class ChannelAdapter final : public TStationChannel {
public:
    explicit ChannelAdapter(TChannelWindow* w) : w_(w) {}
    void PurgeReceive() override {
        if (w_) w_->PurgeReceive();
    }
    void SendBytes(const uint8_t* bytes, size_t count) override {
        if (w_) w_->SendBytes(bytes, count);
    }

private:
    TChannelWindow* w_;
};

}  // namespace

TFPrPch::TFPrPch(QWidget* parent) : QMainWindow(parent) {
    setObjectName("FPrPch");
    setWindowTitle(QString::fromUtf8("Проверка станции"));
    resize(1024, 700);
    WorkDir = platform::CurrentDirectory();
    pzu_.Load(platform::JoinPath(WorkDir, "data\\pzu.ini"));
    interpreter_.SetPzuImage(&pzu_);
    interpreter_.SetPictureBase(WorkDir);

    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    auto* top = new QHBoxLayout;
    cbConstruction = new QComboBox(central);
    cbConstruction->addItems({QString::fromUtf8("новая"), QString::fromUtf8("старая")});
    cbPacket = new QComboBox(central);
    cbPacket->addItems({"1", "2", "3"});
    bbtStart = new QPushButton(QString::fromUtf8("Старт"), central);
    bbtError = new QPushButton(QString::fromUtf8("Ошибка"), central);
    bbtAbort = new QPushButton(QString::fromUtf8("Прекратить проверку?"), central);
    sbtAutomatOff = new QPushButton(QString::fromUtf8("Выключить АВТОМАТ"), central);
    for (QWidget* w : std::initializer_list<QWidget*>{cbConstruction, cbPacket, bbtStart, bbtError, bbtAbort, sbtAutomatOff})
        top->addWidget(w);
    top->addStretch();
    auto* service = new QHBoxLayout;
    auto field = [&](const char* text) {
        auto* e = new QLineEdit(QString::fromUtf8(text), central);
        e->setMaximumWidth(70);
        service->addWidget(e);
        return e;
    };
    edRotationSpeed = field("250");
    cbInstantTrip = new QComboBox(central);
    cbInstantTrip->addItems({QString::fromUtf8("Выкл"), QString::fromUtf8("Вкл")});
    service->addWidget(cbInstantTrip);
    edTransformerVoltage = field("380");
    edDac = field("127");
    edPwm = field("127");
    for (auto& e : edPotentiometer) e = field("127");
    sbtCyclic = new QPushButton(QString::fromUtf8("Цикл"), central);
    sbtCyclic->setToolTip(QString::fromUtf8("Циклический запрос параметров"));
    service->addWidget(sbtCyclic);
    service->addStretch();
    layout->addLayout(service);
    connect(sbtCyclic, &QPushButton::clicked, this, [this] { sbtCyclicClick(); });
    STPan3 = new QLabel(central);
    STPan3->setObjectName("STPan3");
    Tabl1 = new QTableWidget(TResultsTable::kInitialRows - 1, TResultsTable::kColumns, central);
    Tabl1->setObjectName("Tabl1");
    QStringList headers;
    for (const char* h : TResultsTable::kHeaders) headers << QString::fromUtf8(h);
    Tabl1->setHorizontalHeaderLabels(headers);
    Tabl1->horizontalHeader()->setStretchLastSection(true);
    ListProv = new QListWidget(central);
    ListProv->setObjectName("ListProv");
    MemoLog = new QPlainTextEdit(central);
    MemoLog->setObjectName("MemoLog");
    MemoLog->setReadOnly(true);
    ImagePicture = new QLabel(central);
    ImagePicture->setObjectName("ImagePicture");
    ImagePicture->hide();
    layout->addLayout(top);
    layout->addWidget(STPan3);
    layout->addWidget(ListProv, 1);
    layout->addWidget(Tabl1, 3);
    layout->addWidget(MemoLog, 2);
    layout->addWidget(ImagePicture, 2);
    setCentralWidget(central);
    for (auto& p : panels_) {
        p = new QLabel(this);
        statusBar()->addWidget(p, 1);
    }
    table_.SetChangeListener([this](int row) { RefreshTableRow(row); });
    RefreshTableRow(-1);

    connect(&TimerContactor, &QTimer::timeout, this, [this] { TimerContactorTimer(); });
    connect(&TimerContactorPower, &QTimer::timeout, this, [this] { TimerContactorPowerTimer(); });
    connect(&TimerStatusICP, &QTimer::timeout, this, [this] { TimerStatusICPTimer(); });
    connect(sbtAutomatOff, &QPushButton::clicked, this, [this] { sbtAutomatOffClick(); });
    decoder_.SetPzuImage(&pzu_);
    connect(&Timer3, &QTimer::timeout, this, [this] { Timer3Timer(); });
    connect(&Timer4, &QTimer::timeout, this, [this] { Timer4Timer(); });
    Timer3.setInterval(200);
    Timer4.setInterval(1000);
    Timer1.setInterval(700);
    TimerZaxvat.setInterval(2000);
    TimerClicker.setInterval(5000);
    TimerContactor.setInterval(300);
    TimerContactorPower.setInterval(3000);
    TimerStatusICP.setInterval(1000);
}

TFPrPch::~TFPrPch() = default;

void TFPrPch::SetWindows(const AppWindows_T& windows) {
    windows_ = windows;
    if (windows_.CustomComm1) windows_.CustomComm1->SetClient(this);
    if (windows_.RS2) windows_.RS2->SetClient(this);
}

void TFPrPch::showEvent(QShowEvent* e) {
    QMainWindow::showEvent(e);
    if (shownOnce_) return;
    shownOnce_ = true;
    // Runs from the event loop, as the first showing does, so that modal windows nest in it.
    QTimer::singleShot(0, this, [this] { FormShow(); });
}

void TFPrPch::FormShow() {
    StartWindowLinks_T links;
    links.stationChannel = windows_.CustomComm1;
    links.standChannel = windows_.RS2;
    links.viewer = windows_.Prot;
    links.setTestWindowFlags = [this](bool echo, int monitor) {
        EchoFlag = echo;
        ComMonitor = monitor;
    };
    startWindow_ = std::make_unique<TStartWindow>(links, this);
    const int result = ExecModal(*startWindow_);
    if (result == TStartWindow::mrAbort || result == TStartWindow::mrCancel) RequestTermination();
    if (Globals().TypeDevice == "None") {
        platform::Dialogs::Current().Show(kUnavailableMessage, "Проверка станции",
                                          platform::DialogIcon::Warning);
        RequestTermination();
    }
    cbConstruction->setCurrentIndex(Globals().ConstructionOld);
    cbPacket->setCurrentIndex(Globals().NPacket - 1);
    if (TerminationRequested()) return;

    // Channel 2, then channel 1, from the settings file of the working folder.
    const std::string config = WorkDir + "\\" + "data\\nastr.ini";
    for (TChannelWindow* w : {static_cast<TChannelWindow*>(windows_.RS2),
                              static_cast<TChannelWindow*>(windows_.CustomComm1)}) {
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

void TFPrPch::OpenScript(const std::string& path) {
    script_.Open(path);
    interpreter_.SetCurrentStep("step1");
}

int TFPrPch::BuildCheckList() {
    ListProv->clear();
    const TScript::CheckList_T list = script_.BuildCheckList();
    for (const std::string& name : list.names) {
        auto* item = new QListWidgetItem(Q(name), ListProv);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(list.tickSingle ? Qt::Checked : Qt::Unchecked);
    }
    if (list.brokenChain)
        platform::Dialogs::Current().Show(
            "Цепочка проверок сценария разорвана: раздел " + list.brokenAt +
                " встречается повторно. Список проверок показан до этого места.",
            "Ошибка сценария", platform::DialogIcon::Warning);
    return ListProv->count();
}

std::vector<TScript::RunEntry_T> TFPrPch::SelectionDone() {
    std::vector<bool> ticked;
    for (int i = 0; i < ListProv->count(); ++i) ticked.push_back(ListProv->item(i)->checkState() == Qt::Checked);
    auto table = script_.MakeRunTable(ticked);
    if (table.empty()) {
        platform::Dialogs::Current().Show("Отметьте необходимые проверки", "Проверка станции");
        return table;
    }
    const std::string check = "title" + std::to_string(table.front().number);
    interpreter_.SetCurrentStep("step" + std::to_string(table.front().oneStep));
    ShowStatus(script_.ReadString(check, "Titl") + " " + script_.ReadString(check, "Text"));
    return table;
}

void TFPrPch::SendStationCommand(const std::function<void(uint8_t&)>& rewrite) {
    if (!script_.Loaded()) return;
    ChannelAdapter channel(windows_.CustomComm1);
    const TStationSender::Sent_T r = sender_.Send(Send, channel, rewrite);
    panels_[1]->setText(Q(r.status2));
    panels_[2]->clear();
    if (r.sent && exchangeLogOn_) LogLine(r.logLine);
}

void TFPrPch::LogLine(const std::string& line) { MemoLog->appendPlainText(Q(line)); }

std::vector<std::string> TFPrPch::LastLogLines(int count) const {
    const QStringList lines = MemoLog->toPlainText().split('\n');
    std::vector<std::string> out;
    for (int i = std::max(0, static_cast<int>(lines.size()) - count); i < lines.size(); ++i)
        out.push_back(lines[i].toStdString());
    return out;
}

void TFPrPch::ShowStatus(const std::string& text) { STPan3->setText(Q(text)); }

void TFPrPch::SetAutopilotInterval(int ms) {
    const bool running = TimerClicker.isActive();
    TimerClicker.setInterval(ms);
    if (running) TimerClicker.start();
}

void TFPrPch::SetCombination(int number, int contactorTimerMs) {
    combination_.Set(number);
    TimerContactor.setInterval(contactorTimerMs);
    TimerContactor.start();
}

void TFPrPch::StartContactorAction(int action, int intervalMs) {
    bbtStart->setEnabled(false);
    bbtAbort->setEnabled(false);
    sbtAutomatOff->setEnabled(false);
    TimerContactorPowerTag = action;
    TimerContactorPower.setInterval(intervalMs);
    TimerContactorPower.start();
}

void TFPrPch::TimerContactorTimer() {
    TCombination::Pair pair;
    if (!combination_.Next(pair)) {
        TimerContactor.stop();
        return;
    }
    const auto command = standIo_.SwitchContactor(pair.first, pair.second);
    if (!command) return;  // the module has not answered yet: the mask carries the change
    if (windows_.RS2) windows_.RS2->SendBytes(command->data(), command->size());
    LogLine(TStandIo::LogOut(*command));
}

void TFPrPch::TimerContactorPowerTimer() {
    const int action = TimerContactorPowerTag;
    bbtStart->setEnabled(false);
    bbtAbort->setEnabled(false);
    sbtAutomatOff->setEnabled(false);
    const char* text = TContactorAction::StatusText(action);
    panels_[3]->setText(text ? QString::fromUtf8(text) : QString());
    const TContactorAction::Tick_T t = action_.OnTick(action);
    if (t.setAutomatOff) automatOff_ = true;
    if (t.combination) SetCombination(t.combination, 200);
    for (int i = 0; i < t.stationCommands; ++i) {
        Send = cmd::kSoftReset;
        SendStationCommand();
    }
    if (t.finished) {
        TimerContactorPower.stop();
        TimerContactorPowerTag = 0;
        automatOff_ = false;
        bbtStart->setEnabled(true);
        bbtAbort->setEnabled(true);
        sbtAutomatOff->setEnabled(true);
        panels_[3]->clear();
    }
}

void TFPrPch::TimerStatusICPTimer() {
    const std::vector<uint8_t> request = TStandIo::InputRequest();
    if (windows_.RS2) windows_.RS2->SendBytes(request.data(), request.size());
}

void TFPrPch::RS2RxChar() {
    if (!windows_.RS2) return;
    uint8_t block[TChannelWindow::kMaxBlock];
    int32_t status = 0;
    const int n = windows_.RS2->ReceiveBlock(block, status);
    LogLine(TStandIo::LogIn(block, static_cast<size_t>(n)));
    standIo_.OnReply(block, static_cast<size_t>(n));
}

void TFPrPch::Read1(int) {
    if (!windows_.CustomComm1) return;
    uint8_t block[TChannelWindow::kMaxBlock];
    int32_t status = 0;
    const int n = windows_.CustomComm1->ReceiveBlock(block, status);
    TReplyReader& reader = sender_.Reader();
    const bool pending = !reader.ReplyDone();
    const TReplyReader::Read_T r = reader.Read(block, static_cast<size_t>(n));
    if (!r.frameExtracted) return;
    windows_.CustomComm1->PurgeReceive();
    if (r.result == TReplyReader::Result::ChecksumError) {
        panels_[2]->setText(QString::fromUtf8("Ошибка контрольной суммы"));
        return;
    }
    panels_[2]->setText(QString::fromUtf8("Ответ получен"));
    if (exchangeLogOn_) LogLine(" <-" + r.frameText);
    decoder_.SetStoreEeprom(interpreter_.StoreEeprom());
    decoder_.SetBoardKind(Globals().TypeDevice == "Плата" || Globals().TypeDevice == "Вх.контр.платы");
    const TAnswerDecoder::Result_T d = decoder_.Decode(reader.RcdCommand().Bytes());
    if (d.stationRequest) IsMaster = false;
    if (!d.answered) return;
    if (d.known && d.answered) interpreter_.SetScaleFactor(decoder_.ScaleS());
    if (!decoder_.State().rotationStatus.empty() || r.code == 0x73)
        panels_[3]->setText(Q(decoder_.State().rotationStatus));
    if (!pending) {
        // An answer nobody asked for: the state poll looks again soon.
        TimerZaxvat.setInterval(50);
        if (!IsMaster) TimerZaxvat.start();
    } else {
        reader.SetReplyDone(true);
    }
}

void TFPrPch::aAllContactorsOffExecute() {
    TimerClicker.stop();
    Send = cmd::kPowerOff;
    SendStationCommand();
    TimerContactor.stop();
    TimerContactorPower.stop();
    SetCombination(1, 150);
    automatOff_ = true;
    bbtStart->setEnabled(true);
    sbtAutomatOff->setText(QString::fromUtf8("Включить АВТОМАТ"));
}

void TFPrPch::SendServiceCommand(const ServiceCommand_T& command) {
    if (!command.ok) {
        platform::Dialogs::Current().Show(command.error, "Проверка станции", platform::DialogIcon::Warning);
        return;
    }
    Send = command.text;
    SendStationCommand();
}

void TFPrPch::btRotationSpeedClick() { SendServiceCommand(RotationSpeedCommand(edRotationSpeed->text().toStdString())); }
void TFPrPch::btInstantTripClick() { SendServiceCommand(InstantTripCommand(cbInstantTrip->currentIndex())); }
void TFPrPch::btReadAllClick() { SendServiceCommand({true, cmd::kReadSetpoints, ""}); }
void TFPrPch::btEepromClick(int chip) {
    if (chip >= 0 && chip < 8) SendServiceCommand({true, cmd::kEepromRead40[chip], ""});
}
void TFPrPch::btDacClick() { SendServiceCommand(DacCommand(edDac->text().toStdString())); }
void TFPrPch::btPwmClick() { SendServiceCommand(PwmCommand(edPwm->text().toStdString())); }
void TFPrPch::btPotentiometerClick(int channel) {
    if (channel >= 0 && channel < 5)
        SendServiceCommand(PotentiometerCommand(channel, edPotentiometer[channel]->text().toStdString()));
}

void TFPrPch::btProtectionResetClick() {
    protectionReset_.assign(cmd::kProtectionReset.begin(), cmd::kProtectionReset.end());
    pollBeforeReset_ = TimerZaxvat.isActive();
    TimerZaxvat.stop();
    Timer3.start();
}

void TFPrPch::Timer3Timer() {
    if (protectionReset_.empty()) {
        Timer3.stop();
        if (pollBeforeReset_ && !IsMaster) TimerZaxvat.start();
        return;
    }
    Send = protectionReset_.front();
    protectionReset_.erase(protectionReset_.begin());
    SendStationCommand();
}

void TFPrPch::sbtCyclicClick() {
    Send = cmd::kServiceCentral;
    if (Timer4.isActive()) {
        Timer4.stop();
        sbtCyclic->setToolTip(QString::fromUtf8("Циклический запрос параметров"));
        if (!IsMaster && !Timer1.isActive()) TimerZaxvat.start();
    } else {
        Timer4.start();
        sbtCyclic->setToolTip(QString::fromUtf8("Остановить обмен"));
        if (!IsMaster) TimerZaxvat.stop();
    }
}

void TFPrPch::sbtAutomatOffClick() {
    TimerClicker.stop();
    if (automatOff_) {
        automatOff_ = false;
        sbtAutomatOff->setText(QString::fromUtf8("Выключить АВТОМАТ"));
    } else {
        automatOff_ = true;
        bbtStart->setEnabled(true);
        sbtAutomatOff->setText(QString::fromUtf8("Включить АВТОМАТ"));
    }
}

bool TFPrPch::AskOperator(const std::string& caption, const std::string& text) {
    bbtStart->setText(QString::fromUtf8("Пауза..."));
    bbtStart->setEnabled(false);
    automatOff_ = true;
    TimerClicker.stop();
    const auto answer = platform::Dialogs::Current().Ask(text, caption, platform::DialogButtons::YesNo,
                                                         platform::DialogIcon::Question);
    automatOff_ = false;
    TimerClicker.start();
    return answer == platform::DialogResult::Yes;
}

bool TFPrPch::ShowPicture(const std::string& path) {
    QPixmap p(Q(platform::NormalizePath(path)));
    if (p.isNull()) return false;
    ImagePicture->setPixmap(p);
    MemoLog->hide();
    ImagePicture->show();
    return true;
}

void TFPrPch::HidePicture() {
    ImagePicture->clear();
    ImagePicture->hide();
    MemoLog->show();
}

void TFPrPch::SetAbortCaption(const std::string& caption) { bbtAbort->setText(Q(caption)); }

void TFPrPch::SetErrorButtonEnabled(bool enabled) { bbtError->setEnabled(enabled); }

void TFPrPch::ScrollToRow(int row) {
    if (row >= 1 && row - 1 < Tabl1->rowCount()) Tabl1->scrollToItem(Tabl1->item(row - 1, 0));
}

void TFPrPch::SendSetpointCommand() {
    SendServiceCommand(SetpointBlockCommand(edRotationSpeed->text().toStdString(), cbInstantTrip->currentIndex(),
                                            static_cast<unsigned>(std::max(0, cbConstruction->currentIndex())),
                                            edTransformerVoltage->text().toStdString(),
                                            static_cast<unsigned>(Globals().NPacket)));
}

void TFPrPch::SendStepCommand(const std::string& text, const std::function<void(uint8_t&)>& rewrite) {
    Send = text;
    SendStationCommand(rewrite);
}

void TFPrPch::ApplyPacing(int pacing) {
    if (pacing == 0) {
        Timer1.start();
        bbtStart->setEnabled(false);
        bbtError->setEnabled(false);
    } else {
        Timer1.stop();
        bbtStart->setText("OK");
        bbtStart->setEnabled(!TimerContactorPower.isActive());
    }
    if (!IsMaster) {
        if (Timer1.isActive())
            TimerZaxvat.stop();
        else
            TimerZaxvat.start();
    }
}

void TFPrPch::RefreshTableRow(int row) {
    // Row 0 of the model is the header; the view shows rows 1.. as its own 0..
    if (row < 0) {
        Tabl1->setRowCount(table_.RowCount() - 1);
        for (int r = 1; r < table_.RowCount(); ++r) RefreshTableRow(r);
        return;
    }
    if (row == 0) return;
    if (Tabl1->rowCount() < table_.RowCount() - 1) Tabl1->setRowCount(table_.RowCount() - 1);
    for (int c = 0; c < TResultsTable::kColumns; ++c) {
        QTableWidgetItem* item = Tabl1->item(row - 1, c);
        if (!item) {
            item = new QTableWidgetItem;
            Tabl1->setItem(row - 1, c, item);
        }
        item->setText(Q(table_.Cell(c, row)));
    }
}
