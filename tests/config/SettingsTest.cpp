// The typed settings over real files: each call site's conversion and default.

#include <gtest/gtest.h>

#include "ConfigTestSupport.h"
#include "config/Settings.h"

namespace telvane::config {
namespace {

using test::ScratchIni;

const QString kHome = QStringLiteral("/srv/telvane/");

Settings handEdited() { return Settings(test::dataFile("handedited-crlf.ini"), kHome); }

TEST(Settings, MissingFileGivesEveryCallSiteItsDefault) {
    const Settings s(QStringLiteral("/nonexistent/Telvane.ini"), kHome);
    for (const Setting& setting : setting::kAll) {
        SCOPED_TRACE(std::string(setting.section) + "/" + setting.key);
        EXPECT_EQ(s.text(setting), QString::fromUtf8(setting.defaultValue));
    }
    EXPECT_EQ(s.strictInt16(setting::PeriodAtStart), 10);
    EXPECT_EQ(s.strictInt16(setting::PeriodInOptions), 60);
    EXPECT_EQ(s.text(setting::ComPortSpeedAtPortOpen), QStringLiteral("9600"));
    EXPECT_EQ(s.text(setting::ComPortSpeedInOptions), QStringLiteral("19200"));
    EXPECT_EQ(s.strictInt32(setting::Number), 1);
    EXPECT_EQ(s.leadingNumber16(setting::LongID), 1);
    EXPECT_EQ(s.leadingNumber32(setting::FileType), 0);
    EXPECT_EQ(s.strictNumber(setting::Log), 0.0);
    EXPECT_FALSE(s.equalsOne(setting::ToLatin));
    EXPECT_EQ(s.separator(), QStringLiteral("\t"));
    EXPECT_EQ(s.folder(setting::Send), QStringLiteral("/srv/telvane/Send/"));
    EXPECT_EQ(s.folder(setting::Receive), QStringLiteral("/srv/telvane/Receive/"));
    EXPECT_EQ(s.folder(setting::Logs), QStringLiteral("/srv/telvane/Logs/"));
}

TEST(Settings, ConvertsTheHandEditedFile) {
    const Settings s = handEdited();
    EXPECT_EQ(s.text(setting::ComPort), QStringLiteral("3"));
    EXPECT_EQ(s.text(setting::ComPortSpeedAtPortOpen), QStringLiteral("115200"));
    EXPECT_EQ(s.strictInt16(setting::PeriodAtStart), 15);
    EXPECT_EQ(s.strictNumber(setting::Log), 1.0);
    EXPECT_EQ(s.leadingNumber32(setting::FileType), 2) << "\"2 ; Word\"";
    EXPECT_EQ(s.strictInt32(setting::Number), 42);
    EXPECT_EQ(s.strictInt16(setting::AutoScroll), 0) << "\"abc\" falls back to the default";
    EXPECT_TRUE(s.equalsOne(setting::ToLatin));
    EXPECT_FALSE(s.equalsOne(setting::Report));
    EXPECT_EQ(s.text(setting::SMSCWhenSending), QStringLiteral("+79168999100"));
    EXPECT_EQ(s.leadingNumber16(setting::LongID), 255);
    EXPECT_EQ(s.separator(), QStringLiteral(" "));
    EXPECT_EQ(s.text(setting::Delivered), QStringLiteral("Доставлено абоненту"));
    EXPECT_EQ(s.text(setting::Deleted), QStringLiteral("Удалено"));
    EXPECT_EQ(s.folder(setting::Send), QStringLiteral("/var/spool/telvane/out/"));
    EXPECT_EQ(s.folder(setting::Receive), QStringLiteral("/var/spool/telvane/in/"));
    EXPECT_EQ(s.folder(setting::Logs), QStringLiteral("/srv/telvane/Logs/"))
        << "an empty folder value must not mean the root folder";
}

// Stored text -> what each conversion makes of it, the default applying where it rejects.
struct ConversionCase {
    const char* stored;
    qint16 period;  // strictInt16, default 10
    qint32 number;  // strictInt32, default 1
    qint16 longId;  // leadingNumber16, default 1
    double log;     // strictNumber, default 0
    bool toLatin;   // equalsOne
};

const ConversionCase kConversions[] = {
    {"1", 1, 1, 1, 1.0, true},
    {"10000", 10000, 10000, 10000, 10000.0, false},
    {"10.5", 10, 10, 10, 10.5, false},
    {"11.5", 12, 12, 12, 11.5, false},
    {"1.0", 1, 1, 1, 1.0, false},
    {"-5", -5, -5, -5, -5.0, false},
    {"40000", 10, 40000, 1, 40000.0, false},
    {"3000000000", 10, 1, 1, 3e9, false},
    {"12abc", 10, 1, 12, 0.0, false},
    {"abc", 10, 1, 0, 0.0, false},
    {"1e2", 10, 1, 1, 100.0, false},
    {"\"  7  \"", 10, 1, 7, 0.0, false},
};

TEST(Settings, EachConversionFallsBackToItsCallSiteDefault) {
    for (const ConversionCase& c : kConversions) {
        SCOPED_TRACE(std::string("stored ") + c.stored);
        ScratchIni ini;
        const QByteArray body = QByteArray("[Options]\r\nPeriod=") + c.stored +
                                "\r\nLog=" + c.stored + "\r\n[SMS]\r\nNumber=" + c.stored +
                                "\r\nLongID=" + c.stored + "\r\nToLatin=" + c.stored + "\r\n";
        test::writeBytes(ini.path(), body);
        const Settings s(ini.path(), ini.folder());
        EXPECT_EQ(s.strictInt16(setting::PeriodAtStart), c.period);
        EXPECT_EQ(s.strictInt32(setting::Number), c.number);
        EXPECT_EQ(s.leadingNumber16(setting::LongID), c.longId);
        EXPECT_EQ(s.strictNumber(setting::Log), c.log);
        EXPECT_EQ(s.equalsOne(setting::ToLatin), c.toLatin);
    }
}

TEST(Settings, SeparatorDecodesBlanksThatTheFileCannotKeep) {
    const struct {
        const char* stored;
        const char* separator;
    } cases[] = {
        {"[ ]", " "},       {"[tab]", "\t"},     {"[ ][tab]", " \t"},    {";", ";"},
        {"[TAB]", "[TAB]"}, {"  [tab]  ", "\t"}, {"[[ ]tab]", "[ tab]"}, {"", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string("stored ") + c.stored);
        ScratchIni ini;
        test::writeBytes(ini.path(), QByteArray("[SMS]\r\nSplit=") + c.stored + "\r\n");
        EXPECT_EQ(Settings(ini.path(), ini.folder()).separator(), QString::fromUtf8(c.separator));
    }
}

TEST(Settings, FoldersAlwaysEndInASeparator) {
    const struct {
        const char* stored;
        const char* folder;
    } cases[] = {
        {"/data/out", "/data/out/"},        {"/data/out/", "/data/out/"},
        {"outbox", "/srv/telvane/outbox/"}, {"outbox/", "/srv/telvane/outbox/"},
        {"/Исходящие", "/Исходящие/"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string("stored ") + c.stored);
        ScratchIni ini;
        test::writeBytes(ini.path(),
                         QByteArray("[Folders]\r\nSend=") + test::cp1251(c.stored) + "\r\n");
        EXPECT_EQ(Settings(ini.path(), QStringLiteral("/srv/telvane")).folder(setting::Send),
                  QString::fromUtf8(c.folder));
    }
}

TEST(Settings, WritesAreSeenByTheNextRead) {
    ScratchIni ini("handedited-crlf.ini");
    const Settings s(ini.path(), ini.folder());
    ASSERT_TRUE(s.write(setting::LongID, QStringLiteral("1")));
    EXPECT_EQ(s.leadingNumber16(setting::LongID), 1);
    ASSERT_TRUE(s.write(setting::Sepended, QStringLiteral("Отложено оператором")));
    EXPECT_EQ(s.text(setting::Sepended), QStringLiteral("Отложено оператором"));
    EXPECT_EQ(ini.bytes().count(test::cp1251("Sepended=Отложено оператором\r\n")), 1);
}

}  // namespace
}  // namespace telvane::config
