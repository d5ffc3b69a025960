#include "eeprom/TFPzu.h"

#include <algorithm>
#include <cmath>

#include <QCloseEvent>
#include <QGridLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

#include "eeprom/THexGrid.h"
#include "eeprom/TPSW.h"
#include "eeprom/TWPzu.h"
#include "link/StationCodec.h"
#include "platform/Dialogs.h"

namespace {

QString U(const char* s) { return QString::fromUtf8(s); }

constexpr const char* kTeal = "teal";
constexpr const char* kMaroon = "maroon";
constexpr const char* kBlue = "blue";
constexpr const char* kGreen = "green";

void Paint(QLabel* l, const char* colour) { l->setStyleSheet(QString("color: %1").arg(colour)); }

QString MinutesSeconds(double seconds) {
    const long s = std::lround(std::max(0.0, seconds));
    return QString("%1:%2").arg(s / 60).arg(s % 60, 2, 10, QChar('0'));
}

}  // namespace

TFPzu::TFPzu(PzuLinks_T links, QWidget* parent)
    : QWidget(parent, Qt::Dialog | Qt::WindowStaysOnTopHint), links_(std::move(links)) {
    setObjectName("FPzu");
    setWindowTitle(U("ПЗУ"));
    auto button = [&](const char* name, const char* caption) {
        auto* b = new QPushButton(U(caption), this);
        b->setObjectName(name);
        b->setToolTip(U("Прошить ПЗУ \"Пакеты настроек\""));
        return b;
    };
    SpeedButton62 = button("SpeedButton62", "Программирование");
    SpeedButton1 = button("SpeedButton1", "Читать");
    BtProcPZU = button("BtProcPZU", "Остановить");
    BtProcPZU->setEnabled(false);
    SpeedButton2 = button("SpeedButton2", "Обнулить А2-АЕ");
    SpeedButton65 = button("SpeedButton65", "Больше >>");
    SBPassw = button("SBPassw", "Доступ к программированию ПЗУ ");
    auto label = [&](const char* name, const char* text) {
        auto* l = new QLabel(U(text), this);
        l->setObjectName(name);
        return l;
    };
    LAdrPzu = label("LAdrPzu", "0000h - 0000h");
    LProcPzu = label("LProcPzu", "Готов");
    LResPzu = label("LResPzu", "...");
    LFilePzu = label("LFilePzu", "pch.pzu ");
    STErr = label("STErr", "00");
    StaticText1 = label("StaticText1", "00");
    STSend = label("STSend", " ");
    STAnswer = label("STAnswer", " ");
    LTimePzu = label("LTimePzu", " ");
    BarProcPZU = new QProgressBar(this);
    BarProcPZU->setObjectName("BarProcPZU");
    BarProcPZU->setRange(0, 512);
    BarProcPZU->setValue(0);

    auto* g = new QGridLayout(this);
    int c = 0;
    for (QPushButton* b : {SpeedButton62, SpeedButton1, BtProcPZU, SpeedButton2, SpeedButton65, SBPassw})
        g->addWidget(b, 0, c++);
    g->addWidget(LAdrPzu, 1, 0);
    g->addWidget(LProcPzu, 1, 1, 1, 2);
    g->addWidget(LResPzu, 1, 3);
    g->addWidget(LFilePzu, 1, 4, 1, 2);
    g->addWidget(BarProcPZU, 2, 0, 1, 6);
    g->addWidget(label("", " Счетчик ошибок"), 3, 0);
    g->addWidget(STErr, 3, 1);
    g->addWidget(label("", " Осталось блоков"), 3, 2);
    g->addWidget(StaticText1, 3, 3);
    g->addWidget(STSend, 3, 4);
    g->addWidget(STAnswer, 3, 5);
    g->addWidget(LTimePzu, 4, 0, 1, 6);
    resize(1012, 144);

    connect(SpeedButton62, &QPushButton::clicked, this, [this] { SpeedButton62Click(); });
    connect(SpeedButton1, &QPushButton::clicked, this, [this] { SpeedButton1Click(); });
    connect(BtProcPZU, &QPushButton::clicked, this, [this] { BtProcPZUClick(); });
    connect(SpeedButton2, &QPushButton::clicked, this, [this] { SpeedButton2Click(); });
    connect(SpeedButton65, &QPushButton::clicked, this, [this] { SpeedButton65Click(); });
    connect(SBPassw, &QPushButton::clicked, this, [this] { SBPasswClick(); });
    TmrSend.setInterval(400);
    connect(&TmrSend, &QTimer::timeout, this, [this] { TmrSendTimer(); });
}

