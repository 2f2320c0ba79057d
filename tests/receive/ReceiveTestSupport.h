#pragma once
// A scripted phone with two message memories, a recording status, fixed clocks and a file
// system that fails on request: what a retrieval run needs, without a serial port.

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <functional>
#include <map>
#include <memory>

#include "codec/Alphabets.h"
#include "config/Settings.h"
#include "gateway/PollServices.h"
#include "receive/FileSystem.h"

namespace telvane::test {

inline QByteArray readData(const QString& name) {
    QFile file(QStringLiteral(TELVANE_TEST_DATA "/receive/") + name);
    if (!file.open(QIODevice::ReadOnly)) return {};
    return file.readAll();
}

inline QByteArray readFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return {};
    return file.readAll();
}

/// One transaction as the phone saw it.
struct Sent {
    QByteArray command;
    QString action;
    int delay = 0;
};

/// Answers AT+CPMS, AT+CMGL=4 and at+cmgd= from its two memories. A memory's list answer is a
/// captured answer file; a delete removes the entry from what later lists give.
class ScriptedPhone final : public phone::PhoneLink {
public:
    struct Memory {
        bool selectable = true;
        bool listAnswers = true;
        QByteArray answer;  ///< the whole list answer
    };

    bool OpenPort() override { return true; }
    bool SendToPhone(const QByteArray& command, const QString& action, QString& wait,
                     int delay) override {
        sent.push_back({command, action, delay});
        m_buffer = command;
        if (command.startsWith("AT+CPMS=\"")) {
            m_selected = command.mid(9, 2);
            if (!memories[m_selected].selectable) return fail(wait);
            m_buffer += "\r\n+CPMS: 2,100,2,100,2,100\r\n\r\nOK\r\n";
            return true;
        }
        if (command == "AT+CMGL=4\r\n") {
            Memory& memory = memories[m_selected];
            if (!memory.listAnswers) return false;
            m_buffer = withoutDeleted(memory.answer);
            return true;
        }
        if (command.startsWith("at+cmgd=")) {
            const QByteArray index = command.mid(8).chopped(1);
            if (onDelete) onDelete(m_selected, index.toInt());
            if (!deletesWork) return false;
            m_deleted[m_selected].insert(index);
            m_buffer += "\r\nOK\r\n";
            return true;
        }
        m_buffer += "\r\nOK\r\n";
        return true;
    }
    const QByteArray& gsBuffer() const override { return m_buffer; }
    void PurgeBuffer() override {}
    void FinCom() override {}
    void setLogFolder(const QString&) override {}

    QStringList deletes() const {
        QStringList out;
        for (const Sent& s : sent)
            if (s.command.startsWith("at+cmgd=")) out << QString::fromLatin1(s.command.chopped(1));
        return out;
    }
    /// The phone is filled anew: what was deleted before is listed again.
    void forgetDeletes() { m_deleted.clear(); }
    bool isDeleted(const QByteArray& memory, int index) const {
        const auto it = m_deleted.find(memory);
        return it != m_deleted.end() && it->second.contains(QByteArray::number(index));
    }

    std::map<QByteArray, Memory> memories{{"ME", {}}, {"SM", {}}};
    bool deletesWork = true;
    std::function<void(const QByteArray& memory, int index)> onDelete;
    std::vector<Sent> sent;

private:
    bool fail(QString& wait) {
        m_buffer += "\r\n+CMS ERROR: 310\r\n";
        wait = QStringLiteral("Ошибка");
        return false;
    }
    // The answer without the entries deleted so far (header line and PDU line).
    QByteArray withoutDeleted(const QByteArray& answer) const {
        const auto it = m_deleted.find(m_selected);
        if (it == m_deleted.end()) return answer;
        QList<QByteArray> lines = answer.split('\n');
        QByteArray out;
        for (qsizetype i = 0; i < lines.size(); ++i) {
            const QByteArray& line = lines[i];
            if (line.startsWith("+CMGL: ")) {
                const QByteArray index = line.mid(7, line.indexOf(',') - 7);
                if (it->second.contains(index)) {
                    ++i;
                    continue;
                }
            }
            out += line;
            if (i + 1 < lines.size()) out += '\n';
        }
        return out;
    }

    QByteArray m_selected = "ME";
    QByteArray m_buffer;
    std::map<QByteArray, QSet<QByteArray>> m_deleted;
};

