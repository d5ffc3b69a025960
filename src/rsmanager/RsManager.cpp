#include "rsmanager/RsManager.h"

#include <cstring>

#include "rsmanager/Diagnostics.h"

void TLinkState::Fail(const std::string& error, platform::WindowPoster* window, int message) {
    {
        std::lock_guard lock(mutex_);
        if (failed_) return;
        failed_ = true;
        error_ = error;
    }
    if (window) window->post(message);
}

void TLinkState::Reset() {
    std::lock_guard lock(mutex_);
    failed_ = false;
    error_.clear();
}

bool TLinkState::Failed() const {
    std::lock_guard lock(mutex_);
    return failed_;
}

std::string TLinkState::Error() const {
    std::lock_guard lock(mutex_);
    return error_;
}

TRsManager::TRsManager(TQueueMessages* sendQueue, TQueueMessages* receiveQueue,
                       int32_t receivedMessage, int32_t sentMessage)
    : sendQueue_(sendQueue),
      receiveQueue_(receiveQueue),
      receivedMessage_(receivedMessage),
      sentMessage_(sentMessage) {}

TRsManager::~TRsManager() { Close(); }

int TRsManager::Open() {
    if (IsOpen()) return -1;
    if (sendQueue_) sendQueue_->Clear();
    link_.Reset();

    const platform::SerialSettings serial{settings_.dcb.BaudRate, settings_.dcb.ByteSize,
                                          settings_.dcb.Parity, settings_.dcb.StopBits};
    if (!port_.Open(settings_.port)) return -1;
    if (!port_.Configure(serial)) {
        port_.Close();
        return -1;
    }
    port_.ClearErrors();

    ThreadParam_T common;
    common.port = &port_;
    common.receivedMessage = receivedMessage_;
    common.sentMessage = sentMessage_;
    common.linkLostMessage = linkLostMessage_;
    common.window = window_;
    common.link = &link_;
    common.journal = journal_;
    common.channel = journalChannel_;

    ThreadParam_T send = common;
    send.queue = sendQueue_;
    send.period = settings_.senderPeriodMs;
    send.wait = 50;
    send.protocol = settings_.sendProtocol;
    send.runFlag = &senderRun_;

    ThreadParam_T receive = common;
    receive.queue = receiveQueue_;
    receive.wait = settings_.receiveWaitMs;
    receive.protocol = settings_.receiveProtocol;
    receive.runFlag = &receiverRun_;

    // Each thread gets its own copy of its block, so later Set...() calls cannot reach it.
    senderRun_.Set(true);
    receiverRun_.Set(true);
    try {
        sender_ = std::thread(ThreadSender, send);
        receiver_ = std::thread(ThreadRsReciver, receive);
    } catch (const std::system_error&) {
        Close();
        return -1;
    }
    return 0;
}

int TRsManager::Close() {
    // Both threads sleep on their run flag or in a wait the port's wake-up ends, so they leave
    // at once; nothing is ever ended by force.
    senderRun_.Set(false);
    receiverRun_.Set(false);
    port_.Wake();
    if (sender_.joinable()) sender_.join();
    if (receiver_.joinable()) receiver_.join();
    port_.Close();
    return 0;
}

void TRsManager::PurgeReceive() { port_.Purge(true, false); }

namespace {

bool Running(TMutexVar<bool>& flag, bool& last) {
    // A lock that could not be taken keeps the last known value.
    flag.Get(last);
    return last;
}

int32_t AtLeastOneMs(int32_t ms) { return ms > 0 ? ms : 1; }

// Pause after a failed wait or read before the next try: one receive wait, but never so short
// that a misconfigured wait of 0 turns the back-off into a spin.
std::chrono::milliseconds BackOff(int32_t receiveWaitMs) {
    return std::chrono::milliseconds(receiveWaitMs > 50 ? receiveWaitMs : 50);
}

}  // namespace

