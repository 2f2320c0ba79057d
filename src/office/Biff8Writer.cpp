#include <QtEndian>
#include <algorithm>
#include <cstring>
#include <iterator>
#include <map>
#include <vector>

#include "office/Biff8.h"
#include "office/BiffRecords.h"

namespace telvane::office {
namespace {

// The message layout of the first sheet: header texts live in the cells, the rest is here.
constexpr std::uint16_t kColumnWidthChars[4] = {7, 18, 16, 150};

// Fonts 0-3 are the defaults every BIFF reader expects; index 4 does not exist in BIFF, so the
// fifth FONT record is font 5.
constexpr std::uint16_t kBoldFont = 5;

// XF 0-14 are the style XFs and XF 15 the default cell XF that Excel requires; ours follow.
constexpr std::uint16_t kDefaultXf = 15;
constexpr std::uint16_t kColumnXf = 16;  // left aligned, thin right border
constexpr std::uint16_t kHeaderXf = 17;  // bold, left aligned, thick right and bottom border

// Line styles of the XF border fields, and the palette's black.
constexpr std::uint32_t kThin = 1;
constexpr std::uint32_t kThick = 5;
constexpr std::uint32_t kBlack = 8;

// Some readers mishandle a workbook stream kept in the compound file's mini stream.
constexpr qsizetype kMinStreamSize = 4096;

class Out {
public:
    void u8(std::uint8_t v) { m_bytes.append(static_cast<char>(v)); }
    void u16(std::uint16_t v) {
        u8(v & 0xFF);
        u8(v >> 8);
    }
    void u32(std::uint32_t v) {
        u16(v & 0xFFFF);
        u16(v >> 16);
    }
    void f64(double v) {
        std::uint64_t bits;
        std::memcpy(&bits, &v, sizeof bits);
        u32(static_cast<std::uint32_t>(bits));
        u32(static_cast<std::uint32_t>(bits >> 32));
    }
    void bytes(const QByteArray& b) { m_bytes.append(b); }
    const QByteArray& data() const { return m_bytes; }
    qsizetype size() const { return m_bytes.size(); }

private:
    QByteArray m_bytes;
};

bool fitsLatin1(const QString& text) {
    return std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() < 0x100; });
}

void appendChars(Out& out, const QString& text, bool highBytes) {
    for (QChar c : text) {
        if (highBytes) {
            out.u16(c.unicode());
        } else {
            out.u8(static_cast<std::uint8_t>(c.unicode()));
        }
    }
}

// ShortXLUnicodeString: 8-bit count, flags, characters.
QByteArray shortString(const QString& text) {
    Out out;
    const bool high = !fitsLatin1(text);
    out.u8(static_cast<std::uint8_t>(text.size()));
    out.u8(high ? 1 : 0);
    appendChars(out, text, high);
    return out.data();
}

QByteArray record(std::uint16_t type, const QByteArray& data) {
    Out out;
    out.u16(type);
    out.u16(static_cast<std::uint16_t>(data.size()));
    out.bytes(data);
    return out.data();
}

QByteArray u16Data(std::uint16_t v) {
    Out o;
    o.u16(v);
    return o.data();
}

QByteArray bof(std::uint16_t kind) {
    Out o;
    o.u16(0x0600);  // BIFF8
    o.u16(kind);
    o.u16(0x0DBB);  // build and year of the Excel 97 that defined the format
    o.u16(0x07CC);
    o.u32(0);
    o.u32(0x06);  // lowest BIFF version that can read it
    return o.data();
}

QByteArray font(bool bold) {
    Out o;
    o.u16(200);                // 10 pt in twips
    o.u16(bold ? 0x0001 : 0);  // the old bold flag, which some readers still take over the weight
    o.u16(0x7FFF);             // automatic colour
    o.u16(bold ? 700 : 400);
    o.u16(0);
    o.u8(0);
    o.u8(0);
    o.u8(204);  // Cyrillic character set
    o.u8(0);
    o.bytes(shortString(QStringLiteral("Arial")));
    return o.data();
}

struct XfSpec {
    std::uint16_t font = 0;
    bool style = false;
    std::uint8_t horizontal = 0;  // 0 general, 1 left
    std::uint32_t right = 0;
    std::uint32_t bottom = 0;
    std::uint8_t used = 0;
};

