#pragma once

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <QtGlobal>
#include <cstdio>
#include <functional>

#include "platform/Dialogs.h"

// The operator at a benchmark says yes to every question and reads every message.
class YesDialogs final : public platform::Dialogs {
public:
    platform::DialogResult Ask(const std::string&, const std::string&, platform::DialogButtons buttons,
                               platform::DialogIcon) override {
        return buttons == platform::DialogButtons::Ok ? platform::DialogResult::Ok : platform::DialogResult::Yes;
    }
    std::string OpenFileName(const platform::FileDialogRequest&) override { return ""; }
    std::string SaveFileName(const platform::FileDialogRequest&) override { return ""; }
    bool Print(const platform::PrintRequest&) override { return false; }
};

// Sleeps in the event loop, looking every 20 ms, until the condition holds or the time is up:
// the GUI thread's CPU time stays the program's.
inline bool Wait(const std::function<bool()>& condition, int ms) {
    QElapsedTimer t;
    t.start();
    QEventLoop loop;
    QTimer look;
    QObject::connect(&look, &QTimer::timeout, [&] {
        if (condition() || t.elapsed() > ms) loop.quit();
    });
    look.start(20);
    if (!condition()) loop.exec();
    return condition();
}

// The offscreen platform cannot pass a window's size hints on and says so each time a label's
// new text changes its window's minimum size: thousands of lines between the figures of a
// benchmark that changes labels for every block or answer. Every other message still shows.
inline void QuietSizeHintWarnings() {
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString& text) {
        if (text.contains(QLatin1String("propagateSizeHints"))) return;
        std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
    });
}
