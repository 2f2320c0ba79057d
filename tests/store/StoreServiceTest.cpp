// The store under the service: a home left by the version before the store
// (tests/data/store/old-home, made by that version's telvaned: see make-old-home.py there),
// upgraded by one poll of today's, sends nothing twice, stores nothing twice and drops nothing
// waiting; and a full disk under the store keeps the messages in the phone and the files in Send
// until there is room again.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>

#include "store/PostgresStore.h"
#include "store/SqliteStore.h"
#include "support/Home.h"
#include "support/PostgresServer.h"

using namespace telvane;
using namespace telvane::test;

namespace {

// An older home copied here as it stood: its files in Send at the times its send journal
// recorded, the paths and the report's time moved to where and when the test runs.
void copyOldHome(const Home& home) {
    const QString from = dataPath("store/old-home/");
    const QString oldPath = QString::fromUtf8(readFile(from + "home-path")).trimmed();
    const QString now = QDateTime::currentDateTimeUtc().toString(Qt::ISODate);
    for (const QString folder : {"Send", "Sent", "Receive"}) {
        QDir().mkpath(home.path(folder));
        for (const QString& name : QDir(from + folder).entryList(QDir::Files))
            ASSERT_TRUE(QFile::copy(from + folder + "/" + name, home.path(folder + "/" + name)));
    }
    for (const char* name : {"SendJournal.txt", "received.journal", "inbox.index", "webhook.queue",
                             "reports.journal", "RefusedPin.txt"}) {
        QByteArray bytes = readFile(from + name);
        bytes.replace(oldPath.toUtf8(), home.dir.path().toUtf8());
        if (QByteArray(name) == "reports.journal") {
            QList<QByteArray> f = bytes.trimmed().split('\t');
            f[2] = now.toUtf8();
            bytes = f.join('\t') + '\n';
        }
        ASSERT_TRUE(writeFile(home.path(name), bytes));
    }
    for (const QByteArray& line : readFile(home.path("SendJournal.txt")).split('\n')) {
        const QList<QByteArray> f = line.split('\t');
        if (f.size() < 5) continue;
        QFile file(home.path("Send/" + QString::fromUtf8(f[4])));
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        file.setFileTime(QDateTime::fromMSecsSinceEpoch(f[2].toLongLong()),
                         QFileDevice::FileModificationTime);
    }
}

TEST(StoreService, AnOlderHomeSendsNothingTwiceStoresNothingTwiceAndDropsNothing) {
    Home home;
    copyOldHome(home);
    const QStringList longParts = QString::fromUtf8(readFile(home.path("SendJournal.txt")))
                                      .section(u'\t', -1)
                                      .trimmed()
                                      .split(u',');
    // The SIM holds the first old message again, a new one, and the report on a.txt (TP-MR 2).
    SimulatedModem modem({{},
                          {"07919730071111F1040B919761214365F70000423051011200210EC8329BFD0699E5EF"
                           "36689A6C02",
                           "07912143658709F1040B912143658709F100006221501270032105C8329BFD06",
                           "07912143658709F106020B912143658709F1622150127003216221501270032100"},
                          {},
                          {}});
    ASSERT_TRUE(modem.start());
    ASSERT_TRUE(home.useModem(modem,
                              "[Folders]\r\nSent=Sent\r\n[SMS]\r\nReport=1\r\n"
                              "PIN=9999\r\n[Http]\r\nWebhook=http://127.0.0.1:9/hook\r\n"));
    QString errors;
    ASSERT_EQ(home.runOnce(nullptr, &errors), 0) << errors.toStdString();

    // Sent: only the two parts of long.txt its first run could not send, exactly as they were.
    EXPECT_EQ(modem.sentPdus(),
              QStringList({longParts[1].section(u':', 1), longParts[2].section(u':', 1)}));
    EXPECT_EQ(QDir(home.path("Send")).entryList(QDir::Files),
              QStringList({"broken.status", "broken.txt"}));
    EXPECT_TRUE(QFile::exists(home.path("Sent/0-stuck.txt")));
    EXPECT_TRUE(QFile::exists(home.path("Sent/long.txt")));
    // The report on a.txt found it.
    EXPECT_TRUE(home.read("Sent/a.status").startsWith("state=delivered\n"));
    // Stored: the new message once, the old one not again.
    // The old two stay in their day's file; the new one and the report go to today's.
    const QString oldDay = home.path("Receive/26-12-07.txt");
    QStringList stored = textLines(oldDay);
    if (home.dayFile() != oldDay) stored += textLines(home.dayFile());
    EXPECT_EQ(stored.size(), 2 + 2);
    EXPECT_EQ(home.log(), QStringList({"Перенесено в хранилище: inbox.index, received.journal, "
                                       "SendJournal.txt, reports.journal, webhook.queue, "
                                       "RefusedPin.txt",
                                       "Повтор сохранённого SMS удалён из телефона: "
                                       "+79161234567\t15.03.24 10:21:00"}));
    for (const char* name : {"SendJournal.txt", "received.journal", "inbox.index", "webhook.queue",
                             "reports.journal", "RefusedPin.txt"})
        EXPECT_TRUE(QFile::exists(home.path(QString(name) + ".imported"))) << name;

    auto store = std::move(store::SqliteStore::open(home.path("telvane.db")).value());
    const store::InboxPage inbox = store->inbox(0, 10).value();
    ASSERT_EQ(inbox.messages.size(), 3);
    EXPECT_EQ(inbox.messages[2].id, 3);  // the cursor goes on
    EXPECT_EQ(inbox.messages[2].text, "Hello");
    // The events that waited still wait for the receiver, the first four as they were.
    const auto first = store->nextEvent(0).value();
    ASSERT_TRUE(first.has_value());
    EXPECT_TRUE(first->body.contains("ace47871-65da-4334-a957-8a4720466e3f"));
    // The PIN the SIM refused is not tried again.
    EXPECT_EQ(store->fact("refused-pin").value().value_or(""),
              QString::fromLatin1(readFile(dataPath("store/old-home/RefusedPin.txt")).trimmed()));
}

// A small file system of its own for the home (and so the store), the other folders beside it.
struct SmallDisk {
    QTemporaryDir outside;
    QString home = outside.filePath("home");
    bool mounted =
        QDir().mkpath(home) &&
        QProcess::execute("mount", {"-t", "tmpfs", "-o", "size=512k", "tmpfs", home}) == 0;
    ~SmallDisk() {
        if (mounted) QProcess::execute("umount", {home});
    }
    /// Full but for `roomKb`: the gateway's lock file still fits, so that it starts.
    bool fill(int roomKb) {
        QFile filler(home + "/filler");
        if (!filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) return false;
        while (filler.write(QByteArray(4096, 'z')) == 4096) {
        }
        return filler.resize(filler.size() - roomKb * 1024);
    }
};

// With 8 KB left the store fails where it opens, with 64 KB in the middle of storing a message
// or of sending one: either way the message stays in the phone and the file in Send, Log.txt
// says so, and once there is room each goes once.
TEST(StoreService, AFullDiskKeepsMessagesInThePhoneAndFilesInSendUntilThereIsRoom) {
    for (const int roomKb : {8, 64}) {
        SCOPED_TRACE(roomKb);
        SmallDisk disk;
        if (!disk.mounted) GTEST_SKIP() << "cannot mount a tmpfs here (needs root)";
        const QString folders = disk.outside.path();
        SimulatedModem modem;
        ASSERT_TRUE(modem.start());
        ASSERT_TRUE(writeFile(
            disk.home + "/Telvane.ini",
            ("[Options]\r\nComPort=" + modem.linkPath() + "\r\nPacing=fast\r\n[Folders]\r\nSend=" +
             folders + "/Send\r\nReceive=" + folders + "/Receive\r\nLogs=" + folders + "/Logs\r\n")
                .toUtf8()));
        QDir().mkpath(folders + "/Send");
        const auto drop = [&](const QString& name, const QByteArray& text) {
            QFile file(folders + "/Send/" + name);
            ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(text) > 0);
            file.flush();
            file.setFileTime(QDateTime::currentDateTime().addSecs(-60),
                             QFileDevice::FileModificationTime);
        };
        const auto poll = [&] { return ServiceProcess(disk.home).run({"--once"}); };
        const auto held = [&] {
            return modem.list(ModemMemory::Sm).value_or(QList<StoredPdu>()).size();
        };
        const QString day =
            folders + "/Receive/" + QDate::currentDate().toString(u"yy-MM-dd") + ".txt";

        ASSERT_TRUE(modem.deliver(
            ModemMemory::Sm, "07912143658709F1040B912143658709F100006221501270032105C8329BFD06"));
        drop("a.txt", "79161234567\tfirst");
        ASSERT_EQ(poll(), 0);
        ASSERT_EQ(held(), 0);
        ASSERT_EQ(modem.sentPdus().size(), 1);

        ASSERT_TRUE(disk.fill(roomKb));
        ASSERT_TRUE(modem.deliver(ModemMemory::Sm,
                                  "07919730071111F1040B919761214365F70000423051"
                                  "011200210EC8329BFD0699E5EF36689A6C02"));
        drop("b.txt", "79161234567\tsecond");
        EXPECT_EQ(poll(), 0);
        EXPECT_EQ(held(), 1) << "a message left the phone that the store did not take";
        EXPECT_EQ(QDir(folders + "/Send").entryList(QDir::Files), QStringList({"b.txt"}));
        EXPECT_EQ(modem.sentPdus().size(), 1);
        const QStringList said = textLines(folders + "/Logs/Log.txt");
        EXPECT_FALSE(said.isEmpty());
        for (const QString& line : said)
            EXPECT_TRUE(line.contains("ранилище")) << line.toStdString();

        ASSERT_TRUE(QFile::remove(disk.home + "/filler"));
        EXPECT_EQ(poll(), 0);
        EXPECT_EQ(held(), 0);
        EXPECT_EQ(QDir(folders + "/Send").entryList(QDir::Files), QStringList());
        EXPECT_EQ(modem.sentPdus().size(), 2);
        EXPECT_EQ(textLines(day).size(), 2) << said.join(u'\n').toStdString();
    }
}