class RecordingStatus final : public gateway::StatusSink {
public:
    void SetStatus(const gateway::Status& s) override {
        m_current = s;
        texts << s.text;
    }
    void SetStatusIcon(gateway::StatusIcon icon) override { icons.push_back(int(icon)); }
    const gateway::Status& currentStatus() const override { return m_current; }
    QStringList texts;
    std::vector<int> icons;

private:
    gateway::Status m_current;
};

class FakeClock final : public phone::Clock {
public:
    qint64 monotonicMs() const override { return now; }
    void pause(int ms) override { now += ms; }
    qint64 now = 0;
};

struct CountingPump final : phone::EventPump {
    void run() override { ++runs; }
    int runs = 0;
};

/// The real date and time plus an offset that a test moves forward.
struct ShiftedWallClock final : gateway::WallClock {
    QDateTime now() const override { return QDateTime::currentDateTime().addSecs(offsetSeconds); }
    qint64 offsetSeconds = 0;
};

/// The disk, except that appends to paths containing `failAppendsTo` fail without writing.
class FailingFileSystem final : public receive::FileSystem {
public:
    receive::WriteResult appendDurably(const QString& path, const QByteArray& bytes) override {
        if (!failAppendsTo.isEmpty() && path.contains(failAppendsTo))
            return receive::WriteResult::failed(path, QStringLiteral("No space left on device"));
        return m_disk.appendDurably(path, bytes);
    }
    receive::WriteResult replaceDurably(const QString& path, const QByteArray& bytes) override {
        return m_disk.replaceDurably(path, bytes);
    }
    std::optional<QByteArray> readAll(const QString& path) const override {
        return m_disk.readAll(path);
    }
    bool exists(const QString& path) const override { return m_disk.exists(path); }
    bool makeFolder(const QString& folder) override { return m_disk.makeFolder(folder); }
    bool remove(const QString& path) override { return m_disk.remove(path); }
    QStringList list(const QString& folder, const QString& suffix) const override {
        return m_disk.list(folder, suffix);
    }
    std::optional<QDateTime> lastModified(const QString& path) const override {
        return m_disk.lastModified(path);
    }
    QString failAppendsTo;

private:
    receive::DiskFileSystem m_disk;
};

/// A home folder with Telvane.ini, and the context of one poll on it.
struct PollBench {
    explicit PollBench(const QByteArray& ini = {}) {
        QFile file(home.filePath(QStringLiteral("Telvane.ini")));
        if (file.open(QIODevice::WriteOnly)) file.write(ini);
        file.close();
        settings = std::make_unique<config::Settings>(home.filePath(QStringLiteral("Telvane.ini")),
                                                      home.path());
        working.gfsReceive = settings->folder(config::setting::Receive);
        working.gfsLogs = settings->folder(config::setting::Logs);
        working.gfsSend = settings->folder(config::setting::Send);
        working.FileType = settings->leadingNumber32(config::setting::FileType);
        working.gflSMSnum = settings->strictInt32(config::setting::Number);
        working.PollPeriod = settings->strictInt16(config::setting::PeriodAtStart);
    }
    gateway::PollContext context() {
        return {phone, status, working, *settings, clock, pump, pacing, wallClock};
    }
    QString homePath(const QString& name) const { return settings->homeFolder() + name; }
    QString dayFile() const {
        return working.gfsReceive + wallClock.now().toString(QStringLiteral("yy-MM-dd")) +
               QStringLiteral(".txt");
    }
    QString logFile() const { return working.gfsLogs + QStringLiteral("Log.txt"); }
    QStringList partFiles() const {
        return QDir(home.path()).entryList({QStringLiteral("*.tmp")}, QDir::Files, QDir::Name);
    }

    QTemporaryDir home;
    std::unique_ptr<config::Settings> settings;
    gateway::WorkingSettings working;
    ScriptedPhone phone;
    RecordingStatus status;
    FakeClock clock;
    CountingPump pump;
    phone::PacingProfile pacing;
    ShiftedWallClock wallClock;
};

/// The lines of a Windows-1251 text file, as Unicode, without their CR LF; a file that does
/// not end in CR LF gets "<torn>" as its last line.
inline QStringList textLines(const QString& path) {
    const QByteArray content = readFile(path);
    QStringList lines;
    qsizetype start = 0;
    while (start < content.size()) {
        const qsizetype end = content.indexOf("\r\n", start);
        if (end < 0) {
            lines << QStringLiteral("<torn>");
            break;
        }
        const QByteArray line = content.mid(start, end - start);
        lines << QString::fromStdU32String(
            codec::cp1251ToUnicode(std::string_view(line.constData(), size_t(line.size()))));
        start = end + 2;
    }
    return lines;
}

}  // namespace telvane::test
