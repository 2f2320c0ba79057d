// ReadIniValue and WriteIniValue on real hand-edited files: lookups, byte-exact rewrites, and
// the replace that must never leave a broken settings file behind.

#include <gtest/gtest.h>

#include <QFileInfo>

#include "ConfigTestSupport.h"
#include "config/IniFile.h"

namespace telvane::config {
namespace {

using test::cp1251;
using test::ScratchIni;

struct ReadCase {
    const char* file;
    const char* section;
    const char* key;
    const char* defaultValue;
    const char* expected;  // UTF-8
    const char* why;
};

const ReadCase kReads[] = {
    {"handedited-crlf.ini", "Options", "ComPort", "1", "3", "blanks around key and value"},
    {"handedited-crlf.ini", "OPTIONS", "comPORT", "1", "3", "names in another case"},
    {"handedited-crlf.ini", "Options", "Period", "10", "15", "blanks after ="},
    {"handedited-crlf.ini", "Folders", "Send", "", "/var/spool/telvane/out",
     "blanks inside the brackets of the section"},
    {"handedited-crlf.ini", "Folders", "Logs", "x", "", "empty value is a value"},
    {"handedited-crlf.ini", "SMS", "FileType", "0", "2 ; Word", "no end-of-line comments"},
    {"handedited-crlf.ini", "SMS", "Split", "\t", "[ ]", "text kept as stored"},
    {"handedited-crlf.ini", "SMSreports", "Delivered", "", "Доставлено абоненту",
     "Windows-1251 decoded"},
    {"handedited-crlf.ini", "SMSreports", "Sepended", "", "  Отложено  ",
     "matching quotes removed, blanks inside kept"},
    {"handedited-crlf.ini", "smsreports", "Deleted", "", "Удалено", "key in capitals"},
    {"handedited-crlf.ini", "Options", "ComPortOptions", "n,8,1", "n,8,1", "missing key"},
    {"handedited-crlf.ini", "Office", "ComPort", "dflt", "dflt", "missing section"},
    {"handedited-crlf.ini", "Options", "; poll period in seconds", "d", "d",
     "a comment is not a key"},
    {"handedited-crlf.ini", "SMS", "Period", "10", "10", "key of another section"},
    {"lf-endings.ini", "SMS", "Number", "1", "9999", "LF line endings"},
    {"no-final-newline.ini", "SMS", "LongID", "1", "7", "last line unterminated"},
    {"does-not-exist.ini", "SMS", "Number", "1", "1", "missing file"},
    {"does-not-exist.ini", "SMSreports", "Deleted", "Удалено", "Удалено",
     "default returned unchanged"},
};

TEST(ReadIniValue, FindsValuesInHandEditedFiles) {
    for (const ReadCase& c : kReads) {
        SCOPED_TRACE(std::string(c.file) + " [" + c.section + "] " + c.key + ": " + c.why);
        EXPECT_EQ(ReadIniValue(test::dataFile(c.file), QString::fromUtf8(c.section),
                               QString::fromUtf8(c.key), QString::fromUtf8(c.defaultValue)),
                  QString::fromUtf8(c.expected));
    }
}

TEST(ReadIniValue, CutsValuesTo254Characters) {
    const QString value =
        ReadIniValue(test::dataFile("long-value.ini"), QStringLiteral("SMSreports"),
                     QStringLiteral("Delivered"), QString());
    ASSERT_EQ(value.size(), 254);
    QString expected;
    for (int i = 0; i < 254; ++i) expected += QChar(u'0' + i % 10);
    EXPECT_EQ(value, expected);
}

// Each write changes exactly one stretch of the file; everything else stays byte for byte.
struct WriteCase {
    const char* file;
    const char* section;
    const char* key;
    const char* value;   // UTF-8
    const char* before;  // UTF-8, occurs once in the file
    const char* after;   // UTF-8, what it must become
    const char* why;
};

const WriteCase kWrites[] = {
    {"handedited-crlf.ini", "Options", "Period", "60", "period=  15\r\n", "period=  60\r\n",
     "key spelling and spacing before the value kept"},
    {"handedited-crlf.ini", "OPTIONS", "ComPort", "4", "  comport = 3   \r\n", "  comport = 4\r\n",
     "old trailing blanks dropped"},
    {"handedited-crlf.ini", "SMS", "Number", "43", "number=42\r\n", "number=43\r\n",
     "counter rewritten in place"},
    {"handedited-crlf.ini", "Folders", "Logs", "/var/log/telvane", "Logs=\r\n",
     "Logs=/var/log/telvane\r\n", "empty value filled"},
    {"handedited-crlf.ini", "SMSreports", "Sepended", "Отложено", "Sepended=\"  Отложено  \"",
     "Sepended=Отложено", "quoted value replaced"},
    {"handedited-crlf.ini", "SMS", "Report", "1\r\n2\n3", "Report = 0\r\n", "Report = 1  2 3\r\n",
     "line breaks become spaces"},
    {"handedited-crlf.ini", "SMSreports", "Delivered", "Доставлено ✓",
     "Delivered=Доставлено абоненту\r\n", "Delivered=Доставлено ?\r\n",
     "Windows-1251, unmappable character as ?"},
    {"handedited-crlf.ini", "SMS", "ToLatin", "1", "ToLatin=1\r\n", "ToLatin=1\r\n",
     "same value: nothing changes"},
    {"handedited-crlf.ini", "Options", "ComPortOptions", "e,7,1", "Log = 1\r\n\r\n",
     "Log = 1\r\nComPortOptions=e,7,1\r\n\r\n", "new key after the last key of its section"},
    {"handedited-crlf.ini", "SMS", "SMSC", "", "SMSC=+79168999100\r\n", "SMSC=\r\n",
     "empty value written"},
    {"handedited-crlf.ini", "sms", "Extra", "x", "LongID=255\r\n; texts",
     "LongID=255\r\nExtra=x\r\n; texts", "new key before a comment that follows the section"},
    {"handedited-crlf.ini", "Office", "Mode", "2", "DELETED = Удалено\r\n",
     "DELETED = Удалено\r\n\r\n[Office]\r\nMode=2\r\n", "new section at the end"},
    {"lf-endings.ini", "SMS", "LongID", "5", "Number=9999\n", "Number=9999\nLongID=5\n",
     "LF file stays LF"},
    {"lf-endings.ini", "Folders", "Send", "/x", "Number=9999\n",
     "Number=9999\n\n[Folders]\nSend=/x\n", "new section in an LF file"},
    {"no-final-newline.ini", "SMS", "LongID", "8", "LongID=7", "LongID=8",
     "unterminated last line replaced"},
    {"no-final-newline.ini", "SMS", "Number", "2", "LongID=7", "LongID=7\r\nNumber=2\r\n",
     "key added after an unterminated last line"},
};

TEST(WriteIniValue, ChangesOnlyItsOwnLine) {
    for (const WriteCase& c : kWrites) {
        SCOPED_TRACE(std::string(c.file) + " [" + c.section + "] " + c.key + ": " + c.why);
        ScratchIni ini(c.file);
        const QByteArray original = ini.bytes();
        const QByteArray before = cp1251(c.before);
        ASSERT_EQ(original.count(before), 1);
        QByteArray expected = original;
        expected.replace(before, cp1251(c.after));

        EXPECT_TRUE(WriteIniValue(ini.path(), QString::fromUtf8(c.section),
                                  QString::fromUtf8(c.key), QString::fromUtf8(c.value)));
        EXPECT_EQ(ini.bytes(), expected);
    }
}

TEST(WriteIniValue, ValueReadsBackTrimmedAndOnOneLine) {
    ScratchIni ini("handedited-crlf.ini");
    ASSERT_TRUE(WriteIniValue(ini.path(), QStringLiteral("SMS"), QStringLiteral("SMSC"),
                              QStringLiteral("  +7916\r\n1234567  ")));
    EXPECT_EQ(ReadIniValue(ini.path(), QStringLiteral("sms"), QStringLiteral("smsc"), {}),
              QStringLiteral("+7916  1234567"));
}

TEST(WriteIniValue, CreatesMissingFileWithOneSectionAndOneKey) {
    ScratchIni ini;
    ASSERT_FALSE(QFile::exists(ini.path()));
    EXPECT_TRUE(WriteIniValue(ini.path(), QStringLiteral("SMS"), QStringLiteral("Number"),
                              QStringLiteral("2")));
    EXPECT_EQ(ini.bytes(), QByteArray("[SMS]\r\nNumber=2\r\n"));
}

TEST(WriteIniValue, RejectsNamesThatWouldBreakTheFile) {
    const struct {
        const char* section;
        const char* key;
    } bad[] = {{"", "Key"},     {"  ", "Key"},   {"SMS", ""},     {"A]B", "Key"},  {"SMS", "K=V"},
               {"SMS", ";Key"}, {"SMS", "[Key"}, {"S\nM", "Key"}, {"SMS", "K\rey"}};
    for (const auto& b : bad) {
        SCOPED_TRACE(std::string("[") + b.section + "] " + b.key);
        ScratchIni ini("handedited-crlf.ini");
        const QByteArray original = ini.bytes();
        EXPECT_FALSE(WriteIniValue(ini.path(), QString::fromUtf8(b.section),
                                   QString::fromUtf8(b.key), QStringLiteral("1")));
        EXPECT_EQ(ini.bytes(), original);
    }
}

TEST(WriteIniValue, FailsWhenTheFolderIsMissing) {
    ScratchIni ini;
    const QString path = ini.folder() + QStringLiteral("/no/such/folder/Telvane.ini");
    EXPECT_FALSE(
        WriteIniValue(path, QStringLiteral("SMS"), QStringLiteral("Number"), QStringLiteral("2")));
    EXPECT_FALSE(QFile::exists(path));
}

TEST(WriteIniValue, DoesNotReplaceAFileItCannotRead) {
    ScratchIni ini;
    ASSERT_TRUE(QDir(ini.folder()).mkdir(QStringLiteral("Telvane.ini")));
    EXPECT_FALSE(WriteIniValue(ini.path(), QStringLiteral("SMS"), QStringLiteral("Number"),
                               QStringLiteral("2")));
    EXPECT_TRUE(QFileInfo(ini.path()).isDir());
}

// The old file must survive any failure to put the new one in its place: an immutable file
// cannot be renamed over, an immutable folder takes no temporary file.
TEST(WriteIniValue, FailedReplaceKeepsTheOldFile) {
    for (const bool lockFolder : {false, true}) {
        SCOPED_TRACE(lockFolder ? "immutable folder" : "immutable file");
        ScratchIni ini("handedited-crlf.ini");
        const QByteArray original = ini.bytes();
        {
            test::Immutable lock(lockFolder ? ini.folder() : ini.path());
            if (!lock.ok()) GTEST_SKIP() << "the file system has no immutable attribute";
            EXPECT_FALSE(WriteIniValue(ini.path(), QStringLiteral("SMS"), QStringLiteral("Number"),
                                       QStringLiteral("43")));
        }
        EXPECT_EQ(ini.bytes(), original);
        EXPECT_EQ(QDir(ini.folder()).entryList(QDir::Files | QDir::Hidden),
                  QStringList{QStringLiteral("Telvane.ini")})
            << "no temporary file left behind";
    }
}

TEST(WriteIniValue, SuccessiveCounterWritesKeepTheFileWhole) {
    ScratchIni ini("handedited-crlf.ini");
    for (int n = 1; n <= 50; ++n) {
        ASSERT_TRUE(WriteIniValue(ini.path(), QStringLiteral("SMS"), QStringLiteral("Number"),
                                  QString::number(n)));
    }
    QByteArray expected = test::readBytes(test::dataFile("handedited-crlf.ini"));
    expected.replace("number=42\r\n", "number=50\r\n");
    EXPECT_EQ(ini.bytes(), expected);
    EXPECT_EQ(QDir(ini.folder()).entryList(QDir::Files | QDir::Hidden).size(), 1);
}

}  // namespace
}  // namespace telvane::config
