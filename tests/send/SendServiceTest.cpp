// telvaned --once against the simulated modem: what the modem accepted decodes back to the
// files, failures keep their file and say so in "Log.txt", and no message goes out twice
// when its file cannot be deleted or the service is killed before it could delete it.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <atomic>
#include <set>
#include <thread>

#include "ServiceProcess.h"
#include "SimulatedModem.h"
#include "codec/Alphabets.h"
#include "codec/PduDecoder.h"

using namespace telvane;
using telvane::test::ServiceProcess;
using telvane::test::SimulatedModem;
using telvane::test::SimulatedModemOptions;

namespace {

struct Home {
    explicit Home(const QString& port) {
        QDir(dir.path()).mkpath("Send");
        QDir(dir.path()).mkpath("Logs");
        QFile ini(dir.filePath("Telvane.ini"));
        ini.open(QIODevice::WriteOnly);
        ini.write("[Options]\r\nComPort=" + port.toUtf8() + "\r\n");
    }
    QString send(const QString& name) const { return dir.filePath("Send/" + name); }
    // Written, then dated a minute back: a file its writer finished with.
    void put(const QString& name, const QByteArray& bytes) const {
        QFile file(send(name));
        file.open(QIODevice::WriteOnly);
        file.write(bytes);
        file.setFileTime(QDateTime::currentDateTime().addSecs(-60),
                         QFileDevice::FileModificationTime);
    }
    bool has(const QString& name) const { return QFile::exists(send(name)); }
    QStringList log() const {
        QFile file(dir.filePath("Logs/Log.txt"));
        if (!file.open(QIODevice::ReadOnly)) return {};
        QStringList lines;
        for (QByteArray line : file.readAll().split('\n')) {
            if (line.endsWith('\r')) line.chop(1);
            if (!line.isEmpty())
                lines << QString::fromStdU32String(codec::cp1251ToUnicode(line.toStdString()))
                             .section(u'\t', 2);
        }
        return lines;
    }
    int runOnce() const {
        ServiceProcess service(dir.path());
        const int code = service.run({"--once"}, 120000);
        if (code != 0) ADD_FAILURE() << service.errors().toStdString();
        return code;
    }
    QTemporaryDir dir;
};

codec::DecodedPdu decode(const QString& pdu) {
    const auto result = codec::decodePduHex(pdu.toStdString());
    if (const auto* error = std::get_if<codec::DecodeError>(&result)) {
        ADD_FAILURE() << codec::describe(*error);
        return {};
    }
    return std::get<codec::DecodedPdu>(result);
}

QByteArray cp1251(const std::u32string& text) {
    return QByteArray::fromStdString(codec::unicodeToCp1251Lossy(text));
}

TEST(SendService, FilesArriveAsTheirNumberAndTextSingleOrInParts) {
    SimulatedModem modem;
    ASSERT_TRUE(modem.start()) << modem.errorString().toStdString();
    Home home(modem.linkPath());
    std::u32string latin, cyrillic;
    for (int i = 0; i < 200; ++i) latin += static_cast<char32_t>(U'a' + i % 26);
    for (int i = 0; i < 100; ++i) cyrillic += static_cast<char32_t>(U'а' + i % 32);
    home.put("1-short.txt", "79161234567\tHello, world");
    home.put("2-long7bit.txt", "79161234568\t" + cp1251(latin));
    home.put("3-longucs2.txt", "89161234569\t" + cp1251(cyrillic));
    ASSERT_EQ(home.runOnce(), 0);

    const QStringList sent = modem.sentPdus();
    ASSERT_EQ(sent.size(), 1 + 2 + 2);
    const auto first = decode(sent[0]);
    EXPECT_EQ(first.number, U"+79161234567");
    EXPECT_EQ(first.text, U"Hello, world");
    EXPECT_FALSE(first.concat);

    const struct {
        int from;
        std::u32string number;
        std::u32string text;
        codec::Coding coding;
    } longs[] = {{1, U"+79161234568", latin, codec::Coding::Gsm7},
                 {3, U"+79161234569", cyrillic, codec::Coding::Ucs2}};
    std::set<int> references;
    for (const auto& l : longs) {
        std::u32string joined;
        for (int k = 0; k < 2; ++k) {
            const auto part = decode(sent[l.from + k]);
            EXPECT_EQ(part.number, l.number);
            EXPECT_EQ(part.coding, l.coding);
            ASSERT_TRUE(part.concat);
            EXPECT_EQ(part.concat->total, 2u);
            EXPECT_EQ(part.concat->seq, static_cast<std::size_t>(k + 1));
            EXPECT_EQ(part.concat->ref, decode(sent[l.from]).concat->ref);
            joined += part.text;
        }
        EXPECT_EQ(joined, l.text);
        references.insert(decode(sent[l.from]).concat->ref);
    }
    EXPECT_EQ(references.size(), 2u);  // each long message has its own reference
    for (const char* name : {"1-short.txt", "2-long7bit.txt", "3-longucs2.txt"})
        EXPECT_FALSE(home.has(name)) << name;
    EXPECT_TRUE(home.log().isEmpty());
}

TEST(SendService, APhoneThatRefusesKeepsTheFileLogsItAndCancelsTextEntry) {
    const struct {
        const char* fault;
        bool escExpected;
    } cases[] = {
        {"error-prompt", true}, {"no-prompt", true}, {"error-pdu", false}, {"cms-error", false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fault);
        QTemporaryDir scratch;
        const QString hostLog = scratch.filePath("host.bin");
        SimulatedModemOptions options;
        options.faults = {c.fault};
        options.extraArgs = {"--host-log", hostLog};
        SimulatedModem modem(options);
        ASSERT_TRUE(modem.start());
        Home home(modem.linkPath());
        home.put("m.txt", "79161234567\tHello");
        ASSERT_EQ(home.runOnce(), 0);
        EXPECT_TRUE(home.has("m.txt"));
        EXPECT_EQ(home.log(), QStringList({"Ошибка отправки сообщения: 79161234567\tHello"}));
        EXPECT_TRUE(modem.sentPdus().isEmpty());
        QFile host(hostLog);
        ASSERT_TRUE(host.open(QIODevice::ReadOnly));
        const QByteArray written = host.readAll();
        const qsizetype command = written.indexOf("at+cmgs=");
        ASSERT_GE(command, 0);
        EXPECT_EQ(written.indexOf('\x1b', command) >= 0, c.escExpected) << written.toStdString();
    }
}

TEST(SendService, AFileWithoutSeparatorDoesNotHoldBackTheFilesAfterIt) {
    SimulatedModem modem;
    ASSERT_TRUE(modem.start());
    Home home(modem.linkPath());
    home.put("a.txt", "79161234567 no separator here");
    home.put("b.txt", "79161234567\tafter it");
    ASSERT_EQ(home.runOnce(), 0);
    EXPECT_TRUE(home.has("a.txt"));
    EXPECT_FALSE(home.has("b.txt"));
    ASSERT_EQ(modem.sentPdus().size(), 1);
    EXPECT_EQ(decode(modem.sentPdus()[0]).text, U"after it");
    EXPECT_EQ(home.log(), QStringList({"Ошибка чтения файла сообщения: a.txt\tнет разделителя"}));
}

TEST(SendService, AFileStillBeingWrittenIsNotSentHalfWritten) {
    SimulatedModem modem;
    ASSERT_TRUE(modem.start());
    Home home(modem.linkPath());
    QFile file(home.send("m.txt"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
    file.write("79161234567\t");
    std::atomic<bool> done = false;
    std::thread writer([&] {
        while (!done) {  // a slow writer: one character at a time
            file.write("x");
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
    });
    const int code = home.runOnce();
    done = true;
    writer.join();
    file.write("END");
    file.close();
    ASSERT_EQ(code, 0);
    EXPECT_TRUE(modem.sentPdus().isEmpty());
    EXPECT_TRUE(home.has("m.txt"));

    QFile finished(home.send("m.txt"));
    ASSERT_TRUE(finished.open(QIODevice::ReadWrite));
    finished.setFileTime(QDateTime::currentDateTime().addSecs(-60),
                         QFileDevice::FileModificationTime);
    finished.close();
    ASSERT_EQ(home.runOnce(), 0);
    ASSERT_GE(modem.sentPdus().size(), 1);
    std::u32string text;
    for (const QString& pdu : modem.sentPdus()) text += decode(pdu).text;
    EXPECT_TRUE(text.ends_with(U"xEND"));
    EXPECT_FALSE(home.has("m.txt"));
}

TEST(SendService, AFolderWhereNothingCanBeDeletedSendsEachMessageOnce) {
    SimulatedModem modem;
    ASSERT_TRUE(modem.start());
    Home home(modem.linkPath());
    home.put("m.txt", "79161234567\tonly once");
    const QString folder = home.dir.filePath("Send");
    if (QProcess::execute("chattr", {"+i", folder}) != 0) GTEST_SKIP() << "chattr +i unsupported";
    const int first = home.runOnce();
    const int second = home.runOnce();
    QProcess::execute("chattr", {"-i", folder});
    ASSERT_EQ(first, 0);
    ASSERT_EQ(second, 0);
    EXPECT_EQ(modem.sentPdus().size(), 1);
    EXPECT_TRUE(home.has("m.txt"));
    EXPECT_EQ(home.log(), QStringList({"Ошибка удаления отправленного файла: m.txt"}));

    ASSERT_EQ(home.runOnce(), 0);  // the folder can be changed again
    EXPECT_FALSE(home.has("m.txt"));
    EXPECT_EQ(modem.sentPdus().size(), 1);
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
