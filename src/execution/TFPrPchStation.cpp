// The test window on its two lines: station answers, stand switching, setpoints and service
// commands.
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>

#include "execution/Globals.h"
#include "link/CommandCatalogue.h"
#include "platform/Dialogs.h"
#include "platform/Paths.h"
#include "records/TFLog.h"
#include "eeprom/TFPzu.h"
#include "execution/PassportCheck.h"
#include "execution/StatePages.h"
#include "execution/TFPrPch.h"

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

void TFPrPch::SendStationCommand(const std::function<void(uint8_t&)>& rewrite) {
    if (!script_.Loaded()) return;
    ChannelAdapter channel(windows_.CustomComm1);
    const TStationSender::Sent_T r = sender_.Send(Send, channel, rewrite);
    panels_[1]->setText(Q(r.status2));
    panels_[2]->clear();
    if (r.sent && hexTrace_) LogLine(r.logLine);
}

// ---- channel 1 ----------------------------------------------------------------------------

void TFPrPch::Read1(int) {
    if (!windows_.CustomComm1) return;
    RefreshCoefficients();
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
    if (hexTrace_) LogLine(" <-" + r.frameText);
    const std::vector<uint8_t>& frame = reader.RcdCommand().Bytes();
    if (r.code == 0x1A && pzuWindow_ && pzuWindow_->WindowActive()) {
        // While the EEPROM window exists its blocks are its own, not the state pages'.
        if (pzuWindow_->WaitingForBlock() && frame.size() >= 4 + 68) pzuWindow_->BlockAnswered(frame.data() + 4);
        reader.SetReplyDone(true);
        return;
    }
    decoder_.SetStoreEeprom(interpreter_.StoreEeprom());
    decoder_.SetBoardKind(Globals().TypeDevice == "Плата" || Globals().TypeDevice == "Вх.контр.платы");
    const TAnswerDecoder::Result_T d = decoder_.Decode(frame);
    if (d.stationRequest) IsMaster = false;
    if (d.toEepromWindow && pzuWindow_ && pzuWindow_->WindowActive()) pzuWindow_->I2CError();
    if (d.clearingDone && pzuWindow_ && pzuShown_) pzuWindow_->ClearingFinished();
    if (!d.answered) return;
    interpreter_.SetScaleFactor(decoder_.ScaleS());
    StatePages->ShowAnswer(r.code, decoder_.State(), interpreter_.BuffPar().data());
    if (r.code == 0x73) panels_[3]->setText(Q(decoder_.State().rotationStatus));
    if (r.code == 0x7A) ShowReadBack();
    // The stored bytes outlive the program: the file is replaced whole (temporary file, then
    // rename), so a crash leaves the old image or the new one, never half of it.
    if (d.pzuChanged && !pzu_.Save(platform::JoinPath(WorkDir, "data\\pzu.ini")))
        LogLine("Не удалось записать файл data\\pzu.ini");
    if (d.eepromAnswer && !passportChecked_) RunPassportCheck();
    if (!pending) {
        // An answer nobody asked for: the state poll looks again soon.
        TimerZaxvat.setInterval(50);
        if (!IsMaster) Enable(TimerZaxvat);
    } else {
        reader.SetReplyDone(true);
    }
}

void TFPrPch::RunPassportCheck() {
    passportChecked_ = true;
    const RunTag_T& tag = run_.Tag();
    const StartGlobals_T& g = Globals();
    const PassportCheck_T c = CheckPassport(decoder_.State().passport, decoder_.State().eepromVersion,
                                            tag.expectedVersions, {g.vCP, g.vKK, g.vRG, g.vIzm, g.vPzu}, !GetLN);
    GetLN = true;
    recorder_.Passport({c.logicalNumber, c.current, c.boardDate + " " + c.firmwareTime});
    interpreter_.BuffPar()[0] = c.logicalNumber;
    StatePages->ShowPassport(c);
    if (logWindow_) logWindow_->ShowReported(c.logicalNumber, c.boardDate, c.firmwareTime);
    for (const auto& [label, value] : c.protocol) {
        if (value.empty())
            protocol_.WriteLine(label);
        else
            protocol_.WriteLabelValue(label, value);
    }
    versionMessage_ = c.message;
    if (c.message.empty()) return;
    ShowStatus(c.status);
    if (c.stationFailed) {
        run_.MarkStationFailed();
        platform::Dialogs::Current().Show(c.message, "Проверка станции", platform::DialogIcon::Error);
    }
}

