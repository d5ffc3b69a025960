#include "link/CommThread485.h"

#include <condition_variable>

struct TCommThread485::Delivery {
    std::mutex m;
    std::condition_variable cv;
    bool done = false;
    bool cancelled = false;
};

TCommThread485::TCommThread485(platform::CommLine& line, uint32_t mask, TRsDispatcher dispatch,
                               std::function<void(uint32_t)> handle)
    : line_(line), mask_(mask), dispatch_(std::move(dispatch)), handle_(std::move(handle)) {
    line_.SetEventMask(mask_);
    thread_ = std::thread([this] { Execute(); });
}

TCommThread485::~TCommThread485() { Stop(); }

void TCommThread485::Stop() {
    stop_ = true;
    line_.WakeEvents();
    {
        std::lock_guard<std::mutex> g(currentMutex_);
        if (current_) {
            std::lock_guard<std::mutex> d(current_->m);
            current_->cancelled = true;
            current_->cv.notify_all();
        }
    }
    if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) thread_.join();
}

void TCommThread485::Execute() {
    platform::RaiseThreadPriority();
    while (!stop_) {
        const uint32_t events = line_.WaitEvents();
        if (stop_) break;
        if (events == 0) continue;
        auto d = std::make_shared<Delivery>();
        {
            std::lock_guard<std::mutex> g(currentMutex_);
            if (stop_) break;
            current_ = d;
        }
        // The call holds the delivery, not this thread: it may run after the thread is gone
        // and then finds itself cancelled.
        auto call = [d, handle = handle_, events] {
            {
                std::lock_guard<std::mutex> g(d->m);
                if (d->cancelled) return;
            }
            handle(events);
            std::lock_guard<std::mutex> g(d->m);
            d->done = true;
            d->cv.notify_all();
        };
        if (dispatch_)
            dispatch_(std::move(call));
        else
            call();
        std::unique_lock<std::mutex> l(d->m);
        d->cv.wait(l, [&] { return d->done || d->cancelled; });
    }
    {
        std::lock_guard<std::mutex> g(currentMutex_);
        current_.reset();
    }
    line_.Purge(true, true);
}
