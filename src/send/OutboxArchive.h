#pragma once
// The files a message's life cycle leaves around the send folder: "<id>.status" beside a file
// that waits, and the Sent and Failed folders a file goes to with its status once its outcome
// is known. The status files are written from the store for people and programs to read.

#include <QByteArray>
#include <QString>

#include "send/OutboxFolder.h"
#include "store/Records.h"

namespace telvane::send {

class OutboxArchive {
public:
    /// Folders end in a separator; an empty Sent or Failed folder is not used. With
    /// `keepStatus` false no status file is written at all (nothing of the life cycle is set).
    OutboxArchive(OutboxFolder& send, QString sendPath, QString sentPath, QString failedPath,
                  bool keepStatus);

    bool keepsStatus() const { return m_keepStatus; }
    const QString& sendFolder() const { return m_sendPath; }
    const QString& sentFolder() const { return m_sent; }
    const QString& failedFolder() const { return m_failed; }

    /// True when an archive already holds a file or status of this id (from before the store
    /// knew of it): a new message must not take it.
    bool archived(const QString& id, const QString& name) const;
    /// Writes the status beside the waiting file; false when it could not.
    bool keepWaiting(const store::OutgoingMessage& message) const;
    /// Puts `bytes` (the file's content) as "<id>" + the file's extension into `folder` with
    /// its status, then takes the file (named `from` in the send folder, when not its own name)
    /// and its status out of the send folder. The path of the file in `folder`; empty when it
    /// could not be put there or taken out of the send folder (then it stays only there).
    QString archive(const QString& folder, const QByteArray& bytes,
                    const store::OutgoingMessage& message, const QString& from = {}) const;
    /// Deletes the file (named `from` when not its own name) and its status, when it still
    /// holds `bytes`; false when it stays.
    bool remove(const QByteArray& bytes, const store::OutgoingMessage& message,
                const QString& from = {}) const;
    /// Takes a status beside a file out of the send folder (the file was deleted or moved).
    void dropWaiting(const QString& id) const;

    static QString extensionOf(const QString& name);

private:
    bool takeOut(const QString& name, const QByteArray& bytes,
                 const store::FileIdentity& file) const;

    OutboxFolder& m_send;
    QString m_sendPath;
    QString m_sent;
    QString m_failed;
    bool m_keepStatus;
};

}  // namespace telvane::send
