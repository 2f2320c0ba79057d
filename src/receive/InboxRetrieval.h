#pragma once
// The receiving half of every poll: reads the phone memory and then the SIM, stores each
// message, puts each part of a long message into its part file, deletes from the phone only
// what is safely on the disk, and joins the long messages whose parts are all there.

#include <QByteArray>
#include <QString>
#include <memory>
#include <set>
#include <vector>

#include "contracts/PollContext.h"
#include "receive/InboxIndex.h"
#include "receive/StoredJournal.h"
#include "storage/FileSystem.h"

namespace telvane::lifecycle {
class HookRunner;
}

namespace telvane::receive {

class InboxRetrieval final : public contracts::InboxRetriever {
public:
    /// Works on the local disk.
    InboxRetrieval();
    /// Works on `files` (tests put a failing file system here); `files` must outlive this.
    explicit InboxRetrieval(storage::FileSystem& files);
    ~InboxRetrieval() override;

    /// One run. Every message stays in the phone unless it is on the disk: stored in the day's
    /// file (and in the journal), written to its part file, already held, or, for a PDU that
    /// does not decode, written to "Log.txt" with its raw text.
    void RetrieveInbox(contracts::PollContext& context) override;

    /// Joins the parts of every part file that is complete or has waited 4 x Period seconds,
    /// and stores the messages; a part file whose message could not be stored stays for the
    /// next run. Part of every complete run; public for tests.
    void AssembleLongMessages(contracts::PollContext& context);

    /// Where OnReceive and OnReport are queued; none by default. `hooks` must outlive this.
    void setHooks(lifecycle::HookRunner* hooks) { m_hooks = hooks; }

private:
    class Run;
    StoredJournal& journal(const contracts::PollContext& context);
    /// ME, SM, and SR where the modem keeps status reports apart (asked once a connection).
    std::vector<QByteArray> memoriesToRead(contracts::PhoneLink& phone);

    std::unique_ptr<storage::FileSystem> m_ownFiles;
    storage::FileSystem& m_files;
    std::unique_ptr<StoredJournal> m_journal;
    QString m_journalPath;
    bool m_numberReported = false;        ///< a Number that could not be stored was logged
    quint64 m_connection = 0;             ///< the connection the memories were asked on
    bool m_statusReports = false;         ///< the modem has an "SR" memory
    std::set<QByteArray> m_unselectable;  ///< named in "Log.txt" on this connection
    lifecycle::HookRunner* m_hooks = nullptr;
    InboxIndex m_index;
};

}  // namespace telvane::receive
