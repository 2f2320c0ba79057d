// The typed settings over real files: each call site's conversion and default.

#include <gtest/gtest.h>

#include <optional>

#include "ConfigTestSupport.h"
#include "config/Settings.h"

namespace telvane::config {
namespace {

using test::ScratchIni;

const QString kHome = QStringLiteral("/srv/telvane/");

// Settings over a scratch file holding `body`.
struct ScratchSettings {
    explicit ScratchSettings(const QByteArray& body, QString home = {}) {
        test::writeBytes(ini.path(), body);
        settings.emplace(ini.path(), home.isEmpty() ? ini.folder() : home);
    }
    ScratchIni ini;
    std::optional<Settings> settings;
};

TEST(Settings, MissingFileGivesEachCallSiteItsOwnDefault) {
    const Settings s(QStringLiteral("/nonexistent/Telvane.ini"), kHome);
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
    const Settings s(test::dataFile("handedited-crlf.ini"), kHome);
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

TEST(Settings, EachConversionFallsBackToItsCallSiteDefault) {
    for (const auto& c : test::tsvRows("conversions.tsv")) {
        SCOPED_TRACE("stored " + c[0]);
        const QByteArray v = QByteArray::fromStdString(c[0]);
        const ScratchSettings scratch("[Options]\r\nPeriod=" + v + "\r\nLog=" + v +
                                      "\r\n[SMS]\r\nNumber=" + v + "\r\nLongID=" + v +
                                      "\r\nToLatin=" + v + "\r\n");
        const Settings& s = *scratch.settings;
        EXPECT_EQ(s.strictInt16(setting::PeriodAtStart), std::stoi(c[1]));
        EXPECT_EQ(s.strictInt32(setting::Number), std::stol(c[2]));
        EXPECT_EQ(s.leadingNumber16(setting::LongID), std::stoi(c[3]));
        EXPECT_EQ(s.strictNumber(setting::Log), std::stod(c[4]));
        EXPECT_EQ(s.equalsOne(setting::ToLatin), c[5] == "1");
    }
}

TEST(Settings, SeparatorDecodesBlanksThatTheFileCannotKeep) {
    const std::pair<const char*, const char*> cases[] = {
        {"[ ]", " "},       {"[tab]", "\t"},     {"[ ][tab]", " \t"},    {";", ";"},
        {"[TAB]", "[TAB]"}, {"  [tab]  ", "\t"}, {"[[ ]tab]", "[ tab]"}, {"", ""},
    };
    for (const auto& [stored, separator] : cases) {
        const ScratchSettings scratch(QByteArray("[SMS]\r\nSplit=") + stored + "\r\n");
        EXPECT_EQ(scratch.settings->separator(), QString::fromUtf8(separator)) << stored;
    }
}

TEST(Settings, FoldersAlwaysEndInASeparator) {
    const std::pair<const char*, const char*> cases[] = {
        {"/data/out", "/data/out/"},        {"/data/out/", "/data/out/"},
        {"outbox", "/srv/telvane/outbox/"}, {"outbox/", "/srv/telvane/outbox/"},
        {"/Исходящие", "/Исходящие/"},
    };
    for (const auto& [stored, folder] : cases) {
        const ScratchSettings scratch("[Folders]\r\nSend=" + test::cp1251(stored) + "\r\n",
                                      QStringLiteral("/srv/telvane"));
        EXPECT_EQ(scratch.settings->folder(setting::Send), QString::fromUtf8(folder)) << stored;
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