TFPzu::~TFPzu() = default;

bool TFPzu::Open(const std::string& settingsPath, bool pzuSectionPresent) {
    ClearTicks = 1;
    session_.ResetBlockCounter();
    accessGranted_ = false;
    if (links_.stopTestTimers) links_.stopTestTimers();
    session_.SetAnswered(true);
    showTraffic_ = false;
    SpeedButton62->setEnabled(false);
    bool ok = false;
    if (pzuSectionPresent) {
        std::string error;
        if (!session_.OpenSettings(settingsPath, error)) {
            platform::Dialogs::Current().Show(error, "ПЗУ", platform::DialogIcon::Error);
            TmrSend.stop();
            return false;
        }
        if (!session_.OpenReadBack(settingsPath)) {
            platform::Dialogs::Current().Show("Не могу создать файл для чтения настроек из ПЗУ", "ПЗУ",
                                              platform::DialogIcon::Error);
            TmrSend.stop();
            session_.CloseFiles();
            return false;
        }
        ok = true;
        comparison_ = std::make_unique<TWPzu>();
    }
    settingsPath_ = settingsPath;
    windowActive_ = true;
    LFilePzu->setText(QString::fromStdString(settingsPath));
    if (ok && links_.shown) links_.shown(true);
    return ok;
}

void TFPzu::SetState(const QString& text, const char* colour) {
    LProcPzu->setText(text);
    Paint(LProcPzu, colour);
}

bool TFPzu::OpenFiles() {
    // The files opened when the window opened are only its check that they can be: a run reads
    // the settings as they are when it starts, also when they were replaced in between (a handle
    // kept from then would still read the replaced file).
    session_.CloseFiles();
    std::string error;
    if (!session_.OpenSettings(settingsPath_, error)) {
        platform::Dialogs::Current().Show("Нет файла с уставками", "ПЗУ", platform::DialogIcon::Error);
        return false;
    }
    if (!session_.OpenReadBack(settingsPath_)) {
        platform::Dialogs::Current().Show("Не могу создать файл для записи данных из ПЗУ", "ПЗУ",
                                          platform::DialogIcon::Error);
        return false;
    }
    return true;
}

void TFPzu::SendBlock(const TPzuSession::TickResult_T& t) {
    STAnswer->clear();
    STSend->setText(U(session_.Programming() ? "Информация отправлена" : "Запрос отправлен"));
    if (showTraffic_ && links_.logLine) links_.logLine(BytesToHex(t.packet, " ") + " ");
    if (links_.sendPacket) links_.sendPacket(t.packet);
}

void TFPzu::TmrSendTimer() {
    if (TmrSendTag == 1) {
        ++ClearTicks;
        BarProcPZU->setValue(std::min(ClearTicks, BarProcPZU->maximum()));
        if (ClearTicks > 120 && links_.sendStation) links_.sendStation("00 01 88");
        return;
    }
    showTraffic_ = links_.trafficShown && links_.trafficShown();
    const int remaining = TPzuSession::kBlocks - session_.BlockCounter();
    const TPzuSession::TickResult_T t = session_.OnTick();
    switch (t.what) {
        case TPzuSession::Tick::Waiting: return;
        case TPzuSession::Tick::Finished:
            TmrSend.stop();
            // The count of blocks still to go was shown before each block; none are left now.
            if (session_.AtEnd()) StaticText1->setText("0");
            ShowTimes(session_.BlockCounter(), -1);
            if (session_.Programming())
                FinishProgramming();
            else
                FinishReading();
            return;
        case TPzuSession::Tick::Repeat:
            SendBlock(t);
            STSend->setText(U(session_.Programming() ? "Повторяю посылку информации" : "Повторяю посылку запроса"));
            return;
        case TPzuSession::Tick::AskGiveUp: {
            TmrSend.stop();
            const auto answer = platform::Dialogs::Current().Ask(" Прекращаю работу с ПЗУ...", "Нет связи с платой",
                                                                 platform::DialogButtons::YesNo,
                                                                 platform::DialogIcon::Question);
            if (answer == platform::DialogResult::Yes) {
                if (session_.Programming())
                    FinishProgramming();
                else
                    FinishReading();
                return;
            }
            session_.KeepWaiting();
            TmrSend.start();
            return;
        }
        case TPzuSession::Tick::Send: break;
    }
    StaticText1->setText(QString::number(remaining));
    ShowTimes(TPzuSession::kBlocks - remaining, remaining);
    BarProcPZU->setValue(std::min(BarProcPZU->value() + 1, BarProcPZU->maximum()));
    LAdrPzu->setText(QString("%1h - %2h")
                         .arg(t.address, 4, 16, QChar('0'))
                         .arg(t.address + 64, 4, 16, QChar('0'))
                         .toUpper()
                         .replace("H", "h"));
    LResPzu->setText("...");
    Paint(LResPzu, kTeal);
    SendBlock(t);
    if (comparison_) {
        for (int i = 0; i < TPzuSession::kBlockSize; ++i)
            comparison_->GridIn->SetAData(t.address + i, session_.Block()[static_cast<size_t>(i)]);
        comparison_->GridIn->Refresh();
    }
}

