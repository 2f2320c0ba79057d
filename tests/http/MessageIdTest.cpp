// An id in a URL is looked up, logged and echoed: one the API could never have given is refused
// before any of that, whatever the store behind it would make of it.
#include <gtest/gtest.h>

#include "http/Messages.h"

namespace {

TEST(MessageId, OnlyIdsTheApiCouldHaveGivenAreLookedUp) {
    const struct {
        QString id;
        bool plausible;
    } rows[] = {
        {QStringLiteral("api-20261207-203015-0001"), true},
        {QStringLiteral("file-0042.sms"), true},
        {QStringLiteral("a_b.c-d"), true},
        {QString(200, QLatin1Char('x')), true},
        {QString(201, QLatin1Char('x')), false},
        {QString(), false},
        {QStringLiteral("../../Telvane.ini"), false},
        {QStringLiteral("..%2F..%2FTelvane.ini"), false},
        {QStringLiteral("x..y"), false},
        {QStringLiteral(".hidden"), false},
        {QStringLiteral("-rf"), false},
        {QStringLiteral("a/b"), false},
        {QStringLiteral("a\\b"), false},
        {QStringLiteral("a b"), false},
        {QStringLiteral("a\nb"), false},
        {QStringLiteral("a") + QChar(0) + QStringLiteral("b"), false},
        {QStringLiteral("api-1'; DROP TABLE outgoing; --"), false},
        {QStringLiteral("сообщение"), false},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(telvane::http::plausibleId(row.id), row.plausible) << row.id.toStdString();
    }
}

}  // namespace
