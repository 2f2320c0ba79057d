// The workbook writer checked by xlrd, an independent BIFF8 reader: layout, values, selection,
// appending to files that LibreOffice saved; the document writer's rows in place; the files
// both must refuse.

#include <QDir>
#include <QJsonArray>
#include <QTemporaryDir>
#include <vector>

#include "OfficeTestSupport.h"
#include "office/Biff8.h"
#include "office/CompoundFile.h"
#include "office/MessageSheet.h"
#include "office/OfficeStore.h"
#include "office/RtfTable.h"

namespace telvane {
namespace {

using testing::fixture;
using testing::readBytes;
using testing::writeBytes;
using testing::xlrdFacts;

constexpr int kTextCell = 1;
constexpr int kNumberCell = 2;
constexpr int kThinLine = 1;
constexpr int kThickLine = 5;
constexpr int kLeftAligned = 1;

const QString kDayFile = QStringLiteral("26-12-05.xls");

class WorkbookTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!testing::haveXlrd()) GTEST_SKIP() << "python3-xlrd is not installed";
        ASSERT_TRUE(m_dir.isValid());
    }
    QString dayFile() const { return m_dir.filePath(kDayFile); }

    QTemporaryDir m_dir;
};

std::vector<QStringList> numbered(int count, int textLength) {
    std::vector<QStringList> records;
    for (int i = 0; i < count; ++i) {
        records.push_back({QStringLiteral("05.12.26 21:%1:00").arg(i % 60, 2, 10, QLatin1Char('0')),
                           QStringLiteral("+7916%1").arg(i, 7, 10, QLatin1Char('0')),
                           QStringLiteral("Сообщение %1 ").arg(i).leftJustified(textLength, u'ж')});
    }
    return records;
}

TEST_F(WorkbookTest, XlrdFindsLayoutValuesAndSelection) {
    const struct {
        const char* name;
        std::vector<QStringList> records;
        bool autoScroll;
    } cases[] = {
        {"one message", {{"05.12.26 21:07:30", "+12345678901", "Hello"}}, false},
        {"Cyrillic, braces and backslashes",
         {{"05.12.26 21:07:30", "+79161234567", QStringLiteral("Привет, мир! {\\row} № 5")},
          {"05.12.26 21:08:00", "+79161234567", QStringLiteral("Ёлка ёжик")}},
         true},
        {"empty text still fills column D", {{"05.12.26 21:07:30", "+12345678901", ""}}, true},
        {"more fields fill E onward",
         {{"05.12.26 21:07:30", "+12345678901", "Hello", "extra 1", "extra 2"}},
         true},
        {"text longer than one shared-string record",
         {{"05.12.26 21:07:30", "+12345678901", QString(9000, u'Ж')}},
         true},
        {"surrogate pair",
         {{"05.12.26 21:07:30", "+12345678901", QStringLiteral("Смайл 😀")}},
         true},
        {"600 rows scroll the newest into view", numbered(600, 60), true},
        {"600 rows without scrolling keep A1", numbered(600, 60), false},
    };
    const QStringList headers = office::messageHeaders();
    const int widths[] = {7, 18, 16, 150};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QFile::remove(dayFile());
        for (const QStringList& record : c.records) {
            const OfficeResult r = appendRecordToWorkbook(dayFile(), record, c.autoScroll);
            ASSERT_TRUE(r.ok) << r.reason.toStdString();
        }
        const QJsonObject facts = xlrdFacts(dayFile());
        EXPECT_EQ(facts["sheets"].toArray(), QJsonArray{QStringLiteral("Принятые SMS")});

        const QJsonArray columns = facts["columns"].toArray();
        ASSERT_EQ(columns.size(), 4);
        for (int col = 0; col < 4; ++col) {
            const QJsonObject column = columns[col].toObject();
            EXPECT_EQ(column["width"].toInt(), widths[col] * 256) << "column " << col;
            EXPECT_EQ(column["right"].toInt(), kThinLine) << "column " << col;
            EXPECT_EQ(column["align"].toInt(), kLeftAligned) << "column " << col;
        }

        const QJsonArray rows = facts["rows"].toArray();
        const QJsonArray formats = facts["formats"].toArray();
        ASSERT_EQ(rows.size(), static_cast<qsizetype>(c.records.size()) + 1);
        for (int col = 0; col < 4; ++col) {
            EXPECT_EQ(rows[0][col]["value"].toString(), headers[col]);
            const QJsonObject format = formats[0][col].toObject();
            EXPECT_TRUE(format["bold"].toBool()) << "header " << col;
            EXPECT_EQ(format["right"].toInt(), kThickLine) << "header " << col;
            EXPECT_EQ(format["bottom"].toInt(), kThickLine) << "header " << col;
            EXPECT_EQ(format["align"].toInt(), kLeftAligned) << "header " << col;
        }
        for (qsizetype row = 1; row < rows.size(); ++row) {
            const QStringList& record = c.records[row - 1];
            EXPECT_EQ(rows[row][0]["type"].toInt(), kNumberCell);
            EXPECT_EQ(rows[row][0]["value"].toDouble(), static_cast<double>(row));
            for (qsizetype f = 0; f < record.size(); ++f) {
                EXPECT_EQ(rows[row][f + 1]["type"].toInt(), kTextCell);
                EXPECT_EQ(rows[row][f + 1]["value"].toString(), record[f]) << "row " << row;
            }
            for (int col = 0; col < 4; ++col) {
                const QJsonObject format = formats[row][col].toObject();
                EXPECT_FALSE(format["bold"].toBool());
                EXPECT_EQ(format["right"].toInt(), kThinLine);
                EXPECT_EQ(format["align"].toInt(), kLeftAligned);
            }
        }

        const int last = static_cast<int>(rows.size()) - 1;
        const int top = facts["firstVisibleRow"].toInt();
        if (c.autoScroll) {
            EXPECT_EQ(facts["selected"].toArray(), (QJsonArray{last, 0}));
            EXPECT_LE(top, last);
            EXPECT_LT(last, top + 20) << "the newest row is out of view";
        } else {
            EXPECT_EQ(facts["selected"].toArray(), (QJsonArray{0, 0}));
            EXPECT_EQ(top, 0);
        }
    }
}

