#pragma once
// A thin layer over the SQLite C interface: a connection and prepared statements
// that finalize themselves, errors as values. Nothing here throws.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>

struct sqlite3;
struct sqlite3_stmt;

namespace varne4::sql {

// The outcome of a call: SQLite's result code and its message.
struct Status {
    int code = 0; // SQLITE_OK, SQLITE_ROW and SQLITE_DONE are successes
    std::string message;

    bool ok() const;
    // The file is not a database, or its contents are damaged.
    bool corrupt() const;
    // No room on the disk (or the file may not grow).
    bool full() const;
};

class Statement;

class Database {
public:
    Database() = default;
    ~Database();
    Database(Database&& other) noexcept;
    Database& operator=(Database&& other) noexcept;
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    // Opens (and creates) the file; read-write, or read-only when asked.
    Status open(const std::filesystem::path& path, bool readOnly = false);
    void close();
    bool isOpen() const { return db_ != nullptr; }

    // Runs statements that return no rows ("PRAGMA ...; CREATE ...").
    Status exec(std::string_view sql);
    // The first column of the first row of a one-value query.
    std::optional<std::int64_t> integer(std::string_view sql);
    Statement prepare(std::string_view sql);
    std::int64_t lastInsertId() const;
    bool inTransaction() const;
    Status lastError() const;

private:
    sqlite3* db_ = nullptr;
};

class Statement {
public:
    Statement() = default;
    Statement(sqlite3* db, std::string_view sql);
    ~Statement();
    Statement(Statement&& other) noexcept;
    Statement& operator=(Statement&& other) noexcept;
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    bool valid() const { return stmt_ != nullptr; }
    const Status& prepareStatus() const { return prepared_; }

    // Parameters count from 1, as SQLite's do.
    Statement& bind(int index, std::int64_t value);
    Statement& bind(int index, double value);
    Statement& bind(int index, std::string_view text);
    Statement& bindBlob(int index, std::span<const std::uint8_t> bytes);
    Statement& bindNull(int index);

    // One step: true while a row is ready; the status says why it stopped.
    bool step();
    const Status& status() const { return status_; }
    // Steps through a statement that returns no rows; then resets it for reuse.
    Status run();
    void reset();

    std::int64_t integer(int column) const;
    double real(int column) const;
    bool isNull(int column) const;
    std::string text(int column) const;
    std::span<const std::uint8_t> blob(int column) const; // valid until the next step

private:
    sqlite3* db_ = nullptr;
    sqlite3_stmt* stmt_ = nullptr;
    Status prepared_;
    Status status_;
};

} // namespace varne4::sql
