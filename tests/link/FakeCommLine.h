#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/CommLine.h"

// A line with modem-control lines that records every change made to it, with its time, so a
// test can read the component's switching order and its waits. Events are raised by the test;
// each write and immediate byte also reports its own transmit-empty unless told otherwise.
class FakeCommLine final : public platform::CommLine {
public:
    using Clock = std::chrono::steady_clock;
    struct Record {
        Clock::time_point at;
        std::string what;
    };

    // Knobs, set before use.
    OpenResult openResult = OpenResult::Opened;
    int openError = 0;
    bool stateFails = false;
    bool escapeFails = false;
    bool rs485Supported = false;
    bool txEmptyOnWrite = true;
    long writeAccepts = -2;  // bytes a write takes: -2 all of them
    std::deque<std::vector<uint8_t>> reads;  // what each read finds (empty: nothing came)
    long inQueue = 0;
    uint32_t errors = 0;

    OpenResult Open(const std::string& name) override;
    void Close() override;
    bool IsOpen() const override { return open_; }
    int LastError() const override { return lastError_; }
    bool SetQueueSizes(uint32_t input, uint32_t output) override;
    bool SetTimeouts(const platform::CommTimeouts& t) override;
    bool SetState(const platform::CommState& s) override;
    bool Escape(platform::CommEscape function) override;
    bool SetRs485(const platform::Rs485Control& c) override;
    bool TransmitImmediate(uint8_t byte) override;
    bool Flush() override;
    long Write(const uint8_t* data, size_t size, int waitMs) override;
    long Read(uint8_t* buffer, size_t max, int waitMs) override;
    long InQueue() override { return inQueue; }
    long OutQueue() override { return 0; }
    bool Purge(bool input, bool output) override;
    uint32_t TakeErrors() override;
    bool SetEventMask(uint32_t mask) override;
    uint32_t WaitEvents() override;
    void WakeEvents() override;

    // Queues one batch of events for the event thread.
    void Raise(uint32_t events);

    std::vector<Record> Records() const;
    // The records' texts from the first one that equals `from` (all of them when empty).
    std::vector<std::string> What(const std::string& from = "") const;
    void ClearRecords();
    platform::CommState LastState() const;
    // Time of the first record equal to `what` at or after index `after`; -1 index when none.
    long Find(const std::string& what, size_t after = 0) const;
    Clock::time_point At(size_t index) const;

private:
    void Note(const std::string& what);

    mutable std::mutex m_;
    std::condition_variable cv_;
    std::vector<Record> records_;
    std::deque<uint32_t> events_;
    bool woken_ = false;
    bool open_ = false;
    int lastError_ = 0;
    platform::CommState state_;
};

// The owner's thread for the component's events: calls queue here and run when the test pumps.
class OwnerLoop {
public:
    std::function<void(std::function<void()>)> Dispatcher();
    // Runs queued calls on the calling thread until `done` holds or the time is up.
    bool RunUntil(const std::function<bool()>& done, std::chrono::milliseconds within);
    // Runs queued calls for the given time.
    void RunFor(std::chrono::milliseconds span);

private:
    std::mutex m_;
    std::condition_variable cv_;
    std::deque<std::function<void()>> calls_;
};

std::string Hex(const uint8_t* data, size_t size);
