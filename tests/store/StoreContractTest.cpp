// What every implementation of the store must keep, as a table of cases run against each (SQLite,
// and PostgreSQL on a server of the test's own): a
// claim that only one of two takers gets, a stale claim fenced off, routing by pin, prefix and
// cap, claims of a host that went taken back, a duplicate incoming key,
// cursors that only grow, a kill in the middle of a transaction, a submitted part lost in a
// stop, retention that only takes what is finished, and the traffic counted by the hour.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QTemporaryDir>
#include <atomic>
#include <functional>
#include <thread>

#include "store/PostgresStore.h"
#include "store/SqliteStore.h"
#include "support/PostgresServer.h"

using namespace telvane::store;

namespace {

/// An implementation under test: a new, empty store of its kind for each case.
struct Backend {
    const char* name;
    std::function<StoreOpener(const QString& folder)> make;
};

const Backend kBackends[] = {
    {"sqlite", [](const QString& folder) { return SqliteStore::opener(folder + "/telvane.db"); }},
    // A missing PostgreSQL fails here: the shared-server store is tested, not skipped.
    {"postgresql",
     [](const QString&) {
         telvane::test::PostgresServer& server = telvane::test::PostgresServer::shared();
         EXPECT_TRUE(server.ok()) << server.error().toStdString();
         return PostgresStore::opener(server.ok() ? server.newDatabase() : QString());
     }},
};

std::unique_ptr<Store> openOrFail(const StoreOpener& open) {
    auto store = open();
    EXPECT_TRUE(store.ok()) << (store.ok() ? "" : store.error().message.toStdString());
    return store.ok() ? std::move(store.value()) : nullptr;
}

const QDateTime kNow = QDateTime::fromString("2026-12-07T12:00:00Z", Qt::ISODate);

OutgoingMessage apiMessage(const QString& id, int parts = 0) {
    OutgoingMessage m;
    m.id = id;
    m.origin = Origin::Api;
    m.number = "+79161234567";
    m.text = "text of " + id;
    m.created = kNow;
    for (int i = 0; i < parts; ++i)
        m.parts.push_back({"0011000B919761214365F70000AA01" + QByteArray::number(i), 14,
                           PartState::Waiting, std::nullopt});
    return m;
}

IncomingMessage received(const QByteArray& key) {
    IncomingMessage m;
    m.key = key;
    m.sender = "+79161234567";
    m.timeStamp = "07.12.26 12:00:00";
    m.text = "text " + QString::fromLatin1(key);
    return m;
}

const Claimant kHost{"host-a", "", {}, false, 60, {}, {}};

Claimant modem(const char* name, QStringList prefixes = {}, bool only = false) {
    return {"host-a", name, prefixes, only, 60, {}, {}};
}

using Case = void (*)(const StoreOpener&);

void onlyOneOfTwoTakersGetsAMessage(const StoreOpener& open) {
    auto store = openOrFail(open);
    for (int i = 0; i < 40; ++i) ASSERT_TRUE(store->addOutgoing(apiMessage(QString::number(i))));
    std::atomic<int> taken[40] = {};
    const auto taker = [&] {
        auto mine = openOrFail(open);
        for (;;) {
            auto claimed = mine->claimNext(kHost, kNow);
            ASSERT_TRUE(claimed.ok()) << claimed.error().message.toStdString();
            if (!claimed.value()) return;
            ++taken[claimed.value()->id.toInt()];
        }
    };
    std::thread a(taker), b(taker);
    a.join();
    b.join();
    for (int i = 0; i < 40; ++i) EXPECT_EQ(taken[i].load(), 1) << i;
}

void aStaleClaimIsFencedOff(const StoreOpener& open) {
    auto store = openOrFail(open);
    const OutgoingMessage added = store->addOutgoing(apiMessage("m", 2)).value();
    OutgoingMessage first = store->claim(added.seq, kHost, kNow).value().value();
    first.state = OutgoingState::Queued;  // given back, say after its lease ran out
    ASSERT_TRUE(store->update(first).value());
    OutgoingMessage second = store->claimNext(kHost, kNow).value().value();
    EXPECT_NE(second.claim, first.claim);
    first.state = OutgoingState::Sent;
    EXPECT_FALSE(store->update(first).value()) << "a stale claim wrote";
    second.parts[0].state = PartState::Confirmed;
    second.parts[0].reference = 7;
    second.state = OutgoingState::Submitted;
    EXPECT_TRUE(store->update(second).value());
    const OutgoingMessage now = store->outgoing("m").value().value();
    EXPECT_EQ(now.state, OutgoingState::Submitted);
    EXPECT_EQ(now.parts[0].reference, 7);
}

void aDuplicateKeyGivesTheStoredMessage(const StoreOpener& open) {
    auto store = openOrFail(open);
    const IncomingMessage first = store->beginIncoming(received("k1")).value();
    EXPECT_FALSE(first.isStored());
    ASSERT_TRUE(store->markStored(first.id, "26-12-07.txt", kNow));
    const IncomingMessage again = store->beginIncoming(received("k1")).value();
    EXPECT_EQ(again.id, first.id);
    EXPECT_TRUE(again.isStored());
    EXPECT_EQ(store->inbox(0, 10).value().messages.size(), 1);
}

void cursorsOnlyGrowAcrossRestartsAndRemovals(const StoreOpener& open) {
    qint64 last = 0;
    for (int run = 0; run < 3; ++run) {
        auto store = openOrFail(open);
        const IncomingMessage m =
            store->beginIncoming(received("k" + QByteArray::number(run))).value();
        ASSERT_TRUE(store->markStored(m.id, "f", run == 0 ? kNow.addDays(-400) : kNow));
        EXPECT_GT(m.id, last);
        last = m.id;
        EXPECT_EQ(store->newestIncoming().value(), last);
        ASSERT_TRUE(store->prune(kNow.addDays(-365)));  // the first goes
    }
    auto store = openOrFail(open);
    const InboxPage page = store->inbox(0, 10).value();
    ASSERT_EQ(page.messages.size(), 2);
    EXPECT_EQ(page.messages.back().id, last);
}

void aKillInATransactionLeavesNoHalfMessage(const StoreOpener& open) {
    int progress[2];
    ASSERT_EQ(pipe(progress), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        close(progress[0]);
        auto store = open();
        for (int i = 0; store.ok(); ++i) {
            if (!store.value()->addOutgoing(apiMessage("k" + QString::number(i), 3))) _exit(1);
            if (write(progress[1], "x", 1) != 1) _exit(1);
        }
        _exit(1);
    }
    close(progress[1]);
    char byte;
    for (int added = 0; added < 30 && read(progress[0], &byte, 1) == 1;) ++added;
    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    close(progress[0]);
    auto store = openOrFail(open);
    const QList<OutgoingMessage> all = store->recent(100000).value();
    EXPECT_GE(all.size(), 30);
    for (const OutgoingMessage& m : all) EXPECT_EQ(m.parts.size(), 3u) << m.id.toStdString();
}

void aSubmittedPartBecomesUnconfirmedAtTheNextStart(const StoreOpener& open) {
    {
        auto store = openOrFail(open);
        for (const char* id : {"on-the-wire", "confirmed", "claimed", "waiting"})
            ASSERT_TRUE(store->addOutgoing(apiMessage(id, 2)));
        for (const PartState last : {PartState::Submitted, PartState::Confirmed}) {
            OutgoingMessage wire = store->claimNext(kHost, kNow).value().value();
            wire.parts[0].state = PartState::Confirmed;
            wire.parts[1].state = last;
            wire.state = OutgoingState::Submitted;
            ASSERT_TRUE(store->update(wire).value());
        }
        ASSERT_TRUE(store->claimNext(kHost, kNow).value());
    }
    auto store = openOrFail(open);
    const QList<OutgoingMessage> lost = store->recover(kHost.host, kHost.modem, kNow).value();
    ASSERT_EQ(lost.size(), 1);
    EXPECT_EQ(lost[0].id, "on-the-wire");
    EXPECT_EQ(lost[0].parts[1].state, PartState::Submitted);
    // Stopped after its last confirmation, before its end was written: it goes on from its
    // parts, and sends none again.
    for (const char* id : {"confirmed", "claimed", "waiting"})
        EXPECT_EQ(store->outgoing(id).value()->state, OutgoingState::Queued) << id;
    EXPECT_EQ(store->queue().value().waiting, 3);
}

// Which modem takes which message: one pinned to a modem only that one, a modem's own numbers
// before older others, and with `only` nothing else.
void claimsFollowPinsAndPrefixes(const StoreOpener& open) {
    auto store = openOrFail(open);
    const struct {
        const char* id;
        const char* destination;
        const char* pinned;
    } queued[] = {{"any-1", "+79031112233", ""},
                  {"mts-1", "+79161234567", ""},
                  {"pinned-to-b", "+79161234568", "b"},
                  {"any-2", "+79031112234", ""}};
    for (const auto& q : queued) {
        OutgoingMessage m = apiMessage(q.id);
        m.destination = q.destination;
        m.pinned = q.pinned;
        ASSERT_TRUE(store->addOutgoing(m));
    }
    const struct {
        Claimant who;
        const char* takes;  // "": nothing
    } claims[] = {{modem("a", {"+7916"}, true), "mts-1"},
                  {modem("a", {"+7916"}, true), ""},
                  {modem("c"), "any-1"},
                  {modem("b", {"+7903"}), "pinned-to-b"},
                  {modem("c", {"+7916"}), "any-2"},
                  {modem("b"), ""}};
    for (const auto& c : claims) {
        const auto taken = store->claimNext(c.who, kNow).value();
        EXPECT_EQ(taken ? taken->id : QString(), QString(c.takes)) << c.who.modem.toStdString();
        if (taken) {
            EXPECT_EQ(taken->modem, c.who.modem);
        }
    }
}

// Operators cap what a SIM card may send a minute and a day: a modem at its cap takes nothing
// until the window has moved on.
void aModemAtItsCapTakesNothing(const StoreOpener& open) {
    auto store = openOrFail(open);
    for (int i = 0; i < 5; ++i) ASSERT_TRUE(store->addOutgoing(apiMessage(QString::number(i), 2)));
    Claimant capped = modem("capped");
    capped.perMinute = 4;
    capped.perDay = 6;
    const struct {
        int afterSeconds;
        bool takes;
    } claims[] = {{0, true}, {1, true}, {2, false}, {61, true}, {62, false}, {86400, true}};
    for (const auto& c : claims) {
        const QDateTime at = kNow.addSecs(c.afterSeconds);
        auto taken = store->claimNext(capped, at).value();
        ASSERT_EQ(taken.has_value(), c.takes) << c.afterSeconds;
        if (!taken) continue;
        for (OutgoingPart& part : taken->parts) part.state = PartState::Confirmed;
        taken->state = OutgoingState::Sent;
        taken->sentAt = taken->updated = at;
        ASSERT_TRUE(store->update(*taken).value());
    }
    EXPECT_EQ(store->partsSentBy("capped", kNow).value(), 8);
}

// A gateway that stopped without a word keeps its claims only until their lease runs out; then
// another takes them back, and what the first would still write is refused. Neither another
// gateway's start nor another modem's of the same gateway takes them before.
void aClaimWhoseHostWentIsTakenBack(const StoreOpener& open) {
    auto store = openOrFail(open);
    for (const char* id : {"on-the-wire", "claimed"})
        ASSERT_TRUE(store->addOutgoing(apiMessage(id, 2)));
    Claimant usb1 = kHost;
    usb1.modem = "usb1";
    OutgoingMessage wire = store->claimNext(usb1, kNow).value().value();
    wire.parts[0].state = PartState::Submitted;
    wire.state = OutgoingState::Submitted;
    ASSERT_TRUE(store->update(wire).value());
    ASSERT_TRUE(store->claimNext(usb1, kNow).value());
    EXPECT_TRUE(store->recover("host-b", "usb1", kNow).value().isEmpty());
    EXPECT_TRUE(store->recover(kHost.host, "usb2", kNow).value().isEmpty());
    EXPECT_TRUE(store->reclaimExpired(kNow.addSecs(30)).value().isEmpty());
    EXPECT_EQ(store->outgoing("claimed").value()->state, OutgoingState::Sending);
    const QList<OutgoingMessage> lost = store->reclaimExpired(kNow.addSecs(61)).value();
    ASSERT_EQ(lost.size(), 1);
    EXPECT_EQ(lost[0].id, "on-the-wire");
    EXPECT_EQ(lost[0].state, OutgoingState::Unconfirmed);
    EXPECT_EQ(store->outgoing("claimed").value()->state, OutgoingState::Queued);
    wire.state = OutgoingState::Sent;
    EXPECT_FALSE(store->update(wire).value()) << "the host that went wrote after all";
}

// A job that one gateway does for all (the webhooks): the lease goes to another only once it ran
// out, and its holder keeps it by renewing it.
void oneGatewayLeadsAtATime(const StoreOpener& open) {
    auto store = openOrFail(open);
    const struct {
        const char* host;
        int atSeconds;
        bool leads;
    } asks[] = {{"a", 0, true},   {"b", 10, false}, {"a", 20, true},
                {"b", 49, false}, {"b", 51, true},  {"a", 52, false}};
    for (const auto& ask : asks)
        EXPECT_EQ(store->lead("webhooks", ask.host, kNow.addSecs(ask.atSeconds), 30).value(),
                  ask.leads)
            << ask.host << " at " << ask.atSeconds;
}

void retentionTakesOnlyWhatIsFinished(const StoreOpener& open) {
    auto store = openOrFail(open);
    const QDateTime old = kNow.addDays(-400);
    struct Row {
        const char* id;
        OutgoingState state;
        bool reportWanted, inSend, stays;
    } rows[] = {{"sent", OutgoingState::Sent, false, false, false},
                {"delivered", OutgoingState::Delivered, true, false, false},
                {"failed", OutgoingState::Failed, false, false, false},
                {"failed-file-in-send", OutgoingState::Failed, false, true, true},
                {"queued", OutgoingState::Queued, false, false, true},
                {"unconfirmed", OutgoingState::Unconfirmed, false, false, true}};
    for (const Row& row : rows) {
        OutgoingMessage m = apiMessage(row.id);
        m.state = row.state;
        m.reportWanted = row.reportWanted;
        m.fileInSend = row.inSend;
        m.origin = row.inSend ? Origin::File : Origin::Api;
        m.file.name = QString(row.id) + ".txt";
        m.created = m.updated = m.sentAt = old;
        ASSERT_TRUE(store->addOutgoing(m));
    }
    ASSERT_TRUE(store->addOutgoing(apiMessage("recent-sent")));
    const qint64 event = store->addEvent("{}", old).value();
    ASSERT_TRUE(store->eventDelivered(event, old));
    ASSERT_TRUE(store->addEvent("{}", old));  // not delivered yet: stays
    ASSERT_TRUE(store->prune(kNow.addDays(-365)));
    for (const Row& row : rows)
        EXPECT_EQ(store->outgoing(row.id).value().has_value(), row.stays) << row.id;
    EXPECT_TRUE(store->outgoing("recent-sent").value().has_value());
    EXPECT_EQ(store->nextEvent(0).value()->id, event + 1);
}

void trafficIsCountedInTheHourItHappened(const StoreOpener& open) {
    auto store = openOrFail(open);
    const QDateTime from = kNow.addSecs(-3 * 3600);
    // id, state, minutes after `from` it was sent or failed.
    const std::tuple<const char*, OutgoingState, int> outgoing[] = {
        {"sent-first-hour", OutgoingState::Delivered, 10},
        {"sent-third-hour", OutgoingState::Sent, 130},
        {"sent-before", OutgoingState::Sent, -1},
        {"sent-at-the-end", OutgoingState::Sent, 180},
        {"failed-third-hour", OutgoingState::Failed, 179},
        {"failed-before", OutgoingState::Failed, -60},
        {"queued", OutgoingState::Queued, 30},
    };
    for (const auto& [id, state, minutes] : outgoing) {
        OutgoingMessage m = apiMessage(id);
        m.state = state;
        m.updated = from.addSecs(minutes * 60);
        if (state != OutgoingState::Failed && state != OutgoingState::Queued) m.sentAt = m.updated;
        ASSERT_TRUE(store->addOutgoing(m));
    }
    // Only stored messages count: not a report, a part, nor one still being stored.
    const std::tuple<const char*, IncomingKind, bool> incoming[] = {
        {"message", IncomingKind::Message, true},
        {"report", IncomingKind::Report, true},
        {"part", IncomingKind::Part, true},
        {"being-stored", IncomingKind::Message, false},
    };
    for (const auto& [key, kind, stored] : incoming) {
        IncomingMessage m = received(key);
        m.kind = kind;
        if (stored) m.stored = from.addSecs(70 * 60);
        ASSERT_TRUE(store->beginIncoming(m));
    }
    const QList<HourFigures> expected = {
        {from, 1, 0, 0}, {from.addSecs(3600), 0, 1, 0}, {from.addSecs(7200), 1, 0, 1}};
    EXPECT_EQ(store->trafficByHour(from, 3).value(), expected);
    EXPECT_TRUE(store->trafficByHour(from, 0).value().isEmpty());
}

const std::pair<const char*, Case> kCases[] = {
    {"OnlyOneOfTwoTakersGetsAMessage", onlyOneOfTwoTakersGetsAMessage},
    {"AStaleClaimIsFencedOff", aStaleClaimIsFencedOff},
    {"ADuplicateKeyGivesTheStoredMessage", aDuplicateKeyGivesTheStoredMessage},
    {"CursorsOnlyGrowAcrossRestartsAndRemovals", cursorsOnlyGrowAcrossRestartsAndRemovals},
    {"AKillInATransactionLeavesNoHalfMessage", aKillInATransactionLeavesNoHalfMessage},
    {"ASubmittedPartBecomesUnconfirmedAtTheNextStart",
     aSubmittedPartBecomesUnconfirmedAtTheNextStart},
    {"RetentionTakesOnlyWhatIsFinished", retentionTakesOnlyWhatIsFinished},
    {"ClaimsFollowPinsAndPrefixes", claimsFollowPinsAndPrefixes},
    {"AModemAtItsCapTakesNothing", aModemAtItsCapTakesNothing},
    {"AClaimWhoseHostWentIsTakenBack", aClaimWhoseHostWentIsTakenBack},
    {"OneGatewayLeadsAtATime", oneGatewayLeadsAtATime},
    {"TrafficIsCountedInTheHourItHappened", trafficIsCountedInTheHourItHappened},
};

void PrintTo(const std::tuple<Backend, std::pair<const char*, Case>>& param, std::ostream* out) {
    *out << std::get<0>(param).name << " " << std::get<1>(param).first;
}

class StoreContract
    : public testing::TestWithParam<std::tuple<Backend, std::pair<const char*, Case>>> {};

TEST_P(StoreContract, Holds) {
    const auto& [backend, contractCase] = GetParam();
    QTemporaryDir folder;
    contractCase.second(backend.make(folder.path()));
}

INSTANTIATE_TEST_SUITE_P(Store, StoreContract,
                         testing::Combine(testing::ValuesIn(kBackends), testing::ValuesIn(kCases)),
                         [](const auto& info) {
                             return std::string(std::get<0>(info.param).name) + "_" +
                                    std::get<1>(info.param).first;
                         });

// A shared server goes down and comes back (an update, a failover): a gateway's connection
// fails while it is away and goes on by itself, without a restart of the gateway.
TEST(PostgresStore, GoesOnByItselfOnceItsServerIsBack) {
    telvane::test::PostgresServer& server = telvane::test::PostgresServer::shared();
    ASSERT_TRUE(server.ok()) << server.error().toStdString();
    auto store = openOrFail(PostgresStore::opener(server.newDatabase()));
    ASSERT_TRUE(store->addOutgoing(apiMessage("before")));
    ASSERT_TRUE(server.restart()) << server.error().toStdString();
    const auto after = store->addOutgoing(apiMessage("after"));
    ASSERT_TRUE(after) << after.error().message.toStdString();
    EXPECT_EQ(store->recent(10).value().size(), 2);
}

// Two gateways number their events from one sequence but commit them in their own time: an
// event that shows up after a later one was posted is still posted.
TEST(PostgresStore, AnEventCommittedLateIsStillPosted) {
    telvane::test::PostgresServer& server = telvane::test::PostgresServer::shared();
    ASSERT_TRUE(server.ok()) << server.error().toStdString();
    auto store = openOrFail(PostgresStore::opener(server.newDatabase()));
    const qint64 late = store->addEvent("{\"late\":1}", kNow).value();
    const qint64 posted = store->addEvent("{\"posted\":1}", kNow).value();
    ASSERT_TRUE(store->eventDelivered(posted, kNow));
    EXPECT_EQ(store->nextEvent(posted).value()->id, late);
}

}  // namespace
