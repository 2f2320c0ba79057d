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
#include <QRadioButton>
#include <QStringDecoder>
#include <QTemporaryDir>

#include "WidgetTestSupport.h"
#include "config/HomeFolder.h"
#include "config/IniFile.h"
#include "config/widgets/FolderChooser.h"
#include "config/widgets/frmOptions.h"

using namespace telvane;
using config::frmOptions;
using config::PathStyle;

namespace {

class OptionsDialog : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }

    std::unique_ptr<frmOptions> open(config::ChooseFolder chooser = nullptr) {
        if (!chooser) chooser = [this](QWidget*) { return chosen; };
        return std::make_unique<frmOptions>(config::Settings(ini, home), QIcon(), chooser);
    }

    QByteArray fileBytes() const {
        QFile file(ini);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    QStringList fileLines() const {
        QStringDecoder cp1251("windows-1251");
        return QString(cp1251(fileBytes())).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    }

    template <typename W>
    static W* control(const frmOptions& dialog, const char* name) {
        W* w = dialog.findChild<W*>(QString::fromLatin1(name));
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    static QString text(const frmOptions& d, const char* name) {
        auto* edit = control<QLineEdit>(d, name);
        return edit ? edit->text() : QString();
    }
    static void setText(const frmOptions& d, const char* name, const QString& value) {
        if (auto* edit = control<QLineEdit>(d, name)) edit->setText(value);
    }
    static Qt::CheckState check(const frmOptions& d, const char* name) {
        auto* box = control<QCheckBox>(d, name);
        return box ? box->checkState() : Qt::Unchecked;
    }
    static int fileType(const frmOptions& d) {
        for (int i = 0; i < 3; ++i) {
            auto* option = d.findChild<QRadioButton*>(QStringLiteral("optFileType%1").arg(i));
            if (option && option->isChecked()) return i;
        }
        return -1;
    }

    QTemporaryDir dir;
    QString home = dir.path() + u'/';
    QString ini = config::HomeFolder::iniPath(home);
    std::optional<QString> chosen;
};

TEST_F(OptionsDialog, CarriesEveryCaptionGroupAndIndex) {
    const auto dialog = open();
    EXPECT_EQ(dialog->windowTitle(), QStringLiteral("Настройки"));
    const struct {
        const char* name;
        const char* caption;
        const char* group;
    } rows[] = {
        {"fraSend", "Отправка сообщений", nullptr},
        {"chkReport", "Запрашивать отчет о доставке", "fraSend"},
        {"Label1", "Номер SMS центра:", "fraSend"},
        {"txtSMSC", nullptr, "fraSend"},
        {"chkLatin", "Перекодировать русские SMS в латиницу", "fraSend"},
        {"fraFileType", "Прием сообщений", nullptr},
        {"Label2", "Сохранять принятые SMS в:", "fraFileType"},
        {"optFileType0", "Text file", "fraFileType"},
        {"optFileType1", "Word document", "fraFileType"},
        {"optFileType2", "Excel document", "fraFileType"},
        {"chkAutoScroll", "Автопрокрутка страницы", "fraFileType"},
        {"fraPort", "Порт / Телефон", nullptr},
        {"lblPort0", "Порт:", "fraPort"},
        {"lblPort1", "Скорость:", "fraPort"},
        {"lblPort2", "Период опроса (сек):", "fraPort"},
        {"txtPort0", nullptr, "fraPort"},
        {"txtPort1", nullptr, "fraPort"},
        {"txtPort2", nullptr, "fraPort"},
        {"fraFolders", "Рабочие папки", nullptr},
        {"lblFolders0", "Принятые:", "fraFolders"},
        {"lblFolders1", "На отправку:", "fraFolders"},
        {"lblFolders2", "Логи:", "fraFolders"},
        {"txtFolders0", nullptr, "fraFolders"},
        {"txtFolders1", nullptr, "fraFolders"},
        {"txtFolders2", nullptr, "fraFolders"},
        {"cmdFolders0", "...", "fraFolders"},
        {"cmdFolders1", "...", "fraFolders"},
        {"cmdFolders2", "...", "fraFolders"},
        {"cmdOK", "ОК", nullptr},
        {"cmdCancel", "Отмена", nullptr},
    };
    for (const auto& row : rows) {
        auto* w = dialog->findChild<QWidget*>(QString::fromLatin1(row.name));
        ASSERT_NE(w, nullptr) << row.name;
        if (row.caption) {
            QString caption;
            if (auto* g = qobject_cast<QGroupBox*>(w)) caption = g->title();
            if (auto* l = qobject_cast<QLabel*>(w)) caption = l->text();
            if (auto* b = qobject_cast<QAbstractButton*>(w)) caption = b->text();
            EXPECT_EQ(caption, QString::fromUtf8(row.caption)) << row.name;
        }
        if (row.group) {
            EXPECT_EQ(w->parentWidget()->objectName(), QString::fromLatin1(row.group)) << row.name;
        }
    }
    // "ОК" in Cyrillic letters, not the Latin "OK".
    EXPECT_EQ(control<QPushButton>(*dialog, "cmdOK")->text(), QString::fromUtf8("\u041E\u041A"));
    // The three file types in index order, top to bottom.
    dialog->show();
    int lastY = -1;
    for (int i = 0; i < 3; ++i) {
        auto* option = dialog->findChild<QRadioButton*>(QStringLiteral("optFileType%1").arg(i));
        EXPECT_GT(option->y(), lastY);
        lastY = option->y();
    }
}

TEST_F(OptionsDialog, WithoutASettingsFileShowsEveryDefaultAndOkWritesThem) {
    const auto dialog = open();
    const QString sep = QDir::separator();
    EXPECT_EQ(text(*dialog, "txtPort0"), QStringLiteral("1"));
    EXPECT_EQ(text(*dialog, "txtPort1"), QStringLiteral("19200"));
    EXPECT_EQ(text(*dialog, "txtPort2"), QStringLiteral("60"));
    EXPECT_EQ(text(*dialog, "txtFolders0"), home + QStringLiteral("Receive") + sep);
    EXPECT_EQ(text(*dialog, "txtFolders1"), home + QStringLiteral("Send") + sep);
    EXPECT_EQ(text(*dialog, "txtFolders2"), home + QStringLiteral("Logs") + sep);
    EXPECT_EQ(text(*dialog, "txtSMSC"), QStringLiteral("79xxxxxxxxx"));
    EXPECT_EQ(check(*dialog, "chkLatin"), Qt::Unchecked);
    EXPECT_EQ(check(*dialog, "chkAutoScroll"), Qt::Unchecked);
    EXPECT_EQ(check(*dialog, "chkReport"), Qt::Unchecked);
    EXPECT_EQ(fileType(*dialog), 0);
    EXPECT_FALSE(QFile::exists(ini)) << "loading writes nothing";

    dialog->show();
    control<QPushButton>(*dialog, "cmdOK")->click();
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(dialog->result(), QDialog::Accepted);
    // The eleven keys, in the order they were written: each new key goes after the last key
    // of its section, each new section at the end.
    EXPECT_EQ(fileLines(), (QStringList{
                               QStringLiteral("[Options]"),
                               QStringLiteral("ComPort=1"),
                               QStringLiteral("ComPortSpeed=19200"),
                               QStringLiteral("Period=60"),
                               QStringLiteral("[Folders]"),
                               QStringLiteral("Send=") + home + QStringLiteral("Send") + sep,
                               QStringLiteral("Receive=") + home + QStringLiteral("Receive") + sep,
                               QStringLiteral("Logs=") + home + QStringLiteral("Logs") + sep,
                               QStringLiteral("[SMS]"),
                               QStringLiteral("SMSC=79xxxxxxxxx"),
                               QStringLiteral("ToLatin=0"),
                               QStringLiteral("AutoScroll=0"),
                               QStringLiteral("Report=0"),
                               QStringLiteral("FileType=0"),
                           }));
}

TEST_F(OptionsDialog, OkWritesTheBoxesAsTheyStandAndReopeningShowsThem) {
    {
        const auto dialog = open();
        setText(*dialog, "txtPort0", QStringLiteral("COM три"));  // letters, written unchanged
        setText(*dialog, "txtPort1", QStringLiteral("115200"));
        setText(*dialog, "txtPort2", QString());  // empty, written empty
        setText(*dialog, "txtFolders0", QStringLiteral("/srv/sms/in"));
        setText(*dialog, "txtFolders1", QStringLiteral("/srv/sms/out"));
        setText(*dialog, "txtFolders2", QStringLiteral("relative/logs"));
        setText(*dialog, "txtSMSC", QStringLiteral("+79161234567"));
        control<QCheckBox>(*dialog, "chkLatin")->setChecked(true);
        control<QCheckBox>(*dialog, "chkReport")->setChecked(true);
        control<QRadioButton>(*dialog, "optFileType2")->setChecked(true);
        dialog->cmdOK_Click();
    }
    const QStringList lines = fileLines();
    EXPECT_TRUE(lines.contains(QStringLiteral("ComPort=COM три")));
    EXPECT_TRUE(lines.contains(QStringLiteral("Period=")));
    EXPECT_TRUE(lines.contains(QStringLiteral("ToLatin=1")));
    EXPECT_TRUE(lines.contains(QStringLiteral("AutoScroll=0")));
    EXPECT_TRUE(lines.contains(QStringLiteral("FileType=2")));
    EXPECT_EQ(lines.size(), 14);

    const auto reopened = open();
    EXPECT_EQ(text(*reopened, "txtPort0"), QStringLiteral("COM три"));
    EXPECT_EQ(text(*reopened, "txtPort1"), QStringLiteral("115200"));
    EXPECT_EQ(text(*reopened, "txtPort2"), QString()) << "an empty stored value is a value";
    EXPECT_EQ(text(*reopened, "txtFolders0"), QStringLiteral("/srv/sms/in"));
    EXPECT_EQ(text(*reopened, "txtFolders1"), QStringLiteral("/srv/sms/out"));
    EXPECT_EQ(text(*reopened, "txtFolders2"), QStringLiteral("relative/logs"));
    EXPECT_EQ(text(*reopened, "txtSMSC"), QStringLiteral("+79161234567"));
    EXPECT_EQ(check(*reopened, "chkLatin"), Qt::Checked);
    EXPECT_EQ(check(*reopened, "chkAutoScroll"), Qt::Unchecked);
    EXPECT_EQ(check(*reopened, "chkReport"), Qt::Checked);
    EXPECT_EQ(fileType(*reopened), 2);
}

TEST_F(OptionsDialog, CancelAndClosingWriteNothing) {
    const auto edit = [](frmOptions& d) {
        setText(d, "txtPort0", QStringLiteral("9"));
        control<QCheckBox>(d, "chkAutoScroll")->setChecked(true);
    };
    {
        const auto dialog = open();
        edit(*dialog);
        dialog->show();
        control<QPushButton>(*dialog, "cmdCancel")->click();
        EXPECT_FALSE(dialog->isVisible());
    }
    EXPECT_FALSE(QFile::exists(ini)) << "Cancel with no file creates none";

    ASSERT_TRUE(config::WriteIniValue(ini, QStringLiteral("Options"), QStringLiteral("ComPort"),
                                      QStringLiteral("3")));
    const QByteArray before = fileBytes();
    for (const bool byCancel : {true, false}) {
        const auto dialog = open();
        edit(*dialog);
        dialog->show();
        byCancel ? dialog->cmdCancel_Click() : (void)dialog->close();
        EXPECT_EQ(fileBytes(), before) << (byCancel ? "Cancel" : "closing the window");
        EXPECT_EQ(text(*open(), "txtPort0"), QStringLiteral("3")) << "reopening shows the stored";
    }
}

TEST_F(OptionsDialog, StoredValuesTheControlsCannotShowShowTheDefault) {
    const struct {
        const char* stored;
        Qt::CheckState check;
    } checks[] = {
        {"0", Qt::Unchecked},     {"1", Qt::Checked},     {"2", Qt::PartiallyChecked},
        {" 1 ", Qt::Checked},     {"1.4", Qt::Checked},   {"3", Qt::Unchecked},
        {"-1", Qt::Unchecked},    {"yes", Qt::Unchecked}, {"", Qt::Unchecked},
        {"99999", Qt::Unchecked},
    };
    for (const auto& row : checks) {
        for (const char* key : {"ToLatin", "AutoScroll", "Report"}) {
            config::WriteIniValue(ini, QStringLiteral("SMS"), QString::fromLatin1(key),
                                  QString::fromUtf8(row.stored));
        }
        const auto dialog = open();
        EXPECT_EQ(check(*dialog, "chkLatin"), row.check) << row.stored;
        EXPECT_EQ(check(*dialog, "chkAutoScroll"), row.check) << row.stored;
        EXPECT_EQ(check(*dialog, "chkReport"), row.check) << row.stored;
    }

    const struct {
        const char* stored;
        int option;
    } fileTypes[] = {
        {"0", 0}, {"1", 1},  {"2", 2}, {"1 Word", 1}, {"2.4", 2},
        {"3", 0}, {"-1", 0}, {"x", 0}, {"70000", 0},
    };
    for (const auto& row : fileTypes) {
        config::WriteIniValue(ini, QStringLiteral("SMS"), QStringLiteral("FileType"),
                              QString::fromUtf8(row.stored));
        EXPECT_EQ(fileType(*open()), row.option) << row.stored;
    }
}

TEST_F(OptionsDialog, AGreyedCheckBoxIsStoredAsTwo) {
    config::WriteIniValue(ini, QStringLiteral("SMS"), QStringLiteral("Report"),
                          QStringLiteral("2"));
    open()->cmdOK_Click();
    EXPECT_TRUE(fileLines().contains(QStringLiteral("Report=2")));
}

TEST_F(OptionsDialog, TheFolderChooserFillsOneBoxOrSaysTheChoiceIsWrong) {
    const auto dialog = open();
    dialog->show();
    const QString before = text(*dialog, "txtFolders1");

    chosen.reset();
    const auto boxes = telvane::testing::answerModalBoxes(
        [&] { control<QPushButton>(*dialog, "cmdFolders1")->click(); });
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].title, QStringLiteral("Ошибка"));
    EXPECT_EQ(boxes[0].text, QStringLiteral("Вы выбрали неправильную папку!"));
    EXPECT_EQ(boxes[0].icon, QMessageBox::Warning);
    EXPECT_EQ(text(*dialog, "txtFolders1"), before) << "the box keeps its value";

    for (int index = 0; index < 3; ++index) {
        chosen = QStringLiteral("/data/folder%1").arg(index);
        const auto none =
            telvane::testing::answerModalBoxes([&] { dialog->cmdFolders_Click(index); });
        EXPECT_TRUE(none.empty());
        EXPECT_EQ(text(*dialog, QStringLiteral("txtFolders%1").arg(index).toLatin1().constData()),
                  *chosen);
    }
    EXPECT_FALSE(QFile::exists(ini)) << "only OK writes the chosen folders";
}

TEST(FolderPaths, OnlyAbsolutePathsOfThePlatformAreUsable) {
    const struct {
        const char* path;
        PathStyle style;
        bool usable;
    } rows[] = {
        {"C:\\SMS\\Send", PathStyle::Windows, true},
        {"D:\\", PathStyle::Windows, true},
        {"\\\\server\\share\\sms", PathStyle::Windows, true},
        {"::{20D04FE0-3AEA-1069-A2D8-08002B30309D}", PathStyle::Windows, false},
        {"\\x\\y", PathStyle::Windows, false},
        {"SMS\\Send", PathStyle::Windows, false},
        {"C", PathStyle::Windows, false},
        {"", PathStyle::Windows, false},
        {"/home/sms/Send", PathStyle::Posix, true},
        {"/", PathStyle::Posix, true},
        {"home/sms", PathStyle::Posix, false},
        {"C:\\SMS", PathStyle::Posix, false},
        {"", PathStyle::Posix, false},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(config::isUsableFolder(QString::fromUtf8(row.path), row.style), row.usable)
            << row.path;
    }
    EXPECT_EQ(config::folderDialogTitle(), QStringLiteral("Выберите папку"));
}

}  // namespace