QByteArray xf(const XfSpec& s) {
    Out o;
    o.u16(s.font);
    o.u16(0);                                              // number format: General
    o.u16(s.style ? 0xFFF5 : 0x0001);                      // locked; style XFs have no parent
    o.u8(static_cast<std::uint8_t>(0x20 | s.horizontal));  // bottom aligned vertically
    o.u8(0);
    o.u8(0);
    o.u8(s.used);
    std::uint32_t borders = (s.right << 4) | (s.bottom << 12);
    if (s.right != 0) {
        borders |= kBlack << 23;
    }
    o.u32(borders);
    o.u32(s.bottom != 0 ? (kBlack << 7) : 0);
    o.u16(0x40 | (0x41 << 7));  // pattern colours: system foreground and background
    return o.data();
}

// Where a bucket's first string starts: in which SST or CONTINUE record, at which byte of its data.
struct StringStart {
    std::size_t record = 0;
    qsizetype offset = 0;
};

struct SstData {
    std::vector<QByteArray> records;  // the data of the SST record, then of its CONTINUE records
    std::vector<StringStart> buckets;
};

constexpr qsizetype kMaxRecordData = 8224;

// A string's header is never split; its characters may continue in the next record behind a new
// flags byte.
void appendString(std::vector<QByteArray>& records, const QString& s) {
    const bool high = !fitsLatin1(s);
    const qsizetype charSize = high ? 2 : 1;
    Out header;
    header.u16(static_cast<std::uint16_t>(s.size()));
    header.u8(high ? 1 : 0);
    records.back().append(header.data());
    qsizetype done = 0;
    while (done < s.size()) {
        const qsizetype room = (kMaxRecordData - records.back().size()) / charSize;
        if (room == 0) {
            records.emplace_back(1, static_cast<char>(high ? 1 : 0));
            continue;
        }
        const qsizetype n = std::min(room, s.size() - done);
        Out chars;
        appendChars(chars, s.mid(done, n), high);
        records.back().append(chars.data());
        done += n;
    }
}

SstData sstData(std::uint32_t total, const std::vector<QString>& strings,
                std::uint32_t bucketSize) {
    SstData out;
    Out head;
    head.u32(total);
    head.u32(static_cast<std::uint32_t>(strings.size()));
    out.records.push_back(head.data());
    for (std::size_t i = 0; i < strings.size(); ++i) {
        const qsizetype charSize = fitsLatin1(strings[i]) ? 1 : 2;
        if (out.records.back().size() + 3 + charSize > kMaxRecordData) out.records.emplace_back();
        if (i % bucketSize == 0) {
            out.buckets.push_back({out.records.size() - 1, out.records.back().size()});
        }
        appendString(out.records, strings[i]);
    }
    return out;
}

// EXTSST: where every bucket's first string starts, in the stream and in its record, for SST
// records that start at @p at in the stream.
QByteArray extSst(std::uint32_t bucketSize, const SstData& sst, qsizetype at) {
    std::vector<qsizetype> recordStarts;
    for (const QByteArray& data : sst.records) {
        recordStarts.push_back(at);
        at += 4 + data.size();
    }
    Out ext;
    ext.u16(static_cast<std::uint16_t>(bucketSize));
    for (const StringStart& b : sst.buckets) {
        ext.u32(static_cast<std::uint32_t>(recordStarts[b.record] + 4 + b.offset));
        ext.u16(static_cast<std::uint16_t>(4 + b.offset));
        ext.u16(0);
    }
    return ext.data();
}

// Shared strings: one SST record continued in CONTINUE records, plus the EXTSST index.
class SharedStrings {
public:
    std::uint32_t indexOf(const QString& text) {
        ++m_total;
        auto [it, inserted] =
            m_index.try_emplace(text, static_cast<std::uint32_t>(m_strings.size()));
        if (inserted) {
            m_strings.push_back(text);
        }
        return it->second;
    }

    // The records, for a stream in which they start at @p at.
    QByteArray records(qsizetype at) const {
        const std::uint32_t bucketSize =
            std::max<std::uint32_t>(8, static_cast<std::uint32_t>((m_strings.size() + 127) / 128));
        const SstData sst = sstData(m_total, m_strings, bucketSize);
        QByteArray out;
        for (std::size_t r = 0; r < sst.records.size(); ++r) {
            out += record(r == 0 ? biff::kSst : biff::kContinue, sst.records[r]);
        }
        return out + record(biff::kExtSst, extSst(bucketSize, sst, at));
    }

private:
    std::vector<QString> m_strings;
    std::map<QString, std::uint32_t> m_index;
    std::uint32_t m_total = 0;
};

