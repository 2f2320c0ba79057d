// Writes that the file system refuses: an immutable file, a read-only mount, a full disk. The
// day's file must stay exactly as it was, with no temporary file left beside it. These need root
// (chattr and mount); they are skipped elsewhere.

#include <unistd.h>

#include <QDir>
#include <QTemporaryDir>
#include <functional>

#include "OfficeTestSupport.h"
#include "office/OfficeStore.h"

namespace telvane {
namespace {

using testing::readBytes;
using testing::succeeded;

class Cleanup {
public:
    explicit Cleanup(std::function<void()> undo) : m_undo(std::move(undo)) {}
    ~Cleanup() { m_undo(); }

private:
    std::function<void()> m_undo;
};

struct Store {
    const char* name;
    const char* fixtureName;
    const char* dayFile;
    std::function<OfficeResult(const QString&, const QStringList&)> append;
};

const Store kStores[] = {
    {"workbook", "ours-3-rows.xls", "26-12-05.xls",
     [](const QString& p, const QStringList& f) { return appendRecordToWorkbook(p, f, true); }},
    {"document", "ours-3-rows.doc", "26-12-05.doc",
     [](const QString& p, const QStringList& f) { return appendRecordToDocument(p, f); }},
};

const QStringList kRecord{"05.12.26 21:07:30", "+12345678901",
                          QString(3000, QChar(u'Щ'))};  // a row larger than a page

void expectRefusedUntouched(const Store& store, const QString& dir) {
    const QString path = QDir(dir).filePath(QString::fromLatin1(store.dayFile));
    const QByteArray before = readBytes(path);
    const QStringList entries = QDir(dir).entryList(QDir::Files | QDir::Hidden);
    const OfficeResult r = store.append(path, kRecord);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.error, OfficeStoreError::WriteFailed) << r.reason.toStdString();
    EXPECT_EQ(readBytes(path), before);
    EXPECT_EQ(QDir(dir).entryList(QDir::Files | QDir::Hidden), entries);
}

// Runs `test` once per store, with the store's fixture in a fresh folder.
class WriteFailureTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (::geteuid() != 0) GTEST_SKIP() << "needs root for chattr and mount";
    }
    static void forEachStore(const std::function<void(const Store&, const QString& dir)>& test) {
        for (const Store& store : kStores) {
            SCOPED_TRACE(store.name);
            QTemporaryDir dir;
            ASSERT_TRUE(testing::copyFixture(
                store.fixtureName, QDir(dir.path()).filePath(QString::fromLatin1(store.dayFile))));
            test(store, dir.path());
        }
    }
};

TEST_F(WriteFailureTest, ImmutableFile) {
    forEachStore([](const Store& store, const QString& dir) {
        const QString path = QDir(dir).filePath(QString::fromLatin1(store.dayFile));
        if (!succeeded(QStringLiteral("chattr"), {QStringLiteral("+i"), path})) {
            GTEST_SKIP() << "the file system does not support chattr +i";
        }
        Cleanup undo([&] { succeeded(QStringLiteral("chattr"), {QStringLiteral("-i"), path}); });
        expectRefusedUntouched(store, dir);
    });
}

TEST_F(WriteFailureTest, ReadOnlyMount) {
    forEachStore([](const Store& store, const QString& source) {
        QTemporaryDir mountPoint;
        if (!succeeded(QStringLiteral("mount"),
                       {QStringLiteral("--bind"), source, mountPoint.path()})) {
            GTEST_SKIP() << "bind mounts are not permitted here";
        }
        Cleanup undo([&] { succeeded(QStringLiteral("umount"), {mountPoint.path()}); });
        ASSERT_TRUE(succeeded(
            QStringLiteral("mount"),
            {QStringLiteral("-o"), QStringLiteral("remount,ro,bind"), mountPoint.path()}));
        expectRefusedUntouched(store, mountPoint.path());

        // A new day's file cannot be created there either.
        const QString newDay =
            QDir(mountPoint.path())
                .filePath(QStringLiteral("new.") + QFileInfo(store.dayFile).suffix());
        EXPECT_EQ(store.append(newDay, kRecord).error, OfficeStoreError::WriteFailed);
        EXPECT_FALSE(QFile::exists(newDay));
    });
}

TEST_F(WriteFailureTest, FullDisk) {
    forEachStore([](const Store& store, const QString& source) {
        QTemporaryDir mountPoint;
        if (!succeeded(QStringLiteral("mount"),
                       {QStringLiteral("-t"), QStringLiteral("tmpfs"), QStringLiteral("-o"),
                        QStringLiteral("size=64k"), QStringLiteral("tmpfs"), mountPoint.path()})) {
            GTEST_SKIP() << "tmpfs mounts are not permitted here";
        }
        Cleanup undo([&] { succeeded(QStringLiteral("umount"), {mountPoint.path()}); });
        const QDir dir(mountPoint.path());
        const QString name = QString::fromLatin1(store.dayFile);
        ASSERT_TRUE(QFile::copy(QDir(source).filePath(name), dir.filePath(name)));
        // Fill every free block, so that the row only fits into the slack of the file's last one.
        QFile filler(dir.filePath(QStringLiteral("filler")));
        ASSERT_TRUE(filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
        const QByteArray block(512, 'x');
        while (filler.write(block) == block.size()) {
        }
        filler.close();
        expectRefusedUntouched(store, dir.path());
    });
}

}  // namespace
}  // namespace telvane
