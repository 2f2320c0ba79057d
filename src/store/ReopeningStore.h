#pragma once
// The store as a program's thread uses it: opened at the first call, and opened again when it
// could not be (a server not up yet, a disk full at the first start), at most every few
// seconds, so that the gateway goes on by itself once the store is back, without a restart.
// Until then every call fails with why.

#include <QElapsedTimer>
#include <memory>
#include <utility>

#include "store/Store.h"

namespace telvane::store {

class ReopeningStore final : public Store {
public:
    /// How long after a failed opening the next one is tried.
    static constexpr qint64 kRetryMs = 5000;

    explicit ReopeningStore(StoreOpener open) : m_open(std::move(open)) {}

    Result<OutgoingMessage> addOutgoing(OutgoingMessage draft) override {
        return via([&](Store& s) { return s.addOutgoing(draft); });
    }
    Result<std::optional<OutgoingMessage>> outgoing(const QString& id) override {
        return via([&](Store& s) { return s.outgoing(id); });
    }
    Result<std::optional<OutgoingMessage>> fileInSend(const FileIdentity& file,
                                                      const QString& host) override {
        return via([&](Store& s) { return s.fileInSend(file, host); });
    }
    Result<QList<OutgoingMessage>> filesInSend(const QString& host) override {
        return via([&](Store& s) { return s.filesInSend(host); });
    }
    Result<QList<OutgoingMessage>> inState(OutgoingState state, int limit) override {
        return via([&](Store& s) { return s.inState(state, limit); });
    }
    Result<QList<OutgoingMessage>> recent(int limit) override {
        return via([&](Store& s) { return s.recent(limit); });
    }
    Result<std::optional<OutgoingMessage>> claimNext(const Claimant& who,
                                                     const QDateTime& now) override {
        return via([&](Store& s) { return s.claimNext(who, now); });
    }
    Result<std::optional<OutgoingMessage>> claim(qint64 seq, const Claimant& who,
                                                 const QDateTime& now) override {
        return via([&](Store& s) { return s.claim(seq, who, now); });
    }
    Result<bool> update(const OutgoingMessage& message) override {
        return via([&](Store& s) { return s.update(message); });
    }
    Result<bool> remove(const OutgoingMessage& message) override {
        return via([&](Store& s) { return s.remove(message); });
    }
    Result<QList<OutgoingMessage>> recover(const QString& host, const QString& modem,
                                           const QDateTime& now) override {
        return via([&](Store& s) { return s.recover(host, modem, now); });
    }
    Result<QList<OutgoingMessage>> reclaimExpired(const QDateTime& now) override {
        return via([&](Store& s) { return s.reclaimExpired(now); });
    }
    Result<int> partsSentBy(const QString& modem, const QDateTime& since) override {
        return via([&](Store& s) { return s.partsSentBy(modem, since); });
    }
    Result<QList<OutgoingMessage>> awaitingReport(int reference, const QDateTime& since) override {
        return via([&](Store& s) { return s.awaitingReport(reference, since); });
    }
    Result<QueueFigures> queue() override {
        return via([&](Store& s) { return s.queue(); });
    }
    Result<QList<HourFigures>> trafficByHour(const QDateTime& from, int hours) override {
        return via([&](Store& s) { return s.trafficByHour(from, hours); });
    }
    Result<IncomingMessage> beginIncoming(IncomingMessage draft) override {
        return via([&](Store& s) { return s.beginIncoming(draft); });
    }
    Result<Done> retarget(qint64 id, const QString& file, const QString& mark) override {
        return via([&](Store& s) { return s.retarget(id, file, mark); });
    }
    Result<Done> markStored(qint64 id, const QString& file, const QDateTime& when) override {
        return via([&](Store& s) { return s.markStored(id, file, when); });
    }
    Result<std::optional<IncomingMessage>> incoming(const QByteArray& key) override {
        return via([&](Store& s) { return s.incoming(key); });
    }
    Result<QList<IncomingMessage>> unstoredIncoming() override {
        return via([&](Store& s) { return s.unstoredIncoming(); });
    }
    Result<InboxPage> inbox(qint64 after, int limit) override {
        return via([&](Store& s) { return s.inbox(after, limit); });
    }
    Result<qint64> newestIncoming() override {
        return via([&](Store& s) { return s.newestIncoming(); });
    }
    Result<qint64> addEvent(const QByteArray& body, const QDateTime& now) override {
        return via([&](Store& s) { return s.addEvent(body, now); });
    }
    Result<std::optional<WebhookEvent>> nextEvent(qint64 after) override {
        return via([&](Store& s) { return s.nextEvent(after); });
    }
    Result<Done> eventDelivered(qint64 id, const QDateTime& when) override {
        return via([&](Store& s) { return s.eventDelivered(id, when); });
    }
    Result<Done> beat(const ModemBeat& beat) override {
        return via([&](Store& s) { return s.beat(beat); });
    }
    Result<QList<ModemBeat>> modems() override {
        return via([&](Store& s) { return s.modems(); });
    }
    Result<bool> lead(const QString& name, const QString& host, const QDateTime& now,
                      int seconds) override {
        return via([&](Store& s) { return s.lead(name, host, now, seconds); });
    }
    Result<std::optional<QString>> fact(const QString& key) override {
        return via([&](Store& s) { return s.fact(key); });
    }
    Result<Done> setFact(const QString& key, const QString& value) override {
        return via([&](Store& s) { return s.setFact(key, value); });
    }
    Result<qint64> prune(const QDateTime& before) override {
        return via([&](Store& s) { return s.prune(before); });
    }

private:
    /// `call` on the open store, or why there is none.
    template <typename Call>
    auto via(Call call) -> decltype(call(std::declval<Store&>())) {
        Store* store = here();
        if (!store) return m_error;
        return call(*store);
    }

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
