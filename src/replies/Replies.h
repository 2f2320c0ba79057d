#pragma once
// What a phone's answers say, read by their structure (V.250 5.7, 3GPP TS 27.007 and TS 27.005):
// the final result code with its error number and meaning, the information lines of the
// commands the gateway uses to look after the modem, and the messages a modem passes to the host
// unasked. Pure: no Qt, no I/O, so that the engine, the inbox and the outbox read a reply the
// same way and a fuzzer can feed every function directly.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace telvane::replies {

/// The last final result code of a reply.
struct FinalResult {
    enum class Kind { None, Ok, Error, CmeError, CmsError };
    Kind kind = Kind::None;
    /// The error number of "+CME ERROR: n" or "+CMS ERROR: n"; nullopt for a plain ERROR and
    /// for a phone that says its error in words (AT+CMEE=2).
    std::optional<int> number;
    /// The words of a verbose error ("SIM not inserted"), as the phone gave them.
    std::string words;

    bool isError() const {
        return kind == Kind::Error || kind == Kind::CmeError || kind == Kind::CmsError;
    }
};

/// The last line of `reply` that is a final result code: OK, ERROR, +CME ERROR or +CMS ERROR.
FinalResult finalResultOf(std::string_view reply);

/// What a final result says for a log line: "+CMS ERROR: 310 (SIM not inserted)", "ERROR",
/// "+CMS ERROR: 600" for a number the standards leave to the maker; empty for OK and none.
std::string describe(const FinalResult& result);

/// The meanings of TS 27.005 3.2.5 (+CMS ERROR, with the TS 24.011 and TS 23.040 causes below
/// 300) and TS 27.007 9.2 (+CME ERROR); empty for a number they do not name.
std::string_view cmsMeaning(int number);
std::string_view cmeMeaning(int number);

/// The information lines that start with `prefix` ("+CREG:"), without it and without the blanks
/// that follow, in order.
std::vector<std::string> informationLines(std::string_view reply, std::string_view prefix);

/// What AT+CPIN? says the SIM waits for.
enum class SimState { Ready, Pin, Puk, NotInserted, Busy, Other };
struct SimReport {
    SimState state = SimState::Other;
    std::string text;  ///< "SIM PIN", "SIM PUK", "PH-SIM PIN", or the error as described
};
/// "+CPIN: READY" and the rest of TS 27.007 8.3; a SIM that cannot answer shows in the error
/// (+CME ERROR 10 not inserted, 14 busy, 11 and 12 its codes); nullopt for no answer at all.
std::optional<SimReport> simReportOf(std::string_view reply);

/// <stat> of the last "+CREG: [<n>,]<stat>[,...]" line (TS 27.007 7.2), the read form
/// (<n>,<stat>) and the unsolicited one (<stat> first) alike; nullopt when there is none.
std::optional<int> registrationOf(std::string_view reply);
/// Registered at home or roaming (also for SMS only, or with emergency-only bearer): 1, 5-10.
bool isRegistered(int stat);
/// Not registered, searching or denied: no message can be sent now. Unknown (4) is not one:
/// some modems report it while they send.
bool blocksSending(int stat);

/// <oper> of "+COPS: <mode>[,<format>,<oper>[,<AcT>]]" (TS 27.007 7.3) as the phone names it
/// (long or short name, or the numeric code); nullopt when it names none (not registered).
std::optional<std::string> operatorOf(std::string_view reply);

/// The model as AT+CGMM gives it (TS 27.007 5.2.2): the line that is neither the echoed command
/// nor a result code.
std::optional<std::string> modelOf(std::string_view reply);

/// <rssi> of "+CSQ: <rssi>,<ber>" (TS 27.007 8.5): 0-31, or 99 when not known.
std::optional<int> signalOf(std::string_view reply);

/// The memories of the first list of "+CPMS: (...),(...),(...)" (TS 27.005 3.2.2), as the
/// phone spells them and in its order; empty when the answer names none.
std::vector<std::string> memoriesOf(std::string_view reply);

/// <service> of "+CSMS: <service>,..." (TS 27.005 3.2.1): 1 means every +CMT and +CDS waits
/// for AT+CNMA.
std::optional<int> smsServiceOf(std::string_view reply);

/// <mr> of "+CMGS: <mr>" (TS 27.005 3.5.1): the network took the message.
std::optional<int> messageReferenceOf(std::string_view reply);

/// A message the phone passed to the host instead of storing it (TS 27.005 3.4.1):
/// "+CMT: [<alpha>],<length>" or "+CDS: <length>", each followed by its PDU line.
struct Delivery {
    bool statusReport = false;
    std::string pdu;  ///< hexadecimal, SMSC part first, as the line gave it
};

/// Collects deliveries from the bytes of the line as they come, whatever transaction they come
/// in: a header in one read and its PDU in the next are joined.
class DeliveryScanner {
public:
    void feed(std::string_view bytes);
    /// The deliveries seen since the last call.
    std::vector<Delivery> take();
    bool pending() const { return !m_found.empty(); }
    /// True once since the last call when the phone announced a stored message or report
    /// ("+CMTI: ...", "+CDSI: ...", TS 27.005 3.4.1) or passed one to the host.
    bool takeNotice() { return std::exchange(m_noticed, false); }

private:
    void line(std::string_view text);

    std::string m_partial;
    std::optional<bool> m_awaitingPdu;  ///< a header came: is it a status report's
    std::vector<Delivery> m_found;
    bool m_noticed = false;
};

/// True for a line of hexadecimal digits (blanks allowed) of even count.
bool isHexLine(std::string_view line);

}  // namespace telvane::replies
