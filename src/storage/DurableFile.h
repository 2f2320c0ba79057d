#pragma once
// Durable writes of the files the gateway owns (day files, logs, part files, journals, the
// settings file): a write is reported done only once it is on the disk, a failed write leaves
// the former content, and no write, create or read goes through a symbolic link or touches
// anything but an ordinary file. The algorithms are written once; NativeFile*.cpp holds one
// source file per platform beneath them.

#include <QByteArray>
#include <QString>
#include <optional>

namespace telvane::storage {

/// Outcome of a write: done, or why not (path and the system's reason).
struct [[nodiscard]] WriteResult {
    bool ok = false;
    QString error;

    static WriteResult done() { return {true, {}}; }
    static WriteResult failed(const QString& path, const QString& why) {
        return {false, path + QStringLiteral(": ") + why};
    }
};

/// Appends `bytes` at the end of the file (created when missing) and waits until they are on
/// the disk (and, for a new file, its name too). Where `bytes` ends in a line end and the
/// file's last line has none (cut by a crash or an editor), that line end goes first, so that
/// the new line starts on a line of its own. A write that fails part-way (disk full, file size
/// limit) is cut back to the former length.
WriteResult appendDurably(const QString& path, const QByteArray& bytes);

/// Replaces the whole file by `bytes`: written to a new file beside it, on the disk, then
/// renamed over it and the folder synced, so that a crash leaves the old or the new content.
/// A file that stood there keeps its permissions. Nothing is left beside it on failure.
WriteResult replaceDurably(const QString& path, const QByteArray& bytes);

/// Inserts `bytes` at `offset` of an existing file in place (what followed moves behind them),
/// on the disk before it returns. Fails, writing nothing, when the file is no longer
/// `expectedSize` bytes long (it changed since it was read); a write that fails part-way is
/// undone.
WriteResult insertDurably(const QString& path, qint64 offset, const QByteArray& bytes,
                          qint64 expectedSize);

/// Makes the names in `folder` durable (a new or renamed file); POSIX needs this after a
/// rename, Windows does not. False when the folder could not be synced.
[[nodiscard]] bool syncFolder(const QString& folder);

/// A file read whole, or why not.
struct ReadResult {
    enum class Problem {
        None,
        Missing,      ///< nothing stands at the path
        NotOrdinary,  ///< a symbolic link, a folder, a device or a pipe: never read
        TooLarge,     ///< more than the limit
        Failed,       ///< the system refused (see error)
    };
    QByteArray bytes;
    Problem problem = Problem::None;
    QString error;  ///< path and reason, when problem is not None

    bool ok() const { return problem == Problem::None; }
};

/// The whole content of an ordinary file, reached without following a symbolic link at the
/// path; at most `maxBytes` when given.
[[nodiscard]] ReadResult readOwnFile(const QString& path,
                                     std::optional<qint64> maxBytes = std::nullopt);

}  // namespace telvane::storage
