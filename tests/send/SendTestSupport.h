#pragma once
// A poll for the outbox without a phone: a phone that answers from a script and records what
// it was sent, a status sink that keeps every status, and clocks that move only when told.

#include <QByteArray>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QStringList>
#include <QTemporaryDir>
#include <deque>
#include <memory>

#include "codec/Alphabets.h"
#include "codec/PduDecoder.h"
#include "config/Settings.h"
#include "gateway/PollServices.h"

namespace telvane::test {

/// One answer of the phone: the transaction's result and what stays in gsBuffer.
struct Answer {
    bool ok;
    QByteArray reply;
};
inline const Answer kPrompt{true, "\r\n> "};
inline const Answer kOk{true, "\r\n+CMGS: 1\r\n\r\nOK\r\n"};
inline const Answer kError{false, "\r\nERROR\r\n"};
inline const Answer kCmsError{false, "\r\n+CMS ERROR: 500\r\n"};
inline const Answer kSilence{false, ""};

/// Answers each transaction with the next scripted answer; once the script is used up, a
/// prompt to "at+cmgs=", "OK" to a PDU and silence to ESC, like a phone that works.
class ScriptedPhone final : public phone::PhoneLink {
public:
    bool OpenPort() override { return true; }
    bool SendToPhone(const QByteArray& command, const QString&, QString& wait, int) override {
        commands << command;
        Answer answer = kSilence;
        if (!script.empty()) {
            answer = script.front();
            script.pop_front();
        } else if (command.startsWith("at+cmgs=")) {
            answer = kPrompt;
        } else if (command.endsWith('\x1a')) {
            answer = kOk;
        }
        m_buffer = answer.reply;
        if (!answer.ok && m_buffer.contains("ERROR")) wait = QStringLiteral("Ошибка");
        return answer.ok;
    }
    const QByteArray& gsBuffer() const override { return m_buffer; }
    void PurgeBuffer() override { ++purges; }
    void FinCom() override {}
    void setLogFolder(const QString&) override {}

    /// The PDUs written (without their Ctrl-Z), in order.
    QList<QByteArray> pdus() const {
        QList<QByteArray> out;
        for (const QByteArray& c : commands)
            if (c.endsWith('\x1a')) out << c.chopped(1);
        return out;
    }
    qsizetype escapes() const { return commands.count(QByteArray(1, '\x1b')); }

    std::deque<Answer> script;
    QList<QByteArray> commands;
    int purges = 0;

private:
    QByteArray m_buffer;
};

class RecordingStatus final : public gateway::StatusSink {
public:
    void SetStatus(const gateway::Status& status) override {
        m_current = status;
        texts << status.text;
    }
    void SetStatusIcon(gateway::StatusIcon icon) override { icons << static_cast<int>(icon); }
    const gateway::Status& currentStatus() const override { return m_current; }
    QStringList texts;
    QList<int> icons;

private:
    gateway::Status m_current;
};

class FakeClock final : public phone::Clock {
public:
    qint64 monotonicMs() const override { return now; }
    void pause(int ms) override { now += ms; }
    qint64 now = 0;
};

class NoPump final : public phone::EventPump {
public:
    void run() override {}
};

class FakeWallClock final : public gateway::WallClock {
public:
    QDateTime now() const override { return time; }
    QDateTime time = QDateTime::currentDateTime().addSecs(60);
};

/// A home folder with Send and Logs, its settings, and everything a poll hands the outbox.
struct OutboxPoll {
    OutboxPoll() : settings(home.filePath(QStringLiteral("Telvane.ini")), home.path()) {
        QDir(home.path()).mkpath(QStringLiteral("Send"));
        QDir(home.path()).mkpath(QStringLiteral("Logs"));
        working.gfsSend = home.filePath(QStringLiteral("Send")) + u'/';
        working.gfsLogs = home.filePath(QStringLiteral("Logs")) + u'/';
        working.gfsSplit = QStringLiteral("\t");
    }

    gateway::PollContext context() {
        return {phone, status, working, settings, clock, pump, pacing, wallClock};
    }

    /// Writes a file into the send folder (bytes as they are, i.e. Windows-1251).
    void put(const QString& name, const QByteArray& bytes) {
        QFile file(working.gfsSend + name);
        file.open(QIODevice::WriteOnly);
        file.write(bytes);
    }
    bool has(const QString& name) const { return QFile::exists(working.gfsSend + name); }
    QStringList logLines() const {
        QFile file(working.gfsLogs + QStringLiteral("Log.txt"));
        if (!file.open(QIODevice::ReadOnly)) return {};
        QStringList lines;
        for (QByteArray line : file.readAll().split('\n')) {
            if (line.endsWith('\r')) line.chop(1);
            if (line.isEmpty()) continue;
            lines << QString::fromStdU32String(
                codec::cp1251ToUnicode(std::string_view(line.constData(), line.size())));
        }
        return lines;
    }

    QTemporaryDir home;
    config::Settings settings;
    gateway::WorkingSettings working;
    ScriptedPhone phone;
    RecordingStatus status;
    FakeClock clock;
    NoPump pump;
    phone::PacingProfile pacing;
    FakeWallClock wallClock;
};

/// Number and text of a submitted PDU, as the recipient's phone reads them.
inline std::pair<std::string, std::u32string> numberAndText(const QByteArray& pdu) {
    const auto decoded = codec::decodePduHex(std::string_view(pdu.constData(), pdu.size()));
    if (!std::holds_alternative<codec::DecodedPdu>(decoded)) return {"<bad pdu>", U""};
    const auto& d = std::get<codec::DecodedPdu>(decoded);
    std::string number;
    for (const char32_t c : d.number) number.push_back(static_cast<char>(c));
    return {number, d.text};
}

}  // namespace telvane::test
