// The test window's side of a run: the controls the run sequencer and the step interpreter
// drive, the shutdown sequence and the window's actions.
#include <QAction>
#include <QComboBox>
#include <QToolButton>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTableWidget>

#include "execution/Globals.h"
#include "eeprom/TFPzu.h"
#include "platform/IniFile.h"
#include "platform/Termination.h"
#include "link/CommandCatalogue.h"
#include "platform/Dialogs.h"
#include "platform/Paths.h"
#include "records/ProtocolHeader.h"
#include "records/TFLog.h"
#include "records/TProt.h"
#include "records/TestTag.h"
#include "execution/StatePages.h"
#include "execution/TFPrPch.h"
#include "link/JournalText.h"

namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }

}  // namespace

// ---- TStepHost ----------------------------------------------------------------------------

void TFPrPch::LogLine(const std::string& line) {
    MemoLog->appendPlainText(Q(line));
    // A hidden log does not scroll by itself; it is brought to its end whenever it is shown.
    if (logFollows_) MemoLog->verticalScrollBar()->setValue(MemoLog->verticalScrollBar()->maximum());
}

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

bool TFPrPch::AskOperator(const std::string& caption, const std::string& text) {
    BitBtn1->setText(QString::fromUtf8("Пауза..."));
    BitBtn1->setEnabled(false);
    automatOff_ = true;
    TimerClicker.stop();
    platform::DialogResult answer;
    {
        const TPacingHold hold(*this);
        answer = platform::Dialogs::Current().Ask(text, caption, platform::DialogButtons::YesNo,
                                                  platform::DialogIcon::Question);
    }
    automatOff_ = false;
    TimerClicker.start();
    return answer == platform::DialogResult::Yes;
}

bool TFPrPch::ShowPicture(const std::string& path) {
    QPixmap p(Q(platform::NormalizePath(path)));
    if (p.isNull()) return false;
    ImagePicture->setPixmap(p.scaled(ImagePicture->size().expandedTo(QSize(320, 240)), Qt::KeepAspectRatio));
    MemoLog->hide();
    ImagePicture->show();
    return true;
}

void TFPrPch::HidePicture() {
    ImagePicture->clear();
    ImagePicture->hide();
    ShowLogIfMonitored();
}

void TFPrPch::SetAbortCaption(const std::string& caption) { bbtAbort->setText(Q(caption)); }

void TFPrPch::SetErrorButtonEnabled(bool enabled) { BitBtn3->setEnabled(enabled); }

void TFPrPch::ScrollToRow(int row) {
    if (row >= 1 && row - 1 < Tabl1->rowCount()) Tabl1->scrollToItem(Tabl1->item(row - 1, 0));
}

void TFPrPch::SendSetpointCommand() {
    const std::string text = SetpointCommand();
    if (text.empty()) return;
    Send = text;
    SendStationCommand();
}

void TFPrPch::SendStepCommand(const std::string& text, const std::function<void(uint8_t&)>& rewrite) {
    Send = text;
    SendStationCommand(rewrite);
}

void TFPrPch::ApplyPacing(int pacing) {
    if (pacing == 0) {
        Enable(Timer1);
        BitBtn1->setEnabled(false);
        BitBtn3->setEnabled(false);
    } else {
        Timer1.stop();
        BitBtn1->setText("OK");
        BitBtn1->setEnabled(!TimerContactorPower.isActive());
    }
    if (!IsMaster) {
        if (Timer1.isActive())
            TimerZaxvat.stop();
        else
            Enable(TimerZaxvat);
    }
}

// ---- TRunHost -----------------------------------------------------------------------------

void TFPrPch::SetStepTimer(bool on) {
    if (on)
        Enable(Timer1);
    else
        Timer1.stop();
}

void TFPrPch::SetListTimer(bool on) {
    if (on)
        Enable(TmrBeg);
    else
        TmrBeg.stop();
}