void TFPrPch::ShowReadBack() {
    const std::vector<uint8_t>& s = decoder_.State().setpoints;
    if (s.size() < 15) return;
    auto word = [&](size_t i) { return 256 * s[i] + s[i + 1]; };
    auto pair = [&](size_t i, char separator) {
        return QString("%1%2%3").arg(s[i], 2, 10, QChar('0')).arg(separator).arg(s[i + 1], 2, 10, QChar('0'));
    };
    lbReadBack[0]->setText(QString::number(word(0)));
    lbReadBack[1]->setText(QString::fromUtf8(s[2] == 1 ? "Вкл" : "Выкл"));
    lbReadBack[2]->setText(pair(3, ':'));
    lbReadBack[3]->setText(pair(5, '.'));
    lbReadBack[4]->setText(QString::number(word(7)));
    lbReadBack[5]->setText(QString::number(s[9]));
    lbReadBack[6]->setText(QString::number(word(10)));
    lbReadBack[7]->setText(QString::number(word(12)));
}

// ---- channel 2 and the stand --------------------------------------------------------------

void TFPrPch::SetCombination(int number, int contactorTimerMs) {
    // Switching off stops the contactor timer first, which drops the rest of its list; any
    // other caller's changes go out after those still waiting.
    combination_.Append(number);
    if (TimerContactor.isActive() && TimerContactor.interval() == contactorTimerMs) return;
    TimerContactor.setInterval(contactorTimerMs);
    TimerContactor.start();
}

void TFPrPch::StartContactorAction(int action, int intervalMs) {
    BitBtn1->setEnabled(false);
    bbtAbort->setEnabled(false);
    sbtAutomatOff->setEnabled(false);
    // An action cut short (power off, the abort) must not leave its stage to the next one.
    action_.Reset();
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
    BitBtn1->setEnabled(false);
    bbtAbort->setEnabled(false);
    sbtAutomatOff->setEnabled(false);
    aFullChekit->setEnabled(false);
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
        BitBtn1->setEnabled(true);
        bbtAbort->setEnabled(true);
        sbtAutomatOff->setEnabled(true);
        aFullChekit->setEnabled(true);
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

void TFPrPch::aAllContactorsOffExecute() {
    SwitchAutopilotOff();
    run_.Stop(RunOutcome::Aborted);
    Send = cmd::kPowerOff;
    SendStationCommand();
    StopContactorTimers();
    SetCombination(1, 150);
    automatOff_ = true;
    BitBtn1->setEnabled(true);
    sbtAutomatOff->setText(QString::fromUtf8("Включить АВТОМАТ"));
}

void TFPrPch::sbtAutomatOffClick() {
    SwitchAutopilotOff();
    if (automatOff_) {
        automatOff_ = false;
        sbtAutomatOff->setText(QString::fromUtf8("Выключить АВТОМАТ"));
    } else {
        automatOff_ = true;
        BitBtn1->setEnabled(true);
        sbtAutomatOff->setText(QString::fromUtf8("Включить АВТОМАТ"));
    }
}

// ---- setpoints and service ----------------------------------------------------------------

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

void TFPrPch::btSendAllClick() {
    run_.InitialExchange();
}

void TFPrPch::btEepromClick(int chip) {
    if (chip >= 0 && chip < 8) SendServiceCommand({true, cmd::kEepromRead40[static_cast<size_t>(chip)], ""});
}

void TFPrPch::btDacClick() { SendServiceCommand(DacCommand(edDac->text().toStdString())); }
void TFPrPch::btPwmClick() { SendServiceCommand(PwmCommand(edPwm->text().toStdString())); }

void TFPrPch::btPotentiometerClick(int channel) {
    if (channel >= 0 && channel < 5)
        SendServiceCommand(PotentiometerCommand(channel, edPotentiometer[static_cast<size_t>(channel)]->text().toStdString()));
}

void TFPrPch::btCloseKeysClick() {
    static constexpr uint8_t kFirst[] = {0x10, 0x20, 0x40, 0x80, 0x08, 0x04, 0x02};
    static constexpr uint8_t kSecond[] = {0x10, 0x02, 0x04, 0x80, 0x08, 0x40, 0x20};
    uint8_t first = 0, second = 0;
    for (size_t i = 0; i < 7; ++i) {
        if (cbKeys[i]->isChecked()) first |= kFirst[i];
        if (cbKeys[i + 7]->isChecked()) second |= kSecond[i];
    }
    SendServiceCommand({true, CloseKeysCommand(first, second), ""});
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
        if (pollBeforeReset_ && !IsMaster) Enable(TimerZaxvat);
        return;
    }
    Send = protectionReset_.front();
    protectionReset_.erase(protectionReset_.begin());
    SendStationCommand();
}

void TFPrPch::sbtCyclicClick() {
    Send = cmd::kServiceCentral;
    if (Timer4.isActive()) {
        StopCyclicRequest();
        if (!IsMaster && !Timer1.isActive()) Enable(TimerZaxvat);
    } else {
        Timer4.start();
        sbtCyclic->setToolTip(QString::fromUtf8("Остановить обмен"));
        if (!IsMaster) TimerZaxvat.stop();
    }
}
