#pragma once
// The SIM as AT+CPIN sees it (TS 27.007 8.3): ready, asking for its PIN or PUK, missing, busy or
// blocked for good. Three wrong PINs ask for the PUK, ten wrong PUKs block the card.

#include <optional>
#include <string>
#include <string_view>

namespace telvane::simulator {

enum class SimState { Ready, Pin, Puk, Absent, Busy, Blocked };

class SimCard {
public:
    SimCard(std::string pin, std::string puk);

    SimState state() const { return m_state; }
    bool ready() const { return m_state == SimState::Ready; }
    /// "ready", "pin", "puk", "absent", "busy": what the control socket and --sim name.
    static std::optional<SimState> stateNamed(std::string_view name);
    /// Puts the card into a state; asking for a PIN needs one (empty: the reason it cannot).
    std::string setState(SimState state);

    /// AT+CPIN="code"[,"new PIN"]: nullopt when taken, else the +CME ERROR number.
    std::optional<int> enter(const std::string& code, const std::string& newPin);
    /// What AT+CPIN? reports when the card can answer it at all ("READY", "SIM PIN"...).
    std::optional<std::string> cpinText() const;
    /// The +CME and +CMS ERROR numbers for commands the card's state refuses.
    int cmeError() const;
    int cmsError() const;

private:
    std::string m_pin;
    std::string m_puk;
    SimState m_state = SimState::Ready;
    int m_pinTriesLeft = 3;
    int m_pukTriesLeft = 10;
};

}  // namespace telvane::simulator
