#include "http/HttpConfig.h"

#include <algorithm>
#include <limits>

#ifdef Q_OS_UNIX
#include <sys/resource.h>
#endif

#include "config/Settings.h"
#include "config/SettingsKeys.h"

namespace telvane::http {

namespace setting = config::setting;

std::optional<std::pair<QHostAddress, quint16>> parseListen(const QString& text) {
    const QString value = text.trimmed();
    const qsizetype colon = value.lastIndexOf(u':');
    if (colon <= 0) return std::nullopt;
    QString host = value.left(colon);
    if (host.startsWith(u'[') && host.endsWith(u']')) host = host.mid(1, host.size() - 2);
    bool ok = false;
    const uint port = value.mid(colon + 1).toUInt(&ok);
    if (!ok || port > 65535) return std::nullopt;
    QHostAddress address;
    if (host.compare(u"localhost", Qt::CaseInsensitive) == 0)
        address = QHostAddress(QHostAddress::LocalHost);
    else if (!address.setAddress(host))
        return std::nullopt;
    return std::pair{address, static_cast<quint16>(port)};
}

std::variant<HttpConfig, HttpOff> readHttpConfig(const config::Settings& settings) {
    const QString listen = settings.text(setting::HttpListen).trimmed();
    if (listen.isEmpty()) return HttpOff{};
    const auto where = parseListen(listen);
    if (!where) return HttpOff{QStringLiteral("неверный адрес Listen=") + listen};
    HttpConfig config;
    config.address = where->first;
    config.port = where->second;
    config.token = settings.text(setting::HttpToken).trimmed().toUtf8();
    if (config.token.isEmpty() && !config.address.isLoopback())
        return HttpOff{QStringLiteral("адрес ") + listen +
                       QStringLiteral(" доступен из сети, а Token не задан")};
    config.certificate = settings.text(setting::HttpCertificate).trimmed();
    config.key = settings.text(setting::HttpKey).trimmed();
    if (config.certificate.isEmpty() != config.key.isEmpty())
        return HttpOff{QStringLiteral("для HTTPS нужны и Certificate, и Key")};
    config.metricsOpen = settings.equalsOne(setting::HttpMetricsOpen);
    config.requestsPerSecond = std::max(1, settings.strictInt32(setting::HttpRequestsPerSecond));
    config.maxConnections = std::max(1, settings.strictInt32(setting::HttpMaxConnections));
    config.maxConnectionsPerClient = std::clamp(
        settings.strictInt32(setting::HttpMaxConnectionsPerClient), 1, config.maxConnections);
    return config;
}

int connectionsWithin(int wanted, long long descriptorLimit) {
    return static_cast<int>(std::clamp<long long>(descriptorLimit / 2, 1, wanted));
}

long long descriptorLimit() {
#ifdef Q_OS_UNIX
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY)
        return static_cast<long long>(limit.rlim_cur);
#endif
    return std::numeric_limits<int>::max();
}

QString urlForLog(const QUrl& url) {
    return url.adjusted(QUrl::RemoveUserInfo | QUrl::RemoveQuery | QUrl::RemoveFragment).toString();
}

}  // namespace telvane::http
