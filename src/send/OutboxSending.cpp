// The sending's side of an outbox run: a queued message is claimed, encoded once (its parts
// recorded before the first goes), submitted part by part with each part recorded before its
// PDU and after its confirmation, and concluded as sent, waiting or failed.
#include <QRegularExpression>

#include "OutboxRun.h"
#include "codec/Alphabets.h"
#include "codec/Submit.h"
#include "config/CodecSettings.h"
#include "config/Settings.h"
#include "config/SettingsKeys.h"
#include "contracts/EngineFigures.h"
#include "send/Submission.h"

namespace telvane::send {

namespace {

namespace setting = config::setting;
using store::OutgoingMessage;
using store::OutgoingState;
using store::PartState;

// SendTimeout seconds, at least one; the default when the value is not a number.
int confirmationTimeout(const config::Settings& settings) {
    const qint32 seconds = settings.strictInt32(setting::SendTimeout);
    return seconds >= 1 ? seconds : commands::kConfirmationS;
}

// "+7916 +7926": the prefixes as written, blanks or commas between them.
QStringList prefixesOf(const config::Settings& settings) {
    return settings.text(setting::Prefixes)
        .split(QRegularExpression(QStringLiteral("[\\s,;]+")), Qt::SkipEmptyParts);
}

std::optional<int> capOf(const config::Settings& settings, const config::Setting& key) {
    if (settings.text(key).trimmed().isEmpty()) return std::nullopt;
    return std::max(0, settings.strictInt32(key));
}

}  // namespace

/// A message as it goes out: the number and the text as written and as sent.
struct OutboxRun::Encoded {
    QString number;  ///< as written
    QString text;    ///< as it goes out (line breaks removed, transliterated where set)
    std::variant<codec::Destination, codec::SubmitError> destination;
};

store::Claimant OutboxRun::claimantOf(const contracts::PollContext& context) {
    const config::Settings& settings = context.settings;
    store::Claimant who;
    who.host = context.working.host;
    who.modem = context.working.modem;
    who.prefixes = prefixesOf(settings);
    who.only = settings.equalsOne(setting::PrefixesOnly);
    who.perMinute = capOf(settings, setting::PerMinute);
    who.perDay = capOf(settings, setting::PerDay);
    // A claim outlives the longest wait for a confirmation, so that only a gateway that stopped
    // loses its claims to another.
    who.leaseSeconds =
        std::max(settings.strictInt32(setting::StoreLease), 2 * confirmationTimeout(settings));
    return who;
}

std::optional<QList<OutgoingMessage>> OutboxRun::queued() {
    const auto waiting = m_store.inState(OutgoingState::Queued, 10000);
    if (!waiting) {
        holdSending(waiting.error().message);
        return std::nullopt;
    }
    return *waiting;
}

// A file's message is the gateway's whose send folder holds the file: only it sends the file,
// moves it on or sets it aside.
bool OutboxRun::ofAnotherGateway(const OutgoingMessage& message) const {
    return message.origin == store::Origin::File && !message.host.isEmpty() &&
           message.host != m_context.working.host;
}

bool OutboxRun::prefers(const OutgoingMessage& message) const {
    const QString number = message.number.trimmed();
    const QStringList& prefixes = m_claimant.prefixes;
    return std::any_of(prefixes.begin(), prefixes.end(), [&](const QString& prefix) {
        // Written with or without its "+", a number matches the prefix written either way.
        const auto bare = [](QString n) { return n.remove(u'+'); };
        return bare(number).startsWith(bare(prefix));
    });
}

bool OutboxRun::takes(const OutgoingMessage& message) const {
    if (!message.pinned.isEmpty() && message.pinned != m_context.working.modem) return false;
    if (!message.pinned.isEmpty()) return true;
    return !m_claimant.only || m_claimant.prefixes.isEmpty() || prefers(message);
}

bool OutboxRun::maySend() {
    if (m_memory.blockedUntil.isValid() && now() < m_memory.blockedUntil) {
        m_context.status.SetStatus(contracts::makeStatus(contracts::StatusId::ModemBlocked,
                                                         m_memory.blockedUntil.toString(u"HH:mm")));
        return false;
    }
    if (!m_claimant.perMinute && !m_claimant.perDay) return true;
    // A store that cannot count holds the modem back, as a cap reached would.
    if (const auto within = m_store.withinCaps(m_claimant, now()); within && *within) return true;
    m_context.status.SetStatus(contracts::makeStatus(contracts::StatusId::ModemAtLimit));
    return false;
}

void OutboxRun::countRefusal(bool refused) {
    if (!refused) {
        m_memory.refusedInRow = 0;
        return;
    }
    // One modem refusing everything (a barred SIM, a dead account) must not hold the messages
    // the others could send; with one modem there is nobody to leave them to.
    if (!m_context.pool) return;
    const int after = m_context.settings.strictInt32(setting::BlockAfter);
    if (after < 1 || ++m_memory.refusedInRow < after) return;
    const int minutes = std::max(1, int(m_context.settings.strictInt32(setting::BlockMinutes)));
    m_memory.refusedInRow = 0;
    m_memory.blockedUntil = now().addSecs(60LL * minutes);
    m_context.figures.blockedUntilMs = m_memory.blockedUntil.toMSecsSinceEpoch();
    log({QStringLiteral("Модем %1 не берёт сообщения до %2: %3 отказа подряд")
             .arg(m_context.working.modem, m_memory.blockedUntil.toString(u"HH:mm"))
             .arg(after)});
}

bool OutboxRun::send(const OutgoingMessage& queued) {
    if (m_memory.confirmedUnrecorded.contains(queued.seq)) return true;
    if (ofAnotherGateway(queued)) return true;
    const auto claimed = m_store.claim(queued.seq, claimant(), now());
    if (!claimed) {
        holdSending(claimed.error().message);
        return false;
    }
    if (!claimed->has_value()) return true;  // taken meanwhile
    OutgoingMessage message = **claimed;
    if (message.origin == store::Origin::File) {
        if (!unchangedSince(message.file)) {
            // Changed or taken away since it was queued: the next scan sees what is there.
            message.state = OutgoingState::Queued;
            save(message);
            return true;
        }
    }
    m_context.status.SetStatus(contracts::makeStatus(contracts::StatusId::Sending));
    const std::optional<Encoded> encoded = encode(message);
    // Refused for good, it goes no further; a store that did not take its parts holds sending.
    if (!encoded) return message.state == OutgoingState::Failed;
    return submit(message, *encoded);
}

std::optional<OutboxRun::Encoded> OutboxRun::encode(OutgoingMessage& message) {
    codec::SubmitOptions options = config::sendingOptions(m_context.settings);
    const std::u32string number = message.number.toStdU32String();
    Encoded encoded{message.number,
                    QString::fromStdU32String(
                        codec::prepareText(message.text.toStdU32String(), options.toLatin)),
                    codec::destinationOf(codec::unicodeToUtf8(number))};
    message.destination = message.number.trimmed();
    if (const auto* d = std::get_if<codec::Destination>(&encoded.destination))
        message.destination = QString::fromStdString(d->text());
    if (!message.parts.empty()) return encoded;  // exactly as they went before

    // Several modems take long-message references from one sequence, in turn.
    std::unique_lock<std::mutex> longIdTurn;
    if (m_context.pool) longIdTurn = std::unique_lock(m_context.pool->longIds);
    int& lastLongId = m_context.pool ? m_context.pool->lastLongId : m_memory.lastLongId;
    if (lastLongId == 0) lastLongId = options.lastLongId;
    options.lastLongId = lastLongId;
    const codec::SubmitResult result =
        codec::encodeSubmit(codec::unicodeToUtf8(number), message.text.toStdU32String(), options);
    if (const auto* refused = std::get_if<codec::SubmitError>(&result)) {
        message.errorText = QString::fromStdString(codec::describe(*refused));
        message.destination.clear();
        failForGood(message, refusedLine(encoded.number, encoded.text, *refused));
        return std::nullopt;
    }
    const auto& submit = std::get<codec::SubmitMessage>(result);
    if (submit.longId != options.lastLongId) advanceLongId(submit.longId);
    for (const codec::SubmitPart& part : submit.parts)
        message.parts.push_back(
            {QByteArray::fromStdString(part.pdu), part.tpduLength, PartState::Waiting, {}});
    message.reportWanted = options.report;
    // The parts are on record before any goes, so that a second try sends the same ones.
    if (!save(message)) return std::nullopt;
    return encoded;
}

bool OutboxRun::submit(OutgoingMessage& message, const Encoded& encoded) {
    std::vector<PendingPart> parts;
    std::vector<bool> confirmed;
    for (const store::OutgoingPart& part : message.parts) {
        parts.push_back({part.pdu, part.tpduLength});
        confirmed.push_back(part.state == PartState::Confirmed);
    }
    bool recorded = true;
    const SubmissionSteps steps{[&](std::size_t i) {
                                    message.parts[i].state = PartState::Submitted;
                                    message.state = OutgoingState::Submitted;
                                    message.updated = now();
                                    return save(message);
                                },
                                [&](std::size_t i, std::optional<int> reference) {
                                    message.parts[i].state = PartState::Confirmed;
                                    message.parts[i].reference = reference;
                                    if (save(message)) return;
                                    recorded = false;
                                    m_memory.confirmedUnrecorded.insert(message.seq, message);
                                }};
    const quint64 connection = m_context.phone.connection();
    const SubmissionPorts ports{m_context.phone,
                                m_context.status,
                                m_context.clock,
                                m_context.pacing,
                                confirmationTimeout(m_context.settings),
                                m_memory.keepLinkRefusedOn == connection};
    const SubmissionResult result = submitParts(ports, parts, confirmed, steps);
    if (result.keepLinkRefused) m_memory.keepLinkRefusedOn = connection;
    m_context.phone.PurgeBuffer();
    if (result.allConfirmed) {
        countRefusal(false);
        concludeSent(message, encoded);
        return recorded;
    }
    if (result.halted || result.unrecorded) {
        (void)concludeUnsent(message, result.halted, false);
        return false;
    }
    ++message.attempts;
    log(notSentLine(encoded.number, encoded.text) << result.reason);
    const SubmissionFailure failure = result.lastFailure.value_or(SubmissionFailure{});
    message.errorNumber = failure.cmsError;
    message.errorText = failure.what;
    countRefusal(!failure.permanent);
    const bool exhausted = m_retryLimit > 0 && message.attempts >= m_retryLimit;
    if (failure.permanent || exhausted) {
        for (store::OutgoingPart& part : message.parts)
            if (part.state == PartState::Submitted) part.state = PartState::Waiting;
        failForGood(message, {});
        return recorded;
    }
    return concludeUnsent(message, false, true) && recorded;
}

// Not every part went. After a halt (the port vanished, an exit) nobody knows whether a part on
// the wire went: its message is unconfirmed. Otherwise the phone answered, and a part it did not
// confirm did not go.
bool OutboxRun::concludeUnsent(OutgoingMessage& message, bool halted, bool attempted) {
    const bool onTheWire =
        std::any_of(message.parts.begin(), message.parts.end(),
                    [](const store::OutgoingPart& p) { return p.state == PartState::Submitted; });
    message.updated = now();
    if (halted && onTheWire) {
        message.state = OutgoingState::Unconfirmed;
        if (save(message)) settleUnconfirmed();
        return false;
    }
    for (store::OutgoingPart& part : message.parts)
        if (part.state == PartState::Submitted) part.state = PartState::Waiting;
    message.state = OutgoingState::Queued;
    if (attempted) (void)m_archive.keepWaiting(message);
    return save(message);
}

void OutboxRun::concludeSent(OutgoingMessage& message, const Encoded& encoded) {
    ++message.attempts;
    message.errorNumber.reset();
    message.errorText.clear();
    // The number rules are the gateway's: say when a number went out otherwise than written.
    if (const auto* d = std::get_if<codec::Destination>(&encoded.destination)) {
        const bool asWritten = d->digits == encoded.number.trimmed().remove(u'+').toStdString();
        if (!asWritten || d->typeOfAddress != codec::kInternationalNumber)
            log(numberSentLine(encoded.number.trimmed(), *d));
    }
    message.state = OutgoingState::Sent;
    message.sentAt = message.updated = now();
    if (!save(message)) {
        setAside(message);
        return;
    }
    finishSent(message);
}

void OutboxRun::advanceLongId(int used) {
    (m_context.pool ? m_context.pool->lastLongId : m_memory.lastLongId) = used;
    const QString value = QString::number(used);
    if (!m_context.settings.write(setting::LongID, value) && !m_memory.longIdReported) {
        // The reference in memory goes on; only a restart would read the old one again.
        m_memory.longIdReported = true;
        log({config::notWrittenText(setting::LongID, value)});
    }
}

}  // namespace telvane::send
