#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstring>
#include <filesystem>

#ifndef _WIN32
#include <fcntl.h>
#include <unistd.h>
#endif

#include "storage/FileSystem.h"
#include "storage/SyncFile.h"

namespace telvane::storage {

namespace {

QString systemReason(const QFile& file) {
    // Qt says "Unknown error" after a short write; errno says what happened.
    const int code = errno;
    if (code != 0) return QString::fromLocal8Bit(std::strerror(code));
    return file.errorString();
}

// A new name in a folder is only durable once the folder itself is synced (POSIX); Windows has
// no such step.
void syncFolder(const QString& folder) {
#ifndef _WIN32
    const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
#else
    Q_UNUSED(folder);
#endif
}

}  // namespace

WriteResult DiskFileSystem::appendDurably(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered)) {
        return WriteResult::failed(path, file.errorString());
    }
    const qint64 formerSize = file.size();
    errno = 0;
    const qint64 written = file.write(bytes);
    if (written == bytes.size() && syncToDisk(file)) {
        if (formerSize == 0) syncFolder(QFileInfo(path).absolutePath());
        return WriteResult::done();
    }
    const QString why = systemReason(file);
    // Cut the torn tail off, so that the next append starts on a line of its own.
    if (file.resize(formerSize)) syncToDisk(file);
    return WriteResult::failed(path, why);
}

WriteResult DiskFileSystem::replaceDurably(const QString& path, const QByteArray& bytes) {
    // Written beside the file, on the disk before the rename: a crash leaves one whole version.
    const QString temporary = path + QStringLiteral(".new");
    {
        QFile file(temporary);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            return WriteResult::failed(temporary, file.errorString());
        }
        errno = 0;
        if (file.write(bytes) != bytes.size() || !syncToDisk(file)) {
            const QString why = systemReason(file);
            file.close();
            QFile::remove(temporary);
            return WriteResult::failed(temporary, why);
        }
    }
    std::error_code error;
    std::filesystem::rename(temporary.toStdString(), path.toStdString(), error);
    if (error) {
        QFile::remove(temporary);
        return WriteResult::failed(path, QString::fromStdString(error.message()));
    }
    syncFolder(QFileInfo(path).absolutePath());
    return WriteResult::done();
}

std::optional<QByteArray> DiskFileSystem::readAll(const QString& path) const {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
    QByteArray content = file.readAll();
    if (file.error() != QFileDevice::NoError) return std::nullopt;
    return content;
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

}  // namespace telvane::storage
