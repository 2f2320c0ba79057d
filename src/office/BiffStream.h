#pragma once
// The record layer of a BIFF8 workbook stream, shared by the reader and the appender: records
// of one substream, and data that a record continues in CONTINUE records.

#include <QString>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "office/Biff8.h"

namespace telvane::office::biff {

using Bytes = std::span<const std::uint8_t>;

inline std::uint16_t le16(Bytes d, std::size_t at) {
    return static_cast<std::uint16_t>(d[at] | (d[at + 1] << 8));
}
inline std::uint32_t le32(Bytes d, std::size_t at) {
    return static_cast<std::uint32_t>(le16(d, at)) |
           (static_cast<std::uint32_t>(le16(d, at + 2)) << 16);
}

struct Record {
    std::uint16_t type = 0;
    std::size_t offset = 0;  ///< of the record header in the stream
    Bytes data;              ///< the record's data (of a nested substream: its BOF's)
    std::size_t end = 0;     ///< offset behind the record, or behind the substream it opens
    bool nested = false;     ///< a BOF..EOF substream inside this one (an embedded chart)
};

/// Thrown by the functions here and caught where a stream is read as a whole.
struct Failure {
    BiffError error;
};
[[noreturn]] void fail(QString what, std::size_t offset);
void need(const Record& r, std::size_t size, const char* what);

/// The records of the substream whose BOF is at @p start, its EOF included; a nested substream
/// is one record with nested set.
std::vector<Record> substream(Bytes stream, std::size_t start);

/// Reads data that a record continues in CONTINUE records. Strings cut at a record boundary
/// resume behind a new flags byte that says whether the rest has 8- or 16-bit characters.
class ContinuedReader {
public:
    ContinuedReader(const std::vector<Record>& records, std::size_t first, std::size_t skip);

    std::uint8_t u8();
    std::uint16_t u16();
    std::uint32_t u32();
    void skip(std::size_t n);

    struct String {
        QString text;
        bool plain = true;  ///< no formatting runs and no phonetic data
    };
    /// XLUnicodeRichExtendedString (the shared-string form; LABEL and STRING use its subset).
    String string(bool countIs16Bit = true);

    /// Moves past the end of a record when nothing is left in it, so that offset() and
    /// recordOffset() name where the next value starts.
    void settle();
    std::size_t offset() const { return current().offset + 4 + m_pos; }
    std::size_t recordOffset() const { return current().offset; }
    /// Whether every byte of the record and its CONTINUE records has been read.
    bool atEnd() const { return m_part + 1 == m_parts.size() && m_pos >= current().data.size(); }

private:
    const Record& current() const { return m_parts[m_part]; }
    void nextPart();

    std::vector<Record> m_parts;
    std::size_t m_part = 0;
    std::size_t m_pos;
};

}  // namespace telvane::office::biff
