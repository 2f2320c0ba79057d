// The settings file: where it lives, ReadIniValue and WriteIniValue on real hand-edited files
// (lookups, byte-exact rewrites, two writers at once), the number
// conversions of its text, and the typed settings each call site reads.
#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <limits>
#include <thread>

#include "config/HomeFolder.h"
#include "config/IniFile.h"
#include "config/NumberText.h"
#include "config/Settings.h"
#include "support/Immutable.h"
#include "support/TestData.h"

namespace telvane::config {
namespace {

using test::cp1251;
using test::readFile;
using test::tsvRows;

QString q(const std::string& utf8) { return QString::fromStdString(utf8); }
QString slashed(const QString& path) { return QDir::toNativeSeparators(path) + QDir::separator(); }
QString dataFile(const std::string& name) { return test::dataPath("config/" + q(name)); }

/// A scratch home holding Telvane.ini: a copy of a data file, or `body`.
struct Scratch {
    explicit Scratch(const char* dataName = nullptr, const QByteArray& body = {}) {
        if (dataName) QFile::copy(dataFile(dataName), path());
        if (!body.isEmpty()) test::writeFile(path(), body);
    }
    QString path() const { return dir.filePath(QStringLiteral("Telvane.ini")); }
    QByteArray bytes() const { return readFile(path()); }
    QStringList entries() const { return QDir(dir.path()).entryList(QDir::Files | QDir::Hidden); }
    Settings settings(const QString& home = QStringLiteral("/srv/telvane")) const {
        return Settings(path(), home);
    }
    QTemporaryDir dir;
};

TEST(HomeFolder, OverrideProgramFolderOrThePerUserFolder) {
    QTemporaryDir app;
    const QString override = app.path() + QStringLiteral("/elsewhere");
    EXPECT_EQ(HomeFolder::resolve(override, app.path()), slashed(override));
    EXPECT_EQ(HomeFolder::resolve(override + u'/', app.path()), slashed(override));
    const QString relative = HomeFolder::resolve(QStringLiteral("rel/home"), QString());
    EXPECT_TRUE(QDir::isAbsolutePath(relative) && relative.endsWith(slashed("rel/home")));
    // Without an override a writable program folder is a portable home.
    EXPECT_EQ(HomeFolder::resolve(QString(), app.path()), slashed(app.path()));
    EXPECT_EQ(HomeFolder::iniPath(QStringLiteral("/srv/telvane")),
              slashed(QStringLiteral("/srv/telvane")) + QStringLiteral("Telvane.ini"));

    QStandardPaths::setTestModeEnabled(true);
    EXPECT_EQ(HomeFolder::resolve(QString(), QStringLiteral("/nonexistent/bin")),
              HomeFolder::perUserFolder());
    test::Immutable lock(app.path());
    if (!lock.ok()) GTEST_SKIP() << "the file system has no immutable attribute";
    const QString home = HomeFolder::resolve(QString(), app.path());
    EXPECT_EQ(home, HomeFolder::perUserFolder());
    EXPECT_TRUE(home.endsWith(QStringLiteral("Telvane") + QDir::separator()) &&
                QDir(home).exists());
}

TEST(ReadIniValue, FindsValuesInHandEditedFiles) {
    for (const auto& c : tsvRows("config/reads.tsv", 6)) {
        SCOPED_TRACE(c[0] + " [" + c[1] + "] " + c[2] + ": " + c[5]);
        EXPECT_EQ(ReadIniValue(dataFile(c[0]), q(c[1]), q(c[2]), q(c[3])), q(c[4]));
    }
    // Values are cut to 254 characters.
    EXPECT_EQ(ReadIniValue(dataFile("long-value.ini"), "SMSreports", "Delivered", {}),
              QString("0123456789").repeated(26).left(254));
}

// Each write changes exactly one stretch of the file; everything else stays byte for byte.
TEST(WriteIniValue, ChangesOnlyItsOwnLine) {
    for (const auto& c : tsvRows("config/writes.tsv", 7)) {
        SCOPED_TRACE(c[0] + " [" + c[1] + "] " + c[2] + ": " + c[6]);
        Scratch ini(c[0].c_str());
        QByteArray expected = ini.bytes();
        ASSERT_EQ(expected.count(cp1251(q(c[4]))), 1);
        expected.replace(cp1251(q(c[4])), cp1251(q(c[5])));
        EXPECT_TRUE(WriteIniValue(ini.path(), q(c[1]), q(c[2]), q(c[3])));
        EXPECT_EQ(ini.bytes(), expected);
    }
    Scratch missing;
    EXPECT_TRUE(WriteIniValue(missing.path(), "SMS", "Number", "2"));
    EXPECT_EQ(missing.bytes(), QByteArray("[SMS]\r\nNumber=2\r\n"));
    Scratch counter("handedited-crlf.ini");
    for (int n = 1; n <= 50; ++n)
        ASSERT_TRUE(WriteIniValue(counter.path(), "SMS", "Number", QString::number(n)));
    EXPECT_EQ(counter.bytes(),
              readFile(dataFile("handedited-crlf.ini")).replace("number=42\r\n", "number=50\r\n"));
    EXPECT_EQ(counter.entries().size(), 1);
}

// A name that would break the file, a folder or a file that cannot be read: false, and the old
// file as it was.
TEST(WriteIniValue, FailsWithoutHarm) {
    const std::pair<const char*, const char*> bad[] = {
        {"", "Key"},     {"  ", "Key"},   {"SMS", ""},     {"A]B", "Key"},  {"SMS", "K=V"},
        {"SMS", ";Key"}, {"SMS", "[Key"}, {"S\nM", "Key"}, {"SMS", "K\rey"}};
    for (const auto& [section, key] : bad) {
        Scratch ini("handedited-crlf.ini");
        EXPECT_FALSE(WriteIniValue(ini.path(), section, key, "1")) << section << "/" << key;
        EXPECT_EQ(ini.bytes(), readFile(dataFile("handedited-crlf.ini")));
    }
    Scratch ini;
    const QString nowhere = ini.dir.filePath(QStringLiteral("no/such/folder/Telvane.ini"));
    EXPECT_FALSE(WriteIniValue(nowhere, "SMS", "Number", "2"));
    EXPECT_FALSE(QFile::exists(nowhere));
    ASSERT_TRUE(QDir(ini.dir.path()).mkdir(QStringLiteral("Telvane.ini")));  // cannot be read
    EXPECT_FALSE(WriteIniValue(ini.path(), "SMS", "Number", "2"));
    EXPECT_TRUE(QFileInfo(ini.path()).isDir());
}

// The options dialog and the engine write from two threads at once: each write re-reads the
// file under the lock, so neither undoes a key of the other.
TEST(WriteIniValue, TwoWritersAtOnceLoseNoKey) {
    Scratch ini("handedited-crlf.ini");
    const auto writeKeys = [&ini](const QString& prefix) {
        for (int i = 0; i < 30; ++i)
            EXPECT_TRUE(WriteIniValue(ini.path(), "SMS", prefix + QString::number(i), "1"));
    };
    std::thread engine(writeKeys, QStringLiteral("Engine"));
    writeKeys(QStringLiteral("Dialog"));
    engine.join();
    for (const char* prefix : {"Engine", "Dialog"})
        for (int i = 0; i < 30; ++i)
            EXPECT_EQ(ReadIniValue(ini.path(), "SMS", prefix + QString::number(i), {}), "1")
                << prefix << i;
    EXPECT_EQ(ini.entries(), QStringList{"Telvane.ini"});
}

TEST(NumberText, ConversionsOfEveryRow) {
    for (const auto& row : tsvRows("config/numbers.tsv", 4)) {
        const std::string& text = row[1];
        SCOPED_TRACE(row[0] + " \"" + text + "\"");
        if (row[0] == "number") {
            EXPECT_EQ(strictNumber(text),
                      row[3] == "not a number" ? std::nullopt : std::optional(std::stod(row[3])));
            continue;
        }
        using L16 = std::numeric_limits<std::int16_t>;
        using L32 = std::numeric_limits<std::int32_t>;
        const bool wide = row[2] == "32";
        const std::int64_t min = wide ? L32::min() : L16::min(),
                           max = wide ? L32::max() : L16::max();
        const IntegerResult r =
            row[0] == "strict" ? strictInteger(text, min, max) : leadingInteger(text, min, max);
        EXPECT_EQ(r.ok()                                    ? std::to_string(r.value)
                  : *r.error == NumberTextError::NotANumber ? "not a number"
                                                            : "out of range",
                  row[3]);
    }
}

TEST(Settings, EachCallSiteReadsItsKeyWithItsOwnDefault) {
    const Settings none(QStringLiteral("/nonexistent/Telvane.ini"),
                        QStringLiteral("/srv/telvane/"));
    const Settings edited(dataFile("handedited-crlf.ini"), QStringLiteral("/srv/telvane/"));
    for (const auto& [s, period, speed, number, longId, fileType, log, toLatin, report, split, send,
                      logs] :
         {std::tuple(&none, 10, "9600", 1, 1, 0, 0.0, false, false, "\t", "/srv/telvane/Send/",
                     "/srv/telvane/Logs/"),
          // "2 ; Word" is 2; AutoScroll "abc" falls back; an empty folder is not the root.
          std::tuple(&edited, 15, "115200", 42, 255, 2, 1.0, true, false, " ",
                     "/var/spool/telvane/out/", "/srv/telvane/Logs/")}) {
        EXPECT_EQ(s->strictInt16(setting::PeriodAtStart), period);
        EXPECT_EQ(s->text(setting::ComPortSpeedAtPortOpen), speed);
        EXPECT_EQ(s->strictInt32(setting::Number), number);
        EXPECT_EQ(s->leadingNumber16(setting::LongID), longId);
        EXPECT_EQ(s->leadingNumber32(setting::FileType), fileType);
        EXPECT_EQ(s->strictNumber(setting::Log), log);
        EXPECT_EQ(s->equalsOne(setting::ToLatin), toLatin);
        EXPECT_EQ(s->equalsOne(setting::Report), report);
        EXPECT_EQ(s->strictInt16(setting::AutoScroll), 0);
        EXPECT_EQ(s->separator(), split);
        EXPECT_EQ(s->folder(setting::Send), send);
        EXPECT_EQ(s->folder(setting::Logs), logs);
    }
    EXPECT_EQ(none.strictInt16(setting::PeriodInOptions), 60);
    EXPECT_EQ(none.text(setting::ComPortSpeedInOptions), QStringLiteral("19200"));
    EXPECT_EQ(edited.text(setting::SMSCWhenSending), QStringLiteral("+79168999100"));
    EXPECT_EQ(edited.text(setting::Delivered), QStringLiteral("Доставлено абоненту"));
    EXPECT_EQ(edited.text(setting::Deleted), QStringLiteral("Удалено"));
}

TEST(Settings, EachConversionFallsBackToItsCallSiteDefault) {
    for (const auto& c : tsvRows("config/conversions.tsv", 6)) {
        SCOPED_TRACE("stored " + c[0]);
        const QByteArray v = QByteArray::fromStdString(c[0]);
        const Scratch scratch(nullptr, "[Options]\r\nPeriod=" + v + "\r\nLog=" + v +
                                           "\r\n[SMS]\r\nNumber=" + v + "\r\nLongID=" + v +
                                           "\r\nToLatin=" + v + "\r\n");
        const Settings s = scratch.settings();
        EXPECT_EQ(s.strictInt16(setting::PeriodAtStart), std::stoi(c[1]));
        EXPECT_EQ(s.strictInt32(setting::Number), std::stol(c[2]));
        EXPECT_EQ(s.leadingNumber16(setting::LongID), std::stoi(c[3]));
        EXPECT_EQ(s.strictNumber(setting::Log), std::stod(c[4]));
        EXPECT_EQ(s.equalsOne(setting::ToLatin), c[5] == "1");
    }
}

// The separator decodes the blanks the file cannot keep; folders always end in a separator.
TEST(Settings, SeparatorAndFolders) {
    const std::pair<const char*, const char*> separators[] = {
        {"[ ]", " "},       {"[tab]", "\t"},     {"[ ][tab]", " \t"},    {";", ";"},
        {"[TAB]", "[TAB]"}, {"  [tab]  ", "\t"}, {"[[ ]tab]", "[ tab]"}, {"", ""},
    };
    for (const auto& [stored, separator] : separators)
        EXPECT_EQ(Scratch(nullptr, QByteArray("[SMS]\r\nSplit=") + stored + "\r\n")
                      .settings()
                      .separator(),
                  separator)
            << stored;
    const std::pair<const char*, const char*> folders[] = {
        {"/data/out", "/data/out/"},        {"/data/out/", "/data/out/"},
        {"outbox", "/srv/telvane/outbox/"}, {"outbox/", "/srv/telvane/outbox/"},
        {"/Исходящие", "/Исходящие/"},
    };
    for (const auto& [stored, folder] : folders)
        EXPECT_EQ(Scratch(nullptr, "[Folders]\r\nSend=" + cp1251(stored) + "\r\n")
                      .settings()
                      .folder(setting::Send),
                  QString::fromUtf8(folder))
            << stored;
}

// A pool's file: each modem reads its own keys from its section, the keys of the line from
// [Options] where its section has none, and everything else from where it always stood.
TEST(Settings, EachModemReadsItsOwnSection) {
    const Scratch pool(nullptr,
                       "[Options]\r\nComPort=/dev/ttyUSB0\r\nPIN=1111\r\nPacing=fast\r\n"
                       "SendTimeout=60\r\n[Folders]\r\nSend=out\r\n[Modem usb2]\r\n"
                       "ComPort=/dev/ttyUSB4\r\nSendTimeout=30\r\nOnly=1\r\n[Modem]\r\n"
                       "ComPort=x\r\n[modem MAIN]\r\nComPort=y\r\n[Modem rx]\r\nSend=0\r\n");
    QStringList problems;
    const std::vector<ModemPlace> places = modemPlaces(pool.settings(), &problems);
    ASSERT_EQ(places.size(), 3u);
    // [Modem] has no name, [modem MAIN] would be the first modem twice.
    EXPECT_EQ(problems.size(), 2) << problems.join(u'\n').toStdString();
    const struct {
        std::size_t modem;
        Setting key;
        const char* value;
    } rows[] = {
        {0, setting::ComPort, "/dev/ttyUSB0"},
        {1, setting::ComPort, "/dev/ttyUSB4"},
        {2, setting::ComPort, "1"},
        {1, setting::PIN, ""},
        {1, setting::Pacing, "fast"},
        {1, setting::SendTimeout, "30"},
        {2, setting::SendTimeout, "60"},
        {1, setting::PrefixesOnly, "1"},
        {0, setting::PrefixesOnly, "0"},
        {2, setting::ModemSends, "0"},
        {1, setting::ModemSends, "1"},
        {1, setting::Send, "out"},
    };
    for (const auto& row : rows)
        EXPECT_EQ(places[row.modem].settings.text(row.key), QString::fromUtf8(row.value))
            << places[row.modem].id.toStdString() << ' ' << row.key.key;
    EXPECT_EQ(places[0].id, "main");
    EXPECT_EQ(places[1].id, "usb2");
    EXPECT_EQ(places[2].id, "rx");
    EXPECT_EQ(modemPlaces(Scratch(nullptr, "[Options]\r\nComPort=1\r\n").settings())[0].id, "");
}

}  // namespace
}  // namespace telvane::config
