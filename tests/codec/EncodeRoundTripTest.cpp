// Every PDU the encoder builds decodes back to the prepared text with our own decoder: a
// second opinion next to the gammu check, and it covers "~" in UCS2, which gammu mangles.
#include <gtest/gtest.h>

#include <variant>

#include "codec/Alphabets.h"
#include "codec/PduDecoder.h"
#include "codec/Submit.h"

namespace telvane::codec {
namespace {

struct Row {
    const char* name;
    std::u32string text;
    bool toLatin = false;
};

std::u32string allCp1251() {
    std::u32string text;
    for (unsigned byte = 0x20; byte <= 0xFF; ++byte) {
        if (byte != 0x98) text.push_back(cp1251ToUnicode(static_cast<std::uint8_t>(byte)));
    }
    return text;
}

TEST(EncodeRoundTrip, DecodesToThePreparedText) {
    const Row rows[] = {
        {"extension table", U"\f^{}\\[~]|€"},
        {"tilde in UCS2", U"~ Тильда ~~"},
        {"all of Windows-1251", allCp1251()},
        {"escape pairs across parts", std::u32string(200, U'€')},
        {"surrogate pairs across parts", std::u32string(100, U'😀')},
        {"transliterated", U"Съешь же ещё этих мягких французских булок", true},
        {"line breaks", U" a\r\nb\n "},
    };
    for (const Row& row : rows) {
        SubmitOptions options;
        options.toLatin = row.toLatin;
        options.smsc = "+79168999100";
        const SubmitResult result = encodeSubmit("89161234567", row.text, options);
        ASSERT_TRUE(std::holds_alternative<SubmitMessage>(result)) << row.name;
        const SubmitMessage& message = std::get<SubmitMessage>(result);

        std::u32string joined;
        for (const SubmitPart& part : message.parts) {
            const DecodeResult decoded = decodePduHex(part.pdu);
            ASSERT_TRUE(std::holds_alternative<DecodedPdu>(decoded))
                << row.name << ": " << describe(std::get<DecodeError>(decoded));
            const DecodedPdu& pdu = std::get<DecodedPdu>(decoded);
            EXPECT_EQ(pdu.kind, MessageKind::Submit) << row.name;
            EXPECT_EQ(pdu.smsc, "+79168999100") << row.name;
            EXPECT_EQ(pdu.number, U"+79161234567") << row.name;
            EXPECT_EQ(pdu.coding, part.coding == SubmitCoding::Gsm7 ? Coding::Gsm7 : Coding::Ucs2)
                << row.name;
            EXPECT_EQ(pdu.concat.has_value(), message.parts.size() > 1) << row.name;
            if (pdu.concat) {
                EXPECT_EQ(pdu.concat->ref, message.longId) << row.name;
                EXPECT_EQ(pdu.concat->total, part.count) << row.name;
                EXPECT_EQ(pdu.concat->seq, part.number) << row.name;
            }
            joined += pdu.text;
        }
        EXPECT_EQ(joined, message.text) << row.name;
    }
}

}  // namespace
}  // namespace telvane::codec
