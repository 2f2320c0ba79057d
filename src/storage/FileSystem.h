#pragma once
// The files the gateway writes, behind one small interface: the real one writes through
// to the disk before it reports success (DurableFile.h); tests put a failing one in front of it.

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <optional>

#include "storage/DurableFile.h"

namespace telvane::storage {

class FileSystem {
public:
    virtual ~FileSystem() = default;

    /// See storage::appendDurably: on the disk, on a line of its own, cut back on failure.
    virtual WriteResult appendDurably(const QString& path, const QByteArray& bytes) = 0;

    /// See storage::replaceDurably: a crash leaves either the old or the new content.
    virtual WriteResult replaceDurably(const QString& path, const QByteArray& bytes) = 0;

    /// The whole file, or nullopt when it is missing, cannot be read, or is no ordinary file
    /// of its own (a symbolic link is not followed).
    virtual std::optional<QByteArray> readAll(const QString& path) const = 0;

    virtual bool exists(const QString& path) const = 0;
    /// Creates the folder and its parents when missing; true when it exists afterwards.
    virtual bool makeFolder(const QString& folder) = 0;
    virtual bool remove(const QString& path) = 0;

    /// Names (not paths) of the files directly in `folder` whose name ends in `suffix`, sorted.
    virtual QStringList list(const QString& folder, const QString& suffix) const = 0;

    virtual std::optional<QDateTime> lastModified(const QString& path) const = 0;
    /// Bytes in the file; nullopt when it is missing.
    virtual std::optional<qint64> size(const QString& path) const = 0;
};

/// The local disk.
class DiskFileSystem final : public FileSystem {
public:
    WriteResult appendDurably(const QString& path, const QByteArray& bytes) override;
    WriteResult replaceDurably(const QString& path, const QByteArray& bytes) override;
    std::optional<QByteArray> readAll(const QString& path) const override;
    bool exists(const QString& path) const override;
    bool makeFolder(const QString& folder) override;
    bool remove(const QString& path) override;
    QStringList list(const QString& folder, const QString& suffix) const override;
    std::optional<QDateTime> lastModified(const QString& path) const override;
    std::optional<qint64> size(const QString& path) const override;
};

}  // namespace telvane::storage
