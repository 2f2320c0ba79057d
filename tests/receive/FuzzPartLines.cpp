// libFuzzer target: any bytes as a part file give the parts it holds, never a crash; each part
// read has a sequence number within its message and comes back as the same line.
#include <cstdlib>

#include "receive/PartFiles.h"

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size) {
    using namespace telvane::receive;
    const QByteArray content(reinterpret_cast<const char*>(data), qsizetype(size));
    for (const MessagePart& part : readPartLines(content, QStringLiteral("5A"), 3)) {
        if (part.sequence < 1 || part.sequence > 3) std::abort();
        if (readPartLines(partLine(part), QStringLiteral("5A"), 3).size() != 1) std::abort();
    }
    return 0;
}
