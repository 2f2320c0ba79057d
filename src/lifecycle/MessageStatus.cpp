#include "lifecycle/MessageStatus.h"

#include <QFileInfo>
#include <QStringList>
#include <algorithm>

#include "storage/DurableFile.h"

namespace telvane::lifecycle {

namespace {

QString optionalNumber(const std::optional<int>& n) { return n ? QString::number(*n) : QString(); }

}  // namespace

QString timeText(const QDateTime& time) {
    return time.isValid() ? time.toOffsetFromUtc(time.offsetFromUtc()).toString(Qt::ISODate)
                          : QString();
}

QString stateWord(store::OutgoingState state) {
    switch (state) {
        case store::OutgoingState::Queued:
        case store::OutgoingState::Sending:
        case store::OutgoingState::Submitted:
            return QStringLiteral("waiting");
        default:
            return store::stateName(state);
    }
}

QString statusPathOf(const QString& messageFile) {
    const qsizetype slash = std::max(messageFile.lastIndexOf(u'/'), messageFile.lastIndexOf(u'\\'));
    const qsizetype dot = messageFile.lastIndexOf(u'.');
    return (dot > slash + 1 ? messageFile.left(dot) : messageFile) + QStringLiteral(".status");
}

store::OutgoingState stateOfReport(int tpSt) {
    if (tpSt < 0x20) return store::OutgoingState::Delivered;
    if (tpSt < 0x40) return store::OutgoingState::Pending;
    return store::OutgoingState::Failed;
}

QByteArray statusFileOf(const store::OutgoingMessage& m) {
    QStringList references;
    for (const store::OutgoingPart& part : m.parts)
        references << (part.reference ? QString::number(*part.reference) : QStringLiteral("-"));
    QStringList lines{
        QStringLiteral("state=") + stateWord(m.state),
        QStringLiteral("time=") + timeText(m.updated),
        QStringLiteral("file=") + m.file.name,
        QStringLiteral("number=") + (m.destination.isEmpty() ? m.number.trimmed() : m.destination),
        QStringLiteral("parts=") + QString::number(m.parts.size()),
        QStringLiteral("references=") + references.join(u','),
        QStringLiteral("attempts=") + QString::number(m.attempts),
        QStringLiteral("error=") + optionalNumber(m.errorNumber),
        QStringLiteral("error-text=") + m.errorText,
    };
    if (m.reportStatus) {
        lines << QStringLiteral("report=") +
                     QStringLiteral("%1").arg(*m.reportStatus, 2, 16, QLatin1Char('0')).toUpper()
              << QStringLiteral("report-time=") + timeText(m.reportTime);
    }
    // A value is one line: a file name may hold anything.
    for (QString& line : lines) line.replace(u'\n', u' ').replace(u'\r', u' ');
    return (lines.join(u'\n') + u'\n').toUtf8();
}

bool writeStatusBeside(const store::OutgoingMessage& message) {
    if (message.place.isEmpty() || !QFileInfo::exists(message.place)) return false;
    return storage::replaceDurably(statusPathOf(message.place), statusFileOf(message)).ok;
}

}  // namespace telvane::lifecycle
