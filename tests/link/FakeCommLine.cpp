#include "link/FakeCommLine.h"

#include <cstdio>

using platform::CommEscape;

std::string Hex(const uint8_t* data, size_t size) {
    std::string s;
    char b[4];
    for (size_t i = 0; i < size; ++i) {
        std::snprintf(b, sizeof b, i ? " %02x" : "%02x", data[i]);
        s += b;
    }
    return s;
}

void FakeCommLine::Note(const std::string& what) { records_.push_back({Clock::now(), what}); }

FakeCommLine::OpenResult FakeCommLine::Open(const std::string& name) {
    std::lock_guard<std::mutex> g(m_);
    Note("open " + name);
    lastError_ = openError;
    open_ = openResult == OpenResult::Opened;
    woken_ = false;
    return openResult;
}

void FakeCommLine::Close() {
    std::lock_guard<std::mutex> g(m_);
    Note("close");
    open_ = false;
}

bool FakeCommLine::SetQueueSizes(uint32_t input, uint32_t output) {
    std::lock_guard<std::mutex> g(m_);
    Note("queues " + std::to_string(input) + " " + std::to_string(output));
    return true;
}

bool FakeCommLine::SetTimeouts(const platform::CommTimeouts& t) {
    std::lock_guard<std::mutex> g(m_);
    char b[80];
    std::snprintf(b, sizeof b, "timeouts %x %u %u %u %u", t.readInterval, t.readMultiplier,
                  t.readConstant, t.writeMultiplier, t.writeConstant);
    Note(b);
    return true;
}

bool FakeCommLine::SetState(const platform::CommState& s) {
    std::lock_guard<std::mutex> g(m_);
    Note("state parity=" + std::to_string(s.line.parity) +
         " rts=" + std::to_string(s.rtsControlEnable ? 1 : 0));
    if (stateFails) {
        lastError_ = 22;
        return false;
    }
    state_ = s;
    return true;
}

bool FakeCommLine::Escape(CommEscape f) {
    static const char* const kNames[] = {"",       "SETXOFF", "SETXON",   "SETRTS", "CLRRTS",
                                         "SETDTR", "CLRDTR",  "RESETDEV", "SETBREAK", "CLRBREAK"};
    std::lock_guard<std::mutex> g(m_);
    Note(std::string("escape ") + kNames[static_cast<int>(f)]);
    if (escapeFails) lastError_ = 5;
    return !escapeFails;
}

bool FakeCommLine::SetRs485(const platform::Rs485Control& c) {
    std::lock_guard<std::mutex> g(m_);
    Note(c.enable ? "rs485 on " + std::string(c.rtsHighOnSend ? "high " : "low ") +
                        std::to_string(c.delayAfterSendMs)
                  : "rs485 off");
    return rs485Supported;
}

bool FakeCommLine::TransmitImmediate(uint8_t byte) {
    std::lock_guard<std::mutex> g(m_);
    Note("immediate " + Hex(&byte, 1));
    if (txEmptyOnWrite) events_.push_back(platform::kEvTxEmpty);
    cv_.notify_all();
    return true;
}

bool FakeCommLine::Flush() {
    std::lock_guard<std::mutex> g(m_);
    Note("flush");
    return true;
}

long FakeCommLine::Write(const uint8_t* data, size_t size, int) {
    std::lock_guard<std::mutex> g(m_);
    const size_t n = writeAccepts == -2 ? size : static_cast<size_t>(writeAccepts);
    if (writeAccepts == -1) {
        lastError_ = 5;
        return -1;
    }
    Note("write " + Hex(data, n));
    if (txEmptyOnWrite && n > 0) events_.push_back(platform::kEvTxEmpty);
    cv_.notify_all();
    return static_cast<long>(n);
}

long FakeCommLine::Read(uint8_t* buffer, size_t max, int) {
    std::lock_guard<std::mutex> g(m_);
    if (reads.empty()) return 0;
    std::vector<uint8_t> next = std::move(reads.front());
    reads.pop_front();
    if (next.size() == 1 && next[0] == 0xEE) {  // stands for a failing read
        lastError_ = 5;
        return -1;
    }
    const size_t n = std::min(max, next.size());
    std::copy(next.begin(), next.begin() + static_cast<long>(n), buffer);
    return static_cast<long>(n);
}

bool FakeCommLine::Purge(bool input, bool output) {
    std::lock_guard<std::mutex> g(m_);
    Note(std::string("purge") + (input ? " in" : "") + (output ? " out" : ""));
    return true;
}

uint32_t FakeCommLine::TakeErrors() {
    std::lock_guard<std::mutex> g(m_);
    const uint32_t e = errors;
    errors = 0;
    return e;
}

bool FakeCommLine::SetEventMask(uint32_t mask) {
    std::lock_guard<std::mutex> g(m_);
    char b[24];
    std::snprintf(b, sizeof b, "mask %x", mask);
    Note(b);
    return true;
}

uint32_t FakeCommLine::WaitEvents() {
    std::unique_lock<std::mutex> l(m_);
    cv_.wait(l, [&] { return woken_ || !events_.empty(); });
    if (woken_) {
        woken_ = false;
        return 0;
    }
    const uint32_t ev = events_.front();
    events_.pop_front();
    char b[24];
    std::snprintf(b, sizeof b, "event %x", ev);
    Note(b);
    return ev;
}

void FakeCommLine::WakeEvents() {
    std::lock_guard<std::mutex> g(m_);
    woken_ = true;
    cv_.notify_all();
}

void FakeCommLine::Raise(uint32_t events) {
    std::lock_guard<std::mutex> g(m_);
    events_.push_back(events);
    cv_.notify_all();
}

std::vector<FakeCommLine::Record> FakeCommLine::Records() const {
    std::lock_guard<std::mutex> g(m_);
    return records_;
}

std::vector<std::string> FakeCommLine::What(const std::string& from) const {
    std::lock_guard<std::mutex> g(m_);
    std::vector<std::string> out;
    bool on = from.empty();
    for (const Record& r : records_) {
        on = on || r.what == from;
        if (on) out.push_back(r.what);
    }
    return out;
}

void FakeCommLine::ClearRecords() {
    std::lock_guard<std::mutex> g(m_);
    records_.clear();
}

platform::CommState FakeCommLine::LastState() const {
    std::lock_guard<std::mutex> g(m_);
    return state_;
}

long FakeCommLine::Find(const std::string& what, size_t after) const {
    std::lock_guard<std::mutex> g(m_);
    for (size_t i = after; i < records_.size(); ++i)
        if (records_[i].what == what) return static_cast<long>(i);
    return -1;
}

FakeCommLine::Clock::time_point FakeCommLine::At(size_t index) const {
    std::lock_guard<std::mutex> g(m_);
    return records_.at(index).at;
}

std::function<void(std::function<void()>)> OwnerLoop::Dispatcher() {
    return [this](std::function<void()> call) {
        std::lock_guard<std::mutex> g(m_);
        calls_.push_back(std::move(call));
        cv_.notify_all();
    };
}

bool OwnerLoop::RunUntil(const std::function<bool()>& done, std::chrono::milliseconds within) {
    const auto deadline = std::chrono::steady_clock::now() + within;
    while (!done()) {
        std::function<void()> call;
        {
            std::unique_lock<std::mutex> l(m_);
            if (!cv_.wait_until(l, deadline, [&] { return !calls_.empty(); })) return done();
            call = std::move(calls_.front());
            calls_.pop_front();
        }
        call();
    }
    return true;
}

void OwnerLoop::RunFor(std::chrono::milliseconds span) {
    RunUntil([] { return false; }, span);
}
