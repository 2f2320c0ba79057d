#pragma once
// The outbox scan: every outgoing-message file of the send folder becomes a message in the
// store's queue, and every queued message (a file's or one posted to the HTTP interface) is
// encoded, submitted, and finished once the phone confirmed all of it or refused it for good.

#include <QDateTime>
#include <QHash>
#include <QString>
#include <functional>
#include <memory>

#include "contracts/PollContext.h"
#include "send/OutboxFolder.h"
#include "send/OutboxWatch.h"
#include "store/Records.h"

namespace telvane::lifecycle {
class HookRunner;
}

namespace telvane::send {

/// What becomes of a message whose part went out and whose confirmation was lost ([SMS]
/// Unconfirmed): sent again (the default: nothing is lost), or held for a person.
enum class UnconfirmedRule { Resend, Hold };

/// The gateway's outbox.
///
/// Files are taken in name order. A file modified less than kSettleMs ago (either side of
/// now) is being written and waits for the next poll, unless the watch of the folder heard its
/// writer close it (or rename it in) after its last change. A complete file gets its message
/// in the store, known by the file's identity (name, size, time, content): a file rewritten
/// under the same name is another message. A file that yields no number and text, or whose
/// message cannot be encoded, stays and is reported once in "Log.txt" (or goes to Failed); the
/// scan goes on with the next. A message counts as sent only when the phone confirmed every
/// part; a part is recorded as on its way before its PDU goes, and as confirmed as soon as the
/// phone said so, so that a long message that failed part-way later sends only its missing
/// parts, under the same reference, and a stop never sends a confirmed part again. Only the
/// file that was sent is deleted or moved to Sent. While the store cannot be written, nothing
/// is sent and "Log.txt" says so once. Only ordinary files are read; a symbolic link stays,
/// with a "Log.txt" line.
///
/// The reference of the last long message lives for the program run: it is read from LongID
/// once and advanced in memory, so that two long messages never share it even when LongID
/// cannot be stored (said once in "Log.txt").
class OutboxScan final : public contracts::OutboxScanner {
public:
    using FolderFactory = std::function<std::unique_ptr<OutboxFolder>(const QString& path)>;

    static constexpr qint64 kSettleMs = 2000;

    /// @param folders opens the send folder; by default the file system's (DiskOutboxFolder)
    explicit OutboxScan(FolderFactory folders = {});

    void ScanOutbox(contracts::PollContext& context) override;
    void watch(const QString& folder, const contracts::WallClock& clock,
               std::function<void()> onComplete) override;

    /// Where OnSent and OnFailed are queued; none by default. `hooks` must outlive this.
    void setHooks(lifecycle::HookRunner* hooks) { m_hooks = hooks; }

    /// What the outbox keeps from poll to poll.
    struct Memory {
        bool recovered = false;         ///< the store was put in order after the last stop
        QDateTime reclaimedAt;          ///< when claims whose holder went were last taken back
        int lastLongId = 0;             ///< 0 until the first long message reads LongID
        bool longIdReported = false;    ///< a LongID that could not be stored was logged
        bool heldReported = false;      ///< sending held for an unwritable store was logged
        bool storeFailed = false;       ///< the store failed since claims were last taken back
        quint64 keepLinkRefusedOn = 0;  ///< the connection whose phone refused AT+CMMS
        int refusedInRow = 0;           ///< submissions the phone refused since one went
        QDateTime blockedUntil;         ///< a modem of several takes nothing until then
        /// Messages with a confirmation the store could not record, as they stood then: never
        /// sent again while this runs, and recorded before anything else once it can.
        QHash<qint64, store::OutgoingMessage> confirmedUnrecorded;
    };

private:
    std::optional<QList<OutboxEntry>> listAll(const contracts::PollContext& context,
                                              const OutboxFolder& folder) const;
    void noteIgnoredSmsc(const contracts::PollContext& context);
    /// Settled by age, or finished by its writer after its last change.
    bool complete(const OutboxEntry& entry, qint64 nowMs) const;

    FolderFactory m_folders;
    Memory m_memory;
    lifecycle::HookRunner* m_hooks = nullptr;
    QString m_smscNote;  // the last "Log.txt" line about the SMSC setting, said once
    std::unique_ptr<OutboxWatch> m_watch;
    std::function<void()> m_onComplete;
    const contracts::WallClock* m_clock = nullptr;  ///< the polls' clock, given with the watch
    QHash<QString, qint64> m_finishedAt;  ///< file name -> when its writer finished it (ms)
};

}  // namespace telvane::send
