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

using namespace telvane::storage;

namespace {

const QByteArray kFormer = "first\r\n";
// Longer than the slack of the file's last page, so that a full disk takes part of it.
const QByteArray kLine = QByteArray(9000, 'x') + "\r\n";

bool run(const QString& program, const QStringList& arguments) {
    return QProcess::execute(program, arguments) == 0;
}

QByteArray bytesAt(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

// A folder holding "f.txt", made to fail its own way; undone in reverse order.
struct Place {
    QTemporaryDir scratch;
    QString folder = scratch.path();
    QString outside = scratch.filePath(QStringLiteral("outside.txt"));
    std::vector<std::function<void()>> undo;

    QString file() const { return folder + QStringLiteral("/f.txt"); }
    bool mount(const QStringList& arguments, const QString& at) {
        if (!QDir().mkpath(at) || !run(QStringLiteral("mount"), arguments + QStringList{at}))
            return false;
        undo.push_back([at] { run(QStringLiteral("umount"), {at}); });
        return true;
    }
    ~Place() {
        for (auto it = undo.rbegin(); it != undo.rend(); ++it) (*it)();
    }
};

bool put(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

struct Fixture {
    const char* name;
    QByteArray former;  ///< what f.txt holds
    std::function<bool(Place&)> make;
    bool append, replace, insert, read;  ///< which operations succeed there
};

const Fixture kFixtures[] = {
    {"ordinary file", kFormer, [](Place&) { return true; }, true, true, true, true},
    {"last line without its line end", "first", [](Place&) { return true; }, true, true, true,
     true},
    {"immutable file", kFormer,
     [](Place& p) {
         if (!run(QStringLiteral("chattr"), {QStringLiteral("+i"), p.file()})) return false;
         p.undo.push_back([f = p.file()] { run(QStringLiteral("chattr"), {"-i", f}); });
         return true;
     },
     false, false, false, true},
    {"read-only mount", kFormer,
     [](Place& p) {
         const QString at = p.scratch.filePath(QStringLiteral("ro"));
         if (!p.mount({QStringLiteral("--bind"), p.folder}, at) ||
             !run(QStringLiteral("mount"), {"-o", "remount,ro,bind", at}))
             return false;
         p.folder = at;
         return true;
     },
     false, false, false, true},
    {"full file system", kFormer,
     [](Place& p) {
         const QString at = p.scratch.filePath(QStringLiteral("full"));
         if (!p.mount({"-t", "tmpfs", "-o", "size=64k", "tmpfs"}, at)) return false;
         p.folder = at;
         QFile filler(at + QStringLiteral("/filler"));
         if (!put(p.file(), kFormer) || !filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
             return false;
         while (filler.write(QByteArray(512, 'z')) == 512) {
         }
         return true;
     },
     false, false, false, true},
    {"symbolic link to a file outside", kFormer,
     [](Place& p) {
         return QFile::rename(p.file(), p.outside) && QFile::link(p.outside, p.file());
     },
     false, false, false, false},
    {"pipe",
     {},
     [](Place& p) {
         return QFile::remove(p.file()) && ::mkfifo(QFile::encodeName(p.file()), 0600) == 0;
     },
     false,
     false,
     false,
     false},
};

enum class Op { Append, Replace, Insert, Read };

struct Outcome {
    bool ok;
    QString error;
};

Outcome perform(Op op, const QString& path, const QByteArray& former) {
    switch (op) {
        case Op::Append: {
            const WriteResult r = appendDurably(path, kLine);
            return {r.ok, r.error};
        }
        case Op::Replace: {
            const WriteResult r = replaceDurably(path, kLine);
            return {r.ok, r.error};
        }
        case Op::Insert: {
            const WriteResult r = insertDurably(path, 2, kLine, former.size());
            return {r.ok, r.error};
        }
        case Op::Read: {
            const ReadResult r = readOwnFile(path);
            EXPECT_TRUE(!r.ok() || r.bytes == former);
            return {r.ok(), r.error};
        }
    }
    return {false, {}};
}

QByteArray written(Op op, const QByteArray& former) {
    switch (op) {
        case Op::Append:
            return former + (former.endsWith('\n') ? "" : "\r\n") + kLine;
        case Op::Replace:
            return kLine;
        case Op::Insert:
            return former.left(2) + kLine + former.mid(2);
        case Op::Read:
            return former;
    }
    return {};
}

TEST(DurableFile, AFailedWriteLeavesTheFileAsItWasAndNothingBesideIt) {
    const std::pair<Op, const char*> ops[] = {{Op::Append, "append"},
                                              {Op::Replace, "replace"},
                                              {Op::Insert, "insert"},
                                              {Op::Read, "read"}};
    for (const Fixture& fixture : kFixtures) {
        for (const auto& [op, opName] : ops) {
            SCOPED_TRACE(std::string(fixture.name) + ", " + opName);
            Place place;
            ASSERT_TRUE(put(place.file(), fixture.former));
            if (!fixture.make(place)) {
                std::printf("skipped: %s cannot be made here\n", fixture.name);
                continue;
            }
            const QDir folder(place.folder);
            const QStringList entries =
                folder.entryList(QDir::AllEntries | QDir::Hidden | QDir::System);
            const QString outside = QFileInfo(place.file()).isSymLink() ? place.outside : QString();
            const bool expected = op == Op::Append    ? fixture.append
                                  : op == Op::Replace ? fixture.replace
                                  : op == Op::Insert  ? fixture.insert
                                                      : fixture.read;

            const Outcome outcome = perform(op, place.file(), fixture.former);
            EXPECT_EQ(outcome.ok, expected) << outcome.error.toStdString();
            EXPECT_TRUE(outcome.ok || outcome.error.contains(QStringLiteral("f.txt")))
                << outcome.error.toStdString();
            EXPECT_EQ(folder.entryList(QDir::AllEntries | QDir::Hidden | QDir::System), entries);
            if (!outside.isEmpty()) {
                EXPECT_TRUE(QFileInfo(place.file()).isSymLink());
                EXPECT_EQ(bytesAt(outside), fixture.former);
            } else if (fixture.read) {
                EXPECT_EQ(bytesAt(place.file()),
                          outcome.ok ? written(op, fixture.former) : fixture.former);
            }
        }
    }
}

TEST(DurableFile, ReplaceKeepsPermissionsAndReadHonoursItsLimit) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("f.txt"));
    ASSERT_TRUE(put(path, kFormer));
    ASSERT_EQ(::chmod(QFile::encodeName(path), 0640), 0);
    ASSERT_TRUE(replaceDurably(path, kLine).ok);
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(path), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    EXPECT_EQ(readOwnFile(path, kLine.size()).bytes, kLine);
    EXPECT_EQ(readOwnFile(path, kLine.size() - 1).problem, ReadResult::Problem::TooLarge);
    EXPECT_EQ(readOwnFile(dir.filePath(QStringLiteral("none"))).problem,
              ReadResult::Problem::Missing);
    // A document that changed since it was read gets no row in the wrong place.
    EXPECT_FALSE(insertDurably(path, 0, "x", kLine.size() - 1).ok);
    EXPECT_EQ(bytesAt(path), kLine);
}

}  // namespace
