// The headless service against the simulated modem: one poll with --once and its exit codes,
// the single instance and a lock a full disk cannot take, a modem that vanishes and comes back
// while in service or vanishes mid-poll, SIGTERM, and what is done at once between polls.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <QProcess>
#include <functional>

#include "codec/PduDecoder.h"
#include "support/Home.h"

using namespace telvane;
using namespace telvane::test;

namespace {

// The modem waits for a PDU that a killed gateway never typed: the next one ends that first.
TEST(Telvaned, OncePollsTheSimulatedModemAndSaysWhatItDid) {
    SimulatedModem modem;
    ASSERT_TRUE(modem.start()) << modem.errorString().toStdString();
    const int line = ::open(modem.linkPath().toLocal8Bit().constData(), O_WRONLY | O_NOCTTY);
    ASSERT_GE(line, 0);
    EXPECT_EQ(::write(line, "AT+CMGS=20\r", 11), 11);
    ::close(line);
    Home home;
    home.useModem(modem, "Log=1\r\n");
    QStringList statuses;
    EXPECT_EQ(home.runOnce(&statuses), 0);
    EXPECT_EQ(statuses.join(u'\n').replace(modem.linkPath(), "PORT"),
              dataLines("apps/once-idle.statuses").join(u'\n'));
    EXPECT_TRUE(QFile::exists(home.path("Logs/PortLog.txt")))
        << "Log=1 makes the Logs folder of a fresh home";
}

TEST(Telvaned, OnceExitCodesTellWhyThePollDidNotRun) {
    const struct {
        QStringList faults;  // empty: no modem at all
        int exitCode;
        QString lastStatus, message;
    } cases[] = {
        {{}, 1, "Порт не открыт", "Порт не открыт. Проверьте"},
        {{"silent"}, 2, "Нет связи с телефоном", "Телефон не отвечает на запрос."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.exitCode);
        SimulatedModem modem({{}, {}, c.faults, {}});
        Home home;
        if (!c.faults.isEmpty()) {
            ASSERT_TRUE(modem.start());
        }
        ASSERT_TRUE(home.usePort(modem.linkPath(), {}, "10"));
        QStringList statuses;
        QString errors;
        EXPECT_EQ(home.runOnce(&statuses, &errors), c.exitCode);
        EXPECT_EQ(statuses.value(statuses.size() - 1), c.lastStatus);
        EXPECT_TRUE(errors.contains(c.message)) << errors.toStdString();
    }
}

TEST(Telvaned, ASecondInstanceIsRefusedAndAnUnwritableLockIsNoSecondInstance) {
    Home home;
    ASSERT_TRUE(home.usePort(home.path("no-modem"), {}, "1"));
    ServiceProcess first(home.dir.path());
    first.start();
    ASSERT_GE(first.waitForStatus("Порт не открыт"), 0);
    ServiceProcess second(home.dir.path());
    EXPECT_EQ(second.run({"--once"}), 3);
    EXPECT_EQ(second.errors(),
              QString("Предупреждение: Программа 'Telvane' уже запущена! Процесс %1 работает с той "
                      "же папкой; остановите его командой 'systemctl stop telvane' (служба) или "
                      "'kill %1'.\n")
                  .arg(first.pid()));
    first.terminate();
    EXPECT_TRUE(first.waitForExit());

    // A full disk: the lock cannot be written, which says nothing about another gateway.
    QTemporaryDir mountPoint;
    if (::geteuid() != 0 || QProcess::execute("mount", {"-t", "tmpfs", "-o", "size=16k", "tmpfs",
                                                        mountPoint.path()}) != 0)
        GTEST_SKIP() << "needs a tmpfs mount";
    QFile filler(mountPoint.filePath("filler"));
    EXPECT_TRUE(filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
    while (filler.write(QByteArray(512, 'x')) == 512) {
    }
    ServiceProcess full(mountPoint.path());
    EXPECT_EQ(full.run({"--once"}), 73);
    EXPECT_EQ(full.errors(),
              QString("Не удалось записать файл блокировки %1/telvane.lock: на диске нет места.\n")
                  .arg(mountPoint.path()));
    filler.close();
    QProcess::execute("umount", {mountPoint.path()});
}

// The modem vanishes in service and comes back; or it is plugged in only after a failed start.
TEST(Telvaned, InServiceTheModemIsFoundAgainWithoutUserAction) {
    for (const bool startsLate : {false, true}) {
        SCOPED_TRACE(startsLate);
        SimulatedModem modem;
        if (!startsLate) {
            ASSERT_TRUE(modem.start());
        }
        Home home;
        ASSERT_TRUE(home.usePort(modem.linkPath(), {}, "1"));
        ServiceProcess service(home.dir.path());
        service.start();
        if (startsLate) {
            const int failed = service.waitForStatus("Порт не открыт");
            ASSERT_GE(failed, 0);
            ASSERT_TRUE(modem.start()) << modem.errorString().toStdString();
            EXPECT_GE(service.waitForStatus("Связь с телефоном установлена", failed + 1), 0);
        } else {
            const int waiting = service.waitForStatus("Пауза перед опросом телефона");
            ASSERT_GE(waiting, 0) << service.errors().toStdString();
            ASSERT_TRUE(modem.unplug());
            const int lost = service.waitForStatus("Нет связи с телефоном", waiting + 1);
            ASSERT_GE(lost, 0);
            ASSERT_TRUE(modem.plug());
            EXPECT_GE(service.waitForStatus("Пауза перед опросом телефона", lost + 1), 0);
        }
        service.terminate();
        ASSERT_TRUE(service.waitForExit());
        EXPECT_EQ(service.exitCode(), 0);
    }
}

// A message waits for its confirmation when the modem vanishes: the poll ends there, not a
// time-out per file later, and the files wait without a "not sent" line. Or the service is
// stopped then: the confirmation on its way is still taken, so that the message never goes
// twice, and the service ends within seconds.
TEST(Telvaned, AModemThatVanishesOrAStopMidPollEndsThePollAtOnce) {
    // Unplugged with a PDU on the wire: nobody knows whether it went, and [SMS] Unconfirmed
    // (resend by default) decides.
    const struct {
        const char* confirmedAfter;
        bool unplugged;
        QStringList left, log;
    } cases[] = {
        {"slow-cmgs=60000",
         true,
         {"1.txt", "2.txt", "3.txt"},
         {"Отправка сообщения не подтверждена: 1\t1.txt\tбудет отправлено снова"}},
        {"slow-cmgs=3000", false, {"2.txt", "3.txt"}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.confirmedAfter);
        SimulatedModem modem({{}, {}, {c.confirmedAfter}, {}});
        ASSERT_TRUE(modem.start()) << modem.errorString().toStdString();
        Home home;
        ASSERT_TRUE(home.usePort(modem.linkPath(), {}, "1") && QDir().mkpath(home.path("Send")));
        for (const char* name : {"1.txt", "2.txt", "3.txt"}) {
            QFile file(home.path(QStringLiteral("Send/") + name));
            ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write("79161234567\twaits") > 0);
            file.flush();
            file.setFileTime(QDateTime::currentDateTime().addSecs(-60),
                             QFileDevice::FileModificationTime);
        }
        ServiceProcess service(home.dir.path());
        service.start();
        // Until the first PDU is on the wire.
        for (QDeadlineTimer deadline(30000); modem.sentPdus().isEmpty() && !deadline.hasExpired();)
            service.waitForStatus(QStringLiteral("-"), 0, 50);
        ASSERT_EQ(modem.sentPdus().size(), 1) << service.errors().toStdString();
        if (c.unplugged) {
            const int sending = int(service.statuses().size());
            ASSERT_TRUE(modem.unplug());
            EXPECT_GE(service.waitForStatus("Нет связи с телефоном", sending, 5000), 0);
        }
        service.terminate();
        EXPECT_TRUE(service.waitForExit(10000));
        EXPECT_EQ(QDir(home.path("Send")).entryList({"*.txt"}, QDir::Files), c.left);
        EXPECT_EQ(home.log(), c.log);
    }
}

// Between polls (the next is ten minutes away): a file its writer finished goes at once, one
// still held open by its writer waits, and a message the modem announces is read at once.
TEST(Telvaned, BetweenPollsFinishedFilesGoAndAnnouncedMessagesAreRead) {
    const QList<StoredPdu> kOne{{}};
    for (const auto& [name, pacing] :
         {std::pair("standard", Pacing::Standard), {"fast", Pacing::Fast}}) {
        SCOPED_TRACE(name);
        SimulatedModem modem;
        ASSERT_TRUE(modem.start()) << modem.errorString().toStdString();
        Home home;
        ASSERT_TRUE(home.usePort(modem.linkPath(), {}, "600", pacing));
        ASSERT_TRUE(QDir().mkpath(home.path("Send")));
        ServiceProcess service(home.dir.path());
        service.start();
        ASSERT_GE(service.waitForStatus("Пауза перед опросом телефона"), 0)
            << service.errors().toStdString();
        const auto until = [&service](const std::function<bool()>& done) {
            for (QDeadlineTimer deadline(20000); !done() && !deadline.hasExpired();)
                service.waitForStatus(QStringLiteral("-"), 0, 50);
            return done();
        };

        QFile held(home.path("Send/1-held.txt"));
        ASSERT_TRUE(held.open(QIODevice::WriteOnly) && held.write("79161234567\thalf") > 0);
        ASSERT_TRUE(held.flush());
        QFile renamed(home.path("2-renamed.tmp"));
        ASSERT_TRUE(renamed.open(QIODevice::WriteOnly) && renamed.write("79161234568\twhole") > 0);
        renamed.close();
        ASSERT_TRUE(QFile::rename(renamed.fileName(), home.path("Send/2-renamed.txt")));
        ASSERT_TRUE(until([&] { return !QFile::exists(home.path("Send/2-renamed.txt")); }));
        ASSERT_EQ(modem.sentPdus().size(), 1);
        EXPECT_TRUE(QFile::exists(held.fileName()));

        ASSERT_TRUE(held.write(" and the rest") > 0);
        held.close();
        ASSERT_TRUE(until([&] { return !QFile::exists(held.fileName()); }));
        const auto decoded = codec::decodePduHex(modem.sentPdus().value(1).toStdString());
        ASSERT_TRUE(std::holds_alternative<codec::DecodedPdu>(decoded));
        EXPECT_EQ(std::get<codec::DecodedPdu>(decoded).text, U"half and the rest");

        ASSERT_TRUE(modem.deliver(
            ModemMemory::Me, "07912143658709F1040B912143658709F100006221501270032105C8329BFD06"));
        // Stored first, then deleted from the modem.
        ASSERT_TRUE(until([&] { return modem.list(ModemMemory::Me).value_or(kOne).isEmpty(); }));
        EXPECT_TRUE(textLines(home.dayFile()).value(0).contains("Hello"));
        service.terminate();
        EXPECT_TRUE(service.waitForExit());
    }
}

}  // namespace
