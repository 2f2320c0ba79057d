// LibreOffice, headless, reads what the writers produce: the workbook converted to CSV and the
// document converted to text give back every row. Slow (it starts an office suite), so it is a
// test of its own.

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QUrl>
#include <vector>

#include <gtest/gtest.h>

#include <QProcess>

#include "support/TestData.h"
#include "office/OfficeStore.h"

namespace telvane::office {
namespace {

using test::readFile;

const QString kSoffice = QStringLiteral("/usr/bin/soffice");
constexpr int kConversionDeadlineMs = 240000;

const std::vector<QStringList> kRecords = {
    {"05.12.26 21:07:30", "+12345678901", "Hello"},
    {"05.12.26 21:08:00", "+79161234567", QStringLiteral("Привет {мир} \\row № 5 Ёё")},
    {"05.12.26 21:09:00", "+79161234567", ""},
    {"05.12.26 21:10:00", "+79161234567", QStringLiteral("четыре поля"), "extra"},
};

// Converts @p files in one run of LibreOffice with a profile of its own.
bool convert(const QString& filter, const QStringList& files, const QString& outDir) {
    QTemporaryDir profile(QDir::tempPath() + QStringLiteral("/telvane-lo-XXXXXX"));
    const QStringList arguments = QStringList{QStringLiteral("-env:UserInstallation=") +
                                                  QUrl::fromLocalFile(profile.path()).toString(),
                                              QStringLiteral("--headless"),
                                              QStringLiteral("--norestore"),
                                              QStringLiteral("--convert-to"),
                                              filter,
                                              QStringLiteral("--outdir"),
                                              outDir} +
                                  files;
    QProcess soffice;
    soffice.start(kSoffice, arguments);
    const bool done = soffice.waitForFinished(kConversionDeadlineMs) && soffice.exitCode() == 0;
    EXPECT_TRUE(done) << soffice.readAllStandardError().toStdString();
    return done;
}

// A CSV line without the empty fields that pad it to the widest row.
QString trimmedCsv(QString line) {
    while (line.endsWith(QLatin1Char(','))) line.chop(1);
    return line;
}

// The lines of a converted file, without a byte order mark, trailing empty lines or CSV padding.
QStringList lines(const QString& path) {
    QString text = QString::fromUtf8(readFile(path));
    if (text.startsWith(QChar(0xFEFF))) text.remove(0, 1);
    QStringList result = text.split(QRegularExpression(QStringLiteral("\r?\n")));
    while (!result.isEmpty() && result.last().isEmpty()) result.removeLast();
    if (path.endsWith(QStringLiteral(".csv")))
        std::transform(result.begin(), result.end(), result.begin(), trimmedCsv);
    return result;
}

class LibreOfficeTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!QFileInfo::exists(kSoffice)) GTEST_SKIP() << "LibreOffice is not installed";
    }
};

TEST_F(LibreOfficeTest, ReadsEveryRowOfWorkbooksAndDocuments) {
    QTemporaryDir dir;
    const QDir work(dir.path());
    const QString workbook = work.filePath(QStringLiteral("26-12-05.xls"));
    const QString resaved = work.filePath(QStringLiteral("26-12-06.xls"));
    const QString document = work.filePath(QStringLiteral("26-12-05.doc"));
    ASSERT_TRUE(test::writeFile(resaved, readFile(test::dataPath("office/libreoffice-resaved.xls"))));
    for (const QStringList& record : kRecords) {
        ASSERT_TRUE(appendRecordToWorkbook(workbook, record, true).ok);
        ASSERT_TRUE(appendRecordToWorkbook(resaved, record, false).ok);
        ASSERT_TRUE(appendRecordToDocument(document, record).ok);
    }

    const QString out = work.filePath(QStringLiteral("out"));
    ASSERT_TRUE(work.mkpath(out));
    ASSERT_TRUE(convert(QStringLiteral("csv:Text - txt - csv (StarCalc):44,34,76"),
                        {workbook, resaved}, out));
    ASSERT_TRUE(convert(QStringLiteral("txt:Text"), {document}, out));

    QStringList expectedCsv{QStringLiteral("№,Дата/Время,Номер телефона,Текст сообщения")};
    QStringList expectedText{QStringLiteral("№"), QStringLiteral("Дата/Время"),
                             QStringLiteral("Номер телефона"), QStringLiteral("Текст сообщения")};
    for (std::size_t i = 0; i < kRecords.size(); ++i) {
        const QStringList& record = kRecords[i];
        expectedCsv << trimmedCsv(QString::number(i + 1) + QLatin1Char(',') +
                                  record.join(QLatin1Char(',')));
        // The table has four columns: a fourth field has no cell in the document.
        expectedText << QString::number(i + 1) << record.mid(0, 3);
    }

    EXPECT_EQ(lines(QDir(out).filePath(QStringLiteral("26-12-05.csv"))), expectedCsv);

    // The resaved fixture already holds three rows of ours; ours follow them, numbered on.
    const QStringList resavedCsv = lines(QDir(out).filePath(QStringLiteral("26-12-06.csv")));
    ASSERT_EQ(resavedCsv.size(), 4 + static_cast<qsizetype>(kRecords.size()));
    for (std::size_t i = 0; i < kRecords.size(); ++i) {
        EXPECT_EQ(resavedCsv[4 + i], trimmedCsv(QString::number(i + 4) + QLatin1Char(',') +
                                                kRecords[i].join(QLatin1Char(','))));
    }

    EXPECT_EQ(lines(QDir(out).filePath(QStringLiteral("26-12-05.txt"))), expectedText);
}

}  // namespace
}  // namespace telvane::office
