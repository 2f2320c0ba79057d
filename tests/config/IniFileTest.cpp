// ReadIniValue and WriteIniValue on real hand-edited files: lookups, byte-exact rewrites, and
// the replace that must never leave a broken settings file behind.

#include <gtest/gtest.h>

#include <QFileInfo>
#include <thread>

#include "ConfigTestSupport.h"
#include "config/IniFile.h"

namespace telvane::config {
namespace {

using test::cp1251;
using test::ScratchIni;

QString q(const std::string& utf8) { return QString::fromStdString(utf8); }

TEST(ReadIniValue, FindsValuesInHandEditedFiles) {
    const auto rows = test::tsvRows("reads.tsv");
    ASSERT_EQ(rows.size(), 18u);
    for (const auto& c : rows) {
        SCOPED_TRACE(c[0] + " [" + c[1] + "] " + c[2] + ": " + c[5]);
        EXPECT_EQ(ReadIniValue(test::dataFile(c[0].c_str()), q(c[1]), q(c[2]), q(c[3])), q(c[4]));
    }
}

TEST(ReadIniValue, CutsValuesTo254Characters) {
    QString expected;
    for (int i = 0; i < 254; ++i) expected += QChar(u'0' + i % 10);
    EXPECT_EQ(ReadIniValue(test::dataFile("long-value.ini"), q("SMSreports"), q("Delivered"), {}),
              expected);
}

// Each write changes exactly one stretch of the file; everything else stays byte for byte.
TEST(WriteIniValue, ChangesOnlyItsOwnLine) {
    const auto rows = test::tsvRows("writes.tsv");
    ASSERT_EQ(rows.size(), 16u);
    for (const auto& c : rows) {
        SCOPED_TRACE(c[0] + " [" + c[1] + "] " + c[2] + ": " + c[6]);
        ScratchIni ini(c[0].c_str());
        QByteArray expected = ini.bytes();
        ASSERT_EQ(expected.count(cp1251(c[4])), 1);
        expected.replace(cp1251(c[4]), cp1251(c[5]));
        EXPECT_TRUE(WriteIniValue(ini.path(), q(c[1]), q(c[2]), q(c[3])));
        EXPECT_EQ(ini.bytes(), expected);
    }
}

TEST(WriteIniValue, ValueReadsBackTrimmedAndOnOneLine) {
    ScratchIni ini("handedited-crlf.ini");
    ASSERT_TRUE(WriteIniValue(ini.path(), q("SMS"), q("SMSC"), q("  +7916\r\n1234567  ")));
    EXPECT_EQ(ReadIniValue(ini.path(), q("sms"), q("smsc"), {}), q("+7916  1234567"));

    ScratchIni missing;
    EXPECT_TRUE(WriteIniValue(missing.path(), q("SMS"), q("Number"), q("2")));
    EXPECT_EQ(missing.bytes(), QByteArray("[SMS]\r\nNumber=2\r\n"));
}

TEST(WriteIniValue, RejectsNamesThatWouldBreakTheFile) {
    const std::pair<const char*, const char*> bad[] = {
        {"", "Key"},     {"  ", "Key"},   {"SMS", ""},     {"A]B", "Key"},  {"SMS", "K=V"},
        {"SMS", ";Key"}, {"SMS", "[Key"}, {"S\nM", "Key"}, {"SMS", "K\rey"}};
    for (const auto& [section, key] : bad) {
        SCOPED_TRACE(std::string("[") + section + "] " + key);
        ScratchIni ini("handedited-crlf.ini");
        const QByteArray original = ini.bytes();
        EXPECT_FALSE(WriteIniValue(ini.path(), q(section), q(key), q("1")));
        EXPECT_EQ(ini.bytes(), original);
    }
}

TEST(WriteIniValue, FailsWithoutHarmWhereItCannotWriteOrRead) {
    ScratchIni ini;
    const QString path = ini.folder() + QStringLiteral("/no/such/folder/Telvane.ini");
    EXPECT_FALSE(WriteIniValue(path, q("SMS"), q("Number"), q("2")));
    EXPECT_FALSE(QFile::exists(path));
    // A folder under the file's name cannot be read, so it is not replaced either.
    ASSERT_TRUE(QDir(ini.folder()).mkdir(QStringLiteral("Telvane.ini")));
    EXPECT_FALSE(WriteIniValue(ini.path(), q("SMS"), q("Number"), q("2")));
    EXPECT_TRUE(QFileInfo(ini.path()).isDir());
}

TEST(WriteIniValue, SuccessiveCounterWritesKeepTheFileWhole) {
    ScratchIni ini("handedited-crlf.ini");
    for (int n = 1; n <= 50; ++n) {
        ASSERT_TRUE(WriteIniValue(ini.path(), q("SMS"), q("Number"), QString::number(n)));
    }
    QByteArray expected = test::readBytes(test::dataFile("handedited-crlf.ini"));
    expected.replace("number=42\r\n", "number=50\r\n");
    EXPECT_EQ(ini.bytes(), expected);
    EXPECT_EQ(QDir(ini.folder()).entryList(QDir::Files | QDir::Hidden).size(), 1);
}

// The options dialog and the engine write from two threads at once: each write re-reads the
// file under the lock, so neither undoes a key of the other.
TEST(WriteIniValue, TwoWritersAtOnceLoseNoKey) {
    ScratchIni ini("handedited-crlf.ini");
    const auto writeKeys = [&ini](const QString& prefix) {
        for (int i = 0; i < 30; ++i)
            EXPECT_TRUE(WriteIniValue(ini.path(), q("SMS"), prefix + QString::number(i), q("1")));
    };
    std::thread engine(writeKeys, q("Engine"));
    writeKeys(q("Dialog"));
    engine.join();
    for (const char* prefix : {"Engine", "Dialog"})
        for (int i = 0; i < 30; ++i)
            EXPECT_EQ(ReadIniValue(ini.path(), q("SMS"), q(prefix) + QString::number(i), {}),
                      q("1"))
                << prefix << i;
    EXPECT_EQ(QDir(ini.folder()).entryList(QDir::Files | QDir::Hidden).size(), 1);
}

}  // namespace
}  // namespace telvane::config
