// The exchange with the phone for one message, single or in parts: which commands go out, when
// ESC follows a failure, which statuses are shown, and which parts count as confirmed.
#include <gtest/gtest.h>

#include "SendTestSupport.h"
#include "send/Submission.h"

using namespace telvane;
using namespace telvane::test;
using send::PendingPart;

namespace {

const QByteArray kEsc(1, '\x1b');

std::vector<PendingPart> partsOf(std::size_t m) {
    std::vector<PendingPart> parts;
    for (std::size_t k = 1; k <= m; ++k)
        parts.push_back({"0011000B919761214365F70000AA0" + QByteArray::number(k), 20 + k});
    return parts;
}

QByteArray prompt(const PendingPart& p) {
    return "at+cmgs=" + QByteArray::number(qulonglong(p.tpduLength)) + '\r';
}
QByteArray pdu(const PendingPart& p) { return p.pdu + '\x1a'; }

TEST(Submission, FollowsThePhoneThroughEveryOutcome) {
    const auto one = partsOf(1);
    const auto three = partsOf(3);
    struct Case {
        const char* name;
        std::vector<PendingPart> parts;
        std::vector<bool> confirmedBefore;
        std::deque<Answer> script;
        QList<QByteArray> commands;
        QStringList statuses;
        std::vector<bool> confirmedAfter;
        bool promptFailed;
    };
    const Case cases[] = {
        {"single, prompt and OK",
         one,
         {},
         {kPrompt, kOk},
         {prompt(one[0]), pdu(one[0])},
         {"Сообщение отправлено"},
         {true},
         false},
        {"single, ERROR instead of the prompt",
         one,
         {},
         {kError},
         {prompt(one[0]), kEsc},
         {"Сообщение не отправлено"},
         {false},
         true},
        {"single, no prompt",
         one,
         {},
         {kSilence},
         {prompt(one[0]), kEsc},
         {"Сообщение не отправлено"},
         {false},
         true},
        {"single, ERROR after the PDU",
         one,
         {},
         {kPrompt, kError},
         {prompt(one[0]), pdu(one[0])},
         {},
         {false},
         false},
        {"single, +CMS ERROR after the PDU",
         one,
         {},
         {kPrompt, kCmsError},
         {prompt(one[0]), pdu(one[0])},
         {},
         {false},
         false},
        {"single, silence after the PDU",
         one,
         {},
         {kPrompt, kSilence},
         {prompt(one[0]), pdu(one[0]), kEsc},
         {},
         {false},
         false},
        {"three parts, all confirmed",
         three,
         {},
         {},
         {prompt(three[0]), pdu(three[0]), prompt(three[1]), pdu(three[1]), prompt(three[2]),
          pdu(three[2])},
         {"Сообщение (часть 1/3) отправлено", "Сообщение (часть 2/3) отправлено",
          "Сообщение (часть 3/3) отправлено"},
         {true, true, true},
         false},
        {"three parts, no prompt for part 2",
         three,
         {},
         {kPrompt, kOk, kSilence},
         {prompt(three[0]), pdu(three[0]), prompt(three[1]), kEsc},
         {"Сообщение (часть 1/3) отправлено", "Сообщение (часть 2/3)  не отправлено"},
         {true, false, false},
         true},
        {"three parts, ERROR after the PDU of part 2",
         three,
         {},
         {kPrompt, kOk, kPrompt, kError},
         {prompt(three[0]), pdu(three[0]), prompt(three[1]), pdu(three[1]), prompt(three[2]),
          pdu(three[2])},
         {"Сообщение (часть 1/3) отправлено", "Сообщение (часть 3/3) отправлено"},
         {true, false, true},
         false},
        {"three parts, only part 2 still to go",
         three,
         {true, false, true},
         {},
         {prompt(three[1]), pdu(three[1])},
         {"Сообщение (часть 2/3) отправлено"},
         {true, true, true},
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedPhone phone;
        phone.script = c.script;
        RecordingStatus status;
        FakeClock clock;
        const phone::PacingProfile pacing;
        std::vector<bool> confirmed = c.confirmedBefore;
        int progressCalls = 0;
        const auto result = send::submitParts({phone, status, clock, pacing}, c.parts, confirmed,
                                              [&] { ++progressCalls; });
        EXPECT_EQ(phone.commands, c.commands);
        EXPECT_EQ(status.texts, c.statuses);
        EXPECT_EQ(confirmed, c.confirmedAfter);
        const auto newlyConfirmed =
            std::count(confirmed.begin(), confirmed.end(), true) -
            std::count(c.confirmedBefore.begin(), c.confirmedBefore.end(), true);
        EXPECT_EQ(progressCalls, newlyConfirmed);
        EXPECT_EQ(result.promptFailed, c.promptFailed);
        EXPECT_EQ(result.allConfirmed, std::find(c.confirmedAfter.begin(), c.confirmedAfter.end(),
                                                 false) == c.confirmedAfter.end());
    }
}

TEST(Submission, RestsHalfASecondAfterEachConfirmedPartOnly) {
    ScriptedPhone phone;
    phone.script = {kPrompt, kOk, kPrompt, kError, kPrompt, kOk};
    RecordingStatus status;
    FakeClock clock;
    const phone::PacingProfile pacing;
    std::vector<bool> confirmed;
    send::submitParts({phone, status, clock, pacing}, partsOf(3), confirmed);
    EXPECT_EQ(clock.now, 2 * pacing.shortPauseMs);
}

}  // namespace
