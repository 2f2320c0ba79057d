// The outbox: one submission against the fake phone (submission-exchanges.txt), scans of real
// files (outbox/<folder> and its .expected file), the send journal from disk, and telvaned --once
// against the simulated modem: what is sent, deleted, kept, and what "Log.txt" says. No message
// goes out twice when its file cannot be deleted, its sending cannot be journalled, or the
// service is killed before it could delete it.
#include <gtest/gtest.h>

#include <QEventLoop>
#include <QFileSystemWatcher>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QStandardPaths>
#include <QTimer>
#include <deque>
#include <functional>

#include "codec/PduDecoder.h"
#include "config/SettingsKeys.h"
#include "lifecycle/Reports.h"
#include "send/OutboxScan.h"
#include "send/Submission.h"
#include "support/FakePoll.h"
#include "support/Immutable.h"

using namespace telvane;
using namespace telvane::test;
namespace setting = telvane::config::setting;

namespace {

/// A submitted PDU as the recipient's phone reads it: number, TP-DCS, part (k/m and the
/// reference, or "-" for a single message) and text, separated by tabs.
QString describe(const QByteArray& hex) {
    const auto decoded = codec::decodePduHex(hex.toStdString());
    const auto* pdu = std::get_if<codec::DecodedPdu>(&decoded);
    if (!pdu) return "bad PDU " + hex;
    const auto& c = pdu->concat;
    return QString::fromStdU32String(pdu->number) + QString::asprintf("\t%02X\t", pdu->dcs) +
           (c ? QString::asprintf("%zu/%zu #%u", c->seq, c->total, unsigned(c->ref)) : "-") +
           u'\t' + QString::fromStdU32String(pdu->text);
}

/// A home folder with its send folder and a poll over it.
struct Outbox : FakePoll {
    Outbox() {
        for (const char* folder : {"Send", "Logs"}) QDir().mkpath(path(folder));
    }
    QString send(const QString& name) const { return path("Send/" + name); }
    /// The bytes as they are, dated a minute back: a file its writer finished.
    void put(const QString& name, const QByteArray& bytes) const {
        QFile file(send(name));
        file.open(QIODevice::WriteOnly);
        file.write(bytes);
        file.flush();  // else the write at close dates it anew
        file.setFileTime(QDateTime::currentDateTime().addSecs(-60),
                         QFileDevice::FileModificationTime);
    }
    void putAll(const QString& folder) const {
        const QDir from(dataPath(folder));
        for (const QString& name : from.entryList(QDir::Files | QDir::Hidden))
            put(name, readFile(from.filePath(name)));
    }
    QStringList sendFolder() const { return QDir(send({})).entryList(QDir::Files | QDir::Hidden); }
    bool has(const QString& name) const { return QFile::exists(send(name)); }
    void scan(send::OutboxScan&& scanner = send::OutboxScan()) {
        auto poll = context();
        scanner.ScanOutbox(poll);
    }
};

std::vector<bool> flags(const QString& ones) {
    std::vector<bool> out;
    for (const QChar c : ones) out.push_back(c == u'1');
    return out;
}

TEST(Submission, FollowsThePhoneThroughEveryOutcome) {
    for (const QString& line : dataLines("send/submission-exchanges.txt")) {
        QStringList f = line.split(u'|');
        for (QString& field : f) field = field.trimmed() == u"-" ? QString() : field.trimmed();
        ASSERT_EQ(f.size(), 11) << line.toStdString();
        SCOPED_TRACE(f[0].toStdString());
        std::vector<send::PendingPart> parts;
        for (std::size_t k = 1; k <= f[1].toULongLong(); ++k)
            parts.push_back({"0011000B919761214365F70000AA0" + QByteArray::number(k), 20 + k});
        QList<QByteArray> commands;
        for (const QString& c : f[4].split(u' ')) {
            const send::PendingPart& p = parts[c == u"X" ? 0 : c.back().digitValue() - 1];
            commands << (c == u"X"      ? QByteArray(1, '\x1b')
                         : c[0] == u'K' ? "AT+CMMS=" + c.mid(1).toLatin1() + '\r'
                         : c[0] == u'P' ? "at+cmgs=" + QByteArray::number(p.tpduLength) + '\r'
                                        : p.pdu + '\x1a');
        }
        FakePhone phone;
        phone.script = f[3].toStdString();
        RecordingStatus status;
        FakeClock clock;
        const contracts::PacingProfile pacing = f[0].startsWith(u"fast")
                                                    ? contracts::PacingProfile::fast()
                                                    : contracts::PacingProfile{};
        std::vector<bool> confirmed = flags(f[2]);
        int progressCalls = 0;
        const auto result =
            send::submitParts({phone, status, clock, pacing}, parts, confirmed,
                              {{}, [&](std::size_t, std::optional<int>) { ++progressCalls; }});
        EXPECT_EQ(phone.commands, commands);
        EXPECT_EQ(status.texts, f[5].isEmpty() ? QStringList() : f[5].split(QStringLiteral("; ")));
        EXPECT_EQ(confirmed, flags(f[6]));
        EXPECT_EQ(progressCalls, f[6].count(u'1') - f[2].count(u'1'));
        EXPECT_EQ(clock.ms, f[7].toInt() * pacing.shortPauseMs);
        EXPECT_EQ(result.promptFailed, f[8] == u"yes");
        EXPECT_EQ(result.allConfirmed, !f[6].contains(u'0'));
        QStringList references;
        for (const auto& reference : result.references)
            references << (reference ? QString::number(*reference) : "-");
        EXPECT_EQ(references.join(u','), f[9].isEmpty() ? "-" : f[9]);
        const auto& failure = result.lastFailure;
        EXPECT_EQ(!failure            ? QString()
                  : failure->cmsError ? QString::number(*failure->cmsError) + u' ' + failure->what +
                                            (failure->permanent ? ", for good" : "")
                                      : failure->what,
                  f[10]);
    }
}

// Each folder under outbox/ holds files as writers leave them; its .expected file says, in
// name order, which are sent (and what the recipient reads) and which are kept (and the line
// "Log.txt" gets for them). Anything not named there is no outgoing file and stays.
TEST(OutboxScan, EachFileIsSentInNameOrderOrKeptWithOneLineThatSaysWhy) {
    for (const auto& [folder, split, encoding] : {std::tuple("tab", "[tab]", "cp1251"),
                                                  {"space", "[ ]", "cp1251"},
                                                  {"hashes", "##", "cp1251"},
                                                  {"empty", "", "cp1251"},
                                                  {"utf8", "[tab]", "utf-8"}}) {
        SCOPED_TRACE(folder);
        Outbox poll;
        ASSERT_TRUE(poll.settings.write(setting::Split, split));
        ASSERT_TRUE(poll.settings.write(setting::Encoding, encoding));
        poll.start();
        poll.putAll("send/outbox/" + QString(folder));
        QStringList kept = poll.sendFolder();
        QStringList sent, log;
        for (const QString& line : dataLines("send/outbox/" + QString(folder) + ".expected")) {
            const bool isSent = line.section(u'\t', 1, 1) == u"sent";
            (isSent ? sent : log) << line.section(u'\t', 2);
            if (isSent) kept.removeOne(line.section(u'\t', 0, 0));
        }
        for (int round = 0; round < 2; ++round) {  // the kept files are not reported again
            poll.scan();
            QStringList received;
            for (const QByteArray& pdu : poll.phone.pdus) received << describe(pdu);
            EXPECT_EQ(received, sent);
            EXPECT_EQ(poll.log(encoding == std::string_view("utf-8")), log);
        }
        EXPECT_EQ(poll.sendFolder(), kept);
        EXPECT_EQ(poll.status.texts.count("Сообщение отправлено"), sent.size());
        EXPECT_EQ(poll.phone.purges, sent.size());
    }
}

// A file changed within two seconds of the poll's clock, either side, is still being written;
// one a minute ahead of it (a clock set back, a file copied with its time) is not.
TEST(OutboxScan, AFileChangedWithinTwoSecondsOfNowIsStillBeingWritten) {
    for (const auto& [ageMs, sent] : {std::pair(500, false), {-1500, false}, {-60000, true}}) {
        SCOPED_TRACE(ageMs);
        Outbox poll;
        poll.put("m.txt", "79161234567\tHel");
        poll.clock.wall = QFileInfo(poll.send("m.txt")).lastModified().addMSecs(ageMs);
        poll.scan();
        EXPECT_EQ(poll.phone.pdus.size(), sent ? 1 : 0);
        if (sent) continue;
        EXPECT_EQ(poll.status.texts,
                  QStringList({"Поиск файлов для отправки", "Нет сообщений на отправку"}));
        EXPECT_EQ(poll.status.icons, QList<int>({4}));
        EXPECT_TRUE(poll.phone.commands.isEmpty());
    }
}

// A file its writer closed goes at once, by the clock the polls run on (an hour ahead here, as
// a system clock set forward may be): heard finished after its last change.
TEST(OutboxScan, AFileItsWriterClosedGoesAtOnceByThePollsClock) {
    Outbox poll;
    poll.clock.wall = QDateTime::currentDateTime().addSecs(3600);
    send::OutboxScan scanner;
    QEventLoop heard;
    scanner.watch(poll.send({}), poll.clock, [&] { heard.quit(); });
    QFile file(poll.send("m.txt"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write("79161234567\tat once") > 0);
    ASSERT_TRUE(file.flush() && file.setFileTime(poll.clock.wall.addMSecs(-500),
                                                 QFileDevice::FileModificationTime));
    file.close();
    QTimer::singleShot(10000, &heard, &QEventLoop::quit);
    heard.exec();
    poll.scan(std::move(scanner));
    EXPECT_EQ(poll.phone.pdus.size(), 1);
}

TEST(OutboxScan, ALongMessageThatFailedPartWayLaterSendsOnlyItsMissingParts) {
    Outbox poll;
    ASSERT_TRUE(poll.settings.write(setting::LongID, "41"));
    const QByteArray half(200, 'x');
    poll.put("long.txt", "79161234567\t" + half + "\r\n" + half);  // 3 parts
    const QString failed = "Ошибка отправки сообщения: 79161234567\t" + half + half + u'\t';
    poll.phone.script = "pkpcpk";
    poll.scan();
    const QList<QByteArray> first = poll.phone.pdus;
    ASSERT_EQ(first.size(), 3);
    EXPECT_EQ(poll.log(), QStringList({failed + "+CMS ERROR: 500 (unknown error)"}));
    EXPECT_EQ(poll.settings.text(setting::LongID), "42");

    // The settings change meanwhile; the missing part still goes as it was built, and each
    // poll that fails says so again.
    ASSERT_TRUE(poll.settings.write(setting::Report, "1"));
    for (const std::string script : {"pss", ""}) {
        poll.phone.pdus.clear();
        poll.phone.script = script;
        poll.scan();
        EXPECT_EQ(poll.phone.pdus, QList<QByteArray>({first[1]}));
    }
    EXPECT_EQ(poll.log(),
              QStringList({failed + "+CMS ERROR: 500 (unknown error)", failed + "нет ответа"}));
    EXPECT_FALSE(poll.has("long.txt"));
    EXPECT_EQ(poll.settings.text(setting::LongID), "42");
    EXPECT_EQ(poll.status.texts.last(), "Сообщение (часть 2/3) отправлено");
}

// The phone's answer decides: a message it refuses for good (+CMS ERROR: 304) goes to Failed at
// once, one it refuses for now (+CMS ERROR: 500) waits in Send with its attempts.
TEST(OutboxScan, OnlyARefusalForGoodMovesAFileToFailed) {
    Outbox poll;
    ASSERT_TRUE(poll.settings.write(setting::Failed, "Failed"));
    poll.start();
    poll.put("a.txt", "79161234567\tfor good");
    poll.put("b.txt", "79161234567\tfor now");
    // Larger than any message: refused for good, but never replaced by an empty copy.
    const QByteArray large = "79161234567\t" + QByteArray(1024 * 1024, 'x');
    poll.put("c.txt", large);
    poll.phone.script = "pCpc";
    poll.scan();
    EXPECT_EQ(poll.sendFolder(), QStringList({"b.status", "b.txt", "c.status", "c.txt"}));
    EXPECT_EQ(poll.read("Send/c.txt"), large);
    EXPECT_EQ(poll.read("Failed/a.txt"), "79161234567\tfor good");
    const auto status = [&](const QString& name) {
        return QString::fromUtf8(poll.read(name))
            .split(u'\n')
            .filter(QRegularExpression("^(state|attempts|error|error-text)="));
    };
    EXPECT_EQ(status("Failed/a.status"), QStringList({"state=failed", "attempts=1", "error=304",
                                                      "error-text=invalid PDU mode parameter"}));
    EXPECT_EQ(status("Send/b.status"), QStringList({"state=waiting", "attempts=1", "error=500",
                                                    "error-text=unknown error"}));
}

// The operator rewrites the file while the phone refuses its message for good: the refusal
// is the old message's, the new content goes as a message of its own.
TEST(OutboxScan, AFileRewrittenWhileItsMessageIsRefusedIsANewMessage) {
    Outbox poll;
    ASSERT_TRUE(poll.settings.write(setting::Failed, "Failed"));
    poll.start();
    poll.put("a.txt", "79161234567\tfor good");
    bool rewritten = false;
    poll.status.onStatus = [&](const contracts::Status& status) {
        if (status.id == contracts::StatusId::Sending && !std::exchange(rewritten, true))
            poll.put("a.txt", "79161234567\tthe new one");
    };
    poll.phone.script = "Cp";
    poll.scan();
    poll.scan();
    ASSERT_EQ(poll.phone.pdus.size(), 1);  // the one the phone took
    EXPECT_EQ(describe(poll.phone.pdus[0]), "+79161234567\t00\t-\tthe new one");
    EXPECT_TRUE(QDir(poll.path("Failed")).entryList(QDir::Files).isEmpty());
    EXPECT_EQ(poll.sendFolder(), QStringList());
}

// Gateways sharing a store: one whose message went unconfirmed when it stopped settles it
// itself, from its own send folder; another one must not take the file for gone meanwhile.
TEST(OutboxScan, AnotherGatewaysUnconfirmedFileIsLeftToIt) {
    Outbox poll;
    ASSERT_TRUE(poll.settings.write(setting::Failed, "Failed"));
    ASSERT_TRUE(poll.settings.write(setting::Unconfirmed, "hold"));
    poll.start();
    store::OutgoingMessage m;
    m.id = QStringLiteral("theirs");
    m.origin = store::Origin::File;
    m.host = QStringLiteral("elsewhere");
    m.file = {QStringLiteral("theirs.txt"), 20, 0, "00"};
    m.fileInSend = true;
    m.number = QStringLiteral("79161234567");
    m.state = store::OutgoingState::Unconfirmed;
    ASSERT_TRUE(poll.store.addOutgoing(m));
    poll.scan();
    const auto after = poll.store.outgoing(QStringLiteral("theirs")).value();
    ASSERT_TRUE(after.has_value());
    EXPECT_TRUE(after->fileInSend);
    EXPECT_TRUE(after->note.isEmpty());
}

// Deletion fails, as on a folder the gateway may read but not change; renaming may work.
struct UndeletableFolder final : send::OutboxFolder {
    explicit UndeletableFolder(const QString& path, bool renames = false)
        : disk(path), renames(renames) {}
    std::optional<QList<send::OutboxEntry>> list() const override { return disk.list(); }
    std::optional<send::OutboxEntry> stat(const QString& n) const override { return disk.stat(n); }
    std::optional<QByteArray> read(const QString& n, qint64 max) const override {
        return disk.read(n, max);
    }
    bool remove(const QString&) override { return false; }
    bool rename(const QString& n, const QString& to) override {
        return renames && disk.rename(n, to);
    }
    send::DiskOutboxFolder disk;
    bool renames;
};

// Also a name with a TAB and a percent sign.
TEST(OutboxScan, AConfirmedFileIsNeverSentAgainAndDeletedWhenItCanBe) {
    Outbox poll;
    const auto undeletable = [] {
        return send::OutboxScan(
            [](const QString& p) { return std::make_unique<UndeletableFolder>(p); });
    };
    const QString name = QStringLiteral("Привет a\tb%41.txt");
    // The TAB of the name is a blank in Log.txt, not a field of its own.
    const QString notDeleted = "Ошибка удаления отправленного файла: Привет a b%41.txt";
    poll.put(name, "79161234567\tonce!");
    for (int i = 0; i < 3; ++i) poll.scan(undeletable());
    EXPECT_EQ(poll.phone.pdus.size(), 1);
    EXPECT_EQ(poll.log(), QStringList({notDeleted}));

    poll.put(name, "79161234567\tagain");  // a new message under the same name
    poll.scan(undeletable());
    ASSERT_EQ(poll.phone.pdus.size(), 2);
    EXPECT_EQ(describe(poll.phone.pdus[1]), "+79161234567\t00\t-\tagain");
    EXPECT_EQ(poll.log(), QStringList({notDeleted, notDeleted}));

    // The folder can be changed again, as after a stop between confirmation and deletion.
    poll.scan();
    EXPECT_FALSE(poll.has(name));
    EXPECT_EQ(poll.phone.pdus.size(), 2);
    EXPECT_TRUE(poll.store.filesInSend(poll.working.host)
                    .value()
                    .isEmpty());  // each message went with its file
}

// The operator drops a new file under the name as the sent one is taken out of the folder:
// just before the gateway gives up the name, or just after.
struct RewrittenFolder final : send::OutboxFolder {
    RewrittenFolder(const QString& path, std::function<void(bool)> dropped)
        : disk(path), dropped(std::move(dropped)) {}
    std::optional<QList<send::OutboxEntry>> list() const override { return disk.list(); }
    std::optional<send::OutboxEntry> stat(const QString& n) const override { return disk.stat(n); }
    std::optional<QByteArray> read(const QString& n, qint64 max) const override {
        return disk.read(n, max);
    }
    bool remove(const QString& n) override { return disk.remove(n); }
    bool rename(const QString& n, const QString& to) override {
        if (dropped) dropped(false);
        const bool renamed = disk.rename(n, to);
        if (dropped) dropped(true);
        return renamed;
    }
    send::DiskOutboxFolder disk;
    std::function<void(bool afterRename)> dropped;
};

// Something happens right after the phone's confirmation, before the store records it or
// while the file is taken out; then the same outbox scans once more.
TEST(OutboxScan, AConfirmedMessageGoesOnceAndOnlyItsOwnFileIsDeleted) {
    const QString notRecorded = "Отправленное сообщение не записано в хранилище: m.txt";
    const QString renamed = notRecorded + "\tпереименован в m.txt.sent";
    enum class Rewrite { No, WhenConfirmed, AsItIsTakenOut, AfterItIsTakenOut };
    // A rewrite happens in a folder that deletes; otherwise the store's disk fills in one that
    // deletes nothing and may rename.
    const struct {
        const char* name;
        Rewrite rewrite;
        bool renames;
        int sent;
        QStringList left, log;
    } rows[] = {
        {"rewritten during its send: a new message", Rewrite::WhenConfirmed, false, 2, {}, {}},
        {"rewritten as it is deleted", Rewrite::AsItIsTakenOut, false, 2, {}, {}},
        {"rewritten once it is renamed to go", Rewrite::AfterItIsTakenOut, false, 2, {}, {}},
        // Recorded once there is room; this folder then keeps it from being deleted.
        {"store unwritable, file renamed aside",
         Rewrite::No,
         true,
         1,
         {"m.txt.sent"},
         {renamed, "Ошибка удаления отправленного файла: m.txt.sent"}},
        {"store unwritable, file kept",
         Rewrite::No,
         false,
         1,
         {"m.txt"},
         {notRecorded, "Ошибка удаления отправленного файла: m.txt"}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        Outbox poll;
        poll.put("m.txt", "79161234567\tfirst");
        bool confirmed = false;
        poll.status.onStatus = [&](const contracts::Status& status) {
            if (status.id != contracts::StatusId::Sent || std::exchange(confirmed, true)) return;
            if (row.rewrite == Rewrite::WhenConfirmed)
                poll.put("m.txt", "79161234567\tagain");
            else if (row.rewrite == Rewrite::No)
                poll.store.full = true;
        };
        bool dropped = false;
        const auto drop = [&](bool afterRename) {
            const bool now =
                row.rewrite == (afterRename ? Rewrite::AfterItIsTakenOut : Rewrite::AsItIsTakenOut);
            if (now && !std::exchange(dropped, true)) poll.put("m.txt", "79161234567\tagain");
        };
        send::OutboxScan scanner([&](const QString& path) -> std::unique_ptr<send::OutboxFolder> {
            if (row.rewrite != Rewrite::No) return std::make_unique<RewrittenFolder>(path, drop);
            return std::make_unique<UndeletableFolder>(path, row.renames);
        });
        auto context = poll.context();
        for (int round = 0; round < 2; ++round) {
            scanner.ScanOutbox(context);
            poll.store.full = false;  // room again
        }
        ASSERT_EQ(poll.phone.pdus.size(), row.sent);
        if (row.sent == 2) {
            EXPECT_EQ(describe(poll.phone.pdus[1]), "+79161234567\t00\t-\tagain");
        }
        EXPECT_EQ(poll.sendFolder(), row.left);
        QStringList log = row.log;
        if (row.rewrite == Rewrite::No)
            log.prepend(
                "Отправка остановлена: хранилище не записывается: запись: database or "
                "disk is full");
        EXPECT_EQ(poll.log(), log);
        // Once the folder can be changed, whatever stayed moves on.
        poll.scan();
        EXPECT_EQ(poll.sendFolder(), QStringList());
        EXPECT_EQ(poll.phone.pdus.size(), row.sent);
    }
}

// A message posted over HTTP.
bool postOnce(Outbox& poll) {
    store::OutgoingMessage posted;
    posted.id = QStringLiteral("api");
    posted.origin = store::Origin::Api;
    posted.number = QStringLiteral("+79161234567");
    posted.text = QStringLiteral("once");
    posted.created = QDateTime::currentDateTime();
    return poll.store.addOutgoing(posted).ok();
}

// The first message's parts and their going on the wire are recorded; its confirmation and all
// after it are not.
void failFromTheConfirmationOn(Outbox& poll) {
    poll.status.onStatus = [&poll, sending = false](const contracts::Status& status) mutable {
        if (status.id == contracts::StatusId::Sending && !std::exchange(sending, true))
            poll.store.writesLeft = 2;
    };
}

// The store has no room as the phone confirms a posted message, and for longer than a lease:
// once there is room the confirmation is recorded before any lease is taken back, so that the
// message does not go again, also not after a restart.
TEST(OutboxScan, AConfirmationTheStoreCouldNotTakeIsRecordedOnceItCan) {
    Outbox poll;
    ASSERT_TRUE(postOnce(poll));
    failFromTheConfirmationOn(poll);
    send::OutboxScan scanner;
    auto context = poll.context();
    scanner.ScanOutbox(context);
    poll.store.writesLeft = -1;
    poll.clock.laterSeconds = 600;  // longer than any lease
    scanner.ScanOutbox(context);
    poll.scan();  // as after a restart
    EXPECT_EQ(poll.phone.pdus.size(), 1);
    const auto recorded = poll.store.outgoing(QStringLiteral("api")).value();
    ASSERT_TRUE(recorded.has_value());
    EXPECT_EQ(recorded->state, store::OutgoingState::Sent);
}

// Two gateways on one store, which goes away for longer than a lease just as the phone of one
// confirms a posted message: once it is back, the other does not take the claim back before
// its holder could write what it knows, so the message goes once.
TEST(OutboxScan, AfterTheStoreWasAwayEachGatewayFirstWritesWhatItHolds) {
    Outbox poll;
    contracts::WorkingSettings workingB = poll.working;
    poll.working.host = QStringLiteral("a");
    workingB.host = QStringLiteral("b");
    contracts::PollContext a = poll.context();
    contracts::PollContext b{poll.phone, poll.status,  workingB,      poll.settings,
                             poll.clock, poll.clock,   poll.pacing,   poll.clock,
                             poll.store, poll.figures, poll.logWriter};
    send::OutboxScan gatewayA, gatewayB;
    gatewayB.ScanOutbox(b);  // before anything is queued
    ASSERT_TRUE(postOnce(poll));
    failFromTheConfirmationOn(poll);
    gatewayA.ScanOutbox(a);
    poll.clock.laterSeconds = 300;  // still away when the other one looks for lost claims
    gatewayB.ScanOutbox(b);
    poll.store.writesLeft = -1;
    poll.clock.laterSeconds = 600;  // back, long after the lease ran out
    gatewayB.ScanOutbox(b);
    gatewayA.ScanOutbox(a);
    poll.clock.laterSeconds = 1200;
    gatewayB.ScanOutbox(b);
    EXPECT_EQ(poll.phone.pdus.size(), 1);
    EXPECT_EQ(poll.store.outgoing(QStringLiteral("api")).value()->state,
              store::OutgoingState::Sent);
}

/// A home whose Telvane.ini names the simulated modem's port, with its send folder.
struct ServiceHome : Outbox {
    explicit ServiceHome(const SimulatedModem& modem, Pacing pacing = Pacing::Fast) {
        useModem(modem, {}, pacing);
    }
};

// One folder for everything a working phone shows: single and long messages, a file without
// separator ahead of them all, and a file its writer has not finished; with both pacing
// profiles, since the fast one judges each answer while it is still coming.
TEST(SendService, FilesArriveAsTheirNumberAndTextOnceTheyAreComplete) {
    for (const auto& [name, pacing] :
         {std::pair("standard", Pacing::Standard), {"fast", Pacing::Fast}}) {
        SCOPED_TRACE(name);
        SimulatedModem modem;
        ASSERT_TRUE(modem.start()) << modem.errorString().toStdString();
        ServiceHome home(modem, pacing);
        home.putAll("send/service");
        QProcess writer;  // a slow writer: one character at a time until it is stopped
        writer.start(
            "sh",
            {"-c",
             "printf '79161234567\\t' >\"$0\"; while :; do printf x >>\"$0\"; sleep 0.1; done",
             home.send("4-being-written.txt")});
        const int code = home.runOnce();
        writer.kill();
        writer.waitForFinished();
        ASSERT_EQ(code, 0);

        QStringList described;  // every PDU the modem took, as the recipient reads it
        for (const QString& hex : modem.sentPdus()) described << describe(hex.toLatin1());
        EXPECT_EQ(described, dataLines("send/service.expected"));
        EXPECT_EQ(home.sendFolder(), QStringList({"0-no-separator.txt", "4-being-written.txt"}));
        const QStringList log = {
            "Ошибка чтения файла сообщения: 0-no-separator.txt\tнет разделителя",
            "Номер 89161234569 отправлен как +79161234569",
            "Файл сообщения прочитан как UTF-8: 5-utf8.txt"};
        EXPECT_EQ(home.log(), log);

        // Finished and a minute old, the file goes whole at the next run.
        const QByteArray whole = readFile(home.send("4-being-written.txt"));
        home.put("4-being-written.txt", whole);
        ASSERT_EQ(home.runOnce(), 0);
        QString text;
        for (const QString& hex : modem.sentPdus().mid(described.size()))
            text += describe(hex.toLatin1()).section(u'\t', 3);
        EXPECT_EQ("79161234567\t" + text, whole);
        EXPECT_EQ(home.sendFolder(), QStringList({"0-no-separator.txt"}));
        EXPECT_EQ(home.log(), log);
    }
}

// Files the service may not change, and modems that do what real ones do, run after run: what
// the modem took (and under how many long-message references), what stays in the send folder,
// what Log.txt says (%1 is the home).
struct LockedHome {
    const char* name;
    QStringList immutable;  ///< relative to the home, chattr +i after the files are put
    int longFiles;          ///< l1.txt ... each a two-part message, besides m.txt
    bool linkOutside;       ///< Send/secret.txt is a link to a private file outside the home
    int runs, sent, references;
    QStringList left, log;
    QStringList modem;  ///< telvane-modem options
    QByteArray ini;     ///< more [Options] keys
};

const QString kNotDeleted = "Ошибка удаления отправленного файла: m.txt";
const QString kNoStore =
    "Хранилище недоступно: открытие %1/telvane.db: unable to open database file";
const QString kHeld =
    "Отправка остановлена: хранилище не записывается: открытие %1/telvane.db: unable to open "
    "database file";
const QString kLongId = "Ошибка записи в файл настроек: LongID=2";  // the messages go on 3, 4
const QString kLink =
    "Ошибка чтения файла сообщения: secret.txt\tне обычный файл (ссылка не читается)";
const QString kNotSent = "Ошибка отправки сообщения: 79161234567\tonly once\t";
const LockedHome kLockedHomes[] = {
    {"undeletable send folder", {"Send"}, 0, false, 2, 1, 0, {"m.txt"}, {kNotDeleted}, {}, {}},
    {"home and send folder unwritable",
     {"", "Send"},
     0,
     false,
     2,
     0,
     0,
     {"m.txt"},
     {kNoStore, kHeld, kNoStore, kHeld},
     {},
     {}},
    {"Telvane.ini unwritable", {"Telvane.ini"}, 3, false, 1, 7, 3, {}, {kLongId}, {}, {}},
    {"link to a private file outside", {}, 0, true, 1, 1, 0, {"secret.txt"}, {kLink}, {}, {}},
    // The confirmation comes after the time-out: the message went, once.
    {"late +CMGS",
     {},
     0,
     false,
     2,
     1,
     0,
     {},
     {},
     {"--fault", "slow-cmgs=9000"},
     "SendTimeout=6\r\n"},
    {"refused by the network",
     {},
     0,
     false,
     1,
     0,
     0,
     {"m.txt"},
     {kNotSent + "+CMS ERROR: 500 (unknown error)"},
     {"--fault", "cms-send=500"},
     {}},
    {"not registered",
     {},
     0,
     false,
     1,
     0,
     0,
     {"m.txt"},
     {"Нет регистрации в сети (поиск сети): отправка SMS отложена"},
     {"--network", "searching"},
     {}},
    {"the SIM asks for its PIN", {}, 0, false, 1, 1, 0, {}, {}, {"--pin", "1234"}, "PIN=1234\r\n"},
};

// One row's modem and home, its files put and locked; unlocked again at the end.
struct LockedRun {
    explicit LockedRun(const LockedHome& row) : row(row), modem({{}, {}, {}, row.modem}) {
        modem.start();
        home.useModem(modem, row.ini);
        home.put("m.txt", "79161234567\tonly once");
        for (int i = 1; i <= row.longFiles; ++i)
            home.put(QStringLiteral("l%1.txt").arg(i), "79161234567\t" + QByteArray(200, 'a' + i));
        if (row.linkOutside) {
            const QString secret = outside.filePath("secret");
            home.put("secret.txt", "79161234567\tsecret");
            QFile::rename(home.send("secret.txt"), secret);
            QFile::setPermissions(secret, QFile::ReadOwner | QFile::WriteOwner);
            QFile::link(secret, home.send("secret.txt"));
        }
        for (const QString& name : row.immutable) locks.emplace_back(home.path(name));
    }
    const LockedHome& row;
    SimulatedModem modem;
    Outbox home;
    QTemporaryDir outside;
    std::deque<Immutable> locks;  // released first
};

// The rows go side by side, run after run: each mostly waits for the phone. A row whose files
// cannot be made immutable here (chattr +i needs root and a file system that has it) is left out.
TEST(SendService, WhatTheServiceMayNotChangeNeverCostsOrRepeatsAMessage) {
    std::deque<LockedRun> homes;
    for (const LockedHome& row : kLockedHomes) {
        const LockedRun& home = homes.emplace_back(row);
        ASSERT_TRUE(home.modem.isRunning()) << row.name;
        if (std::all_of(home.locks.begin(), home.locks.end(), std::mem_fn(&Immutable::ok)))
            continue;
        std::printf("skipped: %s (chattr +i unsupported)\n", row.name);
        homes.pop_back();
    }
    for (int run = 0; run < 2; ++run) {
        std::deque<ServiceProcess> services;
        for (const LockedRun& home : homes)
            if (run < home.row.runs) services.emplace_back(home.home.dir.path()).start({"--once"});
        for (ServiceProcess& service : services) {
            ASSERT_TRUE(service.waitForExit(120000));
            EXPECT_EQ(service.exitCode(), 0) << service.errors().toStdString();
        }
    }
    for (const LockedRun& home : homes) {
        SCOPED_TRACE(home.row.name);
        QSet<QString> references;
        for (const QString& pdu : home.modem.sentPdus())
            if (const QString part = describe(pdu.toLatin1()).section(u'\t', 2, 2); part != "-")
                references << part.section(u'#', 1);
        EXPECT_EQ(home.modem.sentPdus().size(), home.row.sent);
        EXPECT_EQ(references.size(), home.row.references);
        EXPECT_EQ(home.home.sendFolder(), home.row.left);
        QStringList log = home.row.log;
        for (QString& line : log) line.replace("%1", home.home.dir.path());
        EXPECT_EQ(home.home.log(), log);
    }
}

TEST(Reports, AReportFindsItsMessageByReferenceNumberAndTime) {
    const auto at = [](const QString& t) { return QDateTime::fromString(t, Qt::ISODate); };
    const QDateTime now = at("2026-12-07T12:00:00Z");
    for (const QString& line : dataLines("send/awaited-reports.txt")) {
        QStringList f = line.split(u'|');
        for (QString& field : f) field = field.trimmed();
        SCOPED_TRACE(f[0].toStdString());
        QTemporaryDir dir;
        auto store = std::move(store::SqliteStore::open(dir.filePath("telvane.db")).value());
        for (const QString& entry : f[1].split(u';')) {
            const QStringList e = entry.split(u' ', Qt::SkipEmptyParts);
            store::OutgoingMessage sent;
            sent.id = e[3];
            sent.origin = store::Origin::Api;
            sent.destination = e[1];
            sent.state = store::OutgoingState::Sent;
            sent.reportWanted = true;
            sent.parts.push_back({"00", 1, store::PartState::Confirmed, e[0].toInt()});
            sent.sentAt = sent.created = at(e[2]);
            ASSERT_TRUE(store->addOutgoing(sent));
        }
        const QStringList r = f[2].split(u' ');
        const auto found = lifecycle::recordReport(
            *store,
            {r[0].toInt(), r[1], r[2] == u"-" ? std::nullopt : std::optional(at(r[2])),
             r[3] == u"final" ? 0 : 0x20, now},
            now);
        EXPECT_EQ(found.value() ? found.value()->id : "-", f[3]);
        QStringList left;
        for (int reference = 0; reference < 256; ++reference) {
            const auto awaiting =
                store->awaitingReport(reference, now.addDays(-lifecycle::kAwaitedReportDays));
            for (const store::OutgoingMessage& m : awaiting.value()) left << m.id;
        }
        EXPECT_EQ(left.isEmpty() ? "-" : left.join(u' '), f[4]);
    }
}

/// What a home holds after a run, as lifecycle.expected shows it: the files of Send, Sent and
/// Failed with the lines of each status file; the run's hook variables and Log.txt lines, sorted
/// (hooks log from their own thread), taken away for the next run. Times, the home and the
/// day's file name vary and are masked.
QString lifecycleView(const Home& home) {
    QStringList view;
    for (const char* folder : {"Send", "Sent", "Failed"}) {
        for (const QString& name : QDir(home.path(folder)).entryList(QDir::Files)) {
            view << QString(folder) + u'/' + name;
            if (name.endsWith(".status"))
                for (const QString& line :
                     QString::fromUtf8(home.read(QString(folder) + u'/' + name)).split(u'\n'))
                    if (!line.isEmpty()) view << "  " + line;
        }
    }
    for (const QString& line : QString::fromUtf8(home.read("hooks.txt")).split(u'\n'))
        if (!line.isEmpty()) view << "hook " + line;
    QStringList log = home.log(true);
    QFile::remove(home.path("hooks.txt"));
    QFile::remove(home.path("Logs/Log.txt"));
    log.sort();
    for (const QString& line : log) view << "log " + line;
    static const QRegularExpression time(QStringLiteral("(time=|TIME=)\\d{4}-\\S+"));
    return view.join(u'\n')
        .replace(time, "\\1<time>")
        .replace(home.dir.path(), "%home")
        .replace(QFileInfo(home.dayFile()).fileName(), "%day");
}

// Sent and Failed with their status files, a report that makes a message delivered, and a hook
// for each event that hangs or fails without costing a message: two runs against a working
// modem (a message to receive, two files; then the delivery report), two against one that
// refuses every PDU (the file waits with its attempts, then fails at RetryLimit).
TEST(SendService, EachMessageEndsInSentOrFailedWithItsStatusAndItsHook) {
    const QStringList expected = QString::fromUtf8(readFile(dataPath("send/lifecycle.expected")))
                                     .split(QStringLiteral("\n# "));
    Outbox home;
    const QByteArray ini =
        "[Folders]\r\nSent=Sent\r\nFailed=Failed\r\n[SMS]\r\nReport=1\r\nEncoding=utf-8\r\n";
    QByteArray hooks = "[Hooks]\r\nTimeLimit=1\r\n";
    for (const char* event : {"OnReceive", "OnSent", "OnFailed", "OnReport"})
        hooks += QByteArray(event) + "=/bin/sh \"" + dataPath("send/hook.sh").toUtf8() + "\"\r\n";
    SimulatedModem working({{"07912143658709F1040B912143658709F100006221501270032105C8329BFD06"},
                            {},
                            {},
                            {"--report-delay", "0"}});
    SimulatedModem refusing({{}, {}, {"error-pdu"}, {}});
    for (int run = 0; run < 4; ++run) {
        SCOPED_TRACE(run);
        SimulatedModem& modem = run < 2 ? working : refusing;
        ASSERT_TRUE(modem.isRunning() || modem.start()) << modem.errorString().toStdString();
        ASSERT_TRUE(home.useModem(modem, ini + hooks));
        if (run == 3) {
            ASSERT_TRUE(home.settings.write(setting::RetryLimit, "2"));
        }
        if (run == 0) home.putAll("send/lifecycle");
        if (run == 2) home.put("c.txt", "79161234568\tto nobody");
        QString errors;
        ASSERT_EQ(home.runOnce(nullptr, &errors), 0) << errors.toStdString();
        EXPECT_EQ(lifecycleView(home), expected.value(run + 1).section(u'\n', 1).trimmed());
    }
}

TEST(SendService, AKillBetweenConfirmationAndDeletionDoesNotSendAgain) {
    const QString strace = QStandardPaths::findExecutable("strace");
    if (strace.isEmpty()) GTEST_SKIP() << "strace is not installed";
    SimulatedModem modem;
    ASSERT_TRUE(modem.start());
    ServiceHome home(modem);
    home.put("m.txt", "79161234567\tonly once");
    // SIGKILL at the very call that would take the file out, and that call never runs.
    QProcess traced;
    traced.start(strace, {"-f", "-qq", "-o", "/dev/null", "-P", home.send("m.txt"), "-e",
                          "trace=unlink,unlinkat,rename,renameat,renameat2", "-e",
                          "inject=unlink,unlinkat,rename,renameat,renameat2:error=EIO:signal=KILL",
                          QStringLiteral(TELVANED_BINARY), "--home", home.dir.path(), "--once"});
    ASSERT_TRUE(traced.waitForFinished(120000));
    if (traced.exitCode() == 1 && modem.sentPdus().isEmpty())
        GTEST_SKIP() << "strace cannot trace here: " << traced.readAllStandardError().toStdString();
    ASSERT_EQ(modem.sentPdus().size(), 1);
    ASSERT_TRUE(home.has("m.txt")) << "the service was not stopped before the deletion";

    ASSERT_EQ(home.runOnce(), 0);
    EXPECT_FALSE(home.has("m.txt"));
    EXPECT_EQ(modem.sentPdus().size(), 1);
    EXPECT_TRUE(home.log().isEmpty());
}

// SIGKILL while the network takes its time to confirm: the PDU is on the wire and the store says
// so; at the next start [SMS] Unconfirmed decides, and the modems' counts show what went.
TEST(SendService, AKillBeforeTheConfirmationLeavesItToTheUnconfirmedRule) {
    const QString lost = "Отправка сообщения не подтверждена: m\tm.txt\t";
    const struct {
        const char* rule;
        QByteArray ini;
        int pdus;
        QStringList send, failed;
        QString log;
    } rows[] = {
        {"resend", "resend", 2, {}, {}, lost + "будет отправлено снова"},
        {"hold", "hold", 1, {"m.txt.unconfirmed"}, {}, lost + "отложено до решения оператора"},
        {"hold with Failed",
         "hold\r\n[Folders]\r\nFailed=Failed",
         1,
         {},
         {"m.status", "m.txt"},
         lost + "отложено до решения оператора"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.rule);
        Outbox home;
        home.put("m.txt", "79161234567\tonly once");
        SimulatedModem slow({{}, {}, {"slow-cmgs=60000"}, {}});
        ASSERT_TRUE(slow.start());
        ASSERT_TRUE(home.useModem(slow, "[SMS]\r\nUnconfirmed=" + row.ini + "\r\n"));
        {
            ServiceProcess service(home.dir.path());
            service.start({"--once"});
            ASSERT_TRUE(slow.waitForSent(1)) << service.errors().toStdString();
        }  // SIGKILL
        SimulatedModem healthy;
        ASSERT_TRUE(healthy.start());
        ASSERT_TRUE(home.useModem(healthy));
        ASSERT_EQ(home.runOnce(), 0);
        EXPECT_EQ(slow.sentPdus().size() + healthy.sentPdus().size(), row.pdus);
        EXPECT_EQ(home.sendFolder(), row.send);
        EXPECT_EQ(QDir(home.path("Failed")).entryList(QDir::Files), row.failed);
        if (!row.failed.isEmpty()) {
            EXPECT_TRUE(home.read("Failed/m.status").startsWith("state=unconfirmed\n"));
        }
        EXPECT_EQ(home.log(), QStringList({row.log}));
        if (row.send.isEmpty()) continue;
        // A person decides: renamed back, it goes.
        ASSERT_TRUE(QFile::rename(home.send("m.txt.unconfirmed"), home.send("m.txt")));
        ASSERT_EQ(home.runOnce(), 0);
        EXPECT_EQ(healthy.sentPdus().size(), 1);
        EXPECT_TRUE(home.sendFolder().isEmpty());
    }
}

// SIGKILL at set delays after the PDU reached a modem that confirms at once, with the standard
// pacing (which takes an answer only once the line has been quiet): a confirmation whose line was
// whole before the kill is on record, and the message goes once; otherwise the store says
// unconfirmed and [SMS] Unconfirmed (resend) sends it again, saying so. A long message killed
// once its first part's confirmation is on record sends only parts 2 and 3, under its reference.
// With the fast pacing too, which ends the answer at its final code. The rows run side by side:
// the standard pacing takes a quarter of a minute to reach the PDU.
struct KillRun {
    int delayMs =
        0;  ///< after the PDU reached the modem; -1: once part 1's confirmation is on record
    int parts = 1;
    Pacing pacing = Pacing::Standard;
    Outbox home;
    SimulatedModem modem;
    std::unique_ptr<ServiceProcess> service;
    bool killed = false;
    bool confirmedAtKill = false;

    bool partOneConfirmed() const {
        const auto store = store::SqliteStore::open(home.path("telvane.db"));
        const auto m = store ? store.value()->outgoing("m").value() : std::nullopt;
        return m && !m->parts.empty() && m->parts.front().state == store::PartState::Confirmed;
    }
    void kill() {
        if (std::exchange(killed, true)) return;
        service->kill();
        confirmedAtKill = partOneConfirmed();
    }
};

TEST(SendService, AConfirmationIsRecordedAsItComesAndAKillAfterItSendsNothingAgain) {
    std::deque<KillRun> runs;
    const struct {
        int delayMs, parts;
        Pacing pacing;
    } rows[] = {{0, 1, Pacing::Standard},   {5, 1, Pacing::Standard},   {50, 1, Pacing::Standard},
                {200, 1, Pacing::Standard}, {450, 1, Pacing::Standard}, {-1, 3, Pacing::Standard},
                {0, 1, Pacing::Fast},       {5, 1, Pacing::Fast},       {50, 1, Pacing::Fast}};
    for (const auto& row : rows) {
        KillRun& run = runs.emplace_back();
        run.delayMs = row.delayMs;
        run.parts = row.parts;
        run.pacing = row.pacing;
        run.home.put("m.txt", "79161234567\t" + QByteArray(row.parts == 1 ? 5 : 400, 'a'));
        ASSERT_TRUE(run.modem.start());
        ASSERT_TRUE(run.home.useModem(run.modem, {}, row.pacing));
        run.service = std::make_unique<ServiceProcess>(run.home.dir.path());
        run.service->start({"--once"});
    }
    QEventLoop loop;
    std::deque<QFileSystemWatcher> watchers;
    std::deque<QTimer> checks;
    const auto done = [&] {
        if (std::all_of(runs.begin(), runs.end(), [](const KillRun& r) { return r.killed; }))
            loop.quit();
    };
    for (KillRun& run : runs) {
        QTimer& check = checks.emplace_back();
        QObject::connect(&check, &QTimer::timeout, &loop, [&] {
            if (run.delayMs >= 0 || run.partOneConfirmed()) run.kill(), done();
        });
        QFileSystemWatcher& watcher = watchers.emplace_back(QStringList{run.modem.directory()});
        const auto arrived = [&] {
            // The --sent file appears empty; its lines come as changes of the file.
            if (QFile::exists(run.modem.sentPath()) && watcher.files().isEmpty())
                watcher.addPath(run.modem.sentPath());
            if (run.modem.sentPdus().isEmpty() || run.killed || check.isActive()) return;
            if (run.delayMs < 0) {
                check.start(5);
            } else {
                check.start(run.delayMs);  // the kill, once
                check.setSingleShot(true);
            }
        };
        QObject::connect(&watcher, &QFileSystemWatcher::directoryChanged, &loop, arrived);
        QObject::connect(&watcher, &QFileSystemWatcher::fileChanged, &loop, arrived);
        // A fast gateway may have sent before its watcher was there to see it.
        arrived();
    }
    QTimer::singleShot(120000, &loop, &QEventLoop::quit);
    loop.exec();
    for (KillRun& run : runs) {
        SCOPED_TRACE(testing::Message() << run.delayMs << " ms, "
                                        << (run.pacing == Pacing::Fast ? "fast" : "standard"));
        ASSERT_TRUE(run.killed) << "the PDU never reached the modem";
        run.service.reset();
        if (run.delayMs >= 50) {
            EXPECT_TRUE(run.confirmedAtKill) << "not on record 50 ms after the PDU";
        }
        if (run.delayMs < 0) {
            EXPECT_EQ(run.modem.sentPdus().size(), 1) << "part 2 went before the kill";
        }
        ASSERT_TRUE(run.home.settings.write(setting::Pacing, "fast"));  // the rest goes quickly
        ASSERT_EQ(run.home.runOnce(), 0);
        QStringList described;
        for (const QString& pdu : run.modem.sentPdus()) described << describe(pdu.toLatin1());
        if (run.parts == 3) {
            QSet<QString> parts, references;
            for (const QString& d : described) {
                parts << d.section(u'\t', 2, 2).section(u' ', 0, 0);
                references << d.section(u'\t', 2, 2).section(u'#', 1);
            }
            EXPECT_EQ(described.size(), 3);
            EXPECT_EQ(parts, QSet<QString>({"1/3", "2/3", "3/3"}));
            EXPECT_EQ(references.size(), 1);
        } else {
            EXPECT_EQ(described.size(), run.confirmedAtKill ? 1 : 2);
        }
        EXPECT_EQ(run.home.log(), run.confirmedAtKill
                                      ? QStringList()
                                      : QStringList({"Отправка сообщения не подтверждена: "
                                                     "m\tm.txt\tбудет отправлено снова"}));
        EXPECT_TRUE(run.home.sendFolder().isEmpty());
    }
}

}  // namespace