// xlrd marks formatted empty cells as blank (6) and absent ones as empty (0); the rewrite keeps
// values only, so both count as nothing.
QJsonArray valuesOnly(const QJsonArray& rows) {
    QJsonArray out;
    for (const QJsonValue& row : rows) {
        QJsonArray cells;
        for (const QJsonValue& cell : row.toArray()) {
            QJsonObject c = cell.toObject();
            if (c["type"].toInt() == 6) c["type"] = 0;
            cells.append(c);
        }
        out.append(cells);
    }
    return out;
}

TEST_F(WorkbookTest, AppendsToWorkbooksThatLibreOfficeSaved) {
    // Made once with LibreOffice 7.4 headless (see tests/data/office/README.md): a workbook of
    // ours opened and saved again, and a CSV import with RK, MULRK, NUMBER, BOOLERR and shared
    // strings spread over CONTINUE records.
    const char* fixtures[] = {"libreoffice-resaved.xls", "libreoffice-from-csv.xls",
                              "ours-3-rows.xls"};
    const QStringList record{"06.12.26 12:00:00", "+79160000000", QStringLiteral("Новое")};
    for (const char* name : fixtures) {
        SCOPED_TRACE(name);
        QFile::remove(dayFile());
        ASSERT_TRUE(QFile::copy(fixture(QString::fromLatin1(name)), dayFile()));
        const QJsonObject before = xlrdFacts(dayFile());

        const OfficeResult r = appendRecordToWorkbook(dayFile(), record, false);
        ASSERT_TRUE(r.ok) << r.reason.toStdString();

        const QJsonObject after = xlrdFacts(dayFile());
        EXPECT_EQ(after["sheets"], before["sheets"]);
        EXPECT_EQ(after["selected"], before["selected"]) << "the selection was moved";
        const QJsonArray oldRows = valuesOnly(before["rows"].toArray());
        const QJsonArray newRows = valuesOnly(after["rows"].toArray());
        ASSERT_EQ(newRows.size(), oldRows.size() + 1);
        for (qsizetype row = 0; row < oldRows.size(); ++row)
            ASSERT_EQ(newRows[row], oldRows[row]) << "row " << row;
        const QJsonArray added = newRows.last().toArray();
        EXPECT_EQ(added[0]["value"].toDouble(), static_cast<double>(oldRows.size()));
        for (qsizetype f = 0; f < record.size(); ++f)
            EXPECT_EQ(added[f + 1]["value"].toString(), record[f]);
    }
}