void TFPrPch::SetStatePoll(bool on) {
    if (on)
        Enable(TimerZaxvat);
    else
        TimerZaxvat.stop();
}

void TFPrPch::TimerZaxvatTimer() {
    TimerZaxvat.setInterval(2000);
    if (Timer1.isActive() || IsMaster) return;
    Send = cmd::kState;
    SendStationCommand();
}

void TFPrPch::StartAutopilot(int ms) {
    TimerClicker.setInterval(ms);
    TimerClicker.start();
}

bool TFPrPch::AutopilotSelected() const { return rbAutopilotOn->isChecked(); }

void TFPrPch::SwitchAutopilotOff() {
    rbAutopilotOff->setChecked(true);
    TimerClicker.stop();
}

void TFPrPch::StopCyclicRequest() {
    Timer4.stop();
    sbtCyclic->setToolTip(QString::fromUtf8("Циклический запрос параметров"));
}

void TFPrPch::SetStartCaption(const std::string& caption) { BitBtn1->setText(Q(caption)); }
std::string TFPrPch::StartCaption() const { return BitBtn1->text().toStdString(); }
void TFPrPch::SetStartEnabled(bool on) { BitBtn1->setEnabled(on); }
bool TFPrPch::StartEnabled() const { return BitBtn1->isEnabled(); }
void TFPrPch::SetErrorEnabled(bool on) { BitBtn3->setEnabled(on); }
void TFPrPch::SetAbortEnabled(bool on) { bbtAbort->setEnabled(on); }
void TFPrPch::SetAutomatEnabled(bool on) { sbtAutomatOff->setEnabled(on); }

void TFPrPch::SetSelectionEnabled(bool on) {
    BtOK->setEnabled(on);
    aSelectComplite->setEnabled(on);
    ListProv->setEnabled(on);
    btSelectAll->setEnabled(on);
    btDeselectAll->setEnabled(on);
}

void TFPrPch::SetCheckListEnabled(bool on) { ListProv->setEnabled(on); }

void TFPrPch::UntickCheck(int line) {
    if (QListWidgetItem* item = ListProv->item(line)) item->setCheckState(Qt::Unchecked);
}

std::vector<bool> TFPrPch::TickedChecks() const {
    std::vector<bool> ticked;
    for (int i = 0; i < ListProv->count(); ++i) ticked.push_back(ListProv->item(i)->checkState() == Qt::Checked);
    return ticked;
}

void TFPrPch::aFullChekitExecute() {
    for (int i = 0; i < ListProv->count(); ++i) ListProv->item(i)->setCheckState(Qt::Checked);
}

void TFPrPch::aMenuDeselectExecute() {
    for (int i = 0; i < ListProv->count(); ++i) ListProv->item(i)->setCheckState(Qt::Unchecked);
}

void TFPrPch::SetCurrentTest(const std::string& title) { lbCurrentTest->setText(Q(title)); }

void TFPrPch::SetStatus(const std::string& text, StatusColour colour) {
    STPan3->setText(Q(text));
    SetStatusColour(colour);
}

void TFPrPch::SetStatusColour(StatusColour colour) {
    statusColour_ = colour;
    // Light text on a dark panel: the operator reads it across the stand.
    static const char* const kColours[] = {"#40d040", "#ffe040", "#ff4040", "#d02020"};
    STPan3->setStyleSheet(QString("QLabel { background: #202020; padding: 4px; color: %1; }")
                              .arg(kColours[static_cast<int>(colour)]));
}

void TFPrPch::ShowNoAnswer() { panels_[2]->setText(QString::fromUtf8("Нет ответа")); }

void TFPrPch::ShowProgress(int maximum) {
    ProgressBar->setRange(0, maximum);
    ProgressBar->setValue(0);
    ProgressBar->show();
}

