// The tray's view on the offscreen platform: what the notification area is given, which mouse
// codes reach OnIcon and what they open, the menu as the engine's states make it, and the
// windows the menu opens.
#include <gtest/gtest.h>

#include <QAction>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>

#include "WidgetTestSupport.h"
#include "config/HomeFolder.h"
#include "config/widgets/frmOptions.h"
#include "tray/AboutBox.h"
#include "tray/StatusIcons.h"
#include "tray/TrayIcon.h"
#include "tray/frmMain.h"

using namespace telvane;
using telvane::testing::closeVisibleMessageBoxes;
using telvane::testing::describe;
using telvane::testing::visibleMessageBoxes;
using tray::TrayIcon;

namespace {

QImage picture(const QIcon& icon) { return icon.pixmap(32, 32).toImage(); }

TEST(TrayIconComponent, ShowsNothingBeforeAddAndTheCutTooltipAfter) {
    TrayIcon tray;
    tray.setIcon(tray::iconFor(1));
    tray.setToolTipText(QString(100, u'ж'));
    tray.Modify();
    tray.Delete();
    EXPECT_FALSE(tray.shown().isVisible()) << "Modify and Delete before Add address no icon";
    EXPECT_TRUE(tray.shown().toolTip().isEmpty());

    tray.Add();
    EXPECT_TRUE(tray.shown().isVisible());
    EXPECT_EQ(tray.shown().toolTip(), QString(63, u'ж'));
    EXPECT_EQ(tray.ToolTipText(), QString(100, u'ж')) << "the property keeps the whole text";

    tray.setIcon(tray::iconFor(4));
    tray.setToolTipText(QStringLiteral("Поиск файлов для отправки"));
    EXPECT_EQ(tray.shown().toolTip(), QString(63, u'ж')) << "setting only stores";
    tray.Modify();
    EXPECT_TRUE(tray.shown().isVisible()) << "Modify updates without removing the icon";
    EXPECT_EQ(tray.shown().toolTip(), QStringLiteral("Поиск файлов для отправки"));
    EXPECT_EQ(picture(tray.shown().icon()), picture(tray::iconFor(4)));

    tray.Delete();
    EXPECT_FALSE(tray.shown().isVisible());
    tray.setToolTipText(QStringLiteral("Telvane"));
    tray.Modify();
    EXPECT_FALSE(tray.shown().isVisible()) << "Modify after Delete does not bring it back";
}

TEST(TrayIconComponent, ActivationsReachOnIconAsMouseCodes) {
    const struct {
        QSystemTrayIcon::ActivationReason reason;
        std::optional<qint16> code;
    } rows[] = {
        {QSystemTrayIcon::Trigger, 2},
        {QSystemTrayIcon::DoubleClick, 3},
        {QSystemTrayIcon::Context, 5},
        {QSystemTrayIcon::MiddleClick, 8},
        {QSystemTrayIcon::Unknown, std::nullopt},
    };
    TrayIcon tray;
    std::vector<qint16> raised;
    QObject::connect(&tray, &TrayIcon::OnIcon, [&](qint16 code) { raised.push_back(code); });
    for (const auto& row : rows) {
        raised.clear();
        emit tray.systemTrayIcon().activated(row.reason);
        EXPECT_EQ(tray::mouseButtonFor(row.reason), row.code);
        if (row.code) {
            EXPECT_EQ(raised, std::vector<qint16>{*row.code}) << row.reason;
        } else {
            EXPECT_TRUE(raised.empty()) << row.reason;
        }
    }
}

class TrayView : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(home.isValid());
        model.SetStatus(QStringLiteral("Telvane"));
        view.load();
    }
    void TearDown() override {
        view.tearDown();
        closeVisibleMessageBoxes();
    }

    QTemporaryDir home;
    QString ini = config::HomeFolder::iniPath(home.path() + u'/');
    tray::TrayStatusModel model;
    tray::frmMain view{model, config::Settings(ini, home.path()), QStringLiteral("1.2.3"),
                       [](QWidget*) { return std::optional<QString>(); }};
};

