#include <QtEndian>
#include <algorithm>
#include <cstring>
#include <map>

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
    QByteArray& raw() { return m_bytes; }
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

class Stream {
public:
    void record(std::uint16_t type, const QByteArray& data) {
        m_out.u16(type);
        m_out.u16(static_cast<std::uint16_t>(data.size()));
        m_out.bytes(data);
    }
    qsizetype position() const { return m_out.size(); }
    QByteArray take() const { return m_out.data(); }
    void patch32(qsizetype at, std::uint32_t v) {
        qToLittleEndian<std::uint32_t>(v, m_out.raw().data() + at);
    }

private:
    Out m_out;
};

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

// Shared strings: one SST record continued in CONTINUE records, plus the EXTSST index. A string's
// header is never split; its characters may continue in the next record behind a new flags byte.
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

    void write(Stream& stream) const {
        constexpr qsizetype kMaxData = 8224;
        const std::uint32_t bucketSize =
            std::max<std::uint32_t>(8, static_cast<std::uint32_t>((m_strings.size() + 127) / 128));
        struct Bucket {
            std::uint32_t streamPos;
            std::uint16_t recordOffset;
        };
        std::vector<Bucket> buckets;

        std::vector<QByteArray> records;
        QByteArray current;
        {
            Out head;
            head.u32(m_total);
            head.u32(static_cast<std::uint32_t>(m_strings.size()));
            current = head.data();
        }
        qsizetype recordStart = stream.position();
        auto flush = [&] {
            records.push_back(current);
            recordStart += 4 + current.size();
            current.clear();
        };
        for (std::size_t i = 0; i < m_strings.size(); ++i) {
            const QString& s = m_strings[i];
            const bool high = !fitsLatin1(s);
            const qsizetype charSize = high ? 2 : 1;
            if (current.size() + 3 + charSize > kMaxData) {
                flush();
            }
            if (i % bucketSize == 0) {
                buckets.push_back({static_cast<std::uint32_t>(recordStart + 4 + current.size()),
                                   static_cast<std::uint16_t>(4 + current.size())});
            }
            Out h;
            h.u16(static_cast<std::uint16_t>(s.size()));
            h.u8(high ? 1 : 0);
            current.append(h.data());
            qsizetype done = 0;
            while (done < s.size()) {
                qsizetype room = (kMaxData - current.size()) / charSize;
                if (room == 0) {
                    flush();
                    current.append(static_cast<char>(high ? 1 : 0));
                    continue;
                }
                const qsizetype n = std::min(room, s.size() - done);
                Out c;
                appendChars(c, s.mid(done, n), high);
                current.append(c.data());
                done += n;
            }
        }
        records.push_back(current);

        for (std::size_t r = 0; r < records.size(); ++r) {
            stream.record(r == 0 ? biff::kSst : biff::kContinue, records[r]);
        }
        Out ext;
        ext.u16(static_cast<std::uint16_t>(bucketSize));
        for (const Bucket& b : buckets) {
            ext.u32(b.streamPos);
            ext.u16(b.recordOffset);
            ext.u16(0);
        }
        stream.record(biff::kExtSst, ext.data());
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

void writeSheet(Stream& stream, const Sheet& sheet, bool messageSheet, bool selected,
                SharedStrings& strings) {
    stream.record(biff::kBof, bof(0x0010));
    {
        Out o;
        o.u16(8);
        stream.record(biff::kDefColWidth, o.data());
    }
    if (messageSheet) {
        for (std::uint16_t c = 0; c < 4; ++c) {
            Out o;
            o.u16(c);
            o.u16(c);
            o.u16(static_cast<std::uint16_t>(kColumnWidthChars[c] * 256));
            o.u16(kColumnXf);
            o.u16(0);
            o.u16(0);
            stream.record(biff::kColInfo, o.data());
        }
    }
    {
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
        stream.record(biff::kDimensions, o.data());
    }
    // One ROW record ahead of each row's cells keeps the layout that every reader accepts.
    auto it = sheet.cells.begin();
    while (it != sheet.cells.end()) {
        const std::uint32_t row = it->first.row;
        auto end = it;
        std::uint16_t firstColumn = it->first.column;
        std::uint16_t lastColumn = firstColumn;
        while (end != sheet.cells.end() && end->first.row == row) {
            lastColumn = end->first.column;
            ++end;
        }
        Out r;
        r.u16(static_cast<std::uint16_t>(row));
        r.u16(firstColumn);
        r.u16(static_cast<std::uint16_t>(lastColumn + 1));
        r.u16(0x00FF);  // default height
        r.u16(0);
        r.u16(0);
        r.u16(0x0100);
        r.u16(kDefaultXf);
        stream.record(biff::kRow, r.data());
        for (; it != end; ++it) {
            const CellRef& ref = it->first;
            const Cell& cell = it->second;
            Out o;
            o.u16(static_cast<std::uint16_t>(ref.row));
            o.u16(ref.column);
            o.u16(xfFor(messageSheet, ref));
            switch (cell.kind) {
                case Cell::Kind::Number:
                    o.f64(cell.number);
                    stream.record(biff::kNumber, o.data());
                    break;
                case Cell::Kind::Boolean:
                    o.u8(cell.number != 0.0 ? 1 : 0);
                    o.u8(0);
                    stream.record(biff::kBoolErr, o.data());
                    break;
                case Cell::Kind::Text:
                    o.u32(strings.indexOf(cell.text));
                    stream.record(biff::kLabelSst, o.data());
                    break;
            }
        }
    }
    {
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
        stream.record(biff::kWindow2, o.data());
    }
    {
        Out o;
        o.u8(3);  // the only pane of an unsplit window
        o.u16(static_cast<std::uint16_t>(sheet.activeCell.row));
        o.u16(sheet.activeCell.column);
        o.u16(0);
        o.u16(1);
        o.u16(static_cast<std::uint16_t>(sheet.activeCell.row));
        o.u16(static_cast<std::uint16_t>(sheet.activeCell.row));
        o.u8(static_cast<std::uint8_t>(sheet.activeCell.column));
        o.u8(static_cast<std::uint8_t>(sheet.activeCell.column));
        stream.record(biff::kSelection, o.data());
    }
    stream.record(biff::kEof, {});
}

}  // namespace

