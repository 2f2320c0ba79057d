// Prints what one append costs as the day's file grows: the text file takes one line at its
// end, the workbook is read and written whole each time, the document only scanned and
// extended. Each append is on the disk before it returns. Figures, not pass or fail.

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <vector>

#include "office/Biff8.h"
#include "office/CompoundFile.h"
#include "office/MessageSheet.h"
#include "office/OfficeStore.h"
#include "office/RtfTable.h"
#include "receive/MessageFiles.h"
#include "storage/FileSystem.h"
#include "storage/LogFile.h"

namespace {

using namespace telvane;

constexpr int kRowCounts[] = {10, 100, 1000, 2500, 5000, 10000};
constexpr int kSamples = 7;

QStringList record(int i) {
    return {QStringLiteral("05.12.26 21:%1:00").arg(i % 60, 2, 10, QLatin1Char('0')),
            QStringLiteral("+7916%1").arg(i, 7, 10, QLatin1Char('0')),
            QStringLiteral("Сообщение %1: доставка назначена на завтра, с 10 до 14 часов. "
                           "Ответьте 1 для подтверждения.")
                .arg(i)};
}

bool writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

struct DayFiles {
    QString text;
    QString workbook;
    QString document;
};

// The day's files with @p rows messages, built in memory rather than by @p rows appends.
bool prepare(const DayFiles& files, int rows) {
    office::Workbook workbook = office::newMessageWorkbook();
    QByteArray document = office::newRtfDocument();
    const qsizetype brace = document.lastIndexOf('}');
    QByteArray body;
    QByteArray text;
    for (int i = 0; i < rows; ++i) {
        office::appendMessageRow(workbook, record(i), false);
        body.append(office::rtfRow(i + 1, record(i)));
        text.append(storage::textLine(record(i)));
    }
    document.insert(brace, body);
    const auto container =
        office::writeCompoundFile({{QStringLiteral("Workbook"), office::writeBiff8(workbook)}});
    return container && writeFile(files.workbook, *container) &&
           writeFile(files.document, document) && writeFile(files.text, text);
}

// Empty when the append succeeded, else why not.
QString failure(const office::OfficeResult& r) { return r.ok ? QString() : r.reason; }
QString failure(const storage::WriteResult& r) { return r.ok ? QString() : r.error; }

template <typename Append>
double medianMs(Append append, int from) {
    std::vector<double> samples;
    for (int s = 0; s < kSamples; ++s) {
        QElapsedTimer timer;
        timer.start();
        const QString why = failure(append(record(from + s)));
        samples.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e6);
        if (!why.isEmpty()) {
            std::fprintf(stderr, "append failed: %s\n", qPrintable(why));
            return -1.0;
        }
    }
    std::sort(samples.begin(), samples.end());
    return samples[samples.size() / 2];
}

}  // namespace

int main() {
    QTemporaryDir dir;
    const QDir folder(dir.path());
    const DayFiles files{folder.filePath(QStringLiteral("26-12-05.txt")),
                         folder.filePath(QStringLiteral("26-12-05.xls")),
                         folder.filePath(QStringLiteral("26-12-05.doc"))};
    storage::DiskFileSystem disk;
    const auto kib = [](const QString& path) {
        return static_cast<double>(QFileInfo(path).size()) / 1024.0;
    };
    std::printf("%8s  %9s %13s  %9s %13s  %9s %13s\n", "rows", "txt KiB", "txt ms/append",
                "xls KiB", "xls ms/append", "doc KiB", "doc ms/append");
    for (int rows : kRowCounts) {
        if (!prepare(files, rows)) {
            std::fprintf(stderr, "cannot prepare %d rows in %s\n", rows, qPrintable(dir.path()));
            return 1;
        }
        const double txtKiB = kib(files.text);
        const double xlsKiB = kib(files.workbook);
        const double docKiB = kib(files.document);
        // The text file goes through the receive side's one writer, as a stored message does.
        const double txtMs = medianMs(
            [&](const QStringList& r) {
                return receive::WriteMessageFile(disk, files.text, r, {});
            },
            rows);
        const double xlsMs = medianMs(
            [&](const QStringList& r) {
                return office::appendRecordToWorkbook(files.workbook, r, true);
            },
            rows);
        const double docMs = medianMs(
            [&](const QStringList& r) { return office::appendRecordToDocument(files.document, r); },
            rows);
        std::printf("%8d  %9.1f %13.2f  %9.1f %13.2f  %9.1f %13.2f\n", rows, txtKiB, txtMs, xlsKiB,
                    xlsMs, docKiB, docMs);
    }
    return 0;
}