TEST_F(TrayView, MenuHoldsTheFourItemsWithStartAsDefault) {
    const QList<QAction*> actions = view.mnuMain().actions();
    ASSERT_EQ(actions.size(), 4);
    const char* captions[] = {"Старт", "Настройка", "Выход", "О программе"};
    const char* names[] = {"itmStart", "itmOptions", "itmExit", "itmAbout"};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(actions[i]->text(), QString::fromUtf8(captions[i]));
        EXPECT_EQ(actions[i]->objectName(), QString::fromLatin1(names[i]));
        EXPECT_TRUE(actions[i]->isEnabled());
    }
    EXPECT_EQ(view.mnuMain().title(), QStringLiteral("Меню"));
    EXPECT_EQ(view.mnuMain().defaultAction(), view.itmStart()) << "the default item is drawn bold";
}

TEST_F(TrayView, MenuItemsFollowTheEngine) {
    const tray::MenuItems rows[] = {
        {false, false, true, true},   // in service
        {false, false, false, true},  // polling
        {true, true, true, true},     // start failed
        {false, true, false, false},
    };
    for (const auto& row : rows) {
        model.setMenu(row.start, row.options, row.exit, row.about);
        EXPECT_EQ(view.itmStart()->isEnabled(), row.start);
        EXPECT_EQ(view.itmOptions()->isEnabled(), row.options);
        EXPECT_EQ(view.itmExit()->isEnabled(), row.exit);
        EXPECT_EQ(view.itmAbout()->isEnabled(), row.about);
    }
}

TEST_F(TrayView, StatusReachesTheTooltipAndIcon) {
    EXPECT_TRUE(view.cTray().shown().isVisible());
    EXPECT_EQ(view.cTray().shown().toolTip(), QStringLiteral("Telvane"));
    EXPECT_EQ(picture(view.cTray().shown().icon()), picture(tray::applicationIcon()))
        << "the application icon until the first status icon";

    const QString port = QStringLiteral("Открыть порт: COM1; 9600; ") + QString(80, u'n');
    model.SetStatus(port);
    EXPECT_EQ(view.cTray().shown().toolTip(), port.left(63));
    model.SetStatusIcon(3);
    EXPECT_EQ(picture(view.cTray().shown().icon()), picture(tray::iconFor(3)));
    EXPECT_EQ(view.cTray().shown().toolTip(), port.left(63)) << "an icon change keeps the text";
}

TEST_F(TrayView, MouseCodesOpenTheMessageBoxAndTheMenu) {
    const struct {
        QSystemTrayIcon::ActivationReason reason;
        bool box;
        bool menu;
    } rows[] = {
        {QSystemTrayIcon::Trigger, false, false},
        {QSystemTrayIcon::MiddleClick, false, false},
        {QSystemTrayIcon::DoubleClick, true, false},
        {QSystemTrayIcon::Context, false, true},
    };
    for (const auto& row : rows) {
        emit view.cTray().systemTrayIcon().activated(row.reason);
        const auto boxes = visibleMessageBoxes();
        ASSERT_EQ(boxes.size(), row.box ? 1u : 0u) << row.reason;
        if (row.box) {
            const auto seen = describe(boxes[0]);
            EXPECT_EQ(seen.title, QStringLiteral("Telvane"));
            EXPECT_EQ(seen.text, QStringLiteral("LeftDoubleClick on TrayIcon"));
            EXPECT_EQ(seen.icon, QMessageBox::NoIcon);
            EXPECT_FALSE(seen.modal) << "the gateway keeps running while it is open";
        }
        EXPECT_EQ(view.mnuMain().isVisible(), row.menu) << row.reason;
        closeVisibleMessageBoxes();
        view.mnuMain().close();
    }
}

TEST_F(TrayView, ChoosingItemsAsksTheEngine) {
    int starts = 0;
    int exits = 0;
    QObject::connect(&view, &tray::frmMain::startRequested, [&] { ++starts; });
    QObject::connect(&view, &tray::frmMain::exitRequested, [&] { ++exits; });
    view.itmStart()->trigger();
    view.itmExit()->trigger();
    EXPECT_EQ(starts, 1);
    EXPECT_EQ(exits, 1);
    model.setMenu(false, false, false, true);
    view.itmStart()->trigger();
    EXPECT_EQ(starts, 1) << "a greyed item cannot be chosen";
}

