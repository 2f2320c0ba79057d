// The options dialog against real settings files: what it shows with no file and with stored
// values, the exact file that OK leaves, Cancel leaving the file alone, and the folder chooser's
// answers.
#include <gtest/gtest.h>

#include <QButtonGroup>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStringDecoder>
#include <QTemporaryDir>

#include "WidgetTestSupport.h"
#include "config/HomeFolder.h"
#include "config/IniFile.h"
#include "config/widgets/FolderChooser.h"
#include "config/widgets/frmOptions.h"

using namespace telvane;
using config::frmOptions;

namespace {

// The eleven keys in the order OK writes them, each with the control that shows it.
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
             {"SMS", "FileType", "optFileType"}};
using KeyValues = std::array<QString, std::size(kKeys)>;

// What a control shows, as its key stores it: a check box 0 clear, 1 checked, 2 greyed; the
// file types the index of the chosen one.
QString shown(const frmOptions& d, const char* control) {
    const QString name = QString::fromLatin1(control);
    if (auto* edit = d.findChild<QLineEdit*>(name)) return edit->text();
    if (auto* box = d.findChild<QCheckBox*>(name))
        return QString::number(box->checkState() == Qt::PartiallyChecked ? 2 : box->isChecked());
    return QString::number(d.findChild<QButtonGroup*>(name)->checkedId());
}

void enter(const frmOptions& d, const char* control, const QString& value) {
    const QString name = QString::fromLatin1(control);
    if (auto* edit = d.findChild<QLineEdit*>(name)) return edit->setText(value);
    if (auto* box = d.findChild<QCheckBox*>(name)) return box->setChecked(value == u'1');
    d.findChild<QButtonGroup*>(name)->button(value.toInt())->setChecked(true);
}

class OptionsDialog : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }

    std::unique_ptr<frmOptions> open() {
        return std::make_unique<frmOptions>(config::Settings(ini, home), QIcon(),
                                            [this](QWidget*) { return chosen; });
    }
    QByteArray fileBytes() const {
        QFile file(ini);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    // The file OK leaves where there was none: each section begins where its first key goes.
    void expectFileOf(const KeyValues& values) const {
        QStringList lines;
        for (size_t i = 0; i < values.size(); ++i) {
            if (i == 0 || qstrcmp(kKeys[i].section, kKeys[i - 1].section) != 0)
                lines << u'[' + QString::fromLatin1(kKeys[i].section) + u']';
            lines << QString::fromLatin1(kKeys[i].key) + u'=' + values[i];
        }
        const QString file = QStringDecoder("windows-1251").decode(fileBytes());
        EXPECT_EQ(file.split(QStringLiteral("\r\n"), Qt::SkipEmptyParts), lines);
    }
    void expectShown(const frmOptions& d, const KeyValues& values) const {
        for (size_t i = 0; i < values.size(); ++i)
            EXPECT_EQ(shown(d, kKeys[i].control), values[i]) << kKeys[i].control;
    }

    QTemporaryDir dir;
    QString home = dir.path() + u'/';
    QString ini = config::HomeFolder::iniPath(home);
    std::optional<QString> chosen;
};

TEST_F(OptionsDialog, CarriesEveryCaptionGroupAndIndex) {
    const auto dialog = open();
    dialog->show();
    EXPECT_EQ(dialog->windowTitle(), QStringLiteral("Настройки"));
    // Each window, then the controls in it as "name=caption" (a text box has none). "ОК" is in
    // Cyrillic letters, not the Latin "OK".
    const std::pair<QString, QStringList> windows[] = {
        {"frmOptions",
         {"fraSend=Отправка сообщений", "fraFileType=Прием сообщений", "fraPort=Порт / Телефон",
          "fraFolders=Рабочие папки", "cmdOK=\u041E\u041A", "cmdCancel=Отмена"}},
        {"fraSend",
         {"chkReport=Запрашивать отчет о доставке", "Label1=Номер SMS центра:", "txtSMSC=",
          "chkLatin=Перекодировать русские SMS в латиницу"}},
        {"fraFileType",
         {"Label2=Сохранять принятые SMS в:", "optFileType0=Text file",
          "optFileType1=Word document", "optFileType2=Excel document",
          "chkAutoScroll=Автопрокрутка страницы"}},
        {"fraPort",
         {"lblPort0=Порт:", "lblPort1=Скорость:", "lblPort2=Период опроса (сек):", "txtPort0=",
          "txtPort1=", "txtPort2="}},
        {"fraFolders",
         {"lblFolders0=Принятые:", "lblFolders1=На отправку:", "lblFolders2=Логи:", "txtFolders0=",
          "txtFolders1=", "txtFolders2=", "cmdFolders0=...", "cmdFolders1=...",
          "cmdFolders2=..."}}};
    int lastFileTypeY = -1;
    for (const auto& [parent, controls] : windows) {
        for (const QString& control : controls) {
            const QString name = control.section(u'=', 0, 0);
            auto* w = dialog->findChild<QWidget*>(name);
            ASSERT_NE(w, nullptr) << name.toStdString();
            EXPECT_EQ(w->parentWidget()->objectName(), parent);
            QString text;
            if (auto* g = qobject_cast<QGroupBox*>(w)) text = g->title();
            if (auto* l = qobject_cast<QLabel*>(w)) text = l->text();
            if (auto* b = qobject_cast<QAbstractButton*>(w)) text = b->text();
            EXPECT_EQ(text, control.section(u'=', 1));
            // The three file types in index order, top to bottom.
            if (name.startsWith(QStringLiteral("optFileType"))) {
                EXPECT_GT(w->y(), lastFileTypeY) << name.toStdString();
                lastFileTypeY = w->y();
            }
        }
    }
}