void TFPzu::BlockAnswered(const uint8_t* data68) {
    STSend->clear();
    STAnswer->setText(U("Информация принята"));
    const TPzuSession::Answer_T a = session_.OnAnswer(data68);
    if (a.foreign) return;
    // The answer is the proof that the block is in (or read), and the line is free again: the
    // next block goes at once, once this one is compared below; the timer, started anew, only
    // bounds the wait for its answer. A paused run (timer stopped) stays paused.
    if (pacedByAnswer_ && TmrSendTag == 0 && TmrSend.isActive() && session_.Answered()) {
        TmrSend.start();
        QMetaObject::invokeMethod(
            this, [this] { if (TmrSend.isActive() && session_.Answered()) TmrSendTimer(); }, Qt::QueuedConnection);
    }
    if (a.firstDifference >= 0) {
        STErr->setText(QString::number(session_.ErrorCount()));
        Paint(STErr, kMaroon);
    }
    if (comparison_) {
        for (int i = 0; i < TPzuSession::kBlockSize; ++i) {
            comparison_->GridOut->SetErrorCell(a.address + i, i == a.firstDifference ? 1 : 0);
            comparison_->GridOut->SetAData(a.address + i, a.bytes[static_cast<size_t>(i)]);
        }
        comparison_->GridOut->Refresh();
        comparison_->UpdateStatus();
    }
}

void TFPzu::StartClock() {
    startedClock_ = std::chrono::steady_clock::now();
    LTimePzu->setText(" ");
}

// The estimate goes by the blocks done so far: a line or a station slower than the timer shows
// in it as soon as it shows in the blocks.
void TFPzu::ShowTimes(int blocksDone, int blocksLeft) {
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - startedClock_).count();
    if (blocksLeft < 0) {  // the run is over
        LTimePzu->setText(U("Заняло ") + MinutesSeconds(elapsed));
        return;
    }
    QString text = U("Прошло ") + MinutesSeconds(elapsed);
    if (blocksDone > 0) text += U(" · осталось около ") + MinutesSeconds(elapsed / blocksDone * blocksLeft);
    LTimePzu->setText(text);
}

void TFPzu::I2CError() {
    Paint(LProcPzu, kMaroon);
    SetState(U("Нет связи с ПЗУ по I2C"), kGreen);
}

void TFPzu::ClearingFinished() {
    TmrSendTag = 0;
    TmrSend.stop();
    LProcPzu->setText(U("Очистка закончена"));
}

void TFPzu::RecordSession(bool programming) {
    if (!links_.recordSession || !session_.SettingsOpen()) return;
    EepromSessionRecord_T r;
    r.kind = programming ? "programming" : "reading";
    r.file = settingsPath_;
    // The tick that found the end counted itself as a block.
    r.blocks = std::max(0, session_.BlockCounter() - (session_.AtEnd() ? 1 : 0));
    r.mismatches = session_.ErrorCount();
    r.outcome = !session_.AtEnd() ? "cancelled" : session_.ErrorCount() > 0 ? "failed" : "passed";
    r.startedAt = sessionStartedAt_;
    r.endedAt = NowIso8601();
    links_.recordSession(r);
}

void TFPzu::FinishProgramming() {
    TmrSend.stop();
    tag62_ = 0;
    RecordSession(true);
    session_.ResetBlockCounter();
    BtProcPZU->setEnabled(false);
    SpeedButton62->setText(U("Программирование"));
    if (session_.SettingsOpen()) {
        if (session_.AtEnd()) {
            if (session_.ErrorCount() > 0)
                SetState(U("Ошибки при программировании ПЗУ!."), kMaroon);
            else
                SetState(U("Программирование ВЫПОЛНЕНО."), kBlue);
        } else {
            SetState(U("Программирование прервано ..."), kMaroon);
        }
        session_.CloseFiles();
        SpeedButton1->setEnabled(true);
    }
}

