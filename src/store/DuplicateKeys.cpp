#include "store/DuplicateKeys.h"

#include <QCryptographicHash>

namespace telvane::store {

namespace {

constexpr qsizetype kKeyLength = 32;

void addField(QCryptographicHash& hash, const QString& field) {
    const QByteArray bytes = field.toUtf8();
    hash.addData(QByteArray::number(bytes.size()) + ':');
    hash.addData(bytes);
}

}  // namespace

QByteArray duplicateKey(const QString& kind, const QString& sender, const QString& timeStamp,
                        const QString& text) {
    QCryptographicHash hash(QCryptographicHash::Sha256);
    addField(hash, kind);
    addField(hash, sender);
    addField(hash, timeStamp);
    addField(hash, text);
    return hash.result().toHex().left(kKeyLength);
}

QByteArray messageKey(const QString& number, const QString& timeStamp, const QString& text) {
    return duplicateKey(QStringLiteral("message"), number, timeStamp, text);
}

QByteArray partKey(const QString& number, const QString& timeStamp, const QString& reference,
                   size_t total, size_t sequence, const QString& text) {
    return duplicateKey(QStringLiteral("part"), number, timeStamp,
                        reference + QLatin1Char('-') + QString::number(total) + QLatin1Char('$') +
                            QString::number(sequence) + QLatin1Char('\t') + text);
}

QByteArray reportKey(const QString& number, const QString& timeStamp, const QString& text,
                     std::optional<int> reference, const QString& discharge) {
    return duplicateKey(QStringLiteral("report"), number, timeStamp,
                        text + QStringLiteral("\tMR ") + QString::number(reference.value_or(0)) +
                            QStringLiteral("\tDT ") + discharge);
}

}  // namespace telvane::store
