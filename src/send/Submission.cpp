#include "send/Submission.h"

namespace telvane::send {

namespace {

using contracts::makeStatus;
using contracts::StatusId;

constexpr char kCtrlZ = 26;
constexpr char kEsc = 27;

// TS 27.005 3.5.1: ESC ends text entry without sending. A phone that already left it (after
// "ERROR") ignores it.
void cancelTextEntry(contracts::PhoneLink& phone) {
    QString wait = QStringLiteral("OK");
    phone.SendToPhone(QByteArray(1, kEsc), QStringLiteral("Отмена ввода"), wait, kCancelTimeoutS);
}

// After a confirmation that did not come in time: the line is brought back to order (ESC ends a
// text entry the phone may still be in), waiting as long again. The network's "+CMGS:" before
// the phone's answer to that means the part went out.
bool lateConfirmation(const SubmissionPorts& ports) {
    QByteArray late;
    if (!ports.phone.resynchronise(ports.confirmationTimeoutS, &late).answered()) return false;
    return phone::messageReferenceOf(std::string_view(late.constData(), size_t(late.size())))
        .has_value();
}

QString partLabel(std::size_t k, std::size_t m) {
    return QString::number(k) + u'/' + QString::number(m);
}

}  // namespace

SubmissionResult submitParts(const SubmissionPorts& ports, const std::vector<PendingPart>& parts,
                             std::vector<bool>& confirmed,
                             const std::function<void()>& onConfirmed) {
    confirmed.resize(parts.size(), false);
    const std::size_t m = parts.size();
    const bool single = m == 1;
    SubmissionResult result;
    for (std::size_t i = 0; i < m; ++i) {
        if (confirmed[i]) continue;
        const std::size_t k = i + 1;
        const PendingPart& part = parts[i];

        const QByteArray command =
            "at+cmgs=" + QByteArray::number(static_cast<qulonglong>(part.tpduLength)) + '\r';
        const contracts::ExchangeResult prompted = ports.phone.exchange(
            {command, QStringLiteral("Инициализация"), QStringLiteral(">"), kPromptTimeoutS});
        if (!prompted.answered()) result.reason = prompted.reason();
        if (prompted.halted()) {
            result.halted = true;
            return result;
        }
        if (!prompted.answered()) {
            cancelTextEntry(ports.phone);
            ports.status.SetStatus(single ? makeStatus(StatusId::NotSent)
                                          : makeStatus(StatusId::PartNotSent, partLabel(k, m)));
            result.promptFailed = true;
            return result;
        }

        const QString action = single ? QStringLiteral("Отправка SMS")
                                      : QStringLiteral("Отправка SMS: ") + partLabel(k, m);
        const contracts::ExchangeResult sent =
            ports.phone.exchange({part.pdu + kCtrlZ, action, QStringLiteral("OK"),
                                  ports.confirmationTimeoutS, 0, kExitGraceS});
        if (sent.halted()) {
            // The part may be on its way: it stays unconfirmed, and nothing else is said.
            result.halted = true;
            result.reason = sent.reason();
            return result;
        }
        if (sent.answered() ||
            (sent.outcome == contracts::ExchangeOutcome::TimedOut && lateConfirmation(ports))) {
            confirmed[i] = true;
            ports.status.SetStatus(single ? makeStatus(StatusId::Sent)
                                          : makeStatus(StatusId::PartSent, partLabel(k, m)));
            if (onConfirmed) onConfirmed();
            if (!single) ports.clock.pause(ports.pacing.shortPauseMs);
            continue;
        }
        result.reason = sent.reason();
        if (ports.phone.halted()) {
            result.halted = true;
            return result;
        }
    }
    result.allConfirmed = std::find(confirmed.begin(), confirmed.end(), false) == confirmed.end();
    return result;
}

}  // namespace telvane::send
