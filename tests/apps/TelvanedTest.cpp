// The headless service against the simulated modem: one poll with --once and its exit codes,
// the single instance, a modem that vanishes and comes back while in service, and SIGTERM.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include "ServiceProcess.h"
#include "SimulatedModem.h"

using telvane::test::ServiceProcess;
using telvane::test::SimulatedModem;
using telvane::test::SimulatedModemOptions;

namespace {

void writeIni(const QString& home, const QByteArray& body) {
    QFile ini(home + QStringLiteral("/Telvane.ini"));
    ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
    ini.write(body);
}

QByteArray portSettings(const QString& port, const char* period = "10") {
    return "[Options]\r\nComPort=" + port.toUtf8() + "\r\nPeriod=" + period + "\r\n";
}

TEST(Telvaned, OncePollsTheSimulatedModemAndSaysWhatItDid) {
    SimulatedModem modem;
    ASSERT_TRUE(modem.start()) << modem.errorString().toStdString();
    QTemporaryDir home;
    writeIni(home.path(), portSettings(modem.linkPath()) + "Log=1\r\n");
    ServiceProcess service(home.path());
    EXPECT_EQ(service.run({QStringLiteral("--once")}), 0) << service.errors().toStdString();
    // Each status once: the engine sets some texts twice in a row.
    EXPECT_EQ(
        service.statusLines(),
        QStringList(
            {QStringLiteral("Telvane"), QStringLiteral("Устанавливается соединение с телефоном."),
             QStringLiteral("Открыть порт: ") + modem.linkPath() + QStringLiteral("; 9600; n,8,1"),
             QStringLiteral("Связь с телефоном установлена"),
             QStringLiteral("Чтение сообщений из телефона"),
             QStringLiteral("Загрузка сообщений из телефона"),
             QStringLiteral("Принято сообщений: 0"), QStringLiteral("Поиск файлов для отправки"),
             QStringLiteral("Нет сообщений на отправку")})
            .join(u'\n')
            .toStdString());
    EXPECT_TRUE(QFile::exists(home.filePath(QStringLiteral("Logs/PortLog.txt"))))
        << "Log=1 makes the Logs folder of a fresh home";
}

TEST(Telvaned, OnceExitCodesTellWhyThePollDidNotRun) {
    struct Case {
        bool withModem;
        QStringList faults;
        int exitCode;
        QString lastStatus;
        QString message;
    };
    const Case cases[] = {
        {false,
         {},
         1,
         QStringLiteral("Порт не открыт"),
         QStringLiteral("Порт не открыт. Проверьте")},
        {true,
         {QStringLiteral("silent")},
         2,
         QStringLiteral("Нет связи с телефоном"),
         QStringLiteral("Телефон не отвечает на запрос.")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.exitCode);
        SimulatedModemOptions options;
        options.faults = c.faults;
        SimulatedModem modem(options);
        QTemporaryDir home;
        if (c.withModem) {
            ASSERT_TRUE(modem.start());
        }
        writeIni(home.path(),
                 portSettings(c.withModem ? modem.linkPath()
                                          : home.filePath(QStringLiteral("no-modem"))));
        ServiceProcess service(home.path());
        EXPECT_EQ(service.run({QStringLiteral("--once")}), c.exitCode);
        ASSERT_FALSE(service.statuses().isEmpty());
        EXPECT_EQ(service.statuses().last(), c.lastStatus);
        EXPECT_TRUE(service.errors().contains(c.message)) << service.errors().toStdString();
    }
}

TEST(Telvaned, ASecondInstanceIsRefusedAndAnUnwritableLockIsNoSecondInstance) {
    QTemporaryDir home;
    writeIni(home.path(), portSettings(home.filePath(QStringLiteral("no-modem")), "1"));
    ServiceProcess first(home.path());
    first.start();
    ASSERT_GE(first.waitForStatus(QStringLiteral("Порт не открыт")), 0);
    ServiceProcess second(home.path());
    EXPECT_EQ(second.run({QStringLiteral("--once")}), 3);
    EXPECT_EQ(second.errors(),
              QStringLiteral("Предупреждение: Программа 'Telvane' уже запущена! Процесс %1 "
                             "работает с той же папкой; остановите его командой 'systemctl stop "
                             "telvane' (служба) или 'kill %1'.\n")
                  .arg(first.pid()));
    first.terminate();
    EXPECT_TRUE(first.waitForExit());

    // A full disk: the lock cannot be written, which says nothing about another gateway.
    QTemporaryDir mountPoint;
    if (::geteuid() != 0 ||
        QProcess::execute(QStringLiteral("mount"),
                          {"-t", "tmpfs", "-o", "size=16k", "tmpfs", mountPoint.path()}) != 0)
        GTEST_SKIP() << "needs a tmpfs mount";
    QFile filler(mountPoint.filePath(QStringLiteral("filler")));
    EXPECT_TRUE(filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
    while (filler.write(QByteArray(512, 'x')) == 512) {
    }
    ServiceProcess full(mountPoint.path());
    EXPECT_EQ(full.run({QStringLiteral("--once")}), 73);
    EXPECT_EQ(full.errors(), QStringLiteral("Не удалось записать файл блокировки %1/telvane.lock: "
                                            "на диске нет места.\n")
                                 .arg(mountPoint.path()));
    filler.close();
    QProcess::execute(QStringLiteral("umount"), {mountPoint.path()});
}

TEST(Telvaned, InServiceALostModemIsFoundAgainWithoutUserAction) {
    SimulatedModem modem;
    ASSERT_TRUE(modem.start());
    QTemporaryDir home;
    writeIni(home.path(), portSettings(modem.linkPath(), "2"));
    ServiceProcess service(home.path());
    service.start();
    const int waiting = service.waitForStatus(QStringLiteral("Пауза перед опросом телефона"));
    ASSERT_GE(waiting, 0) << service.errors().toStdString();

    ASSERT_TRUE(modem.unplug());
    const int lost = service.waitForStatus(QStringLiteral("Нет связи с телефоном"), waiting + 1);
    ASSERT_GE(lost, 0);
    ASSERT_TRUE(modem.plug());
    EXPECT_GE(service.waitForStatus(QStringLiteral("Пауза перед опросом телефона"), lost + 1), 0);

    service.terminate();
    ASSERT_TRUE(service.waitForExit());
    EXPECT_EQ(service.exitCode(), 0);
}

TEST(Telvaned, AFailedStartIsRetriedOncePerPollPeriod) {
    SimulatedModem modem;  // not started yet: the port does not exist
    QTemporaryDir home;
    writeIni(home.path(), portSettings(modem.linkPath(), "1"));
    ServiceProcess service(home.path());
    service.start();
    const int failed = service.waitForStatus(QStringLiteral("Порт не открыт"));
    ASSERT_GE(failed, 0);
    // The modem is plugged in after the service came up.
    ASSERT_TRUE(modem.start()) << modem.errorString().toStdString();
    EXPECT_GE(service.waitForStatus(QStringLiteral("Связь с телефоном установлена"), failed + 1), 0)
        << service.errors().toStdString();
    service.terminate();
    EXPECT_TRUE(service.waitForExit());
}

}  // namespace