QByteArray writeBiff8(const Workbook& workbook) {
    // The sheets are written first so that the shared strings are known; the globals, which hold
    // the strings and the sheets' offsets, are then put in front.
    SharedStrings strings;
    std::vector<QByteArray> sheets;
    for (std::size_t i = 0; i < workbook.sheets.size(); ++i) {
        Stream s;
        writeSheet(s, workbook.sheets[i], i == 0, i == 0, strings);
        sheets.push_back(s.take());
    }

    Stream g;
    g.record(biff::kBof, bof(0x0005));
    {
        Out o;
        o.u16(1200);  // UTF-16
        g.record(biff::kCodePage, o.data());
    }
    {
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
        g.record(biff::kWindow1, o.data());
    }
    {
        Out o;
        o.u16(0);  // 1900 date system
        g.record(biff::kDateMode, o.data());
    }
    for (int i = 0; i < 4; ++i) {
        g.record(biff::kFont, font(false));
    }
    g.record(biff::kFont, font(true));
    g.record(biff::kXf, xf({0, true, 0, 0, 0, 0x00}));
    for (int i = 1; i < 15; ++i) {
        g.record(biff::kXf, xf({0, true, 0, 0, 0, 0xF4}));
    }
    g.record(biff::kXf, xf({0, false, 0, 0, 0, 0x00}));
    // Cell XFs flag the attributes they set themselves: font 0x08, alignment 0x10, border 0x20.
    g.record(biff::kXf, xf({0, false, 1, kThin, 0, 0x30}));
    g.record(biff::kXf, xf({kBoldFont, false, 1, kThick, kThick, 0x38}));
    {
        Out o;
        o.u16(0x8000);  // built-in style "Normal" on XF 0
        o.u8(0);
        o.u8(0xFF);
        g.record(biff::kStyle, o.data());
    }
    std::vector<qsizetype> offsetFields;
    for (const Sheet& sheet : workbook.sheets) {
        Out o;
        offsetFields.push_back(g.position() + 4);
        o.u32(0);
        o.u8(0);  // visible
        o.u8(0);  // worksheet
        o.bytes(shortString(sheet.name));
        g.record(biff::kBoundSheet, o.data());
    }
    strings.write(g);
    g.record(biff::kEof, {});

    qsizetype offset = g.position();
    for (std::size_t i = 0; i < sheets.size(); ++i) {
        g.patch32(offsetFields[i], static_cast<std::uint32_t>(offset));
        offset += sheets[i].size();
    }
    QByteArray result = g.take();
    for (const QByteArray& s : sheets) {
        result.append(s);
    }
    if (result.size() < kMinStreamSize) {
        result.append(QByteArray(kMinStreamSize - result.size(), '\0'));
    }
    return result;
}

}  // namespace telvane::office