std::uint16_t xfFor(bool messageSheet, const CellRef& ref) {
    if (!messageSheet || ref.column >= 4) {
        return kDefaultXf;
    }
    return ref.row == 0 ? kHeaderXf : kColumnXf;
}

QByteArray columnInfos() {
    QByteArray out;
    for (std::uint16_t c = 0; c < 4; ++c) {
        Out o;
        o.u16(c);
        o.u16(c);
        o.u16(static_cast<std::uint16_t>(kColumnWidthChars[c] * 256));
        o.u16(kColumnXf);
        o.u16(0);
        o.u16(0);
        out += record(biff::kColInfo, o.data());
    }
    return out;
}

QByteArray dimensions(const Sheet& sheet) {
    std::uint32_t lastRow = 0;
    std::uint16_t lastColumn = 0;
    for (const auto& [ref, cell] : sheet.cells) {
        lastRow = std::max(lastRow, ref.row + 1);
        lastColumn = std::max<std::uint16_t>(lastColumn, ref.column + 1);
    }
    Out o;
    o.u32(0);
    o.u32(lastRow);
    o.u16(0);
    o.u16(lastColumn);
    o.u16(0);
    return record(biff::kDimensions, o.data());
}

QByteArray rowRecord(std::uint32_t row, std::uint16_t firstColumn, std::uint16_t lastColumn) {
    Out r;
    r.u16(static_cast<std::uint16_t>(row));
    r.u16(firstColumn);
    r.u16(static_cast<std::uint16_t>(lastColumn + 1));
    r.u16(0x00FF);  // default height
    r.u16(0);
    r.u16(0);
    r.u16(0x0100);
    r.u16(kDefaultXf);
    return record(biff::kRow, r.data());
}

QByteArray cellRecord(const CellRef& ref, const Cell& cell, std::uint16_t xf,
                      SharedStrings& strings) {
    Out o;
    o.u16(static_cast<std::uint16_t>(ref.row));
    o.u16(ref.column);
    o.u16(xf);
    switch (cell.kind) {
        case Cell::Kind::Number:
            o.f64(cell.number);
            return record(biff::kNumber, o.data());
        case Cell::Kind::Boolean:
            o.u8(cell.number != 0.0 ? 1 : 0);
            o.u8(0);
            return record(biff::kBoolErr, o.data());
        case Cell::Kind::Text:
            o.u32(strings.indexOf(cell.text));
            return record(biff::kLabelSst, o.data());
    }
    return {};
}

// One ROW record ahead of each row's cells keeps the layout that every reader accepts.
QByteArray cellTable(const Sheet& sheet, bool messageSheet, SharedStrings& strings) {
    QByteArray out;
    auto it = sheet.cells.begin();
    while (it != sheet.cells.end()) {
        const std::uint32_t row = it->first.row;
        const auto end = std::find_if(it, sheet.cells.end(),
                                      [row](const auto& cell) { return cell.first.row != row; });
        out += rowRecord(row, it->first.column, std::prev(end)->first.column);
        for (; it != end; ++it) {
            out += cellRecord(it->first, it->second, xfFor(messageSheet, it->first), strings);
        }
    }
    return out;
}

QByteArray window2(const Sheet& sheet, bool selected) {
    Out o;
    // grid, headers, zeros, default grid colour, outline symbols, page view flags
    std::uint16_t flags = 0x0002 | 0x0004 | 0x0010 | 0x0020 | 0x0080;
    if (selected) {
        flags |= 0x0200 | 0x0400;
    }
    o.u16(flags);
    o.u16(static_cast<std::uint16_t>(sheet.topRow));
    o.u16(sheet.leftColumn);
    o.u16(0x40);
    o.u16(0);
    o.u16(0);
    o.u16(0);
    o.u32(0);
    return record(biff::kWindow2, o.data());
}

QByteArray selection(const CellRef& active) {
    Out o;
    o.u8(3);  // the only pane of an unsplit window
    o.u16(static_cast<std::uint16_t>(active.row));
    o.u16(active.column);
    o.u16(0);
    o.u16(1);
    o.u16(static_cast<std::uint16_t>(active.row));
    o.u16(static_cast<std::uint16_t>(active.row));
    o.u8(static_cast<std::uint8_t>(active.column));
    o.u8(static_cast<std::uint8_t>(active.column));
    return record(biff::kSelection, o.data());
}

