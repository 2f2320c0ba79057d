#pragma once
// The one place where the gateway records the life of every message: the outgoing queue and
// what became of each message, what was received (with the key that keeps a message from
// being stored twice), the events that wait for the webhook receiver, and a few facts the
// gateway must not forget (the refused PIN). Every operation is one transaction: it is on the
// disk when it returns done, or it changed nothing.
//
// A Store is one connection: each thread opens its own (StoreOpener) and uses it alone.

#include <QByteArray>
#include <QString>
#include <functional>
#include <memory>
#include <optional>
#include <utility>
#include <variant>

#include "store/Records.h"

namespace telvane::store {

/// Why an operation did not happen.
struct StoreError {
    enum class Kind {
        Full,         ///< the disk is full: nothing was written
        Busy,         ///< another connection held the database too long
        Unavailable,  ///< the database cannot be opened or reached
        Damaged,      ///< the file is not a database of ours, or corrupt
        Other,
    };
    Kind kind = Kind::Other;
    QString message;  ///< for "Log.txt": what failed and the database's own words
};

/// A value, or why there is none.
template <typename T>
class [[nodiscard]] Result {
public:
    Result(T value) : m_value(std::move(value)) {}           // NOLINT: a value converts
    Result(StoreError error) : m_value(std::move(error)) {}  // NOLINT: so does an error

    bool ok() const { return std::holds_alternative<T>(m_value); }
    explicit operator bool() const { return ok(); }
    const T& value() const& { return std::get<T>(m_value); }
    T& value() & { return std::get<T>(m_value); }
    /// From a temporary, by value: a reference into it would not outlive the statement.
    T value() && { return std::move(std::get<T>(m_value)); }
    const T& operator*() const { return value(); }
    const T* operator->() const { return &value(); }
    const StoreError& error() const { return std::get<StoreError>(m_value); }

private:
    std::variant<T, StoreError> m_value;
};

/// The result of an operation that gives nothing back.
struct Done {};

class Store {
public:
    virtual ~Store() = default;

    // --- Outgoing messages ---------------------------------------------------------------

    /// Adds a message to the queue (state and times as given, `created` and `updated` now when
    /// invalid). Its id is `draft.id`, or that id followed by "-2", "-3"... when another
    /// message has it. A file already known in the send folder by the same identity is not
    /// added again: that message is returned.
    virtual Result<OutgoingMessage> addOutgoing(OutgoingMessage draft) = 0;
    virtual Result<std::optional<OutgoingMessage>> outgoing(const QString& id) = 0;
    /// The message of a file that is in `host`'s send folder now, known by its identity.
    virtual Result<std::optional<OutgoingMessage>> fileInSend(const FileIdentity& file,
                                                              const QString& host) = 0;
    /// Every message whose file is in `host`'s send folder (or was, when last seen). Messages
    /// carried over from before gateways had names count as every gateway's.
    virtual Result<QList<OutgoingMessage>> filesInSend(const QString& host) = 0;
    /// The messages in `state`, oldest first, at most `limit`.
    virtual Result<QList<OutgoingMessage>> inState(OutgoingState state, int limit) = 0;
    /// The newest messages, newest first.
    virtual Result<QList<OutgoingMessage>> recent(int limit) = 0;

    /// Takes the oldest queued message `who` may send: one pinned to it or to none, of its
    /// prefixes first (only those with `only`), while its caps allow. It becomes Sending with
    /// the claimant's host, modem and lease and a new claim token, which no other claim gets.
    /// Nothing when none is there for it.
    virtual Result<std::optional<OutgoingMessage>> claimNext(const Claimant& who,
                                                             const QDateTime& now) = 0;
    /// Takes this queued message for `who`; nothing when it is not queued any more.
    virtual Result<std::optional<OutgoingMessage>> claim(qint64 seq, const Claimant& who,
                                                         const QDateTime& now) = 0;
    /// Writes what changed about the message (state, parts, attempts, errors, where its file
    /// is, the report, the note), only while `message.claim` is still its claim. False (and
    /// nothing written) when another claim has taken it since.
    virtual Result<bool> update(const OutgoingMessage& message) = 0;
    /// Forgets a message that never went out (its file was taken away before it was sent),
    /// under the same condition as update().
    virtual Result<bool> remove(const OutgoingMessage& message) = 0;

    /// After a stop that nobody saw coming, for the claims of `modem` of `host`: a message with a
    /// part written and not confirmed becomes Unconfirmed; any other one that was claimed goes back
    /// to the queue, to go on from its parts as recorded. The messages that became Unconfirmed.
    virtual Result<QList<OutgoingMessage>> recover(const QString& host, const QString& modem,
                                                   const QDateTime& now) = 0;
    /// The same for claims of any host whose lease ran out before `now` (a host that died),
    /// each with a new claim token, so that the one who held it can write nothing more.
    virtual Result<QList<OutgoingMessage>> reclaimExpired(const QDateTime& now) = 0;
    /// Parts this modem sent since `since` (its caps, its "sent today").
    virtual Result<int> partsSentBy(const QString& modem, const QDateTime& since) = 0;

