#include "http/ReceivedBytes.h"

#ifdef __linux__
// The kernel's own header: glibc's <netinet/tcp.h> has an older tcp_info without the byte
// counts.
#include <linux/tcp.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cstddef>
#endif

namespace telvane::http {

std::optional<quint64> receivedBytes(int socket) {
#ifdef __linux__
    tcp_info info{};
    socklen_t size = sizeof info;
    if (::getsockopt(socket, IPPROTO_TCP, TCP_INFO, &info, &size) != 0 ||
        size < offsetof(tcp_info, tcpi_bytes_received) + sizeof info.tcpi_bytes_received)
        return std::nullopt;
    return info.tcpi_bytes_received;
#else
    (void)socket;
    return std::nullopt;
#endif
}

}  // namespace telvane::http
