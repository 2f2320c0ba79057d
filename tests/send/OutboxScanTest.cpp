// The outbox scan over real files in a temporary home folder, with a scripted phone: what is
// sent, what is deleted, what is kept and what "Log.txt" says, poll after poll.
#include <gtest/gtest.h>

#include "SendTestSupport.h"
#include "config/SettingsKeys.h"
#include "send/OutboxScan.h"
#include "send/SendJournal.h"

using namespace telvane;
using namespace telvane::test;

namespace {

QByteArray cp1251(const char32_t* text) {
    return QByteArray::fromStdString(codec::unicodeToCp1251Lossy(text));
}

void scan(OutboxPoll& poll, send::OutboxScan& scanner) {
    auto context = poll.context();
    scanner.ScanOutbox(context);
}

TEST(OutboxScan, AnEmptyOutboxSaysSoAndSendsNothing) {
    OutboxPoll poll;
    send::OutboxScan scanner;
    scan(poll, scanner);
    EXPECT_EQ(poll.status.texts,
              QStringList({"Поиск файлов для отправки", "Нет сообщений на отправку"}));
    EXPECT_TRUE(poll.phone.commands.isEmpty());
    EXPECT_EQ(poll.status.icons, QList<int>({4}));
}

TEST(OutboxScan, FilesBecomeMessagesAsTheyAreWritten) {
    struct Case {
        const char* name;
        QString split;
        QByteArray file;
        std::string number;
        std::u32string text;
    };
    const Case cases[] = {
        {"number TAB word", "[tab]", "79161234567\tHello", "+79161234567", U"Hello"},
        {"later separators belong to the text", "[tab]", "79161234567\ta\tb", "+79161234567",
         U"a\tb"},
        {"spaces around number and text", "[tab]", "  79161234567  \t  Hello  ", "+79161234567",
         U"Hello"},
        {"line breaks removed", "[tab]", "79161234567\tone\r\ntwo\nthree", "+79161234567",
         U"onetwothree"},
        {"[ ] splits at the first space", "[ ]", "79161234567 two words", "+79161234567",
         U"two words"},
        {"domestic 8 becomes 7", "[tab]", "89161234567\tHi", "+79161234567", U"Hi"},
        {"Windows-1251 Cyrillic", "[tab]", cp1251(U"79161234567\tПривет, Ёлка №1"), "+79161234567",
         U"Привет, Ёлка №1"},
        {"a separator longer than one character", "##", "79161234567##a#b", "+79161234567", U"a#b"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        OutboxPoll poll;
        poll.settings.write(config::setting::Split, c.split);
        poll.working.gfsSplit = poll.settings.separator();
        poll.put("m.txt", c.file);
        send::OutboxScan scanner;
        scan(poll, scanner);
        ASSERT_EQ(poll.phone.pdus().size(), 1) << poll.status.texts.join(" | ").toStdString()
                                               << poll.logLines().join(" | ").toStdString();
        EXPECT_EQ(numberAndText(poll.phone.pdus()[0]), std::make_pair(c.number, c.text));
        EXPECT_FALSE(poll.has("m.txt"));
        EXPECT_TRUE(poll.logLines().isEmpty());
        EXPECT_EQ(poll.status.texts.last(), "Сообщение отправлено");
        EXPECT_EQ(poll.phone.purges, 1);
    }
}

TEST(OutboxScan, UnsendableFilesStayAreReportedOnceAndHoldNothingBack) {
    struct Case {
        const char* name;
        QByteArray file;
        QString logLine;  // without date and time
    };
    const Case cases[] = {
        {"no separator", "79161234567 Hello",
         "Ошибка чтения файла сообщения: a.txt\tнет разделителя"},
        {"empty file", "", "Ошибка чтения файла сообщения: a.txt\tфайл пуст"},
        {"empty number", "  \tHello", "Ошибка отправки сообщения: \tHello\tномер пуст"},
        {"letters in the number", "7916ABC\tHello",
         "Ошибка отправки сообщения: 7916ABC\tHello\tв номере есть знаки кроме цифр (позиция 5)"},
        {"21 digits", "791612345678901234567\tHello",
         "Ошибка отправки сообщения: 791612345678901234567\tHello\tв номере больше 20 цифр"},
        {"empty text", "79161234567\t  \r\n ",
         "Ошибка отправки сообщения: 79161234567\t\tтекст пуст"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        OutboxPoll poll;
        poll.put("a.txt", c.file);
        poll.put("b.txt", "79161234567\tafter");
        send::OutboxScan scanner;
        scan(poll, scanner);
        EXPECT_TRUE(poll.has("a.txt"));
        EXPECT_FALSE(poll.has("b.txt"));
        ASSERT_EQ(poll.phone.pdus().size(), 1);
        EXPECT_EQ(numberAndText(poll.phone.pdus()[0]).second, U"after");
        const QStringList lines = poll.logLines();
        ASSERT_EQ(lines.size(), 1);
        EXPECT_EQ(lines[0].section(u'\t', 2), c.logLine);
        EXPECT_EQ(poll.settings.text(config::setting::LongID), "1");

        scan(poll, scanner);  // the same file again: no second line
        EXPECT_EQ(poll.logLines().size(), 1);
        EXPECT_EQ(poll.phone.pdus().size(), 1);
    }
}

TEST(OutboxScan, AFileStillBeingWrittenWaitsForTheNextPoll) {
    OutboxPoll poll;
    poll.put("m.txt", "79161234567\tHel");
    poll.wallClock.time = QDateTime::currentDateTime().addMSecs(500);
    send::OutboxScan scanner;
    scan(poll, scanner);
    EXPECT_TRUE(poll.phone.commands.isEmpty());
    EXPECT_EQ(poll.status.texts.last(), "Нет сообщений на отправку");
    poll.put("m.txt", "79161234567\tHello");  // the writer finishes
    poll.wallClock.time = QDateTime::currentDateTime().addSecs(3);
    scan(poll, scanner);
    ASSERT_EQ(poll.phone.pdus().size(), 1);
    EXPECT_EQ(numberAndText(poll.phone.pdus()[0]).second, U"Hello");
}

TEST(OutboxScan, FilesGoInNameOrder) {
    OutboxPoll poll;
    for (const char* name : {"c.txt", "a.txt", "B.TXT", "b.txt"})
        poll.put(name, QByteArray("79161234567\t") + name);
    poll.put("ignored.tmp", "79161234567\tnot an outgoing file");
    poll.put(".hidden.txt", "79161234567\thidden");
    send::OutboxScan scanner;
    scan(poll, scanner);
    std::vector<std::u32string> texts;
    for (const QByteArray& pdu : poll.phone.pdus()) texts.push_back(numberAndText(pdu).second);
    EXPECT_EQ(texts, (std::vector<std::u32string>{U"B.TXT", U"a.txt", U"b.txt", U"c.txt"}));
}

TEST(OutboxScan, AMessageThePhoneDidNotTakeStaysAndIsLoggedEachTime) {
    struct Case {
        const char* name;
        std::deque<Answer> script;
    };
    const Case cases[] = {
        {"ERROR instead of the prompt", {kError}},
        {"no prompt", {kSilence}},
        {"ERROR after the PDU", {kPrompt, kError}},
        {"+CMS ERROR after the PDU", {kPrompt, kCmsError}},
        {"silence after the PDU", {kPrompt, kSilence}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        OutboxPoll poll;
        poll.put("m.txt", "79161234567\tHello\r\nthere");
        send::OutboxScan scanner;
        for (int i = 0; i < 2; ++i) {
            poll.phone.script = c.script;
            poll.phone.script.push_back(kSilence);  // the ESC, where one follows
            scan(poll, scanner);
        }
        EXPECT_TRUE(poll.has("m.txt"));
        const QStringList lines = poll.logLines();
        ASSERT_EQ(lines.size(), 2);
        EXPECT_EQ(lines[1].section(u'\t', 2), "Ошибка отправки сообщения: 79161234567\tHellothere");
    }
}

TEST(OutboxScan, ALongMessageThatFailedPartWayLaterSendsOnlyItsMissingParts) {
    OutboxPoll poll;
    poll.settings.write(config::setting::LongID, "41");
    poll.put("long.txt", "79161234567\t" + QByteArray(400, 'x'));  // 3 parts
    send::OutboxScan scanner;
    poll.phone.script = {kPrompt, kOk, kPrompt, kCmsError, kPrompt, kOk};
    scan(poll, scanner);
    EXPECT_TRUE(poll.has("long.txt"));
    EXPECT_EQ(poll.logLines().size(), 1);
    const QList<QByteArray> first = poll.phone.pdus();
    ASSERT_EQ(first.size(), 3);
    EXPECT_EQ(poll.settings.text(config::setting::LongID), "42");

    // The settings change meanwhile; the missing part still goes as it was built.
    poll.settings.write(config::setting::Report, "1");
    poll.phone.commands.clear();
    scan(poll, scanner);
    EXPECT_EQ(poll.phone.pdus(), QList<QByteArray>({first[1]}));
    EXPECT_FALSE(poll.has("long.txt"));
    EXPECT_EQ(poll.settings.text(config::setting::LongID), "42");
    EXPECT_EQ(poll.status.texts.last(), "Сообщение (часть 2/3) отправлено");
}

// Deletion fails as on a folder the gateway may read but not change.
class UndeletableFolder final : public send::OutboxFolder {
public:
    explicit UndeletableFolder(const QString& path) : m_disk(path) {}
    std::optional<QList<send::OutboxEntry>> list() const override { return m_disk.list(); }
    std::optional<send::OutboxEntry> stat(const QString& n) const override {
        return m_disk.stat(n);
    }
    std::optional<QByteArray> read(const QString& n, qint64 max) const override {
        return m_disk.read(n, max);
    }
    bool remove(const QString& n) override { return deletable && m_disk.remove(n); }
    static inline bool deletable = false;

private:
    send::DiskOutboxFolder m_disk;
};

TEST(OutboxScan, AFileThatCannotBeDeletedIsSentOnceAndReportedOnce) {
    OutboxPoll poll;
    poll.put("m.txt", "79161234567\tonce");
    UndeletableFolder::deletable = false;
    send::OutboxScan scanner(
        [](const QString& path) { return std::make_unique<UndeletableFolder>(path); });
    for (int i = 0; i < 3; ++i) scan(poll, scanner);
    EXPECT_EQ(poll.phone.pdus().size(), 1);
    const QStringList lines = poll.logLines();
    ASSERT_EQ(lines.size(), 1);
    EXPECT_EQ(lines[0].section(u'\t', 2), "Ошибка удаления отправленного файла: m.txt");

    UndeletableFolder::deletable = true;
    scan(poll, scanner);
    EXPECT_FALSE(poll.has("m.txt"));
    EXPECT_EQ(poll.phone.pdus().size(), 1);
    send::SendJournal journal(send::OutboxScan::journalPath(poll.settings));
    journal.load();
    EXPECT_EQ(journal.size(), 0u);  // the entry went with its file
}

TEST(OutboxScan, AConfirmedFileFoundAfterAStopIsDeletedNotSent) {
    OutboxPoll poll;
    poll.put("m.txt", "79161234567\tonce");
    // What a stop right after the confirmation leaves: the journal entry and the file.
    {
        UndeletableFolder::deletable = false;
        send::OutboxScan scanner(
            [](const QString& path) { return std::make_unique<UndeletableFolder>(path); });
        scan(poll, scanner);
    }
    ASSERT_EQ(poll.phone.pdus().size(), 1);
    ASSERT_TRUE(poll.has("m.txt"));
    send::OutboxScan restarted;
    scan(poll, restarted);
    EXPECT_FALSE(poll.has("m.txt"));
    EXPECT_EQ(poll.phone.pdus().size(), 1);

    // A new file under the same name is a new message.
    poll.put("m.txt", "79161234567\tagain");
    scan(poll, restarted);
    ASSERT_EQ(poll.phone.pdus().size(), 2);
    EXPECT_EQ(numberAndText(poll.phone.pdus()[1]).second, U"again");
}

}  // namespace
