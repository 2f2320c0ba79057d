#pragma once
// A delivery report and the sent message it is about. A report names only the reference of
// the message's last part (8 bits, so it comes round again), the recipient and when the
// centre took the message; together they name one message of those that wait for a report.

#include <QDateTime>
#include <QList>
#include <QString>
#include <optional>

#include "store/Store.h"

namespace telvane::lifecycle {

/// Reports come within the validity period (4 days); a message waits a week for its report.
inline constexpr qint64 kAwaitedReportDays = 7;

/// Of the messages that wait for a report with this reference, the one it is about: the same
/// number digits ("+" aside); of several, the one sent closest to `submitted` (the report's
/// service-centre time stamp), or the newest when the report has none.
std::optional<store::OutgoingMessage> pickReported(const QList<store::OutgoingMessage>& awaiting,
                                                   const QString& number,
                                                   const std::optional<QDateTime>& submitted);

/// What a report says of its message.
struct Report {
    int reference = 0;  ///< TP-MR
    QString number;     ///< the recipient
    std::optional<QDateTime> submitted;
    int status = 0;        ///< TP-ST
    QDateTime discharged;  ///< when the centre delivered or gave up
};

/// Records a report on its message in the store: its state (delivered, pending, failed), the
/// TP-ST and its time. The message as it stands now; nothing when no message waits for it.
store::Result<std::optional<store::OutgoingMessage>> recordReport(store::Store& store,
                                                                  const Report& report,
                                                                  const QDateTime& now);

}  // namespace telvane::lifecycle
