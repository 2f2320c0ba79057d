// The workbook writer as xlrd, an independent BIFF8 reader, sees it (stored views in
// tests/data/office/*.view): layout, values, selection, appending to files others saved;
// the document writer's rows in place; and the files both must refuse, left untouched.
#include <gtest/gtest.h>

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>

#include "office/Biff8.h"
#include "office/CompoundFile.h"
#include "office/MessageSheet.h"
#include "office/OfficeStore.h"
#include "office/RtfTable.h"
#include "support/TestData.h"

namespace telvane::office {
namespace {

using test::dataPath;
using test::readFile;
using test::writeFile;

QByteArray fixture(const QString& name) { return readFile(dataPath("office/" + name)); }

/// What xlrd finds in a workbook, as xls_view.py prints it; empty without python3-xlrd.
QString xlrdView(const QString& path) {
    QProcess python;
    python.start(QStringLiteral(TELVANE_DEBIAN_PYTHON), {QStringLiteral(TELVANE_XLS_VIEW), path});
    python.waitForFinished(120000);
    EXPECT_EQ(python.exitCode(), 0) << python.readAllStandardError().toStdString();
    return QString::fromUtf8(python.readAllStandardOutput());
}

class WorkbookTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (QProcess::execute(QStringLiteral(TELVANE_DEBIAN_PYTHON), {"-c", "import xlrd"}) != 0)
            GTEST_SKIP() << "python3-xlrd is not installed";
    }
    QTemporaryDir dir;
    const QString dayFile = dir.filePath(QStringLiteral("26-12-05.xls"));
};

std::vector<QStringList> numbered(int count) {
    std::vector<QStringList> records;
    for (int i = 0; i < count; ++i)
        records.push_back({QStringLiteral("05.12.26 21:%1:00").arg(i % 60, 2, 10, QLatin1Char('0')),
                           QStringLiteral("+7916%1").arg(i, 7, 10, QLatin1Char('0')),
                           QStringLiteral("Сообщение %1 ").arg(i).leftJustified(60, u'ж')});
    return records;
}

// New workbooks, and workbooks other programs saved (tests/data/office/README.md), appended to:
// "NAME-appended" starts from NAME.xls. LibreOffice 7.4 saved ours again, imported a CSV (RK,
// MULRK, NUMBER, BOOLERR, shared strings over CONTINUE), and took a user's formula, colours,
// widths, second sheet and chart; Gnumeric saved the last with INDEX and DBCELL records (rows
// go past its first row block); a VBA project's storage lies beside it. All of it is kept.
TEST_F(WorkbookTest, XlrdSeesTheStoredView) {
    const QString t = QStringLiteral("05.12.26 21:07:30"), n = QStringLiteral("+12345678901");
    const std::vector<QStringList> one{
        {"06.12.26 12:00:00", "+79160000000", QStringLiteral("Новое")}};
    const struct {
        const char* view;
        std::vector<QStringList> records;
        bool autoScroll;
    } cases[] = {
        {"one-message", {{t, n, "Hello"}}, false},
        {"cyrillic-braces-backslashes",
         {{t, n, QStringLiteral("Привет, мир! {\\row} № 5")}, {t, n, QStringLiteral("Ёлка ёжик")}},
         true},
        {"empty-text", {{t, n, ""}}, true},
        {"more-fields", {{t, n, "Hello", "extra 1", "extra 2"}}, true},
        // A text longer than one record, and a surrogate pair.
        {"long-text", {{t, n, QString(9000, u'Ж')}, {t, n, QStringLiteral("Смайл 😀")}}, true},
        // Shared strings over CONTINUE records; the newest row scrolled into view, or A1 kept.
        {"80-rows-scrolled", numbered(80), true},
        {"80-rows", numbered(80), false},
        {"ours-3-rows-appended", one, false},
        {"libreoffice-resaved-appended", one, false},
        {"libreoffice-from-csv-appended", one, false},
        {"libreoffice-user-work-appended", one, false},
        {"workbook-with-vba-storage-appended", one, false},
        {"gnumeric-user-work-appended", numbered(30), true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.view);
        const QString view = QLatin1String(c.view);
        QFile::remove(dayFile);
        if (view.endsWith(QStringLiteral("-appended"))) {
            ASSERT_TRUE(writeFile(dayFile, fixture(view.chopped(9) + QStringLiteral(".xls"))));
        }
        for (const QStringList& record : c.records) {
            const OfficeResult r = appendRecordToWorkbook(dayFile, record, c.autoScroll);
            ASSERT_TRUE(r.ok) << r.reason.toStdString();
        }
        EXPECT_EQ(xlrdView(dayFile), readFile(dataPath("office/" + view + ".view")));
    }
}

