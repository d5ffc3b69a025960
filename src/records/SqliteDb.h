#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

// A thin owner of one SQLite connection and its statements. Failures throw TSqliteError with
// SQLite's code, which the store turns into a message for the operator.
class TSqliteError : public std::runtime_error {
public:
    TSqliteError(int code, const std::string& what) : std::runtime_error(what), code_(code) {}
    int Code() const { return code_; }  // primary result code (SQLITE_FULL, SQLITE_NOTADB, ...)

private:
    int code_;
};

class TSqliteStatement {
public:
    TSqliteStatement(sqlite3* db, const char* sql);
    ~TSqliteStatement();
    TSqliteStatement(const TSqliteStatement&) = delete;
    TSqliteStatement& operator=(const TSqliteStatement&) = delete;

    TSqliteStatement& Bind(int i, const std::string& text);
    TSqliteStatement& Bind(int i, int64_t value);
    TSqliteStatement& Bind(int i, int value) { return Bind(i, static_cast<int64_t>(value)); }
    TSqliteStatement& Bind(int i, std::optional<bool> value);
    TSqliteStatement& BindNull(int i);
    // True while a row is there; false once done.
    bool Step();
    void Run() {
        while (Step()) {
        }
    }
    void Reset();

    std::string Text(int column) const;
    // The column's text without a copy, valid until the next Step or Reset.
    std::string_view TextView(int column) const;
    int64_t Int(int column) const;
    bool IsNull(int column) const;

private:
    sqlite3* db_;
    sqlite3_stmt* stmt_ = nullptr;
};

class TSqliteDb {
public:
    TSqliteDb() = default;
    ~TSqliteDb() { Close(); }
    TSqliteDb(const TSqliteDb&) = delete;
    TSqliteDb& operator=(const TSqliteDb&) = delete;

    void Open(const std::string& path, bool readOnly);
    // A file that nobody can change while it is open (on a read-only medium): read without the
    // WAL's shared memory, which such a medium cannot hold.
    void OpenImmutable(const std::string& path);
    void Close();
    bool IsOpen() const { return db_ != nullptr; }
    void Exec(const char* sql);
    int64_t QueryInt(const char* sql);
    sqlite3* Handle() const { return db_; }

    // One transaction: committed when the scope ends normally, rolled back on a throw.
    class Transaction {
    public:
        explicit Transaction(TSqliteDb& db);
        ~Transaction();
        void Commit();

    private:
        TSqliteDb& db_;
        bool done_ = false;
    };

private:
    sqlite3* db_ = nullptr;
};
