#pragma once
// The outbox scan: every outgoing-message file of the send folder is read, encoded, submitted
// and deleted once the phone confirmed all of its message.

#include <QHash>
#include <QString>
#include <functional>
#include <memory>
#include <optional>

#include "contracts/PollContext.h"
#include "send/OutboxFolder.h"
#include "send/OutboxWatch.h"
#include "send/SendJournal.h"

namespace telvane::config {
class Settings;
}
namespace telvane::lifecycle {
class HookRunner;
}

namespace telvane::send {

/// The gateway's outbox.
///
/// Files are handled in name order. A file modified less than kSettleMs ago (either side of
/// now) is being written and waits for the next poll, unless the watch of the folder heard its
/// writer close it (or rename it in) after its last change. A file that yields no number and text,
/// or whose message cannot be encoded, stays and is reported once in "Log.txt"; the scan goes
/// on with the next file. A message counts as sent only when the phone confirmed every part;
/// otherwise the file stays and "Log.txt" gets a line, and a long message that failed
/// part-way later sends only its missing parts, under the same reference. A confirmed file is
/// recorded in the send journal before it is deleted, and a file found there is deleted
/// without being sent again; only the file that was sent is deleted (one rewritten during its
/// sending is a new message). A message is submitted only once the journal could be written
/// just before; while it cannot, nothing is sent and "Log.txt" says so once. A confirmed
/// message that could neither be journalled nor deleted is renamed aside (".sent"), or at
/// least never sent again while the program runs. Only ordinary files are read; a symbolic
/// link stays, with a "Log.txt" line.
///
/// The journal and the reference of the last long message live for the program run: the
/// reference is read from LongID once and advanced in memory, so that two long messages never
/// share it even when LongID cannot be stored (said once in "Log.txt").
class OutboxScan final : public contracts::OutboxScanner {
public:
    using FolderFactory = std::function<std::unique_ptr<OutboxFolder>(const QString& path)>;

    static constexpr qint64 kSettleMs = 2000;

    /// @param folders opens the send folder; by default the file system's (DiskOutboxFolder)
    explicit OutboxScan(FolderFactory folders = {});

    void ScanOutbox(contracts::PollContext& context) override;
    void watch(const QString& folder, std::function<void()> onComplete) override;

    /// Where OnSent and OnFailed are queued; none by default. `hooks` must outlive this.
    void setHooks(lifecycle::HookRunner* hooks) { m_hooks = hooks; }

    /// The send journal of an installation: "SendJournal.txt" in its home folder.
    static QString journalPath(const config::Settings& settings);

    /// What the outbox keeps from poll to poll.
    struct Memory {
        std::optional<SendJournal> journal;
        int lastLongId = 0;             ///< 0 until the first long message reads LongID
        bool longIdReported = false;    ///< a LongID that could not be stored was logged
        bool heldReported = false;      ///< sending held for an unwritable journal was logged
        quint64 keepLinkRefusedOn = 0;  ///< the connection whose phone refused AT+CMMS
    };

private:
    void noteIgnoredSmsc(const contracts::PollContext& context);
    /// Settled by age, or finished by its writer after its last change.
    bool complete(const OutboxEntry& entry, qint64 nowMs) const;

    FolderFactory m_folders;
    Memory m_memory;
    lifecycle::HookRunner* m_hooks = nullptr;
    QString m_smscNote;  // the last "Log.txt" line about the SMSC setting, said once
    std::unique_ptr<OutboxWatch> m_watch;
    std::function<void()> m_onComplete;
    QHash<QString, qint64> m_finishedAt;  ///< file name -> when its writer finished it (ms)
};

}  // namespace telvane::send
