#pragma once
// What the gateway has done since the program started, counted where it happens and read by
// any thread (the HTTP interface's metrics and status) without waiting for the engine: every
// figure is a lone atomic (the modem's names strings behind a lock held for a copy), and no
// reader needs two of them to agree. The program that builds the engine and the interface
// makes one and hands it to both.

#include <QString>
#include <array>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace telvane::contracts {

struct EngineFigures {
    /// Upper bounds of the poll duration histogram, in milliseconds.
    static constexpr std::array<std::int64_t, 8> kPollBucketsMs{250,  500,   1000,  2500,
                                                                5000, 10000, 30000, 60000};

    std::atomic<std::uint64_t> received{0};      ///< messages stored (a long one counts once)
    std::atomic<std::uint64_t> partsSent{0};     ///< short messages the phone confirmed
    std::atomic<std::uint64_t> partsRefused{0};  ///< short messages the phone did not take
    std::atomic<std::uint64_t> failed{0};        ///< outgoing messages failed for good
    std::atomic<std::uint64_t> reportsDelivered{0};
    std::atomic<std::uint64_t> reportsPending{0};
    std::atomic<std::uint64_t> reportsFailed{0};
    std::atomic<std::uint64_t> exchangeTimeouts{0};  ///< phone transactions without an answer
    std::atomic<std::uint64_t> storeFailures{0};     ///< received messages not written
    std::atomic<int> statusId{0};                    ///< StatusId of the status shown now
    std::atomic<bool> inService{false};              ///< the phone answers
    std::atomic<int> registration{-1};               ///< +CREG <stat>; -1 unknown
    std::atomic<int> signal{-1};                     ///< +CSQ <rssi>; -1 unknown
    /// Until when (ms since the epoch) the modem takes no message after refusals; 0: it does.
    std::atomic<qint64> blockedUntilMs{0};
    std::array<std::atomic<std::uint64_t>, kPollBucketsMs.size()> pollBuckets{};
    std::atomic<std::uint64_t> polls{0};
    std::atomic<std::uint64_t> pollMsTotal{0};

    /// The modem's model (AT+CGMM) and the operator it is registered with (AT+COPS?); empty
    /// when not known.
    void setModem(std::string model, std::string operatorName) {
        const std::lock_guard lock(m_modemLock);
        m_model = std::move(model);
        m_operator = std::move(operatorName);
    }
    std::pair<std::string, std::string> modem() const {
        const std::lock_guard lock(m_modemLock);
        return {m_model, m_operator};
    }

    /// +CSQ <rssi> (0-31), nothing while unknown or when the modem says it cannot tell (99).
    std::optional<int> knownSignal() const {
        const int rssi = signal.load();
        return rssi < 0 || rssi == 99 ? std::nullopt : std::optional(rssi);
    }
    /// +CREG <stat>, nothing while unknown.
    std::optional<int> knownRegistration() const {
        const int stat = registration.load();
        return stat < 0 ? std::nullopt : std::optional(stat);
    }

    void recordPoll(std::int64_t ms) {
        for (std::size_t i = 0; i < kPollBucketsMs.size(); ++i)
            if (ms <= kPollBucketsMs[i]) pollBuckets[i].fetch_add(1, std::memory_order_relaxed);
        polls.fetch_add(1, std::memory_order_relaxed);
        pollMsTotal.fetch_add(static_cast<std::uint64_t>(ms), std::memory_order_relaxed);
    }

private:
    mutable std::mutex m_modemLock;
    std::string m_model;
    std::string m_operator;
};

/// One modem's figures under its name ("" for a gateway of one).
struct ModemFigures {
    QString modem;
    const EngineFigures* figures = nullptr;
};
/// A gateway's modems' figures, its first modem first.
using GatewayFigures = std::vector<ModemFigures>;

}  // namespace telvane::contracts
