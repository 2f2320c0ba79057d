#include "send/Submission.h"

#include "send/CmsErrors.h"

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

SubmissionFailure failureOf(const QByteArray& reply, const QString& otherwise) {
    if (const auto number = cmsErrorNumber(reply)) {
        const CmsError error = cmsError(*number);
        return {number, QString::fromLatin1(error.meaning), error.permanent};
    }
    const bool error = contracts::classifyReply(reply, "OK") == contracts::ReplyState::Failed;
    return {std::nullopt, error ? QStringLiteral("ERROR") : otherwise, false};
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
    result.references.resize(m);
    for (std::size_t i = 0; i < m; ++i) {
        if (confirmed[i]) continue;
        const std::size_t k = i + 1;
        const PendingPart& part = parts[i];

        QString wait = QStringLiteral(">");
        const QByteArray command =
            "at+cmgs=" + QByteArray::number(static_cast<qulonglong>(part.tpduLength)) + '\r';
        if (!ports.phone.SendToPhone(command, QStringLiteral("Инициализация"), wait,
                                     kPromptTimeoutS)) {
            result.lastFailure = failureOf(ports.phone.gsBuffer(), QStringLiteral("no prompt"));
            cancelTextEntry(ports.phone);
            ports.status.SetStatus(single ? makeStatus(StatusId::NotSent)
                                          : makeStatus(StatusId::PartNotSent, partLabel(k, m)));
            result.promptFailed = true;
            return result;
        }

        wait = QStringLiteral("OK");
        const QString action = single ? QStringLiteral("Отправка SMS")
                                      : QStringLiteral("Отправка SMS: ") + partLabel(k, m);
        if (ports.phone.SendToPhone(part.pdu + kCtrlZ, action, wait, kConfirmationTimeoutS)) {
            confirmed[i] = true;
            result.references[i] = messageReference(ports.phone.gsBuffer());
            ports.status.SetStatus(single ? makeStatus(StatusId::Sent)
                                          : makeStatus(StatusId::PartSent, partLabel(k, m)));
            if (onConfirmed) onConfirmed();
            if (!single) ports.clock.pause(ports.pacing.shortPauseMs);
            continue;
        }
        result.lastFailure = failureOf(ports.phone.gsBuffer(), QStringLiteral("no answer"));
        // Silence may mean the phone is still taking text: end that before the next command.
        if (contracts::classifyReply(ports.phone.gsBuffer(), "OK") != contracts::ReplyState::Failed)
            cancelTextEntry(ports.phone);
    }
    result.allConfirmed = std::find(confirmed.begin(), confirmed.end(), false) == confirmed.end();
    return result;
}

}  // namespace telvane::send
