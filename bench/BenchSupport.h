#pragma once

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
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
