#pragma once
// The interface's answers: the API, /metrics and the status page, from a plain request to a
// Reply. It never calls into the engine: it reads the engine's figures, the status lines the
// engine reports, and the store, where it also queues new messages. The transport calls it
// from its own threads.

#include <QHash>
#include <QHostAddress>
#include <functional>
#include <mutex>
#include <optional>

#include "config/Settings.h"
#include "contracts/EngineFigures.h"
#include "http/HttpConfig.h"
#include "http/HttpRequest.h"
#include "http/PerThreadStore.h"
#include "http/Replies.h"

namespace telvane::http {

class StatusBoard;

/// Requests a second per client address: a bucket of `burst` requests, refilled at
/// `perSecond` as time goes. Not thread-safe.
class RateLimiter {
public:
    RateLimiter(double perSecond, double burst) : m_perSecond(perSecond), m_burst(burst) {}
    bool allow(const QHostAddress& client, qint64 nowMs);

private:
    struct Bucket {
        double tokens = 0;
        qint64 lastMs = 0;
    };
    double m_perSecond;
    double m_burst;
    QHash<QString, Bucket> m_buckets;
};

/// Compares in a time that does not depend on where the two differ.
bool sameSecret(const QByteArray& given, const QByteArray& expected);

class ApiRouter {
public:
    /// Refused tokens a second one address may try (a burst of kFailureBurst): enough for a
    /// person who mistyped it, too few to guess one. They never use up the bucket of requests
    /// that carry the right token.
    static constexpr double kFailuresPerSecond = 1;
    static constexpr double kFailureBurst = 10;

    /// `openStore` gives each answering thread its connection to the store; `monotonicMs`: a
    /// clock that never goes back, for the rate limits.
    ApiRouter(HttpConfig config, config::Settings settings, store::StoreOpener openStore,
              contracts::GatewayFigures figures, const StatusBoard& board,
              std::function<qint64()> monotonicMs);

    /// Called on the answering thread each time a post has queued a message, so that the
    /// gateway sends it now rather than at its next poll. Set before the listener starts.
    void onQueued(std::function<void()> queued) { m_queued = std::move(queued); }

    /// What the head alone decides, before any of the body is read: the token (or, without
    /// one, this computer's own Host and Origin), then the request rate, then the content
    /// type of a post. Nothing when the body is to be read and answer() asked.
    std::optional<Reply> admit(const Request& head);
    /// The answer to a request admit() let through, with its body (the transport holds it
    /// to its limit).
    Reply answer(const Request& request);

private:
    Reply api(const Request& request, const QString& path);
    Reply status();
    bool authorized(const Request& request) const;

    HttpConfig m_config;
    config::Settings m_settings;
    PerThreadStore m_stores;
    contracts::GatewayFigures m_figures;
    const StatusBoard& m_board;
    std::function<qint64()> m_monotonicMs;
    std::function<void()> m_queued;
    std::mutex m_limitersLock;
    RateLimiter m_requests;
    RateLimiter m_failures;
};

}  // namespace telvane::http
