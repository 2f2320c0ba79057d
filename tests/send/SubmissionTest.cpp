// The exchange with the phone for one message, single or in parts: which commands go out, when
// ESC follows a failure, which statuses are shown, which parts count as confirmed, and the
// rests after confirmed parts. The cases are in submission-exchanges.txt.
#include <gtest/gtest.h>

#include "SendTestSupport.h"
#include "send/Submission.h"

using namespace telvane;
using namespace telvane::test;

namespace {

std::vector<bool> flags(const QString& ones) {
    std::vector<bool> out;
    for (const QChar c : ones) out.push_back(c == u'1');
    return out;
}

TEST(Submission, FollowsThePhoneThroughEveryOutcome) {
    const QStringList lines = dataLines(QStringLiteral("send/submission-exchanges.txt"));
    ASSERT_EQ(lines.size(), 10);
    for (const QString& line : lines) {
        QStringList f = line.split(u'|');
        for (QString& field : f)
            field = field.trimmed() == QStringLiteral("-") ? QString() : field.trimmed();
        ASSERT_EQ(f.size(), 9) << line.toStdString();
        SCOPED_TRACE(f[0].toStdString());
        std::vector<send::PendingPart> parts;
        for (std::size_t k = 1; k <= f[1].toULongLong(); ++k)
            parts.push_back({"0011000B919761214365F70000AA0" + QByteArray::number(k), 20 + k});
        QList<QByteArray> commands;
        for (const QString& c : f[4].split(u' ')) {
            if (c == QStringLiteral("X")) {
                commands << QByteArray(1, '\x1b');
                continue;
            }
            const send::PendingPart& p = parts[c.back().digitValue() - 1];
            commands << (c[0] == u'P' ? "at+cmgs=" + QByteArray::number(p.tpduLength) + '\r'
                                      : p.pdu + '\x1a');
        }
        ScriptedPhone phone;
        phone.script = f[3].toStdString();
        RecordingStatus status;
        FakeClock clock;
        const contracts::PacingProfile pacing;
        std::vector<bool> confirmed = flags(f[2]);
        int progressCalls = 0;
        const auto result = send::submitParts({phone, status, clock, pacing}, parts, confirmed,
                                              [&] { ++progressCalls; });
        EXPECT_EQ(phone.commands, commands);
        EXPECT_EQ(status.texts, f[5].isEmpty() ? QStringList() : f[5].split(QStringLiteral("; ")));
        EXPECT_EQ(confirmed, flags(f[6]));
        EXPECT_EQ(progressCalls, f[6].count(u'1') - f[2].count(u'1'));
        EXPECT_EQ(clock.now, f[7].toInt() * pacing.shortPauseMs);
        EXPECT_EQ(result.promptFailed, f[8] == QStringLiteral("yes"));
        EXPECT_EQ(result.allConfirmed, !f[6].contains(u'0'));
    }
}

}  // namespace