void TFPrPch::SetProgress(int value) { ProgressBar->setValue(value); }
void TFPrPch::HideProgress() { ProgressBar->hide(); }
void TFPrPch::ClearExchangeLog() { MemoLog->clear(); }

void TFPrPch::ShowExchangeLog() { SetMonitor(true); }

void TFPrPch::SetMonitor(bool on) {
    monitorOn_ = on;
    btMonitor->setText(QString::fromUtf8(on ? "Выкл.монитор" : "Монитор COM-порта"));
    if (on)
        ShowLogIfMonitored();
    else
        MemoLog->hide();
}

void TFPrPch::ShowLogIfMonitored() {
    // The picture of a step takes the log's place until the script clears it.
    if (!monitorOn_ || !ImagePicture->isHidden()) return;
    MemoLog->show();
}

void TFPrPch::NewDevice(const RunTag_T& tag) {
    passportChecked_ = false;
    versionMessage_.clear();
    coefficients_.kUin = tag.kUin;
    coefficients_.kIout = tag.kIout;
    coefficients_.kUout = tag.kUout;
    decoder_.SetCoefficients(coefficients_);
}

void TFPrPch::ShowDevice(const RunTag_T& tag) {
    edDevice->setText(Q(tag.deviceName));
    edSerial->setText(Q(tag.serialNumber));
    RefreshCoefficients();
}

void TFPrPch::RefreshCoefficients() {
    edKUin->setText(Q(FormatFixed(coefficients_.kUin, 3, 5)));
    edKIout->setText(Q(FormatFixed(coefficients_.kIout, 3, 5)));
    edKUout->setText(Q(FormatFixed(coefficients_.kUout, 3, 5)));
}

void TFPrPch::ScrollTableToTop() { Tabl1->scrollToTop(); }

void TFPrPch::SendStation(const std::string& text) {
    Send = text;
    SendStationCommand();
}

void TFPrPch::ReopenStationChannel() {
    sender_.Reader() = TReplyReader();
    if (!windows_.CustomComm1) return;
    windows_.CustomComm1->CloseChannel();
    if (windows_.CustomComm1->OpenChannel() != 0)
        LogLine("Порт " + windows_.CustomComm1->PortName() + " не открыт (" +
                windows_.CustomComm1->windowTitle().toStdString() + ")");
}

void TFPrPch::ClearStationReceive() {
    const bool done = sender_.Reader().ReplyDone();
    sender_.Reader() = TReplyReader();
    sender_.Reader().SetReplyDone(done);
    if (windows_.CustomComm1) windows_.CustomComm1->PurgeReceive();
}

std::string TFPrPch::SetpointCommand() {
    const ServiceCommand_T c = SetpointBlockCommand(
        edRotationSpeed->text().toStdString(), cbInstantTrip->currentIndex(),
        static_cast<unsigned>(std::max(0, cbConstruction->currentIndex())), edTransformerVoltage->text().toStdString(),
        static_cast<unsigned>(std::max(1, cbPacket->currentIndex() + 1)));
    if (!c.ok) {
        const TPacingHold hold(*this);
        platform::Dialogs::Current().Show(c.error, "Проверка станции", platform::DialogIcon::Warning);
        return "";
    }
    return c.text;
}

void TFPrPch::ShowProtocolViewer(const std::string& path) {
    // A fresh viewer for every run's protocol; the archive browser keeps the one made at start.
    TProt viewer(this);
    viewer.Reset();
    viewer.ProtMask = "ProtTest.txt";
    viewer.ProtDir = platform::ParentDirectory(platform::NormalizePath(path));
    viewer.ProtFile = path;
    viewer.AskFile = false;
    viewer.Temporary = true;
    viewer.ArchiveSerialSource = [this] {
        return ArchiveSerial(run_.Tag().serialNumber, StatePages->Edit3->text().toStdString());
    };
    viewer.ShowModal();
    // A saved protocol is the archive file; the run's record names it.
    if (viewer.ProtFile != path) recorder_.ArchiveSaved(viewer.ProtFile);
}

