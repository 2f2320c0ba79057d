#pragma once
// A scripted phone with two message memories, a recording status, a clock that a test moves,
// and a home folder: what a retrieval run needs, without a serial port.

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <functional>
#include <map>
#include <memory>
#include <optional>

#include "codec/Alphabets.h"
#include "config/Settings.h"
#include "contracts/PollContext.h"
#include "receive/InboxRetrieval.h"
#include "receive/ListAnswer.h"
#include "receive/MessageFiles.h"

namespace telvane::test {

inline QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

inline QByteArray readData(const char* name) {
    return readFile(QStringLiteral(TELVANE_TEST_DATA "/receive/") + QLatin1String(name));
}

/// The lines of a Windows-1251 text file, as Unicode, without their CR LF; a file that does
/// not end in CR LF gets "<torn>" as its last line.
inline QStringList textLines(const QString& path) {
    const QByteArray content = readFile(path);
    QStringList lines;
    for (qsizetype start = 0, end; start < content.size(); start = end + 2) {
        end = content.indexOf("\r\n", start);
        if (end < 0) return lines << QStringLiteral("<torn>");
        const QByteArray line = content.mid(start, end - start);
        lines << QString::fromStdU32String(
            codec::cp1251ToUnicode(std::string_view(line.constData(), size_t(line.size()))));
    }
    return lines;
}

/// The PDU lines of a list answer file, by index.
inline std::map<int, QString> listedPdus(const char* file) {
    const QByteArray answer = readData(file);
    std::map<int, QString> pdus;
    for (const auto& entry :
         receive::parseListAnswer({answer.constData(), size_t(answer.size())}).entries)
        pdus[int(entry.index)] = QString::fromStdString(entry.pdu);
    return pdus;
}

/// The parts held in the part files of a folder.
inline qsizetype partLines(const QString& folder) {
    qsizetype lines = 0;
    for (const QString& name : QDir(folder).entryList({QStringLiteral("*.tmp")}, QDir::Files)) {
        EXPECT_TRUE(
            QRegularExpression(QStringLiteral("^[0-9A-F-]+\\.tmp$")).match(name).hasMatch());
        lines += readFile(folder + u'/' + name).count("\r\n");
    }
    return lines;
}

/// One scenario of retrieval-scenarios.txt (its header says what the keys mean): the values
/// of each key in order, and each poll's fields.
struct Scenario {
    std::string name;
    std::map<QString, QStringList> keys;
    std::vector<std::map<QString, QString>> polls;

    QStringList all(const char* key) const {
        const auto it = keys.find(QLatin1String(key));
        return it == keys.end() ? QStringList() : it->second;
    }
    QString one(const char* key, const char* otherwise = "") const {
        const QStringList values = all(key);
        return values.isEmpty() ? QLatin1String(otherwise) : values.first();
    }
    QByteArray ini() const {
        QString text = one("ini");
        return QByteArray::fromStdString(codec::unicodeToCp1251Lossy(
            text.replace(QLatin1String("\\r\\n"), QLatin1String("\r\n")).toStdU32String()));
    }
    friend void PrintTo(const Scenario& s, std::ostream* out) { *out << s.name; }
};

inline QString field(const std::map<QString, QString>& poll, const char* key,
                     const char* otherwise = "") {
    const auto it = poll.find(QLatin1String(key));
    return it == poll.end() ? QLatin1String(otherwise) : it->second;
}

inline bool has(const std::map<QString, QString>& poll, const char* fault) {
    return field(poll, "faults").split(u',').contains(QLatin1String(fault));
}

inline std::vector<Scenario> readScenarios() {
    std::vector<Scenario> scenarios;
    for (const QString& line :
         QString::fromUtf8(readData("retrieval-scenarios.txt")).split(u'\n')) {
        const QString key = line.section(u' ', 0, 0), value = line.section(u' ', 1);
        if (key == QLatin1String("scenario")) {
            scenarios.push_back({value.toStdString()});
        } else if (key == QLatin1String("poll")) {
            auto& poll = scenarios.back().polls.emplace_back();
            for (const QString& f : value.split(u' ', Qt::SkipEmptyParts))
                poll[f.section(u'=', 0, 0)] = f.section(u'=', 1);
        } else if (!key.isEmpty() && !key.startsWith(u'#')) {
            scenarios.back().keys[key] << value;
        }
    }
    return scenarios;
}

inline std::string scenarioName(const testing::TestParamInfo<Scenario>& info) {
    return QString::fromStdString(info.param.name)
        .replace(QRegularExpression(QStringLiteral("[^A-Za-z0-9]+")), QStringLiteral("_"))
        .toStdString();
}

/// Answers AT+CPMS, AT+CMGL=4 and at+cmgd= from its two memories, each a captured list
/// answer; a delete takes the entry out of later lists.
class ScriptedPhone final : public contracts::PhoneLink {
public:
    struct Memory {
        bool selectable = true;
        bool lists = true;
        QByteArray answer;
        QSet<QByteArray> deleted;
    };

