// libFuzzer target: any bytes as the send journal give its entries, never a crash; the entries
// read are written and read back the same.
#include <cstdlib>

#include "send/SendJournal.h"

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size) {
    using namespace telvane::send;
    const auto entries =
        SendJournal::parse(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)));
    SendJournal journal(QStringLiteral("unused"));
    for (const auto& [name, entry] : entries) journal.put(entry);
    const auto again = SendJournal::parse(journal.serialize());
    if (again.size() != entries.size()) std::abort();
    for (const auto& [name, entry] : again)
        if (!(entries.at(name).identity == entry.identity) || entries.at(name).kind != entry.kind)
            std::abort();
    return 0;
}
