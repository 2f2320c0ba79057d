#pragma once
// What the store's benchmarks share: a store opened or the benchmark ended with why, and the
// outgoing message numbered `i` as the HTTP interface would record it, with its one part.

#include <QDateTime>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "store/Store.h"

namespace telvane::store::bench {

inline std::unique_ptr<Store> openOrExit(const StoreOpener& open) {
    auto opened = open();
    if (!opened) {
        std::fprintf(stderr, "%s\n", qPrintable(opened.error().message));
        std::exit(1);
    }
    return std::move(opened.value());
}

inline OutgoingMessage numbered(int i, const QDateTime& created) {
    OutgoingMessage m;
    m.id = QStringLiteral("api-%1").arg(i);
    m.origin = Origin::Api;
    m.number = QStringLiteral("+7916%1").arg(1000000 + i);
    m.text = QStringLiteral("Сообщение номер %1").arg(i);
    m.created = m.updated = created;
    m.parts.push_back({"0011000B919761214365F7000800" + QByteArray::number(i), 24,
                       PartState::Waiting, std::nullopt});
    return m;
}

}  // namespace telvane::store::bench
