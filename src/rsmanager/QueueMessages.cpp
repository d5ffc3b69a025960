#include "rsmanager/QueueMessages.h"

bool TQueueMessages::Lock(std::unique_lock<TimedMutex>& lock) {
    lock = std::unique_lock<TimedMutex>(mutex_, std::defer_lock);
    return lock.try_lock_for(std::chrono::milliseconds(lockWaitMs_));
}

bool TQueueMessages::Push(const std::vector<uint8_t>& data, int32_t repeat) {
    std::unique_lock<TimedMutex> lock;
    if (!Lock(lock)) return false;
    queue_.push_back(Message{data, repeat});
    return true;
}

int32_t TQueueMessages::Count() {
    std::unique_lock<TimedMutex> lock;
    if (!Lock(lock)) return -1;
    return static_cast<int32_t>(queue_.size());
}

std::vector<uint8_t> TQueueMessages::Pop() {
    std::unique_lock<TimedMutex> lock;
    if (!Lock(lock) || queue_.empty()) return {};
    Message m = std::move(queue_.front());
    queue_.pop_front();
    if (m.repeat > 0) queue_.push_back(Message{m.data, m.repeat - 1});
    return std::move(m.data);
}

void TQueueMessages::Clear() {
    std::unique_lock<TimedMutex> lock;
    if (!Lock(lock)) return;
    queue_.clear();
}
