// A home left by the version before the store (tests/data/store/old-home, made by that version's
// telvaned: see make-old-home.py there), upgraded by one poll of today's: nothing sent twice,
// nothing stored twice, nothing waiting dropped.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include "store/SqliteStore.h"
#include "support/Home.h"

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

TEST(Upgrade, AnOlderHomeSendsNothingTwiceStoresNothingTwiceAndDropsNothing) {
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
                              "Pacing=fast\r\n[Folders]\r\nSent=Sent\r\n[SMS]\r\nReport=1\r\n"
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
    EXPECT_EQ(textLines(home.dayFile()).size(), 2 + 2);  // the old two, the new one, the report
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

}  // namespace
