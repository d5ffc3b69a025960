#include "link/ChannelWindow.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QDateTime>
#include <QCoreApplication>
#include <QEvent>
#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QTextDocumentFragment>
#include <QVBoxLayout>

#include "link/JournalText.h"
#include "link/StationCodec.h"
#include "platform/Dialogs.h"

QWidget* FindWindowByCaption(const QString& caption) {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->windowTitle() == caption) return w;
    return nullptr;
}

void SaveJournalAsked(QWidget* parent, const TTrafficJournal& journal) {
    platform::FileDialogRequest request;
    request.caption = "Сохранить журнал обмена";
    request.filter = "Текст (*.txt);;CSV (*.csv);;Все файлы (*)";
    request.fileName = "journal.txt";
    const std::string path = platform::Dialogs::Current().SaveFileName(request);
    if (path.empty()) return;
    // A full ring takes a few seconds to write out: the box shows how far it is and lets the
    // operator give up, and the window's events go on meanwhile.
    QProgressDialog box(QString::fromUtf8("Сохранение журнала обмена..."), QString::fromUtf8("Отмена"), 0, 1000,
                        parent);
    box.setWindowModality(Qt::WindowModal);
    box.setMinimumDuration(500);
    const JournalSaveResult_T r =
        SaveJournal(journal, path, JournalFormatOf(path), 0, ~0ull, 0, [&](uint64_t done, uint64_t total) {
            box.setValue(total ? static_cast<int>(done * 1000 / total) : 1000);
            QCoreApplication::processEvents();
            return !box.wasCanceled();
        });
    box.reset();
    if (r.ok)
        platform::Dialogs::Current().Show("Журнал сохранён: " + r.path + "\nКадров: " + std::to_string(r.frames),
                                          "Журнал обмена", platform::DialogIcon::Information);
    else
        platform::Dialogs::Current().Show(r.error, "Журнал обмена", platform::DialogIcon::Warning);
}

void QtWindowPoster::post(int message) {
    if (target_) QCoreApplication::postEvent(target_, new QEvent(static_cast<QEvent::Type>(message)));
}

