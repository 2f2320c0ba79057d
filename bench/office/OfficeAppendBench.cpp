// Prints what one append costs as the day's file grows: the workbook is read and written whole
// each time, the document only scanned and extended. Figures, not pass or fail.

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

// The day's files with @p rows messages, built in memory rather than by @p rows appends.
bool prepare(const QString& workbookPath, const QString& documentPath, int rows) {
    office::Workbook workbook = office::newMessageWorkbook();
    QByteArray document = office::newRtfDocument();
    const qsizetype brace = document.lastIndexOf('}');
    QByteArray body;
    for (int i = 0; i < rows; ++i) {
        office::appendMessageRow(workbook, record(i), false);
        body.append(office::rtfRow(i + 1, record(i)));
    }
    document.insert(brace, body);
    const auto container =
        office::writeCompoundFile({{QStringLiteral("Workbook"), office::writeBiff8(workbook)}});
    return container && writeFile(workbookPath, *container) && writeFile(documentPath, document);
}

template <typename Append>
double medianMs(Append append, int from) {
    std::vector<double> samples;
    for (int s = 0; s < kSamples; ++s) {
        QElapsedTimer timer;
        timer.start();
        const OfficeResult r = append(record(from + s));
        samples.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e6);
        if (!r.ok) {
            std::fprintf(stderr, "append failed: %s\n", qPrintable(r.reason));
            return -1.0;
        }
    }
    std::sort(samples.begin(), samples.end());
    return samples[samples.size() / 2];
}

}  // namespace

int main() {
    QTemporaryDir dir;
    const QString workbookPath = QDir(dir.path()).filePath(QStringLiteral("26-12-05.xls"));
    const QString documentPath = QDir(dir.path()).filePath(QStringLiteral("26-12-05.doc"));
    std::printf("%8s  %12s  %14s  %12s  %14s\n", "rows", "xls KiB", "xls ms/append", "doc KiB",
                "doc ms/append");
    for (int rows : kRowCounts) {
        if (!prepare(workbookPath, documentPath, rows)) {
            std::fprintf(stderr, "cannot prepare %d rows in %s\n", rows, qPrintable(dir.path()));
            return 1;
        }
        const double xlsKiB = static_cast<double>(QFileInfo(workbookPath).size()) / 1024.0;
        const double docKiB = static_cast<double>(QFileInfo(documentPath).size()) / 1024.0;
        const double xlsMs = medianMs(
            [&](const QStringList& r) { return appendRecordToWorkbook(workbookPath, r, true); },
            rows);
        const double docMs = medianMs(
            [&](const QStringList& r) { return appendRecordToDocument(documentPath, r); }, rows);
        std::printf("%8d  %12.1f  %14.2f  %12.1f  %14.2f\n", rows, xlsKiB, xlsMs, docKiB, docMs);
    }
    return 0;
}
