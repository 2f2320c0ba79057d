#pragma once
// The modem itself: bytes in from the port, bytes out to it. A V.250 command line interpreter
// with the TS 27.007 identification, SIM and network commands and the TS 27.005 PDU-mode SMS
// commands, message memories, new-message routing, the text-entry state after AT+CMGS, the
// network's time for a submission, and the scripted faults.

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>
#include <chrono>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "Faults.h"
#include "MessageMemory.h"
#include "SimCard.h"

namespace telvane::simulator {

/// <stat> of AT+CREG? (TS 27.007 7.2).
enum class Registration { None = 0, Home = 1, Searching = 2, Denied = 3, Unknown = 4, Roaming = 5 };
std::optional<Registration> registrationNamed(std::string_view name);

/// "(0-2),(0-3),(0,2),(0-2),(0,1)" as AT+CNMI=? lists it: the values of each of the five
/// parameters, or nullopt when the text is not of that form.
std::optional<std::vector<std::vector<int>>> parseCnmiRanges(std::string_view text);

/// The outcome of a message from the network: where it went, or an error text.
struct StoreResult {
    std::optional<size_t> index;  // stored at this index
    bool toHost = false;          // passed straight to the host (+CMT / +CDS)
    std::string error;
    bool waiting = false;  // the memory is full: the network tries again when it has room
};

class ModemEngine : public QObject {
    Q_OBJECT

public:
    struct MemorySpec {
        std::string name;
        size_t capacity = 0;
    };
    struct Options {
        Faults faults;
        QString sentLogPath;  // empty: submitted PDUs are not recorded
        QString hostLogPath;  // empty: the host's bytes are not recorded
        std::chrono::milliseconds reportDelay{500};
        std::string smscNumber = "+79037011111";
        std::vector<MemorySpec> memories{{"ME", 100}, {"SM", 30}};
        std::vector<int> savedCnmi{0, 0, 0, 0, 0};
        std::string cnmiRanges = "(0-2),(0-3),(0,2),(0-2),(0,1)";
        std::string pin;  // empty: the SIM asks for none
        std::string puk = "12345678";
        std::optional<SimState> simState;         // at power-up, when not from the PIN
        std::chrono::milliseconds simBusyFor{0};  // a busy SIM turns ready after this
        Registration registration = Registration::Home;
        int signal = 21;
        std::chrono::milliseconds networkDelay{0};   // a submission on a fresh radio link
        std::chrono::milliseconds keptLinkDelay{0};  // one on a link AT+CMMS kept open
        std::chrono::milliseconds cnmaTimeout{15000};
        unsigned seed = 1;
    };

    explicit ModemEngine(Options options, QObject* parent = nullptr);

    /// Bytes written by the host to the port.
    void input(const QByteArray& bytes);
    /// The port was replugged: a half-typed line or PDU and answers not yet written are gone.
    void resetLine();

    /// Stores a PDU (hex with its SMSC part) as it was in the modem at power-up.
    StoreResult store(const std::string& memory, const std::string& pduHex);
    /// A message from the network, for `memory` unless AT+CNMI routes it to the host.
    StoreResult deliver(const std::string& memory, const std::string& pduHex);
    const MessageMemory* memory(const std::string& name) const;

    void setRegistration(Registration registration);
    /// AT+CSQ's <rssi>: 0-31 or 99; false when out of range.
    bool setSignal(int rssi);
    /// "ready", "pin", "puk", "absent", "busy"; empty on success, else the reason.
    std::string setSim(std::string_view state);
    /// The settings a test may check: "echo=1 cmee=0 cnmi=... cpms=ME,ME,ME cmms=0 csms=0".
    std::string settings() const;

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

    struct Routed {  // a message passed to the host, or waiting to be
        std::string memory;
        std::string pduHex;
    };