bool TFPrPch::ShowTagDialog(RunTag_T& tag) { return tagDialog_ && tagDialog_(tag); }

void TFPrPch::HoldPacing(bool hold) {
    if (hold) {
        if (holdDepth_++ > 0) return;
        held_.clear();
        for (QTimer* t : {&Timer1, &TmrBeg, &TimerZaxvat, &TimerClicker, &TimerContactorPower, &TimerContactor,
                          &TimerStatusICP, &Timer3, &Timer4})
            if (t->isActive()) {
                held_.push_back(t);
                t->stop();
            }
        return;
    }
    if (holdDepth_ == 0 || --holdDepth_ > 0) return;
    // A timer that the answer's own handling stops again right after is restarted here only
    // for that moment: no tick falls in between, as the event loop does not run.
    for (QTimer* t : held_) t->start();
    held_.clear();
}

// ---- shutdown and the window's actions ----------------------------------------------------

void TFPrPch::StartShutdown() {
    // The tag's "Выход" switches the stand off itself and ends the program: the window's
    // own sequence would switch it off twice more.
    if (platform::TerminationRequested() || ShuttingDown()) return;
    Timer1.stop();
    TimerZaxvat.stop();
    shutdownTick_ = 0;
    TimerShutdown.start();
    BitBtn1->setEnabled(false);
    bbtAbort->setEnabled(false);
    sbtAutomatOff->setEnabled(false);
    aFullChekit->setEnabled(false);
    ShowStatus("Идет подготовка к выключению стенда и программы");
}

void TFPrPch::StopContactorTimers() {
    combination_.Set(0);
    TimerContactor.stop();
    TimerContactorPower.stop();
    TimerContactor3.stop();
}

void TFPrPch::TimerShutdownTimer() {
    ++shutdownTick_;
    if (shutdownTick_ == 1) {
        automatOff_ = true;
        run_.Stop();
        Send = cmd::kPowerOff;
        SendStationCommand();
        StopContactorTimers();
        SetCombination(1, 150);
    } else if (shutdownTick_ == 2) {
        StopContactorTimers();
        SetCombination(1, 150);
    } else {
        TimerShutdown.stop();
        TimerContactor.stop();
        TimerStatusICP.stop();
        if (windows_.RS2) windows_.RS2->CloseChannel();
        if (windows_.CustomComm1) windows_.CustomComm1->CloseChannel();
        platform::RequestTermination();
    }
}

void TFPrPch::aRequestParamExecute() { SendServiceCommand({true, cmd::kConverterParams, ""}); }
void TFPrPch::aResetPupchExecute() { SendServiceCommand({true, cmd::kSoftResetToolbar, ""}); }

void TFPrPch::miPzuClick() {
    aAbortExecute();
    const ShellLinks_T::EepromSettings_T settings =
        shell_.eepromSettings ? shell_.eepromSettings() : ShellLinks_T::EepromSettings_T{};
    PzuLinks_T l;
    l.sendPacket = [this](const std::vector<uint8_t>& packet) {
        if (!windows_.CustomComm1) return;
        windows_.CustomComm1->PurgeReceive();
        windows_.CustomComm1->PurgeReceive();
        sender_.Reader().ResetAccumulation();
        windows_.CustomComm1->SendBytes(packet.data(), packet.size());
    };
    l.trafficShown = [this] { return hexTrace_; };
    l.logLine = [this](const std::string& line) { LogLine(line); };
    l.stopTestTimers = [this] {
        Timer1.stop();
        Timer3.stop();
        Timer4.stop();
    };
    l.stopCapture = [this] { TimerZaxvat.stop(); };
    l.sendStation = [this](const std::string& text) { SendStation(text); };
    l.shown = [this](bool on) { pzuShown_ = on; };
    l.recordSession = [this](EepromSessionRecord_T s) { recorder_.EepromSession(std::move(s)); };
    l.closed = [this] {
        if (pzuWindow_) pzuWindow_.release()->deleteLater();
    };
    l.password = windows_.PSW;
    auto window = std::make_unique<TFPzu>(l, this);
    window->SetPacedByAnswer(settings.pacedByAnswer);
    // Shown only when the opening succeeded; otherwise it goes at once.
    if (!window->Open(platform::ExecutableDirectory() + "\\" + settings.file, settings.sectionPresent)) return;
    pzuWindow_ = std::move(window);
    pzuWindow_->show();
}

