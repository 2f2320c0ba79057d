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
    if (!m_send.remove(from.isEmpty() ? name : from)) {
        // One copy only: the file stays where it is and is moved at a later poll.
        QFile::remove(file);
        QFile::remove(folder + statusName(message.id));
        return {};
    }
    dropWaiting(message.id);
    return file;
}

void OutboxArchive::dropWaiting(const QString& id) const {
    if (m_keepStatus) QFile::remove(m_sendPath + statusName(id));
}

}  // namespace telvane::send
