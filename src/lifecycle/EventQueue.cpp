#include "lifecycle/EventQueue.h"

#include <QFileInfo>
#include <QJsonDocument>
#include <QUuid>
#include <mutex>

namespace telvane::lifecycle {

namespace {

// The engine appends and the sender drops on other threads: one file, one lock.
std::mutex& queueLock() {
    static std::mutex lock;
    return lock;
}

QByteArray contentOf(const QString& path) {
    return storage::readOwnFile(path, EventQueue::kMaxBytes * 2).bytes;
}

}  // namespace

EventQueue::EventQueue(const QString& homeFolder) : m_path(homeFolder + fileName()) {}

storage::WriteResult EventQueue::append(QJsonObject event) const {
    event.insert(QStringLiteral("eventId"), QUuid::createUuid().toString(QUuid::WithoutBraces));
    const QByteArray line = QJsonDocument(event).toJson(QJsonDocument::Compact) + '\n';
    const std::lock_guard lock(queueLock());
    if (QFileInfo(m_path).size() + line.size() > kMaxBytes)
        return storage::WriteResult::failed(m_path, QStringLiteral("the queue is full"));
    return storage::appendDurably(m_path, line);
}

QByteArray EventQueue::first() const {
    const std::lock_guard lock(queueLock());
    const QByteArray content = contentOf(m_path);
    for (const QByteArray& line : content.split('\n'))
        if (!line.trimmed().isEmpty()) return line;
    return {};
}

storage::WriteResult EventQueue::dropFirst(const QByteArray& event) const {
    const std::lock_guard lock(queueLock());
    QByteArray content = contentOf(m_path);
    const qsizetype start = content.indexOf(event);
    if (start < 0) return storage::WriteResult::done();
    content.remove(0, start + event.size() + 1);
    return storage::replaceDurably(m_path, content);
}

}  // namespace telvane::lifecycle
