// libFuzzer target for the PDU decoder: any input gives a result or an error, never a crash
// or a sanitizer report. The same bytes go through both layers: as hex text and as a binary
// PDU; whatever decodes is also turned into a record and into both output encodings.
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <variant>

#include "codec/Alphabets.h"
#include "codec/MessageRecord.h"
#include "codec/PduDecoder.h"

namespace {

void exercise(const telvane::codec::DecodeResult& result) {
    using namespace telvane::codec;
    if (const auto* pdu = std::get_if<DecodedPdu>(&result)) {
        const std::u32string record = recordText(messageRecord(*pdu, ReportTexts{}));
        (void)unicodeToCp1251Lossy(record);
        (void)unicodeToUtf8(record);
    } else {
        (void)describe(std::get<DecodeError>(result));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace telvane::codec;
    exercise(decodePduHex(std::string_view(reinterpret_cast<const char*>(data), size)));
    exercise(decodePdu(Bytes(data, data + size)));
    return 0;
}
