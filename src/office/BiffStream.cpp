#include "office/BiffStream.h"

#include <algorithm>

#include "office/BiffRecords.h"

namespace telvane::office::biff {

void fail(QString what, std::size_t offset) { throw Failure{{std::move(what), offset}}; }

void need(const Record& r, std::size_t size, const char* what) {
    if (r.data.size() < size) {
        fail(QStringLiteral("%1 record is %2 bytes, needs %3")
                 .arg(QLatin1String(what))
                 .arg(r.data.size())
                 .arg(size),
             r.offset);
    }
}

std::vector<Record> substream(Bytes stream, std::size_t start) {
    std::vector<Record> records;
    std::size_t at = start;
    int depth = 0;
    std::size_t nestedStart = 0;
    while (true) {
        if (at + 4 > stream.size()) {
            fail(QStringLiteral("substream ends without an EOF record"), at);
        }
        const std::uint16_t type = le16(stream, at);
        const std::uint16_t size = le16(stream, at + 2);
        if (at + 4 + size > stream.size()) {
            fail(QStringLiteral("record 0x%1 runs past the end of the stream")
                     .arg(type, 4, 16, QLatin1Char('0')),
                 at);
        }
        const Record r{type, at, stream.subspan(at + 4, size), at + 4 + size, false};
        at = r.end;
        if (type == kBof && ++depth == 2) {
            nestedStart = records.size();
            records.push_back(r);
            records.back().nested = true;
            continue;
        }
        if (depth == 1) {
            records.push_back(r);
        } else if (depth == 2 && type == kEof) {
            records[nestedStart].end = at;
        }
        if (type == kEof && --depth == 0) {
            return records;
        }
    }
}

ContinuedReader::ContinuedReader(const std::vector<Record>& records, std::size_t first,
                                 std::size_t skip)
    : m_pos(skip) {
    m_parts.push_back(records[first]);
    for (std::size_t i = first + 1; i < records.size() && records[i].type == kContinue; ++i) {
        m_parts.push_back(records[i]);
    }
}

std::uint8_t ContinuedReader::u8() {
    settle();
    return current().data[m_pos++];
}

std::uint16_t ContinuedReader::u16() {
    const std::uint8_t lo = u8();
    return static_cast<std::uint16_t>(lo | (u8() << 8));
}

std::uint32_t ContinuedReader::u32() {
    const std::uint16_t lo = u16();
    return lo | (static_cast<std::uint32_t>(u16()) << 16);
}

void ContinuedReader::skip(std::size_t n) {
    while (n > 0) {
        settle();
        const std::size_t step = std::min(n, current().data.size() - m_pos);
        m_pos += step;
        n -= step;
    }
}

ContinuedReader::String ContinuedReader::string(bool countIs16Bit) {
    const std::size_t count = countIs16Bit ? u16() : u8();
    const std::uint8_t flags = u8();
    bool high = (flags & 0x01) != 0;
    const std::uint16_t runs = (flags & 0x08) != 0 ? u16() : 0;
    const std::uint32_t extSize = (flags & 0x04) != 0 ? u32() : 0;
    QString text;
    text.reserve(static_cast<qsizetype>(count));
    for (std::size_t i = 0; i < count; ++i) {
        if (m_pos >= current().data.size()) {
            nextPart();
            high = (u8() & 0x01) != 0;
        }
        text.append(QChar(high ? u16() : u8()));
    }
    skip(std::size_t{4} * runs);
    skip(extSize);
    return {std::move(text), runs == 0 && extSize == 0};
}

void ContinuedReader::settle() {
    while (m_pos >= current().data.size()) {
        nextPart();
    }
}

void ContinuedReader::nextPart() {
    if (m_part + 1 >= m_parts.size()) {
        fail(QStringLiteral("data runs past its last CONTINUE record"), offset());
    }
    ++m_part;
    m_pos = 0;
}

}  // namespace telvane::office::biff
