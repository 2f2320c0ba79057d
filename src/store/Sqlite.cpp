#include "Sqlite.h"

#include <sqlite3.h>

namespace telvane::store::sqlite {

namespace {

// Long enough for a writer on another thread to finish a transaction on a slow disk; short
// enough that a stuck one shows as an error instead of a hang.
constexpr int kBusyTimeoutMs = 10000;

StoreError::Kind kindOf(int code) {
    switch (code & 0xff) {
        case SQLITE_FULL:
            return StoreError::Kind::Full;
        case SQLITE_BUSY:
        case SQLITE_LOCKED:
            return StoreError::Kind::Busy;
        case SQLITE_CANTOPEN:
        case SQLITE_PERM:
        case SQLITE_READONLY:
            return StoreError::Kind::Unavailable;
        case SQLITE_CORRUPT:
        case SQLITE_NOTADB:
            return StoreError::Kind::Damaged;
        default:
            return StoreError::Kind::Other;
    }
}

}  // namespace

Statement::Statement(Connection& connection, sqlite3_stmt* statement)
    : m_connection(&connection), m_statement(statement) {}

Statement::Statement(Statement&& other) noexcept
    : m_connection(other.m_connection), m_statement(std::exchange(other.m_statement, nullptr)) {}

Statement::~Statement() {
    if (!m_statement) return;
    sqlite3_reset(m_statement);
    sqlite3_clear_bindings(m_statement);
}

Statement& Statement::bind(int index, qint64 value) {
    if (m_statement) sqlite3_bind_int64(m_statement, index, value);
    return *this;
}

Statement& Statement::bind(int index, const QString& value) {
    const QByteArray utf8 = value.toUtf8();
    if (m_statement)
        sqlite3_bind_text(m_statement, index, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
    return *this;
}

Statement& Statement::bind(int index, const QByteArray& value) {
    if (m_statement)
        sqlite3_bind_blob(m_statement, index, value.constData(), int(value.size()),
                          SQLITE_TRANSIENT);
    return *this;
}

Statement& Statement::bind(int index, const std::optional<int>& value) {
    return value ? bind(index, qint64(*value)) : bindNull(index);
}

Statement& Statement::bind(int index, const QDateTime& value) {
    return value.isValid() ? bind(index, value.toMSecsSinceEpoch()) : bindNull(index);
}

Statement& Statement::bindNull(int index) {
    if (m_statement) sqlite3_bind_null(m_statement, index);
    return *this;
}

Statement::Step Statement::step() {
    if (!m_statement) return Step::Failed;
    switch (sqlite3_step(m_statement)) {
        case SQLITE_ROW:
            return Step::Row;
        case SQLITE_DONE:
            return Step::Done;
        default:
            return Step::Failed;
    }
}

bool Statement::run() {
    Step step;
    while ((step = this->step()) == Step::Row) {
    }
    return step == Step::Done;
}

qint64 Statement::integer(int column) const { return sqlite3_column_int64(m_statement, column); }

QString Statement::text(int column) const {
    const auto* bytes = reinterpret_cast<const char*>(sqlite3_column_text(m_statement, column));
    return QString::fromUtf8(bytes, sqlite3_column_bytes(m_statement, column));
}

QByteArray Statement::blob(int column) const {
    const auto* bytes = static_cast<const char*>(sqlite3_column_blob(m_statement, column));
    return QByteArray(bytes, sqlite3_column_bytes(m_statement, column));
}

bool Statement::isNull(int column) const {
    return sqlite3_column_type(m_statement, column) == SQLITE_NULL;
}

std::optional<int> Statement::optionalInt(int column) const {
    if (isNull(column)) return std::nullopt;
    return int(integer(column));
}

QDateTime Statement::time(int column) const {
    if (isNull(column)) return {};
    return QDateTime::fromMSecsSinceEpoch(integer(column));
}

Result<std::unique_ptr<Connection>> Connection::open(const QString& path) {
    sqlite3* db = nullptr;
    const QByteArray name = path.toUtf8();
    const int opened = sqlite3_open_v2(
        name.constData(), &db,
        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX | SQLITE_OPEN_NOFOLLOW,
        nullptr);
    std::unique_ptr<Connection> connection(new Connection(db));
    if (opened != SQLITE_OK) return connection->failure(QStringLiteral("открытие ") + path);
    sqlite3_extended_result_codes(db, 1);
    sqlite3_busy_timeout(db, kBusyTimeoutMs);
    // A message is acknowledged, or deleted from the phone, only once its transaction is on
    // the disk: FULL syncs the log at every commit, not only at checkpoints.
    // Every modem's engine and every answering thread has a connection of its own: a small page
    // cache each keeps a pool of 64 modems within its memory, the file cache holds the rest.
    if (!connection->exec("PRAGMA journal_mode=WAL; PRAGMA synchronous=FULL; "
                          "PRAGMA foreign_keys=ON; PRAGMA cache_size=-512;"))
        return connection->failure(QStringLiteral("настройка ") + path);
    return connection;
}

Connection::~Connection() {
    for (sqlite3_stmt* statement : std::as_const(m_statements)) sqlite3_finalize(statement);
    sqlite3_close_v2(m_db);
}

Statement Connection::prepare(const char* sql) {
    sqlite3_stmt*& cached = m_statements[sql];
    if (!cached &&
        sqlite3_prepare_v3(m_db, sql, -1, SQLITE_PREPARE_PERSISTENT, &cached, nullptr) != SQLITE_OK)
        cached = nullptr;
    return Statement(*this, cached);
}

bool Connection::exec(const char* sql) {
    return sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

StoreError Connection::failure(const QString& what) const {
    if (!m_db) return {StoreError::Kind::Unavailable, what + QStringLiteral(": нет памяти")};
    const int code = sqlite3_extended_errcode(m_db);
    return {kindOf(code), what + QStringLiteral(": ") + QString::fromUtf8(sqlite3_errmsg(m_db))};
}

qint64 Connection::changes() const { return sqlite3_changes64(m_db); }

qint64 Connection::lastInsertId() const { return sqlite3_last_insert_rowid(m_db); }

}  // namespace telvane::store::sqlite
