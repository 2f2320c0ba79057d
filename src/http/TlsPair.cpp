#include "http/TlsPair.h"

#include <gnutls/gnutls.h>

#include <QFile>

namespace telvane::http {

namespace {

// A certificate chain and a key are a few kilobytes; anything far larger is not one.
constexpr qint64 kPemLimit = 1024 * 1024;

std::variant<QByteArray, QString> readPem(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("не читается ") + path + QStringLiteral(": ") + file.errorString();
    QByteArray pem = file.read(kPemLimit + 1);
    if (pem.size() > kPemLimit) return path + QStringLiteral(": больше 1 МБ, это не PEM");
    return pem;
}

}  // namespace

const char* tlsPriorities() {
    // RSA key exchange has no forward secrecy; CBC with SHA-1 is the weak old construction.
    return "NORMAL:-VERS-ALL:+VERS-TLS1.3:+VERS-TLS1.2:-KX-ALL:+ECDHE-ECDSA:+ECDHE-RSA:"
           "-CIPHER-ALL:+AES-256-GCM:+AES-128-GCM:+CHACHA20-POLY1305:-MAC-ALL:+AEAD:"
           "%SERVER_PRECEDENCE";
}

std::variant<TlsPair, QString> readTlsPair(const QString& certificatePath, const QString& keyPath) {
    auto certificate = readPem(certificatePath);
    if (auto* why = std::get_if<QString>(&certificate)) return *why;
    auto key = readPem(keyPath);
    if (auto* why = std::get_if<QString>(&key)) return *why;
    TlsPair pair{std::get<QByteArray>(certificate), std::get<QByteArray>(key)};

    gnutls_certificate_credentials_t credentials = nullptr;
    if (gnutls_certificate_allocate_credentials(&credentials) != GNUTLS_E_SUCCESS)
        return QStringLiteral("GnuTLS не запускается");
    gnutls_datum_t certificateData{reinterpret_cast<unsigned char*>(pair.certificatePem.data()),
                                   static_cast<unsigned>(pair.certificatePem.size())};
    gnutls_datum_t keyData{reinterpret_cast<unsigned char*>(pair.keyPem.data()),
                           static_cast<unsigned>(pair.keyPem.size())};
    // GnuTLS compares the key with the certificate's public key here.
    const int loaded = gnutls_certificate_set_x509_key_mem(credentials, &certificateData, &keyData,
                                                           GNUTLS_X509_FMT_PEM);
    gnutls_certificate_free_credentials(credentials);
    if (loaded == GNUTLS_E_CERTIFICATE_KEY_MISMATCH)
        return QStringLiteral("ключ ") + keyPath + QStringLiteral(" не подходит к сертификату ") +
               certificatePath;
    if (loaded < 0)
        return QStringLiteral("сертификат ") + certificatePath + QStringLiteral(" или ключ ") +
               keyPath + QStringLiteral(" не читается: ") +
               QString::fromUtf8(gnutls_strerror(loaded));
    return pair;
}

}  // namespace telvane::http
