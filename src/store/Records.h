#pragma once
// What the store records about messages, as plain values: an outgoing message with its parts,
// a received message (or delivery report, or part of a long message) with its duplicate key,
// and a webhook event. The store keeps them; the modules above decide what they mean.

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <cstddef>
#include <optional>
#include <vector>

namespace telvane::store {

/// Where an outgoing message came from.
enum class Origin {
    File,  ///< a file of the send folder, known by its identity
    Api,   ///< posted to the HTTP interface
};

/// The life of an outgoing message. A message that failed part-way and waits for another try
/// is Queued again (its confirmed parts are kept).
enum class OutgoingState {
    Queued,       ///< waits for a modem
    Sending,      ///< claimed by a modem, no part on the wire
    Submitted,    ///< the PDU of a part is on the wire, its confirmation not yet in
    Sent,         ///< every part confirmed by the network
    Pending,      ///< a delivery report says the centre still tries
    Delivered,    ///< a delivery report says it was delivered
    Failed,       ///< refused for good, or given up
    Unconfirmed,  ///< a part went out and its confirmation was lost (a crash, a lost port)
};

/// "queued", "sending", "submitted", "sent", "pending", "delivered", "failed", "unconfirmed".
QString stateName(OutgoingState state);
std::optional<OutgoingState> stateNamed(const QString& name);
/// Nothing more will happen to it: sent (no report awaited), delivered, failed.
bool isFinished(OutgoingState state);

/// A file of the send folder: a rewritten file is another message.
struct FileIdentity {
    QString name;
    qint64 size = 0;
    qint64 modifiedMs = 0;
    QByteArray sha256Hex;  ///< of the whole content, lower-case hex

    friend bool operator==(const FileIdentity&, const FileIdentity&) = default;
};

enum class PartState {
    Waiting,    ///< not on the wire yet, or to go again
    Submitted,  ///< written to the phone, no confirmation yet
    Confirmed,  ///< "+CMGS: <mr>" came
};

/// One PDU of a message as it went, or is to go, to the phone; once built it never changes,
/// so that a message sent again goes with the same reference and split.
struct OutgoingPart {
    QByteArray pdu;  ///< hex text, SMSC part first
    std::size_t tpduLength = 0;
    PartState state = PartState::Waiting;
    std::optional<int> reference;  ///< TP-MR the network gave

    friend bool operator==(const OutgoingPart&, const OutgoingPart&) = default;
};

struct OutgoingMessage {
    qint64 seq = 0;  ///< the store's order of arrival; 0 until added
    QString id;      ///< what callers know it by: a file's name without extension, "api-..."
    Origin origin = Origin::File;
    FileIdentity file;  ///< Origin::File only
    /// The file's path now: in the send folder, Sent or Failed, aside as ".unconfirmed" or
    /// ".sent"; empty for an API message or a file that was deleted.
    QString place;
    bool fileInSend = false;  ///< its file is (or was last seen) in the send folder
    QString number;           ///< as written
    QString text;             ///< as written
    bool reportWanted = false;
    OutgoingState state = OutgoingState::Queued;
    std::vector<OutgoingPart> parts;  ///< empty until the message is encoded
    QString destination;              ///< the number as it went out
    int attempts = 0;
    std::optional<int> errorNumber;  ///< +CMS ERROR of the last failure
    QString errorText;
    QDateTime created;
    QDateTime updated;                ///< when the state was reached
    std::optional<int> reportStatus;  ///< TP-ST of the last delivery report
    QDateTime reportTime;
    QDateTime sentAt;  ///< when the last part was confirmed
    /// The "Log.txt" line said about this message, so that it is said once.
    QString note;
    /// The claim that the current owner holds; every write about the message must name it.
    qint64 claim = 0;
    /// The modem that took it (and sent it, when it went): its section name.
    QString modem;
    /// Only this modem may take it; empty: any.
    QString pinned;
    /// The gateway it came in by: a file's message belongs to that gateway's send folder.
    QString host;
    /// The gateway that holds the claim, and until when: a claim not renewed by then may be
    /// taken back for another.
    QString claimedBy;
    QDateTime leaseUntil;

