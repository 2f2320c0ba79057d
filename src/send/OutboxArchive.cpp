#include "send/OutboxArchive.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "storage/DurableFile.h"

namespace telvane::send {

namespace {

QString statusName(const QString& id) { return id + QStringLiteral(".status"); }

std::optional<lifecycle::MessageStatus> readStatus(const QString& path) {
    const storage::ReadResult read = storage::readOwnFile(path, 64 * 1024);
    if (!read.ok()) return std::nullopt;
    return lifecycle::parseStatus(read.bytes);
}

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

// Another message's: a status beside another waiting file, or an archived file or status.
// A status in an archive without its file is this file's own move that a stop cut short.
bool OutboxArchive::taken(const QString& id, const QString& name) const {
    if (const auto beside = readStatus(m_sendPath + statusName(id)); beside && beside->file != name)
        return true;
    for (const QString& folder : {m_sent, m_failed}) {
        if (folder.isEmpty()) continue;
        if (QFileInfo::exists(folder + id + extensionOf(name))) return true;
        const auto archived = readStatus(folder + statusName(id));
        if (archived && archived->file != name) return true;
    }
    return false;
}

QString OutboxArchive::idOf(const QString& name) const {
    return lifecycle::messageId(name, [&](const QString& id) { return taken(id, name); });
}

std::optional<lifecycle::MessageStatus> OutboxArchive::waiting(const OutboxEntry& entry,
                                                               const QString& id) const {
    const QString path = m_sendPath + statusName(id);
    const QFileInfo info(path);
    if (!m_keepStatus || !info.exists() ||
        info.lastModified().toMSecsSinceEpoch() < entry.modifiedMs)
        return std::nullopt;
    auto status = readStatus(path);
    if (status && status->file != entry.name) return std::nullopt;
    return status;
}

bool OutboxArchive::keepWaiting(const QString& id, const lifecycle::MessageStatus& status) const {
    if (!m_keepStatus) return true;
    return storage::replaceDurably(m_sendPath + statusName(id), lifecycle::serialize(status)).ok;
}

QString OutboxArchive::archive(const QString& folder, const QString& name, const QString& id,
                               const QByteArray& bytes,
                               const lifecycle::MessageStatus& status) const {
    const QString file = folder + id + extensionOf(name);
    // The status first: a stop before the file follows leaves a status that idOf knows as
    // this file's own.
    if (!QDir().mkpath(folder) ||
        !storage::replaceDurably(folder + statusName(id), lifecycle::serialize(status)).ok ||
        !storage::replaceDurably(file, bytes).ok)
        return {};
    if (!m_send.remove(name)) {
        // One copy only: the file stays where it is and is moved at a later poll.
        QFile::remove(file);
        QFile::remove(folder + statusName(id));
        return {};
    }
    dropWaiting(id);
    return file;
}

void OutboxArchive::dropWaiting(const QString& id) const {
    if (m_keepStatus) QFile::remove(m_sendPath + statusName(id));
}

}  // namespace telvane::send
