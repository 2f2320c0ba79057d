#include "send/OutboxArchive.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "lifecycle/MessageStatus.h"
#include "storage/DurableFile.h"

namespace telvane::send {

namespace {

QString statusName(const QString& id) { return id + QStringLiteral(".status"); }

}  // namespace

OutboxArchive::OutboxArchive(OutboxFolder& send, QString sendPath, QString sentPath,
                             QString failedPath, bool keepStatus)
    : m_send(send),
      m_sendPath(std::move(sendPath)),
      m_sent(std::move(sentPath)),
      m_failed(std::move(failedPath)),
      m_keepStatus(keepStatus) {}

QString OutboxArchive::extensionOf(const QString& name) {
    const qsizetype dot = name.lastIndexOf(u'.');
    return dot > 0 ? name.mid(dot) : QString();
}

bool OutboxArchive::archived(const QString& id, const QString& name) const {
    for (const QString& folder : {m_sent, m_failed}) {
        if (folder.isEmpty()) continue;
        if (QFileInfo::exists(folder + id + extensionOf(name)) ||
            QFileInfo::exists(folder + statusName(id)))
            return true;
    }
    return false;
}

bool OutboxArchive::keepWaiting(const store::OutgoingMessage& message) const {
    if (!m_keepStatus) return true;
    return storage::replaceDurably(m_sendPath + statusName(message.id),
                                   lifecycle::statusFileOf(message))
        .ok;
}

QString OutboxArchive::archive(const QString& folder, const QByteArray& bytes,
                               const store::OutgoingMessage& message, const QString& from) const {
    const QString& name = message.file.name;
    const QString file = folder + message.id + extensionOf(name);
    // The status first: a stop before the file follows leaves the status alone, which the next
    // try writes again.
    if (!QDir().mkpath(folder) ||
        !storage::replaceDurably(folder + statusName(message.id), lifecycle::statusFileOf(message))
             .ok ||
        !storage::replaceDurably(file, bytes).ok)
        return {};
    if (!takeOut(from.isEmpty() ? name : from, bytes, message.file)) {
        // One copy only: the file stays where it is and is moved at a later poll.
        QFile::remove(file);
        QFile::remove(folder + statusName(message.id));
        return {};
    }
    dropWaiting(message.id);
    return file;
}

bool OutboxArchive::remove(const QByteArray& bytes, const store::OutgoingMessage& message,
                           const QString& from) const {
    if (!takeOut(from.isEmpty() ? message.file.name : from, bytes, message.file)) return false;
    dropWaiting(message.id);
    return true;
}

// The operator may drop a new file under the name at any moment, also while the old one is
// archived: the name is given up first and what it held looked at after, so that only the file
// the message came from goes, and a newcomer renamed with it gets its name back.
bool OutboxArchive::takeOut(const QString& name, const QByteArray& bytes,
                            const store::FileIdentity& file) const {
    const QString moving = name + QStringLiteral(".moving");
    if (!m_send.rename(name, moving)) return false;
    const std::optional<OutboxEntry> entry = m_send.stat(moving);
    const std::optional<QByteArray> held = m_send.read(moving, bytes.size() + 1);
    const bool same = entry && held && *held == bytes && entry->size == file.size &&
                      entry->modifiedMs == file.modifiedMs;
    if (same && m_send.remove(moving)) return true;
    // Left as ".moving" only when the name was taken again meanwhile: never sent from there.
    (void)m_send.rename(moving, name);
    return false;
}

void OutboxArchive::dropWaiting(const QString& id) const {
    if (m_keepStatus) QFile::remove(m_sendPath + statusName(id));
}

}  // namespace telvane::send
