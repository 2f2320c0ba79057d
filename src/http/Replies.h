#pragma once
// What the interface answers: a status code, a content type and a body. Every error is JSON
// with a machine-readable code and a sentence for a person.

#include <QByteArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>

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

}  // namespace telvane::http
