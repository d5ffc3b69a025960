#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "records/RunRecord.h"
#include "records/RunStore.h"

// The recorder's sink on a stand: each record goes to a queue at once and a thread of its own
// writes it to the SQLite file, so the window never waits for the disk. The thread commits each
// piece as it comes; what was committed survives a crash of the program.
class TRunStoreWriter final : public TRunRecordSink {
public:
    // Messages for the operator (a failed write) come from the writer's thread.
    using ErrorHandler = std::function<void(const std::string&)>;

    TRunStoreWriter();
    ~TRunStoreWriter() override;  // writes what is queued, then stops

    // Opens the file on the caller's thread: the start of the program reports what is wrong.
    bool Open(const std::string& path, std::string& error);
    void SetErrorHandler(ErrorHandler handler);
    // Called on the writer's thread after a run's end or a later change of it was committed.
    void SetCommitted(std::function<void()> handler);
    const std::string& Path() const { return store_.Path(); }
    bool IsOpen() const { return open_; }

    void BeginRun(const RunRecord_T& run) override;
    void SetPassport(const std::string& runId, const RunPassport_T& passport) override;
    void AddCheck(const std::string& runId, const CheckRecord_T& check) override;
    void EndRun(const std::string& runId, RunOutcome outcome, const std::string& endedAt,
                const std::string& protocolFile) override;
    void SetArchiveFile(const std::string& runId, const std::string& archiveFile) override;
    void SetJournalFile(const std::string& runId, const std::string& journalFile) override;
    void AddEepromSession(const EepromSessionRecord_T& session) override;

    // Waits until everything queued so far is written.
    void Flush();

private:
    using Job = std::function<bool(TRunStore&, std::string&)>;
    void Post(Job job, bool notifies);
    void Loop();

    TRunStore store_;
    bool open_ = false;
    std::mutex mutex_;
    std::condition_variable wake_, idle_;
    struct Entry {
        Job job;
        bool notifies;
    };
    std::deque<Entry> queue_;
    bool busy_ = false;
    bool stop_ = false;
    ErrorHandler onError_;
    std::function<void()> onCommitted_;
    std::string lastError_;
    std::thread thread_;
};
