#pragma once
// What was stored lately, so that a message is stored once: a message stored but not yet
// deleted from the phone when the program stopped is listed again after the restart, and the
// network sometimes delivers the same message twice. Each entry is a digest of the sender, the
// service-centre time stamp and the text, one line each, in a small file of the home folder.

#include <QByteArray>
#include <QSet>
#include <QString>
#include <QStringList>
#include <deque>

#include "storage/FileSystem.h"

namespace telvane::receive {

/// The digest of one stored message (or part): 32 hexadecimal digits of SHA-256 over the kind,
/// the sender, the time stamp and the text, each length-prefixed so that no two different
/// tuples give the same input.
QByteArray journalKey(const QString& kind, const QString& sender, const QString& timeStamp,
                      const QString& text);

class StoredJournal {
public:
    /// @param capacity how many recent entries are kept; the file is rewritten with the newest
    ///                 `capacity` entries when it has grown to twice that.
    StoredJournal(storage::FileSystem& files, QString path, size_t capacity = 2000);

    bool contains(const QByteArray& key);
    /// Adds the entry and waits until it is on the disk.
    storage::WriteResult add(const QByteArray& key);

    size_t size() const { return m_order.size(); }
    static QString fileName() { return QStringLiteral("received.journal"); }

private:
    void load();
    storage::WriteResult compact();

    storage::FileSystem& m_files;
    QString m_path;
    size_t m_capacity;
    bool m_loaded = false;
    size_t m_linesInFile = 0;
    std::deque<QByteArray> m_order;
    QSet<QByteArray> m_keys;
};

}  // namespace telvane::receive
