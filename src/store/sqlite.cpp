#include "store/sqlite.h"

#include <sqlite3.h>

#include <utility>

namespace varne4::sql {

namespace {
Status statusOf(sqlite3* db, int code) {
    Status s;
    s.code = code;
    if (!s.ok()) s.message = db ? sqlite3_errmsg(db) : sqlite3_errstr(code);
    return s;
}
} // namespace

bool Status::ok() const { return code == SQLITE_OK || code == SQLITE_ROW || code == SQLITE_DONE; }
bool Status::corrupt() const {
    const int primary = code & 0xFF;
    return primary == SQLITE_CORRUPT || primary == SQLITE_NOTADB;
}
bool Status::full() const { return (code & 0xFF) == SQLITE_FULL; }

Database::~Database() { close(); }

Database::Database(Database&& other) noexcept : db_(std::exchange(other.db_, nullptr)) {}

Database& Database::operator=(Database&& other) noexcept {
    if (this != &other) {
        close();
        db_ = std::exchange(other.db_, nullptr);
    }
    return *this;
}

Status Database::open(const std::filesystem::path& path, bool readOnly) {
    close();
    const std::u8string name = path.u8string();
    const int flags = readOnly ? SQLITE_OPEN_READONLY : (SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
    const int rc =
        sqlite3_open_v2(reinterpret_cast<const char*>(name.c_str()), &db_, flags | SQLITE_OPEN_NOMUTEX, nullptr);
    Status s = statusOf(db_, rc);
    if (!s.ok()) {
        close();
        return s;
    }
    sqlite3_extended_result_codes(db_, 1);
    // Another process (a reader with the sqlite3 tool, a `history` command) may hold
    // the file a moment; wait for it a little rather than fail.
    sqlite3_busy_timeout(db_, 2000);
    return s;
}

void Database::close() {
    if (db_) sqlite3_close_v2(db_);
    db_ = nullptr;
}

Status Database::exec(std::string_view sql) {
    if (!db_) return {SQLITE_MISUSE, "database not open"};
    const std::string text(sql);
    char* message = nullptr;
    const int rc = sqlite3_exec(db_, text.c_str(), nullptr, nullptr, &message);
    Status s;
    s.code = rc;
    if (message) {
        s.message = message;
        sqlite3_free(message);
    }
    return s;
}

std::optional<std::int64_t> Database::integer(std::string_view sql) {
    Statement st = prepare(sql);
    if (!st.valid() || !st.step()) return std::nullopt;
    return st.integer(0);
}

Statement Database::prepare(std::string_view sql) { return Statement(db_, sql); }

std::int64_t Database::lastInsertId() const { return db_ ? sqlite3_last_insert_rowid(db_) : 0; }

bool Database::inTransaction() const { return db_ && sqlite3_get_autocommit(db_) == 0; }

Status Database::lastError() const {
    if (!db_) return {SQLITE_MISUSE, "database not open"};
    return statusOf(db_, sqlite3_extended_errcode(db_));
}

Statement::Statement(sqlite3* db, std::string_view sql) : db_(db) {
    if (!db) {
        prepared_ = {SQLITE_MISUSE, "database not open"};
        return;
    }
    const int rc = sqlite3_prepare_v2(db, sql.data(), static_cast<int>(sql.size()), &stmt_, nullptr);
    prepared_ = statusOf(db, rc);
}

Statement::~Statement() {
    if (stmt_) sqlite3_finalize(stmt_);
}

Statement::Statement(Statement&& other) noexcept
    : db_(other.db_), stmt_(std::exchange(other.stmt_, nullptr)), prepared_(std::move(other.prepared_)),
      status_(std::move(other.status_)) {}

Statement& Statement::operator=(Statement&& other) noexcept {
    if (this != &other) {
        if (stmt_) sqlite3_finalize(stmt_);
        db_ = other.db_;
        stmt_ = std::exchange(other.stmt_, nullptr);
        prepared_ = std::move(other.prepared_);
        status_ = std::move(other.status_);
    }
    return *this;
}

Statement& Statement::bind(int index, std::int64_t value) {
    if (stmt_) sqlite3_bind_int64(stmt_, index, value);
    return *this;
}

Statement& Statement::bind(int index, double value) {
    if (stmt_) sqlite3_bind_double(stmt_, index, value);
    return *this;
}

Statement& Statement::bind(int index, std::string_view text) {
    if (stmt_) sqlite3_bind_text64(stmt_, index, text.data(), text.size(), SQLITE_TRANSIENT, SQLITE_UTF8);
    return *this;
}

Statement& Statement::bindBlob(int index, std::span<const std::uint8_t> bytes) {
    // An empty blob is still a blob, not NULL.
    static const std::uint8_t kNothing = 0;
    if (stmt_)
        sqlite3_bind_blob64(stmt_, index, bytes.empty() ? &kNothing : bytes.data(), bytes.size(), SQLITE_TRANSIENT);
    return *this;
}

Statement& Statement::bindNull(int index) {
    if (stmt_) sqlite3_bind_null(stmt_, index);
    return *this;
}

bool Statement::step() {
    if (!stmt_) {
        status_ = prepared_.ok() ? Status{SQLITE_MISUSE, "no statement"} : prepared_;
        return false;
    }
    const int rc = sqlite3_step(stmt_);
    status_ = rc == SQLITE_ROW || rc == SQLITE_DONE ? Status{rc, {}} : statusOf(db_, sqlite3_extended_errcode(db_));
    return rc == SQLITE_ROW;
}

Status Statement::run() {
    while (step()) {
    }
    Status s = status_;
    reset();
    return s;
}

void Statement::reset() {
    if (!stmt_) return;
    sqlite3_reset(stmt_);
    sqlite3_clear_bindings(stmt_);
}

std::int64_t Statement::integer(int column) const { return stmt_ ? sqlite3_column_int64(stmt_, column) : 0; }
double Statement::real(int column) const { return stmt_ ? sqlite3_column_double(stmt_, column) : 0; }
bool Statement::isNull(int column) const { return !stmt_ || sqlite3_column_type(stmt_, column) == SQLITE_NULL; }

std::string Statement::text(int column) const {
    if (!stmt_) return {};
    const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(stmt_, column));
    return p ? std::string(p, static_cast<std::size_t>(sqlite3_column_bytes(stmt_, column))) : std::string();
}

std::span<const std::uint8_t> Statement::blob(int column) const {
    if (!stmt_) return {};
    const auto* p = static_cast<const std::uint8_t*>(sqlite3_column_blob(stmt_, column));
    return p ? std::span(p, static_cast<std::size_t>(sqlite3_column_bytes(stmt_, column)))
             : std::span<const std::uint8_t>();
}

} // namespace varne4::sql
