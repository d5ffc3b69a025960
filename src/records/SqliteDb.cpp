#include "records/SqliteDb.h"

#include <cstdio>

namespace {

[[noreturn]] void Fail(sqlite3* db, int rc) {
    throw TSqliteError(rc & 0xFF, db ? sqlite3_errmsg(db) : sqlite3_errstr(rc));
}

}  // namespace

TSqliteStatement::TSqliteStatement(sqlite3* db, const char* sql) : db_(db) {
    const int rc = sqlite3_prepare_v2(db, sql, -1, &stmt_, nullptr);
    if (rc != SQLITE_OK) Fail(db, rc);
}

TSqliteStatement::~TSqliteStatement() { sqlite3_finalize(stmt_); }

TSqliteStatement& TSqliteStatement::Bind(int i, const std::string& text) {
    const int rc = sqlite3_bind_text(stmt_, i, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
    if (rc != SQLITE_OK) Fail(db_, rc);
    return *this;
}

TSqliteStatement& TSqliteStatement::Bind(int i, int64_t value) {
    const int rc = sqlite3_bind_int64(stmt_, i, value);
    if (rc != SQLITE_OK) Fail(db_, rc);
    return *this;
}

TSqliteStatement& TSqliteStatement::Bind(int i, std::optional<bool> value) {
    return value ? Bind(i, static_cast<int64_t>(*value ? 1 : 0)) : BindNull(i);
}

TSqliteStatement& TSqliteStatement::BindNull(int i) {
    const int rc = sqlite3_bind_null(stmt_, i);
    if (rc != SQLITE_OK) Fail(db_, rc);
    return *this;
}

bool TSqliteStatement::Step() {
    const int rc = sqlite3_step(stmt_);
    if (rc == SQLITE_ROW) return true;
    if (rc == SQLITE_DONE) return false;
    sqlite3_reset(stmt_);
    Fail(db_, rc);
}

void TSqliteStatement::Reset() {
    sqlite3_reset(stmt_);
    sqlite3_clear_bindings(stmt_);
}

std::string TSqliteStatement::Text(int column) const {
    const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(stmt_, column));
    return p ? std::string(p, static_cast<size_t>(sqlite3_column_bytes(stmt_, column))) : std::string();
}

std::string_view TSqliteStatement::TextView(int column) const {
    const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(stmt_, column));
    return p ? std::string_view(p, static_cast<size_t>(sqlite3_column_bytes(stmt_, column))) : std::string_view();
}

int64_t TSqliteStatement::Int(int column) const { return sqlite3_column_int64(stmt_, column); }

bool TSqliteStatement::IsNull(int column) const { return sqlite3_column_type(stmt_, column) == SQLITE_NULL; }

void TSqliteDb::Open(const std::string& path, bool readOnly) {
    Close();
    const int flags = readOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE;
    const int rc = sqlite3_open_v2(path.c_str(), &db_, flags | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc != SQLITE_OK) {
        const std::string what = db_ ? sqlite3_errmsg(db_) : sqlite3_errstr(rc);
        Close();
        throw TSqliteError(rc & 0xFF, what);
    }
    sqlite3_extended_result_codes(db_, 0);
}

void TSqliteDb::OpenImmutable(const std::string& path) {
    Close();
    // As a URI, whose reserved characters in the path are percent-encoded.
    std::string uri = "file:";
    for (const unsigned char c : path) {
        if (c == '%' || c == '?' || c == '#' || c < 0x20) {
            char hex[4];
            std::snprintf(hex, sizeof hex, "%%%02X", c);
            uri += hex;
        } else {
            uri += static_cast<char>(c);
        }
    }
    uri += "?immutable=1";
    const int rc = sqlite3_open_v2(uri.c_str(), &db_, SQLITE_OPEN_READONLY | SQLITE_OPEN_URI | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc != SQLITE_OK) {
        const std::string what = db_ ? sqlite3_errmsg(db_) : sqlite3_errstr(rc);
        Close();
        throw TSqliteError(rc & 0xFF, what);
    }
    sqlite3_extended_result_codes(db_, 0);
}

void TSqliteDb::Close() {
    if (db_) sqlite3_close_v2(db_);
    db_ = nullptr;
}

void TSqliteDb::Exec(const char* sql) {
    char* message = nullptr;
    const int rc = sqlite3_exec(db_, sql, nullptr, nullptr, &message);
    if (rc != SQLITE_OK) {
        const std::string what = message ? message : sqlite3_errstr(rc);
        sqlite3_free(message);
        throw TSqliteError(rc & 0xFF, what);
    }
}

int64_t TSqliteDb::QueryInt(const char* sql) {
    TSqliteStatement s(db_, sql);
    return s.Step() ? s.Int(0) : 0;
}

TSqliteDb::Transaction::Transaction(TSqliteDb& db) : db_(db) { db_.Exec("BEGIN IMMEDIATE"); }

TSqliteDb::Transaction::~Transaction() {
    if (!done_) sqlite3_exec(db_.Handle(), "ROLLBACK", nullptr, nullptr, nullptr);
}

void TSqliteDb::Transaction::Commit() {
    db_.Exec("COMMIT");
    done_ = true;
}
