#include "Postgres.h"

#include <libpq-fe.h>

namespace telvane::store::postgres {

namespace {

// SQLSTATE classes and codes (PostgreSQL's appendix A) that say more than "it failed".
StoreError::Kind kindOf(const char* state) {
    const QByteArray code(state ? state : "");
    if (code == "53100") return StoreError::Kind::Full;  // disk_full
    if (code.startsWith("08") || code == "57P01" || code == "57P02" || code == "57P03")
        return StoreError::Kind::Unavailable;  // connection lost, admin shutdown, starting up
    if (code == "40001" || code == "40P01" || code == "55P03") return StoreError::Kind::Busy;
    if (code.startsWith("XX")) return StoreError::Kind::Damaged;
    return StoreError::Kind::Other;
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

Value value(qint64 n) { return QByteArray::number(n); }
Value value(int n) { return QByteArray::number(n); }
Value value(bool b) { return b ? QByteArray("1") : QByteArray("0"); }
Value value(const QString& text) { return text.toUtf8(); }
Value bytes(const QByteArray& data) { return "\\x" + data.toHex(); }
Value value(const std::optional<int>& n) {
    return n ? Value(QByteArray::number(*n)) : std::nullopt;
}
Value value(const QDateTime& time) {
    return time.isValid() ? Value(QByteArray::number(time.toMSecsSinceEpoch())) : std::nullopt;
}

Rows::Rows(pg_result* result) : m_result(result) {}

Rows::Rows(Rows&& other) noexcept : m_result(std::exchange(other.m_result, nullptr)) {}

Rows::~Rows() {
    if (m_result) PQclear(m_result);
}

int Rows::size() const { return m_result ? PQntuples(m_result) : 0; }

bool Rows::isNull(int row, int column) const { return PQgetisnull(m_result, row, column) != 0; }

qint64 Rows::integer(int row, int column) const {
    return QByteArray(PQgetvalue(m_result, row, column)).toLongLong();
}

QString Rows::text(int row, int column) const {
    return QString::fromUtf8(PQgetvalue(m_result, row, column), PQgetlength(m_result, row, column));
}

QByteArray Rows::bytes(int row, int column) const {
    // bytea in text form: "\x" and two hex digits a byte.
    const char* text = PQgetvalue(m_result, row, column);
    const int length = PQgetlength(m_result, row, column);
    QByteArray out;
    if (length < 2 || text[0] != '\\' || text[1] != 'x') return out;
    out.reserve((length - 2) / 2);
    for (int i = 2; i + 1 < length; i += 2)
        out.append(char(hexDigit(text[i]) * 16 + hexDigit(text[i + 1])));
    return out;
}

std::optional<int> Rows::optionalInt(int row, int column) const {
    if (isNull(row, column)) return std::nullopt;
    return int(integer(row, column));
}

QDateTime Rows::time(int row, int column) const {
    if (isNull(row, column)) return {};
    return QDateTime::fromMSecsSinceEpoch(integer(row, column));
}

qint64 Rows::changed() const {
    return m_result ? QByteArray(PQcmdTuples(m_result)).toLongLong() : 0;
}

Result<std::unique_ptr<Connection>> Connection::open(const QString& url) {
    std::unique_ptr<Connection> connection(new Connection(url));
    if (auto connected = connection->connect(); !connected) return connected.error();
    return connection;
}

Connection::~Connection() {
    if (m_conn) PQfinish(m_conn);
}

Result<Done> Connection::connect() {
    if (m_conn) PQfinish(m_conn);
    m_prepared.clear();  // a new session knows none of them
    m_conn = PQconnectdb(m_url.toUtf8().constData());
    if (!m_conn || PQstatus(m_conn) != CONNECTION_OK)
        return StoreError{StoreError::Kind::Unavailable,
                          QStringLiteral("соединение с PostgreSQL: ") +
                              QString::fromUtf8(m_conn ? PQerrorMessage(m_conn) : "").trimmed()};
    // "already exists, skipping" and the like are the server thinking aloud, not something to
    // put on the gateway's stderr at every start.
    PQsetNoticeProcessor(
        m_conn, [](void*, const char*) {}, nullptr);
    // A connection made anew hears what the lost one heard.
    for (const QString& channel : std::as_const(m_channels)) {
        const QByteArray name = channel.toUtf8();
        char* quoted = PQescapeIdentifier(m_conn, name.constData(), size_t(name.size()));
        PQclear(PQexec(m_conn, ("LISTEN " + QByteArray(quoted)).constData()));
        PQfreemem(quoted);
    }
    return Done{};
}

StoreError Connection::failure(const QString& what, pg_result* result) const {
    const char* state = result ? PQresultErrorField(result, PG_DIAG_SQLSTATE) : nullptr;
    QString message = QString::fromUtf8(result ? PQresultErrorMessage(result) : "").trimmed();
    if (message.isEmpty() && m_conn) message = QString::fromUtf8(PQerrorMessage(m_conn)).trimmed();
    StoreError::Kind kind = kindOf(state);
    // The server's own errors carry a SQLSTATE; libpq's (a connection lost) carry none.
    if (!m_conn || PQstatus(m_conn) != CONNECTION_OK || !state || !*state)
        kind = StoreError::Kind::Unavailable;
    return {kind, what + QStringLiteral(": ") + message};
}

Result<Rows> Connection::run(const char* sql, const std::vector<Value>& parameters) {
    std::vector<const char*> values;
    values.reserve(parameters.size());
    for (const Value& v : parameters) values.push_back(v ? v->constData() : nullptr);
    // A connection the server dropped (a restart, a failover) is opened again, and a statement
    // outside a transaction tried once more on it; inside one, the transaction fails as a whole.
    for (int attempt = 0;; ++attempt) {
        if (m_broken || !m_conn || PQstatus(m_conn) != CONNECTION_OK) {
            if (m_inTransaction)
                return StoreError{StoreError::Kind::Unavailable,
                                  QStringLiteral("PostgreSQL: соединение потеряно")};
            if (auto connected = connect(); !connected) return connected.error();
            m_broken = false;
        }
        PGresult* result = execute(sql, values);
        const ExecStatusType status = result ? PQresultStatus(result) : PGRES_FATAL_ERROR;
        if (status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK) {
            if (qstrcmp(sql, "BEGIN") == 0) m_inTransaction = true;
            if (qstrcmp(sql, "COMMIT") == 0 || qstrcmp(sql, "ROLLBACK") == 0)
                m_inTransaction = false;
            return Rows(result);
        }
        StoreError error = failure(QStringLiteral("PostgreSQL"), result);
        if (result) PQclear(result);
        if (error.kind != StoreError::Kind::Unavailable) {
            if (qstrcmp(sql, "COMMIT") == 0 || qstrcmp(sql, "ROLLBACK") == 0)
                m_inTransaction = false;
            return error;
        }
        m_broken = true;
        const bool wasInTransaction = std::exchange(m_inTransaction, false);
        if (wasInTransaction || attempt > 0) return error;
    }
}

// Parsed and planned once per connection: a claim or an update is then one round trip of
// parameters, not a statement's text to parse again.
pg_result* Connection::execute(const char* sql, const std::vector<const char*>& values) {
    auto known = m_prepared.find(sql);
    if (known == m_prepared.end()) {
        const QByteArray name = "t" + QByteArray::number(qulonglong(m_prepared.size()));
        PGresult* prepared = PQprepare(m_conn, name.constData(), sql, int(values.size()), nullptr);
        if (!prepared || PQresultStatus(prepared) != PGRES_COMMAND_OK) return prepared;
        PQclear(prepared);
        known = m_prepared.emplace(sql, name).first;
    }
    return PQexecPrepared(m_conn, known->second.constData(), int(values.size()), values.data(),
                          nullptr, nullptr, 0);
}

Result<Done> Connection::script(const char* sql) {
    if (!m_conn || PQstatus(m_conn) != CONNECTION_OK) {
        if (auto connected = connect(); !connected) return connected.error();
    }
    PGresult* result = PQexec(m_conn, sql);
    const ExecStatusType status = result ? PQresultStatus(result) : PGRES_FATAL_ERROR;
    if (status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK) {
        PQclear(result);
        return Done{};
    }
    StoreError error = failure(QStringLiteral("PostgreSQL"), result);
    if (result) PQclear(result);
    return error;
}

Result<Done> Connection::listen(const QString& channel) {
    if (!m_channels.contains(channel)) m_channels << channel;
    if (!m_conn || PQstatus(m_conn) != CONNECTION_OK) return connect();
    const QByteArray name = channel.toUtf8();
    char* quoted = PQescapeIdentifier(m_conn, name.constData(), size_t(name.size()));
    const QByteArray sql = "LISTEN " + QByteArray(quoted);
    PQfreemem(quoted);
    return script(sql.constData());
}

int Connection::socket() const {
    return m_conn && PQstatus(m_conn) == CONNECTION_OK ? PQsocket(m_conn) : -1;
}

QStringList Connection::takeNotifications() {
    QStringList channels;
    if (!m_conn) return channels;
    PQconsumeInput(m_conn);
    while (PGnotify* notice = PQnotifies(m_conn)) {
        channels << QString::fromUtf8(notice->relname);
        PQfreemem(notice);
    }
    return channels;
}

}  // namespace telvane::store::postgres
