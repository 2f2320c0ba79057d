#pragma once
// Sent messages that asked for a delivery report, in "reports.journal" of the home folder, so
// that a report can find its message's status file: one line per message, its last part's
// reference, TAB, the number as it went out, TAB, when it went (UTC), TAB, the message's file
// in the Sent folder (its status file is beside it).
// A report names only the reference (8 bits, so it comes round again), the recipient and when
// the centre took the message; together they name one message.

#include <QDateTime>
#include <QString>
#include <optional>

#include "storage/FileSystem.h"

namespace telvane::lifecycle {

struct AwaitedReport {
    int reference = 0;
    QString number;  ///< as it went out; compared by its digits
    QDateTime sent;
    QString messageFile;
};

/// Reports come within the validity period (4 days); entries are kept a week.
inline constexpr qint64 kAwaitedReportDays = 7;

QString awaitedReportsPath(const QString& homeFolder);

storage::WriteResult awaitReport(storage::FileSystem& files, const QString& journal,
                                 const AwaitedReport& entry);

/// The message a report is about: the same reference and number digits; of several, the one
/// sent closest to `submitted` (the report's service-centre time stamp, when it has one).
/// With `final` (delivered or given up) its entry leaves the journal, with every entry older
/// than kAwaitedReportDays.
std::optional<AwaitedReport> matchReport(storage::FileSystem& files, const QString& journal,
                                         int reference, const QString& number,
                                         const std::optional<QDateTime>& submitted, bool final,
                                         const QDateTime& now);

}  // namespace telvane::lifecycle
