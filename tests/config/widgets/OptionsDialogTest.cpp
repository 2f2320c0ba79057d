// The options dialog against real settings files: what it shows (a stored expected file), what
// OK stores, Cancel and a file that cannot be written, and the folder chooser's answers.
#include <gtest/gtest.h>

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTreeWidget>

#include "WidgetTestSupport.h"
#include "config/CodecSettings.h"
#include "config/HomeFolder.h"
#include "config/IniFile.h"
#include "config/widgets/RussianUi.h"
#include "config/widgets/frmOptions.h"
#include "support/TestData.h"

using namespace telvane;
using config::frmOptions;

std::ostream& operator<<(std::ostream& out, const QStringList& row) {
    return out << row.join(u'|').toStdString();
}

namespace {

// The keys the dialog writes, each with the control that shows it.
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
// A value for each key; a null one stands for a key that is not in the file.
using KeyValues = std::array<QString, std::size(kKeys)>;

// A USB stick's ports as the system lists them, and the lasting name of one of them.
const QList<config::FoundPort> kPorts{
    {"/dev/ttyUSB0", "HUAWEI Mobile", "HUAWEI"},
    {"/dev/ttyUSB2", "", "HUAWEI"},
    {"/dev/serial/by-id/usb-HUAWEI_Mobile-if02-port0", "/dev/ttyUSB2", ""}};

// The rows of a TAB-separated table in tests/data/config, its backslashes as they stand.
QList<QStringList> rows(const char* name) {
    QList<QStringList> rows;
    for (const QString& line : test::dataLines(QStringLiteral("config/") + QLatin1String(name)))
        rows << line.split(u'\t');
    return rows;
}

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
    std::unique_ptr<frmOptions> open() {
        return std::make_unique<frmOptions>(
            config::Settings(ini, home), QIcon(), [this](QWidget*) { return chosen; },
            [] { return kPorts; });
    }
    void expectStored(const KeyValues& values) const {
        const config::Settings settings(ini, home);
        for (size_t i = 0; i < values.size(); ++i) {
            const auto stored = settings.stored({kKeys[i].section, kKeys[i].key, ""});
            EXPECT_EQ(stored.has_value(), !values[i].isNull()) << kKeys[i].key;
            EXPECT_EQ(stored.value_or(QString()), values[i]) << kKeys[i].key;
        }
    }
    void expectShown(const frmOptions& d, const KeyValues& values) const {
        for (size_t i = 0; i < values.size(); ++i)
            EXPECT_EQ(shown(d, kKeys[i].control), values[i]) << kKeys[i].control;
    }

    QTemporaryDir dir;
    QString home = dir.path() + u'/';
    QString ini = config::HomeFolder::iniPath(home);
    QString chosen;
};

// The port list also shows the stored port, which a pseudo-terminal (a simulated modem) is,
// although no scan of the system finds it.
TEST_F(OptionsDialog, ShowsItsControlsWithTheirCaptionsHintsAndLists) {
    ASSERT_TRUE(config::WriteIniValue(ini, "Options", "ComPort", "/tmp/telvane-modem/link"));
    telvane::testing::expectStored(telvane::testing::describe(open().get()),
                                   QStringLiteral(TELVANE_TEST_DATA "/config/options-dialog.txt"));
}

// A pool's other modems are listed as the file has them, not edited: OK writes the first's port
// into [Options] and leaves their sections as they are.
TEST_F(OptionsDialog, ListsTheOtherModemsAndEditsOnlyTheFirst) {
    ASSERT_TRUE(config::WriteIniValue(ini, "Options", "ComPort", "/dev/ttyUSB0"));
    ASSERT_TRUE(config::WriteIniValue(ini, "Modem usb2", "ComPort", "/dev/ttyUSB4"));
    ASSERT_TRUE(config::WriteIniValue(ini, "Modem usb3", "ComPort", "/dev/ttyACM0"));
    ASSERT_TRUE(config::WriteIniValue(ini, "Modem usb3", "Name", "Склад"));
    const auto dialog = open();
    const auto* list = dialog->findChild<QTreeWidget*>("lstModems");
    ASSERT_NE(list, nullptr);
    ASSERT_EQ(list->topLevelItemCount(), 2);
    EXPECT_EQ(list->topLevelItem(0)->text(0) + u' ' + list->topLevelItem(0)->text(1),
              "usb2 /dev/ttyUSB4");
    EXPECT_EQ(list->topLevelItem(1)->text(0) + u' ' + list->topLevelItem(1)->text(1),
              QString::fromUtf8("Склад /dev/ttyACM0"));
    dialog->showModemStates([](const QString& modem) {
        return modem == u"usb2" ? QStringLiteral("в работе") : QString();
    });
    EXPECT_EQ(dialog->findChild<QTreeWidget*>("lstModems")->topLevelItem(0)->text(2),
              QString::fromUtf8("в работе"));
    dialog->findChild<QPushButton*>("cmdOK")->click();
    EXPECT_EQ(config::ReadIniValue(ini, "Modem usb2", "ComPort", {}), "/dev/ttyUSB4");
    EXPECT_EQ(config::ReadIniValue(ini, "Options", "ComPort", {}), "/dev/ttyUSB0");
}

