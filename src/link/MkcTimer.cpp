#include "link/MkcTimer.h"

void TMkcTimer::Start(bool run) {
    running_ = run;
    if (run) start_ = Clock::now();
}

int64_t TMkcTimer::Elapsed() const {
    if (!running_) return 0;
    // Counts × 1 000 000 / frequency, without the product that overflows after hours.
    return std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start_).count();
}

int64_t TMkcTimer::Frequency() {
    return static_cast<int64_t>(Clock::period::den) / static_cast<int64_t>(Clock::period::num);
}

void TMkcTimer::BusyWait(int64_t us) {
    // Each wait has a stopwatch of its own: two ports turning their lines round at the same
    // time must not restart each other's count.
    TMkcTimer timer;
    timer.Start(true);
    while (timer.Elapsed() < us) {
    }
}
