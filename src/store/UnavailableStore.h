#pragma once
// A store that could not be opened (a damaged file, a full disk at the first start): every
// operation fails with why, so that the gateway keeps messages in the phone and files in the
// send folder, says so, and goes on otherwise.

#include <memory>

#include "store/Store.h"

namespace telvane::store {

class UnavailableStore final : public Store {
public:
    explicit UnavailableStore(StoreError error) : m_error(std::move(error)) {}

    Result<OutgoingMessage> addOutgoing(OutgoingMessage) override { return m_error; }
    Result<std::optional<OutgoingMessage>> outgoing(const QString&) override { return m_error; }
    Result<std::optional<OutgoingMessage>> fileInSend(const FileIdentity&) override {
        return m_error;
    }
    Result<QList<OutgoingMessage>> filesInSend() override { return m_error; }
    Result<QList<OutgoingMessage>> inState(OutgoingState, int) override { return m_error; }
    Result<QList<OutgoingMessage>> recent(int) override { return m_error; }
    Result<std::optional<OutgoingMessage>> claimNext(const QDateTime&) override { return m_error; }
    Result<std::optional<OutgoingMessage>> claim(qint64, const QDateTime&) override {
        return m_error;
    }
    Result<bool> update(const OutgoingMessage&) override { return m_error; }
    Result<bool> remove(const OutgoingMessage&) override { return m_error; }
    Result<QList<OutgoingMessage>> recover(const QDateTime&) override { return m_error; }
    Result<QList<OutgoingMessage>> awaitingReport(int, const QDateTime&) override {
        return m_error;
    }
    Result<QueueFigures> queue() override { return m_error; }
    Result<QList<HourFigures>> trafficByHour(const QDateTime&, int) override { return m_error; }
    Result<IncomingMessage> beginIncoming(IncomingMessage) override { return m_error; }
    Result<Done> retarget(qint64, const QString&, const QString&) override { return m_error; }
    Result<Done> markStored(qint64, const QString&, const QDateTime&) override { return m_error; }
    Result<std::optional<IncomingMessage>> incoming(const QByteArray&) override { return m_error; }
    Result<QList<IncomingMessage>> unstoredIncoming() override { return m_error; }
    Result<InboxPage> inbox(qint64, int) override { return m_error; }
    Result<qint64> newestIncoming() override { return m_error; }
    Result<qint64> addEvent(const QByteArray&, const QDateTime&) override { return m_error; }
    Result<std::optional<WebhookEvent>> nextEvent(qint64) override { return m_error; }
    Result<Done> eventDelivered(qint64, const QDateTime&) override { return m_error; }
    Result<std::optional<QString>> fact(const QString&) override { return m_error; }
    Result<Done> setFact(const QString&, const QString&) override { return m_error; }
    Result<qint64> prune(const QDateTime&) override { return m_error; }

private:
    StoreError m_error;
};

/// The store `open` gives, or one that says for every operation why it could not be opened.
inline std::unique_ptr<Store> openOrExplain(const StoreOpener& open) {
    Result<std::unique_ptr<Store>> opened = open();
    if (opened) return std::move(opened.value());
    return std::make_unique<UnavailableStore>(opened.error());
}

}  // namespace telvane::store