    /// The reference of the last part, which a delivery report names.
    std::optional<int> lastReference() const {
        return parts.empty() ? std::nullopt : parts.back().reference;
    }
};

/// What was received: a message the inbox lists, a delivery report, or a part of a long
/// message (kept only so that the same part delivered again is known).
enum class IncomingKind { Message, Report, Part };

struct IncomingMessage {
    qint64 id = 0;   ///< the inbox cursor: only grows, across restarts and removals
    QByteArray key;  ///< the duplicate key: the same message delivered twice has the same one
    IncomingKind kind = IncomingKind::Message;
    QString sender;
    QString timeStamp;  ///< the service centre's, as the day's file has it
    QString text;
    QString file;      ///< the day's file it went to
    QString number;    ///< the running number, empty for a long message or a report
    QDateTime stored;  ///< when it was on the disk; invalid while it is being stored
    /// Where the day's file stood before this message was appended (its length, or the
    /// fingerprint of a workbook), so that a stop between the two can be told apart.
    QString mark;
    QString modem;  ///< the modem it came through

    bool isStored() const { return stored.isValid(); }
};

/// A page of the inbox: the stored messages after a cursor, and whether more follow.
struct InboxPage {
    QList<IncomingMessage> messages;
    bool more = false;
};

/// An event for the webhook receiver, waiting until it took it.
struct WebhookEvent {
    qint64 id = 0;
    QByteArray body;  ///< JSON, with "eventId" = id
    QDateTime created;
};

/// Who takes a message from the queue, and what it may take.
struct Claimant {
    QString host;          ///< the gateway's name for itself
    QString modem;         ///< the modem's section name
    QStringList prefixes;  ///< numbers it prefers ("+7916"); empty: any
    bool only = false;     ///< with prefixes: nothing else
    int leaseSeconds = 60;
    /// Parts this modem may send a minute and a day (operators' caps); none: no cap.
    std::optional<int> perMinute;
    std::optional<int> perDay;
};

/// A queued message as a claim looks at it.
struct Candidate {
    qint64 seq = 0;
    QString destination;  ///< the number as it goes out ("+79161234567")
    QString pinned;
};

/// Of the queued messages (oldest first), the one `who` takes: pinned to it or to no modem; one
/// of its prefixes (or pinned to it) first, any other only without `only`. Nothing when none.
std::optional<qint64> pickFor(const Claimant& who, const QList<Candidate>& queued);

/// The start of the day `now` is in, on the gateway's clock: "sent today" counts from it.
QDateTime startOfDay(const QDateTime& now);

/// What a gateway says of one of its modems, a beat at a time, for the status on every host.
struct ModemBeat {
    QString host;
    QString name;
    QString port;
    QString model;
    QString operatorName;
    std::optional<int> registration;
    std::optional<int> signal;
    bool inService = false;
    int sentToday = 0;
    std::optional<int> limitLeft;
    QDateTime blockedUntil;
    QDateTime seen;  ///< when it last said so
};

/// What happened in one hour, [start, start + 1 h): messages sent (their last part confirmed),
/// received (stored messages, not reports nor parts) and failed for good.
struct HourFigures {
    QDateTime start;
    int sent = 0;
    int received = 0;
    int failed = 0;

    friend bool operator==(const HourFigures&, const HourFigures&) = default;
};

/// The outgoing queue as monitoring sees it.
struct QueueFigures {
    int waiting = 0;  ///< queued, sending or on the wire
    std::optional<QDateTime> oldest;
};

/// The words the stores keep these values as: "file", "api"; "waiting", "submitted",
/// "confirmed"; "message", "report", "part".
QString originName(Origin origin);
Origin originNamed(const QString& name);
QString partStateName(PartState state);
PartState partStateNamed(const QString& name);
QString kindName(IncomingKind kind);
IncomingKind kindNamed(const QString& name);

}  // namespace telvane::store
