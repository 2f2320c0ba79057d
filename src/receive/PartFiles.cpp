#include "receive/PartFiles.h"

#include <QCryptographicHash>
#include <QRegularExpression>
#include <algorithm>

namespace telvane::receive {

namespace {

constexpr qsizetype kMaxDigitTag = 20;

bool allDigits(QStringView text) {
    return std::all_of(text.begin(), text.end(),
                       [](QChar c) { return c >= QLatin1Char('0') && c <= QLatin1Char('9'); });
}

}  // namespace

QString senderTag(const QString& sender) {
    QStringView digits(sender);
    if (digits.startsWith(QLatin1Char('+'))) digits = digits.mid(1);
    if (!digits.isEmpty() && digits.size() <= kMaxDigitTag && allDigits(digits)) {
        return digits.toString();
    }
    const QByteArray digest = QCryptographicHash::hash(sender.toUtf8(), QCryptographicHash::Sha1);
    return QString::fromLatin1(digest.toHex().left(8).toUpper());
}

QString partFileName(const MessagePart& part) {
    return part.reference + QLatin1Char('-') + QString::number(part.total) + QLatin1Char('-') +
           senderTag(part.number) + QStringLiteral(".tmp");
}

bool isPartFileName(const QString& name) {
    static const QRegularExpression pattern(
        QStringLiteral("^[0-9A-F]{2}([0-9A-F]{2})?-[1-9][0-9]{0,2}-[0-9A-F]{1,20}\\.tmp$"));
    return pattern.match(name).hasMatch();
}

QByteArray partLine(const MessagePart& part) {
    const QStringList fields{QString::number(part.sequence), part.timeStamp, part.number,
                             part.text};
    return fields.join(QLatin1Char('\t')).toUtf8() + "\r\n";
}

std::vector<MessagePart> readPartLines(const QByteArray& content, const QString& reference,
                                       size_t total) {
    std::vector<MessagePart> parts;
    qsizetype start = 0;
    for (;;) {
        const qsizetype end = content.indexOf("\r\n", start);
        if (end < 0) break;  // what follows the last CR LF was never completed
        const QString line = QString::fromUtf8(content.mid(start, end - start));
        start = end + 2;
        const QStringList fields = line.split(QLatin1Char('\t'));
        if (fields.size() < 4) continue;
        bool ok = false;
        const qulonglong sequence = fields[0].toULongLong(&ok);
        if (!ok || sequence < 1 || sequence > total) continue;
        parts.push_back({reference, total, static_cast<size_t>(sequence), fields[1], fields[2],
                         fields.mid(3).join(QLatin1Char('\t'))});
    }
    return parts;
}

AssembledMessage assemble(std::vector<MessagePart> parts) {
    std::stable_sort(parts.begin(), parts.end(), [](const MessagePart& a, const MessagePart& b) {
        return a.sequence < b.sequence;
    });
    parts.erase(std::unique(parts.begin(), parts.end(),
                            [](const MessagePart& a, const MessagePart& b) {
                                return a.sequence == b.sequence;
                            }),
                parts.end());
    AssembledMessage message;
    if (parts.empty()) return message;
    message.timeStamp = parts.front().timeStamp;
    message.number = parts.front().number;
    for (const MessagePart& part : parts) message.text += part.text;
    message.parts = std::move(parts);
    return message;
}

std::vector<PartGroup> groupBySender(const std::vector<MessagePart>& parts) {
    std::vector<PartGroup> groups;
    for (const MessagePart& part : parts) {
        auto group = std::find_if(groups.begin(), groups.end(),
                                  [&](const PartGroup& g) { return g.sender == part.number; });
        if (group == groups.end()) {
            groups.push_back({part.number, {}});
            group = std::prev(groups.end());
        }
        const bool held =
            std::any_of(group->parts.begin(), group->parts.end(),
                        [&](const MessagePart& p) { return p.sequence == part.sequence; });
        if (!held) group->parts.push_back(part);
    }
    return groups;
}

OfferOutcome offerPart(storage::FileSystem& files, const QString& folder, const MessagePart& part,
                       QString* error) {
    const QString path = folder + partFileName(part);
    if (files.exists(path)) {
        const auto content = files.readAll(path);
        if (!content) {
            if (error) *error = path + QStringLiteral(": cannot be read");
            return OfferOutcome::Failed;
        }
        for (const MessagePart& held : readPartLines(*content, part.reference, part.total)) {
            if (held.number == part.number && held.sequence == part.sequence) {
                return OfferOutcome::AlreadyHeld;
            }
        }
    }
    // A line left torn by a crash does not swallow this one: it starts on a line of its own.
    const storage::WriteResult written = files.appendDurably(path, partLine(part));
    if (!written.ok) {
        if (error) *error = written.error;
        return OfferOutcome::Failed;
    }
    return OfferOutcome::Stored;
}

}  // namespace telvane::receive
