// The tray's status model: how the tooltip is cut and which icon indexes it takes.
#include <gtest/gtest.h>

#include "tray/TrayStatusModel.h"

using namespace telvane;
using tray::TrayStatusModel;

namespace {

TEST(ToolTip, KeepsTheFirstSixtyThreeCharactersAndTheStatusWhole) {
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
    for (const auto& row : rows) {
        TrayStatusModel model;
        model.SetStatus(row.status);
        EXPECT_EQ(model.statusText(), row.status);
        EXPECT_EQ(model.toolTip(), row.toolTip) << row.status.toStdString();
    }
}

TEST(StatusIcon, ApplicationIconUntilTheFirstStatusIconThenOnlyValidIndexes) {
    TrayStatusModel model;
    EXPECT_EQ(model.iconIndex(), tray::kApplicationIcon);
    std::vector<int> seen;
    QObject::connect(&model, &TrayStatusModel::iconChanged, [&](int i) { seen.push_back(i); });
    for (const int index : {4, 3, 0, 7, -1, 6, 6}) model.SetStatusIcon(index);
    EXPECT_EQ(model.iconIndex(), 6);
    // Setting the same icon again is reported again, as the engine's "set icon" always is.
    EXPECT_EQ(seen, (std::vector<int>{4, 3, 6, 6}));
}

TEST(Notification, NamesWhatAPollReceivedAndSent) {
    const struct {
        contracts::PollTally tally;
        const char* text;
    } rows[] = {{{0, 0, 0}, ""},
                {{2, 0, 0}, "Принято сообщений: 2"},
                {{0, 3, 1}, "Отправлено: 3\nНе отправлено: 1 — см. Log.txt"},
                {{1, 1, 0}, "Принято сообщений: 1\nОтправлено: 1"}};
    for (const auto& row : rows) {
        TrayStatusModel model;
        QStringList due;
        QObject::connect(&model, &TrayStatusModel::notificationDue,
                         [&](const QString& t) { due << t; });
        model.notePoll(row.tally);
        EXPECT_EQ(due.join(u'|'), QString::fromUtf8(row.text));
    }
}

}  // namespace
