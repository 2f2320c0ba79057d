#include "send/OutboxFolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>

namespace telvane::send {

namespace {

OutboxEntry entryOf(const QFileInfo& info) {
    return {info.fileName(), info.size(), info.lastModified().toMSecsSinceEpoch()};
}

}  // namespace

DiskOutboxFolder::DiskOutboxFolder(QString path) : m_path(std::move(path)) {}

QString DiskOutboxFolder::filePath(const QString& name) const {
    return QDir(m_path).filePath(name);
}

std::optional<QList<OutboxEntry>> DiskOutboxFolder::list() const {
    const QFileInfo folder(m_path);
    if (!folder.isDir() || !folder.isReadable()) return std::nullopt;
    // Hidden files are left out, as a wildcard listing of normal files leaves them out.
    const QFileInfoList infos = QDir(m_path).entryInfoList(
        {QStringLiteral("*.txt")}, QDir::Files | QDir::NoDotAndDotDot, QDir::NoSort);
    QList<OutboxEntry> entries;
    entries.reserve(infos.size());
    for (const QFileInfo& info : infos) entries << entryOf(info);
    // By code point, not by locale: the same order on every machine and every run.
    std::sort(entries.begin(), entries.end(),
              [](const OutboxEntry& a, const OutboxEntry& b) { return a.name < b.name; });
    return entries;
}

std::optional<OutboxEntry> DiskOutboxFolder::stat(const QString& name) const {
    const QFileInfo info(filePath(name));
    if (!info.exists()) return std::nullopt;
    return entryOf(info);
}

std::optional<QByteArray> DiskOutboxFolder::read(const QString& name, qint64 maxBytes) const {
    QFile file(filePath(name));
    if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
    QByteArray bytes = file.read(maxBytes + 1);
    if (file.error() != QFileDevice::NoError || bytes.size() > maxBytes) return std::nullopt;
    return bytes;
}

bool DiskOutboxFolder::remove(const QString& name) {
    QFile file(filePath(name));
    return file.remove() || !file.exists();
}

}  // namespace telvane::send
