#pragma once
// How many bytes a TCP socket has received since it was opened, as the kernel counts them
// (TCP_INFO on Linux): the start of a request shows there before any library has read it.

#include <QtGlobal>
#include <optional>

namespace telvane::http {

/// Nothing where the system does not tell (not Linux, not TCP).
std::optional<quint64> receivedBytes(int socket);

}  // namespace telvane::http
