#pragma once

#include <chrono>
#include <cstdint>

// A microsecond stopwatch on the steady clock: the serial component waits on it, busily, for
// times shorter than any sleep can keep (one character at 115200 baud is 86 µs).
class TMkcTimer {
public:
    // Runs the stopwatch from now (true) or stops it (false).
    void Start(bool run);
    bool Running() const { return running_; }
    // Microseconds since the start; 0 when not running.
    int64_t Elapsed() const;
    // Counts per second of the clock underneath.
    static int64_t Frequency();

    // Spins until `us` microseconds have passed from now.
    static void BusyWait(int64_t us);

private:
    using Clock = std::chrono::steady_clock;
    bool running_ = false;
    Clock::time_point start_{};
};
