#pragma once
// The store on a PostgreSQL server ([Store] Backend=postgresql): one queue and one record that
// the gateways of several computers share. The same tables and the same promises as on SQLite;
// a claim takes its message with FOR UPDATE SKIP LOCKED, so that two gateways never take one.

#include <memory>
#include <vector>

#include "store/Store.h"

namespace telvane::store {

namespace postgres {
class Connection;
class Rows;
}  // namespace postgres

class PostgresStore final : public Store {
public:
    /// Connects with a libpq connection string or URL, creating the tables or bringing them up
    /// to date (once, under an advisory lock, however many gateways start at once).
    static Result<std::unique_ptr<Store>> open(const QString& url);
    /// An opener for every thread of a program: each call is a new connection.
    static StoreOpener opener(const QString& url);
    ~PostgresStore() override;

    Result<OutgoingMessage> addOutgoing(OutgoingMessage draft) override;
    Result<std::optional<OutgoingMessage>> outgoing(const QString& id) override;
    Result<std::optional<OutgoingMessage>> fileInSend(const FileIdentity& file,
                                                      const QString& host) override;
    Result<QList<OutgoingMessage>> filesInSend(const QString& host) override;
    Result<QList<OutgoingMessage>> inState(OutgoingState state, int limit) override;
    Result<QList<OutgoingMessage>> recent(int limit) override;
    Result<std::optional<OutgoingMessage>> claimNext(const Claimant& who,
                                                     const QDateTime& now) override;
    Result<std::optional<OutgoingMessage>> claim(qint64 seq, const Claimant& who,
                                                 const QDateTime& now) override;
    Result<bool> update(const OutgoingMessage& message) override;
    Result<bool> remove(const OutgoingMessage& message) override;
    Result<QList<OutgoingMessage>> recover(const QString& host, const QString& modem,
                                           const QDateTime& now) override;
    Result<QList<OutgoingMessage>> reclaimExpired(const QDateTime& now) override;
    Result<int> partsSentBy(const QString& modem, const QDateTime& since) override;
    Result<QList<OutgoingMessage>> awaitingReport(int reference, const QDateTime& since) override;
    Result<QueueFigures> queue() override;
    Result<QList<HourFigures>> trafficByHour(const QDateTime& from, int hours) override;

    Result<IncomingMessage> beginIncoming(IncomingMessage draft) override;
    Result<Done> retarget(qint64 id, const QString& file, const QString& mark) override;
    Result<Done> markStored(qint64 id, const QString& file, const QDateTime& when) override;
    Result<std::optional<IncomingMessage>> incoming(const QByteArray& key) override;
    Result<QList<IncomingMessage>> unstoredIncoming() override;
    Result<InboxPage> inbox(qint64 after, int limit) override;
    Result<qint64> newestIncoming() override;

    Result<qint64> addEvent(const QByteArray& body, const QDateTime& now) override;
    Result<std::optional<WebhookEvent>> nextEvent(qint64 after) override;
    Result<Done> eventDelivered(qint64 id, const QDateTime& when) override;

    Result<Done> beat(const ModemBeat& beat) override;
    Result<QList<ModemBeat>> modems() override;
    Result<bool> lead(const QString& name, const QString& host, const QDateTime& now,
                      int seconds) override;

    Result<std::optional<QString>> fact(const QString& key) override;
    Result<Done> setFact(const QString& key, const QString& value) override;
    Result<qint64> prune(const QDateTime& before) override;

private:
    explicit PostgresStore(std::unique_ptr<postgres::Connection> db);
    Result<Done> migrate();
    /// The messages of rows read with OUTGOING_COLUMNS, each with its parts.
    Result<QList<OutgoingMessage>> withParts(const postgres::Rows& rows);
    Result<bool> writeParts(const OutgoingMessage& message);
    Result<std::optional<OutgoingMessage>> take(qint64 seq, const Claimant& who,
                                                const QDateTime& now);
    /// Of the rows a release returned, the messages that became unconfirmed.
    Result<QList<OutgoingMessage>> released(Result<postgres::Rows> rows);
    /// Tells the gateways listening that a message is waiting in the queue.
    Result<Done> ringQueued();

    std::unique_ptr<postgres::Connection> m_db;
};

}  // namespace telvane::store
