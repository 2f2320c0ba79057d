#include "store/PostgresStore.h"

#include "Postgres.h"
#include "PostgresSchema.h"
#include "store/QueueBell.h"

namespace telvane::store {

namespace {

using postgres::bytes;
using postgres::Rows;
using postgres::value;
using Values = std::vector<postgres::Value>;

// Every query of a whole outgoing row lists these columns in this order (outgoingAt).
#define OUTGOING_COLUMNS                                                                           \
    "seq, id, origin, file_name, file_size, file_modified, file_sha256, place, in_send, number, "  \
    "text, report_wanted, state, destination, attempts, error_number, error_text, created, "       \
    "updated, sent_at, report_status, report_time, note, claim, modem, pinned, host, claimed_by, " \
    "lease_until"
#define INCOMING_COLUMNS \
    "id, key, kind, sender, time_stamp, text, file, number, stored, mark, modem"

OutgoingMessage outgoingAt(const Rows& r, int i) {
    OutgoingMessage m;
    m.seq = r.integer(i, 0);
    m.id = r.text(i, 1);
    m.origin = originNamed(r.text(i, 2));
    m.file = {r.text(i, 3), r.integer(i, 4), r.integer(i, 5), r.text(i, 6).toLatin1()};
    m.place = r.text(i, 7);
    m.fileInSend = r.integer(i, 8) != 0;
    m.number = r.text(i, 9);
    m.text = r.text(i, 10);
    m.reportWanted = r.integer(i, 11) != 0;
    m.state = stateNamed(r.text(i, 12)).value_or(OutgoingState::Queued);
    m.destination = r.text(i, 13);
    m.attempts = int(r.integer(i, 14));
    m.errorNumber = r.optionalInt(i, 15);
    m.errorText = r.text(i, 16);
    m.created = r.time(i, 17);
    m.updated = r.time(i, 18);
    m.sentAt = r.time(i, 19);
    m.reportStatus = r.optionalInt(i, 20);
    m.reportTime = r.time(i, 21);
    m.note = r.text(i, 22);
    m.claim = r.integer(i, 23);
    m.modem = r.text(i, 24);
    m.pinned = r.text(i, 25);
    m.host = r.text(i, 26);
    m.claimedBy = r.text(i, 27);
    m.leaseUntil = r.time(i, 28);
    return m;
}

IncomingMessage incomingAt(const Rows& r, int i) {
    IncomingMessage m;
    m.id = r.integer(i, 0);
    m.key = r.bytes(i, 1);
    m.kind = kindNamed(r.text(i, 2));
    m.sender = r.text(i, 3);
    m.timeStamp = r.text(i, 4);
    m.text = r.text(i, 5);
    m.file = r.text(i, 6);
    m.number = r.text(i, 7);
    m.stored = r.time(i, 8);
    m.mark = r.text(i, 9);
    m.modem = r.text(i, 10);
    return m;
}

QList<IncomingMessage> incomingOf(const Rows& rows) {
    QList<IncomingMessage> found;
    for (int i = 0; i < rows.size(); ++i) found << incomingAt(rows, i);
    return found;
}

}  // namespace

PostgresStore::PostgresStore(std::unique_ptr<postgres::Connection> db) : m_db(std::move(db)) {}

PostgresStore::~PostgresStore() = default;

Result<std::unique_ptr<Store>> PostgresStore::open(const QString& url) {
    auto connection = postgres::Connection::open(url);
    if (!connection) return connection.error();
    std::unique_ptr<PostgresStore> store(new PostgresStore(std::move(connection.value())));
    if (auto migrated = store->migrate(); !migrated) return migrated.error();
    return std::unique_ptr<Store>(std::move(store));
}

StoreOpener PostgresStore::opener(const QString& url) {
    return [url] { return open(url); };
}

Result<Done> PostgresStore::migrate() {
    // Two hosts may start at once: each step runs under one advisory lock, held to the end of
    // its transaction, and the version is read again under it.
    return m_db->transaction([&]() -> Result<Done> {
        if (auto locked = m_db->run("SELECT pg_advisory_xact_lock($1)",
                                    {value(qint64(postgres::kMigrationLock))});
            !locked)
            return locked.error();
        if (auto made = m_db->run("CREATE TABLE IF NOT EXISTS telvane_schema (version INTEGER)");
            !made)
            return made.error();
        auto read = m_db->run("SELECT COALESCE(MAX(version), 0) FROM telvane_schema");
        if (!read) return read.error();
        const qint64 current = read->integer(0, 0);
        if (current > qint64(postgres::kMigrations.size()))
            return StoreError{
                StoreError::Kind::Damaged,
                QStringLiteral("база данных новее программы (версия %1)").arg(current)};
        for (qint64 step = current; step < qint64(postgres::kMigrations.size()); ++step) {
            if (auto ran = m_db->script(postgres::kMigrations[size_t(step)]); !ran)
                return ran.error();
            if (auto noted = m_db->run("INSERT INTO telvane_schema (version) VALUES ($1)",
                                       {value(step + 1)});
                !noted)
                return noted.error();
        }
        return Done{};
    });
}

Result<QList<OutgoingMessage>> PostgresStore::withParts(const Rows& rows) {
    QList<OutgoingMessage> found;
    for (int i = 0; i < rows.size(); ++i) {
        OutgoingMessage m = outgoingAt(rows, i);
        auto parts = m_db->run(
            "SELECT pdu, tpdu_length, state, reference FROM outgoing_parts WHERE seq = $1 ORDER BY "
            "part",
            {value(m.seq)});
        if (!parts) return parts.error();
        for (int p = 0; p < parts->size(); ++p)
            m.parts.push_back({parts->text(p, 0).toLatin1(), std::size_t(parts->integer(p, 1)),
                               partStateNamed(parts->text(p, 2)), parts->optionalInt(p, 3)});
        found << m;
    }
    return found;
}

Result<bool> PostgresStore::writeParts(const OutgoingMessage& m) {
    if (auto cleared = m_db->run("DELETE FROM outgoing_parts WHERE seq = $1", {value(m.seq)});
        !cleared)
        return cleared.error();
    for (std::size_t i = 0; i < m.parts.size(); ++i) {
        const OutgoingPart& part = m.parts[i];
        if (auto inserted = m_db->run(
                "INSERT INTO outgoing_parts (seq, part, pdu, tpdu_length, state, reference) VALUES "
                "($1, $2, $3, $4, $5, $6)",
                {value(m.seq), value(qint64(i)), value(QString::fromLatin1(part.pdu)),
                 value(qint64(part.tpduLength)), value(partStateName(part.state)),
                 value(part.reference)});
            !inserted)
            return inserted.error();
    }
    return true;
}

Result<OutgoingMessage> PostgresStore::addOutgoing(OutgoingMessage draft) {
    return m_db->transaction([&]() -> Result<OutgoingMessage> {
        if (draft.origin == Origin::File && draft.fileInSend) {
            auto known = m_db->run(
                "SELECT " OUTGOING_COLUMNS
                " FROM outgoing WHERE in_send = 1 AND file_name = $1 AND "
                "file_size = $2 AND file_modified = $3 AND file_sha256 = $4 AND host = $5",
                {value(draft.file.name), value(draft.file.size), value(draft.file.modifiedMs),
                 value(QString::fromLatin1(draft.file.sha256Hex)), value(draft.host)});
            if (!known) return known.error();
            auto found = withParts(*known);
            if (!found) return found.error();
            if (!found->isEmpty()) return found->front();
        }
        const QString base = draft.id;
        for (int n = 2;; ++n) {
            auto taken = m_db->run("SELECT 1 FROM outgoing WHERE id = $1", {value(draft.id)});
            if (!taken) return taken.error();
            if (taken->size() == 0) break;
            draft.id = base + u'-' + QString::number(n);
        }
        const QDateTime now = QDateTime::currentDateTime();
        if (!draft.created.isValid()) draft.created = now;
        if (!draft.updated.isValid()) draft.updated = draft.created;
        auto inserted = m_db->run(
            "INSERT INTO outgoing (id, origin, file_name, file_size, file_modified, file_sha256, "
            "place, in_send, number, text, report_wanted, state, destination, attempts, "
            "error_number, error_text, created, updated, sent_at, last_reference, report_status, "
            "report_time, note, claim, modem, pinned, host, claimed_by, lease_until) VALUES ($1, "
            "$2, $3, $4, $5, $6, $7, $8, $9, $10, $11, $12, $13, $14, $15, $16, $17, $18, $19, "
            "$20, $21, $22, $23, $24, $25, $26, $27, $28, $29) RETURNING seq",
            {value(draft.id),
             value(originName(draft.origin)),
             value(draft.file.name),
             value(draft.file.size),
             value(draft.file.modifiedMs),
             value(QString::fromLatin1(draft.file.sha256Hex)),
             value(draft.place),
             value(draft.fileInSend),
             value(draft.number),
             value(draft.text),
             value(draft.reportWanted),
             value(stateName(draft.state)),
             value(draft.destination),
             value(draft.attempts),
             value(draft.errorNumber),
             value(draft.errorText),
             value(draft.created),
             value(draft.updated),
             value(draft.sentAt),
             value(draft.lastReference()),
             value(draft.reportStatus),
             value(draft.reportTime),
             value(draft.note),
             value(draft.claim),
             value(draft.modem),
             value(draft.pinned),
             value(draft.host),
             value(draft.claimedBy),
             value(draft.leaseUntil)});
        if (!inserted) return inserted.error();
        draft.seq = inserted->integer(0, 0);
        if (auto parts = writeParts(draft); !parts) return parts.error();
        if (draft.state == OutgoingState::Queued) {
            if (auto rung = ringQueued(); !rung) return rung.error();
        }
        return draft;
    });
}

Result<std::optional<OutgoingMessage>> PostgresStore::outgoing(const QString& id) {
    return m_db->transaction([&]() -> Result<std::optional<OutgoingMessage>> {
        auto rows =
            m_db->run("SELECT " OUTGOING_COLUMNS " FROM outgoing WHERE id = $1", {value(id)});
        if (!rows) return rows.error();
        return firstOf(withParts(*rows));
    });
}

Result<std::optional<OutgoingMessage>> PostgresStore::fileInSend(const FileIdentity& file,
                                                                 const QString& host) {
    return m_db->transaction([&]() -> Result<std::optional<OutgoingMessage>> {
        auto rows = m_db->run("SELECT " OUTGOING_COLUMNS
                              " FROM outgoing WHERE in_send = 1 AND file_name = $1 AND "
                              "file_size = $2 AND file_modified = $3 AND file_sha256 = $4 AND "
                              "host IN ('', $5) ORDER BY host DESC",
                              {value(file.name), value(file.size), value(file.modifiedMs),
                               value(QString::fromLatin1(file.sha256Hex)), value(host)});
        if (!rows) return rows.error();
        return firstOf(withParts(*rows));
    });
}

Result<QList<OutgoingMessage>> PostgresStore::filesInSend(const QString& host) {
    return m_db->transaction([&]() -> Result<QList<OutgoingMessage>> {
        auto rows = m_db->run("SELECT " OUTGOING_COLUMNS
                              " FROM outgoing WHERE in_send = 1 AND host IN ('', $1) ORDER BY seq",
                              {value(host)});
        if (!rows) return rows.error();
        return withParts(*rows);
    });
}

Result<QList<OutgoingMessage>> PostgresStore::inState(OutgoingState state, int limit) {
    return m_db->transaction([&]() -> Result<QList<OutgoingMessage>> {
        auto rows = m_db->run("SELECT " OUTGOING_COLUMNS
                              " FROM outgoing WHERE state = $1 ORDER BY seq LIMIT $2",
                              {value(stateName(state)), value(limit)});
        if (!rows) return rows.error();
        return withParts(*rows);
    });
}

Result<QList<OutgoingMessage>> PostgresStore::recent(int limit) {
    return m_db->transaction([&]() -> Result<QList<OutgoingMessage>> {
        auto rows = m_db->run(
            "SELECT " OUTGOING_COLUMNS " FROM outgoing ORDER BY seq DESC LIMIT $1", {value(limit)});
        if (!rows) return rows.error();
        return withParts(*rows);
    });
}

Result<std::optional<OutgoingMessage>> PostgresStore::take(qint64 seq, const Claimant& who,
                                                           const QDateTime& now) {
    // The token from a sequence: no two claims ever share one, on any host. Another host
    // taking the same row at once waits for this one and then finds it no longer queued.
    auto taken = m_db->run(
        "UPDATE outgoing SET state = 'sending', claim = nextval('claim_tokens'), updated = $1, "
        "modem = $2, claimed_by = $3, lease_until = $4 WHERE seq = $5 AND state = 'queued' AND "
        "pinned "
        "IN ('', $2) RETURNING " OUTGOING_COLUMNS,
        {value(now), value(who.modem), value(who.host), value(now.addSecs(who.leaseSeconds)),
         value(seq)});
    if (!taken) return taken.error();
    return firstOf(withParts(*taken));
}

Result<std::optional<OutgoingMessage>> PostgresStore::claimNext(const Claimant& who,
                                                                const QDateTime& now) {
    return m_db->transaction([&]() -> Result<std::optional<OutgoingMessage>> {
        auto allowed = withinCaps(who, now);
        if (!allowed) return allowed.error();
        if (!*allowed) return std::optional<OutgoingMessage>();
        if (who.prefixes.isEmpty()) {
            // SKIP LOCKED: the head of the queue that another modem is taking right now is
            // passed over, not waited for.
            auto head = m_db->run(
                "SELECT seq FROM outgoing WHERE state = 'queued' AND pinned IN ('', $1) ORDER BY "
                "seq LIMIT 1 FOR UPDATE SKIP LOCKED",
                {value(who.modem)});
            if (!head) return head.error();
            if (head->size() == 0) return std::optional<OutgoingMessage>();
            return take(head->integer(0, 0), who, now);
        }
        // With preferences, the oldest few are looked at without a lock, in the order the modem
        // prefers them; one that another modem took meanwhile is passed over.
        auto rows = m_db->run(
            "SELECT seq, destination, number, pinned FROM outgoing WHERE state = 'queued' AND "
            "pinned IN ('', $1) ORDER BY seq LIMIT 200",
            {value(who.modem)});
        if (!rows) return rows.error();
        QList<Candidate> queued;
        for (int i = 0; i < rows->size(); ++i) {
            const QString destination = rows->text(i, 1);
            queued << Candidate{rows->integer(i, 0),
                                destination.isEmpty() ? rows->text(i, 2) : destination,
                                rows->text(i, 3)};
        }
        while (const std::optional<qint64> seq = pickFor(who, queued)) {
            auto taken = take(*seq, who, now);
            if (!taken || taken->has_value()) return taken;
            queued.removeIf([&](const Candidate& c) { return c.seq == *seq; });
        }
        return std::optional<OutgoingMessage>();
    });
}

Result<std::optional<OutgoingMessage>> PostgresStore::claim(qint64 seq, const Claimant& who,
                                                            const QDateTime& now) {
    return m_db->transaction([&]() { return take(seq, who, now); });
}

Result<int> PostgresStore::partsSentBy(const QString& modem, const QDateTime& since) {
    // A message on its way has no sending time yet: its last write stands for it.
    auto rows = m_db->run(
        "SELECT COUNT(*) FROM outgoing_parts p JOIN outgoing o ON o.seq = p.seq WHERE o.modem = "
        "$1 AND p.state = 'confirmed' AND COALESCE(o.sent_at, o.updated) >= $2",
        {value(modem), value(since)});
    if (!rows) return rows.error();
    return int(rows->integer(0, 0));
}

Result<bool> PostgresStore::update(const OutgoingMessage& m) {
    return m_db->transaction([&]() -> Result<bool> {
        auto updated = m_db->run(
            "UPDATE outgoing SET place = $1, in_send = $2, number = $3, text = $4, report_wanted "
            "= $5, state = $6, destination = $7, attempts = $8, error_number = $9, error_text = "
            "$10, updated = $11, sent_at = $12, last_reference = $13, report_status = $14, "
            "report_time = $15, note = $16, modem = $17, lease_until = $18 WHERE seq = $19 AND "
            "claim = $20",
            {value(m.place),
             value(m.fileInSend),
             value(m.number),
             value(m.text),
             value(m.reportWanted),
             value(stateName(m.state)),
             value(m.destination),
             value(m.attempts),
             value(m.errorNumber),
             value(m.errorText),
             value(m.updated.isValid() ? m.updated : QDateTime::currentDateTime()),
             value(m.sentAt),
             value(m.lastReference()),
             value(m.reportStatus),
             value(m.reportTime),
             value(m.note),
             value(m.modem),
             value(m.leaseUntil),
             value(m.seq),
             value(m.claim)});
        if (!updated) return updated.error();
        if (updated->changed() == 0) return false;
        if (auto parts = writeParts(m); !parts) return parts.error();
        return true;
    });
}

Result<bool> PostgresStore::remove(const OutgoingMessage& m) {
    auto removed = m_db->run("DELETE FROM outgoing WHERE seq = $1 AND claim = $2",
                             {value(m.seq), value(m.claim)});
    if (!removed) return removed.error();
    return removed->changed() > 0;
}

// Lets go of the claimed messages `where` picks ($1 its parameter): each gets a new token, so
// that whoever held it can write nothing more about it. Only a part written and not confirmed
// makes a message unconfirmed; one stopped between parts, or after its last confirmation, goes
// back to the queue to go on from its parts as recorded.
#define RELEASE(where)                                                                            \
    "UPDATE outgoing o SET state = CASE WHEN EXISTS (SELECT 1 FROM outgoing_parts p WHERE p.seq " \
    "= o.seq AND p.state = 'submitted') THEN 'unconfirmed' ELSE 'queued' END, updated = $2, "     \
    "claim = nextval('claim_tokens'), claimed_by = '', lease_until = NULL WHERE state IN "        \
    "('sending', "                                                                                \
    "'submitted') AND " where " RETURNING " OUTGOING_COLUMNS

Result<QList<OutgoingMessage>> PostgresStore::released(Result<Rows> rows) {
    if (!rows) return rows.error();
    auto all = withParts(*rows);
    if (!all) return all.error();
    QList<OutgoingMessage> lost;
    bool requeued = false;
    for (const OutgoingMessage& m : *all) {
        if (m.state == OutgoingState::Unconfirmed) lost << m;
        requeued = requeued || m.state == OutgoingState::Queued;
    }
    if (requeued) {
        if (auto rung = ringQueued(); !rung) return rung.error();
    }
    return lost;
}

// Heard by every gateway's QueueBell once the transaction commits; nothing if it rolls back.
Result<Done> PostgresStore::ringQueued() {
    auto rung = m_db->run("SELECT pg_notify($1, '')", {value(QString::fromLatin1(kQueuedChannel))});
    if (!rung) return rung.error();
    return Done{};
}

Result<QList<OutgoingMessage>> PostgresStore::recover(const QString& host, const QString& modem,
                                                      const QDateTime& now) {
    return m_db->transaction([&]() {
        // Another modem of the same gateway is still at work on its own claims.
        return released(m_db->run(RELEASE("claimed_by IN ('', $1) AND modem IN ('', $3)"),
                                  {value(host), value(now), value(modem)}));
    });
}

Result<QList<OutgoingMessage>> PostgresStore::reclaimExpired(const QDateTime& now) {
    return m_db->transaction([&]() {
        return released(m_db->run(RELEASE("lease_until < $1"), {value(now), value(now)}));
    });
}

Result<QList<OutgoingMessage>> PostgresStore::awaitingReport(int reference,
                                                             const QDateTime& since) {
    return m_db->transaction([&]() -> Result<QList<OutgoingMessage>> {
        auto rows = m_db->run(
            "SELECT " OUTGOING_COLUMNS
            " FROM outgoing WHERE last_reference = $1 AND report_wanted = 1 AND state IN ('sent', "
            "'pending') AND sent_at >= $2 ORDER BY seq",
            {value(reference), value(since)});
        if (!rows) return rows.error();
        return withParts(*rows);
    });
}

Result<QueueFigures> PostgresStore::queue() {
    auto rows = m_db->run(
        "SELECT COUNT(*), MIN(created) FROM outgoing WHERE state IN ('queued', 'sending', "
        "'submitted')");
    if (!rows) return rows.error();
    QueueFigures figures;
    figures.waiting = int(rows->integer(0, 0));
    if (!rows->isNull(0, 1)) figures.oldest = rows->time(0, 1);
    return figures;
}

Result<QList<HourFigures>> PostgresStore::trafficByHour(const QDateTime& from, int hours) {
    QList<HourFigures> figures;
    for (int hour = 0; hour < hours; ++hour) figures.append({from.addSecs(3600LL * hour)});
    if (figures.isEmpty()) return figures;
    auto rows = m_db->run(
        "SELECT 0, (sent_at - $1) / 3600000 AS hour, COUNT(*) FROM outgoing WHERE sent_at >= $1 "
        "AND sent_at < $2 GROUP BY hour "
        "UNION ALL SELECT 1, (stored - $1) / 3600000 AS hour, COUNT(*) FROM incoming WHERE "
        "stored >= $1 AND stored < $2 AND kind = 'message' GROUP BY hour "
        "UNION ALL SELECT 2, (updated - $1) / 3600000 AS hour, COUNT(*) FROM outgoing WHERE "
        "state = 'failed' AND updated >= $1 AND updated < $2 GROUP BY hour",
        {value(from), value(from.addSecs(3600LL * hours))});
    if (!rows) return rows.error();
    for (int i = 0; i < rows->size(); ++i) {
        HourFigures& hour = figures[qsizetype(rows->integer(i, 1))];
        const int count = int(rows->integer(i, 2));
        switch (rows->integer(i, 0)) {
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
    return figures;
}

Result<IncomingMessage> PostgresStore::beginIncoming(IncomingMessage draft) {
    return m_db->transaction([&]() -> Result<IncomingMessage> {
        // Two hosts may list the same message at once: the key's unique index lets one in,
        // and the other finds that one's row.
        auto inserted = m_db->run(
            "INSERT INTO incoming (id, key, kind, sender, time_stamp, text, file, number, stored, "
            "mark, modem) VALUES (COALESCE($1, nextval(pg_get_serial_sequence('incoming', "
            "'id'))), $2, $3, $4, $5, $6, $7, $8, $9, $10, $11) ON CONFLICT (key) DO NOTHING "
            "RETURNING id",
            {draft.id > 0 ? value(draft.id) : postgres::Value(), bytes(draft.key),
             value(kindName(draft.kind)), value(draft.sender), value(draft.timeStamp),
             value(draft.text), value(draft.file), value(draft.number), value(draft.stored),
             value(draft.mark), value(draft.modem)});
        if (!inserted) return inserted.error();
        if (inserted->size() == 1) {
            const bool carried = draft.id > 0;
            draft.id = inserted->integer(0, 0);
            // A row carried over with its own number: later ones come after it.
            if (carried) {
                if (auto moved = m_db->run(
                        "SELECT setval(pg_get_serial_sequence('incoming', 'id'), GREATEST($1, "
                        "(SELECT last_value FROM incoming_id_seq)))",
                        {value(draft.id)});
                    !moved)
                    return moved.error();
            }
            return draft;
        }
        auto known = m_db->run("SELECT " INCOMING_COLUMNS " FROM incoming WHERE key = $1",
                               {bytes(draft.key)});
        if (!known) return known.error();
        return incomingAt(*known, 0);
    });
}

Result<Done> PostgresStore::retarget(qint64 id, const QString& file, const QString& mark) {
    auto done =
        m_db->run("UPDATE incoming SET file = $1, mark = $2 WHERE id = $3 AND stored IS NULL",
                  {value(file), value(mark), value(id)});
    if (!done) return done.error();
    return Done{};
}

Result<Done> PostgresStore::markStored(qint64 id, const QString& file, const QDateTime& when) {
    auto done = m_db->run("UPDATE incoming SET file = $1, stored = $2 WHERE id = $3",
                          {value(file), value(when), value(id)});
    if (!done) return done.error();
    return Done{};
}

Result<std::optional<IncomingMessage>> PostgresStore::incoming(const QByteArray& key) {
    auto rows = m_db->run("SELECT " INCOMING_COLUMNS " FROM incoming WHERE key = $1", {bytes(key)});
    if (!rows) return rows.error();
    if (rows->size() == 0) return std::optional<IncomingMessage>();
    return std::optional(incomingAt(*rows, 0));
}

Result<QList<IncomingMessage>> PostgresStore::unstoredIncoming() {
    auto rows =
        m_db->run("SELECT " INCOMING_COLUMNS " FROM incoming WHERE stored IS NULL ORDER BY id");
    if (!rows) return rows.error();
    return incomingOf(*rows);
}

Result<InboxPage> PostgresStore::inbox(qint64 after, int limit) {
    auto rows = m_db->run("SELECT " INCOMING_COLUMNS
                          " FROM incoming WHERE kind = 'message' AND stored IS NOT NULL AND id > "
                          "$1 ORDER BY id LIMIT $2",
                          {value(after), value(limit + 1)});
    if (!rows) return rows.error();
    InboxPage page;
    page.messages = incomingOf(*rows);
    page.more = page.messages.size() > limit;
    if (page.more) page.messages.removeLast();
    return page;
}

Result<qint64> PostgresStore::newestIncoming() {
    auto rows = m_db->run(
        "SELECT COALESCE(MAX(id), 0) FROM incoming WHERE kind = 'message' AND stored IS NOT NULL");
    if (!rows) return rows.error();
    return rows->integer(0, 0);
}

Result<qint64> PostgresStore::addEvent(const QByteArray& body, const QDateTime& now) {
    auto rows = m_db->run("INSERT INTO webhook_events (body, created) VALUES ($1, $2) RETURNING id",
                          {bytes(body), value(now)});
    if (!rows) return rows.error();
    return rows->integer(0, 0);
}

// Gateways sharing the server number their events from one sequence but commit them in their
// own time: event 41 of one may appear after event 42 of another was posted. So the queue is
// looked at from its first waiting event, whatever the sender delivered last, through an index
// of the waiting ones.
Result<std::optional<WebhookEvent>> PostgresStore::nextEvent(qint64) {
    auto rows = m_db->run(
        "SELECT id, body, created FROM webhook_events WHERE delivered IS NULL ORDER BY id LIMIT 1");
    if (!rows) return rows.error();
    if (rows->size() == 0) return std::optional<WebhookEvent>();
    return std::optional(WebhookEvent{rows->integer(0, 0), rows->bytes(0, 1), rows->time(0, 2)});
}

Result<Done> PostgresStore::eventDelivered(qint64 id, const QDateTime& when) {
    auto done = m_db->run("UPDATE webhook_events SET delivered = $1 WHERE id = $2",
                          {value(when), value(id)});
    if (!done) return done.error();
    return Done{};
}

Result<Done> PostgresStore::beat(const ModemBeat& b) {
    auto done = m_db->run(
        "INSERT INTO modems (host, name, port, model, operator, registration, signal, in_service, "
        "sent_today, limit_left, blocked_until, seen) VALUES ($1, $2, $3, $4, $5, $6, $7, $8, $9, "
        "$10, $11, $12) ON CONFLICT (host, name) DO UPDATE SET port = excluded.port, model = "
        "excluded.model, operator = excluded.operator, registration = excluded.registration, "
        "signal = excluded.signal, in_service = excluded.in_service, sent_today = "
        "excluded.sent_today, limit_left = excluded.limit_left, blocked_until = "
        "excluded.blocked_until, seen = excluded.seen",
        {value(b.host), value(b.name), value(b.port), value(b.model), value(b.operatorName),
         value(b.registration), value(b.signal), value(b.inService), value(b.sentToday),
         value(b.limitLeft), value(b.blockedUntil), value(b.seen)});
    if (!done) return done.error();
    return Done{};
}

Result<QList<ModemBeat>> PostgresStore::modems() {
    auto rows = m_db->run(
        "SELECT host, name, port, model, operator, registration, signal, in_service, sent_today, "
        "limit_left, blocked_until, seen FROM modems ORDER BY host, name");
    if (!rows) return rows.error();
    QList<ModemBeat> found;
    for (int i = 0; i < rows->size(); ++i)
        found << ModemBeat{
            rows->text(i, 0),        rows->text(i, 1),         rows->text(i, 2),
            rows->text(i, 3),        rows->text(i, 4),         rows->optionalInt(i, 5),
            rows->optionalInt(i, 6), rows->integer(i, 7) != 0, int(rows->integer(i, 8)),
            rows->optionalInt(i, 9), rows->time(i, 10),        rows->time(i, 11)};
    return found;
}

Result<bool> PostgresStore::lead(const QString& name, const QString& host, const QDateTime& now,
                                 int seconds) {
    auto rows = m_db->run(
        "INSERT INTO leases (name, host, until) VALUES ($1, $2, $3) ON CONFLICT (name) DO UPDATE "
        "SET host = excluded.host, until = excluded.until WHERE leases.host = excluded.host OR "
        "leases.until < $4 RETURNING name",
        {value(name), value(host), value(now.addSecs(seconds)), value(now)});
    if (!rows) return rows.error();
    return rows->size() > 0;
}

Result<std::optional<QString>> PostgresStore::fact(const QString& key) {
    auto rows = m_db->run("SELECT value FROM facts WHERE key = $1", {value(key)});
    if (!rows) return rows.error();
    if (rows->size() == 0) return std::optional<QString>();
    return std::optional(rows->text(0, 0));
}

Result<Done> PostgresStore::setFact(const QString& key, const QString& text) {
    auto done = m_db->run(
        "INSERT INTO facts (key, value) VALUES ($1, $2) ON CONFLICT (key) DO UPDATE SET value = "
        "excluded.value",
        {value(key), value(text)});
    if (!done) return done.error();
    return Done{};
}

Result<qint64> PostgresStore::prune(const QDateTime& before) {
    return m_db->transaction([&]() -> Result<qint64> {
        qint64 removed = 0;
        for (const char* sql :
             {"DELETE FROM outgoing WHERE in_send = 0 AND updated < $1 AND (state IN "
              "('delivered', 'failed') OR (state = 'sent' AND report_wanted = 0) OR (state IN "
              "('sent', 'pending') AND sent_at < $1))",
              "DELETE FROM incoming WHERE stored < $1",
              "DELETE FROM webhook_events WHERE delivered < $1"}) {
            auto done = m_db->run(sql, {value(before)});
            if (!done) return done.error();
            removed += done->changed();
        }
        return removed;
    });
}

}  // namespace telvane::store
