#pragma once
// The send folder behind a small seam, so that tests can make a read or a deletion fail.

#include <QByteArray>
#include <QList>
#include <QString>
#include <optional>

namespace telvane::send {

/// One outgoing-message file as the listing saw it.
struct OutboxEntry {
    QString name;           ///< file name without the folder
    qint64 size = 0;        ///< bytes
    qint64 modifiedMs = 0;  ///< last modification, milliseconds since the epoch (UTC)
    bool ordinary = true;   ///< an ordinary file, not a symbolic link: only such are read

    friend bool operator==(const OutboxEntry&, const OutboxEntry&) = default;
};

/// Whether a file of this name is one the listing gives: a visible "*.txt" file. What the
/// gateway renames aside (".sent", ".moving", ".unconfirmed") is not.
bool isOutgoingFileName(const QString& name);

class OutboxFolder {
public:
    virtual ~OutboxFolder() = default;
    /// The ordinary, visible "*.txt" files directly in the folder (any letter case), sorted by
    /// name; nullopt when the folder is missing or cannot be read.
    virtual std::optional<QList<OutboxEntry>> list() const = 0;
    /// The file as it is now; nullopt when it is gone.
    virtual std::optional<OutboxEntry> stat(const QString& name) const = 0;
    /// The whole file, or nullopt when it cannot be read, holds more than `maxBytes`, or is
    /// not an ordinary file (a symbolic link is never followed).
    virtual std::optional<QByteArray> read(const QString& name, qint64 maxBytes) const = 0;
    /// Deletes the file; false when it is still there.
    [[nodiscard]] virtual bool remove(const QString& name) = 0;
    /// Gives the file another name, never over an existing one; false when it could not.
    [[nodiscard]] virtual bool rename(const QString& name, const QString& newName) = 0;
};

/// A folder of the file system.
class DiskOutboxFolder final : public OutboxFolder {
public:
    /// @param path the folder, with or without a trailing separator
    explicit DiskOutboxFolder(QString path);
    std::optional<QList<OutboxEntry>> list() const override;
    std::optional<OutboxEntry> stat(const QString& name) const override;
    std::optional<QByteArray> read(const QString& name, qint64 maxBytes) const override;
    bool remove(const QString& name) override;
    bool rename(const QString& name, const QString& newName) override;

private:
    QString filePath(const QString& name) const;
    QString m_path;
};

}  // namespace telvane::send
