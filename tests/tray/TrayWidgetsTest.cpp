// The tray's view on the offscreen platform: which mouse codes reach OnIcon and what they open,
// the menu as the engine allows it, what the notification area is given, and the windows the
// view opens.
#include <gtest/gtest.h>

#include <QAction>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>

#include "WidgetTestSupport.h"
#include "config/HomeFolder.h"
#include "tray/StatusIcons.h"
#include "tray/frmMain.h"

using namespace telvane;
using telvane::testing::visibleMessageBoxes;
using tray::iconFor;

namespace {

QImage picture(const QIcon& icon) { return icon.pixmap(32, 32).toImage(); }

class TrayView : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(home.isValid());
        model.SetStatus(QStringLiteral("Telvane"));
        view.load();
    }
    void TearDown() override {
        view.tearDown();
        visibleMessageBoxes(true);
    }
    const QSystemTrayIcon& shown() { return view.cTray().shown(); }

    QTemporaryDir home;
    tray::TrayStatusModel model;
    tray::frmMain view{model,
                       {config::HomeFolder::iniPath(home.path() + u'/'), home.path()},
                       QStringLiteral("1.2.3"),
                       [](QWidget*) { return QString(); }};
};

TEST_F(TrayView, ActivationsReachOnIconAsMouseCodesAndOpenTheBoxOrTheMenu) {
    const struct {
        QSystemTrayIcon::ActivationReason reason;
        std::vector<qint16> codes;
        size_t boxes;
        bool menu;
    } rows[] = {{QSystemTrayIcon::Trigger, {2}, 0, false},
                {QSystemTrayIcon::DoubleClick, {3}, 1, false},
                {QSystemTrayIcon::Context, {5}, 0, true},
                {QSystemTrayIcon::MiddleClick, {8}, 0, false},
                {QSystemTrayIcon::Unknown, {}, 0, false}};
    std::vector<qint16> raised;
    QObject::connect(&view.cTray(), &tray::TrayIcon::OnIcon,
                     [&](qint16 c) { raised.push_back(c); });
    for (const auto& row : rows) {
        raised.clear();
        emit view.cTray().systemTrayIcon().activated(row.reason);
        EXPECT_EQ(raised, row.codes) << row.reason;
        EXPECT_EQ(view.mnuMain().isVisible(), row.menu) << row.reason;
        view.mnuMain().close();
        const auto boxes = visibleMessageBoxes(true);
        ASSERT_EQ(boxes.size(), row.boxes) << row.reason;
        for (const auto& box : boxes) {
            EXPECT_EQ(box.title, QStringLiteral("Telvane"));
            EXPECT_EQ(box.text, QStringLiteral("LeftDoubleClick on TrayIcon"));
            EXPECT_EQ(box.icon, QMessageBox::NoIcon);
            EXPECT_FALSE(box.modal) << "the gateway keeps running while it is open";
        }
    }
}

TEST_F(TrayView, MenuOffersTheFourItemsAsTheEngineAllows) {
    const QList<QAction*> actions = view.mnuMain().actions();
    const char* items[][2] = {{"Старт", "itmStart"},
                              {"Настройка", "itmOptions"},
                              {"Выход", "itmExit"},
                              {"О программе", "itmAbout"}};
    ASSERT_EQ(actions.size(), 4);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(actions[i]->text(), QString::fromUtf8(items[i][0]));
        EXPECT_EQ(actions[i]->objectName(), QString::fromLatin1(items[i][1]));
    }
    EXPECT_EQ(view.mnuMain().title(), QStringLiteral("Меню"));
    EXPECT_EQ(view.mnuMain().defaultAction(), view.itmStart()) << "the default item is drawn bold";

    int starts = 0;
    int exits = 0;
    QObject::connect(&view, &tray::frmMain::startRequested, [&] { ++starts; });
    QObject::connect(&view, &tray::frmMain::exitRequested, [&] { ++exits; });
    // Each item has its own pattern down the rows, so that no two can be swapped unnoticed;
    // "Выход" can always be chosen, and its tooltip then says that the gateway is finishing.
    const std::array<bool, 3> rows[] = {
        {true, true, true}, {false, false, true}, {false, true, false}, {false, false, false}};
    for (const auto& row : rows) {
        model.setMenu({row[0], row[1], row[2]});
        for (int i = 0; i < 4; ++i)
            EXPECT_EQ(actions[i]->isEnabled(), i == 2 || row[i < 2 ? i : 2]) << i;
        view.itmStart()->trigger();
        view.itmExit()->trigger();
    }
    EXPECT_EQ(starts, 1) << "a greyed item cannot be chosen";
    EXPECT_EQ(exits, 4);
    model.SetStatus(QStringLiteral("Чтение сообщений из телефона"));
    EXPECT_EQ(shown().toolTip(), QStringLiteral("Завершение после опроса..."));
}