TEST_F(TrayView, FailureBoxesCarryTheirTitleTextAndIcon) {
    view.showStartFailure(QStringLiteral("Ошибка соединения"), QStringLiteral("Порт не открыт."));
    view.showPortMessage(QStringLiteral("Unable to build Comm DCB 9600,q,8,1 Error: 22"));
    auto boxes = visibleMessageBoxes();
    ASSERT_EQ(boxes.size(), 2u);
    std::sort(boxes.begin(), boxes.end(),
              [](QMessageBox* a, QMessageBox* b) { return a->windowTitle() < b->windowTitle(); });
    EXPECT_EQ(boxes[0]->windowTitle(), QStringLiteral("Telvane"));
    EXPECT_EQ(boxes[0]->icon(), QMessageBox::NoIcon);
    EXPECT_EQ(boxes[0]->text(), QStringLiteral("Unable to build Comm DCB 9600,q,8,1 Error: 22"));
    EXPECT_EQ(boxes[1]->windowTitle(), QStringLiteral("Ошибка соединения"));
    EXPECT_EQ(boxes[1]->icon(), QMessageBox::Critical);
    view.tearDown();
    EXPECT_TRUE(visibleMessageBoxes().empty()) << "tear-down closes every window";
    EXPECT_FALSE(view.cTray().shown().isVisible());
}

TEST_F(TrayView, DialogsTakeTheIconOfTheMomentAndOpenOnce) {
    model.SetStatusIcon(5);
    view.itmOptions_Click();
    QPointer<config::frmOptions> options = view.optionsDialog();
    ASSERT_TRUE(options);
    EXPECT_TRUE(options->isVisible());
    EXPECT_FALSE(options->isModal());
    EXPECT_EQ(options->windowTitle(), QStringLiteral("Настройки"));
    EXPECT_EQ(picture(options->windowIcon()), picture(tray::iconFor(5)));
    view.itmOptions_Click();
    EXPECT_EQ(view.optionsDialog(), options.data()) << "a second choice brings the open one up";

    model.SetStatusIcon(2);
    view.itmAbout_Click();
    tray::AboutBox* about = view.aboutBox();
    ASSERT_NE(about, nullptr);
    EXPECT_FALSE(about->isModal());
    EXPECT_EQ(picture(about->windowIcon()), picture(tray::iconFor(2)));
    EXPECT_EQ(picture(options->windowIcon()), picture(tray::iconFor(5)))
        << "an open dialog keeps the icon it opened with";

    view.tearDown();
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(options) << "tear-down closes the options dialog";
}

TEST(AboutBoxWindow, ShowsDescriptionVersionAuthorAndClosesWithOk) {
    tray::AboutBox about(QStringLiteral("0.1.0"), tray::applicationIcon());
    about.show();
    const auto text = [&](const char* name) {
        const auto* label = about.findChild<QLabel*>(QString::fromLatin1(name));
        return label ? label->text() : QString();
    };
    EXPECT_EQ(text("lblDescription"),
              QStringLiteral("Прием и отправка SMS сообщений С сотовых телефонов стандарта GSM"));
    EXPECT_TRUE(text("lblVersion").endsWith(QStringLiteral("0.1.0")));
    EXPECT_FALSE(text("lblAuthor").isEmpty());
    EXPECT_FALSE(text("lblRights").isEmpty());
    const auto* picture = about.findChild<QLabel*>(QStringLiteral("imgIcon"));
    ASSERT_NE(picture, nullptr);
    EXPECT_FALSE(picture->pixmap().isNull());
    auto* ok = about.findChild<QPushButton*>(QStringLiteral("cmdOK"));
    ASSERT_NE(ok, nullptr);
    ok->click();
    EXPECT_FALSE(about.isVisible());
}

TEST(StatusIconPictures, EveryIndexHasItsOwnPicture) {
    std::vector<QImage> pictures;
    for (int index = tray::kApplicationIcon; index <= tray::kLastStatusIcon; ++index) {
        const QIcon icon = tray::iconFor(index);
        ASSERT_FALSE(icon.isNull()) << index;
        for (const int size : {16, 22, 32}) {
            const QImage image = icon.pixmap(size, size).toImage();
            EXPECT_EQ(image.size(), QSize(size, size)) << index;
        }
        pictures.push_back(picture(icon));
    }
    for (size_t a = 0; a < pictures.size(); ++a)
        for (size_t b = a + 1; b < pictures.size(); ++b)
            EXPECT_NE(pictures[a], pictures[b]) << a << " and " << b << " look the same";
    EXPECT_TRUE(tray::iconFor(7).isNull());
}

}  // namespace
