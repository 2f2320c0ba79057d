#pragma once
// The disk behind the file-system seam, failing on demand and without root, as KeePassXC's
// FailDevice does for a device: a chosen call fails (on every path, or on those that hold a
// given part), or the disk fills once it has taken a number of bytes. A write that does not fit
// fails whole, as a durable write is cut back; reads go through.

#include <map>

#include "storage/FileSystem.h"

namespace telvane::test {

class FailingFileSystem final : public storage::FileSystem {
public:
    enum class Call { Append, Replace, MakeFolder, Remove };

    /// `call` fails on the paths that hold `part` (on every path when it is empty) from now on.
    void fail(Call call, const QString& part = {}) { m_failing[call] = part; }
    /// Bytes the disk still takes; negative: as many as the real one.
    qint64 bytesLeft = -1;

    storage::WriteResult appendDurably(const QString& path, const QByteArray& bytes) override {
        if (const auto refused = refusal(Call::Append, path, bytes.size())) return *refused;
        return m_disk.appendDurably(path, bytes);
    }
    storage::WriteResult replaceDurably(const QString& path, const QByteArray& bytes) override {
        if (const auto refused = refusal(Call::Replace, path, bytes.size())) return *refused;
        return m_disk.replaceDurably(path, bytes);
    }
    std::optional<QByteArray> readAll(const QString& path) const override {
        return m_disk.readAll(path);
    }
    bool exists(const QString& path) const override { return m_disk.exists(path); }
    bool makeFolder(const QString& folder) override {
        return !refusal(Call::MakeFolder, folder, 0) && m_disk.makeFolder(folder);
    }
    bool remove(const QString& path) override {
        return !refusal(Call::Remove, path, 0) && m_disk.remove(path);
    }
    QStringList list(const QString& folder, const QString& suffix) const override {
        return m_disk.list(folder, suffix);
    }
    std::optional<QDateTime> lastModified(const QString& path) const override {
        return m_disk.lastModified(path);
    }
    std::optional<qint64> size(const QString& path) const override { return m_disk.size(path); }

private:
    std::optional<storage::WriteResult> refusal(Call call, const QString& path, qint64 bytes) {
        const auto failing = m_failing.find(call);
        if (failing != m_failing.end() && path.contains(failing->second))
            return storage::WriteResult::failed(path, QStringLiteral("Read-only file system"));
        if (bytesLeft < 0) return std::nullopt;
        if (bytes > bytesLeft)
            return storage::WriteResult::failed(path, QStringLiteral("No space left on device"));
        bytesLeft -= bytes;
        return std::nullopt;
    }

    storage::DiskFileSystem m_disk;
    std::map<Call, QString> m_failing;
};

}  // namespace telvane::test
