#pragma once
// The receiving half of every poll: reads the phone memory and then the SIM, records each
// message in the store and its day's file, puts each part of a long message into its part
// file, deletes from the phone only what is safely recorded, and joins the long messages whose
// parts are all there.

#include <QByteArray>
#include <QString>
#include <memory>
#include <set>
#include <vector>

#include "contracts/PollContext.h"
#include "storage/FileSystem.h"

namespace telvane::lifecycle {
class HookRunner;
}

namespace telvane::receive {

class InboxRetrieval final : public contracts::InboxRetriever {
public:
    /// Keeps the day's files and the part files on `files` (tests put a failing file system
    /// here), which must outlive this.
    explicit InboxRetrieval(storage::FileSystem& files);
    ~InboxRetrieval() override;

    /// One run. Every message stays in the phone unless it is recorded: in the store and the
    /// day's file, in its part file, or, for a PDU that does not decode, in "Log.txt" with its
    /// raw text.
    void RetrieveInbox(contracts::PollContext& context) override;

    /// Where OnReceive and OnReport are queued; none by default. `hooks` must outlive this.
    void setHooks(lifecycle::HookRunner* hooks) { m_hooks = hooks; }

private:
    class Run;
    /// ME, SM, and SR where the modem keeps status reports apart (asked once a connection).
    std::vector<QByteArray> memoriesToRead(contracts::PhoneLink& phone);

    storage::FileSystem& m_files;
    bool m_numberReported = false;        ///< a Number that could not be stored was logged
    quint64 m_connection = 0;             ///< the connection the memories were asked on
    bool m_statusReports = false;         ///< the modem has an "SR" memory
    std::set<QByteArray> m_unselectable;  ///< named in "Log.txt" on this connection
    lifecycle::HookRunner* m_hooks = nullptr;
};

}  // namespace telvane::receive
