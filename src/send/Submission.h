#pragma once
// The PDU-mode send command with the phone (3GPP TS 27.005 3.5.1): "at+cmgs=" with the TPDU
// length, the ">" prompt, the PDU ended by Ctrl-Z, the final "OK".

#include <QString>
#include <cstddef>
#include <functional>
#include <optional>
#include <vector>

#include "contracts/Clock.h"
#include "contracts/Pacing.h"
#include "contracts/PhoneLink.h"
#include "contracts/Status.h"
#include "send/SubmissionCommands.h"

namespace telvane::send {

/// One PDU of a message as it goes to the phone.
struct PendingPart {
    QByteArray pdu;  ///< hex text, SMSC part first
    std::size_t tpduLength = 0;

    friend bool operator==(const PendingPart&, const PendingPart&) = default;
};

/// What the caller records as the parts go: `submitting(i)` right before the PDU of part i is
/// written (after its prompt): false keeps it from going, and the submission stops there;
/// `confirmed(i, reference)` right after the phone confirmed part i.
struct SubmissionSteps {
    std::function<bool(std::size_t)> submitting;
    std::function<void(std::size_t, std::optional<int>)> confirmed;
};

struct SubmissionPorts {
    contracts::PhoneLink& phone;
    contracts::StatusSink& status;
    contracts::Clock& clock;
    const contracts::PacingProfile& pacing;
    int confirmationTimeoutS = commands::kConfirmationS;
    /// The phone refused AT+CMMS on this connection: it is not asked again.
    bool keepLinkRefused = false;
};

/// Why the phone did not take a part.
struct SubmissionFailure {
    std::optional<int> cmsError;  ///< the number of "+CMS ERROR: n", when it said one
    QString what;                 ///< "no prompt", "ERROR", "no answer", or the error's name
    bool permanent = false;       ///< CmsError::permanent (send/CmsErrors.h)
};

struct SubmissionResult {
    bool allConfirmed = false;
    bool promptFailed = false;  ///< the submission stopped at a part without its prompt
    /// The port vanished or an exit was asked for: nothing more was said to the phone.
    bool halted = false;
    /// The caller could not record a part before its PDU: it did not go, nor did the rest.
    bool unrecorded = false;
    /// Why the last part that was not confirmed failed: "+CMS ERROR: 331 (no network
    /// service)", "нет ответа"; empty when every part tried was confirmed.
    QString reason;
    /// TP-MR of each part the phone confirmed in this submission ("+CMGS: n"), by part.
    std::vector<std::optional<int>> references;
    std::optional<SubmissionFailure> lastFailure;
    /// The phone refused AT+CMMS=1 (the parts went each on a link of its own).
    bool keepLinkRefused = false;
};

/// Offers every part whose `confirmed` flag is false, in order, and sets the flag of each part
/// that the phone confirmed with "OK" after its PDU; `steps` are told before each PDU goes and
/// after each confirmation, so that the progress is recorded before the next part is tried.
///
/// A part without its prompt ends the submission: ESC is sent, so that a prompt that comes
/// late cannot take the next command for message text. A part whose PDU got "ERROR" or
/// "+CMS ERROR" stays unconfirmed and the next part is still offered. A confirmation that has
/// not come within confirmationTimeoutS is waited for once more while the line is brought back
/// to order: a "+CMGS:" that comes before the phone answers again confirms the part that was
/// on the wire, so that it is never submitted twice. The status texts are those of a single
/// message (m = 1) or of part k of m. Where the pacing says so and two parts or more are to go,
/// the radio link is kept up between them (AT+CMMS=1, then 0 after the last).
SubmissionResult submitParts(const SubmissionPorts& ports, const std::vector<PendingPart>& parts,
                             std::vector<bool>& confirmed, const SubmissionSteps& steps = {});

}  // namespace telvane::send
