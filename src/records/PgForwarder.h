#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "records/RunRecord.h"

struct pg_conn;
class TRunStore;

// Sends the stand's finished runs from its SQLite outbox to the plant's PostgreSQL database,
// one transaction per run, on a thread of its own. A run already there with the same or a newer
// revision is left as it is, so a run sent twice is stored once. While the server is away the
// forwarder waits longer after each failure (1 s doubling up to a minute).
class TPgForwarder {
public:
    // `conninfo` is a libpq connection string; it may hold a password, which never appears in a
    // message of this class.
    TPgForwarder(std::string sqlitePath, std::string conninfo, std::string currentSession);
    ~TPgForwarder();  // stops the thread after the run it is sending

    void Start();
    // A run ended or changed: look at the outbox now.
    void Wake();
    // Runs still waiting for the plant (as last counted), and a handler told when it changes.
    int Pending() const { return pending_.load(); }
    void SetPendingHandler(std::function<void(int)> handler);
    // The last failure, password removed; empty after a success.
    std::string LastError() const;

    // Everything due now, on the caller's thread; false at the first failure. For tools and tests.
    bool ForwardAll(std::string& error);

    // The connection string with any password replaced by "***".
    static std::string Redacted(const std::string& conninfo);
    // The tables in the plant's database (made when missing; several stands may do so at once).
    static bool EnsureSchema(pg_conn* conn, std::string& error);
    // One run in one transaction.
    static bool SendRun(pg_conn* conn, const RunRecord_T& run, int64_t revision,
                        const std::vector<EepromSessionRecord_T>& eeprom, std::string& error);

    // EEPROM sessions made with no run, in one transaction.
    static bool SendEepromSessions(pg_conn* conn, const std::vector<EepromSessionRecord_T>& sessions,
                                   std::string& error);

private:
    void Loop();
    bool Connect(std::string& error);
    void Disconnect();
    bool ForwardDue(TRunStore& store, std::string& error);
    bool ForwardEeprom(TRunStore& store, std::string& error);
    bool Flush(std::string& error);
    void SetPending(int n);
    std::string Clean(const std::string& message) const;

    std::string sqlitePath_, conninfo_, session_;
    pg_conn* conn_ = nullptr;
    std::atomic<int> pending_{0};
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    bool woken_ = false;
    bool stop_ = false;
    std::string lastError_;
    std::function<void(int)> onPending_;
    std::thread thread_;
};