QByteArray sheetStream(const Sheet& sheet, bool messageSheet, bool selected,
                       SharedStrings& strings) {
    QByteArray out = record(biff::kBof, bof(0x0010));
    out += record(biff::kDefColWidth, u16Data(8));
    if (messageSheet) {
        out += columnInfos();
    }
    out += dimensions(sheet);
    out += cellTable(sheet, messageSheet, strings);
    out += window2(sheet, selected);
    out += selection(sheet.activeCell);
    out += record(biff::kEof, {});
    return out;
}

QByteArray window1() {
    Out o;
    o.u16(0);
    o.u16(0);
    o.u16(0x4000);
    o.u16(0x2000);
    o.u16(0x0038);
    o.u16(0);  // first sheet active
    o.u16(0);
    o.u16(1);
    o.u16(0x0258);
    return record(biff::kWindow1, o.data());
}

QByteArray fontsAndFormats() {
    QByteArray out;
    for (int i = 0; i < 4; ++i) {
        out += record(biff::kFont, font(false));
    }
    out += record(biff::kFont, font(true));
    out += record(biff::kXf, xf({0, true, 0, 0, 0, 0x00}));
    for (int i = 1; i < 15; ++i) {
        out += record(biff::kXf, xf({0, true, 0, 0, 0, 0xF4}));
    }
    out += record(biff::kXf, xf({0, false, 0, 0, 0, 0x00}));
    // Cell XFs flag the attributes they set themselves: font 0x08, alignment 0x10, border 0x20.
    out += record(biff::kXf, xf({0, false, 1, kThin, 0, 0x30}));
    out += record(biff::kXf, xf({kBoldFont, false, 1, kThick, kThick, 0x38}));
    Out style;
    style.u16(0x8000);  // built-in style "Normal" on XF 0
    style.u8(0);
    style.u8(0xFF);
    return out + record(biff::kStyle, style.data());
}

QByteArray boundSheet(const QString& name) {
    Out o;
    o.u32(0);  // where the sheet starts, filled in once the globals are complete
    o.u8(0);   // visible
    o.u8(0);   // worksheet
    o.bytes(shortString(name));
    return record(biff::kBoundSheet, o.data());
}

// The globals: the book's settings, fonts and formats, a BOUNDSHEET pointing at each sheet as
// it will lie behind the globals, and the shared strings.
QByteArray globals(const Workbook& workbook, const SharedStrings& strings,
                   const std::vector<QByteArray>& sheets) {
    QByteArray out = record(biff::kBof, bof(0x0005));
    out += record(biff::kCodePage, u16Data(1200));  // UTF-16
    out += window1();
    out += record(biff::kDateMode, u16Data(0));  // 1900 date system
    out += fontsAndFormats();
    std::vector<qsizetype> offsetFields;
    for (const Sheet& sheet : workbook.sheets) {
        offsetFields.push_back(out.size() + 4);
        out += boundSheet(sheet.name);
    }
    out += strings.records(out.size());
    out += record(biff::kEof, {});
    qsizetype offset = out.size();
    for (std::size_t i = 0; i < sheets.size(); ++i) {
        qToLittleEndian<std::uint32_t>(static_cast<std::uint32_t>(offset),
                                       out.data() + offsetFields[i]);
        offset += sheets[i].size();
    }
    return out;
}

}  // namespace

QByteArray writeBiff8(const Workbook& workbook) {
    // The sheets are written first so that the shared strings are known; the globals, which hold
    // the strings and the sheets' offsets, are then put in front.
    SharedStrings strings;
    std::vector<QByteArray> sheets;
    for (std::size_t i = 0; i < workbook.sheets.size(); ++i) {
        sheets.push_back(sheetStream(workbook.sheets[i], i == 0, i == 0, strings));
    }
    QByteArray result = globals(workbook, strings, sheets);
    for (const QByteArray& s : sheets) {
        result.append(s);
    }
    if (result.size() < kMinStreamSize) {
        result.append(QByteArray(kMinStreamSize - result.size(), '\0'));
    }
    return result;
}

}  // namespace telvane::office
