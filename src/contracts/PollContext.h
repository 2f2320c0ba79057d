#pragma once
// What a poll hands to the inbox retrieval and the outbox scan: the phone, the status, the
// working settings read when the gateway was started, and the store.

#include <QString>
#include <functional>
#include <optional>

#include "codec/Alphabets.h"
#include "contracts/Clock.h"
#include "contracts/EngineFigures.h"
#include "contracts/ModemPool.h"
#include "contracts/Pacing.h"
#include "contracts/PhoneLink.h"
#include "contracts/Status.h"
#include "storage/LogFile.h"
#include "store/Store.h"

namespace telvane::config {
class Settings;
}

namespace telvane::contracts {

/// What the day's received-message file is ([SMS] FileType 0, 1 and 2).
enum class DayFileFormat { Text, Document, Workbook };

/// Read from the settings at each Start and held until the next one.
struct WorkingSettings {
    QString sendFolder;     // outbox folder, ends in a separator
    QString receiveFolder;  // folder of the received-message files, ends in a separator
    QString logFolder;      // folder of "Log.txt" and "PortLog.txt", ends in a separator
    QString separator;      // [Options] Split: between number and text in outgoing files
    QString sentFolder;     // where sent files go, ends in a separator; empty: they are deleted
    QString failedFolder;   // where failed files go, ends in a separator; empty: they stay
    qint32 nextNumber = 1;  // [SMS] Number: the running number of the next received message
    // [SMS] FileType; none for a number that names no format: nothing can be stored then
    std::optional<DayFileFormat> dayFile = DayFileFormat::Text;
    // [SMS] Encoding: outgoing-message files, the day's text file, "Log.txt"
    codec::TextEncoding encoding = codec::TextEncoding::Cp1251;
    qint16 pollPeriod = 10;   // [Options] Period: seconds between two polls
    bool autoScroll = false;  // read once at program start (load), not at each Start
    QString host;             // this gateway's name in the store: whose claims are whose
    QString modem;            // this modem's among the gateway's; "" for a gateway of one
};

struct PollContext {
    PhoneLink& phone;
    StatusSink& status;
    WorkingSettings& working;
    const config::Settings& settings;
    Clock& clock;
    EventPump& pump;
    const PacingProfile& pacing;
    const WallClock& wallClock;
    /// The record of every message: what the inbox stored, the outbox's queue.
    store::Store& store;
    /// What the gateway counts for the metrics and the status answer.
    EngineFigures& figures;
    /// "Log.txt", in the Logs folder and the encoding of this Start.
    storage::LogWriter& log;
    /// What this modem shares with the gateway's others; none for a gateway of one.
    ModemPool* pool = nullptr;
};

/// Reads, stores and deletes every message held by the phone.
class InboxRetriever {
public:
    virtual ~InboxRetriever() = default;
    virtual void RetrieveInbox(PollContext& context) = 0;
};

/// Sends every outgoing-message file of the send folder.
class OutboxScanner {
public:
    virtual ~OutboxScanner() = default;
    virtual void ScanOutbox(PollContext& context) = 0;
    /// Where it can, hears writers finish files in `folder` and calls `onComplete` (on this
    /// thread); the next scan sends such a file without waiting for it to settle. When a writer
    /// finished is told by `clock`, the clock of the polls. Calling it again for the same folder
    /// keeps the watch; a folder that appeared since gets one.
    virtual void watch(const QString& folder, const WallClock& clock,
                       std::function<void()> onComplete) {
        (void)folder;
        (void)clock;
        (void)onComplete;
    }
};

/// The once-a-second tick that drives the poll cycle; tests tick by hand.
class TickSource {
public:
    virtual ~TickSource() = default;
    virtual void setEnabled(bool enabled) = 0;
    virtual bool isEnabled() const = 0;
};

}  // namespace telvane::contracts
