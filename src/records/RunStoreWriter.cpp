#include "records/RunStoreWriter.h"

TRunStoreWriter::TRunStoreWriter() = default;

TRunStoreWriter::~TRunStoreWriter() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable()) thread_.join();
}

bool TRunStoreWriter::Open(const std::string& path, std::string& error) {
    open_ = store_.Open(path, error);
    if (open_ && !thread_.joinable()) thread_ = std::thread([this] { Loop(); });
    return open_;
}

void TRunStoreWriter::SetErrorHandler(ErrorHandler handler) {
    std::lock_guard<std::mutex> lock(mutex_);
    onError_ = std::move(handler);
}

void TRunStoreWriter::SetCommitted(std::function<void()> handler) {
    std::lock_guard<std::mutex> lock(mutex_);
    onCommitted_ = std::move(handler);
}

void TRunStoreWriter::Post(Job job, bool notifies) {
    if (!open_) return;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        queue_.push_back({std::move(job), notifies});
    }
    wake_.notify_one();
}

void TRunStoreWriter::Loop() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return stop_ || !queue_.empty(); });
        if (queue_.empty()) break;  // stopping, and all is written
        Entry e = std::move(queue_.front());
        queue_.pop_front();
        busy_ = true;
        lock.unlock();
        std::string error;
        const bool ok = e.job(store_, error);
        lock.lock();
        busy_ = false;
        if (!ok) {
            // One message per kind of failure: a full disk would otherwise say so for every row.
            if (error != lastError_ && onError_) {
                auto handler = onError_;
                lock.unlock();
                handler(error);
                lock.lock();
            }
            lastError_ = error;
        } else {
            lastError_.clear();
            if (e.notifies && onCommitted_) {
                auto handler = onCommitted_;
                lock.unlock();
                handler();
                lock.lock();
            }
        }
        if (queue_.empty()) idle_.notify_all();
    }
    idle_.notify_all();
}

void TRunStoreWriter::Flush() {
    std::unique_lock<std::mutex> lock(mutex_);
    idle_.wait(lock, [this] { return !thread_.joinable() || (queue_.empty() && !busy_); });
}

void TRunStoreWriter::BeginRun(const RunRecord_T& run) {
    Post([run](TRunStore& s, std::string& e) { return s.BeginRun(run, e); }, false);
}

void TRunStoreWriter::SetPassport(const std::string& runId, const RunPassport_T& passport) {
    Post([runId, passport](TRunStore& s, std::string& e) { return s.SetPassport(runId, passport, e); }, false);
}

void TRunStoreWriter::AddCheck(const std::string& runId, const CheckRecord_T& check) {
    Post([runId, check](TRunStore& s, std::string& e) { return s.AddCheck(runId, check, e); }, false);
}

void TRunStoreWriter::EndRun(const std::string& runId, RunOutcome outcome, const std::string& endedAt,
                             const std::string& protocolFile) {
    Post([=](TRunStore& s, std::string& e) { return s.EndRun(runId, outcome, endedAt, protocolFile, e); }, true);
}

void TRunStoreWriter::SetJournalFile(const std::string& runId, const std::string& journalFile) {
    Post([=](TRunStore& s, std::string& e) { return s.SetJournalFile(runId, journalFile, e); }, true);
}

void TRunStoreWriter::SetArchiveFile(const std::string& runId, const std::string& archiveFile) {
    Post([=](TRunStore& s, std::string& e) { return s.SetArchiveFile(runId, archiveFile, e); }, true);
}

void TRunStoreWriter::AddEepromSession(const EepromSessionRecord_T& session) {
    Post([session](TRunStore& s, std::string& e) { return s.AddEepromSession(session, e); }, true);
}
