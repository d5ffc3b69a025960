#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

#include "rsmanager/TimedMutex.h"

// A value shared between the window thread and one worker thread. Get and Set give up after
// 1000 ms: 0 on success, -1 when the lock was not obtained in time (the value is then neither
// read nor written). A worker may also sleep on the value and be woken the moment it changes.
template <typename T>
class TMutexVar {
public:
    explicit TMutexVar(T initial = T{}) : value_(initial) {}

    int Set(const T& value) {
        std::unique_lock<TimedMutex> lock(mutex_, std::defer_lock);
        if (!lock.try_lock_for(kLockWait)) return -1;
        value_ = value;
        changed_.notify_all();
        return 0;
    }

    int Get(T& out) {
        std::unique_lock<TimedMutex> lock(mutex_, std::defer_lock);
        if (!lock.try_lock_for(kLockWait)) return -1;
        out = value_;
        return 0;
    }

    // Sleeps up to `duration` while the value equals `value`; true when it still does.
    template <typename Rep, typename Period>
    bool SleepWhile(const T& value, std::chrono::duration<Rep, Period> duration) {
        std::unique_lock<TimedMutex> lock(mutex_, std::defer_lock);
        if (!lock.try_lock_for(kLockWait)) return true;
        changed_.wait_for(lock, duration, [&] { return !(value_ == value); });
        return value_ == value;
    }

private:
    static constexpr std::chrono::milliseconds kLockWait{1000};
    TimedMutex mutex_;
    std::condition_variable_any changed_;
    T value_;
};
