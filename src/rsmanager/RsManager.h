#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "platform/SerialPort.h"
#include "platform/WindowPoster.h"
#include "rsmanager/MutexVar.h"
#include "rsmanager/PackageJoin.h"
#include "rsmanager/QueueMessages.h"
#include "rsmanager/RsSettings.h"
#include "rsmanager/TrafficJournal.h"

// What the manager's threads share with it about the state of the line: a failure (the device
// went away, a write failed) is recorded once and announced to the window.
class TLinkState {
public:
    // Records the first failure since the last Reset and posts `message` for it.
    void Fail(const std::string& error, platform::WindowPoster* window, int message);
    void Reset();
    bool Failed() const;
    std::string Error() const;

private:
    mutable std::mutex mutex_;
    bool failed_ = false;
    std::string error_;
};

// One thread's view of the manager, copied when the thread starts.
struct ThreadParam_T {
    TQueueMessages* queue = nullptr;
    platform::SerialPort* port = nullptr;
    int32_t period = 10;  // ms, sender: pause before each look at the send queue
    int32_t wait = 50;    // ms, sender: write wait; receiver: receive wait
    int32_t receivedMessage = 1024;
    int32_t sentMessage = 1025;
    int32_t linkLostMessage = 1026;
    std::string protocol = "HOLE";
    platform::WindowPoster* window = nullptr;
    TMutexVar<bool>* runFlag = nullptr;
    TLinkState* link = nullptr;
    TTrafficJournal* journal = nullptr;  // none: nothing is journalled
    uint8_t channel = 0;                 // the channel's number in the journal
};

// Moves whole messages between a serial port and the window that owns it: a sender thread
// writes the send queue's messages one per period, a receiver thread cuts what arrives into
// frames and queues each complete, valid one. Both announce their work to the window.
// All operations are for the owner's thread.
class TRsManager {
public:
    TRsManager(TQueueMessages* sendQueue, TQueueMessages* receiveQueue, int32_t receivedMessage,
               int32_t sentMessage);
    ~TRsManager();
    TRsManager(const TRsManager&) = delete;
    TRsManager& operator=(const TRsManager&) = delete;

    void SetWindow(platform::WindowPoster* window) { window_ = window; }
    void SetPort(const std::string& name) { settings_.port = name; }
    void SetProtocol(const std::string& name) {
        settings_.sendProtocol = name;
        settings_.receiveProtocol = name;
    }
    void SetSenderPeriod(int32_t ms) { settings_.senderPeriodMs = ms; }
    void SetReceiveWait(int32_t ms) { settings_.receiveWaitMs = ms; }
    // Stores the file's settings; an open port keeps its own until the next Open().
    void LoadConfig(const std::string& path) { settings_.LoadConfig(path); }
    // Message posted once when the line fails while open (default 1026).
    void SetLinkLostMessage(int32_t message) { linkLostMessage_ = message; }
    // Every frame written and cut from the input goes to the journal under this channel
    // number, from the next Open() on; nullptr stops it.
    void SetJournal(TTrafficJournal* journal, uint8_t channel) {
        journal_ = journal;
        journalChannel_ = channel;
    }

    // 0 when the port is open and both threads run, -1 otherwise (the manager stays closed).
    int Open();
    // Stops both threads and closes the port; returns once neither thread touches the port.
    int Close();
    void PurgeReceive();
    // The threads never wait suspended here; kept for the callers that resume them.
    void ResumeSender() {}
    bool IsOpen() const { return port_.IsOpen(); }

    bool LinkFailed() const { return link_.Failed(); }
    std::string LinkError() const { return link_.Error(); }
    const TRsSettings& Settings() const { return settings_; }
    const platform::SerialPort& Port() const { return port_; }

private:
    TQueueMessages* sendQueue_;
    TQueueMessages* receiveQueue_;
    int32_t receivedMessage_;
    int32_t sentMessage_;
    int32_t linkLostMessage_ = 1026;
    platform::WindowPoster* window_ = nullptr;
    TTrafficJournal* journal_ = nullptr;
    uint8_t journalChannel_ = 0;
    TRsSettings settings_;
    platform::SerialPort port_;
    TMutexVar<bool> receiverRun_{false};
    TMutexVar<bool> senderRun_{false};
    TLinkState link_;
    std::thread receiver_;
    std::thread sender_;
};

void ThreadRsReciver(ThreadParam_T param);
void ThreadSender(ThreadParam_T param);
// Writes at most one queued message; true when one was taken from the queue.
bool SendData(const ThreadParam_T& param);

namespace RsFunc {
// One read of at most 1200 bytes, handed to MakeRecivingData.
void ReadData(const ThreadParam_T& param, TPackageJoin& framer);
// Hands the bytes to the framer and queues every complete, valid message with a notification.
void MakeRecivingData(const uint8_t* bytes, size_t count, const ThreadParam_T& param,
                      TPackageJoin& framer);
}  // namespace RsFunc
