#include "link/Rs.h"

#include <errno.h>

#include "link/MkcTimer.h"

using platform::CommEscape;

TRS::TRS(std::unique_ptr<platform::CommLine> line) : line_(std::move(line)) {
    ApplyBaudTimeouts();
}

TRS::~TRS() {
    try {
        Close();
    } catch (...) {
    }
}

void TRS::ApplyBaudTimeouts() {
    // No division by a zero speed: such a port cannot be opened anyway.
    charTime_ = baudRate_ == 0 ? 0 : static_cast<long>(10000000 / baudRate_);
    timeouts_.writeMultiplier = static_cast<uint32_t>(charTime_ / 1000);
    timeouts_.writeConstant = static_cast<uint32_t>(charTime_ / 2000);
    holdTime_ = (rtsMainTimeout_ != 0 ? rtsMainTimeout_ : charTime_) + rtsConstTimeout_;
}

void TRS::SetBaudRate(uint32_t v) {
    {
        std::lock_guard<std::mutex> g(stateMutex_);
        baudRate_ = v;
    }
    ApplyBaudTimeouts();
    if (!Enabled()) return;
    line_->SetTimeouts(timeouts_);
    UpdateDCB();
    ApplyDirection();  // the driver's hold time follows the speed
}

void TRS::SetRTSMainTimeout(long us) {
    rtsMainTimeout_ = us;
    ApplyBaudTimeouts();
    ApplyDirection();
}

void TRS::SetRTSConstTimeout(long us) {
    rtsConstTimeout_ = us;
    ApplyBaudTimeouts();
    ApplyDirection();
}

void TRS::SetRTSSEND(TSend v) {
    rtsSend_ = v;
    ApplyDirection();
}

void TRS::SetIs485(bool v) {
    is485_ = v;
    ApplyDirection();
}

void TRS::SetMonitorEvents(TCommEvents v) {
    monitorEvents_ = v;
    if (thread_) {
        line_->SetEventMask(GetEventsTx());
        line_->WakeEvents();
    }
}

// Settings of the control block: stored under the state lock, written to an open port.
#define TRS_STATE_SETTER(Name, member, type)              \
    void TRS::Set##Name(type v) {                         \
        {                                                 \
            std::lock_guard<std::mutex> g(stateMutex_);   \
            member = v;                                   \
        }                                                 \
        UpdateIfOpen();                                   \
    }
TRS_STATE_SETTER(Parity, parity_, parities)
TRS_STATE_SETTER(Stopbits, stopbits_, stopbits)
TRS_STATE_SETTER(Databits, databits_, uint8_t)
TRS_STATE_SETTER(ReadBufSize, readBufSize_, uint32_t)
TRS_STATE_SETTER(WriteBufSize, writeBufSize_, uint32_t)
TRS_STATE_SETTER(XOnChar, xonChar_, uint8_t)
TRS_STATE_SETTER(XOffChar, xoffChar_, uint8_t)
TRS_STATE_SETTER(ErrorChar, errorChar_, uint8_t)
TRS_STATE_SETTER(EofChar, eofChar_, uint8_t)
TRS_STATE_SETTER(EvtChar, evtChar_, uint8_t)
TRS_STATE_SETTER(FlowControl, flowControl_, TFlowControl)
TRS_STATE_SETTER(Options, options_, TRsOptions)
#undef TRS_STATE_SETTER

void TRS::UpdateIfOpen() {
    if (Enabled()) UpdateDCB();
}

bool TRS::Enabled() const { return line_->IsOpen(); }

void TRS::SetEnabled(bool on) {
    if (on)
        Open();
    else
        Close();
}

void TRS::Raise(const std::string& text) const { throw ERsError(text, line_->LastError()); }

void TRS::Open() {
    Close();
    std::lock_guard<std::recursive_mutex> g(lock_);
    switch (line_->Open(deviceName_)) {
        case platform::CommLine::OpenResult::Opened: break;
        case platform::CommLine::OpenResult::Failed: {
            const int code = line_->LastError();
            throw ERsError("Ошибка открытия устройства " + std::to_string(code), code);
        }
        case platform::CommLine::OpenResult::NotCharacterDevice:
            throw ERsError("Неверный тип потока, закрытие потока", line_->LastError());
    }
    // A port that fails half-way is not left open behind the exception.
    try {
        timeouts_.readInterval = 0xFFFFFFFFu;  // reads return at once with what is there
        timeouts_.readMultiplier = 0;
        timeouts_.readConstant = 0;
        line_->SetTimeouts(timeouts_);
        if (isNet_) {
            std::lock_guard<std::mutex> s(stateMutex_);
            parity_ = paSpace;
        }
        UpdateDCB();
        SetDTRState(false);
        txPass_ = true;
        ApplyDirection();
        thread_ = std::make_unique<TCommThread485>(
            *line_, GetEventsTx(), dispatcher_, [this](uint32_t ev) { HandleGuarded(ev); });
        line_->SetQueueSizes(readBufSize_, writeBufSize_);
        LineOnReseive();
    } catch (...) {
        thread_.reset();
        line_->Close();
        driverTurnsLine_ = false;
        throw;
    }
}

