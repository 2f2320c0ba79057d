#pragma once
// The order in which received messages were stored, for programs that read them over the
// network: "inbox.index" in the home folder, one JSON object per line, appended once a message
// is in the day's file. The day files stay as they are; the index only points into them. Each
// entry carries a sequence number that only grows, across restarts too, so that a reader's
// cursor ("after 41") stays valid.

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <optional>

#include "storage/FileSystem.h"

namespace telvane::receive {

struct InboxEntry {
    qint64 seq = 0;
    QString stored;     ///< when it was stored, ISO 8601 with the offset
    QString number;     ///< the sender
    QString timeStamp;  ///< the service centre's, as the day's file has it
    QString text;
    QString file;  ///< the day's file it is in
    QString id;    ///< the running number, empty for a long message

    QJsonObject toJson() const;
    static std::optional<InboxEntry> fromJson(const QJsonObject& object);
};

/// What a reader asks for: the entries after `after`, at most `limit`, and whether more follow.
struct InboxPage {
    QList<InboxEntry> entries;
    bool more = false;
};

/// The entries of an index file's content after the sequence number `after`. A line that does
/// not read (cut by a crash) is passed over.
InboxPage readInboxIndex(const QByteArray& content, qint64 after, int limit);

class InboxIndex {
public:
    static QString fileName() { return QStringLiteral("inbox.index"); }

    /// Appends `entry` with the next sequence number, on the disk before it returns.
    storage::WriteResult append(storage::FileSystem& files, const QString& path, InboxEntry entry);

private:
    QString m_path;
    qint64 m_last = -1;  ///< the last sequence number in the file; -1 until it was read
};

}  // namespace telvane::receive
