#pragma once
// The files a message's life cycle leaves around the send folder: "<id>.status" beside a file
// that waits, and the Sent and Failed folders a file goes to with its status once its outcome
// is known. The id is the file's name without its extension; where that is taken by another
// message (a name used again), "-2", "-3"... follow it.

#include <QByteArray>
#include <QString>
#include <optional>

#include "lifecycle/MessageStatus.h"
#include "send/OutboxFolder.h"

namespace telvane::send {

class OutboxArchive {
public:
    /// Folders end in a separator; an empty Sent or Failed folder is not used. With
    /// `keepStatus` false no status file is written at all (nothing of the life cycle is set).
    OutboxArchive(OutboxFolder& send, QString sendPath, QString sentPath, QString failedPath,
                  bool keepStatus);

    bool keepsStatus() const { return m_keepStatus; }
    const QString& sentFolder() const { return m_sent; }
    const QString& failedFolder() const { return m_failed; }

    QString idOf(const QString& name) const;
    /// The status beside a waiting file, when it was written after the file's last change (an
    /// older one is about an earlier message of that name).
    std::optional<lifecycle::MessageStatus> waiting(const OutboxEntry& entry,
                                                    const QString& id) const;
    /// Writes the status beside the waiting file; false when it could not.
    bool keepWaiting(const QString& id, const lifecycle::MessageStatus& status) const;
    /// Puts `bytes` (the file's content) as "<id>" + the file's extension into `folder` with
    /// its status, then takes the file and its status out of the send folder. The path of the
    /// file in `folder`; empty when it could not be put there or taken out of the send folder
    /// (then it stays only there).
    QString archive(const QString& folder, const QString& name, const QString& id,
                    const QByteArray& bytes, const lifecycle::MessageStatus& status) const;
    /// Takes a status beside a file out of the send folder (the file was deleted).
    void dropWaiting(const QString& id) const;

    static QString extensionOf(const QString& name);

private:
    bool taken(const QString& id, const QString& name) const;

    OutboxFolder& m_send;
    QString m_sendPath;
    QString m_sent;
    QString m_failed;
    bool m_keepStatus;
};

}  // namespace telvane::send
