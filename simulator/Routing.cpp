// Messages between the modem and the network: incoming ones stored or passed to the host as
// AT+CNMI says, and submissions that take the network's time to be confirmed.

#include <QFile>
#include <ctime>
#include <utility>
#include <variant>

#include "AtText.h"
#include "ModemEngine.h"
#include "PduFacts.h"

namespace telvane::simulator {

namespace {

// How long a radio link that AT+CMMS keeps stays up after a confirmation: the longest of the
// "1-5 seconds" TS 27.005 3.5.6 allows, as u-blox modules document.
constexpr std::chrono::seconds kLinkHold{5};
// Indications a modem holds while it may not send them; the oldest go first when full.
constexpr size_t kHeldIndications = 32;

MessageStat statFor(MessageKind kind) {
    return kind == MessageKind::Submit ? MessageStat::StoredUnsent : MessageStat::ReceivedUnread;
}

long utcOffsetOf(std::time_t when) {
    std::tm local{};
    localtime_r(&when, &local);
    return local.tm_gmtoff;
}

std::variant<PduLayout, std::string> readPdu(const std::string& pduHex, Bytes& bytes) {
    auto parsed = parseHex(pduHex);
    if (const auto* error = std::get_if<PduError>(&parsed)) {
        return error->reason + " at octet " + std::to_string(error->offset);
    }
    bytes = std::get<Bytes>(std::move(parsed));
    const auto layout = layoutOf(bytes);
    if (const auto* error = std::get_if<PduError>(&layout))
        return error->field + ": " + error->reason;
    return std::get<PduLayout>(layout);
}

}  // namespace

StoreResult ModemEngine::store(const std::string& memoryName, const std::string& pduHex) {
    Bytes bytes;
    const auto layout = readPdu(pduHex, bytes);
    if (const auto* error = std::get_if<std::string>(&layout)) return {std::nullopt, false, *error};
    auto* memory = memoryRef(memoryName);
    if (!memory) return {std::nullopt, false, "no memory " + memoryName + " (see --memories)"};
    const auto& l = std::get<PduLayout>(layout);
    const auto index =
        memory->store({statFor(storedKind(l.firstOctet)), toHex(bytes), l.tpduLength});
    if (!index) return {std::nullopt, false, "memory " + memoryName + " is full"};
    return {index, false, {}, false};
}

StoreResult ModemEngine::deliver(const std::string& memory, const std::string& pduHex) {
    return route(memory, pduHex);
}

// TS 27.005 3.4.1: <mt> decides for SMS-DELIVERs, <ds> for status reports, whether a message
// is stored quietly, stored and announced, or passed to the host without being stored.
StoreResult ModemEngine::route(const std::string& memoryName, const std::string& pduHex) {
    Bytes bytes;
    const auto layout = readPdu(pduHex, bytes);
    if (const auto* error = std::get_if<std::string>(&layout)) return {std::nullopt, false, *error};
    const auto& l = std::get<PduLayout>(layout);
    const auto kind = storedKind(l.firstOctet);
    enum { Quietly, Announced, ToHost } way = Quietly;
    if (kind == MessageKind::Deliver) {
        const int mt = m_cnmi[1];
        const auto messageClass = deliverClass(bytes);
        // Class 2 belongs on the SIM even with <mt>=2; <mt>=3 passes class 3 only.
        if ((mt == 2 && messageClass != 2) || (mt == 3 && messageClass == 3)) {
            way = ToHost;
        } else if (mt != 0) {
            way = Announced;
        }
    } else if (kind == MessageKind::StatusReport) {
        way = m_cnmi[3] == 1 ? ToHost : m_cnmi[3] == 2 ? Announced : Quietly;
    }
    // <mode>=1 rejects what it cannot pass on now; the network's next try finds it stored.
    if (way == ToHost && m_cnmi[0] == 1 && linkReserved()) way = Quietly;
    if (way == ToHost) {
        const Routed message{memoryName, toHex(bytes)};
        // With AT+CSMS=1 the next message waits until the last one was acknowledged.
        if (m_csms == 1 && m_unacknowledged) {
            m_waitingForAck.push_back(message);
        } else {
            passToHost(message, kind == MessageKind::StatusReport, l.tpduLength);
        }
        return {std::nullopt, true, {}, false};
    }
    auto result = store(memoryName, pduHex);
    const auto* target = memory(memoryName);
    if (!result.index && target && target->used() == target->capacity()) {
        // TS 23.040 10.3: a full memory rejects the message; the network keeps it and sends it
        // again once the modem reports room (after a deletion).
        m_waitingForRoom.push_back({memoryName, toHex(bytes)});
        result.waiting = true;
    }
    if (result.index && way == Announced) {
        const char* prefix = kind == MessageKind::StatusReport ? "+CDSI: \"" : "+CMTI: \"";
        indicate({prefix + memoryName + "\"," + std::to_string(*result.index)});
    }
    return result;
}

void ModemEngine::passToHost(const Routed& message, bool statusReport, size_t tpduLength) {
    const std::string length = std::to_string(tpduLength);
    indicate({statusReport ? "+CDS: " + length : "+CMT: ," + length, message.pduHex});
    if (m_csms == 1) {
        m_unacknowledged = message;
        m_ackTimer.start(m_options.cnmaTimeout);
    }
}

// TS 27.005 3.4.4: without an acknowledgement in time the modem routes nothing more to the host
// (<mt> and <ds> fall back to 0); the network sends the message again and it is stored.
void ModemEngine::acknowledgeTimedOut() {
    m_cnmi[1] = 0;
    m_cnmi[3] = 0;
    std::deque<Routed> again = std::move(m_waitingForAck);
    m_waitingForAck.clear();
    if (m_unacknowledged) again.push_front(*m_unacknowledged);
    m_unacknowledged.reset();
    for (const auto& message : again) route(message.memory, message.pduHex);
}

void ModemEngine::memoryFreed() {
    std::deque<Routed> again = std::move(m_waitingForRoom);
    m_waitingForRoom.clear();
    for (const auto& message : again) route(message.memory, message.pduHex);
}

void ModemEngine::indicate(const std::vector<std::string>& lines) {
    const int mode = m_cnmi[0];
    if (mode == 0 || (mode == 2 && linkReserved())) {
        if (m_heldIndications.size() == kHeldIndications) m_heldIndications.pop_front();
        m_heldIndications.push_back(lines);
        return;
    }
    if (mode == 1 && linkReserved()) return;  // discarded
    sendAnswer(formatInfo(lines));
}

void ModemEngine::flushIndications() {
    if (m_cnmi[0] == 0 || linkReserved()) return;
    while (!m_heldIndications.empty()) {
        const auto lines = std::move(m_heldIndications.front());
        m_heldIndications.pop_front();
        sendAnswer(formatInfo(lines));
    }
}

// ---------------------------------------------------------------------------------------------
// Submission

void ModemEngine::finishPdu() {
    m_enteringPdu = false;
    const std::string text = std::move(m_pduText);
    m_pduText.clear();
    const auto refuse = [this](Reply reply) {
        sendAnswer(formatFinal(reply));
        flushIndications();
    };
    if (m_options.faults.errorPdu) return refuse(Reply{{}, Final::Error, 0});
    if (m_options.faults.cmsSend)
        return refuse(Reply{{}, Final::CmsError, m_options.faults.cmsSend});
    const Reply invalid{{}, Final::CmsError, kCmsInvalidPduParameter};
    Bytes bytes;
    const auto layout = readPdu(text, bytes);
    // TS 27.005 3.5.1: <length> counts the TPDU alone; a mismatch is a PDU-mode parameter error.
    if (!std::holds_alternative<PduLayout>(layout) ||
        std::get<PduLayout>(layout).tpduLength != m_expectedTpduLength) {
        return refuse(invalid);
    }
    const auto submit = readSubmit(bytes);
    if (!std::holds_alternative<SubmitFacts>(submit)) return refuse(invalid);
    if (!registered()) return refuse(Reply{{}, Final::CmsError, kCmsNoNetworkService});

    if (!m_options.sentLogPath.isEmpty()) {
        QFile log(m_options.sentLogPath);
        if (log.open(QIODevice::Append | QIODevice::Text)) {
            log.write(QByteArray::fromStdString(text + "\n"));
        }
    }
    const std::uint8_t reference = m_nextReference++;
    const auto facts = std::get<SubmitFacts>(submit);
    const auto wait = submissionTime();
    if (wait.count() == 0) {
        return confirmSubmission(reference, facts.destination, facts.statusReportRequested);
    }
    m_submitting = true;
    QTimer::singleShot(wait, this, [this, reference, facts] {
        m_submitting = false;
        confirmSubmission(reference, facts.destination, facts.statusReportRequested);
    });
}

void ModemEngine::confirmSubmission(std::uint8_t reference, std::vector<std::uint8_t> recipient,
                                    bool reportRequested) {
    Reply reply;
    reply.lines = {"+CMGS: " + std::to_string(reference)};
    sendAnswer(formatInfo(reply.lines) + formatFinal(reply));
    if (m_cmms != 0) m_linkOpenUntil = std::chrono::steady_clock::now() + kLinkHold;
    if (reportRequested) {
        const std::time_t submitted = std::time(nullptr);
        QTimer::singleShot(m_options.reportDelay, this, [this, reference, recipient, submitted] {
            storeStatusReport(reference, recipient, submitted);
        });
    }
    flushIndications();
    if (!m_held.isEmpty()) consume(std::exchange(m_held, {}));
}

void ModemEngine::expireLink(std::chrono::steady_clock::time_point now) {
    // TS 27.005 3.5.6: <n>=1 falls back to 0 once the link has closed.
    if (m_cmms == 1 && m_linkOpenUntil != decltype(m_linkOpenUntil){} && now > m_linkOpenUntil) {
        m_cmms = 0;
    }
}

std::chrono::milliseconds ModemEngine::submissionTime() {
    if (m_options.faults.slowCmgs.count() > 0) return m_options.faults.slowCmgs;
    const auto now = std::chrono::steady_clock::now();
    expireLink(now);
    const bool kept = m_cmms != 0 && now <= m_linkOpenUntil;
    return kept ? m_options.keptLinkDelay : m_options.networkDelay;
}

void ModemEngine::storeStatusReport(std::uint8_t reference, std::vector<std::uint8_t> recipient,
                                    std::time_t submitted) {
    const std::time_t discharged = std::time(nullptr);
    const Bytes report = buildStatusReport(smscPartFor(m_options.smscNumber), reference, recipient,
                                           submitted, discharged, utcOffsetOf(discharged));
    // A modem with an "SR" memory keeps reports there; others where the host reads.
    route(memory("SR") ? "SR" : m_mem[0], toHex(report));
}

}  // namespace telvane::simulator