void TFPrPch::miLogicalNumberClick() {
    // Made anew each time; it stays beside the test window without blocking it.
    logWindow_ = std::make_unique<TFLog>([this](const std::string& text) { SendStation(text); }, this);
    logWindow_->show();
}

void TFPrPch::miInternalStateClick() { StatePages->setVisible(StatePages->isHidden()); }

void TFPrPch::btMonitorClick() {
    SetMonitor(!monitorOn_);
}

void TFPrPch::btShowExchangeClick() {
    hexTrace_ = !hexTrace_;
    btShowExchange->setText(QString::fromUtf8(hexTrace_ ? "Только текст" : "Показать обмен"));
}

// ---- run progress and the run's journal ---------------------------------------------------

void TFPrPch::RunBegan() {
    journalFrom_ = journal_->NextSeq();
    runClockOn_ = false;
    runClockStart_ = {};
    TimerRunClock.stop();
    progressNumber_ = progressOf_ = 0;
    UpdateRunProgress();
}

void TFPrPch::RunClockStarted() {
    runClockStart_ = std::chrono::steady_clock::now();
    runClockOn_ = true;
    TimerRunClock.start();
    UpdateRunProgress();
}

void TFPrPch::ShowRunProgress(int number, int of) {
    progressNumber_ = number;
    progressOf_ = of;
    UpdateRunProgress();
}

void TFPrPch::TimerRunClockTimer() { UpdateRunProgress(); }

void TFPrPch::UpdateRunProgress() {
    using namespace std::chrono;
    QString text;
    if (progressOf_ > 0) text = QString::fromUtf8("Проверка %1 из %2").arg(progressNumber_).arg(progressOf_);
    if (runClockStart_ != steady_clock::time_point{}) {
        const long long s = duration_cast<seconds>((runClockOn_ ? steady_clock::now() : runClockEnd_) - runClockStart_).count();
        const QString clock = s >= 3600 ? QString::asprintf("%lld:%02lld:%02lld", s / 3600, s / 60 % 60, s % 60)
                                        : QString::asprintf("%02lld:%02lld", s / 60, s % 60);
        text += (text.isEmpty() ? QString() : QString::fromUtf8(" · ")) + clock;
    }
    lbRunProgress->setText(text);
}

void TFPrPch::RunEnded(RunOutcome outcome) {
    // The clock stops where the run ended; the line keeps what it showed.
    if (runClockOn_) runClockEnd_ = std::chrono::steady_clock::now();
    runClockOn_ = false;
    TimerRunClock.stop();
    UpdateRunProgress();
    lastRunJournal_.clear();
    if (outcome != RunOutcome::Failed && outcome != RunOutcome::Aborted && outcome != RunOutcome::Silent) return;
    if (protocol_.Path().empty()) return;
    const std::string heading = "Устройство: " + edDevice->text().toStdString() + ", зав. номер " +
                                edSerial->text().toStdString() + ". Итог: " + OutcomeText(outcome) + ".";
    const JournalSaveResult_T r = SaveRunJournal(*journal_, protocol_.Path(), journalFrom_, heading);
    if (!r.ok) {
        LogLine(r.error);
        return;
    }
    lastRunJournal_ = r.path;
    LogLine("Журнал обмена сохранён: " + r.path);
    recorder_.JournalSaved(r.path);
}
