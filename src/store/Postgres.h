#pragma once
// A small wrapper over libpq: one connection, every value sent as a parameter of its own
// (PQexecParams: never formatted into the SQL text), every failure turned into a StoreError,
// and a connection that was lost opened again at the next call (listening again where it
// listened).

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <functional>
#include <memory>
#include <optional>
#include <unordered_map>
#include <vector>

#include "store/Store.h"

struct pg_conn;
struct pg_result;

namespace telvane::store::postgres {

/// One parameter, as text (libpq's text format); nothing for NULL.
using Value = std::optional<QByteArray>;

Value value(qint64 n);
Value value(int n);
Value value(bool b);
Value value(const QString& text);
Value bytes(const QByteArray& data);  ///< a bytea, as its hex text
Value value(const std::optional<int>& n);
Value value(const QDateTime& time);  ///< milliseconds since the epoch; NULL when invalid

/// The rows of a query; columns by number from 0.
class Rows {
public:
    explicit Rows(pg_result* result);
    Rows(Rows&& other) noexcept;
    Rows& operator=(Rows&&) = delete;
    Rows(const Rows&) = delete;
    ~Rows();

    int size() const;
    bool isNull(int row, int column) const;
    qint64 integer(int row, int column) const;
    QString text(int row, int column) const;
    QByteArray bytes(int row, int column) const;  ///< a bytea column
    std::optional<int> optionalInt(int row, int column) const;
    QDateTime time(int row, int column) const;  ///< invalid for NULL
    /// Rows changed by an INSERT, UPDATE or DELETE.
    qint64 changed() const;

private:
    pg_result* m_result;
};

class Connection {
public:
    /// Connects with a libpq connection string ("host=/run/postgresql dbname=telvane", or a
    /// postgresql:// URL); the password comes from the string or PGPASSFILE, never printed.
    static Result<std::unique_ptr<Connection>> open(const QString& url);
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;
    ~Connection();

    /// Runs one statement with its parameters ($1, $2...). `sql` must be a literal: it is
    /// prepared once per connection, known by its address.
    Result<Rows> run(const char* sql, const std::vector<Value>& parameters = {});
    /// Runs several statements without parameters (a schema step).
    Result<Done> script(const char* sql);
    /// Runs `body` in one transaction (committed when it gives a value, rolled back otherwise).
    template <typename Body>
    auto transaction(Body&& body) -> decltype(body()) {
        if (auto begun = run("BEGIN"); !begun) return begun.error();
        auto result = body();
        if (!result.ok()) {
            (void)run("ROLLBACK");
            return result;
        }
        if (auto committed = run("COMMIT"); !committed) return committed.error();
        return result;
    }

    /// LISTEN on `channel` now and after every reconnection.
    Result<Done> listen(const QString& channel);
    /// The socket to watch for notifications; -1 while not connected.
    int socket() const;
    /// The notifications that came, read off the socket; the names of their channels.
    QStringList takeNotifications();

private:
    explicit Connection(QString url) : m_url(std::move(url)) {}
    Result<Done> connect();
    StoreError failure(const QString& what, pg_result* result = nullptr) const;
    pg_result* execute(const char* sql, const std::vector<const char*>& values);

    QString m_url;
    pg_conn* m_conn = nullptr;
    bool m_broken = false;         ///< the server dropped it: opened again at the next call
    bool m_inTransaction = false;  ///< between BEGIN and its end
    QStringList m_channels;
    /// Statements prepared on this connection: their names, by the address of their text.
    std::unordered_map<const char*, QByteArray> m_prepared;
};

}  // namespace telvane::store::postgres
