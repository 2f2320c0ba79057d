// Writes that the file system refuses: an immutable file, a read-only mount, a full disk. The
// day's file must stay exactly as it was, with no temporary file left beside it. These need root
// (chattr and mount); they are skipped elsewhere.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>

#include "office/OfficeStore.h"
#include "support/TestData.h"

namespace telvane::office {
namespace {

using test::readFile;

bool succeeded(const QString& program, const QStringList& arguments) {
    return QProcess::execute(program, arguments) == 0;
}

// A record larger than a page, refused by each store where `dir` cannot take it.
void expectRefusedUntouched(const QString& dir, const char* dayFile) {
    const QString path = QDir(dir).filePath(QString::fromLatin1(dayFile));
    const QByteArray before = readFile(path);
    const QStringList entries = QDir(dir).entryList(QDir::Files | QDir::Hidden);
    const QStringList record{"05.12.26 21:07:30", "+12345678901", QString(3000, QChar(u'Щ'))};
    const OfficeResult r = path.endsWith(".xls") ? appendRecordToWorkbook(path, record, true)
                                                 : appendRecordToDocument(path, record);
    EXPECT_EQ(r.error, OfficeStoreError::WriteFailed) << r.reason.toStdString();
    EXPECT_EQ(readFile(path), before);
    EXPECT_EQ(QDir(dir).entryList(QDir::Files | QDir::Hidden), entries);
}

TEST(WriteFailure, ImmutableFileReadOnlyMountAndFullDisk) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root for chattr and mount";
    for (const char* dayFile : {"26-12-05.xls", "26-12-05.doc"}) {
        SCOPED_TRACE(dayFile);
        const QByteArray ours = readFile(
            test::dataPath("office/ours-3-rows." + QString::fromLatin1(dayFile).section(u'.', 1)));
        for (const char* how : {"immutable", "read-only mount", "full disk"}) {
            SCOPED_TRACE(how);
            QTemporaryDir source, mountPoint;
            const QString how_ = QString::fromLatin1(how);
            QString dir = source.path();
            if (how_ == "read-only mount") {
                if (!succeeded("mount", {"--bind", source.path(), mountPoint.path()}))
                    GTEST_SKIP() << "bind mounts are not permitted here";
                ASSERT_TRUE(succeeded("mount", {"-o", "remount,ro,bind", mountPoint.path()}));
                dir = mountPoint.path();
            } else if (how_ == "full disk") {
                if (!succeeded("mount", {"-t", "tmpfs", "-o", "size=64k", "tmpfs", mountPoint.path()}))
                    GTEST_SKIP() << "tmpfs mounts are not permitted here";
                dir = mountPoint.path();
            }
            const QString path = QDir(how_ == "read-only mount" ? source.path() : dir).filePath(dayFile);
            ASSERT_TRUE(test::writeFile(path, ours));
            if (how_ == "full disk") {
                // Fill every free block, so that the row only fits into the slack of the last one.
                QFile filler(QDir(dir).filePath("filler"));
                ASSERT_TRUE(filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
                while (filler.write(QByteArray(512, 'x')) == 512) {
                }
            }
            const bool immutable = how_ == "immutable" && succeeded("chattr", {"+i", path});
            if (how_ == "immutable" && !immutable) continue;  // no such attribute here
            expectRefusedUntouched(dir, dayFile);
            if (how_ == "read-only mount") {
                // A new day's file cannot be created there either.
                const QString newDay = QDir(dir).filePath(QStringLiteral("new.doc"));
                EXPECT_EQ(appendRecordToDocument(newDay, {"a"}).error, OfficeStoreError::WriteFailed);
                EXPECT_FALSE(QFile::exists(newDay));
            }
            if (immutable) succeeded("chattr", {"-i", path});
            if (dir != source.path()) succeeded("umount", {mountPoint.path()});
        }
    }
}

}  // namespace
}  // namespace telvane::office
