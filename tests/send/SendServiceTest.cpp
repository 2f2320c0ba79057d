// telvaned --once against the simulated modem: what the modem accepted decodes back to the
// files, failures keep their file and say so in "Log.txt", and no message goes out twice
// when its file cannot be deleted, its sending cannot be journalled, or the service is killed
// before it could delete it.
#include <gtest/gtest.h>

#include <QProcess>
#include <QSet>
#include <QStandardPaths>
#include <deque>

#include "SendTestSupport.h"
#include "ServiceProcess.h"
#include "SimulatedModem.h"

using namespace telvane;
using namespace telvane::test;

namespace {

struct Home : HomeFolder {
    explicit Home(const QString& port) {
        QFile ini(dir.filePath("Telvane.ini"));
        ini.open(QIODevice::WriteOnly);
        ini.write("[Options]\r\nComPort=" + port.toUtf8() + "\r\n");
    }
    int runOnce() const {
        ServiceProcess service(dir.path());
        const int code = service.run({"--once"}, 120000);
        if (code != 0) ADD_FAILURE() << service.errors().toStdString();
        return code;
    }
};

// One folder for everything a working phone shows: single and long messages, a file without
// separator ahead of them all, and a file its writer has not finished.
TEST(SendService, FilesArriveAsTheirNumberAndTextOnceTheyAreComplete) {
    SimulatedModem modem;
    ASSERT_TRUE(modem.start()) << modem.errorString().toStdString();
    Home home(modem.linkPath());
    home.putAll("send/service");
    QProcess writer;  // a slow writer: one character at a time until it is stopped
    writer.start(
        "sh",
        {"-c", "printf '79161234567\\t' >\"$0\"; while :; do printf x >>\"$0\"; sleep 0.1; done",
         home.send("4-being-written.txt")});
    const int code = home.runOnce();
    writer.kill();
    writer.waitForFinished();
    ASSERT_EQ(code, 0);

    QStringList described;  // every PDU the modem took, as the recipient reads it
    for (const QString& hex : modem.sentPdus()) described << describe(hex.toLatin1());
    EXPECT_EQ(described, dataLines("send/service.expected"));
    EXPECT_EQ(home.sendFolder(), QStringList({"0-no-separator.txt", "4-being-written.txt"}));
    const QStringList log = {"Ошибка чтения файла сообщения: 0-no-separator.txt\tнет разделителя"};
    EXPECT_EQ(home.log(), log);

    // Finished and a minute old, the file goes whole at the next run.
    QFile finished(home.send("4-being-written.txt"));
    ASSERT_TRUE(finished.open(QIODevice::ReadOnly));
    const QByteArray whole = finished.readAll();
    home.put("4-being-written.txt", whole);
    ASSERT_EQ(home.runOnce(), 0);
    QString text;
    for (const QString& hex : modem.sentPdus().mid(described.size()))
        text += describe(hex.toLatin1()).section(u'\t', 3);
    EXPECT_EQ("79161234567\t" + text, whole);
    EXPECT_EQ(home.sendFolder(), QStringList({"0-no-separator.txt"}));
    EXPECT_EQ(home.log(), log);
}

// A modem with a fault, the home folder it serves and the service run on it.
struct FaultRun {
    explicit FaultRun(const char* fault)
        : fault(fault),
          modem({{}, {}, {fault}, {"--host-log", scratch.filePath("host.bin")}}),
          home(modem.linkPath()),
          service(home.dir.path()) {}
    const char* fault;
    QTemporaryDir scratch;
    SimulatedModem modem;
    Home home;
    ServiceProcess service;
};

// The four runs go side by side: each mostly waits for the phone.
TEST(SendService, APhoneThatRefusesKeepsTheFileLogsItAndCancelsTextEntryAfterNoPrompt) {
    std::deque<FaultRun> runs;
    for (const char* fault : {"error-prompt", "no-prompt", "error-pdu", "cms-error"}) {
        FaultRun& run = runs.emplace_back(fault);
        ASSERT_TRUE(run.modem.start()) << fault;
        run.home.put("m.txt", "79161234567\tHello");
        run.service.start({"--once"});
    }
    for (FaultRun& run : runs) {
        SCOPED_TRACE(run.fault);
        ASSERT_TRUE(run.service.waitForExit(120000));
        EXPECT_EQ(run.service.exitCode(), 0) << run.service.errors().toStdString();
        EXPECT_TRUE(run.home.has("m.txt"));
        EXPECT_EQ(run.home.log(), QStringList({"Ошибка отправки сообщения: 79161234567\tHello"}));
        EXPECT_TRUE(run.modem.sentPdus().isEmpty());
        QFile host(run.scratch.filePath("host.bin"));
        ASSERT_TRUE(host.open(QIODevice::ReadOnly));
        const QByteArray written = host.readAll();
        const qsizetype command = written.indexOf("at+cmgs=");
        ASSERT_GE(command, 0);
        EXPECT_EQ(written.indexOf('\x1b', command) >= 0, QByteArray(run.fault).endsWith("prompt"))
            << written.toStdString();
    }
}

// Files the service may not change, run after run: what the modem took (and under how many
// long-message references), what stays in the send folder, what Log.txt says (%1 is the home).
struct LockedHome {
    const char* name;
    QStringList immutable;  ///< relative to the home, chattr +i after the files are put
    int longFiles;          ///< l1.txt ... each a two-part message, besides m.txt
    bool linkOutside;       ///< Send/secret.txt is a link to a private file outside the home
    int runs, sent, references;
    QStringList left, log;
};

const QString kNotDeleted = "Ошибка удаления отправленного файла: m.txt";
const QString kHeld = "Отправка остановлена: журнал отправки не записывается: %1/SendJournal.txt";
const QString kLongId = "Ошибка записи в файл настроек: LongID=2";  // the messages go on 3, 4
const QString kLink =
    "Ошибка чтения файла сообщения: secret.txt\tне обычный файл (ссылка не читается)";
const LockedHome kLockedHomes[] = {
    {"undeletable send folder", {"Send"}, 0, false, 2, 1, 0, {"m.txt"}, {kNotDeleted}},
    {"home and send folder unwritable", {"", "Send"}, 0, false, 2, 0, 0, {"m.txt"}, {kHeld, kHeld}},
    {"Telvane.ini unwritable", {"Telvane.ini"}, 3, false, 1, 7, 3, {}, {kLongId}},
    {"link to a private file outside", {}, 0, true, 1, 1, 0, {"secret.txt"}, {kLink}},
};

// One row's modem and home, its files put and locked; unlocked again at the end.
struct LockedRun {
    explicit LockedRun(const LockedHome& row) : row(row), home(startedLink(modem)) {
        home.put("m.txt", "79161234567\tonly once");
        for (int i = 1; i <= row.longFiles; ++i)
            home.put(QStringLiteral("l%1.txt").arg(i), "79161234567\t" + QByteArray(200, 'a' + i));
        if (row.linkOutside) {
            QFile secret(outside.filePath("secret"));
            secret.open(QIODevice::WriteOnly);
            secret.write("79161234567\tsecret");
            secret.flush();
            secret.setFileTime(QDateTime::currentDateTime().addSecs(-60),
                               QFileDevice::FileModificationTime);
            secret.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
            QFile::link(secret.fileName(), home.send("secret.txt"));
        }
        for (const QString& path : row.immutable)
            if (QProcess::execute("chattr", {"+i", home.dir.filePath(path)}) == 0)
                locked << home.dir.filePath(path);
    }
    ~LockedRun() {
        for (const QString& path : locked) QProcess::execute("chattr", {"-i", path});
    }
    static QString startedLink(SimulatedModem& modem) {
        modem.start();
        return modem.linkPath();
    }
    const LockedHome& row;
    SimulatedModem modem;
    Home home;
    QTemporaryDir outside;
    QStringList locked;
};

// The rows go side by side, run after run: each mostly waits for the phone.
TEST(SendService, WhatTheServiceMayNotChangeNeverCostsOrRepeatsAMessage) {
    std::deque<LockedRun> homes;
    for (const LockedHome& row : kLockedHomes) {
        LockedRun& home = homes.emplace_back(row);
        ASSERT_TRUE(home.modem.isRunning()) << row.name;
        if (home.locked.size() != row.immutable.size()) GTEST_SKIP() << "chattr +i unsupported";
    }
    for (int run = 0; run < 2; ++run) {
        std::deque<ServiceProcess> services;
        for (LockedRun& home : homes)
            if (run < home.row.runs) services.emplace_back(home.home.dir.path()).start({"--once"});
        for (ServiceProcess& service : services) {
            ASSERT_TRUE(service.waitForExit(120000));
            EXPECT_EQ(service.exitCode(), 0) << service.errors().toStdString();
        }
    }
    for (const LockedRun& home : homes) {
        SCOPED_TRACE(home.row.name);
        QSet<QString> references;
        for (const QString& pdu : home.modem.sentPdus())
            if (const QString part = describe(pdu.toLatin1()).section(u'\t', 2, 2); part != "-")
                references << part.section(u'#', 1);
        EXPECT_EQ(home.modem.sentPdus().size(), home.row.sent);
        EXPECT_EQ(references.size(), home.row.references);
        EXPECT_EQ(home.home.sendFolder(), home.row.left);
        QStringList log = home.row.log;
        for (QString& line : log) line.replace("%1", home.home.dir.path());
        EXPECT_EQ(home.home.log(), log);
    }
}

TEST(SendService, AKillBetweenConfirmationAndDeletionDoesNotSendAgain) {
    const QString strace = QStandardPaths::findExecutable("strace");
    if (strace.isEmpty()) GTEST_SKIP() << "strace is not installed";
    SimulatedModem modem;
    ASSERT_TRUE(modem.start());
    Home home(modem.linkPath());
    home.put("m.txt", "79161234567\tonly once");
    // SIGKILL at the very call that would delete the file, and that call never runs.
    QProcess traced;
    traced.start(strace,
                 {"-f", "-qq", "-o", "/dev/null", "-P", home.send("m.txt"), "-e",
                  "trace=unlink,unlinkat", "-e", "inject=unlink,unlinkat:error=EIO:signal=KILL",
                  QStringLiteral(TELVANED_BINARY), "--home", home.dir.path(), "--once"});
    ASSERT_TRUE(traced.waitForFinished(120000));
    if (traced.exitCode() == 1 && modem.sentPdus().isEmpty())
        GTEST_SKIP() << "strace cannot trace here: " << traced.readAllStandardError().toStdString();
    ASSERT_EQ(modem.sentPdus().size(), 1);
    ASSERT_TRUE(home.has("m.txt")) << "the service was not stopped before the deletion";

    ASSERT_EQ(home.runOnce(), 0);
    EXPECT_FALSE(home.has("m.txt"));
    EXPECT_EQ(modem.sentPdus().size(), 1);
    EXPECT_TRUE(home.log().isEmpty());
}

}  // namespace
