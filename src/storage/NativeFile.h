#pragma once
// The few file operations the durable writes are built from, one source file per platform
// (NativeFilePosix.cpp, NativeFileWindows.cpp). Paths are QStrings all the way down: each
// platform turns them into its own file names (local 8-bit on POSIX, UTF-16 on Windows).
// Private to the storage module.

#include <QByteArray>
#include <QString>
#include <optional>

namespace telvane::storage::native {

/// What stands at a path; a symbolic link at the path itself is not followed.
enum class Kind { Missing, Ordinary, Link, Other };
Kind kindOf(const QString& path);

/// An open ordinary file. Opening never follows a symbolic link at the path and refuses
/// anything but an ordinary file; each failure leaves its reason in error().
class File {
public:
    enum class Mode {
        Read,       ///< an existing file, for reading
        Update,     ///< an existing file, for reading and writing
        Append,     ///< for reading and writing, created when missing
        CreateNew,  ///< a new file for writing; fails when anything stands at the path
    };

    File(const QString& path, Mode mode);
    ~File();
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    bool isOpen() const;
    /// The reason of the last failure (open included); empty when none.
    const QString& error() const { return m_error; }
    /// True when opening failed because of a symbolic link or a file that is not ordinary.
    bool refusedKind() const { return m_refusedKind; }
    /// True when opening failed because nothing stands at the path.
    bool missing() const { return m_missing; }

    std::optional<qint64> size();
    /// Up to `count` bytes from `offset`; fewer only at the end of the file.
    std::optional<QByteArray> readAt(qint64 offset, qint64 count);
    /// All of `bytes` at `offset`, or false.
    bool writeAt(qint64 offset, const QByteArray& bytes);
    /// One read or write call of the system at `offset`: how many bytes it moved (0 for a read
    /// at the end), or nullopt. readAt and writeAt repeat them, the same on every platform.
    std::optional<qint64> readSome(qint64 offset, char* into, qint64 count);
    std::optional<qint64> writeSome(qint64 offset, const char* from, qint64 count);
    bool truncate(qint64 size);
    /// Flushes the file's data and size through every cache to the disk.
    bool sync();
    /// Gives this file the permissions of the file at `path` (a replacement keeps them).
    void takePermissionsOf(const QString& path);

private:
    bool fail();

#ifdef _WIN32
    void* m_handle = nullptr;
#else
    int m_fd = -1;
#endif
    QString m_error;
    bool m_refusedKind = false;
    bool m_missing = false;
};

/// Renames `from` to `to`, replacing what stands there (a symbolic link itself, not its
/// target); the reason on failure.
std::optional<QString> renameOver(const QString& from, const QString& to);
/// Removes the name (a symbolic link itself, not its target).
void removeName(const QString& path);
bool syncFolder(const QString& folder);

}  // namespace telvane::storage::native
