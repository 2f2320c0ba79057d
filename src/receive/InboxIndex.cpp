#include "receive/InboxIndex.h"

#include <QJsonDocument>

namespace telvane::receive {

QJsonObject InboxEntry::toJson() const {
    QJsonObject o{{QStringLiteral("seq"), seq},       {QStringLiteral("stored"), stored},
                  {QStringLiteral("number"), number}, {QStringLiteral("time"), timeStamp},
                  {QStringLiteral("text"), text},     {QStringLiteral("file"), file}};
    if (!id.isEmpty()) o.insert(QStringLiteral("id"), id);
    return o;
}

std::optional<InboxEntry> InboxEntry::fromJson(const QJsonObject& o) {
    const QJsonValue seq = o.value(QStringLiteral("seq"));
    if (!seq.isDouble() || seq.toInteger(-1) < 1) return std::nullopt;
    return InboxEntry{seq.toInteger(),
                      o.value(QStringLiteral("stored")).toString(),
                      o.value(QStringLiteral("number")).toString(),
                      o.value(QStringLiteral("time")).toString(),
                      o.value(QStringLiteral("text")).toString(),
                      o.value(QStringLiteral("file")).toString(),
                      o.value(QStringLiteral("id")).toString()};
}

namespace {

std::optional<InboxEntry> entryOf(const QByteArray& line) {
    const QJsonDocument document = QJsonDocument::fromJson(line);
    return document.isObject() ? InboxEntry::fromJson(document.object()) : std::nullopt;
}

}  // namespace

InboxPage readInboxIndex(const QByteArray& content, qint64 after, int limit) {
    InboxPage page;
    for (const QByteArray& line : content.split('\n')) {
        const std::optional<InboxEntry> entry = entryOf(line);
        if (!entry || entry->seq <= after) continue;
        if (page.entries.size() >= limit) {
            page.more = true;
            break;
        }
        page.entries.append(*entry);
    }
    return page;
}

storage::WriteResult InboxIndex::append(storage::FileSystem& files, const QString& path,
                                        InboxEntry entry) {
    if (path != m_path || m_last < 0) {
        m_path = path;
        m_last = 0;
        for (const QByteArray& line : files.readAll(path).value_or(QByteArray()).split('\n'))
            if (const auto read = entryOf(line)) m_last = std::max(m_last, read->seq);
    }
    entry.seq = m_last + 1;
    const storage::WriteResult written = files.appendDurably(
        path, QJsonDocument(entry.toJson()).toJson(QJsonDocument::Compact) + '\n');
    // A failed write may still have reached the disk in part: the number is not used again.
    m_last = entry.seq;
    return written;
}

}  // namespace telvane::receive