void TFPzu::SpeedButton62Click() {
    if (tag62_ == 1) {
        FinishProgramming();
        return;
    }
    if (!OpenFiles()) return;
    std::string error;
    if (!session_.LengthUsable(error)) {
        // Any other length would send a stale block at the file's end until cancelled.
        platform::Dialogs::Current().Show(error, "ПЗУ", platform::DialogIcon::Error);
        session_.CloseFiles();
        return;
    }
    session_.Start(true);
    sessionStartedAt_ = NowIso8601();
    StartClock();
    SpeedButton1->setEnabled(false);
    tag62_ = 1;
    STErr->setText("0");
    Paint(STErr, kTeal);
    BarProcPZU->setRange(0, TPzuSession::kBlocks);
    BarProcPZU->setValue(0);
    BtProcPZU->setEnabled(true);
    SpeedButton62->setText(U("Отменить"));
    SetState(U("Идет программирование....."), kTeal);
    if (links_.stopCapture) links_.stopCapture();
    TmrSend.start();
}

void TFPzu::FinishReading() {
    tag1_ = 0;
    RecordSession(false);
    session_.ResetBlockCounter();
    BtProcPZU->setEnabled(false);
    TmrSend.stop();
    SpeedButton1->setText(U("Чтение"));
    if (!session_.SettingsOpen()) return;
    if (session_.AtEnd()) {
        if (session_.ErrorCount() > 0)
            SetState(U("Настройки не совпадают с файлом!."), kMaroon);
        else
            SetState(U("Чтение ЗАВЕРШЕНО"), kBlue);
        session_.CloseFiles();
    } else {
        SetState(U("Чтение ПЗУ прервано..."), kMaroon);
        session_.CloseFiles();
        if (accessGranted_) SpeedButton62->setEnabled(true);
    }
}

void TFPzu::SpeedButton1Click() {
    if (tag1_ == 1) {
        FinishReading();
        return;
    }
    session_.Start(false);
    sessionStartedAt_ = NowIso8601();
    StartClock();
    Paint(STErr, kTeal);
    tag1_ = 1;
    STErr->setText("0");
    if (!OpenFiles()) return;
    TmrSend.start();
    if (links_.stopCapture) links_.stopCapture();
    SpeedButton62->setEnabled(false);
    BarProcPZU->setRange(0, TPzuSession::kBlocks);
    BarProcPZU->setValue(0);
    BtProcPZU->setEnabled(true);
    SpeedButton1->setText(U("Отменить"));
    SetState(U("Идет чтение ПЗУ и сравнение с файлом настроек....."), kTeal);
}

void TFPzu::BtProcPZUClick() {
    const int t = tagProc_;
    tagProc_ = t == 0 ? 1 : 0;
    if (t == 1)
        TmrSend.start();
    else
        TmrSend.stop();
    const bool programming = session_.Programming();
    if (t == 0) {
        BtProcPZU->setText(U("Продолжить"));
        SetState(U(programming ? "Программирование приостановлено ....." : "Чтение приостановлено ....."), kMaroon);
    } else {
        BtProcPZU->setText(U("Остановить"));
        SetState(U(programming ? "Идет программирование ....." : "Идет чтение ПЗУ ....."), kTeal);
    }
}

void TFPzu::SpeedButton2Click() {
    ClearTicks = 0;
    TmrSend.setInterval(1000);
    TmrSendTag = 1;
    TmrSend.start();
    LProcPzu->setText(U("Очистка ПЗУ ....."));
    BarProcPZU->setRange(0, 120);
}

void TFPzu::SpeedButton65Click() {
    if (tag65_ == 1) {
        tag65_ = 0;
        SpeedButton65->setText(U("Больше"));
        if (comparison_) comparison_->close();
    } else {
        tag65_ = 1;
        SpeedButton65->setText(U("Меньше"));
        if (comparison_) comparison_->show();
    }
}

void TFPzu::SBPasswClick() {
    accessGranted_ = links_.password && links_.password->AskAccess();
    // While programming runs the button is its "Отменить": a wrong password must not take
    // the way to stop it away.
    SpeedButton62->setEnabled(accessGranted_ || tag62_ == 1);
}

void TFPzu::closeEvent(QCloseEvent* e) {
    windowActive_ = false;
    TmrSend.stop();
    if (links_.shown) links_.shown(false);
    comparison_.reset();
    QWidget::closeEvent(e);
    if (links_.closed) links_.closed();
}