TEST_F(TrayView, StatusReachesTheIconAndTheCutTooltipUntilTearDownClosesAll) {
    EXPECT_TRUE(shown().isVisible());
    EXPECT_EQ(picture(shown().icon()), picture(tray::applicationIcon()))
        << "the application icon until the first status icon";
    const QString port = QStringLiteral("Открыть порт: COM1; 9600; ") + QString(80, u'n');
    model.SetStatus(port);
    model.SetStatusIcon(3);
    EXPECT_EQ(picture(shown().icon()), picture(iconFor(3)));
    EXPECT_EQ(shown().toolTip(), port.left(63)) << "an icon change keeps the text";

    // A port that refused its settings: its own words first, the general box after them.
    view.showStartFailure({gateway::ConnectOutcome::PortNotOpened,
                           QStringLiteral("Unable to build Comm DCB abc,n,8,1 Error: 22"), 10});
    for (const auto& [title, text, icon] :
         {std::tuple{"Telvane", "Unable to build Comm DCB abc,n,8,1 Error: 22",
                     QMessageBox::NoIcon},
          std::tuple{"Ошибка соединения",
                     "Порт не открыт. Проверьте правильность настроек порта а также, не занят ли "
                     "он другой программой.",
                     QMessageBox::Critical}}) {
        const auto boxes = visibleMessageBoxes(true);
        ASSERT_EQ(boxes.size(), 1u) << "one box at a time";
        EXPECT_EQ(boxes[0].title, QString::fromUtf8(title));
        EXPECT_EQ(boxes[0].text, QString::fromUtf8(text));
        EXPECT_EQ(boxes[0].icon, icon);
        EXPECT_EQ(boxes[0].ok, QStringLiteral("ОК"));
    }
    view.showStartFailure({gateway::ConnectOutcome::PhoneSilent, {}, 10});
    view.tearDown();
    EXPECT_TRUE(visibleMessageBoxes().empty()) << "tear-down closes every window";
    model.SetStatus(QStringLiteral("Telvane"));
    EXPECT_FALSE(shown().isVisible()) << "a status after tear-down does not bring the icon back";
}

TEST_F(TrayView, DialogsTakeTheIconOfTheMomentAndOpenOnce) {
    model.SetStatusIcon(5);
    view.itmOptions_Click();
    QPointer<config::frmOptions> options = view.optionsDialog();
    ASSERT_TRUE(options);
    EXPECT_TRUE(options->isVisible());
    EXPECT_FALSE(options->isModal());
    EXPECT_EQ(picture(options->windowIcon()), picture(iconFor(5)));
    view.itmOptions_Click();
    EXPECT_EQ(view.optionsDialog(), options.data()) << "a second choice brings the open one up";

    model.SetStatusIcon(2);
    view.itmAbout_Click();
    tray::AboutBox* about = view.aboutBox();
    ASSERT_NE(about, nullptr);
    EXPECT_FALSE(about->isModal());
    EXPECT_EQ(picture(about->windowIcon()), picture(iconFor(2)));
    EXPECT_EQ(picture(options->windowIcon()), picture(iconFor(5)))
        << "an open dialog keeps the icon it opened with";
    const auto label = [&](const char* name) {
        return about->findChild<QLabel*>(QString::fromLatin1(name));
    };
    EXPECT_EQ(label("lblDescription")->text(),
              QStringLiteral("Прием и отправка SMS сообщений С сотовых телефонов стандарта GSM"));
    EXPECT_TRUE(label("lblVersion")->text().endsWith(QStringLiteral(" 1.2.3")));
    EXPECT_FALSE(label("imgIcon")->pixmap().isNull());
    for (const char* line : {"lblAuthor", "lblRights"}) EXPECT_FALSE(label(line)->text().isEmpty());
    about->findChild<QPushButton*>(QStringLiteral("cmdOK"))->click();
    EXPECT_FALSE(about->isVisible());

    view.tearDown();
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(options) << "tear-down closes the options dialog";
}

TEST(StatusIconPictures, EveryIndexHasItsOwnPictureAtEverySize) {
    std::vector<QImage> pictures;
    for (int index = tray::kApplicationIcon; index <= tray::kLastStatusIcon; ++index) {
        for (const int size : {16, 22, 32})
            EXPECT_EQ(iconFor(index).pixmap(size, size).size(), QSize(size, size)) << index;
        for (const QImage& other : pictures)
            EXPECT_NE(picture(iconFor(index)), other) << index << " looks like another icon";
        pictures.push_back(picture(iconFor(index)));
    }
    EXPECT_TRUE(iconFor(7).isNull());
}

}  // namespace