QByteArray workbookWithCellInRow(std::uint32_t row) {
    Workbook workbook = newMessageWorkbook();
    workbook.sheets[0].cells[{row, 0}] = Cell::ofNumber(row);
    return *writeCompoundFile({{QStringLiteral("Workbook"), writeBiff8(workbook)}});
}

TEST_F(WorkbookTest, TheLastRowOfTheFormatTakesOneMoreMessage) {
    ASSERT_TRUE(writeFile(dayFile, workbookWithCellInRow(kMaxRows - 2)));
    const OfficeResult last = appendRecordToWorkbook(dayFile, {"t", "n", "last"}, true);
    ASSERT_TRUE(last.ok) << last.reason.toStdString();
    EXPECT_TRUE(
        xlrdView(dayFile).endsWith("row 65535: #65535\tt\tn\tlast\nselected: 65535 0 first "
                                   "visible row: 65525\n"));
    EXPECT_EQ(appendRecordToWorkbook(dayFile, {"t", "n", "one too many"}, true).error,
              OfficeStoreError::RowLimit);
}

TEST(DocumentTest, AppendsRowsInPlaceWithoutTouchingWhatIsThere) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("26-12-05.doc"));
    const QByteArray before = fixture("ours-3-rows.doc");
    ASSERT_TRUE(writeFile(path, before));
    const RtfLayout layoutBefore = *locateRtfTable(before).layout;
    ASSERT_EQ(layoutBefore.rows, 4u);
    // Text that looks like RTF control words must not count as rows.
    const OfficeResult r =
        appendRecordToDocument(path, {"05.12.26 21:07:30", "+1", QStringLiteral("}\\row{ \\row")});
    ASSERT_TRUE(r.ok) << r.reason.toStdString();
    const QByteArray after = readFile(path);
    EXPECT_TRUE(after.startsWith(before.left(qsizetype(layoutBefore.insertAt))));
    EXPECT_TRUE(after.endsWith('}'));
    const RtfLayoutResult layoutAfter = locateRtfTable(after);
    ASSERT_TRUE(layoutAfter.layout) << layoutAfter.error.toStdString();
    EXPECT_EQ(layoutAfter.layout->rows, 5u);
}

