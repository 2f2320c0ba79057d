// The options dialog against real settings files: what it shows (a stored expected file), the
// exact file that OK leaves, Cancel leaving the file alone, a file that cannot be written, and
// the folder chooser's answers.
#include <gtest/gtest.h>

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QStringDecoder>
#include <QTemporaryDir>

#include "WidgetTestSupport.h"
#include "config/CodecSettings.h"
#include "config/HomeFolder.h"
#include "config/IniFile.h"
#include "config/widgets/FolderChooser.h"
#include "config/widgets/RussianUi.h"
#include "config/widgets/frmOptions.h"

using namespace telvane;
using config::frmOptions;

namespace {

// The keys in the order OK writes them, each with the control that shows it.
constexpr struct {
    const char* section;
    const char* key;
    const char* control;
} kKeys[] = {{"Options", "ComPort", "txtPort0"},
             {"Options", "ComPortSpeed", "txtPort1"},
             {"Options", "Period", "txtPort2"},
             {"Folders", "Send", "txtFolders1"},
             {"Folders", "Receive", "txtFolders0"},
             {"Folders", "Logs", "txtFolders2"},
             {"SMS", "SMSC", "txtSMSC"},
             {"SMS", "ToLatin", "chkLatin"},
             {"SMS", "AutoScroll", "chkAutoScroll"},
             {"SMS", "Report", "chkReport"},
             {"SMS", "FileType", "optFileType"},
             {"Options", "Notify", "chkNotify"}};
using KeyValues = std::array<QString, std::size(kKeys)>;

// A USB stick's ports as the system lists them, and the lasting name of one of them.
const QList<config::FoundPort> kPorts{
    {"/dev/ttyUSB0", "HUAWEI Mobile", "HUAWEI"},
    {"/dev/ttyUSB2", "", "HUAWEI"},
    {"/dev/serial/by-id/usb-HUAWEI_Mobile-if02-port0", "/dev/ttyUSB2", ""}};

// What a control shows, as its key stores it: a check box 0 clear, 1 checked, 2 greyed; the
// file types the index of the chosen one.
QString shown(const frmOptions& d, const char* control) {
    const QString name = QString::fromLatin1(control);
    if (auto* edit = d.findChild<QLineEdit*>(name)) return edit->text();
    if (auto* list = d.findChild<QComboBox*>(name)) return list->currentText();
    if (auto* box = d.findChild<QCheckBox*>(name))
        return QString::number(box->checkState() == Qt::PartiallyChecked ? 2 : box->isChecked());
    return QString::number(d.findChild<QButtonGroup*>(name)->checkedId());
}

void enter(const frmOptions& d, const char* control, const QString& value) {
    const QString name = QString::fromLatin1(control);
    if (auto* edit = d.findChild<QLineEdit*>(name)) return edit->setText(value);
    if (auto* list = d.findChild<QComboBox*>(name)) return list->setEditText(value);
    if (auto* box = d.findChild<QCheckBox*>(name)) return box->setChecked(value == u'1');
    d.findChild<QButtonGroup*>(name)->button(value.toInt())->setChecked(true);
}

class OptionsDialog : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }

    std::unique_ptr<frmOptions> open() {
        return std::make_unique<frmOptions>(
            config::Settings(ini, home), QIcon(), [this](QWidget*) { return chosen; },
            [] { return kPorts; });
    }
    // The file, one line each: the sections in the order their first key is written, each key
    // after the last of its section; keys without a value are not in the file.
    void expectFileOf(const KeyValues& values) const {
        QStringList lines;
        QStringList sections;
        for (const auto& k : kKeys)
            if (!sections.contains(QLatin1String(k.section))) sections << k.section;
        for (const QString& section : sections) {
            lines << u'[' + section + u']';
            for (size_t i = 0; i < values.size(); ++i)
                if (section == QLatin1String(kKeys[i].section) && !values[i].isNull())
                    lines << QString::fromLatin1(kKeys[i].key) + u'=' + values[i];
        }
        QFile file(ini);
        EXPECT_TRUE(file.open(QIODevice::ReadOnly));
        const QString text = QStringDecoder("windows-1251").decode(file.readAll());
        EXPECT_EQ(text.split(QStringLiteral("\r\n"), Qt::SkipEmptyParts).join(u'\n').toStdString(),
                  lines.join(u'\n').toStdString());
    }
    void expectShown(const frmOptions& d, const KeyValues& values) const {
        for (size_t i = 0; i < values.size(); ++i)
            EXPECT_EQ(shown(d, kKeys[i].control), values[i]) << kKeys[i].control;
    }
    void clickOK(frmOptions& d) { d.findChild<QPushButton*>(QStringLiteral("cmdOK"))->click(); }

    QTemporaryDir dir;
    QString home = dir.path() + u'/';
    QString ini = config::HomeFolder::iniPath(home);
    QString chosen;
};

