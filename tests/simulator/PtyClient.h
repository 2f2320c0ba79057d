#pragma once
// The host's side of the simulated line for tests: opens the port like a serial program would
// (raw mode) and reads with poll() against a deadline.

#include <chrono>
#include <string>
#include <string_view>

namespace telvane::test {

class PtyClient {
public:
    PtyClient() = default;
    ~PtyClient();
    PtyClient(const PtyClient&) = delete;
    PtyClient& operator=(const PtyClient&) = delete;

    bool open(const std::string& path);
    void close();
    bool isOpen() const { return m_fd >= 0; }

    /// False when the line is gone (the modem was unplugged).
    bool write(std::string_view bytes);

    /// Reads until `done(received so far)` holds or the deadline passes; returns what came in.
    template <typename Predicate>
    std::string readUntil(Predicate done, std::chrono::milliseconds deadline);

    /// Reads until the text ends in a final result code or the "> " prompt.
    std::string readAnswer(std::chrono::milliseconds deadline = std::chrono::seconds(5));
    /// Writes `command` and reads its answer.
    std::string transact(std::string_view command,
                         std::chrono::milliseconds deadline = std::chrono::seconds(5));
    /// Everything that arrives within `window` (for checking that nothing does).
    std::string readFor(std::chrono::milliseconds window);

    /// True when the last read saw the line hang up or fail.
    bool lineFailed() const { return m_failed; }

private:
    /// Waits up to `remaining` for bytes; appends them. False on time-out or failure.
    bool readSome(std::string& into, std::chrono::milliseconds remaining);

    int m_fd = -1;
    bool m_failed = false;
};

/// True when `text` ends in OK, ERROR, +CME/+CMS ERROR or the prompt.
bool endsWithFinalResult(std::string_view text);

template <typename Predicate>
std::string PtyClient::readUntil(Predicate done, std::chrono::milliseconds deadline) {
    const auto end = std::chrono::steady_clock::now() + deadline;
    std::string received;
    while (!done(received)) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            end - std::chrono::steady_clock::now());
        if (left.count() <= 0 || !readSome(received, left)) break;
    }
    return received;
}

}  // namespace telvane::test