// The disk fills at a worse moment: while the network takes its time to confirm a message
// (everything but the Send folder on the small disk, the HTTP interface on), or between the
// store and the day file (only Receive on it). Once there is room, the message is sent once and
// recorded, with its status in Sent, and the received one is in the day file and the inbox once.
TEST(StoreService, ADiskThatFillsMidWayCostsNoRecord) {
    for (const bool late : {true, false}) {
        SCOPED_TRACE(late ? "while +CMGS is late" : "between the store and the day file");
        SmallDisk disk;
        if (!disk.mounted) GTEST_SKIP() << "cannot mount a tmpfs here (needs root)";
        const QString outside = disk.outside.path();
        const QString home = late ? disk.home : outside + "/elsewhere";
        const QString receive = late ? outside + "/Receive" : disk.home + "/Receive";
        QDir().mkpath(home);
        QDir().mkpath(outside + "/Send");
        SimulatedModem modem({{}, {}, late ? QStringList{"slow-cmgs=1500"} : QStringList(), {}});
        ASSERT_TRUE(modem.start());
        ASSERT_TRUE(writeFile(
            home + "/Telvane.ini",
            ("[Options]\r\nComPort=" + modem.linkPath() +
             "\r\nPacing=fast\r\n[Folders]\r\nSend=" + outside + "/Send\r\nReceive=" + receive +
             "\r\nSent=" + home + "/Sent\r\nFailed=" + home +
             "/Failed\r\n[Http]\r\nListen="
             "127.0.0.1:0\r\nToken=t\r\n")
                .toUtf8()));
        QFile file(outside + "/Send/b.txt");
        ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write("79161234567\tsecond") > 0);
        file.flush();
        file.setFileTime(QDateTime::currentDateTime().addSecs(-60),
                         QFileDevice::FileModificationTime);
        file.close();
        const QString pdu =
            "07919730071111F1040B919761214365F70000423051011200210EC8329BFD0699"
            "E5EF36689A6C02";
        if (late) {
            ServiceProcess service(home);
            service.start({"--once"});
            ASSERT_TRUE(modem.waitForSent(1)) << service.errors().toStdString();
            ASSERT_TRUE(disk.fill(8));
            ASSERT_TRUE(service.waitForExit(30000)) << service.errors().toStdString();
        } else {
            ASSERT_TRUE(modem.deliver(ModemMemory::Sm, pdu));
            ASSERT_TRUE(disk.fill(0));
            ASSERT_EQ(ServiceProcess(home).run({"--once"}), 0);
            EXPECT_EQ(modem.list(ModemMemory::Sm).value_or(QList<StoredPdu>()).size(), 1);
        }
        ASSERT_TRUE(QFile::remove(disk.home + "/filler"));
        ASSERT_EQ(ServiceProcess(home).run({"--once"}), 0);
        EXPECT_EQ(modem.sentPdus().size(), 1);
        EXPECT_EQ(QDir(outside + "/Send").entryList(QDir::Files), QStringList());
        EXPECT_TRUE(readFile(home + "/Sent/b.status").startsWith("state=sent\n"))
            << readFile(home + "/Sent/b.status").toStdString();
        if (late) continue;
        EXPECT_EQ(textLines(receive + "/" + QDate::currentDate().toString(u"yy-MM-dd") + ".txt"),
                  QStringList({"15.03.24 10:21:00\t+79161234567\tHello from SIM"}));
        const auto store = store::SqliteStore::open(home + "/telvane.db");
        EXPECT_EQ(store.value()->inbox(0, 10).value().messages.size(), 1);
        EXPECT_TRUE(modem.list(ModemMemory::Sm).value_or(QList<StoredPdu>({{}})).isEmpty());
    }
}