    /// Sent messages whose last part got `reference` and which wait for a delivery report,
    /// sent at `since` or later.
    virtual Result<QList<OutgoingMessage>> awaitingReport(int reference,
                                                          const QDateTime& since) = 0;
    virtual Result<QueueFigures> queue() = 0;
    /// The traffic of `hours` hours from `from` on, one entry per hour, oldest first, empty
    /// hours included: outgoing messages by when they were sent (`sentAt`), received messages
    /// by when they were stored, outgoing messages that failed by when they did (`updated`).
    virtual Result<QList<HourFigures>> trafficByHour(const QDateTime& from, int hours) = 0;

    // --- Received messages ---------------------------------------------------------------

    /// Starts storing a received message: the row as it stands when one has this key (stored,
    /// or still being stored when a stop came in between), otherwise a new row, not stored yet.
    /// A `draft.id` other than 0 is kept (messages carried over from an older home).
    virtual Result<IncomingMessage> beginIncoming(IncomingMessage draft) = 0;
    /// A message that is being stored goes to `file` now, the day's file standing at `mark` (or
    /// a mark that says nothing was written).
    virtual Result<Done> retarget(qint64 id, const QString& file, const QString& mark) = 0;
    /// The message is in its day's file: the inbox lists it from now on.
    virtual Result<Done> markStored(qint64 id, const QString& file, const QDateTime& when) = 0;
    virtual Result<std::optional<IncomingMessage>> incoming(const QByteArray& key) = 0;
    /// The messages whose storing began and did not end, oldest first.
    virtual Result<QList<IncomingMessage>> unstoredIncoming() = 0;
    /// Stored messages (not reports nor parts) after the cursor `after`, in the order stored.
    virtual Result<InboxPage> inbox(qint64 after, int limit) = 0;
    /// The cursor of the newest stored message, 0 for none.
    virtual Result<qint64> newestIncoming() = 0;

    // --- Webhook events ------------------------------------------------------------------

    /// Queues an event (its JSON body as the receiver gets it); its number in the queue.
    virtual Result<qint64> addEvent(const QByteArray& body, const QDateTime& now) = 0;
    /// The oldest event after the event `after` (0: from the first) that the receiver has not
    /// taken. A sender that keeps where it stands looks only at what came since; a store shared
    /// by several gateways, whose events may be committed out of order, looks from the first.
    virtual Result<std::optional<WebhookEvent>> nextEvent(qint64 after) = 0;
    virtual Result<Done> eventDelivered(qint64 id, const QDateTime& when) = 0;

    // --- Modems ----------------------------------------------------------------------------

    /// What a gateway says of one of its modems now.
    virtual Result<Done> beat(const ModemBeat& beat) = 0;
    /// Every modem of every host, as it last said.
    virtual Result<QList<ModemBeat>> modems() = 0;

    /// Takes or renews the lease `name` for `host` until `seconds` after `now`: true when `host`
    /// holds it, false while another's has not run out (one gateway does a job for all).
    virtual Result<bool> lead(const QString& name, const QString& host, const QDateTime& now,
                              int seconds) = 0;

    // --- Facts -----------------------------------------------------------------

    virtual Result<std::optional<QString>> fact(const QString& key) = 0;
    virtual Result<Done> setFact(const QString& key, const QString& value) = 0;

    /// Removes what is finished and older than `before`: outgoing messages that reached the
    /// end of their life (and whose file is not in the send folder), delivered events and
    /// received messages. Cursors stay valid. How many rows went.
    virtual Result<qint64> prune(const QDateTime& before) = 0;

    /// Whether `who` may take a message now: under its cap for the last minute and for the day,
    /// counted by the parts it has sent.
    Result<bool> withinCaps(const Claimant& who, const QDateTime& now) {
        const auto under = [&](const std::optional<int>& cap,
                               const QDateTime& since) -> Result<bool> {
            if (!cap) return true;
            auto sent = partsSentBy(who.modem, since);
            if (!sent) return sent.error();
            return *sent < *cap;
        };
        auto minute = under(who.perMinute, now.addSecs(-60));
        if (!minute || !*minute) return minute;
        return under(who.perDay, startOfDay(now));
    }
};

/// The first of the messages a lookup found, or none; a failed lookup as it failed.
inline Result<std::optional<OutgoingMessage>> firstOf(Result<QList<OutgoingMessage>> found) {
    if (!found) return found.error();
    if (found->isEmpty()) return std::optional<OutgoingMessage>();
    return std::optional(found->front());
}

/// Opens a connection to the store; each thread calls it once for its own.
using StoreOpener = std::function<Result<std::unique_ptr<Store>>()>;

}  // namespace telvane::store
