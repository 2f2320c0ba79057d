#include "send/OutboxFolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>

#include "storage/DurableFile.h"

namespace telvane::send {

namespace {

OutboxEntry entryOf(const QFileInfo& info) {
    return {info.fileName(), info.size(), info.lastModified().toMSecsSinceEpoch(),
            info.isFile() && !info.isSymLink()};
}

}  // namespace

bool isOutgoingFileName(const QString& name) {
    return !name.startsWith(u'.') && name.endsWith(QStringLiteral(".txt"), Qt::CaseInsensitive);
}

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
    OutboxEntry entry = entryOf(info);
    entry.name = name;  // as asked: "usb2/a.txt" for a file in a modem's sub-folder
    return entry;
}

std::optional<QByteArray> DiskOutboxFolder::read(const QString& name, qint64 maxBytes) const {
    // A link planted in the folder must not bring another file's content into Log.txt.
    storage::ReadResult read = storage::readOwnFile(filePath(name), maxBytes);
    if (!read.ok()) return std::nullopt;
    return std::move(read.bytes);
}

bool DiskOutboxFolder::remove(const QString& name) {
    QFile file(filePath(name));
    return file.remove() || !file.exists();
}

bool DiskOutboxFolder::rename(const QString& name, const QString& newName) {
    // QDir, not QFile: QFile falls back to copying, which would leave two files behind.
    return QDir(m_path).rename(name, newName);
}

}  // namespace telvane::send
