#pragma once
// What the modems of one gateway share while each runs its own engine on its own thread.

#include <QStringList>
#include <QtGlobal>
#include <mutex>
#include <optional>

namespace telvane::contracts {

/// One per gateway of several modems, made where the gateway is put together.
struct ModemPool {
    /// Every modem's identity: a sub-folder of the send folder named after one holds the files
    /// that go only through it.
    QStringList modems;
    /// Held while a received message is written: one day's file, one running number.
    std::mutex receiving;
    /// The running number of the next received message, once a modem has read it.
    std::optional<qint32> nextNumber;
    /// Held while a long message takes its reference: one sequence for all modems, so that no
    /// two long messages to one number go out under the same reference at once.
    std::mutex longIds;
    int lastLongId = 0;  ///< 0 until the first long message reads LongID
    /// Held while a modem changes what the send folder holds, or compares it with the store:
    /// another modem's file moved on in between would look taken away. Taken again by the
    /// steps that move a file on inside a scan's own turn.
    std::recursive_mutex sendFolder;
};

}  // namespace telvane::contracts
