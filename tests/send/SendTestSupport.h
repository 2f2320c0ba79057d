#pragma once
// A home folder with its send folder, and a poll for the outbox without a phone: a phone that
// answers from a script and records what it was sent, a status sink that keeps every status,
// and clocks that move only when told.

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QStringList>
#include <QTemporaryDir>

#include "codec/Alphabets.h"
#include "codec/PduDecoder.h"
#include "config/Settings.h"
#include "contracts/PollContext.h"

namespace telvane::test {

/// The lines of a UTF-8 file under tests/data, without empty lines and "#" comments.
inline QStringList dataLines(const QString& path) {
    QFile file(QStringLiteral(TELVANE_TEST_DATA "/") + path);
    file.open(QIODevice::ReadOnly);
    QStringList lines = QString::fromUtf8(file.readAll()).split(u'\n', Qt::SkipEmptyParts);
    lines.removeIf([](const QString& line) { return line.startsWith(u'#'); });
    return lines;
}

struct HomeFolder {
    HomeFolder() {
        for (const char* folder : {"Send", "Logs"}) QDir(dir.path()).mkpath(folder);
    }
    QString send(const QString& name) const { return dir.filePath(QStringLiteral("Send/") + name); }
    // The bytes as they are (Windows-1251), dated a minute back: a file its writer finished.
    void put(const QString& name, const QByteArray& bytes) const {
        QFile file(send(name));
        file.open(QIODevice::WriteOnly);
        file.write(bytes);
        file.flush();  // else the write at close dates it anew
        file.setFileTime(QDateTime::currentDateTime().addSecs(-60),
                         QFileDevice::FileModificationTime);
    }
    /// Every file of a folder under tests/data, as put() puts it.
    void putAll(const QString& folder) const {
        const QDir from(QStringLiteral(TELVANE_TEST_DATA "/") + folder);
        for (const QString& name : from.entryList(QDir::Files | QDir::Hidden)) {
            QFile file(from.filePath(name));
            if (file.open(QIODevice::ReadOnly)) put(name, file.readAll());
        }
    }
    QStringList sendFolder() const { return QDir(send({})).entryList(QDir::Files | QDir::Hidden); }
    bool has(const QString& name) const { return QFile::exists(send(name)); }
    /// The lines of "Log.txt" without their date and time.
    QStringList log() const {
        QFile file(dir.filePath(QStringLiteral("Logs/Log.txt")));
        file.open(QIODevice::ReadOnly);
        QStringList lines =
            QString::fromStdU32String(codec::cp1251ToUnicode(file.readAll().toStdString()))
                .split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
        for (QString& line : lines) line = line.section(u'\t', 2);
        return lines;
    }
    QTemporaryDir dir;
};

/// Answers each transaction with the next letter of `script` (p the prompt, k "OK" after a
/// PDU, e "ERROR", c "+CMS ERROR", s silence); once the script is used up, a prompt to
/// "at+cmgs=", "OK" to a PDU and silence to ESC, like a phone that works.
struct ScriptedPhone final : contracts::PhoneLink {
    contracts::PortOpening OpenPort() override {
        return {contracts::PortOpening::Outcome::Opened, {}};
    }
    QString portDescription() const override { return QStringLiteral("COM1; 9600; n,8,1"); }
    bool SendToPhone(const QByteArray& command, const QString&, QString&, int) override {
        commands << command;
        if (command.endsWith('\x1a')) pdus << command.chopped(1);
        char answer = command.startsWith("at+cmgs=") ? 'p' : command.endsWith('\x1a') ? 'k' : 's';
        if (!script.empty()) answer = script.front(), script.erase(0, 1);
        buffer = answer == 'p'   ? "\r\n> "
                 : answer == 'k' ? "\r\n+CMGS: 1\r\n\r\nOK\r\n"
                 : answer == 'e' ? "\r\nERROR\r\n"
                 : answer == 'c' ? "\r\n+CMS ERROR: 500\r\n"
                                 : "";
        return answer == 'p' || answer == 'k';
    }
    const QByteArray& gsBuffer() const override { return buffer; }
    void PurgeBuffer() override { ++purges; }
    void FinCom() override {}
    void setLogFolder(const QString&) override {}
    std::string script;
    QList<QByteArray> commands;
    QList<QByteArray> pdus;  ///< without their Ctrl-Z
    QByteArray buffer;
    int purges = 0;
};

struct RecordingStatus final : contracts::StatusSink {
    void SetStatus(const contracts::Status& status) override { texts << (current = status).text; }
    void SetStatusIcon(contracts::StatusIcon icon) override { icons << static_cast<int>(icon); }
    const contracts::Status& currentStatus() const override { return current; }
    contracts::Status current;
    QStringList texts;
    QList<int> icons;
};

struct FakeClock final : contracts::Clock {
    qint64 monotonicMs() const override { return now; }
    void pause(int ms) override { now += ms; }
    qint64 now = 0;
};

/// Settings and everything else a poll hands the outbox, over a home folder.
struct OutboxPoll : HomeFolder {
    OutboxPoll() : settings(dir.filePath(QStringLiteral("Telvane.ini")), dir.path()) {
        working.gfsSend = send({});
        working.gfsLogs = dir.filePath(QStringLiteral("Logs/"));
        working.gfsSplit = QStringLiteral("\t");
    }
    contracts::PollContext context() {
        return {phone, status, working, settings, clock, pump, pacing, wallClock};
    }
    struct : contracts::EventPump {
        void run() override {}
    } pump;
    struct : contracts::WallClock {
        QDateTime now() const override { return time; }
        QDateTime time = QDateTime::currentDateTime();
    } wallClock;
    config::Settings settings;
    contracts::WorkingSettings working;
    ScriptedPhone phone;
    RecordingStatus status;
    FakeClock clock;
    contracts::PacingProfile pacing;
};

/// A submitted PDU as the recipient's phone reads it: number, TP-DCS, part (k/m and the
/// reference, or "-" for a single message) and text, separated by tabs.
inline QString describe(const QByteArray& hex) {
    const auto decoded = codec::decodePduHex(hex.toStdString());
    const auto* pdu = std::get_if<codec::DecodedPdu>(&decoded);
    if (!pdu) return "bad PDU " + hex;
    const auto& c = pdu->concat;
    return QString::fromStdU32String(pdu->number) + QString::asprintf("\t%02X\t", pdu->dcs) +
           (c ? QString::asprintf("%zu/%zu #%u", c->seq, c->total, unsigned(c->ref)) : "-") +
           u'\t' + QString::fromStdU32String(pdu->text);
}

}  // namespace telvane::test