    contracts::PortOpening OpenPort() override {
        return {contracts::PortOpening::Outcome::Opened, {}};
    }
    QString portDescription() const override { return QStringLiteral("COM1; 9600; n,8,1"); }
    bool SendToPhone(const QByteArray& command, const QString& action, QString& wait,
                     int delay) override {
        sent << QString::fromLatin1(command)
                        .replace(u'\r', QStringLiteral("<CR>"))
                        .replace(u'\n', QStringLiteral("<LF>")) +
                    u'|' + action + u'|' + QString::number(delay);
        m_buffer = command;
        Memory& memory = memories[m_selected];
        if (command.startsWith("AT+CPMS=\"")) {
            m_selected = command.mid(9, 2);
            if (!memories[m_selected].selectable) {
                m_buffer += "\r\n+CMS ERROR: 310\r\n";
                wait = QStringLiteral("Ошибка");
                return false;
            }
            m_buffer += "\r\n+CPMS: 2,100,2,100,2,100\r\n";
        } else if (command == "AT+CMGL=4\r\n") {
            m_buffer = listed(memory);
            return memory.lists;
        } else if (command.startsWith("at+cmgd=")) {
            if (onDelete) onDelete();
            if (!deletesWork) return false;
            memory.deleted.insert(command.mid(8).chopped(1));
        }
        m_buffer += "\r\nOK\r\n";
        return true;
    }
    const QByteArray& gsBuffer() const override { return m_buffer; }
    void PurgeBuffer() override {}
    void FinCom() override {}
    void setLogFolder(const QString&) override {}

    /// The entries still listed, as "ME1", "SM2".
    QStringList left() const {
        QStringList out;
        for (const auto& [name, memory] : memories)
            for (const QByteArray& line : listed(memory).split('\n'))
                if (line.startsWith("+CMGL: ")) out << QString::fromLatin1(name + index(line));
        return out;
    }

    std::map<QByteArray, Memory> memories{{"ME", {}}, {"SM", {}}};
    bool deletesWork = true;
    std::function<void()> onDelete;
    QStringList sent;  ///< "command|action|delay", CR and LF as <CR> and <LF>

private:
    static QByteArray index(const QByteArray& header) {
        return header.mid(7).split(',').first().trimmed();
    }
    static QByteArray listed(const Memory& memory) {
        const QList<QByteArray> lines = memory.answer.split('\n');
        QList<QByteArray> kept;
        for (qsizetype i = 0; i < lines.size(); ++i) {
            if (lines[i].startsWith("+CMGL: ") && memory.deleted.contains(index(lines[i])))
                ++i;  // and its PDU line
            else
                kept << lines[i];
        }
        return kept.join('\n');
    }