// Files of someone else, files open in an office program, damaged, encrypted and full files,
// records no cell can hold: each store refuses with a reason naming the file and leaves the folder
// as it was.
TEST(OfficeStoreTest, RefusesFilesItCannotAppendToAndLeavesThemUntouched) {
    const QByteArray xls = fixture("ours-3-rows.xls"), doc = fixture("ours-3-rows.doc"),
                     word97 = fixture("word97.doc");
    QByteArray docWithNote = doc;
    docWithNote.insert(docWithNote.lastIndexOf('}'), "\\pard Note\\par\n");
    QByteArray brokenStream = writeBiff8(newMessageWorkbook());
    brokenStream[22] = '\xFF';  // the size of the CODEPAGE record now runs past the stream
    brokenStream[23] = '\xFF';
    // A password-protected workbook says so in FILEPASS near the front of its globals; here it
    // takes the place of DATEMODE, behind BOF, CODEPAGE and WINDOW1.
    QByteArray encryptedStream = writeBiff8(newMessageWorkbook());
    ASSERT_EQ(encryptedStream.mid(48, 2), QByteArray("\x22\x00", 2));
    encryptedStream[48] = '\x2F';
    QStringList tooWide;
    for (int i = 0; i < 256; ++i) tooWide << QString::number(i);
    const QStringList record{"a", "b", "c"}, tooLong{"t", "n", QString(32768, u'x')};
    using E = OfficeStoreError;
    const struct {
        const char* name;
        bool workbook;
        QByteArray content;
        const char* lockName;
        E expected;
        QStringList record;
    } cases[] = {
        {"workbook open in LibreOffice", true, xls, ".~lock.26-12-05.xls#", E::Locked, record},
        {"workbook open in Excel", true, xls, "~$26-12-05.xls", E::Locked, record},
        {"a Word document saved under the name", true, word97, nullptr, E::Foreign, record},
        {"an HTML table renamed", true, fixture("html-renamed.xls"), nullptr, E::Foreign, record},
        {"a compound file cut short", true, fixture("truncated.xls"), nullptr, E::Corrupt, record},
        {"a damaged Workbook stream", true,
         *writeCompoundFile({{QStringLiteral("Workbook"), brokenStream}}), nullptr, E::Corrupt,
         record},
        {"every row of the format used", true, workbookWithCellInRow(kMaxRows - 1), nullptr,
         E::RowLimit, record},
        {"merged cells where the row goes", true, fixture("libreoffice-merged-row.xls"), nullptr,
         E::CannotKeep, record},
        {"bytes behind the last sheet", true,
         *writeCompoundFile({{QStringLiteral("Workbook"), writeBiff8(newMessageWorkbook()) + "?"}}),
         nullptr, E::CannotKeep, record},
        {"a password-protected workbook", true,
         *writeCompoundFile({{QStringLiteral("Workbook"), encryptedStream}}), nullptr,
         E::CannotKeep, record},
        {"a text over 32767 characters", true, {}, nullptr, E::RecordTooLarge, tooLong},
        {"more fields than columns", true, {}, nullptr, E::RecordTooLarge, tooWide},
        {"document open in LibreOffice", false, doc, ".~lock.26-12-05.doc#", E::Locked, record},
        {"document open in Word (owner file)", false, doc, "~$-12-05.doc", E::Locked, record},
        {"document open in Word (short name)", false, doc, "~$26-12-05.doc", E::Locked, record},
        {"saved over as a Word 97 document", false, word97, nullptr, E::Foreign, record},
        {"a workbook under the document's name", false, xls, nullptr, E::Foreign, record},
        {"an RTF document of someone else", false, "{\\rtf1\\ansi Hello\\par}", nullptr, E::Foreign,
         record},
        {"text after the table", false, docWithNote, nullptr, E::Foreign, record},
        {"cut short before its closing brace", false, doc.left(doc.size() - 10), nullptr,
         E::Foreign, record},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        const QString path = dir.filePath(c.workbook ? "26-12-05.xls" : "26-12-05.doc");
        ASSERT_TRUE(c.content.isEmpty() || writeFile(path, c.content));
        ASSERT_TRUE(!c.lockName || writeFile(dir.filePath(QString::fromLatin1(c.lockName)), "x"));
        const QStringList entriesBefore = QDir(dir.path()).entryList(QDir::Files | QDir::Hidden);
        const OfficeResult r = c.workbook ? appendRecordToWorkbook(path, c.record, true)
                                          : appendRecordToDocument(path, c.record);
        EXPECT_FALSE(r.ok);
        EXPECT_EQ(r.error, c.expected) << r.reason.toStdString();
        EXPECT_TRUE(r.reason.contains(path)) << r.reason.toStdString();
        EXPECT_EQ(readFile(path), c.content);
        EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), entriesBefore);
    }
}

}  // namespace
}  // namespace telvane::office
