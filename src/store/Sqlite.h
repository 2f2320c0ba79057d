#pragma once
// A small RAII wrapper over SQLite's C API: one connection, its prepared statements kept for
// reuse, values always bound (never formatted into the SQL), and every failure turned into a
// StoreError that says what failed and why.

#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QString>
#include <memory>
#include <optional>

#include "store/Store.h"

struct sqlite3;
struct sqlite3_stmt;

namespace telvane::store::sqlite {

class Connection;

/// A prepared statement, reset and cleared for each use. Columns and parameters count from 0
/// and 1 as in SQLite.
class Statement {
public:
    enum class Step { Row, Done, Failed };

    Statement(Connection& connection, sqlite3_stmt* statement);
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
    Statement(Statement&&) noexcept;
    ~Statement();

    Statement& bind(int index, qint64 value);
    Statement& bind(int index, int value) { return bind(index, qint64(value)); }
    Statement& bind(int index, bool value) { return bind(index, qint64(value ? 1 : 0)); }
    Statement& bind(int index, const QString& value);
    Statement& bind(int index, const QByteArray& value);  ///< as a blob
    Statement& bind(int index, const std::optional<int>& value);
    /// Milliseconds since the epoch; NULL for an invalid time.
    Statement& bind(int index, const QDateTime& value);
    Statement& bindNull(int index);

    Step step();
    /// Runs to the end: true when it did not fail.
    bool run();

    qint64 integer(int column) const;
    QString text(int column) const;
    QByteArray blob(int column) const;
    bool isNull(int column) const;
    std::optional<int> optionalInt(int column) const;
    QDateTime time(int column) const;  ///< invalid for NULL

private:
    Connection* m_connection;
    sqlite3_stmt* m_statement;
};

class Connection {
public:
    /// Opens (creating when missing) the database at `path` with the settings a message store
    /// needs: write-ahead log, synchronous=FULL, a busy timeout, foreign keys.
    static Result<std::unique_ptr<Connection>> open(const QString& path);
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;
    ~Connection();

    /// The statement for `sql`, prepared once per connection (`sql` must be a literal: its
    /// address keys the cache).
    Statement prepare(const char* sql);
    /// Runs SQL without parameters (several statements allowed).
    bool exec(const char* sql);
    /// What failed last, for "Log.txt": `what` and SQLite's own words.
    StoreError failure(const QString& what) const;

    /// Runs `body` in one write transaction (taken at once, so that two writers never meet
    /// half-way) and commits when it gives a value; rolls back otherwise.
    template <typename Body>
    auto write(Body&& body) -> decltype(body()) {
        return transaction("BEGIN IMMEDIATE", std::forward<Body>(body));
    }
    /// Runs `body` on one snapshot of the database.
    template <typename Body>
    auto read(Body&& body) -> decltype(body()) {
        return transaction("BEGIN", std::forward<Body>(body));
    }

    qint64 changes() const;
    qint64 lastInsertId() const;
    sqlite3* handle() const { return m_db; }

private:
    explicit Connection(sqlite3* db) : m_db(db) {}

    template <typename Body>
    auto transaction(const char* begin, Body&& body) -> decltype(body()) {
        if (!exec(begin)) return failure(QStringLiteral("начало транзакции"));
        auto result = body();
        if (!result.ok()) {
            exec("ROLLBACK");
            return result;
        }
        if (!exec("COMMIT")) {
            StoreError error = failure(QStringLiteral("запись транзакции"));
            exec("ROLLBACK");
            return error;
        }
        return result;
    }

    sqlite3* m_db;
    QHash<const char*, sqlite3_stmt*> m_statements;
};

}  // namespace telvane::store::sqlite
