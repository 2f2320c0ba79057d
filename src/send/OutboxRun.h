#pragma once
// One run of the outbox scan, shared by its two halves: the files of the send folder
// (OutboxFiles.cpp) and the sending of queued messages (OutboxSending.cpp).

#include <QList>
#include <QString>

#include "contracts/PollContext.h"
#include "lifecycle/Announce.h"
#include "send/OutboxArchive.h"
#include "send/OutboxFolder.h"
#include "send/OutboxScan.h"
#include "send/OutgoingFile.h"
#include "send/SendReasons.h"
#include "store/Records.h"

namespace telvane::send {

/// The identity of a file with the given content.
store::FileIdentity identityOf(const QString& name, qint64 size, qint64 modifiedMs,
                               const QByteArray& content);

class OutboxRun {
public:
    OutboxRun(contracts::PollContext& context, OutboxFolder& folder, OutboxScan::Memory& memory,
              lifecycle::HookRunner* hooks);

    /// After a stop nobody saw coming: puts the queue in order once per program run.
    void recover();
    /// Gives a complete file its message in the queue, or says why it has none; `queued` is its
    /// message when that waits to be sent. False when the store cannot be reached: the rest
    /// waits for the next poll.
    bool registerFile(const OutboxEntry& entry, std::optional<store::OutgoingMessage>* queued);
    /// Records as sent what was set aside as ".sent" while the store could not take it (in this
    /// run or before a stop), and moves the files on.
    void recordSetAside();
    /// Applies [SMS] Unconfirmed to the messages whose confirmation was lost.
    void settleUnconfirmed();
    /// The queued messages, oldest first; nothing (and sending held) when the store fails.
    std::optional<QList<store::OutgoingMessage>> queued();
    /// Claims and sends one queued message. False when sending is held or the port went: the
    /// rest waits for the next poll.
    bool send(const store::OutgoingMessage& queued);
    /// Files that left the send folder take their messages with them: one still waiting is
    /// withdrawn, one that went on is no longer looked for there.
    void forgetVanished(const QList<OutboxEntry>& listed);

    /// Whether this modem takes `message`: not one pinned to another modem, nor, with Only, a
    /// number outside its prefixes.
    bool takes(const store::OutgoingMessage& message) const;
    /// Whether one of this modem's prefixes starts the message's number.
    bool prefers(const store::OutgoingMessage& message) const;
    /// Whether this modem may send now: not blocked after refusals, under its caps. Says why
    /// not in the status when it may not.
    bool maySend();
    /// The send folder for this modem alone while the lock lives (nothing for a gateway of one).
    std::unique_lock<std::recursive_mutex> folderTurn() const;

private:
    // The files' side (OutboxFiles.cpp).
    QString newId(const QString& name);
    /// Number and text of a file, read as [SMS] Encoding says ("Log.txt" says otherwise).
    OutgoingFileResult fieldsOf(const QString& name, const QByteArray& bytes);
    void reportFile(const store::FileIdentity& identity, OutgoingFileError error);
    void finishSent(store::OutgoingMessage& message, const QString& from = {});
    void failForGood(store::OutgoingMessage& message, const LogLine& line);
    void hold(store::OutgoingMessage& message);
    bool ofAnotherGateway(const store::OutgoingMessage& message) const;
    bool recordConfirmed();
    void setAside(const store::OutgoingMessage& message);
    bool unchangedSince(const store::FileIdentity& file, const QString& asName = {}) const;
    std::optional<QByteArray> bytesIfSame(const store::FileIdentity& file,
                                          const QString& asName = {}) const;

    // The sending's side (OutboxSending.cpp).
    struct Encoded;
    std::optional<Encoded> encode(store::OutgoingMessage& message);
    bool submit(store::OutgoingMessage& message, const Encoded& encoded);
    bool concludeUnsent(store::OutgoingMessage& message, bool halted, bool attempted);
    void concludeSent(store::OutgoingMessage& message, const Encoded& encoded);
    void advanceLongId(int used);
    /// A submission the phone refused (or, when `refused` is false, one that went): after
    /// BlockAfter refusals in a row a modem of several takes nothing for BlockMinutes.
    void countRefusal(bool refused);

    // Both.
    /// Writes the message; false (and sending held) when the store did not take it.
    bool save(store::OutgoingMessage& message);
    void announce(lifecycle::HookEvent event, const store::OutgoingMessage& message,
                  const QString& path);
    void reportOnce(store::OutgoingMessage& message, const LogLine& line);
    void holdSending(const QString& why);
    bool log(const LogLine& line);
    QDateTime now() const { return m_context.wallClock.now(); }
    /// Who this modem is when it takes a message from the queue, as this run's settings say.
    const store::Claimant& claimant() const { return m_claimant; }
    static store::Claimant claimantOf(const contracts::PollContext& context);

    contracts::PollContext& m_context;
    store::Store& m_store;
    OutboxFolder& m_folder;
    OutboxScan::Memory& m_memory;
    lifecycle::Listeners m_listeners;
    qint32 m_retryLimit;
    UnconfirmedRule m_unconfirmed;
    OutboxArchive m_archive;
    store::Claimant m_claimant;
};

}  // namespace telvane::send
