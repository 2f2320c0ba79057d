// The send journal as read from disk: a damaged line costs only its own entry, and a file that
// is no journal gives none. (The outbox scan reloads it at every poll; its tests cover the rest.)
#include <gtest/gtest.h>

#include <QFile>

#include "send/SendJournal.h"

using namespace telvane::send;

namespace {

TEST(SendJournal, ADamagedLineCostsOnlyItsOwnEntry) {
    QFile file(TELVANE_TEST_DATA "/send/damaged-journal.txt");  // one good line, then bad ones
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray text = file.readAll();
    const auto entries = SendJournal::parse(text);
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_TRUE(entries.begin()->second.identity == identityOf("a.txt", 1, 2, "a"));
    EXPECT_EQ(entries.begin()->second.kind, JournalEntry::Kind::Confirmed);
    EXPECT_TRUE(SendJournal::parse("not a journal" + text.mid(text.indexOf('\n'))).empty());
}

}  // namespace
