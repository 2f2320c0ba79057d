#pragma once
// What the interface answers: a status code, a content type and a body. Every error is JSON
// with a machine-readable code and a sentence for a person.

#include <QByteArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>

#include "store/Store.h"

namespace telvane::http {

struct Reply {
    int status = 200;
    QByteArray body;
    QByteArray contentType = "application/json";

    static Reply json(int status, const QJsonObject& object) {
        return {status, QJsonDocument(object).toJson(QJsonDocument::Compact), "application/json"};
    }
    static Reply error(int status, const QString& code, const QString& message) {
        return json(status,
                    {{QStringLiteral("error"), code}, {QStringLiteral("message"), message}});
    }
};

/// 503: what needs the store cannot be answered while it fails.
inline Reply storeUnavailable(const store::StoreError& error) {
    return Reply::error(503, QStringLiteral("store_unavailable"),
                        QStringLiteral("Хранилище недоступно: ") + error.message);
}

}  // namespace telvane::http
