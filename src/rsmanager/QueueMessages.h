#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <mutex>

#include "rsmanager/TimedMutex.h"
#include <vector>

// A first-in first-out queue of byte messages between a channel window and its manager's
// threads. Every operation waits at most the lock wait (50 ms) for the queue's lock; a message
// that cannot be queued in time is dropped, and the failure results below tell the callers.
class TQueueMessages {
public:
    struct Message {
        std::vector<uint8_t> data;
        int32_t repeat = 0;  // how many more times Pop hands it out after this time
    };

    TQueueMessages() = default;

    // Queues data to be handed out once. The repeat count asks for further copies, each put at
    // the back when the previous one is popped. False when the lock was not obtained.
    bool Push(const std::vector<uint8_t>& data, int32_t repeat = 0);
    // Number of messages, -1 when the lock was not obtained (callers then treat it as empty).
    int32_t Count();
    // The front message's data; empty when the queue is empty or the lock was not obtained.
    std::vector<uint8_t> Pop();
    void Clear();

    int32_t LockWaitMs() const { return lockWaitMs_; }
    // For tests of the lock-wait paths: holds the lock as a slow peer would.
    std::unique_lock<TimedMutex> HoldLock() { return std::unique_lock(mutex_); }

private:
    bool Lock(std::unique_lock<TimedMutex>& lock);

    int32_t lockWaitMs_ = 50;
    TimedMutex mutex_;
    std::deque<Message> queue_;
};
