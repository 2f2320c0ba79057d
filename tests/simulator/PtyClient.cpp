#include "PtyClient.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <regex>

namespace telvane::test {

PtyClient::~PtyClient() { close(); }

bool PtyClient::open(const std::string& path) {
    close();
    m_fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (m_fd < 0) return false;
    termios tio{};
    tcgetattr(m_fd, &tio);
    cfmakeraw(&tio);
    tcsetattr(m_fd, TCSANOW, &tio);
    m_failed = false;
    return true;
}

void PtyClient::close() {
    if (m_fd >= 0) ::close(m_fd);
    m_fd = -1;
}

bool PtyClient::write(std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(m_fd, bytes.data(), bytes.size());
        if (n < 0) {
            if (errno == EINTR || errno == EAGAIN) continue;
            m_failed = true;
            return false;
        }
        bytes.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

bool PtyClient::readSome(std::string& into, std::chrono::milliseconds remaining) {
    pollfd p{m_fd, POLLIN, 0};
    const int ready = ::poll(&p, 1, static_cast<int>(remaining.count()));
    if (ready <= 0) return false;
    char buffer[4096];
    const ssize_t n = ::read(m_fd, buffer, sizeof buffer);
    if (n > 0) {
        into.append(buffer, static_cast<size_t>(n));
        return true;
    }
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) return true;
    m_failed = true;  // EIO or end of file: the other side is gone
    return false;
}

bool endsWithFinalResult(std::string_view text) {
    static const std::regex final(R"((\r\n(OK|ERROR|\+CM[ES] ERROR: [^\r]*)\r\n|\r\n> )$)");
    return std::regex_search(text.begin(), text.end(), final);
}

std::string PtyClient::readAnswer(std::chrono::milliseconds deadline) {
    return readUntil([](const std::string& text) { return endsWithFinalResult(text); }, deadline);
}

std::string PtyClient::transact(std::string_view command, std::chrono::milliseconds deadline) {
    if (!write(command)) return {};
    return readAnswer(deadline);
}

std::string PtyClient::readFor(std::chrono::milliseconds window) {
    return readUntil([](const std::string&) { return false; }, window);
}

}  // namespace telvane::test