void TRS::Close() {
    if (thread_) {
        if (thread_->IsCurrent())
            throw ERsError("Порт нельзя закрыть из обработчика его событий без диспетчера", 0);
        thread_->Stop();
        thread_.reset();
    }
    std::lock_guard<std::recursive_mutex> g(lock_);
    if (!line_->IsOpen()) return;
    if (driverTurnsLine_) line_->SetRs485(platform::Rs485Control{});
    driverTurnsLine_ = false;
    line_->Close();
}

platform::CommState TRS::BuildState(bool rtsControlEnable) const {
    platform::CommState s;
    s.line.baudRate = baudRate_;
    s.line.byteSize = databits_;
    s.line.parity = static_cast<uint8_t>(parity_);
    s.line.stopBits = static_cast<uint8_t>(stopbits_);
    s.xonChar = xonChar_;
    s.xoffChar = xoffChar_;
    s.errorChar = errorChar_;
    s.eofChar = eofChar_;
    s.evtChar = evtChar_;
    s.xonLimit = 1024;
    s.xoffLimit = 1024;
    s.parityCheck = options_[roParityCheck];
    s.dsrSensitivity = options_[roDsrSensitivity];
    s.txContinueOnXoff = options_[roTxContinueOnXoff];
    s.errorCharReplace = options_[roErrorChar];
    s.nullDiscard = options_[roNullDiscard];
    s.rtsControlEnable = rtsControlEnable;
    // Handshaking as the stored choice names it; the default is none, as a two-wire line has.
    switch (flowControl_) {
        case fcCTS: s.flow = platform::CommState::Flow::RtsCts; break;
        case fcDTR: s.flow = platform::CommState::Flow::DtrDsr; break;
        case fcSoftware: s.flow = platform::CommState::Flow::XonXoff; break;
        default: s.flow = platform::CommState::Flow::None; break;
    }
    return s;
}

void TRS::UpdateDCB() {
    if (!Enabled()) return;
    std::lock_guard<std::mutex> g(stateMutex_);
    line_->SetQueueSizes(readBufSize_, writeBufSize_);
    if (!line_->SetState(BuildState(true))) Raise("Ошибка изменения свойств устройства");
}

void TRS::WriteState(bool rtsControlEnable) {
    std::lock_guard<std::mutex> g(stateMutex_);
    if (!line_->SetState(BuildState(rtsControlEnable)))
        Raise("Ошибка изменения свойств устройства");
}

void TRS::SetParityState(parities p) {
    {
        std::lock_guard<std::mutex> g(stateMutex_);
        parity_ = p;
    }
    UpdateDCB();
}

void TRS::DTROnADR() { SetParityState(paMark); }
void TRS::DTROnInf() { SetParityState(paSpace); }

void TRS::ApplyDirection() {
    if (!Enabled()) return;
    if (is485_) {
        platform::Rs485Control c;
        c.enable = true;
        c.rtsHighOnSend = rtsSend_ == crHigh;
        c.delayAfterSendMs = static_cast<uint32_t>((holdTime_ + 999) / 1000);
        driverTurnsLine_ = line_->SetRs485(c);
    } else if (driverTurnsLine_) {
        line_->SetRs485(platform::Rs485Control{});
        driverTurnsLine_ = false;
    }
    if (thread_) {
        line_->SetEventMask(GetEventsTx());
        line_->WakeEvents();
    }
}

uint32_t TRS::GetEvents() const { return static_cast<uint32_t>(monitorEvents_.to_ulong()); }

uint32_t TRS::GetEventsTx() const {
    return driverTurnsLine_ ? GetEvents() : GetEvents() | platform::kEvTxEmpty;
}

