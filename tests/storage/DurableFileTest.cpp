// The durable writes against what disks and other programs do to a file: a full file system, a
// read-only mount, an immutable file, a symbolic link or a pipe planted at its name, a last
// line cut off without its line end. A write that fails leaves the file (and a link's target)
// as it was and nothing beside it. Mounts and chattr need root; a row whose fixture cannot be
// made here is skipped.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <functional>

#include "storage/DurableFile.h"
#include "support/TestData.h"

using namespace telvane::storage;
using telvane::test::readFile;
using telvane::test::writeFile;

namespace {

// Longer than the slack of the file's last page, so that a full disk takes part of it.
const QByteArray kLine = QByteArray(9000, 'x') + "\r\n";

bool run(const QString& program, const QStringList& arguments) {
    return QProcess::execute(program, arguments) == 0;
}

// A folder holding "f.txt", made to fail its own way; undone in reverse order.
struct Place {
    QTemporaryDir scratch;
    QString folder = scratch.path();
    QString outside = scratch.filePath(QStringLiteral("outside.txt"));
    std::vector<std::function<void()>> undo;

    QString file() const { return folder + QStringLiteral("/f.txt"); }
    bool mountAt(const QString& name, const QStringList& arguments) {
        folder = scratch.filePath(name);
        if (!QDir().mkpath(folder) ||
            !run(QStringLiteral("mount"), arguments + QStringList{folder}))
            return false;
        undo.push_back([at = folder] { run(QStringLiteral("umount"), {at}); });
        return true;
    }
    ~Place() {
        for (auto it = undo.rbegin(); it != undo.rend(); ++it) (*it)();
    }
};

struct Fixture {
    const char* name;
    QByteArray former;  ///< what f.txt holds
    std::function<bool(Place&)> make;
    bool writes, reads;  ///< whether writing and reading succeed there
};

const Fixture kFixtures[] = {
    {"ordinary file", "first\r\n", [](Place&) { return true; }, true, true},
    {"last line without its line end", "first", [](Place&) { return true; }, true, true},
    {"immutable file", "first\r\n",
     [](Place& p) {
         p.undo.push_back([f = p.file()] { run(QStringLiteral("chattr"), {"-i", f}); });
         return run(QStringLiteral("chattr"), {QStringLiteral("+i"), p.file()});
     },
     false, true},
    {"read-only mount", "first\r\n",
     [](Place& p) {
         const QString source = p.folder;
         return p.mountAt("ro", {"--bind", source}) &&
                run(QStringLiteral("mount"), {"-o", "remount,ro,bind", p.folder});
     },
     false, true},
    {"full file system", "first\r\n",
     [](Place& p) {
         QFile filler(p.scratch.filePath(QStringLiteral("full/filler")));
         if (!p.mountAt("full", {"-t", "tmpfs", "-o", "size=64k", "tmpfs"}) ||
             !writeFile(p.file(), "first\r\n") ||
             !filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
             return false;
         while (filler.write(QByteArray(512, 'z')) == 512) {
         }
         return true;
     },
     false, true},
    {"symbolic link to a file outside", "first\r\n",
     [](Place& p) {
         return QFile::rename(p.file(), p.outside) && QFile::link(p.outside, p.file());
     },
     false, false},
    {"pipe", "",
     [](Place& p) {
         return QFile::remove(p.file()) && ::mkfifo(QFile::encodeName(p.file()), 0600) == 0;
     },
     false, false},
};

// Each operation, and what the file holds after it succeeded.
struct Operation {
    const char* name;
    std::function<WriteResult(const QString& path, const QByteArray& former)> write;
    std::function<QByteArray(const QByteArray& former)> result;
};

const Operation kOperations[] = {
    {"append", [](const QString& p, const QByteArray&) { return appendDurably(p, kLine); },
     [](const QByteArray& f) { return f + (f.endsWith('\n') ? "" : "\r\n") + kLine; }},
    {"replace", [](const QString& p, const QByteArray&) { return replaceDurably(p, kLine); },
     [](const QByteArray&) { return kLine; }},
    {"insert",
     [](const QString& p, const QByteArray& f) { return insertDurably(p, 2, kLine, f.size()); },
     [](const QByteArray& f) { return f.left(2) + kLine + f.mid(2); }},
    {"read",
     [](const QString& p, const QByteArray& f) {
         const ReadResult r = readOwnFile(p);
         return r.ok() && r.bytes == f ? WriteResult::done() : WriteResult{false, r.error};
     },
     [](const QByteArray& f) { return f; }},
};

TEST(DurableFile, AFailedWriteLeavesTheFileAsItWasAndNothingBesideIt) {
    for (const Fixture& fixture : kFixtures) {
        for (const Operation& op : kOperations) {
            SCOPED_TRACE(std::string(fixture.name) + ", " + op.name);
            Place place;
            ASSERT_TRUE(writeFile(place.file(), fixture.former));
            if (!fixture.make(place)) {
                std::printf("skipped: %s cannot be made here\n", fixture.name);
                continue;
            }
            const QDir folder(place.folder);
            const auto entries = [&] { return folder.entryList(QDir::AllEntries | QDir::System); };
            const QStringList before = entries();
            const bool linked = QFileInfo(place.file()).isSymLink();
            const bool expected = op.name == std::string("read") ? fixture.reads : fixture.writes;

            const WriteResult outcome = op.write(place.file(), fixture.former);
            EXPECT_EQ(outcome.ok, expected) << outcome.error.toStdString();
            EXPECT_TRUE(outcome.ok || outcome.error.contains(QStringLiteral("f.txt")));
            EXPECT_EQ(entries(), before);
            const QByteArray after = outcome.ok ? op.result(fixture.former) : fixture.former;
            if (fixture.reads || linked) {  // a pipe is never opened here: it would block
                EXPECT_EQ(readFile(linked ? place.outside : place.file()), after);
            }
        }
    }
}

TEST(DurableFile, ReplaceKeepsPermissionsReadKeepsItsLimitInsertChecksTheSize) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("f.txt"));
    ASSERT_TRUE(writeFile(path, "first\r\n"));
    ASSERT_EQ(::chmod(QFile::encodeName(path), 0640), 0);
    ASSERT_TRUE(replaceDurably(path, kLine).ok);
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(path), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    EXPECT_EQ(readOwnFile(path, kLine.size()).bytes, kLine);
    EXPECT_EQ(readOwnFile(path, kLine.size() - 1).problem, ReadResult::Problem::TooLarge);
    EXPECT_EQ(readOwnFile(path + u'x').problem, ReadResult::Problem::Missing);
    // A document that changed since it was read gets no row in the wrong place.
    EXPECT_FALSE(insertDurably(path, 0, "x", kLine.size() - 1).ok);
    EXPECT_EQ(readFile(path), kLine);
}

}  // namespace
