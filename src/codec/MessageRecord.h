#pragma once
// The message record the gateway stores for one decoded PDU: time stamp, number and text,
// with the part marker in front for a part of a long message.

#include <cstdint>
#include <string>

#include "codec/PduDecoder.h"

namespace telvane::codec {

/// Separates the fields of a record (the character with code 0).
inline constexpr char32_t kFieldMark = U'\0';

/// The texts a status report is stored with, one per group of TP-ST values. The defaults are
/// the gateway's defaults for the [SMSreports] keys Delivered, Sepended and Deleted; the
/// caller passes the configured ones.
struct ReportTexts {
    std::u32string delivered = U"Доставлено";
    std::u32string sepended = U"Отложено";
    std::u32string deleted = U"Удалено";
};

/// A record split into its parts. `partMarker` is empty for a whole message.
struct MessageRecord {
    std::u32string partMarker;
    std::u32string timeStamp;  ///< "DD.MM.YY hh:mm:ss", or empty when the PDU carries none
    std::u32string number;
    std::u32string text;  ///< holds no CR, LF, TAB or field mark
};

/// "DD.MM.YY hh:mm:ss" (local time of the service centre; the zone is not shown).
std::u32string formatTimeStamp(const TimeStamp& stamp);

/// "HEADER$" ref "-" total "$" seq "*", the reference as 2 (8-bit) or 4 (16-bit) upper-case hex
/// digits, total and seq in decimal. Example: HEADER$5A-3$2*.
std::u32string partMarker(const Concat& concat);

/// The report text for a TP-ST value: 00-1F delivered, 20-3F still being tried (sepended),
/// 40-7F given up (deleted). The reserved values 80-FF count as given up.
const std::u32string& reportText(std::uint8_t status, const ReportTexts& texts);

/// Replaces each line break (CR LF, CR or LF) by one blank, and each TAB and code 0 by one
/// blank, so that the text can stand in one field of a record and one line of a file.
std::u32string flattenText(std::u32string_view text);

/// The record for a decoded PDU. A status report gets the text
/// "Отчет о доставке: " + report text + " " + number and the report's TP-SCTS as time stamp;
/// a stored outgoing message has no time stamp. An empty text is a valid record.
MessageRecord messageRecord(const DecodedPdu& pdu, const ReportTexts& texts);

/// The record as one text: part marker, time stamp, field mark, number, field mark, text.
std::u32string recordText(const MessageRecord& record);

}  // namespace telvane::codec
