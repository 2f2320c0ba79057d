#pragma once
// A store in front of a real one whose writes fail on demand, as on a disk that filled up: from
// a chosen write on, or for every write while `full` is set. Reads go through. The real one is
// opened at the first use, so that a home that is only run by the service has none before.

#include <atomic>
#include <memory>

#include "store/Store.h"

namespace telvane::test {

class FailingStore final : public store::Store {
public:
    explicit FailingStore(store::StoreOpener open) : m_open(std::move(open)) {}

    /// Every write fails while set.
    std::atomic<bool> full{false};
    /// Facts cannot be read while set, as from a server that went away.
    std::atomic<bool> unreadable{false};
    /// The number of writes that still succeed before they all fail; negative: no limit.
    std::atomic<int> writesLeft{-1};

    store::Result<store::OutgoingMessage> addOutgoing(store::OutgoingMessage draft) override {
        if (failing()) return failure();
        return inner().addOutgoing(draft);
    }
    store::Result<std::optional<store::OutgoingMessage>> outgoing(const QString& id) override {
        return inner().outgoing(id);
    }
    store::Result<std::optional<store::OutgoingMessage>> fileInSend(const store::FileIdentity& file,
                                                                    const QString& host) override {
        return inner().fileInSend(file, host);
    }
    store::Result<QList<store::OutgoingMessage>> filesInSend(const QString& host) override {
        return inner().filesInSend(host);
    }
    store::Result<QList<store::OutgoingMessage>> inState(store::OutgoingState state,
                                                         int limit) override {
        return inner().inState(state, limit);
    }
    store::Result<QList<store::OutgoingMessage>> recent(int limit) override {
        return inner().recent(limit);
    }
    store::Result<std::optional<store::OutgoingMessage>> claimNext(const store::Claimant& who,
                                                                   const QDateTime& now) override {
        if (failing()) return failure();
        return inner().claimNext(who, now);
    }
    store::Result<std::optional<store::OutgoingMessage>> claim(qint64 seq,
                                                               const store::Claimant& who,
                                                               const QDateTime& now) override {
        if (failing()) return failure();
        return inner().claim(seq, who, now);
    }
    store::Result<bool> update(const store::OutgoingMessage& message) override {
        if (failing()) return failure();
        return inner().update(message);
    }
    store::Result<bool> remove(const store::OutgoingMessage& message) override {
        if (failing()) return failure();
        return inner().remove(message);
    }
    store::Result<QList<store::OutgoingMessage>> recover(const QString& host, const QString& modem,
                                                         const QDateTime& now) override {
        if (failing()) return failure();
        return inner().recover(host, modem, now);
    }
    store::Result<QList<store::OutgoingMessage>> reclaimExpired(const QDateTime& now) override {
        if (failing()) return failure();
        return inner().reclaimExpired(now);
    }
    store::Result<int> partsSentBy(const QString& modem, const QDateTime& since) override {
        return inner().partsSentBy(modem, since);
    }
    store::Result<QList<store::OutgoingMessage>> awaitingReport(int reference,
                                                                const QDateTime& since) override {
        return inner().awaitingReport(reference, since);
    }
    store::Result<store::QueueFigures> queue() override { return inner().queue(); }
    store::Result<QList<store::HourFigures>> trafficByHour(const QDateTime& from,
                                                           int hours) override {
        return inner().trafficByHour(from, hours);
    }
    store::Result<store::IncomingMessage> beginIncoming(store::IncomingMessage draft) override {
        if (failing()) return failure();
        return inner().beginIncoming(draft);
    }
    store::Result<store::Done> retarget(qint64 id, const QString& file,
                                        const QString& mark) override {
        if (failing()) return failure();
        return inner().retarget(id, file, mark);
    }
    store::Result<store::Done> markStored(qint64 id, const QString& file,
                                          const QDateTime& when) override {
        if (failing()) return failure();
        return inner().markStored(id, file, when);
    }
    store::Result<std::optional<store::IncomingMessage>> incoming(const QByteArray& key) override {
        return inner().incoming(key);
    }
    store::Result<QList<store::IncomingMessage>> unstoredIncoming() override {
        return inner().unstoredIncoming();
    }
    store::Result<store::InboxPage> inbox(qint64 after, int limit) override {
        return inner().inbox(after, limit);
    }
    store::Result<qint64> newestIncoming() override { return inner().newestIncoming(); }
    store::Result<qint64> addEvent(const QByteArray& body, const QDateTime& now) override {
        if (failing()) return failure();
        return inner().addEvent(body, now);
    }
    store::Result<std::optional<store::WebhookEvent>> nextEvent(qint64 after) override {
        return inner().nextEvent(after);
    }
    store::Result<store::Done> eventDelivered(qint64 id, const QDateTime& when) override {
        if (failing()) return failure();
        return inner().eventDelivered(id, when);
    }
    store::Result<store::Done> beat(const store::ModemBeat& beat) override {
        if (failing()) return failure();
        return inner().beat(beat);
    }
    store::Result<QList<store::ModemBeat>> modems() override { return inner().modems(); }
    store::Result<bool> lead(const QString& name, const QString& host, const QDateTime& now,
                             int seconds) override {
        if (failing()) return failure();
        return inner().lead(name, host, now, seconds);
    }
    store::Result<std::optional<QString>> fact(const QString& key) override {
        if (unreadable)
            return store::StoreError{store::StoreError::Kind::Unavailable,
                                     QStringLiteral("соединение потеряно")};
        return inner().fact(key);
    }
    store::Result<store::Done> setFact(const QString& key, const QString& value) override {
        if (failing()) return failure();
        return inner().setFact(key, value);
    }
    store::Result<qint64> prune(const QDateTime& before) override {
        if (failing()) return failure();
        return inner().prune(before);
    }

private:
    bool failing() {
        if (full) return true;
        if (writesLeft < 0) return false;
        if (writesLeft == 0) return true;
        --writesLeft;
        return false;
    }
    static store::StoreError failure() {
        return {store::StoreError::Kind::Full, QStringLiteral("запись: database or disk is full")};
    }

    store::Store& inner() {
        if (!m_store) m_store = std::move(m_open().value());
        return *m_store;
    }

    store::StoreOpener m_open;
    std::unique_ptr<store::Store> m_store;
};

}  // namespace telvane::test
