#include "lifecycle/MessageStatus.h"

#include <QStringList>
#include <algorithm>
#include <array>

namespace telvane::lifecycle {

namespace {

constexpr std::array kStates{"waiting", "sent", "failed", "delivered", "pending"};

QString optionalNumber(const std::optional<int>& n) { return n ? QString::number(*n) : QString(); }

}  // namespace

QString timeText(const QDateTime& time) {
    return time.isValid() ? time.toOffsetFromUtc(time.offsetFromUtc()).toString(Qt::ISODate)
                          : QString();
}

QString stateName(MessageState state) {
    return QString::fromLatin1(kStates[static_cast<std::size_t>(state)]);
}

QString statusPathOf(const QString& messageFile) {
    const qsizetype slash = std::max(messageFile.lastIndexOf(u'/'), messageFile.lastIndexOf(u'\\'));
    const qsizetype dot = messageFile.lastIndexOf(u'.');
    return (dot > slash + 1 ? messageFile.left(dot) : messageFile) + QStringLiteral(".status");
}

MessageState stateOfReport(int tpSt) {
    if (tpSt < 0x20) return MessageState::Delivered;
    if (tpSt < 0x40) return MessageState::Pending;
    return MessageState::Failed;
}

QByteArray serialize(const MessageStatus& s) {
    QStringList references;
    for (const auto& r : s.references)
        references << (r ? QString::number(*r) : QStringLiteral("-"));
    QStringList lines{
        QStringLiteral("state=") + stateName(s.state),
        QStringLiteral("time=") + timeText(s.time),
        QStringLiteral("file=") + s.file,
        QStringLiteral("number=") + s.number,
        QStringLiteral("parts=") + QString::number(s.parts),
        QStringLiteral("references=") + references.join(u','),
        QStringLiteral("attempts=") + QString::number(s.attempts),
        QStringLiteral("error=") + optionalNumber(s.errorNumber),
        QStringLiteral("error-text=") + s.errorText,
    };
    if (s.report) {
        lines << QStringLiteral("report=") +
                     QStringLiteral("%1").arg(*s.report, 2, 16, QLatin1Char('0')).toUpper()
              << QStringLiteral("report-time=") + timeText(s.reportTime);
    }
    // A value is one line: a file name may hold anything.
    for (QString& line : lines) line.replace(u'\n', u' ').replace(u'\r', u' ');
    return (lines.join(u'\n') + u'\n').toUtf8();
}

MessageStatus parseStatus(const QByteArray& text) {
    MessageStatus s;
    for (const QString& line : QString::fromUtf8(text).split(u'\n')) {
        const qsizetype eq = line.indexOf(u'=');
        if (eq < 0) continue;
        const QString key = line.left(eq), value = line.mid(eq + 1);
        bool ok = false;
        if (key == u"state") {
            for (std::size_t i = 0; i < kStates.size(); ++i)
                if (value == QLatin1String(kStates[i])) s.state = MessageState(i);
        } else if (key == u"time") {
            s.time = QDateTime::fromString(value, Qt::ISODate);
        } else if (key == u"file") {
            s.file = value;
        } else if (key == u"number") {
            s.number = value;
        } else if (key == u"parts") {
            s.parts = value.toInt();
        } else if (key == u"references" && !value.isEmpty()) {
            for (const QString& r : value.split(u',')) {
                const int n = r.toInt(&ok);
                s.references << (ok ? std::optional(n) : std::nullopt);
            }
        } else if (key == u"attempts") {
            s.attempts = value.toInt();
        } else if (key == u"error") {
            const int n = value.toInt(&ok);
            if (ok) s.errorNumber = n;
        } else if (key == u"error-text") {
            s.errorText = value;
        } else if (key == u"report") {
            const int n = value.toInt(&ok, 16);
            if (ok) s.report = n;
        } else if (key == u"report-time") {
            s.reportTime = QDateTime::fromString(value, Qt::ISODate);
        }
    }
    return s;
}

}  // namespace telvane::lifecycle
