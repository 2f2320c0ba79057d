// libFuzzer target: any bytes as an outgoing-message file (Windows-1251, TAB separator) are
// split and encoded into a result or an error, never a crash; the PDUs the encoder makes decode
// again as SMS-SUBMITs with their part's coding, reference and place, and their texts joined are
// the text it prepared (escape and surrogate pairs never split, "~" kept in UCS2).
#include <cstdlib>

#include "codec/Alphabets.h"
#include "codec/PduDecoder.h"
#include "codec/Submit.h"
#include "send/OutgoingFile.h"

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size) {
    using namespace telvane::codec;
    if (size == 0) return 0;
    const auto split = telvane::send::splitOutgoingFile(
        cp1251ToUnicode(std::string_view(reinterpret_cast<const char*>(data) + 1, size - 1)),
        U"\t");
    const auto* fields = std::get_if<telvane::send::OutgoingFields>(&split);
    if (!fields) return 0;
    SubmitOptions options;  // the first byte picks the options
    options.toLatin = data[0] & 1;
    options.report = data[0] & 2;
    options.lastLongId = data[0] >> 2;
    const SubmitResult encoded = encodeSubmit(unicodeToUtf8(fields->number), fields->text, options);
    if (const auto* error = std::get_if<SubmitError>(&encoded))
        return describe(*error).empty() ? 1 : 0;
    const SubmitMessage& message = std::get<SubmitMessage>(encoded);
    std::u32string joined;
    for (const SubmitPart& part : message.parts) {
        const DecodeResult decoded = decodePduHex(part.pdu);
        const auto* pdu = std::get_if<DecodedPdu>(&decoded);
        if (!pdu || pdu->kind != MessageKind::Submit ||
            (pdu->coding == Coding::Ucs2) != (part.coding == SubmitCoding::Ucs2) ||
            pdu->concat.has_value() != (message.parts.size() > 1) ||
            (pdu->concat && (pdu->concat->ref != unsigned(message.longId) ||
                             pdu->concat->seq != part.number || pdu->concat->total != part.count)))
            std::abort();
        joined += pdu->text;
    }
    if (joined != message.text) std::abort();
    return 0;
}