TChannelWindow::TChannelWindow(int channel, const QString& caption, QSize size,
                               std::string protocol, int32_t senderPeriod,
                               const QString& copyButtonName, QWidget* parent)
    : QWidget(parent, Qt::Window),
      channel_(channel),
      protocol_(std::move(protocol)),
      senderPeriod_(senderPeriod) {
    setWindowTitle(caption);
    resize(size);
    memoRs_ = new QPlainTextEdit(this);
    memoRs_->setObjectName("memoRs");
    memoRs_->setReadOnly(true);
    memoRs_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    btClear_ = new QPushButton("btClear", this);
    btClear_->setObjectName("btClear");
    btCopy_ = new QPushButton(copyButtonName, this);
    btCopy_->setObjectName(copyButtonName);
    cbTimes_ = new QCheckBox(QString::fromUtf8("Время"), this);
    cbTimes_->setObjectName("cbTimes");
    btSaveJournal_ = new QPushButton(QString::fromUtf8("Сохранить журнал..."), this);
    btSaveJournal_->setObjectName("btSaveJournal");
    btSaveJournal_->setEnabled(false);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(btClear_);
    buttons->addWidget(btCopy_);
    buttons->addStretch();
    buttons->addWidget(cbTimes_);
    buttons->addWidget(btSaveJournal_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(memoRs_);
    layout->addLayout(buttons);
    connect(btClear_, &QPushButton::clicked, memoRs_, &QPlainTextEdit::clear);
    connect(btCopy_, &QPushButton::clicked, this, [this] {
        // selectedText() separates lines with U+2029, which other programs do not take for a
        // line break; the selection as plain text has real ones.
        QApplication::clipboard()->setText(memoRs_->textCursor().selection().toPlainText());
    });
    connect(btSaveJournal_, &QPushButton::clicked, this, [this] {
        if (journal_) SaveJournalAsked(this, *journal_);
    });
}

TChannelWindow::~TChannelWindow() { DestroyManager(); }

void TChannelWindow::SetJournal(std::shared_ptr<TTrafficJournal> journal) {
    journal_ = std::move(journal);
    btSaveJournal_->setEnabled(journal_ != nullptr);
    if (manager_) manager_->SetJournal(journal_.get(), static_cast<uint8_t>(channel_));
}

void TChannelWindow::SetShowTimes(bool on) { cbTimes_->setChecked(on); }

bool TChannelWindow::ShowTimes() const { return cbTimes_->isChecked(); }

void TChannelWindow::DestroyManager() {
    // The manager's threads use both queues until they end: the manager goes first.
    manager_.reset();
    receiveQueue_.reset();
    sendQueue_.reset();
}

void TChannelWindow::SetConfigFile(const std::string& path) {
    configPath_ = path;
    Rebuild();
}

void TChannelWindow::Rebuild() {
    rtsFlag_ = 0;
    DestroyManager();
    receiveQueue_ = std::make_unique<TQueueMessages>();
    sendQueue_ = std::make_unique<TQueueMessages>();
    manager_ = std::make_unique<TRsManager>(sendQueue_.get(), receiveQueue_.get(),
                                            kReceivedMessage, kSentMessage);
    manager_->SetLinkLostMessage(kLinkLostMessage);
    QWidget* self = FindWindowByCaption(windowTitle());
    poster_.SetTarget(self ? static_cast<QObject*>(self) : this);
    manager_->SetWindow(&poster_);
    manager_->SetJournal(journal_.get(), static_cast<uint8_t>(channel_));
    manager_->SetPort(portName_);
    manager_->SetProtocol(protocol_);
    manager_->SetSenderPeriod(senderPeriod_);
}

int TChannelWindow::OpenChannel() {
    if (!manager_) return -1;
    manager_->SetPort(portName_);
    int r = 0;
    try {
        r = manager_->Open();
    } catch (const std::exception& e) {
        platform::Dialogs::Current().Show(e.what(), "Warning", platform::DialogIcon::Warning);
    }
    manager_->LoadConfig(configPath_);
    // The port comes from the start window, whatever the file names.
    manager_->SetPort(portName_);
    manager_->SetProtocol(protocol_);
    manager_->ResumeSender();
    return r;
}

void TChannelWindow::CloseChannel() {
    if (manager_) manager_->Close();
}

void TChannelWindow::PurgeReceive() {
    if (manager_) manager_->PurgeReceive();
}

void TChannelWindow::SendBytes(const uint8_t* bytes, size_t count) {
    LogLine("out:");
    LogLine(QString::fromStdString(BytesToHex(bytes, count, "-")));
    if (sendQueue_) sendQueue_->Push(std::vector<uint8_t>(bytes, bytes + count));
}

int TChannelWindow::ReceiveBlock(uint8_t* buffer, int32_t& status) {
    status = 0;
    if (!receiveQueue_ || receiveQueue_->Count() < 1) return 0;
    const std::vector<uint8_t> m = receiveQueue_->Pop();
    LogLine("in:");
    LogLine(QString::fromStdString(BytesToHex(m, " ")));
    if (m.size() > static_cast<size_t>(kMaxBlock)) return 0;
    std::copy(m.begin(), m.end(), buffer);
    return static_cast<int>(m.size());
}

void TChannelWindow::LogLine(const QString& text) {
    if (!isVisible()) return;
    if (cbTimes_->isChecked())
        memoRs_->appendPlainText(QString::fromStdString(FormatClockTime(QDateTime::currentMSecsSinceEpoch())) + " " + text);
    else
        memoRs_->appendPlainText(text);
}

bool TChannelWindow::event(QEvent* e) {
    switch (static_cast<int>(e->type())) {
        case kReceivedMessage:
            if (client_) {
                if (channel_ == 1)
                    client_->Read1(0);
                else
                    client_->RS2RxChar();
            }
            return true;
        case kSentMessage: LogLine("Data send"); return true;
        case kLinkLostMessage: {
            const std::string error = manager_ ? manager_->LinkError() : std::string();
            // Kept in the log even while the window is hidden: it is what the operator will
            // look for when the channel goes quiet.
            memoRs_->appendPlainText(QString::fromUtf8("Связь потеряна: ") + QString::fromStdString(error));
            if (client_) client_->ChannelLinkLost(channel_, error);
            return true;
        }
        default: return QWidget::event(e);
    }
}

TCustomComm1::TCustomComm1(QWidget* parent)
    : TChannelWindow(1, "CustomComm1", QSize(475, 391), "VOLTAR", 50, "btCopyCplipboard", parent) {
    setObjectName("CustomComm1");
    SetPortName("COM1");
}

TRS2::TRS2(QWidget* parent)
    : TChannelWindow(2, "RS2", QSize(482, 404), "ICP", 30, "btCopyClipboard", parent) {
    setObjectName("RS2");
    SetPortName("COM2");
}
