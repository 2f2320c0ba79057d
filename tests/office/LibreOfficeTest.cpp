// LibreOffice, headless, reads what the writers produce: a new workbook, one LibreOffice saved and
// one a user worked on (formulas, a second sheet) converted to CSV with their formulas, the
// document converted to text, each as stored in tests/data/office/libreoffice/. Slow (it starts
// an office suite), so it is a test of its own.
#include <gtest/gtest.h>

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QUrl>

#include "office/OfficeStore.h"
#include "support/TestData.h"

namespace telvane::office {
namespace {

using test::dataPath;
using test::readFile;

TEST(LibreOffice, ReadsEveryRowOfWorkbooksAndDocuments) {
    const QString soffice = QStringLiteral("/usr/bin/soffice");
    if (!QFile::exists(soffice)) GTEST_SKIP() << "LibreOffice is not installed";
    QTemporaryDir dir, profile;
    const QString workbook = dir.filePath("26-12-05.xls"), resaved = dir.filePath("26-12-06.xls"),
                  worked = dir.filePath("26-12-07.xls"), document = dir.filePath("26-12-05.doc");
    ASSERT_TRUE(test::writeFile(resaved, readFile(dataPath("office/libreoffice-resaved.xls"))));
    ASSERT_TRUE(test::writeFile(worked, readFile(dataPath("office/libreoffice-user-work.xls"))));
    for (const QStringList& record : std::vector<QStringList>{
             {"05.12.26 21:07:30", "+12345678901", "Hello"},
             {"05.12.26 21:08:00", "+79161234567", QStringLiteral("Привет {мир} \\row № 5 Ёё")},
             {"05.12.26 21:09:00", "+79161234567", ""},
             {"05.12.26 21:10:00", "+79161234567", QStringLiteral("четыре поля"), "extra"}}) {
        ASSERT_TRUE(appendRecordToWorkbook(workbook, record, true).ok);
        ASSERT_TRUE(appendRecordToWorkbook(resaved, record, false).ok);
        ASSERT_TRUE(appendRecordToWorkbook(worked, record, true).ok);
        ASSERT_TRUE(appendRecordToDocument(document, record).ok);
    }
    // One run of LibreOffice per filter, with a profile of its own; every sheet to a CSV file
    // of its own, formulas as formulas.
    for (const auto& [filter, files] :
         {std::pair{
              QStringLiteral(
                  "csv:Text - txt - csv (StarCalc):44,34,76,1,,0,false,true,false,true,false,-1"),
              QStringList{workbook, resaved, worked}},
          {QStringLiteral("txt:Text"), QStringList{document}}}) {
        QProcess office;
        office.start(soffice, QStringList{"-env:UserInstallation=" +
                                              QUrl::fromLocalFile(profile.path()).toString(),
                                          "--headless", "--norestore", "--convert-to", filter,
                                          "--outdir", dir.filePath("out")} +
                                  files);
        ASSERT_TRUE(office.waitForFinished(240000) && office.exitCode() == 0)
            << office.readAllStandardError().toStdString();
    }
    for (const char* name : {"26-12-05-Принятые SMS.csv", "26-12-06-Принятые SMS.csv",
                             "26-12-07-Принятые SMS.csv", "26-12-07-Итоги.csv", "26-12-05.txt"}) {
        EXPECT_EQ(
            QString::fromUtf8(readFile(dir.filePath("out/" + QString::fromUtf8(name)))),
            QString::fromUtf8(readFile(dataPath("office/libreoffice/" + QString::fromUtf8(name)))))
            << name;
    }
}

}  // namespace
}  // namespace telvane::office