long TRS::Write(const void* buffer, long count) {
    std::lock_guard<std::recursive_mutex> g(lock_);
    if (!Enabled()) throw ERsError("Ошибка записи", EBADF);
    if (count <= 0 || buffer == nullptr) return 0;
    const auto* p = static_cast<const uint8_t*>(buffer);
    long written = 0;
    if (isNet_) {
        // The previous frame's tail must be gone before the parity turns to mark.
        line_->Flush();
        // The address byte's own transmit-empty must not end the frame, unless it is the frame.
        if (count > 1) txPass_ = false;
        DTROnADR();
        LineOnSend();
        WriteState(false);
        if (!line_->TransmitImmediate(p[0])) Raise("Ошибка записи");
        line_->Flush();
        TMkcTimer::BusyWait(charTime_);
        DTROnInf();
        written = 1;
    }
    const long rest = count - written;
    if (rest > 0) {
        LineOnSend();
        const bool waitForIt = static_cast<int64_t>(rest) * charTime_ > 1000;
        const long n = line_->Write(p + written, static_cast<size_t>(rest), writeTimeout_);
        if (n < 0) Raise("Ошибка записи");
        if (waitForIt && n < rest) return -1;
        written += n;
    }
    return written;
}

long TRS::Read(void* buffer, long count) {
    std::lock_guard<std::recursive_mutex> g(lock_);
    if (!Enabled()) throw ERsError("Ошибка чтения", EBADF);
    if (count <= 0 || buffer == nullptr) return 0;
    const long n =
        line_->Read(static_cast<uint8_t*>(buffer), static_cast<size_t>(count), readTimeout_);
    if (n < 0) Raise("Ошибка чтения");
    return n == 0 ? -1 : n;
}

long TRS::InQueCount() { return Enabled() ? line_->InQueue() : -1; }
long TRS::OutQueCount() { return Enabled() ? line_->OutQueue() : -1; }
void TRS::PurgeIn() {
    if (Enabled()) line_->Purge(true, false);
}
void TRS::PurgeOut() {
    if (Enabled()) line_->Purge(false, true);
}
uint32_t TRS::GetRsErr() { return Enabled() ? line_->TakeErrors() : 0; }

void TRS::LineOnSend() { RTS(rtsSend_ == crHigh); }
void TRS::LineOnReseive() { RTS(rtsSend_ != crHigh); }

void TRS::RTS(bool on) {
    if (driverTurnsLine_) return;  // the port's driver holds RTS itself
    SetRTSState(on);
}

void TRS::SetDTRState(bool on) { EscapeComm(on ? CommEscape::SetDtr : CommEscape::ClrDtr); }
void TRS::SetRTSState(bool on) { EscapeComm(on ? CommEscape::SetRts : CommEscape::ClrRts); }

void TRS::EscapeComm(CommEscape function) {
    if (!line_->Escape(function)) Raise("EscapeCommFunction failure");
}

std::string TRS::EventError() const {
    std::lock_guard<std::mutex> g(eventErrorMutex_);
    return eventError_;
}

void TRS::HandleGuarded(uint32_t events) {
    // Nothing thrown here may reach the event thread or the owner's loop.
    try {
        HandleEvents(events);
    } catch (const std::exception& e) {
        std::lock_guard<std::mutex> g(eventErrorMutex_);
        eventError_ = e.what();
    }
}

void TRS::HandleEvents(uint32_t ev) {
    using namespace platform;
    const uint32_t errors = GetRsErr();
    if ((ev & kEvBreak) && OnBreak) OnBreak(this);
    if ((ev & kEvCts) && OnCts) OnCts(this);
    if ((ev & kEvDsr) && OnDsr) OnDsr(this);
    if ((ev & kEvErr) && OnError) OnError(this, errors);
    if ((ev & kEvRing) && OnRing) OnRing(this);
    if ((ev & kEvRlsd) && OnRlsd) OnRlsd(this);
    if ((ev & kEvRxChar) && OnRxChar) {
        const long waiting = InQueCount();
        if (waiting > 0) OnRxChar(this, waiting);
    }
    if ((ev & kEvRxFlag) && OnRxFlag) OnRxFlag(this);
    if (ev & kEvTxEmpty) {
        if (OnTxEmpty && monitorEvents_[evTxEmpty]) {
            OnTxEmpty(this);
        } else if (txPass_) {
            if (!Enabled()) return;
            if (!driverTurnsLine_) TMkcTimer::BusyWait(holdTime_);
            WriteState(true);
            LineOnReseive();
        } else {
            txPass_ = true;
        }
    }
}