TEST_F(OptionsDialog, WithoutASettingsFileShowsEveryDefaultAndOkWritesTheElevenKeys) {
    const auto dialog = open();
    const auto under = [&](const char* name) { return home + name + QDir::separator(); };
    const KeyValues defaults = {
        "1", "19200", "60", under("Send"), under("Receive"), under("Logs"), "79xxxxxxxxx", "0",
        "0", "0",     "0"};
    expectShown(*dialog, defaults);
    EXPECT_FALSE(QFile::exists(ini)) << "loading writes nothing";
    dialog->show();
    dialog->findChild<QPushButton*>(QStringLiteral("cmdOK"))->click();
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(dialog->result(), QDialog::Accepted);
    expectFileOf(defaults);
}

TEST_F(OptionsDialog, OkWritesTheBoxesAsTheyStandAndReopeningShowsThem) {
    // Letters in the port box and an empty period are written unchanged: no value is checked.
    const KeyValues values = {"COM три",      "115200", "",  "/sms/out", "/sms/in", "logs",
                              "+79161234567", "1",      "0", "1",        "2"};
    const auto dialog = open();
    for (size_t i = 0; i < values.size(); ++i) enter(*dialog, kKeys[i].control, values[i]);
    dialog->cmdOK_Click();
    expectFileOf(values);
    expectShown(*open(), values);
}

TEST_F(OptionsDialog, CancelAndClosingWriteNothing) {
    for (const char* stored : {"", "3"}) {
        if (*stored) {
            ASSERT_TRUE(
                config::WriteIniValue(ini, "Options", "ComPort", QString::fromLatin1(stored)));
        }
        const QByteArray before = fileBytes();
        for (const bool byCancel : {true, false}) {
            const auto dialog = open();
            enter(*dialog, "txtPort0", "9");
            enter(*dialog, "chkAutoScroll", "1");
            dialog->show();
            if (byCancel) dialog->findChild<QPushButton*>(QStringLiteral("cmdCancel"))->click();
            if (!byCancel) dialog->close();
            EXPECT_FALSE(dialog->isVisible());
            EXPECT_EQ(QFile::exists(ini), *stored != 0) << "Cancel with no file creates none";
            EXPECT_EQ(fileBytes(), before) << (byCancel ? "Cancel" : "closing the window");
        }
    }
    EXPECT_EQ(shown(*open(), "txtPort0"), QStringLiteral("3")) << "reopening shows the stored";
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
        ASSERT_TRUE(config::WriteIniValue(ini, "SMS", key, QString::fromLatin1(row.stored)));
        const auto dialog = open();
        for (const auto& k : kKeys) {
            if (key == QLatin1String(k.key)) {
                EXPECT_EQ(shown(*dialog, k.control), row.shown) << row.key << '=' << row.stored;
            }
        }
        dialog->cmdOK_Click();
        EXPECT_EQ(config::ReadIniValue(ini, "SMS", key, QString()), row.shown)
            << "OK writes what is shown: " << row.key << '=' << row.stored;
    }
}

TEST_F(OptionsDialog, TheFolderChooserFillsOneBoxOrSaysTheChoiceIsWrong) {
    const auto dialog = open();
    dialog->show();
    const QString before = shown(*dialog, "txtFolders1");
    const auto boxes = telvane::testing::answerModalBoxes(
        [&] { dialog->findChild<QPushButton*>(QStringLiteral("cmdFolders1"))->click(); });
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].title, QStringLiteral("Ошибка"));
    EXPECT_EQ(boxes[0].text, QStringLiteral("Вы выбрали неправильную папку!"));
    EXPECT_EQ(boxes[0].icon, QMessageBox::Warning);
    EXPECT_EQ(shown(*dialog, "txtFolders1"), before) << "the box keeps its value";

    for (const int index : {0, 1, 2}) {
        chosen = QStringLiteral("/data/folder%1").arg(index);
        const auto none =
            telvane::testing::answerModalBoxes([&] { dialog->cmdFolders_Click(index); });
        EXPECT_TRUE(none.empty());
        EXPECT_EQ(shown(*dialog, kKeys[std::array{4, 3, 5}[index]].control), *chosen);
    }
    EXPECT_FALSE(QFile::exists(ini)) << "only OK writes the chosen folders";
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
