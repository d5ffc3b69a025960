#pragma once

#include <QWidget>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/WindowPoster.h"
#include "rsmanager/QueueMessages.h"
#include "rsmanager/RsManager.h"
#include "rsmanager/TrafficJournal.h"

class QCheckBox;
class QPlainTextEdit;
class QPushButton;

// What a channel window calls on its owner (the test window) when the manager reports.
class TChannelClient {
public:
    virtual ~TChannelClient() = default;
    virtual void Read1(int) {}      // channel 1: a station message arrived
    virtual void RS2RxChar() {}     // channel 2: a module reply arrived
    virtual void ChannelLinkLost(int /*channel*/, const std::string& /*error*/) {}
};

// The first top-level window with this caption, or nullptr.
QWidget* FindWindowByCaption(const QString& caption);

// Turns the manager's notifications into events of the window's own thread: message m is
// posted as an event of type m (1024 = QEvent::User + 24).
class QtWindowPoster final : public platform::WindowPoster {
public:
    explicit QtWindowPoster(QObject* target = nullptr) : target_(target) {}
    void SetTarget(QObject* target) { target_ = target; }
    void post(int message) override;

private:
    QObject* target_;
};

// Asks for a file name and saves the whole journal there, as CSV when the name ends in .csv,
// as text otherwise, with a progress box while it takes long. Tells the operator how it went.
void SaveJournalAsked(QWidget* parent, const TTrafficJournal& journal);

// A serial channel as a small window: it owns the manager and its two queues, logs the raw
// traffic while it is visible and hands received messages to its client.
class TChannelWindow : public QWidget {
    Q_OBJECT
public:
    static constexpr int kReceivedMessage = 1024;
    static constexpr int kSentMessage = 1025;
    static constexpr int kLinkLostMessage = 1026;
    static constexpr int kMaxBlock = 99;

    ~TChannelWindow() override;

    void SetClient(TChannelClient* client) { client_ = client; }
    void SetConfigFile(const std::string& path);
    void Rebuild();
    // 0 when the port opened, -1 otherwise. A configuration file that cannot be read raises
    // TErrRsManager to the caller (after the port was opened).
    int OpenChannel();
    void CloseChannel();
    void PurgeReceive();
    void SendBytes(const uint8_t* bytes, size_t count);
    // One received message into the caller's buffer of at least 99 bytes; its length, or 0.
    int ReceiveBlock(uint8_t* buffer, int32_t& status);
    void LogLine(const QString& text);
    // The journal the channel's frames go to, from the next OpenChannel(); shared with the
    // window that reads it, so it outlives whichever goes first.
    void SetJournal(std::shared_ptr<TTrafficJournal> journal);
    const std::shared_ptr<TTrafficJournal>& Journal() const { return journal_; }
    // "Время": each memo line begins with the time it was logged.
    void SetShowTimes(bool on);
    bool ShowTimes() const;

    const std::string& PortName() const { return portName_; }
    void SetPortName(const std::string& name) { portName_ = name; }
    int32_t RtsFlag() const { return rtsFlag_; }
    void SetRtsFlag(int32_t flag) { rtsFlag_ = flag; }
    const std::string& ConfigFile() const { return configPath_; }

    TRsManager* Manager() { return manager_.get(); }
    TQueueMessages* ReceiveQueue() { return receiveQueue_.get(); }
    TQueueMessages* SendQueue() { return sendQueue_.get(); }
    QPlainTextEdit* Memo() { return memoRs_; }
    QCheckBox* TimesBox() { return cbTimes_; }
    QPushButton* SaveJournalButton() { return btSaveJournal_; }

protected:
    TChannelWindow(int channel, const QString& caption, QSize size, std::string protocol,
                   int32_t senderPeriod, const QString& copyButtonName, QWidget* parent);
    bool event(QEvent* e) override;

    QPlainTextEdit* memoRs_;
    QPushButton* btClear_;
    QPushButton* btCopy_;
    QCheckBox* cbTimes_;
    QPushButton* btSaveJournal_;

private:
    void DestroyManager();

    const int channel_;
    const std::string protocol_;
    const int32_t senderPeriod_;
    TChannelClient* client_ = nullptr;
    QtWindowPoster poster_;
    std::shared_ptr<TTrafficJournal> journal_;  // before the manager: its threads write to it
    std::unique_ptr<TQueueMessages> receiveQueue_;
    std::unique_ptr<TQueueMessages> sendQueue_;
    std::unique_ptr<TRsManager> manager_;
    std::string configPath_;
    std::string portName_;
    int32_t rtsFlag_ = 0;
};

// Channel 1: the station ("VOLTAR", 50 ms).
class TCustomComm1 final : public TChannelWindow {
    Q_OBJECT
public:
    explicit TCustomComm1(QWidget* parent = nullptr);
};

// Channel 2: the stand's I/O modules ("ICP", 30 ms).
class TRS2 final : public TChannelWindow {
    Q_OBJECT
public:
    explicit TRS2(QWidget* parent = nullptr);
};
