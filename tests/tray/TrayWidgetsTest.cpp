// The tray on the offscreen platform: how the tooltip is cut, what a poll's notification says,
// the menu as the engine allows it, what the notification area is given, and the windows the
// view opens (their captions in a stored expected file). What the mouse on the icon opens is
// tried under Xvfb (tray_xvfb_test.py).
#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "WidgetTestSupport.h"
#include "config/HomeFolder.h"
#include "tray/StatusIcons.h"
#include "tray/frmMain.h"

using namespace telvane;
using contracts::StatusIcon;
using telvane::testing::visibleMessageBoxes;
using tray::iconFor;

namespace {

QImage picture(const QIcon& icon) { return icon.pixmap(32, 32).toImage(); }

class TrayView : public ::testing::Test {
protected:
    void SetUp() override {
        model.setStatus(QStringLiteral("Telvane"));
        view.load();
    }
    void TearDown() override { visibleMessageBoxes(true); }
    const QSystemTrayIcon& shown() { return view.cTray().shown(); }

    QTemporaryDir home;
    tray::TrayStatusModel model;
    tray::frmMain view{model,
                       {config::HomeFolder::iniPath(home.path() + u'/'), home.path()},
                       QStringLiteral("1.2.3"),
                       [](QWidget*) { return QString(); }};
};

TEST_F(TrayView, MenuOffersTheItemsAsTheEngineAllowsAndExitAlways) {
    int starts = 0;
    int exits = 0;
    QObject::connect(&view, &tray::frmMain::startRequested, [&] { ++starts; });
    QObject::connect(&view, &tray::frmMain::exitRequested, [&] { ++exits; });
    const QList<QAction*> items = view.mnuMain().actions();
    EXPECT_EQ(view.mnuMain().defaultAction(), items[0]) << "the default item is drawn bold";
    // Start, Options and About as the engine allows them, each with its own pattern down the
    // rows; "Выход" can always be chosen.
    for (const auto& row : {std::array{true, true, true}, std::array{false, false, true},
                            std::array{false, true, false}, std::array{false, false, false}}) {
        model.setMenu({row[0], row[1], row[2]});
        const std::array enabled{row[0], row[1], true, row[2]};
        for (int i = 0; i < 4; ++i) EXPECT_EQ(items[i]->isEnabled(), enabled[i]) << i;
        view.itmStart()->trigger();
        view.itmExit()->trigger();
    }
    EXPECT_EQ(starts, 1) << "a greyed item cannot be chosen";
    EXPECT_EQ(exits, 4);
    model.setStatus(QStringLiteral("Чтение сообщений из телефона"));
    EXPECT_EQ(shown().toolTip(), QStringLiteral("Завершение после опроса..."));
}

TEST_F(TrayView, StatusReachesTheIconAndTheCutTooltipUntilTearDownClosesAll) {
    EXPECT_EQ(picture(shown().icon()), picture(tray::applicationIcon()))
        << "the application icon until the first status icon";
    const QString port = QStringLiteral("Открыть порт: COM1; 9600; ") + QString(80, u'n');
    model.setStatus(port);
    model.setStatusIcon(StatusIcon::PortFailed);
    EXPECT_EQ(picture(shown().icon()), picture(iconFor(StatusIcon::PortFailed)));
    EXPECT_EQ(shown().toolTip(), port.left(63)) << "an icon change keeps the text";

    view.showStartFailure({contracts::ConnectOutcome::PhoneSilent, {}, 10});
    view.itmOptions_Click();
    view.tearDown();
    EXPECT_TRUE(visibleMessageBoxes().empty()) << "tear-down closes every window";
    model.setStatus(QStringLiteral("Telvane"));
    EXPECT_FALSE(shown().isVisible()) << "a status after tear-down does not bring the icon back";
}

TEST_F(TrayView, DialogsOpenOnceWithTheIconOfTheMoment) {
    model.setStatusIcon(StatusIcon::WritingMessage);
    view.itmOptions_Click();
    QPointer<config::frmOptions> options = view.optionsDialog();
    ASSERT_TRUE(options && options->isVisible());
    EXPECT_FALSE(options->isModal());
    view.itmOptions_Click();
    EXPECT_EQ(view.optionsDialog(), options.data()) << "a second choice brings the open one up";
    model.setStatusIcon(StatusIcon::NoPhone);
    view.itmAbout_Click();
    ASSERT_NE(view.aboutBox(), nullptr);
    EXPECT_FALSE(view.aboutBox()->isModal());
    EXPECT_EQ(picture(view.aboutBox()->windowIcon()), picture(iconFor(StatusIcon::NoPhone)));
    EXPECT_EQ(picture(options->windowIcon()), picture(iconFor(StatusIcon::WritingMessage)))
        << "an open dialog keeps the icon it opened with";
    telvane::testing::expectStored(
        telvane::testing::describe(&view.mnuMain()) + telvane::testing::describe(view.aboutBox()),
        QStringLiteral(TELVANE_TEST_DATA "/tray/windows.txt"));
}

TEST(ToolTip, KeepsTheFirstSixtyThreeCharacters) {
    const QString port = QStringLiteral("Открыть порт: COM1; 9600; ") + QString(60, u'n');
    const QString mobile = QStringLiteral("\U0001F4F1");  // outside the BMP: two UTF-16 units
    const struct {
        QString status;
        QString toolTip;
    } rows[] = {
        {QStringLiteral("Telvane"), QStringLiteral("Telvane")},
        {QString(63, u'я'), QString(63, u'я')},
        {QString(64, u'я'), QString(63, u'я')},
        {port, port.left(63)},
        // A character straddling the limit goes whole, never half of it.
        {QString(62, u'a') + mobile + u'b', QString(62, u'a')},
        {QString(61, u'a') + mobile + u'b', QString(61, u'a') + mobile},
        {QString(), QString()},
    };
    for (const auto& row : rows)
        EXPECT_EQ(tray::toolTipFor(row.status), row.toolTip) << row.status.toStdString();
}

TEST(ModemsInTray, CountsThoseAtWorkAndShowsTheOneThatNeedsAPerson) {
    using Icon = contracts::StatusIcon;
    const struct {
        Icon first;
        QMap<QString, Icon> icons;
        int modems;
        Icon shown;
        const char* line;
    } rows[] = {
        {Icon::Sending,
         {{"main", Icon::Sending}, {"usb2", Icon::PhoneAnswered}},
         2,
         Icon::Sending,
         "модемы: 2 из 2 в работе"},
        {Icon::Sending,
         {{"main", Icon::Sending}, {"usb2", Icon::NoPhone}, {"usb3", Icon::PortFailed}},
         4,
         Icon::PortFailed,
         "модемы: 1 из 4 в работе"},
        {Icon::NoPhone,
         {{"main", Icon::NoPhone}, {"usb2", Icon::Working}},
         2,
         Icon::NoPhone,
         "модемы: 1 из 2 в работе"},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(tray::worstIcon(row.first, row.icons), row.shown) << row.line;
        EXPECT_EQ(tray::modemsLine(row.icons, row.modems), QString::fromUtf8(row.line));
    }
    tray::TrayStatusModel model;
    model.setModemIcon("usb2", Icon::PortFailed);
    model.setModemIcon("usb3", Icon::Sending);
    EXPECT_EQ(model.modemState("usb2"), QString::fromUtf8("порт не открыт"));
    EXPECT_EQ(model.modemState("usb3"), QString::fromUtf8("в работе"));
    EXPECT_EQ(model.modemState("usb4"), QString());
}

TEST(Notification, NamesWhatAPollReceivedAndSent) {
    const struct {
        contracts::PollTally tally;
        const char* text;
    } rows[] = {{{0, 0, 0}, ""},
                {{2, 0, 0}, "Принято сообщений: 2"},
                {{0, 3, 1}, "Отправлено: 3\nНе отправлено: 1 — см. Log.txt"},
                {{1, 1, 0}, "Принято сообщений: 1\nОтправлено: 1"}};
    for (const auto& row : rows)
        EXPECT_EQ(tray::pollNotification(row.tally), QString::fromUtf8(row.text));
}

TEST(StatusIconPictures, EveryIconHasItsOwnPicture) {
    std::vector<QImage> pictures;
    for (const std::optional<StatusIcon> icon :
         {std::optional<StatusIcon>(), std::optional(StatusIcon::PhoneAnswered),
          std::optional(StatusIcon::NoPhone), std::optional(StatusIcon::PortFailed),
          std::optional(StatusIcon::Working), std::optional(StatusIcon::WritingMessage),
          std::optional(StatusIcon::Sending)}) {
        const QImage drawn = picture(iconFor(icon));
        EXPECT_FALSE(drawn.isNull());
        for (const QImage& other : pictures) EXPECT_NE(drawn, other) << (icon ? int(*icon) : 0);
        pictures.push_back(drawn);
    }
}

}  // namespace
