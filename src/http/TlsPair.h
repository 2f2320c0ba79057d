#pragma once
// The certificate and key of the interface's HTTPS, read and checked once at start: a key that
// does not belong to its certificate must keep the interface off with a reason, not let it
// listen and fail every handshake.

#include <QByteArray>
#include <QString>
#include <variant>

namespace telvane::http {

struct TlsPair {
    QByteArray certificatePem;
    QByteArray keyPem;
};

/// The two PEM files, or why they will not do (a sentence for the operator).
std::variant<TlsPair, QString> readTlsPair(const QString& certificatePath, const QString& keyPath);

/// The TLS versions and suites offered (GnuTLS priority string): TLS 1.2 and 1.3, key
/// exchange with forward secrecy (ECDHE) and AEAD ciphers only.
const char* tlsPriorities();

}  // namespace telvane::http