void ThreadRsReciver(ThreadParam_T param) {
    TPackageJoin framer(param.protocol);
    if (param.journal) framer.Framer().SetKeepRejected(true);
    param.port->ClearErrors();
    param.port->Purge(false, true);
    bool run = true;
    while (Running(*param.runFlag, run)) {
        // Reads never block here, so the wait for input needs no limit: Close() wakes it.
        switch (param.port->WaitForInput(-1)) {
            case platform::SerialPort::Wait::Input: RsFunc::ReadData(param, framer); break;
            case platform::SerialPort::Wait::Timeout:
            case platform::SerialPort::Wait::Woken: break;
            case platform::SerialPort::Wait::Hangup:
                RsDiagnostic(rsdiag::kReadFailed);
                param.link->Fail("Устройство " + param.port->Path() + " не отвечает (обрыв связи)",
                                 param.window, param.linkLostMessage);
                // A vanished device reports itself at once on every wait: try again only after
                // one receive wait, or as soon as the manager closes.
                param.runFlag->SleepWhile(true, BackOff(param.wait));
                break;
            case platform::SerialPort::Wait::Error:
                RsDiagnostic(std::string("ThreadRsReciver") + rsdiag::kNoRxChar);
                param.runFlag->SleepWhile(true, BackOff(param.wait));
                break;
        }
    }
}

void RsFunc::ReadData(const ThreadParam_T& param, TPackageJoin& framer) {
    if (!param.port->IsOpen()) {
        RsDiagnostic(rsdiag::kInvalidHandle);
        return;
    }
    uint8_t buffer[1200];
    const long n = param.port->Read(buffer, sizeof buffer);
    if (n > 0) {
        MakeRecivingData(buffer, static_cast<size_t>(n), param, framer);
        return;
    }
    // Nothing there after all (a purge raced the wake-up, a read ended by a line error): the
    // line is alive, and reporting it would latch a loss that hides a later real one.
    if (n == 0) return;
    param.port->ClearErrors();
    RsDiagnostic(rsdiag::kReadFailed);
    param.link->Fail("Ошибка чтения из порта " + param.port->Path() + ": " +
                         platform::SerialPort::ErrorText(param.port->LastReadError()),
                     param.window, param.linkLostMessage);
    param.runFlag->SleepWhile(true, BackOff(param.wait));
}

void RsFunc::MakeRecivingData(const uint8_t* bytes, size_t count, const ThreadParam_T& param,
                              TPackageJoin& framer) {
    if (count == 0) return;
    // Every frame of the block is taken, in order; a partial frame behind the last one stays in
    // the framer for the next read.
    framer.AddDataAll(bytes, count);
    while (framer.Count() > 0) {
        Message_T m = framer.PopMessage();
        // The frame's time is taken as it is cut out; its entry is made once the window has
        // been told, so the journal costs the receive path nothing it waits for.
        const TTrafficJournal::Stamp_T at = param.journal ? TTrafficJournal::Now() : TTrafficJournal::Stamp_T{};
        if (m.status == msgOk) {
            if (param.queue) param.queue->Push(m.data);
            if (param.window) param.window->post(param.receivedMessage);
        }
        if (param.journal)
            param.journal->AddAt(param.channel, JournalDir::In, m.data.data(), m.data.size(), m.status == msgOk,
                                 at.wallMs, at.monoUs);
    }
}

void ThreadSender(ThreadParam_T param) {
    param.port->ClearErrors();
    param.port->Purge(false, true);
    const auto period = std::chrono::milliseconds(AtLeastOneMs(param.period));
    bool run = true;
    while (Running(*param.runFlag, run)) {
        if (!param.runFlag->SleepWhile(true, period)) break;
        SendData(param);
    }
}

bool SendData(const ThreadParam_T& param) {
    if (!param.queue || param.queue->Count() <= 0) return false;
    const std::vector<uint8_t> buffer = param.queue->Pop();
    if (buffer.empty()) return true;
    const long written = param.port->Write(buffer.data(), buffer.size(), param.wait);
    if (param.journal)
        param.journal->Add(param.channel, JournalDir::Out, buffer.data(), buffer.size(),
                           written == static_cast<long>(buffer.size()));
    if (written == static_cast<long>(buffer.size())) {
        if (param.window) param.window->post(param.sentMessage);
    } else if (written < 0) {
        // What cannot be written is dropped; the owner learns that the line failed.
        param.port->ClearErrors();
        RsDiagnostic(std::string(rsdiag::kWriteFailed) + "Error: " +
                     std::to_string(param.port->LastWriteError()));
        param.link->Fail("Ошибка записи в порт " + param.port->Path() + ": " +
                             platform::SerialPort::ErrorText(param.port->LastWriteError()),
                         param.window, param.linkLostMessage);
    } else {
        RsDiagnostic(rsdiag::kWriteTimeout);
    }
    return true;
}
