// The TS 27.005 commands in PDU mode: memories, listing, reading, deleting, submitting, and the
// settings for new-message routing and the radio link between submissions.

#include <algorithm>

#include "AtText.h"
#include "ModemEngine.h"

namespace telvane::simulator {

void ModemEngine::registerSmsCommands() {
    m_commands["+CMGF"] = [this](Form form, const std::string& args) {
        if (form == Form::Read) {
            return Reply{{std::string("+CMGF: ") + (m_textMode ? "1" : "0")}, Final::Ok, 0};
        }
        if (form == Form::Test) return Reply{{"+CMGF: (0,1)"}, Final::Ok, 0};
        if (form == Form::Action || args == "0")
            m_textMode = false;
        else if (args == "1")
            m_textMode = true;
        else
            return Reply{{}, Final::Error, 0};
        return Reply{};
    };
    m_commands["+CSCA"] = [this](Form form, const std::string& args) {
        if (form == Form::Test) return Reply{};
        if (auto refused = smsRefused()) return *refused;
        if (form == Form::Read) {
            return Reply{{"+CSCA: \"" + m_options.smscNumber + "\",145"}, Final::Ok, 0};
        }
        const auto parts = splitArgs(args);
        if (form != Form::Set || parts[0].size() < 3 || parts[0].front() != '"') {
            return Reply{{}, Final::CmsError, kCmsOperationNotAllowed};
        }
        m_options.smscNumber = unquote(parts[0]);
        return Reply{};
    };
    m_commands["+CSMS"] = [this](Form form, const std::string& args) {
        if (form == Form::Read) {
            return Reply{{"+CSMS: " + std::to_string(m_csms) + ",1,1,1"}, Final::Ok, 0};
        }
        if (form == Form::Test) return Reply{{"+CSMS: (0,1)"}, Final::Ok, 0};
        if (form == Form::Set && (args == "0" || args == "1")) {
            m_csms = args == "1";
            return Reply{{"+CSMS: 1,1,1"}, Final::Ok, 0};
        }
        return Reply{{}, Final::CmsError, kCmsOperationNotSupported};
    };
    m_commands["+CNMI"] = [this](Form f, const std::string& a) { return cnmi(f, a); };
    m_commands["+CNMA"] = [this](Form f, const std::string& a) { return cnma(f, a); };
    m_commands["+CMMS"] = [this](Form f, const std::string& a) { return cmms(f, a); };
    m_commands["+CPMS"] = [this](Form f, const std::string& a) { return cpms(f, a); };
    m_commands["+CMGL"] = [this](Form f, const std::string& a) { return cmgl(f, a); };
    m_commands["+CMGR"] = [this](Form f, const std::string& a) { return cmgr(f, a); };
    m_commands["+CMGD"] = [this](Form f, const std::string& a) { return cmgd(f, a); };
    m_commands["+CMGS"] = [this](Form f, const std::string& a) { return cmgs(f, a); };
}

std::optional<ModemEngine::Reply> ModemEngine::smsRefused() const {
    if (!m_sim.ready()) return Reply{{}, Final::CmsError, m_sim.cmsError()};
    return std::nullopt;
}

// TS 27.005 3.4.1. Only the values AT+CNMI=? lists are taken, as on real modems that refuse
// the rest (a SIM800L refuses <ds>=2, an MC75i any <bfr> but 1).
ModemEngine::Reply ModemEngine::cnmi(Form form, const std::string& args) {
    if (form == Form::Test) return Reply{{"+CNMI: " + m_options.cnmiRanges}, Final::Ok, 0};
    if (form == Form::Read) {
        std::string line = "+CNMI: ";
        for (size_t i = 0; i < m_cnmi.size(); ++i) {
            line += (i ? "," : "") + std::to_string(m_cnmi[i]);
        }
        return Reply{{line}, Final::Ok, 0};
    }
    std::vector<int> values = m_cnmi;
    const auto parts = splitArgs(args);
    if (form != Form::Set || parts.size() > values.size()) {
        return Reply{{}, Final::CmsError, kCmsOperationNotSupported};
    }
    for (size_t i = 0; i < parts.size(); ++i) {
        if (parts[i].empty()) continue;
        const auto value = parseNumber(parts[i]);
        const auto& allowed = m_cnmiAllowed.at(i);
        if (!value || std::find(allowed.begin(), allowed.end(), *value) == allowed.end()) {
            return Reply{{}, Final::CmsError, kCmsOperationNotSupported};
        }
        values[i] = static_cast<int>(*value);
    }
    m_cnmi = values;
    // <bfr>=1 drops what <mode>=0 held; with 0 it is sent once this command has answered.
    if (m_cnmi[0] != 0 && m_cnmi[4] == 1) m_heldIndications.clear();
    return Reply{};
}

// TS 27.005 3.4.4: after AT+CSMS=1 a +CMT or +CDS is acknowledged once; anything else is 340.
ModemEngine::Reply ModemEngine::cnma(Form form, const std::string& args) {
    if (form == Form::Test) return Reply{{"+CNMA: (0-2)"}, Final::Ok, 0};
    const auto n = form == Form::Action ? std::optional<long>(0) : parseNumber(args);
    if (form == Form::Read || !n || *n < 0 || *n > 2) {
        return Reply{{}, Final::CmsError, kCmsOperationNotSupported};
    }
    if (!m_unacknowledged) return Reply{{}, Final::CmsError, kCmsNoAckExpected};
    m_unacknowledged.reset();
    m_ackTimer.stop();
    // The next message waiting for the line comes after this command's OK.
    QTimer::singleShot(0, this, [this] {
        if (m_unacknowledged || m_waitingForAck.empty()) return;
        const Routed next = m_waitingForAck.front();
        m_waitingForAck.pop_front();
        route(next.memory, next.pduHex);
    });
    return Reply{};
}

ModemEngine::Reply ModemEngine::cmms(Form form, const std::string& args) {
    if (form == Form::Test) return Reply{{"+CMMS: (0-2)"}, Final::Ok, 0};
    expireLink(std::chrono::steady_clock::now());
    if (form == Form::Read) return Reply{{"+CMMS: " + std::to_string(m_cmms)}, Final::Ok, 0};
    const auto n = form == Form::Action ? std::optional<long>(0) : parseNumber(args);
    if (!n || *n < 0 || *n > 2) return Reply{{}, Final::CmsError, kCmsOperationNotSupported};
    m_cmms = static_cast<int>(*n);
    m_linkOpenUntil = {};
    return Reply{};
}

// TS 27.005 3.2.2: <mem1> is read and deleted from, <mem2> written to, <mem3> receives.
ModemEngine::Reply ModemEngine::cpms(Form form, const std::string& args) {
    if (form == Form::Test) {
        std::string list;
        for (const auto& m : m_memories) {
            if (!memoryAvailable(m.name())) continue;
            list += std::string(list.empty() ? "" : ",") + "\"" + m.name() + "\"";
        }
        return Reply{{"+CPMS: (" + list + "),(" + list + "),(" + list + ")"}, Final::Ok, 0};
    }
    if (auto refused = smsRefused()) return *refused;
    if (form == Form::Read) {
        std::string line = "+CPMS: ";
        for (size_t i = 0; i < 3; ++i) {
            const auto* m = memory(m_mem[i]);
            line += (i ? ",\"" : "\"") + m->name() + "\"," + std::to_string(m->used()) + "," +
                    std::to_string(m->capacity());
        }
        return Reply{{line}, Final::Ok, 0};
    }
    const auto parts = splitArgs(args);
    // The E3372-325 answers a plain ERROR unless all three memories are given.
    if (m_options.faults.cpmsThree && parts.size() != 3) return Reply{{}, Final::Error, 0};
    if (form != Form::Set || parts.size() > 3) {
        return Reply{{}, Final::CmsError, kCmsOperationNotSupported};
    }
    if (m_options.faults.cmsSelect) return Reply{{}, Final::CmsError, m_options.faults.cmsSelect};
    std::string chosen[] = {m_mem[0], m_mem[1], m_mem[2]};
    for (size_t i = 0; i < parts.size(); ++i) {
        const std::string name = unquote(parts[i]);
        if (!memory(name)) return Reply{{}, Final::CmsError, kCmsOperationNotSupported};
        if (!memoryAvailable(name)) {
            return Reply{
                {}, Final::CmsError, name == "SM" ? kCmsSimNotInserted : kCmsMemoryFailure};
        }
        chosen[i] = name;
    }
    std::string line = "+CPMS: ";
    for (size_t i = 0; i < 3; ++i) {
        m_mem[i] = chosen[i];
        const auto* m = memory(chosen[i]);
        line += (i ? "," : "") + std::to_string(m->used()) + "," + std::to_string(m->capacity());
    }
    return Reply{{line}, Final::Ok, 0};
}

ModemEngine::Reply ModemEngine::cmgl(Form form, const std::string& args) {
    if (m_textMode) return Reply{{}, Final::CmsError, kCmsOperationNotAllowed};
    if (form == Form::Test) return Reply{{"+CMGL: (0-4)"}, Final::Ok, 0};
    if (auto refused = smsRefused()) return *refused;
    const auto stat = form == Form::Action ? std::optional<long>(0) : parseNumber(args);
    if (form == Form::Read || !stat || *stat < 0 || *stat > 4) {
        return Reply{{}, Final::CmsError, kCmsOperationNotSupported};
    }
    if (m_options.faults.cmsList) return Reply{{}, Final::CmsError, m_options.faults.cmsList};
    Reply reply;
    auto& memory = readMemory();
    for (const auto index : memory.indexes()) {
        auto* message = memory.at(index);
        if (*stat != 4 && static_cast<long>(message->stat) != *stat) continue;
        const std::string header = "+CMGL: " + std::to_string(index) + "," +
                                   std::to_string(static_cast<int>(message->stat)) + ",," +
                                   std::to_string(message->tpduLength);
        if (m_options.faults.joinedCmgl && !reply.lines.empty()) {
            reply.lines.back() += header;  // the PDU line runs into the next header
        } else {
            reply.lines.push_back(header);
        }
        reply.lines.push_back(message->pduHex);
        // Listing a received message counts as reading it (TS 27.005 3.4.2).
        if (message->stat == MessageStat::ReceivedUnread) message->stat = MessageStat::ReceivedRead;
    }
    return reply;
}

ModemEngine::Reply ModemEngine::cmgr(Form form, const std::string& args) {
    if (m_textMode) return Reply{{}, Final::CmsError, kCmsOperationNotAllowed};
    if (form == Form::Test) return Reply{};
    if (auto refused = smsRefused()) return *refused;
    const auto index = parseNumber(args);
    if (form != Form::Set || !index) return Reply{{}, Final::CmsError, kCmsOperationNotSupported};
    auto* message = *index > 0 ? readMemory().at(static_cast<size_t>(*index)) : nullptr;
    if (!message) return Reply{{}, Final::CmsError, kCmsInvalidIndex};
    Reply reply{{"+CMGR: " + std::to_string(static_cast<int>(message->stat)) + ",," +
                     std::to_string(message->tpduLength),
                 message->pduHex},
                Final::Ok,
                0};
    if (message->stat == MessageStat::ReceivedUnread) message->stat = MessageStat::ReceivedRead;
    return reply;
}

ModemEngine::Reply ModemEngine::cmgd(Form form, const std::string& args) {
    if (m_options.faults.muteDelete) return Reply{{}, Final::None, 0};
    if (auto refused = smsRefused()) return *refused;
    auto& memory = readMemory();
    if (form == Form::Test) {
        std::string used;
        for (const auto index : memory.indexes()) {
            used += (used.empty() ? "" : ",") + std::to_string(index);
        }
        return Reply{{"+CMGD: (" + used + "),(0-4)"}, Final::Ok, 0};
    }
    const auto parts = splitArgs(args);
    const auto index = parseNumber(parts[0]);
    const auto flag = parts.size() > 1 ? parseNumber(parts[1]) : std::optional<long>(0);
    if (form != Form::Set || parts.size() > 2 || !index || !flag || *flag < 0 || *flag > 4) {
        return Reply{{}, Final::CmsError, kCmsOperationNotSupported};
    }
    if (m_options.faults.cmsDelete) return Reply{{}, Final::CmsError, m_options.faults.cmsDelete};
    // Room made for messages the network holds: they arrive after this command's answer.
    if (!m_waitingForRoom.empty()) QTimer::singleShot(0, this, &ModemEngine::memoryFreed);
    if (*flag == 0) {
        if (*index <= 0 || !memory.remove(static_cast<size_t>(*index))) {
            return Reply{{}, Final::CmsError, kCmsInvalidIndex};
        }
        return Reply{};
    }
    // <delflag> 1..4 widen the deletion from read messages to every message (TS 27.005 3.5.4).
    for (const auto i : memory.indexes()) {
        const auto stat = memory.at(i)->stat;
        const bool gone = *flag == 4 || stat == MessageStat::ReceivedRead ||
                          (*flag >= 2 && stat == MessageStat::StoredSent) ||
                          (*flag >= 3 && stat == MessageStat::StoredUnsent);
        if (gone) memory.remove(i);
    }
    return Reply{};
}

ModemEngine::Reply ModemEngine::cmgs(Form form, const std::string& args) {
    if (form == Form::Test) return Reply{};
    if (m_textMode) return Reply{{}, Final::CmsError, kCmsOperationNotAllowed};
    if (auto refused = smsRefused()) return *refused;
    const auto length = parseNumber(args);
    if (form != Form::Set || !length || *length < 7 || *length > 176) {
        return Reply{{}, Final::CmsError, kCmsOperationNotSupported};
    }
    return Reply{{}, Final::Prompt, static_cast<int>(*length)};
}

}  // namespace telvane::simulator
