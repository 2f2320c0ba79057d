#pragma once
// A request as the interface's routing sees it, apart from how it came: the transport fills
// it in once the head (and later the body) is read, and tests build it by hand.

#include <QByteArray>
#include <QByteArrayView>
#include <QHostAddress>
#include <QList>
#include <QString>
#include <QUrlQuery>
#include <utility>

namespace telvane::http {

struct Request {
    QByteArray method;  ///< "GET", "HEAD", "POST", ... as sent
    QString path;       ///< decoded, without the query: "/api/v1/status"
    QUrlQuery query;
    QList<std::pair<QByteArray, QByteArray>> headers;  ///< in the order sent, names in any case
    QByteArray body;
    QHostAddress peer;

    /// The first header of that name (in any letter case), trimmed; empty when there is none.
    QByteArray header(QByteArrayView name) const {
        for (const auto& [key, value] : headers)
            if (QByteArrayView(key).compare(name, Qt::CaseInsensitive) == 0) return value.trimmed();
        return {};
    }
    bool hasHeader(QByteArrayView name) const {
        for (const auto& header : headers)
            if (QByteArrayView(header.first).compare(name, Qt::CaseInsensitive) == 0) return true;
        return false;
    }
};

}  // namespace telvane::http
