// The document writer: rows go in place before the closing brace, and files that are not ours
// are refused untouched.

#include <QDir>
#include <QTemporaryDir>
#include <vector>

#include "OfficeTestSupport.h"
#include "office/OfficeStore.h"
#include "office/RtfTable.h"

namespace telvane {
namespace {

using testing::fixture;
using testing::readBytes;
using testing::writeBytes;

const QString kDayFile = QStringLiteral("26-12-05.doc");

TEST(DocumentTest, AppendsRowsInPlaceWithoutTouchingWhatIsThere) {
    QTemporaryDir dir;
    const QString path = QDir(dir.path()).filePath(kDayFile);
    ASSERT_TRUE(QFile::copy(fixture(QStringLiteral("ours-3-rows.doc")), path));
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
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

TEST(DocumentTest, RefusesFilesItCannotAppendToAndLeavesThemUntouched) {
    const QByteArray ours = readBytes(fixture(QStringLiteral("ours-3-rows.doc")));
    QByteArray withNoteAfterTable = ours;
    withNoteAfterTable.insert(withNoteAfterTable.lastIndexOf('}'), "\\pard Note\\par\n");
    struct Case {
        const char* name;
        QByteArray content;
        const char* lockName;
        OfficeStoreError expected;
    };
    const std::vector<Case> cases = {
        {"open in LibreOffice", ours, ".~lock.26-12-05.doc#", OfficeStoreError::Locked},
        {"open in Word (owner file)", ours, "~$-12-05.doc", OfficeStoreError::Locked},
        {"open in Word (short name)", ours, "~$26-12-05.doc", OfficeStoreError::Locked},
        {"saved over as a Word 97 document", readBytes(fixture(QStringLiteral("word97.doc"))),
         nullptr, OfficeStoreError::Foreign},
        {"a workbook under the name", readBytes(fixture(QStringLiteral("ours-3-rows.xls"))),
         nullptr, OfficeStoreError::Foreign},
        {"an RTF document of someone else", "{\\rtf1\\ansi Hello\\par}", nullptr,
         OfficeStoreError::Foreign},
        {"text after the table", withNoteAfterTable, nullptr, OfficeStoreError::Foreign},
        {"cut short before its closing brace", ours.left(ours.size() - 10), nullptr,
         OfficeStoreError::Foreign},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        const QString path = QDir(dir.path()).filePath(kDayFile);
        ASSERT_TRUE(writeBytes(path, c.content));
        if (c.lockName != nullptr) {
            ASSERT_TRUE(
                writeBytes(QDir(dir.path()).filePath(QString::fromLatin1(c.lockName)), "x"));
        }
        const OfficeResult r = appendRecordToDocument(path, {"a", "b", "c"});
        EXPECT_FALSE(r.ok);
        EXPECT_EQ(r.error, c.expected) << r.reason.toStdString();
        EXPECT_TRUE(r.reason.contains(path)) << r.reason.toStdString();
        EXPECT_EQ(readBytes(path), c.content);
    }
}

}  // namespace
}  // namespace telvane