    // Commands (DeviceCommands.cpp, SmsCommands.cpp).
    void registerDeviceCommands();
    void registerSmsCommands();
    Reply cpms(Form form, const std::string& args);
    Reply cmgl(Form form, const std::string& args);
    Reply cmgr(Form form, const std::string& args);
    Reply cmgd(Form form, const std::string& args);
    Reply cmgs(Form form, const std::string& args);
    Reply cnmi(Form form, const std::string& args);
    Reply cnma(Form form, const std::string& args);
    Reply cmms(Form form, const std::string& args);
    Reply registration(const char* name, int& mode, Form form, const std::string& args);
    std::optional<Reply> smsRefused() const;

    // Line discipline and answers (ModemEngine.cpp).
    void consume(const QByteArray& bytes);
    void executeLine(const std::string& line);
    std::optional<Reply> runBasic(const std::string& body, size_t& pos);
    std::string formatFinal(const Reply& reply) const;
    std::string formatInfo(const std::vector<std::string>& lines) const;
    void send(std::string bytes);
    void sendAnswer(std::string bytes);
    std::string scatterUnsolicited(const std::string& bytes);
    void flushQueue();
    void resetSettings();

    // New-message routing and submission (Routing.cpp).
    StoreResult route(const std::string& memory, const std::string& pduHex);
    void passToHost(const Routed& message, bool statusReport, size_t tpduLength);
    void indicate(const std::vector<std::string>& lines);
    void flushIndications();
    bool linkReserved() const { return m_enteringPdu || m_submitting; }
    void acknowledgeTimedOut();
    void memoryFreed();
    void finishPdu();
    void confirmSubmission(std::uint8_t reference, std::vector<std::uint8_t> recipient,
                           bool reportRequested);
    void storeStatusReport(std::uint8_t reference, std::vector<std::uint8_t> recipient,
                           std::time_t submitted);
    std::chrono::milliseconds submissionTime();
    void expireLink(std::chrono::steady_clock::time_point now);

    MessageMemory* memoryRef(const std::string& name);
    bool memoryAvailable(const std::string& name) const;
    MessageMemory& readMemory() { return *memoryRef(m_mem[0]); }
    bool registered() const;

    Options m_options;
    std::map<std::string, Handler> m_commands;
    std::vector<MessageMemory> m_memories;
    std::vector<std::vector<int>> m_cnmiAllowed;  // per parameter, from --cnmi-ranges
    SimCard m_sim;
    Registration m_registration;
    int m_signal;
    std::mt19937 m_random;

    // Settings that ATZ restores.
    bool m_echo = true;
    bool m_verbose = true;
    int m_cmee = 0;
    int m_cfun = 1;
    int m_csms = 0;
    int m_cmms = 0;
    int m_creg = 0;
    int m_cgreg = 0;
    bool m_textMode = false;
    std::string m_charset = "IRA";
    std::vector<int> m_cnmi;
    std::string m_mem[3];  // <mem1> read and delete, <mem2> write, <mem3> receive

    std::string m_line;
    bool m_lineOverflow = false;
    bool m_enteringPdu = false;
    size_t m_expectedTpduLength = 0;
    std::string m_pduText;
    std::uint8_t m_nextReference = 1;

    // A submission on its way through the network: the host's bytes wait for its answer.
    bool m_submitting = false;
    QByteArray m_held;
    std::chrono::steady_clock::time_point m_linkOpenUntil{};

    // Indications held while <mode> or a reserved link says so, and +CMT/+CDS awaiting +CNMA.
    std::deque<std::vector<std::string>> m_heldIndications;
    std::optional<Routed> m_unacknowledged;
    std::deque<Routed> m_waitingForAck;
    QTimer m_ackTimer;
    // Messages the full memory turned away, sent again once a deletion makes room.
    std::deque<Routed> m_waitingForRoom;

    struct Pending {
        std::chrono::steady_clock::time_point due;
        QByteArray bytes;
    };
    std::deque<Pending> m_queue;
    QTimer m_queueTimer;
};

}  // namespace telvane::simulator
