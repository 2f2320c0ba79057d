// The outbox scan over real files in a temporary home folder, with a scripted phone: what is
// sent, what is deleted, what is kept and what "Log.txt" says, poll after poll.
#include <gtest/gtest.h>

#include <functional>
#include <utility>

#include "SendTestSupport.h"
#include "config/SettingsKeys.h"
#include "send/OutboxScan.h"
#include "send/SendJournal.h"

using namespace telvane;
using namespace telvane::test;
namespace setting = telvane::config::setting;

namespace {

void scan(OutboxPoll& poll, send::OutboxScan&& scanner = send::OutboxScan()) {
    auto context = poll.context();
    scanner.ScanOutbox(context);
}

// Each folder under outbox/ holds files as writers leave them; its .expected file says, in
// name order, which are sent (and what the recipient reads) and which are kept (and the line
// "Log.txt" gets for them). Anything not named there is no outgoing file and stays.
TEST(OutboxScan, EachFileIsSentInNameOrderOrKeptWithOneLineThatSaysWhy) {
    const std::pair<const char*, const char*> folders[] = {
        {"tab", "[tab]"}, {"space", "[ ]"}, {"hashes", "##"}, {"empty", ""}};
    for (const auto& [folder, split] : folders) {
        SCOPED_TRACE(folder);
        OutboxPoll poll;
        ASSERT_TRUE(poll.settings.write(setting::Split, split));
        poll.working.gfsSplit = poll.settings.separator();
        poll.putAll("send/outbox/" + QString(folder));
        QStringList kept = poll.sendFolder();
        QStringList sent, log;
        for (const QString& line : dataLines("send/outbox/" + QString(folder) + ".expected")) {
            const bool isKept = line.section(u'\t', 1, 1) == QStringLiteral("kept");
            (isKept ? log : sent) << line.section(u'\t', 2);
            if (!isKept) kept.removeOne(line.section(u'\t', 0, 0));
        }
        for (int round = 0; round < 2; ++round) {  // the kept files are not reported again
            scan(poll);
            QStringList received;
            for (const QByteArray& pdu : poll.phone.pdus) received << describe(pdu);
            EXPECT_EQ(received, sent);
            EXPECT_EQ(poll.log(), log);
        }
        EXPECT_EQ(poll.sendFolder(), kept);
        EXPECT_EQ(poll.status.texts.count("Сообщение отправлено"), sent.size());
        EXPECT_EQ(poll.phone.purges, sent.size());
    }
}

TEST(OutboxScan, AFileStillBeingWrittenLeavesNothingToSend) {
    OutboxPoll poll;
    poll.put("m.txt", "79161234567\tHel");
    poll.wallClock.time = QDateTime::currentDateTime().addMSecs(-59500);  // half a second old
    scan(poll);
    EXPECT_EQ(poll.status.texts,
              QStringList({"Поиск файлов для отправки", "Нет сообщений на отправку"}));
    EXPECT_EQ(poll.status.icons, QList<int>({4}));
    EXPECT_TRUE(poll.phone.commands.isEmpty());
}

TEST(OutboxScan, ALongMessageThatFailedPartWayLaterSendsOnlyItsMissingParts) {
    OutboxPoll poll;
    ASSERT_TRUE(poll.settings.write(setting::LongID, "41"));
    const QByteArray half(200, 'x');
    poll.put("long.txt", "79161234567\t" + half + "\r\n" + half);  // 3 parts
    const QString failed = "Ошибка отправки сообщения: 79161234567\t" + half + half;
    poll.phone.script = "pkpcpk";
    scan(poll);
    const QList<QByteArray> first = poll.phone.pdus;
    ASSERT_EQ(first.size(), 3);
    EXPECT_EQ(poll.log(), QStringList({failed}));
    EXPECT_EQ(poll.settings.text(setting::LongID), "42");

    // The settings change meanwhile; the missing part still goes as it was built, and each
    // poll that fails says so again.
    ASSERT_TRUE(poll.settings.write(setting::Report, "1"));
    for (const std::string script : {"pss", ""}) {
        poll.phone.pdus.clear();
        poll.phone.script = script;
        scan(poll);
        EXPECT_EQ(poll.phone.pdus, QList<QByteArray>({first[1]}));
    }
    EXPECT_EQ(poll.log(), QStringList({failed, failed}));
    EXPECT_FALSE(poll.has("long.txt"));
    EXPECT_EQ(poll.settings.text(setting::LongID), "42");
    EXPECT_EQ(poll.status.texts.last(), "Сообщение (часть 2/3) отправлено");
}

// Deletion fails, as on a folder the gateway may read but not change; renaming may work.
struct UndeletableFolder final : send::OutboxFolder {
    explicit UndeletableFolder(const QString& path, bool renames = false)
        : disk(path), renames(renames) {}
    std::optional<QList<send::OutboxEntry>> list() const override { return disk.list(); }
    std::optional<send::OutboxEntry> stat(const QString& n) const override { return disk.stat(n); }
    std::optional<QByteArray> read(const QString& n, qint64 max) const override {
        return disk.read(n, max);
    }
    bool remove(const QString&) override { return false; }
    bool rename(const QString& n, const QString& to) override {
        return renames && disk.rename(n, to);
    }
    send::DiskOutboxFolder disk;
    bool renames;
};

// Also a name the journal has to escape, and an entry of a file that has gone meanwhile.
TEST(OutboxScan, AConfirmedFileIsNeverSentAgainAndDeletedWhenItCanBe) {
    OutboxPoll poll;
    QFile::copy(TELVANE_TEST_DATA "/send/damaged-journal.txt",
                send::OutboxScan::journalPath(poll.settings));
    const auto undeletable = [] {
        return send::OutboxScan(
            [](const QString& path) { return std::make_unique<UndeletableFolder>(path); });
    };
    const QString name = QStringLiteral("Привет a\tb%41.txt");
    // The TAB of the name is a blank in Log.txt, not a field of its own.
    const QString notDeleted = "Ошибка удаления отправленного файла: Привет a b%41.txt";
    poll.put(name, "79161234567\tonce!");
    for (int i = 0; i < 3; ++i) scan(poll, undeletable());
    EXPECT_EQ(poll.phone.pdus.size(), 1);
    EXPECT_EQ(poll.log(), QStringList({notDeleted}));

    poll.put(name, "79161234567\tagain");  // a new message under the same name
    scan(poll, undeletable());
    ASSERT_EQ(poll.phone.pdus.size(), 2);
    EXPECT_EQ(describe(poll.phone.pdus[1]), "+79161234567\t00\t-\tagain");
    EXPECT_EQ(poll.log(), QStringList({notDeleted, notDeleted}));

    // The folder can be changed again, as after a stop between confirmation and deletion.
    scan(poll);
    EXPECT_FALSE(poll.has(name));
    EXPECT_EQ(poll.phone.pdus.size(), 2);
    send::SendJournal journal(send::OutboxScan::journalPath(poll.settings));
    journal.load();
    EXPECT_EQ(journal.size(), 0u);  // each entry went with its file
}

// Runs `onSent` the first time a message is reported sent: between the phone's confirmation
// and the journal entry.
struct AtConfirmation final : contracts::StatusSink {
    explicit AtConfirmation(contracts::StatusSink& inner) : inner(inner) {}
    void SetStatus(const contracts::Status& s) override {
        inner.SetStatus(s);
        if (s.id == contracts::StatusId::Sent && onSent) std::exchange(onSent, {})();
    }
    void SetStatusIcon(contracts::StatusIcon icon) override { inner.SetStatusIcon(icon); }
    const contracts::Status& currentStatus() const override { return inner.currentStatus(); }
    contracts::StatusSink& inner;
    std::function<void()> onSent;
};

// Something happens right after the confirmation; then the same outbox scans once more.
TEST(OutboxScan, AConfirmedMessageGoesOnceAndOnlyItsOwnFileIsDeleted) {
    const struct {
        const char* name;
        bool rewrite, breakJournal, deletes, renames;
        int sent;
        QStringList left, log;
    } rows[] = {
        {"rewritten during its send: a new message", true, false, true, false, 2, {}, {}},
        {"journal unwritable, file renamed aside",
         false,
         true,
         false,
         true,
         1,
         {"m.txt.sent"},
         {"Ошибка удаления отправленного файла: m.txt\tпереименован в m.txt.sent"}},
        {"journal unwritable, file kept",
         false,
         true,
         false,
         false,
         1,
         {"m.txt"},
         {"Ошибка удаления отправленного файла: m.txt"}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        OutboxPoll poll;
        const QString journal = send::OutboxScan::journalPath(poll.settings);
        poll.put("m.txt", "79161234567\tfirst");
        AtConfirmation status(poll.status);
        status.onSent = [&] {
            if (row.rewrite) poll.put("m.txt", "79161234567\tagain");
            // A folder where the journal was cannot be replaced.
            if (row.breakJournal) {
                ASSERT_TRUE(QFile::remove(journal) && QDir().mkdir(journal));
            }
        };
        send::OutboxScan scanner(
            [&row](const QString& path) -> std::unique_ptr<send::OutboxFolder> {
                if (row.deletes) return std::make_unique<send::DiskOutboxFolder>(path);
                return std::make_unique<UndeletableFolder>(path, row.renames);
            });
        contracts::PollContext context{poll.phone, status,    poll.working, poll.settings,
                                       poll.clock, poll.pump, poll.pacing,  poll.wallClock};
        for (int round = 0; round < 2; ++round) {
            scanner.ScanOutbox(context);
            QDir().rmdir(journal);  // writable again
        }
        EXPECT_EQ(poll.phone.pdus.size(), row.sent);
        EXPECT_EQ(poll.sendFolder(), row.left);
        QStringList log = row.log;
        if (row.breakJournal)
            log << "Отправка остановлена: журнал отправки не записывается: " + journal;
        EXPECT_EQ(poll.log(), log);
    }
}

}  // namespace
