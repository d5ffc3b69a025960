#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/CommLine.h"

// Runs a call on the owner's thread: at once, or by queueing it to the owner's event loop.
// The call may also never run (the loop ended); the waiting side copes with that.
using TRsDispatcher = std::function<void(std::function<void()>)>;

// The serial component's event thread: waits for line events and hands each batch to the
// owner's thread, one at a time, waiting until it has been handled there (or the thread is
// stopped, so that stopping never waits on an owner that is itself stopping the thread).
class TCommThread485 {
public:
    // `handle` gets the event bits; `dispatch` carries the call to the owner's thread (empty:
    // the call runs on this thread).
    TCommThread485(platform::CommLine& line, uint32_t mask, TRsDispatcher dispatch,
                   std::function<void(uint32_t)> handle);
    ~TCommThread485();
    TCommThread485(const TCommThread485&) = delete;
    TCommThread485& operator=(const TCommThread485&) = delete;

    // Sets the stop flag, wakes the wait, gives up a delivery in progress and joins.
    void Stop();
    // True on the thread itself (a hook run without a dispatcher).
    bool IsCurrent() const { return std::this_thread::get_id() == thread_.get_id(); }

private:
    struct Delivery;

    void Execute();

    platform::CommLine& line_;
    const uint32_t mask_;
    TRsDispatcher dispatch_;
    std::function<void(uint32_t)> handle_;
    std::atomic<bool> stop_{false};
    std::mutex currentMutex_;
    std::shared_ptr<Delivery> current_;
    std::thread thread_;
};
