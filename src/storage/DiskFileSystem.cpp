#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "storage/FileSystem.h"

namespace telvane::storage {

WriteResult DiskFileSystem::appendDurably(const QString& path, const QByteArray& bytes) {
    return storage::appendDurably(path, bytes);
}

WriteResult DiskFileSystem::replaceDurably(const QString& path, const QByteArray& bytes) {
    return storage::replaceDurably(path, bytes);
}

std::optional<QByteArray> DiskFileSystem::readAll(const QString& path) const {
    ReadResult read = readOwnFile(path);
    if (!read.ok()) return std::nullopt;
    return std::move(read.bytes);
}

bool DiskFileSystem::exists(const QString& path) const { return QFileInfo::exists(path); }

bool DiskFileSystem::makeFolder(const QString& folder) { return QDir().mkpath(folder); }

bool DiskFileSystem::remove(const QString& path) { return QFile::remove(path); }

QStringList DiskFileSystem::list(const QString& folder, const QString& suffix) const {
    QStringList names;
    const QStringList all = QDir(folder).entryList(QDir::Files | QDir::NoDotAndDotDot, QDir::Name);
    for (const QString& name : all) {
        if (name.endsWith(suffix)) names << name;
    }
    return names;
}

std::optional<QDateTime> DiskFileSystem::lastModified(const QString& path) const {
    const QFileInfo info(path);
    if (!info.exists()) return std::nullopt;
    return info.lastModified();
}

std::optional<qint64> DiskFileSystem::size(const QString& path) const {
    const QFileInfo info(path);
    if (!info.exists()) return std::nullopt;
    return info.size();
}

}  // namespace telvane::storage