QByteArray compoundWith(const QByteArray& workbookStream) {
    return *office::writeCompoundFile({{QStringLiteral("Workbook"), workbookStream}});
}

QByteArray workbookWithCellInRow(std::uint32_t row) {
    office::Workbook workbook = office::newMessageWorkbook();
    workbook.sheets[0].cells[{row, 0}] = office::Cell::ofNumber(row);
    return compoundWith(office::writeBiff8(workbook));
}

TEST(DocumentTest, AppendsRowsInPlaceWithoutTouchingWhatIsThere) {
    QTemporaryDir dir;
    const QString path = QDir(dir.path()).filePath(QStringLiteral("26-12-05.doc"));
    ASSERT_TRUE(testing::copyFixture("ours-3-rows.doc", path));
    const QByteArray before = readBytes(path);
    const office::RtfLayout layoutBefore = *office::locateRtfTable(before).layout;
    ASSERT_EQ(layoutBefore.rows, 4u);

    // Text that looks like RTF control words must not count as rows.
    const OfficeResult r =
        appendRecordToDocument(path, {"05.12.26 21:07:30", "+1", QStringLiteral("}\\row{ \\row")});
    ASSERT_TRUE(r.ok) << r.reason.toStdString();

    const QByteArray after = readBytes(path);
    EXPECT_TRUE(after.startsWith(before.left(static_cast<qsizetype>(layoutBefore.insertAt))));
    EXPECT_TRUE(after.endsWith('}'));
    const office::RtfLayoutResult layoutAfter = office::locateRtfTable(after);
    ASSERT_TRUE(layoutAfter.layout) << layoutAfter.error.toStdString();
    EXPECT_EQ(layoutAfter.layout->rows, 5u);
}

// Files of someone else, files open in an office program, damaged and full files: each store
// refuses them with a reason naming the file, and leaves the folder exactly as it was.
TEST(OfficeStoreTest, RefusesFilesItCannotAppendToAndLeavesThemUntouched) {
    const QByteArray xls = readBytes(fixture(QStringLiteral("ours-3-rows.xls")));
    const QByteArray doc = readBytes(fixture(QStringLiteral("ours-3-rows.doc")));
    const QByteArray word97 = readBytes(fixture(QStringLiteral("word97.doc")));
    QByteArray docWithNote = doc;
    docWithNote.insert(docWithNote.lastIndexOf('}'), "\\pard Note\\par\n");
    QByteArray brokenStream = office::writeBiff8(office::newMessageWorkbook());
    brokenStream[22] = '\xFF';  // the size of the CODEPAGE record now runs past the stream
    brokenStream[23] = '\xFF';
    using E = OfficeStoreError;
    const struct {
        const char* name;
        bool workbook;
        QByteArray content;
        const char* lockName;
        E expected;
    } cases[] = {
        {"workbook open in LibreOffice", true, xls, ".~lock.26-12-05.xls#", E::Locked},
        {"workbook open in Excel", true, xls, "~$26-12-05.xls", E::Locked},
        {"a Word document saved under the name", true, word97, nullptr, E::Foreign},
        {"an HTML table renamed", true, readBytes(fixture(QStringLiteral("html-renamed.xls"))),
         nullptr, E::Foreign},
        {"a compound file cut short", true, readBytes(fixture(QStringLiteral("truncated.xls"))),
         nullptr, E::Corrupt},
        {"a damaged Workbook stream", true, compoundWith(brokenStream), nullptr, E::Corrupt},
        {"every row of the format used", true, workbookWithCellInRow(office::kMaxRows - 1), nullptr,
         E::RowLimit},
        {"document open in LibreOffice", false, doc, ".~lock.26-12-05.doc#", E::Locked},
        {"document open in Word (owner file)", false, doc, "~$-12-05.doc", E::Locked},
        {"document open in Word (short name)", false, doc, "~$26-12-05.doc", E::Locked},
        {"saved over as a Word 97 document", false, word97, nullptr, E::Foreign},
        {"a workbook under the document's name", false, xls, nullptr, E::Foreign},
        {"an RTF document of someone else", false, "{\\rtf1\\ansi Hello\\par}", nullptr,
         E::Foreign},
        {"text after the table", false, docWithNote, nullptr, E::Foreign},
        {"cut short before its closing brace", false, doc.left(doc.size() - 10), nullptr,
         E::Foreign},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        const QString path =
            QDir(dir.path()).filePath(c.workbook ? kDayFile : QStringLiteral("26-12-05.doc"));
        ASSERT_TRUE(writeBytes(path, c.content));
        if (c.lockName != nullptr)
            ASSERT_TRUE(
                writeBytes(QDir(dir.path()).filePath(QString::fromLatin1(c.lockName)), "x"));
        const QStringList entriesBefore = QDir(dir.path()).entryList(QDir::Files | QDir::Hidden);

        const QStringList record{"a", "b", "c"};
        const OfficeResult r = c.workbook ? appendRecordToWorkbook(path, record, true)
                                          : appendRecordToDocument(path, record);
        EXPECT_FALSE(r.ok);
        EXPECT_EQ(r.error, c.expected) << r.reason.toStdString();
        EXPECT_TRUE(r.reason.contains(path)) << r.reason.toStdString();
        EXPECT_EQ(readBytes(path), c.content);
        EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), entriesBefore);
    }
}

