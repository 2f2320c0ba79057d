#include "store/SqliteStore.h"

#include <sqlite3.h>

#include "Sqlite.h"
#include "SqliteSchema.h"

namespace telvane::store {

namespace {

using sqlite::Statement;
using Step = Statement::Step;

// Every query of a whole outgoing row lists these columns in this order (readOutgoing).
#define OUTGOING_COLUMNS                                                                           \
    "seq, id, origin, file_name, file_size, file_modified, file_sha256, place, in_send, number, "  \
    "text, report_wanted, state, destination, attempts, error_number, error_text, created, "       \
    "updated, sent_at, report_status, report_time, note, claim, modem, pinned, host, claimed_by, " \
    "lease_until"
#define INCOMING_COLUMNS \
    "id, key, kind, sender, time_stamp, text, file, number, stored, mark, modem"

OutgoingMessage readOutgoing(const Statement& s) {
    OutgoingMessage m;
    m.seq = s.integer(0);
    m.id = s.text(1);
    m.origin = originNamed(s.text(2));
    m.file = {s.text(3), s.integer(4), s.integer(5), s.text(6).toLatin1()};
    m.place = s.text(7);
    m.fileInSend = s.integer(8) != 0;
    m.number = s.text(9);
    m.text = s.text(10);
    m.reportWanted = s.integer(11) != 0;
    m.state = stateNamed(s.text(12)).value_or(OutgoingState::Queued);
    m.destination = s.text(13);
    m.attempts = int(s.integer(14));
    m.errorNumber = s.optionalInt(15);
    m.errorText = s.text(16);
    m.created = s.time(17);
    m.updated = s.time(18);
    m.sentAt = s.time(19);
    m.reportStatus = s.optionalInt(20);
    m.reportTime = s.time(21);
    m.note = s.text(22);
    m.claim = s.integer(23);
    m.modem = s.text(24);
    m.pinned = s.text(25);
    m.host = s.text(26);
    m.claimedBy = s.text(27);
    m.leaseUntil = s.time(28);
    return m;
}

IncomingMessage readIncoming(const Statement& s) {
    IncomingMessage m;
    m.id = s.integer(0);
    m.key = s.blob(1);
    m.kind = kindNamed(s.text(2));
    m.sender = s.text(3);
    m.timeStamp = s.text(4);
    m.text = s.text(5);
    m.file = s.text(6);
    m.number = s.text(7);
    m.stored = s.time(8);
    m.mark = s.text(9);
    m.modem = s.text(10);
    return m;
}

}  // namespace

Result<std::unique_ptr<Store>> SqliteStore::open(const QString& path) {
    auto connection = sqlite::Connection::open(path);
    if (!connection) return connection.error();
    std::unique_ptr<SqliteStore> store(new SqliteStore(std::move(connection.value())));
    if (auto migrated = store->migrate(); !migrated) return migrated.error();
    return std::unique_ptr<Store>(std::move(store));
}

SqliteStore::SqliteStore(std::unique_ptr<sqlite::Connection> db) : m_db(std::move(db)) {}

SqliteStore::~SqliteStore() = default;

StoreOpener SqliteStore::opener(const QString& path) {
    return [path] { return open(path); };
}

Result<Done> SqliteStore::migrate() {
    // Most openings find the newest schema: that look takes no write lock, so that a reader
    // opening the store never holds up the gateway's writes.
    {
        Statement version = m_db->prepare("PRAGMA user_version");
        if (version.step() == Step::Row && version.integer(0) == qint64(sqlite::kMigrations.size()))
            return Done{};
    }
    // Two programs may open a new home at once: the version is read and raised inside one
    // write transaction, so that each step runs once.
    for (;;) {
        const Result<bool> stepped = m_db->write([&]() -> Result<bool> {
            Statement version = m_db->prepare("PRAGMA user_version");
            if (version.step() != Step::Row) return m_db->failure(QStringLiteral("версия схемы"));
            const qint64 current = version.integer(0);
            if (current > qint64(sqlite::kMigrations.size()))
                return StoreError{
                    StoreError::Kind::Damaged,
                    QStringLiteral("база данных новее программы (версия %1)").arg(current)};
            if (current == qint64(sqlite::kMigrations.size())) return false;
            if (!m_db->exec(sqlite::kMigrations[size_t(current)]))
                return m_db->failure(QStringLiteral("схема, шаг %1").arg(current + 1));
            const QByteArray raise = "PRAGMA user_version=" + QByteArray::number(current + 1);
            if (!m_db->exec(raise.constData()))
                return m_db->failure(QStringLiteral("версия схемы"));
            return true;
        });
        if (!stepped) return stepped.error();
        if (!*stepped) return Done{};
    }
}

Result<bool> SqliteStore::readParts(OutgoingMessage& message) {
    Statement s = m_db->prepare(
        "SELECT pdu, tpdu_length, state, reference FROM outgoing_parts WHERE seq = ? ORDER BY "
        "part");
    s.bind(1, message.seq);
    message.parts.clear();
    Step step;
    while ((step = s.step()) == Step::Row)
        message.parts.push_back({s.text(0).toLatin1(), std::size_t(s.integer(1)),
                                 partStateNamed(s.text(2)), s.optionalInt(3)});
    if (step == Step::Failed) return m_db->failure(QStringLiteral("части сообщения"));
    return true;
}

Result<bool> SqliteStore::writeParts(const OutgoingMessage& message) {
    Statement clear = m_db->prepare("DELETE FROM outgoing_parts WHERE seq = ?");
    if (!clear.bind(1, message.seq).run()) return m_db->failure(QStringLiteral("части сообщения"));
    for (std::size_t i = 0; i < message.parts.size(); ++i) {
        const OutgoingPart& part = message.parts[i];
        Statement insert = m_db->prepare(
            "INSERT INTO outgoing_parts (seq, part, pdu, tpdu_length, state, reference) "
            "VALUES (?, ?, ?, ?, ?, ?)");
        insert.bind(1, message.seq)
            .bind(2, qint64(i))
            .bind(3, QString::fromLatin1(part.pdu))
            .bind(4, qint64(part.tpduLength))
            .bind(5, partStateName(part.state))
            .bind(6, part.reference);
        if (!insert.run()) return m_db->failure(QStringLiteral("части сообщения"));
    }
    return true;
}

Result<QList<OutgoingMessage>> SqliteStore::outgoingWhere(Statement& statement) {
    QList<OutgoingMessage> found;
    Step step;
    while ((step = statement.step()) == Step::Row) found << readOutgoing(statement);
    if (step == Step::Failed) return m_db->failure(QStringLiteral("чтение сообщений"));
    for (OutgoingMessage& message : found)
        if (auto parts = readParts(message); !parts) return parts.error();
    return found;
}

Result<OutgoingMessage> SqliteStore::addOutgoing(OutgoingMessage draft) {
    return m_db->write([&]() -> Result<OutgoingMessage> {
        if (draft.origin == Origin::File && draft.fileInSend) {
            Statement known = m_db->prepare(
                "SELECT " OUTGOING_COLUMNS
                " FROM outgoing WHERE in_send = 1 AND file_name = ? AND file_size = ? AND "
                "file_modified = ? AND file_sha256 = ? AND host = ?");
            known.bind(1, draft.file.name)
                .bind(2, draft.file.size)
                .bind(3, draft.file.modifiedMs)
                .bind(4, QString::fromLatin1(draft.file.sha256Hex))
                .bind(5, draft.host);
            auto found = outgoingWhere(known);
            if (!found) return found.error();
            if (!found->isEmpty()) return found->front();
        }
        const QString base = draft.id;
        for (int n = 2;; ++n) {
            Statement taken = m_db->prepare("SELECT 1 FROM outgoing WHERE id = ?");
            const Step step = taken.bind(1, draft.id).step();
            if (step == Step::Failed) return m_db->failure(QStringLiteral("номер сообщения"));
            if (step == Step::Done) break;
            draft.id = base + u'-' + QString::number(n);
        }
        const QDateTime now = QDateTime::currentDateTime();
        if (!draft.created.isValid()) draft.created = now;
        if (!draft.updated.isValid()) draft.updated = draft.created;
        Statement insert = m_db->prepare(
            "INSERT INTO outgoing (id, origin, file_name, file_size, file_modified, file_sha256, "
            "place, in_send, number, text, report_wanted, state, destination, attempts, "
            "error_number, error_text, created, updated, sent_at, last_reference, report_status, "
            "report_time, note, claim, modem, pinned, host, claimed_by, lease_until) "
            "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, "
            "?, ?, ?)");
        insert.bind(1, draft.id)
            .bind(2, originName(draft.origin))
            .bind(3, draft.file.name)
            .bind(4, draft.file.size)
            .bind(5, draft.file.modifiedMs)
            .bind(6, QString::fromLatin1(draft.file.sha256Hex))
            .bind(7, draft.place)
            .bind(8, draft.fileInSend)
            .bind(9, draft.number)
            .bind(10, draft.text)
            .bind(11, draft.reportWanted)
            .bind(12, stateName(draft.state))
            .bind(13, draft.destination)
            .bind(14, draft.attempts)
            .bind(15, draft.errorNumber)
            .bind(16, draft.errorText)
            .bind(17, draft.created)
            .bind(18, draft.updated)
            .bind(19, draft.sentAt)
            .bind(20, draft.lastReference())
            .bind(21, draft.reportStatus)
            .bind(22, draft.reportTime)
            .bind(23, draft.note)
            .bind(24, draft.claim)
            .bind(25, draft.modem)
            .bind(26, draft.pinned)
            .bind(27, draft.host)
            .bind(28, draft.claimedBy)
            .bind(29, draft.leaseUntil);
        if (!insert.run()) return m_db->failure(QStringLiteral("новое сообщение ") + draft.id);
        draft.seq = m_db->lastInsertId();
        if (auto parts = writeParts(draft); !parts) return parts.error();
        return draft;
    });
}

Result<std::optional<OutgoingMessage>> SqliteStore::outgoing(const QString& id) {
    return m_db->read([&]() -> Result<std::optional<OutgoingMessage>> {
        Statement s = m_db->prepare("SELECT " OUTGOING_COLUMNS " FROM outgoing WHERE id = ?");
        s.bind(1, id);
        return firstOf(outgoingWhere(s));
    });
}

Result<std::optional<OutgoingMessage>> SqliteStore::fileInSend(const FileIdentity& file,
                                                               const QString& host) {
    return m_db->read([&]() -> Result<std::optional<OutgoingMessage>> {
        Statement s = m_db->prepare("SELECT " OUTGOING_COLUMNS
                                    " FROM outgoing WHERE in_send = 1 AND file_name = ? AND "
                                    "file_size = ? AND file_modified = ? AND file_sha256 = ? AND "
                                    "host IN ('', ?) ORDER BY host DESC");
        s.bind(1, file.name)
            .bind(2, file.size)
            .bind(3, file.modifiedMs)
            .bind(4, QString::fromLatin1(file.sha256Hex))
            .bind(5, host);
        return firstOf(outgoingWhere(s));
    });
}

Result<QList<OutgoingMessage>> SqliteStore::filesInSend(const QString& host) {
    return m_db->read([&]() -> Result<QList<OutgoingMessage>> {
        Statement s = m_db->prepare("SELECT " OUTGOING_COLUMNS
                                    " FROM outgoing WHERE in_send = 1 AND host IN ('', ?) ORDER "
                                    "BY seq");
        s.bind(1, host);
        return outgoingWhere(s);
    });
}

Result<QList<OutgoingMessage>> SqliteStore::inState(OutgoingState state, int limit) {
    return m_db->read([&]() -> Result<QList<OutgoingMessage>> {
        Statement s = m_db->prepare("SELECT " OUTGOING_COLUMNS
                                    " FROM outgoing WHERE state = ? ORDER BY seq LIMIT ?");
        s.bind(1, stateName(state)).bind(2, limit);
        return outgoingWhere(s);
    });
}

Result<QList<OutgoingMessage>> SqliteStore::recent(int limit) {
    return m_db->read([&]() -> Result<QList<OutgoingMessage>> {
        Statement s =
            m_db->prepare("SELECT " OUTGOING_COLUMNS " FROM outgoing ORDER BY seq DESC LIMIT ?");
        s.bind(1, limit);
        return outgoingWhere(s);
    });
}

Result<qint64> SqliteStore::nextToken() {
    // Tokens come from one counter, so that no two claims ever share one.
    Statement token = m_db->prepare(
        "INSERT INTO facts (key, value) VALUES ('claim', '1') ON CONFLICT (key) DO UPDATE SET "
        "value = CAST(value AS INTEGER) + 1 RETURNING CAST(value AS INTEGER)");
    if (token.step() != Step::Row) return m_db->failure(QStringLiteral("номер захвата"));
    const qint64 claim = token.integer(0);
    token.run();
    return claim;
}

Result<std::optional<OutgoingMessage>> SqliteStore::take(qint64 seq, const Claimant& who,
                                                         const QDateTime& now) {
    auto claim = nextToken();
    if (!claim) return claim.error();
    Statement take = m_db->prepare(
        "UPDATE outgoing SET state = 'sending', claim = ?, updated = ?, modem = ?, claimed_by = ?, "
        "lease_until = ? WHERE seq = ? AND state = 'queued' AND pinned IN ('', ?)");
    take.bind(1, *claim)
        .bind(2, now)
        .bind(3, who.modem)
        .bind(4, who.host)
        .bind(5, now.addSecs(who.leaseSeconds))
        .bind(6, seq)
        .bind(7, who.modem);
    if (!take.run()) return m_db->failure(QStringLiteral("захват сообщения"));
    if (m_db->changes() == 0) return std::optional<OutgoingMessage>();
    Statement s = m_db->prepare("SELECT " OUTGOING_COLUMNS " FROM outgoing WHERE seq = ?");
    s.bind(1, seq);
    return firstOf(outgoingWhere(s));
}

Result<std::optional<OutgoingMessage>> SqliteStore::claimNext(const Claimant& who,
                                                              const QDateTime& now) {
    return m_db->write([&]() -> Result<std::optional<OutgoingMessage>> {
        auto allowed = withinCaps(who, now);
        if (!allowed) return allowed.error();
        if (!*allowed) return std::optional<OutgoingMessage>();
        // The oldest few are enough: the queue is worked from its head.
        Statement pick = m_db->prepare(
            "SELECT seq, destination, number, pinned FROM outgoing WHERE state = 'queued' AND "
            "pinned IN ('', ?) ORDER BY seq LIMIT 200");
        pick.bind(1, who.modem);
        QList<Candidate> queued;
        Step step;
        while ((step = pick.step()) == Step::Row) {
            const QString destination = pick.text(1);
            queued << Candidate{pick.integer(0), destination.isEmpty() ? pick.text(2) : destination,
                                pick.text(3)};
        }
        if (step == Step::Failed) return m_db->failure(QStringLiteral("выбор сообщения"));
        const std::optional<qint64> seq = pickFor(who, queued);
        if (!seq) return std::optional<OutgoingMessage>();
        return take(*seq, who, now);
    });
}

Result<std::optional<OutgoingMessage>> SqliteStore::claim(qint64 seq, const Claimant& who,
                                                          const QDateTime& now) {
    return m_db->write([&]() { return take(seq, who, now); });
}

Result<int> SqliteStore::partsSentBy(const QString& modem, const QDateTime& since) {
    // A message on its way has no sending time yet: its last write stands for it.
    Statement s = m_db->prepare(
        "SELECT COUNT(*) FROM outgoing_parts p JOIN outgoing o ON o.seq = p.seq WHERE o.modem = "
        "? AND p.state = 'confirmed' AND COALESCE(o.sent_at, o.updated) >= ?");
    if (s.bind(1, modem).bind(2, since).step() != Step::Row)
        return m_db->failure(QStringLiteral("отправленные модемом ") + modem);
    return int(s.integer(0));
}

Result<bool> SqliteStore::update(const OutgoingMessage& m) {
    return m_db->write([&]() -> Result<bool> {
        Statement s = m_db->prepare(
            "UPDATE outgoing SET place = ?, in_send = ?, number = ?, text = ?, report_wanted = ?, "
            "state = ?, destination = ?, attempts = ?, error_number = ?, error_text = ?, "
            "updated = ?, sent_at = ?, last_reference = ?, report_status = ?, report_time = ?, "
            "note = ?, modem = ?, lease_until = ? WHERE seq = ? AND claim = ?");
        s.bind(1, m.place)
            .bind(2, m.fileInSend)
            .bind(3, m.number)
            .bind(4, m.text)
            .bind(5, m.reportWanted)
            .bind(6, stateName(m.state))
            .bind(7, m.destination)
            .bind(8, m.attempts)
            .bind(9, m.errorNumber)
            .bind(10, m.errorText)
            .bind(11, m.updated.isValid() ? m.updated : QDateTime::currentDateTime())
            .bind(12, m.sentAt)
            .bind(13, m.lastReference())
            .bind(14, m.reportStatus)
            .bind(15, m.reportTime)
            .bind(16, m.note)
            .bind(17, m.modem)
            .bind(18, m.leaseUntil)
            .bind(19, m.seq)
            .bind(20, m.claim);
        if (!s.run()) return m_db->failure(QStringLiteral("запись сообщения ") + m.id);
        if (m_db->changes() == 0) return false;
        if (auto parts = writeParts(m); !parts) return parts.error();
        return true;
    });
}

Result<bool> SqliteStore::remove(const OutgoingMessage& m) {
    return m_db->write([&]() -> Result<bool> {
        Statement s = m_db->prepare("DELETE FROM outgoing WHERE seq = ? AND claim = ?");
        if (!s.bind(1, m.seq).bind(2, m.claim).run())
            return m_db->failure(QStringLiteral("удаление сообщения ") + m.id);
        return m_db->changes() > 0;
    });
}

// `held` lists the claimed messages to let go: their seq, and whether a part of theirs was
// written and not confirmed.
Result<QList<OutgoingMessage>> SqliteStore::release(Statement& held, const QDateTime& now) {
    QList<std::pair<qint64, bool>> rows;
    Step step;
    while ((step = held.step()) == Step::Row)
        rows << std::pair{held.integer(0), held.integer(1) != 0};
    if (step == Step::Failed) return m_db->failure(QStringLiteral("захваченные сообщения"));
    QList<OutgoingMessage> lost;
    for (const auto& [seq, unconfirmed] : rows) {
        // A new token, so that whoever held it can write nothing more about it.
        auto claim = nextToken();
        if (!claim) return claim.error();
        // Only a part written and not confirmed makes a message unconfirmed; one stopped between
        // parts, or after its last confirmation, goes on from its parts as recorded.
        Statement s = m_db->prepare(
            "UPDATE outgoing SET state = ?, updated = ?, claim = ?, claimed_by = '', lease_until = "
            "NULL "
            "WHERE seq = ? RETURNING " OUTGOING_COLUMNS);
        s.bind(1, stateName(unconfirmed ? OutgoingState::Unconfirmed : OutgoingState::Queued))
            .bind(2, now)
            .bind(3, *claim)
            .bind(4, seq);
        auto one = outgoingWhere(s);
        if (!one) return one.error();
        if (unconfirmed && !one->isEmpty()) lost << one->front();
    }
    return lost;
}

#define HELD_SELECT                                                                              \
    "SELECT seq, EXISTS (SELECT 1 FROM outgoing_parts p WHERE p.seq = outgoing.seq AND p.state " \
    "= 'submitted') FROM outgoing WHERE state IN ('sending', 'submitted') AND "

Result<QList<OutgoingMessage>> SqliteStore::recover(const QString& host, const QString& modem,
                                                    const QDateTime& now) {
    return m_db->write([&]() {
        // Another modem of the same gateway is still at work on its own claims.
        Statement held = m_db->prepare(HELD_SELECT "claimed_by IN ('', ?) AND modem IN ('', ?)");
        held.bind(1, host).bind(2, modem);
        return release(held, now);
    });
}

Result<QList<OutgoingMessage>> SqliteStore::reclaimExpired(const QDateTime& now) {
    return m_db->write([&]() {
        Statement held = m_db->prepare(HELD_SELECT "lease_until < ?");
        held.bind(1, now);
        return release(held, now);
    });
}

Result<QList<OutgoingMessage>> SqliteStore::awaitingReport(int reference, const QDateTime& since) {
    return m_db->read([&]() -> Result<QList<OutgoingMessage>> {
        Statement s = m_db->prepare(
            "SELECT " OUTGOING_COLUMNS
            " FROM outgoing WHERE last_reference = ? AND report_wanted = 1 AND state IN ('sent', "
            "'pending') AND sent_at >= ? ORDER BY seq");
        s.bind(1, reference).bind(2, since);
        return outgoingWhere(s);
    });
}

Result<QueueFigures> SqliteStore::queue() {
    Statement s = m_db->prepare(
        "SELECT COUNT(*), MIN(created) FROM outgoing WHERE state IN ('queued', 'sending', "
        "'submitted')");
    if (s.step() != Step::Row) return m_db->failure(QStringLiteral("очередь"));
    QueueFigures figures;
    figures.waiting = int(s.integer(0));
    if (!s.isNull(1)) figures.oldest = s.time(1);
    return figures;
}

Result<QList<HourFigures>> SqliteStore::trafficByHour(const QDateTime& from, int hours) {
    QList<HourFigures> figures;
    for (int hour = 0; hour < hours; ++hour) figures.append({from.addSecs(3600LL * hour)});
    if (figures.isEmpty()) return figures;
    return m_db->read([&]() -> Result<QList<HourFigures>> {
        // Counted by the database, each from an index by time that holds all it needs: a row
        // per figure and hour. The failed are named their index: by state alone the planner
        // would walk every failed message there ever was.
        Statement s = m_db->prepare(
            "SELECT 0, (sent_at - ?1) / 3600000 AS hour, COUNT(*) FROM outgoing WHERE sent_at >= "
            "?1 AND sent_at < ?2 GROUP BY hour "
            "UNION ALL SELECT 1, (stored - ?1) / 3600000 AS hour, COUNT(*) FROM incoming WHERE "
            "stored >= ?1 AND stored < ?2 AND kind = 'message' GROUP BY hour "
            "UNION ALL SELECT 2, (updated - ?1) / 3600000 AS hour, COUNT(*) FROM outgoing INDEXED "
            "BY outgoing_failed_by_time WHERE state = 'failed' AND updated >= ?1 AND updated < ?2 "
            "GROUP BY hour");
        s.bind(1, from).bind(2, from.addSecs(3600LL * hours));
        Step step;
        while ((step = s.step()) == Step::Row) {
            HourFigures& hour = figures[qsizetype(s.integer(1))];
            const int count = int(s.integer(2));
            switch (s.integer(0)) {
                case 0:
                    hour.sent = count;
                    break;
                case 1:
                    hour.received = count;
                    break;
                default:
                    hour.failed = count;
            }
        }
        if (step == Step::Failed) return m_db->failure(QStringLiteral("сообщения по часам"));
        return figures;
    });
}

Result<IncomingMessage> SqliteStore::beginIncoming(IncomingMessage draft) {
    return m_db->write([&]() -> Result<IncomingMessage> {
        Statement known = m_db->prepare("SELECT " INCOMING_COLUMNS " FROM incoming WHERE key = ?");
        const Step step = known.bind(1, draft.key).step();
        if (step == Step::Failed) return m_db->failure(QStringLiteral("ключ сообщения"));
        if (step == Step::Row) return readIncoming(known);
        Statement insert = m_db->prepare(
            "INSERT INTO incoming (id, key, kind, sender, time_stamp, text, file, number, stored, "
            "mark, modem) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
        if (draft.id > 0)
            insert.bind(1, draft.id);
        else
            insert.bindNull(1);
        insert.bind(2, draft.key)
            .bind(3, kindName(draft.kind))
            .bind(4, draft.sender)
            .bind(5, draft.timeStamp)
            .bind(6, draft.text)
            .bind(7, draft.file)
            .bind(8, draft.number)
            .bind(9, draft.stored)
            .bind(10, draft.mark)
            .bind(11, draft.modem);
        if (!insert.run()) return m_db->failure(QStringLiteral("новое принятое сообщение"));
        draft.id = m_db->lastInsertId();
        return draft;
    });
}

Result<Done> SqliteStore::retarget(qint64 id, const QString& file, const QString& mark) {
    return m_db->write([&]() -> Result<Done> {
        Statement s =
            m_db->prepare("UPDATE incoming SET file = ?, mark = ? WHERE id = ? AND stored IS NULL");
        if (!s.bind(1, file).bind(2, mark).bind(3, id).run())
            return m_db->failure(QStringLiteral("принятое сообщение"));
        return Done{};
    });
}

Result<Done> SqliteStore::markStored(qint64 id, const QString& file, const QDateTime& when) {
    return m_db->write([&]() -> Result<Done> {
        Statement s = m_db->prepare("UPDATE incoming SET file = ?, stored = ? WHERE id = ?");
        if (!s.bind(1, file).bind(2, when).bind(3, id).run())
            return m_db->failure(QStringLiteral("принятое сообщение"));
        return Done{};
    });
}

Result<std::optional<IncomingMessage>> SqliteStore::incoming(const QByteArray& key) {
    Statement s = m_db->prepare("SELECT " INCOMING_COLUMNS " FROM incoming WHERE key = ?");
    switch (s.bind(1, key).step()) {
        case Step::Row:
            return std::optional(readIncoming(s));
        case Step::Done:
            return std::optional<IncomingMessage>();
        case Step::Failed:
            break;
    }
    return m_db->failure(QStringLiteral("ключ сообщения"));
}

Result<QList<IncomingMessage>> SqliteStore::unstoredIncoming() {
    Statement s =
        m_db->prepare("SELECT " INCOMING_COLUMNS " FROM incoming WHERE stored IS NULL ORDER BY id");
    QList<IncomingMessage> found;
    Step step;
    while ((step = s.step()) == Step::Row) found << readIncoming(s);
    if (step == Step::Failed) return m_db->failure(QStringLiteral("принятые сообщения"));
    return found;
}

Result<InboxPage> SqliteStore::inbox(qint64 after, int limit) {
    Statement s = m_db->prepare("SELECT " INCOMING_COLUMNS
                                " FROM incoming WHERE kind = 'message' AND stored IS NOT NULL "
                                "AND id > ? ORDER BY id LIMIT ?");
    s.bind(1, after).bind(2, limit + 1);
    InboxPage page;
    Step step;
    while ((step = s.step()) == Step::Row) page.messages << readIncoming(s);
    if (step == Step::Failed) return m_db->failure(QStringLiteral("входящие"));
    page.more = page.messages.size() > limit;
    if (page.more) page.messages.removeLast();
    return page;
}

Result<qint64> SqliteStore::newestIncoming() {
    Statement s = m_db->prepare(
        "SELECT COALESCE(MAX(id), 0) FROM incoming WHERE kind = 'message' AND stored IS NOT "
        "NULL");
    if (s.step() != Step::Row) return m_db->failure(QStringLiteral("входящие"));
    return s.integer(0);
}

Result<qint64> SqliteStore::addEvent(const QByteArray& body, const QDateTime& now) {
    return m_db->write([&]() -> Result<qint64> {
        Statement s = m_db->prepare("INSERT INTO webhook_events (body, created) VALUES (?, ?)");
        if (!s.bind(1, body).bind(2, now).run())
            return m_db->failure(QStringLiteral("событие Webhook"));
        return m_db->lastInsertId();
    });
}

Result<std::optional<WebhookEvent>> SqliteStore::nextEvent(qint64 after) {
    Statement s = m_db->prepare(
        "SELECT id, body, created FROM webhook_events WHERE id > ? AND delivered IS NULL ORDER "
        "BY id LIMIT 1");
    switch (s.bind(1, after).step()) {
        case Step::Row:
            return std::optional(WebhookEvent{s.integer(0), s.blob(1), s.time(2)});
        case Step::Done:
            return std::optional<WebhookEvent>();
        case Step::Failed:
            break;
    }
    return m_db->failure(QStringLiteral("очередь Webhook"));
}

Result<Done> SqliteStore::eventDelivered(qint64 id, const QDateTime& when) {
    return m_db->write([&]() -> Result<Done> {
        Statement s = m_db->prepare("UPDATE webhook_events SET delivered = ? WHERE id = ?");
        if (!s.bind(1, when).bind(2, id).run())
            return m_db->failure(QStringLiteral("очередь Webhook"));
        return Done{};
    });
}

Result<Done> SqliteStore::beat(const ModemBeat& b) {
    return m_db->write([&]() -> Result<Done> {
        Statement s = m_db->prepare(
            "INSERT INTO modems (host, name, port, model, operator, registration, signal, "
            "in_service, sent_today, limit_left, blocked_until, seen) VALUES (?, ?, ?, ?, ?, ?, ?, "
            "?, ?, ?, ?, ?) ON CONFLICT (host, name) DO UPDATE SET port = excluded.port, model = "
            "excluded.model, operator = excluded.operator, registration = excluded.registration, "
            "signal = excluded.signal, in_service = excluded.in_service, sent_today = "
            "excluded.sent_today, limit_left = excluded.limit_left, blocked_until = "
            "excluded.blocked_until, seen = excluded.seen");
        s.bind(1, b.host)
            .bind(2, b.name)
            .bind(3, b.port)
            .bind(4, b.model)
            .bind(5, b.operatorName)
            .bind(6, b.registration)
            .bind(7, b.signal)
            .bind(8, b.inService)
            .bind(9, b.sentToday)
            .bind(10, b.limitLeft)
            .bind(11, b.blockedUntil)
            .bind(12, b.seen);
        if (!s.run()) return m_db->failure(QStringLiteral("модем ") + b.name);
        return Done{};
    });
}

Result<QList<ModemBeat>> SqliteStore::modems() {
    Statement s = m_db->prepare(
        "SELECT host, name, port, model, operator, registration, signal, in_service, sent_today, "
        "limit_left, blocked_until, seen FROM modems ORDER BY host, name");
    QList<ModemBeat> found;
    Step step;
    while ((step = s.step()) == Step::Row)
        found << ModemBeat{s.text(0),         s.text(1),        s.text(2),        s.text(3),
                           s.text(4),         s.optionalInt(5), s.optionalInt(6), s.integer(7) != 0,
                           int(s.integer(8)), s.optionalInt(9), s.time(10),       s.time(11)};
    if (step == Step::Failed) return m_db->failure(QStringLiteral("модемы"));
    return found;
}

Result<bool> SqliteStore::lead(const QString& name, const QString& host, const QDateTime& now,
                               int seconds) {
    return m_db->write([&]() -> Result<bool> {
        Statement s = m_db->prepare(
            "INSERT INTO leases (name, host, until) VALUES (?1, ?2, ?3) ON CONFLICT (name) DO "
            "UPDATE SET host = excluded.host, until = excluded.until WHERE leases.host = "
            "excluded.host OR leases.until < ?4");
        if (!s.bind(1, name).bind(2, host).bind(3, now.addSecs(seconds)).bind(4, now).run())
            return m_db->failure(QStringLiteral("аренда ") + name);
        return m_db->changes() > 0;
    });
}

Result<std::optional<QString>> SqliteStore::fact(const QString& key) {
    Statement s = m_db->prepare("SELECT value FROM facts WHERE key = ?");
    switch (s.bind(1, key).step()) {
        case Step::Row:
            return std::optional(s.text(0));
        case Step::Done:
            return std::optional<QString>();
        case Step::Failed:
            break;
    }
    return m_db->failure(QStringLiteral("сведения ") + key);
}

Result<Done> SqliteStore::setFact(const QString& key, const QString& value) {
    return m_db->write([&]() -> Result<Done> {
        Statement s = m_db->prepare(
            "INSERT INTO facts (key, value) VALUES (?, ?) ON CONFLICT (key) DO UPDATE SET value = "
            "excluded.value");
        if (!s.bind(1, key).bind(2, value).run())
            return m_db->failure(QStringLiteral("сведения ") + key);
        return Done{};
    });
}

Result<qint64> SqliteStore::prune(const QDateTime& before) {
    return m_db->write([&]() -> Result<qint64> {
        qint64 removed = 0;
        // Parts go with their message (ON DELETE CASCADE).
        for (const char* sql :
             {"DELETE FROM outgoing WHERE in_send = 0 AND updated < ?1 AND (state IN "
              "('delivered', 'failed') OR (state = 'sent' AND report_wanted = 0) OR (state IN "
              "('sent', 'pending') AND sent_at < ?1))",
              "DELETE FROM incoming WHERE stored < ?1",
              "DELETE FROM webhook_events WHERE delivered < ?1"}) {
            Statement s = m_db->prepare(sql);
            if (!s.bind(1, before).run()) return m_db->failure(QStringLiteral("очистка"));
            removed += m_db->changes();
        }
        return removed;
    });
}

}  // namespace telvane::store
