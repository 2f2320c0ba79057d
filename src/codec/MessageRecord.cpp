#include "codec/MessageRecord.h"

#include <cstdio>

namespace telvane::codec {

namespace {

std::u32string ascii(std::string_view text) { return std::u32string(text.begin(), text.end()); }

std::u32string twoDigits(int value) {
    char buffer[4];
    std::snprintf(buffer, sizeof buffer, "%02d", value % 100);
    return ascii(buffer);
}

}  // namespace

std::u32string formatTimeStamp(const TimeStamp& s) {
    return twoDigits(s.day) + U'.' + twoDigits(s.month) + U'.' + twoDigits(s.year) + U' ' +
           twoDigits(s.hour) + U':' + twoDigits(s.minute) + U':' + twoDigits(s.second);
}

std::u32string partMarker(const Concat& concat) {
    char ref[8];
    if (concat.refBits == 16) {
        std::snprintf(ref, sizeof ref, "%04X", static_cast<unsigned>(concat.ref));
    } else {
        std::snprintf(ref, sizeof ref, "%02X", static_cast<unsigned>(concat.ref & 0xFF));
    }
    return U"HEADER$" + ascii(ref) + U'-' + ascii(std::to_string(concat.total)) + U'$' +
           ascii(std::to_string(concat.seq)) + U'*';
}

const std::u32string& reportText(std::uint8_t status, const ReportTexts& texts) {
    // TS 23.040 9.2.3.15: bits 6-5 give the group (completed, temporary error with the centre
    // still trying, permanent error, temporary error given up).
    if (status < 0x20) return texts.delivered;
    if (status < 0x40) return texts.sepended;
    return texts.deleted;
}

std::u32string flattenText(std::u32string_view text) {
    std::u32string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char32_t c = text[i];
        if (c == U'\r' && i + 1 < text.size() && text[i + 1] == U'\n') ++i;
        const bool breaksRecord = c == U'\r' || c == U'\n' || c == U'\t' || c == kFieldMark;
        out.push_back(breaksRecord ? U' ' : c);
    }
    return out;
}

MessageRecord messageRecord(const DecodedPdu& pdu, const ReportTexts& texts) {
    MessageRecord record;
    if (pdu.concat && pdu.kind != MessageKind::StatusReport) {
        record.partMarker = partMarker(*pdu.concat);
    }
    if (pdu.timestamp) record.timeStamp = formatTimeStamp(*pdu.timestamp);
    record.number = flattenText(pdu.number);
    if (pdu.kind == MessageKind::StatusReport) {
        record.text = flattenText(U"Отчет о доставке: " +
                                  reportText(pdu.status.value_or(0), texts) + U' ' + record.number);
    } else {
        record.text = flattenText(pdu.text);
    }
    return record;
}

std::u32string recordText(const MessageRecord& record) {
    return record.partMarker + record.timeStamp + kFieldMark + record.number + kFieldMark +
           record.text;
}

}  // namespace telvane::codec
