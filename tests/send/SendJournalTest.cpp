// The send journal on disk: what survives a restart, and what a damaged file costs.
#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include "send/SendJournal.h"

using namespace telvane::send;

namespace {

TEST(SendJournal, EveryKindOfEntrySurvivesARestart) {
    QTemporaryDir dir;
    const QString path = dir.filePath("SendJournal.txt");
    const FileIdentity a = identityOf("a b\tc\n.txt", 12, 1700000000123, "79161234567\tHi");
    const FileIdentity b = identityOf("Привет.txt", 400, 1700000001000, "x");
    const FileIdentity c = identityOf("c.txt", 0, -5, "");
    {
        SendJournal journal(path);
        journal.put({JournalEntry::Kind::Confirmed, a, "reported", {}, {}});
        journal.put(
            {JournalEntry::Kind::Partial, b, {}, {{"0011AB", 3}, {"0011CD", 3}}, {true, false}});
        journal.put({JournalEntry::Kind::Reported, c, "Ошибка\tпричина", {}, {}});
        ASSERT_TRUE(journal.save());
    }
    SendJournal journal(path);
    journal.load();
    ASSERT_EQ(journal.size(), 3u);
    ASSERT_NE(journal.find(a), nullptr);
    EXPECT_EQ(journal.find(a)->note, "reported");
    ASSERT_NE(journal.find(b), nullptr);
    EXPECT_EQ(journal.find(b)->parts, (std::vector<PendingPart>{{"0011AB", 3}, {"0011CD", 3}}));
    EXPECT_EQ(journal.find(b)->confirmed, (std::vector<bool>{true, false}));
    ASSERT_NE(journal.find(c), nullptr);
    EXPECT_EQ(journal.find(c)->note, "Ошибка\tпричина");

    FileIdentity changed = a;
    changed.modifiedMs += 1;
    EXPECT_EQ(journal.find(changed), nullptr);
    EXPECT_TRUE(journal.keepOnly({b.name}));
    EXPECT_EQ(journal.size(), 1u);
}

TEST(SendJournal, ADamagedLineCostsOnlyItsOwnEntry) {
    const FileIdentity a = identityOf("a.txt", 1, 2, "a");
    SendJournal journal("unused");
    journal.put({JournalEntry::Kind::Confirmed, a, {}, {}, {}});
    const QByteArray good = journal.serialize();
    const QByteArray lines[] = {
        "confirmed\t1\t2\tnot-a-hash\tb.txt\t\t\t\n",
        "partial\t1\t2\t" + a.sha256Hex + "\tc.txt\t\t10\t3:00AB\n",  // two flags, one part
        "partial\t1\t2\t" + a.sha256Hex + "\td.txt\t\t1\t3:xyz\n",
        "unknown\t1\t2\t" + a.sha256Hex + "\te.txt\t\t\t\n",
        "truncated\t1\n",
    };
    QByteArray text = good;
    for (const QByteArray& line : lines) text += line;
    const auto entries = SendJournal::parse(text);
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries.begin()->first, "a.txt");
    EXPECT_TRUE(SendJournal::parse("not a journal\n" + good.mid(good.indexOf('\n') + 1)).empty());
}

}  // namespace