// The port list also shows the stored port, which a pseudo-terminal (a simulated modem) is,
// although no scan of the system finds it.
TEST_F(OptionsDialog, ShowsItsControlsWithTheirCaptionsHintsAndLists) {
    config::WriteIniValue(ini, "Options", "ComPort", "/tmp/telvane-modem/link");
    telvane::testing::expectStored(telvane::testing::describe(open().get()),
                                   QStringLiteral(TELVANE_TEST_DATA "/config/options-dialog.txt"));
}

// The defaults that are only examples (speed, period, SMS centre) stay hints: OK on a fresh
// dialog leaves them out of the file, so the gateway keeps its own and sends with the phone's
// SMS centre.
TEST_F(OptionsDialog, OkOnAFreshDialogWritesWhatItShowsAndKeepsTheHintsOut) {
    const auto dialog = open();
    const auto under = [&](const char* name) { return home + name + QDir::separator(); };
    KeyValues values = {"1", "",  "", under("Send"), under("Receive"), under("Logs"), "", "0", "0",
                        "0", "0", "0"};
    expectShown(*dialog, values);
    EXPECT_FALSE(QFile::exists(ini)) << "loading writes nothing";
    dialog->show();
    clickOK(*dialog);
    EXPECT_EQ(dialog->result(), QDialog::Accepted);
    for (const int hinted : {1, 2, 6}) values[hinted] = QString();
    expectFileOf(values);
    // An SMS centre that is no number (as an older dialog stored it) is passed over as well.
    for (const char* smsc : {"", "79xxxxxxxxx", "+79168999100"}) {
        config::WriteIniValue(ini, "SMS", "SMSC", QString::fromLatin1(smsc));
        const config::Settings settings(ini, home);
        const bool used = smsc[0] == '+';
        EXPECT_EQ(config::sendingOptions(settings).smsc, used ? smsc : "");
        EXPECT_EQ(config::ignoredSmscNote(settings).isEmpty(), used || !*smsc) << smsc;
    }
}

TEST_F(OptionsDialog, OkWritesTheBoxesAsTheyStandAndReopeningShowsThem) {
    // Letters in the port box and an emptied period are written unchanged: no value is checked.
    for (const char* key : {"ComPort", "ComPortSpeed", "Period"})
        config::WriteIniValue(ini, "Options", key, "60");
    const KeyValues values = {"COM три",      "115200", "",  "/sms/out", "/sms/in", "logs",
                              "+79161234567", "1",      "0", "1",        "2",       "1"};
    const auto dialog = open();
    for (size_t i = 0; i < values.size(); ++i) enter(*dialog, kKeys[i].control, values[i]);
    dialog->cmdOK_Click();
    expectFileOf(values);
    expectShown(*open(), values);

    // A port chosen from the list is stored as its path, without its description.
    const auto again = open();
    auto* ports = again->findChild<QComboBox*>(QStringLiteral("txtPort0"));
    ports->setCurrentIndex(0);
    emit ports->activated(0);
    EXPECT_EQ(ports->currentText(), QStringLiteral("/dev/ttyUSB0"));
}

TEST_F(OptionsDialog, CancelClosingAndAFailedSaveWriteNothing) {
    config::WriteIniValue(ini, "Options", "ComPort", "3");
    QFile file(ini);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray before = file.readAll();
    for (const bool byCancel : {true, false}) {
        const auto dialog = open();
        enter(*dialog, "txtPort0", "9");
        dialog->show();
        if (byCancel) dialog->cmdCancel_Click();
        if (!byCancel) dialog->close();
        EXPECT_FALSE(dialog->isVisible());
        ASSERT_TRUE(file.seek(0));
        EXPECT_EQ(file.readAll(), before) << (byCancel ? "Cancel" : "closing the window");
    }
    EXPECT_EQ(shown(*open(), "txtPort0"), QStringLiteral("3")) << "reopening shows the stored";

    // A settings file that cannot be written (here a folder in its place): the dialog says so
    // and stays open with what was typed.
    ini = home + QStringLiteral("Unwritable.ini");
    ASSERT_TRUE(QDir().mkpath(ini));
    const auto dialog = open();
    dialog->show();
    enter(*dialog, "txtPort0", "9");
    clickOK(*dialog);
    const auto boxes = telvane::testing::visibleMessageBoxes(true);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].title, QStringLiteral("Ошибка"));
    EXPECT_EQ(boxes[0].text, frmOptions::saveFailedText(ini));
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(shown(*dialog, "txtPort0"), QStringLiteral("9"));
}

