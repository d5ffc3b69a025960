#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>
#include <chrono>
#include <functional>

// Runs the event loop until the condition holds or the time is up; the condition's last value.
inline bool WaitUntil(const std::function<bool()>& condition,
                      std::chrono::milliseconds within = std::chrono::seconds(5)) {
    QElapsedTimer t;
    t.start();
    while (!condition()) {
        if (t.elapsed() > within.count()) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

// Runs the event loop for a while, for checks that nothing more arrives.
inline void RunEventsFor(std::chrono::milliseconds d) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < d.count()) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
}
