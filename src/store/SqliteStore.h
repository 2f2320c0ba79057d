#pragma once
// The store in one SQLite file, "telvane.db" in the home folder: the default, for a gateway
// on one computer.

#include <memory>

#include "store/Store.h"

namespace telvane::store {

namespace sqlite {
class Connection;
class Statement;
}  // namespace sqlite

class SqliteStore final : public Store {
public:
    static QString fileName() { return QStringLiteral("telvane.db"); }

    /// Opens the database at `path`, creating it and bringing its schema up to date.
    static Result<std::unique_ptr<Store>> open(const QString& path);
    /// An opener for every thread of a program: each call is a new connection to `path`.
    static StoreOpener opener(const QString& path);
    ~SqliteStore() override;

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
    explicit SqliteStore(std::unique_ptr<sqlite::Connection> db);
    Result<Done> migrate();
    Result<QList<OutgoingMessage>> outgoingWhere(sqlite::Statement& statement);
    Result<bool> readParts(OutgoingMessage& message);
    Result<bool> writeParts(const OutgoingMessage& message);
    Result<qint64> nextToken();
    Result<std::optional<OutgoingMessage>> take(qint64 seq, const Claimant& who,
                                                const QDateTime& now);
    Result<QList<OutgoingMessage>> release(sqlite::Statement& held, const QDateTime& now);

    std::unique_ptr<sqlite::Connection> m_db;
};

}  // namespace telvane::store