// The defaults that are only examples (speed, period, SMS centre) stay hints: OK on a fresh
// dialog leaves them out of the file, so the gateway keeps its own and sends with the phone's
// SMS centre; one that an older dialog stored is passed over when sending.
TEST_F(OptionsDialog, OkOnAFreshDialogStoresWhatItShowsAndKeepsTheHintsOut) {
    const auto dialog = open();
    const auto under = [&](const char* name) { return home + name + QDir::separator(); };
    KeyValues values = {"1", "",  "", under("Send"), under("Receive"), under("Logs"), "", "0", "0",
                        "0", "0", "0"};
    expectShown(*dialog, values);
    EXPECT_FALSE(QFile::exists(ini)) << "loading writes nothing";
    dialog->show();
    dialog->findChild<QPushButton*>(QStringLiteral("cmdOK"))->click();
    EXPECT_EQ(dialog->result(), QDialog::Accepted);
    for (const int hinted : {1, 2, 6}) values[hinted] = QString();
    expectStored(values);
    for (const char* smsc : {"", "79xxxxxxxxx", "+79168999100"}) {
        ASSERT_TRUE(config::WriteIniValue(ini, "SMS", "SMSC", QString::fromLatin1(smsc)));
        const config::Settings settings(ini, home);
        const bool used = smsc[0] == '+';
        EXPECT_EQ(config::sendingOptions(settings).smsc, used ? smsc : "");
        EXPECT_EQ(config::ignoredSmscNote(settings).isEmpty(), used || !*smsc) << smsc;
    }
}

TEST_F(OptionsDialog, OkStoresTheBoxesAsTheyStandAndAListedPortAsItsPath) {
    // Letters in the port box and an emptied period are stored unchanged: no value is checked.
    for (const char* key : {"ComPortSpeed", "Period"})
        ASSERT_TRUE(config::WriteIniValue(ini, "Options", key, "60"));
    const KeyValues values = {"COM три",      "115200", "",  "/sms/out", "/sms/in", "logs",
                              "+79161234567", "1",      "0", "1",        "2",       "1"};
    const auto dialog = open();
    for (size_t i = 0; i < values.size(); ++i) enter(*dialog, kKeys[i].control, values[i]);
    dialog->cmdOK_Click();
    expectStored(values);
    expectShown(*open(), values);

    const auto again = open();
    auto* ports = again->findChild<QComboBox*>(QStringLiteral("txtPort0"));
    ports->setCurrentIndex(0);
    emit ports->activated(0);
    again->cmdOK_Click();
    EXPECT_EQ(config::ReadIniValue(ini, "Options", "ComPort", {}), QStringLiteral("/dev/ttyUSB0"));
}

TEST_F(OptionsDialog, CancelAndAFileThatCannotBeWrittenStoreNothing) {
    ASSERT_TRUE(config::WriteIniValue(ini, "Options", "ComPort", "3"));
    const QByteArray before = test::readFile(ini);
    for (const bool byCancel : {true, false}) {
        const auto dialog = open();
        enter(*dialog, "txtPort0", "9");
        enter(*dialog, "chkAutoScroll", "1");
        dialog->show();
        byCancel ? dialog->cmdCancel_Click() : (void)dialog->close();
        EXPECT_FALSE(dialog->isVisible());
        EXPECT_EQ(test::readFile(ini), before) << (byCancel ? "Cancel" : "closing the window");
    }
    // A settings file in the place of which is a folder: the dialog says so and stays open.
    ASSERT_TRUE(QFile::remove(ini) && QDir().mkpath(ini));
    const auto dialog = open();
    dialog->show();
    enter(*dialog, "txtPort0", "9");
    dialog->cmdOK_Click();
    EXPECT_EQ(telvane::testing::visibleMessageBoxes(true),
              QStringList("Ошибка|" + frmOptions::saveFailedText(ini) + "|ОК|3"));
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(shown(*dialog, "txtPort0"), QStringLiteral("9"));
}

TEST_F(OptionsDialog, StoredValuesTheControlsCannotShowShowTheDefault) {
    for (const QStringList& row : rows("options-stored.tsv")) {
        ASSERT_TRUE(config::WriteIniValue(ini, "SMS", row[0], row[1]));
        const auto dialog = open();
        const auto k = std::ranges::find_if(kKeys, [&](auto& k) { return row[0] == k.key; });
        EXPECT_EQ(shown(*dialog, k->control), row[2]) << row;
        dialog->cmdOK_Click();
        EXPECT_EQ(config::ReadIniValue(ini, "SMS", row[0], {}), row[2]) << "OK stores: " << row;
    }
}

// Cancelled, the chooser leaves the box as it was and says nothing; a folder the gateway could
// not find again is refused with a message; a usable one fills its box, to be stored on OK.
TEST_F(OptionsDialog, TheFolderChooserFillsOneBoxOrSaysTheChoiceIsWrong) {
    const auto dialog = open();
    dialog->show();
    const QString before = shown(*dialog, "txtFolders1");
    for (const char* refused : {"", "relative/folder"}) {
        chosen = QString::fromLatin1(refused);
        dialog->findChild<QPushButton*>(QStringLiteral("cmdFolders1"))->click();
        EXPECT_EQ(telvane::testing::visibleMessageBoxes(true).join(u'\n'),
                  *refused ? QStringLiteral("Ошибка|Вы выбрали неправильную папку!|ОК|2") : "");
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
    for (const QStringList& row : rows("folder-paths.tsv")) {
        const auto style =
            row[1] == u"Posix" ? config::PathStyle::Posix : config::PathStyle::Windows;
        EXPECT_EQ(config::isUsableFolder(row[0], style), row[2] == u'1') << row;
    }
    EXPECT_EQ(config::folderDialogTitle(), QStringLiteral("Выберите папку"));
}

}  // namespace
