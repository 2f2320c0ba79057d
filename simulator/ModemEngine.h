#pragma once
// The modem itself: bytes in from the port, bytes out to it. A V.250 command line interpreter
// with the TS 27.007 identification commands and the TS 27.005 PDU-mode SMS commands, two
// message memories, the text-entry state after AT+CMGS, and the scripted faults.

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>
#include <chrono>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "Faults.h"
#include "MessageMemory.h"

namespace telvane::simulator {

enum class MemoryId { Me, Sm };

/// The outcome of a control request that changes the memories: a value or an error text.
struct StoreResult {
    std::optional<size_t> index;
    std::string error;
};

class ModemEngine : public QObject {
    Q_OBJECT

public:
    struct Options {
        Faults faults;
        QString sentLogPath;  // empty: submitted PDUs are not recorded
        QString hostLogPath;  // empty: the host's bytes are not recorded
        std::chrono::milliseconds reportDelay{500};
        std::string smscNumber = "+79037011111";
    };

    explicit ModemEngine(Options options, QObject* parent = nullptr);

    /// Bytes written by the host to the port.
    void input(const QByteArray& bytes);
    /// The port was replugged: a half-typed line or PDU and answers not yet written are gone.
    void resetLine();

    /// Stores a PDU (hex with its SMSC part) as if the network had delivered it.
    StoreResult deliver(MemoryId memory, const std::string& pduHex);
    const MessageMemory& memory(MemoryId id) const;

signals:
    void output(const QByteArray& bytes);

private:
    enum class Final { Ok, Error, CmeError, CmsError, Prompt, None };
    enum class Form { Action, Read, Test, Set };

    struct Reply {
        std::vector<std::string> lines;
        Final final = Final::Ok;
        int code = 0;  // +CME/+CMS error number, or the TPDU length after a prompt
    };
    using Handler = std::function<Reply(Form, const std::string& args)>;

    StoreResult store(MemoryId memory, const std::string& pduHex);
    void registerCommands();
    void executeLine(const std::string& line);
    std::optional<Reply> runBasic(const std::string& body, size_t& pos);
    void finishPdu();
    void storeStatusReport(std::uint8_t reference, std::vector<std::uint8_t> recipient,
                           std::time_t submitted);

    Reply cmgs(Form form, const std::string& args);
    Reply cmgl(Form form, const std::string& args);
    Reply cmgr(Form form, const std::string& args);
    Reply cmgd(Form form, const std::string& args);
    Reply cpms(Form form, const std::string& args);

    MessageMemory& memoryRef(MemoryId id);
    bool memoryAvailable(MemoryId id) const;
    MessageMemory& readMemory() { return memoryRef(m_mem1); }

    std::string formatFinal(const Reply& reply) const;
    std::string formatInfo(const std::vector<std::string>& lines) const;
    void send(std::string bytes);
    void sendAnswer(std::string bytes);
    void sendUnsolicited(const std::string& line);
    void flushQueue();
    void resetSettings();

    Options m_options;
    std::map<std::string, Handler> m_commands;
    MessageMemory m_me{"ME", 100};
    MessageMemory m_sm{"SM", 30};

    // Settings that ATZ restores.
    bool m_echo = true;
    bool m_verbose = true;
    int m_cmee = 0;
    int m_cfun = 1;
    bool m_textMode = false;
    std::string m_charset = "IRA";
    std::vector<int> m_cnmi{0, 0, 0, 0, 0};
    MemoryId m_mem1 = MemoryId::Me;
    MemoryId m_mem2 = MemoryId::Me;
    MemoryId m_mem3 = MemoryId::Me;

    std::string m_line;
    bool m_lineOverflow = false;
    bool m_enteringPdu = false;
    size_t m_expectedTpduLength = 0;
    std::string m_pduText;
    std::uint8_t m_nextReference = 1;

    struct Pending {
        std::chrono::steady_clock::time_point due;
        QByteArray bytes;
    };
    std::deque<Pending> m_queue;
    QTimer m_queueTimer;
};

}  // namespace telvane::simulator
