// Identification, SIM, network and error-reporting commands (TS 27.007).

#include "AtText.h"
#include "Behaviours.h"
#include "ModemEngine.h"

namespace telvane::simulator {

void ModemEngine::registerDeviceCommands() {
    for (const auto& [name, lines] : behaviours().answers) {
        if (!name.starts_with('+')) continue;
        m_commands[name] = [lines](Form form, const std::string&) {
            if (form == Form::Test) return Reply{};
            if (form != Form::Action) return Reply{{}, Final::Error, 0};
            return Reply{lines, Final::Ok, 0};
        };
    }
    m_commands["+CIMI"] = [this](Form form, const std::string&) {
        if (m_options.faults.noSm) return Reply{{}, Final::CmeError, kCmeSimNotInserted};
        if (!m_sim.ready()) return Reply{{}, Final::CmeError, m_sim.cmeError()};
        if (form == Form::Test) return Reply{};
        if (form != Form::Action) return Reply{{}, Final::Error, 0};
        return Reply{{"250991234567890"}, Final::Ok, 0};
    };
    m_commands["+CSQ"] = [this](Form form, const std::string&) {
        if (form == Form::Test) return Reply{{"+CSQ: (0-31,99),(0-7,99)"}, Final::Ok, 0};
        if (form != Form::Action) return Reply{{}, Final::Error, 0};
        return Reply{{"+CSQ: " + std::to_string(m_signal) + ",99"}, Final::Ok, 0};
    };
    // TS 27.007 8.3: AT+CPIN? names what the SIM waits for; a missing or busy SIM cannot say.
    m_commands["+CPIN"] = [this](Form form, const std::string& args) {
        if (m_options.faults.noSm) return Reply{{}, Final::CmeError, kCmeSimNotInserted};
        if (form == Form::Test) return Reply{};
        if (form == Form::Read) {
            const auto text = m_sim.cpinText();
            if (!text) return Reply{{}, Final::CmeError, m_sim.cmeError()};
            return Reply{{"+CPIN: " + *text}, Final::Ok, 0};
        }
        const auto parts = splitArgs(args);
        if (form != Form::Set || parts.size() > 2) {
            return Reply{{}, Final::CmeError, kCmeIncorrectParameters};
        }
        const auto refused =
            m_sim.enter(unquote(parts[0]), parts.size() > 1 ? unquote(parts[1]) : "");
        if (refused) return Reply{{}, Final::CmeError, *refused};
        return Reply{};
    };
    m_commands["+CREG"] = [this](Form form, const std::string& args) {
        return registration("+CREG", m_creg, form, args);
    };
    // TS 27.007 7.3: the operator in long alphanumeric form (<format> 0) and the access
    // technology, as a Fibocom FM350-GL answers +COPS:0,0,"MTS RUS",7 (luci-app-3ginfo-lite
    // issue #73). Not registered, only the mode is said: +COPS: 0 (esp-protocols issue #181).
    m_commands["+COPS"] = [this](Form form, const std::string&) {
        if (form == Form::Test)
            return Reply{
                {"+COPS: (2,\"Telvane GSM\",\"Telvane\",\"25099\",2),,(0-4),(0-2)"}, Final::Ok, 0};
        if (form != Form::Read) return Reply{};
        const bool registered = m_sim.ready() && (m_registration == Registration::Home ||
                                                  m_registration == Registration::Roaming);
        return Reply{{registered ? "+COPS: 0,0,\"Telvane GSM\",2" : "+COPS: 0"}, Final::Ok, 0};
    };
    m_commands["+CGREG"] = [this](Form form, const std::string& args) {
        return registration("+CGREG", m_cgreg, form, args);
    };
    // Gammu switches the radio on (AT+CFUN=1) before it talks to any modem.
    m_commands["+CFUN"] = [this](Form form, const std::string& args) {
        if (form == Form::Read) return Reply{{"+CFUN: " + std::to_string(m_cfun)}, Final::Ok, 0};
        if (form == Form::Test) return Reply{{"+CFUN: (0,1,4),(0,1)"}, Final::Ok, 0};
        const auto parts = splitArgs(args);
        const auto fun = parseNumber(parts[0]);
        if (form != Form::Set || parts.size() > 2 || !fun ||
            (*fun != 0 && *fun != 1 && *fun != 4)) {
            return Reply{{}, Final::CmeError, kCmeIncorrectParameters};
        }
        m_cfun = static_cast<int>(*fun);
        return Reply{};
    };
    m_commands["+CMEE"] = [this](Form form, const std::string& args) {
        if (form == Form::Read) return Reply{{"+CMEE: " + std::to_string(m_cmee)}, Final::Ok, 0};
        if (form == Form::Test) return Reply{{"+CMEE: (0-2)"}, Final::Ok, 0};
        const auto value = form == Form::Action ? std::optional<long>(0) : parseNumber(args);
        if (!value || *value < 0 || *value > 2) {
            return Reply{{}, Final::CmeError, kCmeIncorrectParameters};
        }
        m_cmee = static_cast<int>(*value);
        return Reply{};
    };
    m_commands["+CSCS"] = [this](Form form, const std::string& args) {
        if (form == Form::Read) return Reply{{"+CSCS: \"" + m_charset + "\""}, Final::Ok, 0};
        if (form == Form::Test) return Reply{{"+CSCS: (\"IRA\",\"GSM\",\"UCS2\")"}, Final::Ok, 0};
        const std::string name = unquote(args);
        if (form != Form::Set || (name != "IRA" && name != "GSM" && name != "UCS2")) {
            return Reply{{}, Final::CmeError, kCmeIncorrectParameters};
        }
        m_charset = name;
        return Reply{};
    };
}

// TS 27.007 7.2 (+CREG) and 10.1.20 (+CGREG): <n> 0-2, and the state with <n>=2's location.
ModemEngine::Reply ModemEngine::registration(const char* name, int& mode, Form form,
                                             const std::string& args) {
    const std::string prefix = std::string(name) + ": ";
    if (form == Form::Test) return Reply{{prefix + "(0-2)"}, Final::Ok, 0};
    if (form == Form::Read) {
        // Without a ready SIM the modem cannot register at all.
        const auto stat = m_sim.ready() ? m_registration : Registration::None;
        std::string line =
            prefix + std::to_string(mode) + "," + std::to_string(static_cast<int>(stat));
        if (mode == 2 && (stat == Registration::Home || stat == Registration::Roaming)) {
            line += kCellLocation;
        }
        return Reply{{line}, Final::Ok, 0};
    }
    const auto value = form == Form::Action ? std::optional<long>(0) : parseNumber(args);
    if (!value || *value < 0 || *value > 2) {
        return Reply{{}, Final::CmeError, kCmeIncorrectParameters};
    }
    mode = static_cast<int>(*value);
    return Reply{};
}

}  // namespace telvane::simulator
