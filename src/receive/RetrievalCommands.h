#pragma once
// The dialogue of a retrieval with the phone, one exchange a row (3GPP TS 27.005): what goes
// out, what the port log calls it, the answer that ends it and its time limits. The selection
// and list commands end in CR LF, the deletion in CR alone and in lower case, as phones have
// long been driven; the port logs show them so.

#include <QByteArray>
#include <cstdint>

#include "contracts/PhoneLink.h"

namespace telvane::receive::commands {

/// Seconds: a memory selection and a deletion; the listing's wait for its next byte, and for
/// all of it (a full memory lists for half a minute and more at 9600 baud).
inline constexpr int kSelectS = 5;
inline constexpr int kDeleteS = 5;
inline constexpr int kListQuietS = 20;
inline constexpr int kListCeilingS = 300;

/// AT+CPMS=? : the memories the modem has ("SR" where it keeps status reports apart).
inline contracts::Exchange askMemories() {
    return {"AT+CPMS=?\r\n", QStringLiteral("Список хранилищ SMS"), QStringLiteral("OK"), kSelectS};
}

/// AT+CPMS="ME": one memory for reading and deleting.
inline contracts::Exchange select(const QByteArray& memory) {
    return {"AT+CPMS=\"" + memory + "\"\r\n", QStringLiteral("Выбор хранилища SMS"),
            QStringLiteral("OK"), kSelectS};
}

/// AT+CPMS="X","X","X": for a modem that takes only all three at once (Huawei E3372-325).
inline contracts::Exchange selectAll(const QByteArray& memory) {
    const QByteArray quoted = '"' + memory + '"';
    return {"AT+CPMS=" + quoted + ',' + quoted + ',' + quoted + "\r\n",
            QStringLiteral("Выбор хранилища SMS"), QStringLiteral("OK"), kSelectS};
}

/// AT+CMGL=4: every message of the memory, read or not, in PDU mode.
inline contracts::Exchange list() {
    return {"AT+CMGL=4\r\n", QStringLiteral("Проверка наличия SMS"), QStringLiteral("OK"),
            kListQuietS, kListCeilingS};
}

/// at+cmgd=<index>.
inline contracts::Exchange remove(std::uint32_t index) {
    return {QByteArrayLiteral("at+cmgd=") + QByteArray::number(index) + '\r',
            QStringLiteral("Удаление SMS из ячейки ") + QString::number(index),
            QStringLiteral("OK"), kDeleteS};
}

}  // namespace telvane::receive::commands
