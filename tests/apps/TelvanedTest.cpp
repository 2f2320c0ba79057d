// The headless service against the simulated modem: one poll with --once and its exit codes,
// the single instance and a lock a full disk cannot take, a modem that vanishes and comes back
// while in service, and SIGTERM.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QProcess>

#include "support/Home.h"

using namespace telvane::test;

namespace {

TEST(Telvaned, OncePollsTheSimulatedModemAndSaysWhatItDid) {
    SimulatedModem modem;
    ASSERT_TRUE(modem.start()) << modem.errorString().toStdString();
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
        ASSERT_TRUE(home.usePort(modem.linkPath(), {}, "2"));
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

}  // namespace
