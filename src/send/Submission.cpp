#include "send/Submission.h"

#include <algorithm>

#include "send/CmsErrors.h"

namespace telvane::send {

namespace {

using contracts::makeStatus;
using contracts::StatusId;

void cancelTextEntry(contracts::PhoneLink& phone) { (void)phone.exchange(commands::cancel()); }

// After a confirmation that did not come in time: the line is brought back to order (ESC ends a
// text entry the phone may still be in), waiting as long again. The network's "+CMGS:" before
// the phone's answer to that means the part went out; its reference, when it gave one.
std::optional<std::optional<int>> lateConfirmation(const SubmissionPorts& ports) {
    QByteArray late;
    if (!ports.phone.resynchronise(ports.confirmationTimeoutS, &late).answered()) return {};
    if (!late.contains("+CMGS:")) return {};
    return messageReference(late);
}

SubmissionFailure failureOf(const QByteArray& reply, const QString& otherwise) {
    if (const auto number = cmsErrorNumber(reply)) {
        const CmsError error = cmsError(*number);
        return {number, error.meaning, error.permanent};
    }
    const bool error = contracts::classifyReply(reply, "OK") == contracts::ReplyState::Failed;
    return {std::nullopt, error ? QStringLiteral("ERROR") : otherwise, false};
}

// A refusal costs nothing: the parts go as they would without it.
contracts::ExchangeResult keepLink(contracts::PhoneLink& phone, bool on) {
    return phone.exchange(commands::keepLink(on));
}

// The network's "+CMGS: <mr>" once its line is whole (the reference may have more digits to
// come until then): the part went, whatever follows.
std::optional<std::optional<int>> wholeConfirmation(const QByteArray& reply) {
    const qsizetype at = reply.indexOf("+CMGS:");
    if (at < 0 || reply.indexOf('\n', at) < 0) return std::nullopt;
    return messageReference(reply);
}

QString partLabel(std::size_t k, std::size_t m) {
    return QString::number(k) + u'/' + QString::number(m);
}

// Offers the parts not yet confirmed, as submitParts describes.
SubmissionResult offerParts(const SubmissionPorts& ports, const std::vector<PendingPart>& parts,
                            std::vector<bool>& confirmed, const SubmissionSteps& steps) {
    const std::size_t m = parts.size();
    const bool single = m == 1;
    SubmissionResult result;
    result.references.resize(m);
    for (std::size_t i = 0; i < m; ++i) {
        if (confirmed[i]) continue;
        const std::size_t k = i + 1;
        const PendingPart& part = parts[i];

        const contracts::ExchangeResult prompted =
            ports.phone.exchange(commands::prompt(part.tpduLength));
        if (!prompted.answered()) result.reason = prompted.reason();
        if (prompted.halted()) {
            result.halted = true;
            return result;
        }
        if (!prompted.answered()) {
            result.lastFailure = failureOf(ports.phone.lastReply(), QStringLiteral("no prompt"));
            cancelTextEntry(ports.phone);
            ports.status.SetStatus(single ? makeStatus(StatusId::NotSent)
                                          : makeStatus(StatusId::PartNotSent, partLabel(k, m)));
            result.promptFailed = true;
            return result;
        }

        if (steps.submitting && !steps.submitting(i)) {
            // Not recorded as on its way, it must not go: a stop now would send it twice.
            cancelTextEntry(ports.phone);
            result.unrecorded = true;
            return result;
        }
        const QString action = single ? QStringLiteral("Отправка SMS")
                                      : QStringLiteral("Отправка SMS: ") + partLabel(k, m);
        // Recorded the moment its line is whole: a stop while the answer is still being read
        // (the standard pacing waits for the line to fall quiet) must not send it again.
        std::optional<std::optional<int>> early;
        contracts::Exchange submission =
            commands::pdu(part.pdu, action, ports.confirmationTimeoutS);
        submission.onProgress = [&](const QByteArray& reply) {
            if (early) return;
            early = wholeConfirmation(reply);
            if (early && steps.confirmed) steps.confirmed(i, *early);
        };
        const contracts::ExchangeResult sent = ports.phone.exchange(submission);
        std::optional<std::optional<int>> went = early;
        if (!went) {
            if (sent.halted()) {
                // The part may be on its way: it stays unconfirmed, and nothing else is said.
                result.halted = true;
                result.reason = sent.reason();
                return result;
            }
            if (sent.answered())
                went = messageReference(ports.phone.lastReply());
            else if (sent.outcome == contracts::ExchangeOutcome::TimedOut)
                went = lateConfirmation(ports);
        }
        if (went) {
            confirmed[i] = true;
            result.references[i] = *went;
            ports.status.SetStatus(single ? makeStatus(StatusId::Sent)
                                          : makeStatus(StatusId::PartSent, partLabel(k, m)));
            if (steps.confirmed && !early) steps.confirmed(i, *went);
            if (sent.halted()) {
                result.halted = true;
                result.reason = sent.reason();
                result.allConfirmed =
                    std::find(confirmed.begin(), confirmed.end(), false) == confirmed.end();
                return result;
            }
            if (!single) ports.clock.pause(ports.pacing.shortPauseMs);
            continue;
        }
        result.reason = sent.reason();
        result.lastFailure = failureOf(ports.phone.lastReply(), QStringLiteral("no answer"));
        if (ports.phone.halted()) {
            result.halted = true;
            return result;
        }
    }
    result.allConfirmed = std::find(confirmed.begin(), confirmed.end(), false) == confirmed.end();
    return result;
}

}  // namespace

SubmissionResult submitParts(const SubmissionPorts& ports, const std::vector<PendingPart>& parts,
                             std::vector<bool>& confirmed, const SubmissionSteps& steps) {
    confirmed.resize(parts.size(), false);
    const auto missing = std::count(confirmed.begin(), confirmed.end(), false);
    bool linkKept = false, refused = false;
    if (ports.pacing.keepLinkBetweenParts && !ports.keepLinkRefused && missing >= 2) {
        const contracts::ExchangeResult asked = keepLink(ports.phone, true);
        if (asked.halted()) {
            SubmissionResult result;
            result.references.resize(parts.size());
            result.halted = true;
            result.reason = asked.reason();
            return result;
        }
        linkKept = asked.answered();
        refused = asked.outcome == contracts::ExchangeOutcome::Refused;
    }
    SubmissionResult result = offerParts(ports, parts, confirmed, steps);
    result.keepLinkRefused = refused;
    if (linkKept && !result.halted) (void)keepLink(ports.phone, false);
    return result;
}

}  // namespace telvane::send
