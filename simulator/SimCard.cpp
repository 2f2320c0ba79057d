#include "SimCard.h"

#include "AtText.h"

namespace telvane::simulator {

SimCard::SimCard(std::string pin, std::string puk) : m_pin(std::move(pin)), m_puk(std::move(puk)) {
    if (!m_pin.empty()) m_state = SimState::Pin;
}

std::optional<SimState> SimCard::stateNamed(std::string_view name) {
    if (name == "ready") return SimState::Ready;
    if (name == "pin") return SimState::Pin;
    if (name == "puk") return SimState::Puk;
    if (name == "absent") return SimState::Absent;
    if (name == "busy") return SimState::Busy;
    return std::nullopt;
}

std::string SimCard::setState(SimState state) {
    if (state == SimState::Pin && m_pin.empty()) return "the SIM has no PIN (see --pin)";
    m_state = state;
    if (state == SimState::Pin) m_pinTriesLeft = 3;
    if (state == SimState::Puk) m_pukTriesLeft = 10;
    return {};
}

std::optional<int> SimCard::enter(const std::string& code, const std::string& newPin) {
    switch (m_state) {
        case SimState::Ready:
            return kCmeOperationNotAllowed;  // nothing is asked for
        case SimState::Pin:
            if (!newPin.empty()) return kCmeOperationNotAllowed;
            if (code == m_pin) {
                m_state = SimState::Ready;
                m_pinTriesLeft = 3;
                return std::nullopt;
            }
            if (--m_pinTriesLeft == 0) setState(SimState::Puk);
            return kCmeIncorrectPassword;
        case SimState::Puk:
            if (newPin.empty()) return kCmeSimPukRequired;
            if (code == m_puk) {
                m_pin = newPin;
                m_state = SimState::Ready;
                m_pinTriesLeft = 3;
                return std::nullopt;
            }
            if (--m_pukTriesLeft == 0) m_state = SimState::Blocked;
            return kCmeIncorrectPassword;
        default:
            return cmeError();
    }
}

std::optional<std::string> SimCard::cpinText() const {
    switch (m_state) {
        case SimState::Ready:
            return "READY";
        case SimState::Pin:
            return "SIM PIN";
        case SimState::Puk:
            return "SIM PUK";
        default:
            return std::nullopt;
    }
}

int SimCard::cmeError() const {
    switch (m_state) {
        case SimState::Pin:
            return kCmeSimPinRequired;
        case SimState::Puk:
            return kCmeSimPukRequired;
        case SimState::Absent:
            return kCmeSimNotInserted;
        case SimState::Busy:
            return kCmeSimBusy;
        default:
            return kCmeSimFailure;
    }
}

// TS 27.005 3.2.5 numbers the same conditions from 310 on.
int SimCard::cmsError() const {
    switch (m_state) {
        case SimState::Pin:
            return 311;
        case SimState::Puk:
            return 316;
        case SimState::Absent:
            return 310;
        case SimState::Busy:
            return 314;
        default:
            return 313;
    }
}

}  // namespace telvane::simulator
