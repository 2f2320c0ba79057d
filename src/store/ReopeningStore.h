#pragma once
// The store as a program's thread uses it: opened at the first call, and opened again when it
// could not be (a server not up yet, a disk full at the first start), at most every few
// seconds, so that the gateway goes on by itself once the store is back, without a restart.
// Until then every call fails with why.

#include <QElapsedTimer>
#include <memory>

#include "store/Store.h"

namespace telvane::store {

class ReopeningStore final : public Store {
public:
    /// How long after a failed opening the next one is tried.
    static constexpr qint64 kRetryMs = 5000;

    explicit ReopeningStore(StoreOpener open) : m_open(std::move(open)) {}

    Result<OutgoingMessage> addOutgoing(OutgoingMessage draft) override {
        Store* store = here();
        return store ? store->addOutgoing(draft) : Result<OutgoingMessage>(m_error);
    }
    Result<std::optional<OutgoingMessage>> outgoing(const QString& id) override {
        Store* store = here();
        return store ? store->outgoing(id) : Result<std::optional<OutgoingMessage>>(m_error);
    }
    Result<std::optional<OutgoingMessage>> fileInSend(const FileIdentity& file,
                                                      const QString& host) override {
        Store* store = here();
        return store ? store->fileInSend(file, host)
                     : Result<std::optional<OutgoingMessage>>(m_error);
    }
    Result<QList<OutgoingMessage>> filesInSend(const QString& host) override {
        Store* store = here();
        return store ? store->filesInSend(host) : Result<QList<OutgoingMessage>>(m_error);
    }
    Result<QList<OutgoingMessage>> inState(OutgoingState state, int limit) override {
        Store* store = here();
        return store ? store->inState(state, limit) : Result<QList<OutgoingMessage>>(m_error);
    }
    Result<QList<OutgoingMessage>> recent(int limit) override {
        Store* store = here();
        return store ? store->recent(limit) : Result<QList<OutgoingMessage>>(m_error);
    }
    Result<std::optional<OutgoingMessage>> claimNext(const Claimant& who,
                                                     const QDateTime& now) override {
        Store* store = here();
        return store ? store->claimNext(who, now) : Result<std::optional<OutgoingMessage>>(m_error);
    }
    Result<std::optional<OutgoingMessage>> claim(qint64 seq, const Claimant& who,
                                                 const QDateTime& now) override {
        Store* store = here();
        return store ? store->claim(seq, who, now)
                     : Result<std::optional<OutgoingMessage>>(m_error);
    }
    Result<bool> update(const OutgoingMessage& message) override {
        Store* store = here();
        return store ? store->update(message) : Result<bool>(m_error);
    }
    Result<bool> remove(const OutgoingMessage& message) override {
        Store* store = here();
        return store ? store->remove(message) : Result<bool>(m_error);
    }
    Result<QList<OutgoingMessage>> recover(const QString& host, const QDateTime& now) override {
        Store* store = here();
        return store ? store->recover(host, now) : Result<QList<OutgoingMessage>>(m_error);
    }
    Result<QList<OutgoingMessage>> reclaimExpired(const QDateTime& now) override {
        Store* store = here();
        return store ? store->reclaimExpired(now) : Result<QList<OutgoingMessage>>(m_error);
    }
    Result<int> partsSentBy(const QString& modem, const QDateTime& since) override {
        Store* store = here();
        return store ? store->partsSentBy(modem, since) : Result<int>(m_error);
    }
    Result<QList<OutgoingMessage>> awaitingReport(int reference, const QDateTime& since) override {
        Store* store = here();
        return store ? store->awaitingReport(reference, since)
                     : Result<QList<OutgoingMessage>>(m_error);
    }
    Result<QueueFigures> queue() override {
        Store* store = here();
        return store ? store->queue() : Result<QueueFigures>(m_error);
    }
    Result<QList<HourFigures>> trafficByHour(const QDateTime& from, int hours) override {
        Store* store = here();
        return store ? store->trafficByHour(from, hours) : Result<QList<HourFigures>>(m_error);
    }
    Result<IncomingMessage> beginIncoming(IncomingMessage draft) override {
        Store* store = here();
        return store ? store->beginIncoming(draft) : Result<IncomingMessage>(m_error);
    }
    Result<Done> retarget(qint64 id, const QString& file, const QString& mark) override {
        Store* store = here();
        return store ? store->retarget(id, file, mark) : Result<Done>(m_error);
    }
    Result<Done> markStored(qint64 id, const QString& file, const QDateTime& when) override {
        Store* store = here();
        return store ? store->markStored(id, file, when) : Result<Done>(m_error);
    }
    Result<std::optional<IncomingMessage>> incoming(const QByteArray& key) override {
        Store* store = here();
        return store ? store->incoming(key) : Result<std::optional<IncomingMessage>>(m_error);
    }
    Result<QList<IncomingMessage>> unstoredIncoming() override {
        Store* store = here();
        return store ? store->unstoredIncoming() : Result<QList<IncomingMessage>>(m_error);
    }
    Result<InboxPage> inbox(qint64 after, int limit) override {
        Store* store = here();
        return store ? store->inbox(after, limit) : Result<InboxPage>(m_error);
    }
    Result<qint64> newestIncoming() override {
        Store* store = here();
        return store ? store->newestIncoming() : Result<qint64>(m_error);
    }
    Result<qint64> addEvent(const QByteArray& body, const QDateTime& now) override {
        Store* store = here();
        return store ? store->addEvent(body, now) : Result<qint64>(m_error);
    }
    Result<std::optional<WebhookEvent>> nextEvent(qint64 after) override {
        Store* store = here();
        return store ? store->nextEvent(after) : Result<std::optional<WebhookEvent>>(m_error);
    }
    Result<Done> eventDelivered(qint64 id, const QDateTime& when) override {
        Store* store = here();
        return store ? store->eventDelivered(id, when) : Result<Done>(m_error);
    }
    Result<Done> beat(const ModemBeat& beat) override {
        Store* store = here();
        return store ? store->beat(beat) : Result<Done>(m_error);
    }
    Result<QList<ModemBeat>> modems() override {
        Store* store = here();
        return store ? store->modems() : Result<QList<ModemBeat>>(m_error);
    }
    Result<bool> lead(const QString& name, const QString& host, const QDateTime& now,
                      int seconds) override {
        Store* store = here();
        return store ? store->lead(name, host, now, seconds) : Result<bool>(m_error);
    }
    Result<std::optional<QString>> fact(const QString& key) override {
        Store* store = here();
        return store ? store->fact(key) : Result<std::optional<QString>>(m_error);
    }
    Result<Done> setFact(const QString& key, const QString& value) override {
        Store* store = here();
        return store ? store->setFact(key, value) : Result<Done>(m_error);
    }
    Result<qint64> prune(const QDateTime& before) override {
        Store* store = here();
        return store ? store->prune(before) : Result<qint64>(m_error);
    }

private:
    Store* here() {
        if (m_store) return m_store.get();
        if (m_lastTry.isValid() && m_lastTry.elapsed() < kRetryMs) return nullptr;
        m_lastTry.start();
        Result<std::unique_ptr<Store>> opened = m_open();
        if (!opened) {
            m_error = opened.error();
            return nullptr;
        }
        m_store = std::move(opened.value());
        return m_store.get();
    }

    StoreOpener m_open;
    std::unique_ptr<Store> m_store;
    QElapsedTimer m_lastTry;
    StoreError m_error{StoreError::Kind::Unavailable, QStringLiteral("хранилище не открыто")};
};

}  // namespace telvane::store