    QByteArray m_selected = "ME";
    QByteArray m_buffer;
};

class RecordingStatus final : public contracts::StatusSink {
public:
    void SetStatus(const contracts::Status& s) override { texts << (m_current = s).text; }
    void SetStatusIcon(contracts::StatusIcon icon) override { icons << QString::number(int(icon)); }
    const contracts::Status& currentStatus() const override { return m_current; }
    QStringList texts;
    QStringList icons;

private:
    contracts::Status m_current;
};

/// Pauses only move the monotonic clock; the wall clock is the real one plus an offset.
struct FakeTime final : contracts::Clock, contracts::EventPump, contracts::WallClock {
    qint64 monotonicMs() const override { return ms; }
    void pause(int pauseMs) override { ms += pauseMs; }
    void run() override {}
    QDateTime now() const override { return QDateTime::currentDateTime().addSecs(laterSeconds); }
    qint64 ms = 0;
    qint64 laterSeconds = 0;
};

/// A home folder with Telvane.ini, a phone, and retrieval runs on them.
struct PollBench {
    explicit PollBench(const QByteArray& ini = {}) {
        QFile file(home.filePath(QStringLiteral("Telvane.ini")));
        if (file.open(QIODevice::WriteOnly)) file.write(ini);
        file.close();
        settings = std::make_unique<config::Settings>(file.fileName(), home.path());
        working.gfsReceive = settings->folder(config::setting::Receive);
        working.gfsLogs = settings->folder(config::setting::Logs);
        working.FileType = settings->leadingNumber32(config::setting::FileType);
        working.gflSMSnum = settings->strictInt32(config::setting::Number);
        working.PollPeriod = settings->strictInt16(config::setting::PeriodAtStart);
    }
    void load(const char* me, const char* sm) {
        phone.memories["ME"].answer = readData(me);
        phone.memories["SM"].answer = readData(sm);
        phone.memories["ME"].deleted.clear();
        phone.memories["SM"].deleted.clear();
    }
    /// One run; `restart` runs it in a new retrieval, as after a restart of the program.
    void poll(bool restart = false) {
        if (!inbox || restart) inbox = std::make_unique<receive::InboxRetrieval>();
        contracts::PollContext context{phone, status, working, *settings, time, time, pacing, time};
        inbox->RetrieveInbox(context);
    }
    QString dayFile() const {
        return working.gfsReceive + receive::DayFileName(time.now().date(), working.FileType);
    }
    QString logFile() const { return working.gfsLogs + QStringLiteral("Log.txt"); }
    QStringList partFiles() const {
        return QDir(home.path()).entryList({QStringLiteral("*.tmp")}, QDir::Files, QDir::Name);
    }

    QTemporaryDir home;
    std::unique_ptr<config::Settings> settings;
    contracts::WorkingSettings working;
    ScriptedPhone phone;
    RecordingStatus status;
    FakeTime time;
    contracts::PacingProfile pacing;
    std::unique_ptr<receive::InboxRetrieval> inbox;
};

/// The faults day-linked and log-linked: the day's file or Log.txt is a symbolic link to a file
/// outside the home, whose one line must stay as it is.
struct LinksOutside {
    static constexpr char kLine[] = "01.01.2000\t00:00:00\toutside\r\n";
    LinksOutside(const std::map<QString, QString>& poll, const QString& dayFile,
                 const QString& logFile) {
        QFile file(target());
        EXPECT_TRUE(file.open(QIODevice::WriteOnly) && file.write(kLine) > 0);
        for (const auto& [fault, path] :
             {std::pair("day-linked", dayFile), {"log-linked", logFile}})
            if (has(poll, fault)) {
                EXPECT_TRUE(QDir().mkpath(QFileInfo(path).path()) && QFile::link(target(), path));
            }
    }
    ~LinksOutside() { EXPECT_EQ(readFile(target()), kLine); }
    QString target() const { return dir.filePath(QStringLiteral("outside.txt")); }
    QTemporaryDir dir;
};

/// A plain file where a folder should be: nothing can be written under it.
inline bool blockFolder(const QString& folder, bool blocked) {
    QFile file(folder.chopped(1));
    return blocked ? file.open(QIODevice::WriteOnly) : (!QFileInfo(file).isFile() || file.remove());
}

}  // namespace telvane::test
