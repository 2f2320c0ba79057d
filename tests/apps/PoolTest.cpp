// One gateway driving several simulated modems from one send folder and one store: every message
// goes exactly once, all parts of a long message through one modem, while one modem is unplugged
// mid-way and another refuses every submission; what they all receive is stored once, under one
// running number. Then routing: a modem kept to its prefixes takes only its numbers, and a
// message pinned to a modem waits while it is down and goes when it comes back.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <algorithm>
#include <deque>
#include <iostream>

#include "store/SqliteStore.h"
#include "support/Home.h"
#include "support/WaitUntil.h"

using namespace telvane;
using namespace telvane::test;
using store::OutgoingState;

namespace {

// Messages in the modems' memories: one in all four (a SIM moved between ports), one of each.
const char* const kInAll = "07912143658709F1040B912143658709F100006221501270032105C8329BFD06";
const char* const kOwn[] = {"07912143658709F1040B912143658709F100006221501270132105C8329BFD06",
                            "07912143658709F1040B912143658709F100006221501270232105C8329BFD06",
                            "07912143658709F1040B912143658709F100006221501270332105C8329BFD06",
                            "07912143658709F1040B912143658709F100006221501270432105C8329BFD06"};
const char* const kDuringRun =
    "07912143658709F1040B912143658709F100006221501270532105C8329BFD06";
const char* const kNames[] = {"main", "usb2", "usb3", "usb4"};

// The reference of a long message's part: the concatenation element (00, length 03) of its
// user data header.
QString longReference(const QByteArray& pdu) {
    const qsizetype at = pdu.indexOf("050003");
    return at < 0 ? QString() : QString::fromLatin1(pdu.mid(at + 6, 2));
}

QByteArray poolIni(const std::deque<SimulatedModem>& modems, const QByteArray& first,
                   const QList<QByteArray>& others) {
    QByteArray ini = "SendTimeout=2\r\n" + first + "[SMS]\r\nUnconfirmed=hold\r\n";
    for (std::size_t i = 1; i < modems.size(); ++i)
        ini += "[Modem " + QByteArray(kNames[i]) + "]\r\nComPort=" + modems[i].linkPath().toUtf8() +
               "\r\n" + others.value(qsizetype(i) - 1);
    return ini;
}

store::OutgoingMessage apiMessage(const QString& id, const QString& number, const QString& text) {
    store::OutgoingMessage m;
    m.id = id;
    m.origin = store::Origin::Api;
    m.number = number;
    m.text = text;
    m.created = QDateTime::currentDateTime();
    return m;
}

int unfinished(store::Store& store) {
    int left = 0;
    for (const store::OutgoingMessage& m : store.recent(1000).value())
        if (m.state == OutgoingState::Queued || m.state == OutgoingState::Sending ||
            m.state == OutgoingState::Submitted)
            ++left;
    return left;
}

/// The modem whose sent PDUs hold every part of `m` and how often each part went over all.
struct Went {
    int modems = 0;     ///< modems that sent any of its parts
    int mostTimes = 0;  ///< the most any part went
    int leastTimes = 0;
};

Went wentOut(const store::OutgoingMessage& m, const std::deque<SimulatedModem>& modems) {
    Went went{0, 0, 1 << 30};
    std::vector<QStringList> sent;
    for (const SimulatedModem& modem : modems) sent.push_back(modem.sentPdus());
    for (const QStringList& one : sent)
        if (std::any_of(m.parts.begin(), m.parts.end(), [&](const store::OutgoingPart& p) {
                return one.contains(QString::fromLatin1(p.pdu));
            }))
            ++went.modems;
    for (const store::OutgoingPart& p : m.parts) {
        int times = 0;
        for (const QStringList& one : sent) times += int(one.count(QString::fromLatin1(p.pdu)));
        went.mostTimes = std::max(went.mostTimes, times);
        went.leastTimes = std::min(went.leastTimes, times);
    }
    return went;
}

TEST(ModemPool, FourModemsSendEachMessageOnceThoughOneIsUnpluggedAndOneRefusesAll) {
    std::deque<SimulatedModem> modems;
    for (int i = 0; i < 4; ++i) {
        SimulatedModemOptions options{{}, {kInAll, kOwn[i]}, {}, {"--network-delay", "100"}};
        if (i == 2) options.faults << "cms-error";
        SimulatedModem& modem = modems.emplace_back(options);
        ASSERT_TRUE(modem.start()) << modem.errorString().toStdString();
    }
    Home home;
    ASSERT_TRUE(home.usePort(modems[0].linkPath(), poolIni(modems, {}, {}), "2"));
    // 20 files, 340 short messages and 40 of three parts through the interface's queue.
    QDir().mkpath(home.path("Send"));
    for (int i = 0; i < 20; ++i) {
        QFile file(home.path(QStringLiteral("Send/f%1.txt").arg(i, 2, 10, QLatin1Char('0'))));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_GT(file.write("79161234567\tfile " + QByteArray::number(i)), 0);
        file.close();
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        file.setFileTime(QDateTime::currentDateTime().addSecs(-60),
                         QFileDevice::FileModificationTime);
    }
    auto store = std::move(store::SqliteStore::open(home.path("telvane.db")).value());
    for (int i = 0; i < 380; ++i) {
        const QString text = i < 340 ? QStringLiteral("message %1").arg(i)
                                     : QStringLiteral("long %1 ").arg(i) + QString(400, u'a');
        ASSERT_TRUE(store->addOutgoing(
            apiMessage(QStringLiteral("api-%1").arg(i), QStringLiteral("+79031234567"), text)));
    }

    ServiceProcess service(home.dir.path());
    service.start();
    ASSERT_TRUE(modems[3].waitForSent(10, std::chrono::seconds(60)));
    ASSERT_TRUE(modems[3].unplug());
    // Delivered during the run to two modems at once: stored once.
    for (int i : {0, 1}) ASSERT_TRUE(modems[i].deliver(ModemMemory::Sm, kDuringRun));
    // The message delivered during the run is read at the modems' next look, which may come
    // after the last file has gone.
    const auto done = [&] {
        return unfinished(*store) == 0 && QDir(home.path("Send")).isEmpty() &&
               store->inbox(0, 20).value().messages.size() >= 6;
    };
    EXPECT_TRUE(waitUntil(done, 240000)) << unfinished(*store) << " left";
    service.terminate();
    ASSERT_TRUE(service.waitForExit());

    const QList<store::OutgoingMessage> all = store->recent(1000).value();
    ASSERT_EQ(all.size(), 400);
    // Long messages take their references from one sequence whichever modem sends them.
    QStringList references;
    for (const store::OutgoingMessage& m : all)
        if (m.parts.size() == 3) references << longReference(m.parts[0].pdu);
    EXPECT_EQ(references.size(), 40);
    references.removeDuplicates();
    EXPECT_EQ(references.size(), 40) << "two long messages under one reference";
    for (const store::OutgoingMessage& m : all) {
        const Went went = wentOut(m, modems);
        if (m.state == OutgoingState::Unconfirmed) {
            // On the line of the modem that was unplugged: held, named, never sent twice.
            std::cout << "unconfirmed, held: " << m.id.toStdString() << "\n";
            EXPECT_LE(went.mostTimes, 1) << m.id.toStdString();
            continue;
        }
        ASSERT_EQ(m.state, OutgoingState::Sent) << m.id.toStdString();
        EXPECT_EQ(went.mostTimes, 1) << m.id.toStdString();
        EXPECT_EQ(went.leastTimes, 1) << m.id.toStdString();
        EXPECT_EQ(went.modems, 1) << m.id.toStdString() << ": parts through several modems";
    }
    EXPECT_TRUE(modems[2].sentPdus().isEmpty());
    EXPECT_FALSE(modems[0].sentPdus().isEmpty());
    EXPECT_FALSE(modems[1].sentPdus().isEmpty());
    EXPECT_TRUE(home.log(true).join(u'\n').contains(u"Модем usb3 не берёт сообщения до") ||
                home.log().join(u'\n').contains(u"Модем usb3 не берёт сообщения до"))
        << home.log().join(u'\n').toStdString();

    // Six messages, those several modems listed stored once, each under a number of its own.
    const auto inbox = store->inbox(0, 20).value().messages;
    ASSERT_EQ(inbox.size(), 6);
    QStringList numbers;
    for (const store::IncomingMessage& m : inbox) {
        numbers << m.number;
        EXPECT_FALSE(m.modem.isEmpty()) << "stored without the modem it came through";
    }
    numbers.removeDuplicates();
    EXPECT_EQ(numbers.size(), 6) << numbers.join(u',').toStdString();
    EXPECT_EQ(home.read("Receive/" + QFileInfo(home.dayFile()).fileName()).count('\n'), 6);
}

TEST(ModemPool, PrefixesAndPinsRouteMessages) {
    std::deque<SimulatedModem> modems;
    for (int i = 0; i < 2; ++i) {
        SimulatedModem& modem = modems.emplace_back();
        ASSERT_TRUE(modem.start()) << modem.errorString().toStdString();
    }
    Home home;
    ASSERT_TRUE(home.usePort(modems[0].linkPath(),
                             poolIni(modems, "Prefixes=+7916\r\nOnly=1\r\n", {}), "2"));
    auto store = std::move(store::SqliteStore::open(home.path("telvane.db")).value());
    for (int i = 0; i < 6; ++i) {
        ASSERT_TRUE(store->addOutgoing(apiMessage(QStringLiteral("mts-%1").arg(i),
                                                  QStringLiteral("+7916123450%1").arg(i),
                                                  QStringLiteral("for main %1").arg(i))));
        ASSERT_TRUE(store->addOutgoing(apiMessage(QStringLiteral("other-%1").arg(i),
                                                  QStringLiteral("+7903123450%1").arg(i),
                                                  QStringLiteral("for usb2 %1").arg(i))));
    }
    store::OutgoingMessage pinned =
        apiMessage("pinned", "+79161234599", QStringLiteral("only through usb2"));
    pinned.pinned = "usb2";
    ASSERT_TRUE(store->addOutgoing(pinned));
    // A file dropped into usb2's own folder: its number is main's, its modem usb2.
    QDir().mkpath(home.path("Send/usb2"));
    ASSERT_TRUE(writeFile(home.path("Send/usb2/own.txt"), "79161234598\tfrom usb2's folder"));
    ASSERT_TRUE(modems[1].unplug());

    ServiceProcess service(home.dir.path());
    service.start();
    ASSERT_TRUE(modems[0].waitForSent(6, std::chrono::seconds(60)));
    // Nobody else takes what waits for usb2 while it is gone. The file counts once it has
    // settled, and main's last message once confirmed: only then is the count steady.
    const auto waitingForUsb2 = [&] {
        return store->recent(100).value().size() == 14 && unfinished(*store) == 8;
    };
    EXPECT_TRUE(waitUntil(waitingForUsb2, 20000)) << unfinished(*store);
    ASSERT_TRUE(modems[1].plug());
    EXPECT_TRUE(waitUntil([&] { return unfinished(*store) == 0; }, 60000));
    service.terminate();
    ASSERT_TRUE(service.waitForExit());

    EXPECT_FALSE(QFile::exists(home.path("Send/usb2/own.txt")));
    const QList<store::OutgoingMessage> all = store->recent(100).value();
    ASSERT_EQ(all.size(), 14);
    for (const store::OutgoingMessage& m : all) {
        ASSERT_EQ(m.state, OutgoingState::Sent) << m.id.toStdString();
        const QString pdu = QString::fromLatin1(m.parts.at(0).pdu);
        const bool throughMain = m.id.startsWith(u"mts-");
        EXPECT_EQ(modems[0].sentPdus().count(pdu), throughMain ? 1 : 0) << m.id.toStdString();
        EXPECT_EQ(modems[1].sentPdus().count(pdu), throughMain ? 0 : 1) << m.id.toStdString();
        EXPECT_EQ(m.modem, throughMain ? "main" : "usb2");
    }
}

}  // namespace