// The same poll with the store on a PostgreSQL server ([Store] Backend=postgresql): the message
// received is in the day file and the server's inbox, the file sent and recorded there.
TEST(StoreService, APollRecordsOnAPostgreSQLServerAsInItsOwnFile) {
    PostgresServer& server = PostgresServer::shared();
    ASSERT_TRUE(server.ok()) << server.error().toStdString();
    const QString url = server.newDatabase();
    Home home;
    SimulatedModem modem(
        {{}, {"07912143658709F1040B912143658709F100006221501270032105C8329BFD06"}, {}, {}});
    ASSERT_TRUE(modem.start());
    ASSERT_TRUE(
        home.useModem(modem, "[Store]\r\nBackend=postgresql\r\nUrl=" + url.toUtf8() + "\r\n"));
    QDir().mkpath(home.path("Send"));
    QFile file(home.path("Send/m.txt"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write("79161234567\tonce") > 0);
    file.flush();
    file.setFileTime(QDateTime::currentDateTime().addSecs(-60), QFileDevice::FileModificationTime);
    file.close();
    QString errors;
    ASSERT_EQ(home.runOnce(nullptr, &errors), 0) << errors.toStdString();
    EXPECT_EQ(textLines(home.dayFile()), QStringList({"05.12.26 21:07:30\t+12345678901\tHello"}));
    EXPECT_EQ(modem.sentPdus().size(), 1);
    EXPECT_FALSE(QFile::exists(home.path("telvane.db")));
    auto store = std::move(store::PostgresStore::open(url).value());
    EXPECT_EQ(store->inbox(0, 10).value().messages.size(), 1);
    EXPECT_EQ(store->outgoing("m").value()->state, store::OutgoingState::Sent);
}

}  // namespace