// A check box shows 0, 1 or 2 (greyed, which OK keeps); a stored value it cannot show shows
// the default, and so do file types outside 0 to 2.
TEST_F(OptionsDialog, StoredValuesTheControlsCannotShowShowTheDefault) {
    const struct {
        const char* key;
        const char* stored;
        const char* shown;
    } rows[] = {{"ToLatin", "0", "0"},      {"ToLatin", "1", "1"},       {"ToLatin", "2", "2"},
                {"AutoScroll", " 1 ", "1"}, {"AutoScroll", "1.4", "1"},  {"AutoScroll", "3", "0"},
                {"Report", "-1", "0"},      {"Report", "yes", "0"},      {"Report", "", "0"},
                {"Report", "99999", "0"},   {"Report", "2", "2"},        {"FileType", "1", "1"},
                {"FileType", "2", "2"},     {"FileType", "1 Word", "1"}, {"FileType", "2.4", "2"},
                {"FileType", "3", "0"},     {"FileType", "-1", "0"},     {"FileType", "x", "0"},
                {"FileType", "70000", "0"}};
    for (const auto& row : rows) {
        const QString key = QString::fromLatin1(row.key);
        config::WriteIniValue(ini, "SMS", key, QString::fromLatin1(row.stored));
        const auto dialog = open();
        for (const auto& k : kKeys) {
            if (key == QLatin1String(k.key))
                EXPECT_EQ(shown(*dialog, k.control), row.shown) << row.key << '=' << row.stored;
        }
        dialog->cmdOK_Click();
        EXPECT_EQ(config::ReadIniValue(ini, "SMS", key, QString()), row.shown)
            << "OK writes what is shown: " << row.key << '=' << row.stored;
    }
}

// Cancelled, the chooser leaves the box as it was and says nothing; a folder the gateway
// could not find again is refused with a message; a usable one fills its box.
TEST_F(OptionsDialog, TheFolderChooserFillsOneBoxOrSaysTheChoiceIsWrong) {
    const auto dialog = open();
    dialog->show();
    const QString before = shown(*dialog, "txtFolders1");
    for (const char* refused : {"", "relative/folder"}) {
        chosen = QString::fromLatin1(refused);
        dialog->findChild<QPushButton*>(QStringLiteral("cmdFolders1"))->click();
        const auto boxes = telvane::testing::visibleMessageBoxes(true);
        ASSERT_EQ(boxes.size(), *refused ? 1u : 0u) << refused;
        for (const auto& box : boxes) {
            EXPECT_EQ(box.title, QStringLiteral("Ошибка"));
            EXPECT_EQ(box.text, QStringLiteral("Вы выбрали неправильную папку!"));
            EXPECT_EQ(box.icon, QMessageBox::Warning);
            EXPECT_EQ(box.ok, QStringLiteral("ОК"));
        }
        EXPECT_EQ(shown(*dialog, "txtFolders1"), before) << "the box keeps its value";
    }
    for (const int index : {0, 1, 2}) {
        chosen = QStringLiteral("/data/folder%1").arg(index);
        dialog->cmdFolders_Click(index);
        EXPECT_TRUE(telvane::testing::visibleMessageBoxes().empty());
        EXPECT_EQ(shown(*dialog, kKeys[std::array{4, 3, 5}[index]].control), chosen);
    }
    EXPECT_FALSE(QFile::exists(ini)) << "only OK writes the chosen folders";
}

TEST(RussianUi, QtsOwnDialogsSpeakRussian) {
    ASSERT_TRUE(config::installRussianQtTexts(*qApp)) << "needs qt6-translations-l10n";
    EXPECT_EQ(QCoreApplication::translate("QFileDialog", "Look in:"), QStringLiteral("Перейти к:"));
}

TEST(FolderPaths, OnlyAbsolutePathsOfThePlatformAreUsable) {
    using enum config::PathStyle;
    const struct {
        const char* path;
        config::PathStyle style;
        bool usable;
    } rows[] = {{"C:\\SMS\\Send", Windows, true},
                {"D:\\", Windows, true},
                {"\\\\server\\share\\sms", Windows, true},
                {"::{20D04FE0-3AEA-1069-A2D8-08002B30309D}", Windows, false},
                {"\\x\\y", Windows, false},
                {"SMS\\Send", Windows, false},
                {"C", Windows, false},
                {"", Windows, false},
                {"/home/sms/Send", Posix, true},
                {"/", Posix, true},
                {"home/sms", Posix, false},
                {"C:\\SMS", Posix, false},
                {"", Posix, false}};
    for (const auto& row : rows)
        EXPECT_EQ(config::isUsableFolder(QString::fromUtf8(row.path), row.style), row.usable)
            << row.path;
    EXPECT_EQ(config::folderDialogTitle(), QStringLiteral("Выберите папку"));
}

}  // namespace
