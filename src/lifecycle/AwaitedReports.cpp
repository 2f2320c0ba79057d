#include "lifecycle/AwaitedReports.h"

#include <QDir>
#include <cstdlib>
#include <vector>

namespace telvane::lifecycle {

namespace {

QString digits(QString number) { return number.remove(u'+'); }

std::vector<AwaitedReport> readAll(storage::FileSystem& files, const QString& journal) {
    std::vector<AwaitedReport> entries;
    for (const QByteArray& line : files.readAll(journal).value_or(QByteArray()).split('\n')) {
        const QList<QByteArray> f = line.split('\t');
        if (f.size() != 4) continue;  // a line torn by a crash
        bool ok = false;
        AwaitedReport entry{f[0].toInt(&ok), QString::fromUtf8(f[1]),
                            QDateTime::fromString(QString::fromUtf8(f[2]), Qt::ISODate),
                            QString::fromUtf8(f[3])};
        if (ok && entry.sent.isValid()) entries.push_back(std::move(entry));
    }
    return entries;
}

QByteArray lineOf(const AwaitedReport& e) {
    return QByteArray::number(e.reference) + '\t' + e.number.toUtf8() + '\t' +
           e.sent.toUTC().toString(Qt::ISODate).toUtf8() + '\t' + e.messageFile.toUtf8() + '\n';
}

}  // namespace

QString awaitedReportsPath(const QString& homeFolder) {
    return QDir(homeFolder).filePath(QStringLiteral("reports.journal"));
}

storage::WriteResult awaitReport(storage::FileSystem& files, const QString& journal,
                                 const AwaitedReport& entry) {
    return files.appendDurably(journal, lineOf(entry));
}

std::optional<AwaitedReport> matchReport(storage::FileSystem& files, const QString& journal,
                                         int reference, const QString& number,
                                         const std::optional<QDateTime>& submitted, bool final,
                                         const QDateTime& now) {
    std::vector<AwaitedReport> entries = readAll(files, journal);
    auto best = entries.end();
    for (auto it = entries.begin(); it != entries.end(); ++it) {
        if (it->reference != reference || digits(it->number) != digits(number)) continue;
        const auto distance = [&](const AwaitedReport& e) {
            return submitted ? std::abs(e.sent.secsTo(*submitted)) : -e.sent.toSecsSinceEpoch();
        };
        if (best == entries.end() || distance(*it) < distance(*best)) best = it;
    }
    if (best == entries.end()) return std::nullopt;
    const AwaitedReport found = *best;
    if (final) {
        entries.erase(best);
        QByteArray rest;
        for (const AwaitedReport& e : entries)
            if (e.sent.daysTo(now) < kAwaitedReportDays) rest += lineOf(e);
        // Kept when it cannot be rewritten: a later report on it finds the same message.
        (void)files.replaceDurably(journal, rest);
    }
    return found;
}

}  // namespace telvane::lifecycle
