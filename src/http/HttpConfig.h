#pragma once
// The [Http] settings as the interface uses them, read once when the program starts.

#include <QHostAddress>
#include <QString>
#include <QUrl>
#include <optional>
#include <variant>

namespace telvane::config {
class Settings;
}

namespace telvane::http {

struct HttpConfig {
    QHostAddress address;
    quint16 port = 0;
    QByteArray token;
    QString certificate;
    QString key;
    bool metricsOpen = false;
    int requestsPerSecond = 20;
    int maxConnections = 256;
    int maxConnectionsPerClient = 64;
};

/// A webhook address as logs may show it: scheme, host, port and path, never the user, the
/// password or the query (which may carry a key).
QString urlForLog(const QUrl& url);

/// Why the interface does not listen: switched off (empty text), or what is wrong.
struct HttpOff {
    QString why;
};

/// "127.0.0.1:8080", "[::1]:8080", "localhost:8080"; nothing when it does not read.
std::optional<std::pair<QHostAddress, quint16>> parseListen(const QString& text);

/// The interface's settings, or why it must not listen: a Listen that does not read, a
/// Certificate without its Key, or an address beyond this computer without a Token (anyone on
/// the network could send messages at the owner's expense).
std::variant<HttpConfig, HttpOff> readHttpConfig(const config::Settings& settings);

/// `wanted` connections, or fewer when the process may open only `descriptorLimit` files: the
/// interface takes at most half of them, the rest stay the engine's (serial port, day files,
/// "Log.txt", hooks), whatever clients do.
int connectionsWithin(int wanted, long long descriptorLimit);

/// The process's descriptor limit (RLIMIT_NOFILE); a large number where there is none.
long long descriptorLimit();

}  // namespace telvane::http
