#pragma once
// Parts of long messages wait in part files of the home folder until all of them are there, or
// until the file has waited 4 x Period seconds. One file per (reference, total, sender), named
// reference "-" total "-" sender tag ".tmp"; one line per part: sequence number, TAB, time
// stamp, TAB, number, TAB, text, CR LF, in UTF-8 so that the office formats lose nothing.

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

#include "storage/FileSystem.h"

namespace telvane::receive {

/// One part as the decoder gave it.
struct MessagePart {
    QString reference;  ///< 2 (8-bit) or 4 (16-bit) upper-case hexadecimal digits
    size_t total = 0;
    size_t sequence = 0;  ///< 1..total
    QString timeStamp;
    QString number;
    QString text;
};

/// The sender's digits when the sender is a number of at most 20 digits ("+" dropped),
/// otherwise 8 upper-case hexadecimal digits of a digest of the sender: only digits and
/// "A"-"F", whatever the sender's name holds.
QString senderTag(const QString& sender);

/// "5A-3-12345678901.tmp": only hexadecimal digits, decimal digits and "-", never PDU text.
QString partFileName(const MessagePart& part);

/// True for a name partFileName can give (what the assembly looks at).
bool isPartFileName(const QString& name);

/// The part's line, CR LF ended.
QByteArray partLine(const MessagePart& part);

/// The parts of a part file's content. Lines that do not read as parts (a line torn by a
/// crash, text of another program) are passed over; `reference` and `total` come from the
/// file name.
std::vector<MessagePart> readPartLines(const QByteArray& content, const QString& reference,
                                       size_t total);

/// One long message made from its parts: ordered by sequence number, each sequence number
/// once; time stamp and number of the lowest one, texts joined without separators.
struct AssembledMessage {
    QString timeStamp;
    QString number;
    QString text;
    std::vector<MessagePart> parts;
};
AssembledMessage assemble(std::vector<MessagePart> parts);

/// The parts held for one sender, grouped from a part file.
struct PartGroup {
    QString sender;
    std::vector<MessagePart> parts;  ///< in file order, each sequence number once
    bool complete(size_t total) const { return parts.size() >= total; }
};
std::vector<PartGroup> groupBySender(const std::vector<MessagePart>& parts);

enum class OfferOutcome {
    Stored,       ///< the part is on the disk in its part file
    AlreadyHeld,  ///< the part file already holds this sequence number of this sender
    Failed,       ///< the part file could not be read or written
};

/// Puts a part into its part file in `folder` (ending in a separator), unless it is held
/// already. `error` says why on Failed.
OfferOutcome offerPart(storage::FileSystem& files, const QString& folder, const MessagePart& part,
                       QString* error = nullptr);

}  // namespace telvane::receive
