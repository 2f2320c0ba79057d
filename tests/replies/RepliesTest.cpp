// The phone's answers read by their structure, on real answers (replies.tsv names where each
// came from).
#include <gtest/gtest.h>

#include "replies/Replies.h"
#include "support/TestData.h"

using namespace telvane;

namespace {

TEST(Replies, RealAnswersReadAsTheirStandardsSay) {
    for (const auto& row : test::tsvRows(QStringLiteral("replies/replies.tsv"), 4)) {
        const std::string& what = row[0];
        const std::string_view reply = row[1];
        const auto text = [](const std::optional<int>& n) { return n ? std::to_string(*n) : "-"; };
        std::string got;
        if (what == "final") {
            const replies::FinalResult f = replies::finalResultOf(reply);
            got = f.kind == replies::FinalResult::Kind::Ok ? "OK"
                  : f.isError()                            ? replies::describe(f)
                                                           : "-";
        } else if (what == "sim") {
            const auto sim = replies::simReportOf(reply);
            static const char* kStates[] = {"Ready", "Pin", "Puk", "NotInserted", "Busy", "Other"};
            got = sim ? kStates[int(sim->state)] + (' ' + sim->text) : "-";
        } else if (what == "creg") {
            got = text(replies::registrationOf(reply));
        } else if (what == "csq") {
            got = text(replies::signalOf(reply));
        } else if (what == "csms") {
            got = text(replies::smsServiceOf(reply));
        } else if (what == "cmgs") {
            got = text(replies::messageReferenceOf(reply));
        } else if (what == "cops" || what == "cgmm") {
            got = (what == "cops" ? replies::operatorOf(reply) : replies::modelOf(reply))
                      .value_or("-");
        } else if (what == "cpms") {
            for (const std::string& m : replies::memoriesOf(reply))
                got += (got.empty() ? "" : ",") + m;
        } else {
            replies::DeliveryScanner scanner;
            for (const char c : reply) scanner.feed(std::string_view(&c, 1));  // byte by byte
            for (const auto& d : scanner.take())
                got += (got.empty() ? "" : ";") + std::string(d.statusReport ? "CDS " : "CMT ") +
                       d.pdu;
        }
        EXPECT_EQ(got, row[2]) << what << ": " << row[3];
    }
}

}  // namespace
