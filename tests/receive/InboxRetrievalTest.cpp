// Retrieval runs against a scripted phone with captured list answers: what reaches the day's
// file, the part files and Log.txt, and what stays in the phone, poll after poll.
#include <gtest/gtest.h>

#include "ReceiveTestSupport.h"

using namespace telvane::test;

namespace {

class Retrieval : public testing::TestWithParam<Scenario> {};

TEST_P(Retrieval, AgainstAScriptedPhone) {
    const Scenario& s = GetParam();
    PollBench bench(s.ini());
    QStringList atDelete;
    bench.phone.onDelete = [&] {
        // Whatever leaves the phone is on disk already, in the day's file or a part file.
        const QStringList lines = textLines(bench.dayFile());
        EXPECT_FALSE(lines.isEmpty() && bench.partFiles().isEmpty());
        atDelete << QString::number(lines.size()) + u' ' +
                        bench.settings->text(telvane::config::setting::Number);
    };
    std::optional<LinksOutside> links;  // through the checks at the end
    for (size_t i = 0; i < s.polls.size(); ++i) {
        SCOPED_TRACE(testing::Message() << "poll " << i);
        const auto& p = s.polls[i];
        bench.load(field(p, "me", "me-empty.txt").toLatin1().constData(),
                   field(p, "sm", "me-empty.txt").toLatin1().constData());
        bench.phone.memories["ME"].selectable = !has(p, "no-me");
        bench.phone.memories["SM"].selectable = !has(p, "no-sm");
        bench.phone.memories["ME"].lists = !has(p, "no-list");
        bench.phone.deletesWork = !has(p, "deletes-fail");
        ASSERT_TRUE(blockFolder(bench.working.gfsReceive, has(p, "receive-blocked")));
        ASSERT_TRUE(blockFolder(bench.working.gfsLogs, has(p, "logs-blocked")));
        ASSERT_TRUE(!has(p, "part-blocked") ||
                    QDir(bench.home.path()).mkdir("5A-3-79161234567.tmp"));
        bench.time.laterSeconds = field(p, "later", "0").toInt();
        bench.phone.sent.clear();
        bench.status = {};
        atDelete.clear();
        links.emplace(p, bench.dayFile(), bench.logFile());
        bench.poll(has(p, "restart"));
        EXPECT_EQ(bench.phone.left(), field(p, "left").split(u',', Qt::SkipEmptyParts));
        EXPECT_EQ(partLines(bench.home.path()), field(p, "parts", "0").toInt());
    }
    if (s.keys.contains(QStringLiteral("file")))
        EXPECT_TRUE(bench.dayFile().endsWith(s.one("file")) && QFile::exists(bench.dayFile()));
    else
        EXPECT_EQ(textLines(bench.dayFile()), s.all("line"));
    const int number = s.one("number", "1").toInt();
    EXPECT_EQ(bench.working.gflSMSnum, number);
    if (number != 1)
        EXPECT_EQ(bench.settings->text(telvane::config::setting::Number), QString::number(number));
    EXPECT_EQ(bench.status.texts.last().startsWith(QStringLiteral("Принято сообщений: ")),
              !s.keys.contains(QStringLiteral("unclosed")));
    const auto check = [&](const char* key, const QStringList& got) {
        if (s.keys.contains(QLatin1String(key))) EXPECT_EQ(got, s.all(key)) << key;
    };
    check("closing", {bench.status.texts.last()});
    check("sent", bench.phone.sent);
    check("status", bench.status.texts);
    check("icons", {bench.status.icons.join(u' ')});
    check("at-delete", atDelete);
    check("paused", {QString::number(bench.time.ms)});

    const QStringList log = textLines(bench.logFile());
    EXPECT_EQ(log.size(), s.one("log", "0").section(u' ', 0, 0).toInt());
    const QString tail = s.one("log").section(u' ', 1).replace(
        QLatin1String("%1"), bench.time.now().toString(QStringLiteral("yy-MM-dd")));
    const QRegularExpression logLine(
        QStringLiteral("^\\d\\d\\.\\d\\d\\.\\d{4}\t\\d\\d:\\d\\d:\\d\\d") +
        (tail.isEmpty() ? QStringLiteral("\t.*") : ".*" + QRegularExpression::escape(tail)) + u'$');
    for (const QString& line : log)
        EXPECT_TRUE(logLine.match(line).hasMatch()) << line.toStdString();
    for (const QString& expected : s.all("log-line"))
        EXPECT_TRUE(
            log.value(expected.section(u' ', 0, 0).toInt() - 1).contains(expected.section(u' ', 1)))
            << expected.toStdString();
}

INSTANTIATE_TEST_SUITE_P(InboxRetrieval, Retrieval, testing::ValuesIn(readScenarios()),
                         scenarioName);

}  // namespace