TEST_F(WorkbookTest, TheLastRowOfTheFormatTakesOneMoreMessage) {
    ASSERT_TRUE(writeBytes(dayFile(), workbookWithCellInRow(office::kMaxRows - 2)));
    const OfficeResult last = appendRecordToWorkbook(dayFile(), {"t", "n", "last"}, true);
    ASSERT_TRUE(last.ok) << last.reason.toStdString();
    const QJsonObject facts = xlrdFacts(dayFile());
    const QJsonArray rows = facts["rows"].toArray();
    ASSERT_EQ(rows.size(), 65536);
    EXPECT_EQ(rows.last()[0]["value"].toDouble(), 65535.0);
    EXPECT_EQ(rows.last()[3]["value"].toString(), QStringLiteral("last"));
    EXPECT_EQ(facts["selected"].toArray(), (QJsonArray{65535, 0}));

    const OfficeResult full = appendRecordToWorkbook(dayFile(), {"t", "n", "one too many"}, true);
    EXPECT_EQ(full.error, OfficeStoreError::RowLimit);
}

TEST_F(WorkbookTest, RefusesRecordsNoCellCanHold) {
    QStringList tooLong{"t", "n", QString(32768, u'x')};
    QStringList tooWide;
    for (int i = 0; i < 256; ++i) tooWide << QString::number(i);
    for (const QStringList& record : {tooLong, tooWide}) {
        const OfficeResult r = appendRecordToWorkbook(dayFile(), record, true);
        EXPECT_EQ(r.error, OfficeStoreError::RecordTooLarge) << r.reason.toStdString();
        EXPECT_FALSE(QFile::exists(dayFile()));
    }
}

// The reader takes files from outside: any prefix of a real workbook stream, or one with a
// damaged byte, gives a workbook or an error, never a crash or a hang.
TEST(Biff8ReaderTest, DamagedStreamsGiveAnErrorNotACrash) {
    for (const char* name : {"libreoffice-resaved.xls", "libreoffice-from-csv.xls"}) {
        SCOPED_TRACE(name);
        const auto container =
            office::readCompoundFile(readBytes(fixture(QString::fromLatin1(name))));
        ASSERT_TRUE(container.streams) << container.error.toStdString();
        QByteArray stream;
        for (const auto& [streamName, data] : *container.streams) {
            if (streamName == QStringLiteral("Workbook")) stream = data;
        }
        ASSERT_FALSE(stream.isEmpty());
        ASSERT_TRUE(office::readBiff8(stream).workbook);
        const qsizetype step = std::max<qsizetype>(1, stream.size() / 2000);
        for (qsizetype n = 0; n < stream.size(); n += step) {
            const office::BiffReadResult cut = office::readBiff8(stream.left(n));
            EXPECT_TRUE(cut.workbook || !cut.error.what.isEmpty());
            QByteArray flipped = stream;
            flipped[n] = static_cast<char>(flipped[n] ^ 0xA5);
            const office::BiffReadResult damaged = office::readBiff8(flipped);
            EXPECT_TRUE(damaged.workbook || !damaged.error.what.isEmpty());
        }
    }
}

}  // namespace
}  // namespace telvane
