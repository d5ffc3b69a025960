#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

// A mutex whose lock can be given up after a wait, built on a plain mutex and a condition
// variable. std::timed_mutex would do the same, but its timed lock goes through a system call
// that the thread sanitizer of this tool chain does not follow, which hides real races among
// false reports. Meets the TimedLockable requirements.
class TimedMutex {
public:
    void lock() {
        std::unique_lock guard(m_);
        free_.wait(guard, [this] { return !locked_; });
        locked_ = true;
    }

    bool try_lock() {
        std::lock_guard guard(m_);
        if (locked_) return false;
        locked_ = true;
        return true;
    }

    template <typename Rep, typename Period>
    bool try_lock_for(std::chrono::duration<Rep, Period> d) {
        return try_lock_until(std::chrono::steady_clock::now() + d);
    }

    template <typename Clock, typename Duration>
    bool try_lock_until(std::chrono::time_point<Clock, Duration> t) {
        std::unique_lock guard(m_);
        if (!free_.wait_until(guard, t, [this] { return !locked_; })) return false;
        locked_ = true;
        return true;
    }

    void unlock() {
        {
            std::lock_guard guard(m_);
            locked_ = false;
        }
        free_.notify_one();
    }

private:
    std::mutex m_;
    std::condition_variable free_;
    bool locked_ = false;
};
