// Appending a row to a workbook that someone else may have saved: the stream is taken apart
// into its records, a few of them are changed or added, and it is put together again with the
// offsets that point into it moved along.

#include <QtEndian>
#include <algorithm>
#include <cstring>
#include <map>
#include <set>

#include "office/Biff8.h"
#include "office/BiffRecords.h"
#include "office/BiffStream.h"

namespace telvane::office {
namespace {

using biff::Bytes;
using biff::fail;
using biff::le16;
using biff::le32;
using biff::need;
using biff::Record;

struct Refusal {
    QString what;
};
[[noreturn]] void refuse(QString what) { throw Refusal{std::move(what)}; }

// Largest data of one record; longer data goes on in CONTINUE records.
constexpr std::size_t kMaxRecordData = 8224;
constexpr std::uint16_t kDefaultXf = 15;
constexpr std::uint16_t kWorksheet = 0x0010;
// Some readers mishandle a workbook stream kept in the compound file's mini stream.
constexpr qsizetype kMinStreamSize = 4096;

void put16(QByteArray& b, std::uint16_t v) {
    b.append(static_cast<char>(v & 0xFF)).append(static_cast<char>(v >> 8));
}
void put32(QByteArray& b, std::uint32_t v) {
    put16(b, v & 0xFFFF);
    put16(b, v >> 16);
}
void set16(QByteArray& b, qsizetype at, std::uint16_t v) {
    qToLittleEndian<std::uint16_t>(v, b.data() + at);
}
void set32(QByteArray& b, qsizetype at, std::uint32_t v) {
    qToLittleEndian<std::uint32_t>(v, b.data() + at);
}

QByteArray bytesOf(Bytes stream, std::size_t from, std::size_t to) {
    return QByteArray(reinterpret_cast<const char*>(stream.data() + from),
                      static_cast<qsizetype>(to - from));
}
QByteArray rawRecord(Bytes stream, const Record& r) { return bytesOf(stream, r.offset, r.end); }
QByteArray record(std::uint16_t type, const QByteArray& data) {
    QByteArray out;
    put16(out, type);
    put16(out, static_cast<std::uint16_t>(data.size()));
    return out + data;
}
// The data of a record as raw bytes, to be changed and written back with record().
QByteArray dataOf(const Record& r) {
    return QByteArray(reinterpret_cast<const char*>(r.data.data()),
                      static_cast<qsizetype>(r.data.size()));
}

bool isCellStart(std::uint16_t type) {
    using namespace biff;
    switch (type) {
        case kBlank:
        case kMulBlank:
        case kNumber:
        case kRk:
        case kMulRk:
        case kLabel:
        case kLabelSst:
        case kRString:
        case kBoolErr:
        case kFormula:
            return true;
        default:
            return false;
    }
}
// Records that belong to the cell record before them: a formula's string result, its shared,
// array or table formula, and the continuation of any of them.
bool isCellTail(std::uint16_t type) {
    using namespace biff;
    return type == kString || type == kShrFmla || type == kArray || type == kTable ||
           type == kContinue;
}
bool inCellTable(std::uint16_t type) {
    return isCellStart(type) || isCellTail(type) || type == biff::kRow || type == biff::kDbCell ||
           type == biff::kEntExU2;
}

bool fitsLatin1(const QString& text) {
    return std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() < 0x100; });
}

// ---- shared strings ----

class SharedStrings {
public:
    // The SST record and its CONTINUE records, from globals[first].
    SharedStrings(const std::vector<Record>& globals, std::optional<std::size_t> first) {
        if (!first) {
            m_parts.push_back(QByteArray(8, '\0'));
            return;
        }
        biff::ContinuedReader in(globals, *first, 0);
        m_total = in.u32();
        const std::uint32_t unique = in.u32();
        for (std::uint32_t k = 0; k < unique; ++k) {
            const auto s = in.string();
            if (s.plain) m_index.try_emplace(s.text, k);
        }
        if (!in.atEnd()) {
            refuse(QStringLiteral("its shared-string table holds more than its strings"));
        }
        m_unique = unique;
        for (std::size_t i = *first; i < globals.size(); ++i) {
            if (i > *first && globals[i].type != biff::kContinue) break;
            m_parts.push_back(dataOf(globals[i]));
        }
    }

    std::uint32_t indexOf(const QString& text) {
        ++m_total;
        auto [it, added] = m_index.try_emplace(text, m_unique);
        if (added) {
            ++m_unique;
            append(text);
        }
        return it->second;
    }

    std::uint32_t unique() const { return m_unique; }

    QByteArray records() {
        set32(m_parts.front(), 0, m_total);
        set32(m_parts.front(), 4, m_unique);
        QByteArray out;
        for (std::size_t i = 0; i < m_parts.size(); ++i) {
            out += record(i == 0 ? biff::kSst : biff::kContinue, m_parts[i]);
        }
        return out;
    }

private:
    // A string's header is never split; its characters may go on in the next record behind a
    // new flags byte.
    void append(const QString& s) {
        const bool high = !fitsLatin1(s);
        const qsizetype charSize = high ? 2 : 1;
        if (static_cast<std::size_t>(m_parts.back().size() + 3 + charSize) > kMaxRecordData) {
            m_parts.emplace_back();
        }
        put16(m_parts.back(), static_cast<std::uint16_t>(s.size()));
        m_parts.back().append(static_cast<char>(high ? 1 : 0));
        for (QChar c : s) {
            if (static_cast<std::size_t>(m_parts.back().size() + charSize) > kMaxRecordData) {
                m_parts.emplace_back(1, static_cast<char>(high ? 1 : 0));
            }
            if (high) {
                put16(m_parts.back(), c.unicode());
            } else {
                m_parts.back().append(static_cast<char>(c.unicode()));
            }
        }
    }

    std::vector<QByteArray> m_parts;
    std::map<QString, std::uint32_t> m_index;
    std::uint32_t m_total = 0;
    std::uint32_t m_unique = 0;
};

std::uint16_t extSstBucket(std::uint32_t unique) {
    return static_cast<std::uint16_t>(std::max<std::uint32_t>(8, (unique + 127) / 128));
}

// EXTSST: where every bucket's first string starts, in the stream and in its record.
void fillExtSst(QByteArray& stream, qsizetype extSstData) {
    const Bytes bytes(reinterpret_cast<const std::uint8_t*>(stream.constData()),
                      static_cast<std::size_t>(stream.size()));
    const std::vector<Record> globals = biff::substream(bytes, 0);
    const auto sst = std::find_if(globals.begin(), globals.end(),
                                  [](const Record& r) { return r.type == biff::kSst; });
    biff::ContinuedReader in(globals, static_cast<std::size_t>(sst - globals.begin()), 4);
    const std::uint32_t unique = in.u32();
    const std::uint16_t bucket = extSstBucket(unique);
    set16(stream, extSstData, bucket);
    qsizetype at = extSstData + 2;
    for (std::uint32_t k = 0; k < unique; ++k) {
        if (k % bucket == 0) {
            in.settle();
            set32(stream, at, static_cast<std::uint32_t>(in.offset()));
            set16(stream, at + 4, static_cast<std::uint16_t>(in.offset() - in.recordOffset()));
            set16(stream, at + 6, 0);
            at += 8;
        }
        in.string();
    }
}

// ---- the cell table of the sheet that takes the row ----

struct CellUnit {
    std::uint32_t row = 0;
    std::uint16_t column = 0;
    std::uint16_t type = 0;
    QByteArray bytes;  // the cell record and its tail
};

struct CellTable {
    std::map<std::uint32_t, QByteArray> rows;  // ROW records
    std::vector<CellUnit> cells;
    QByteArray trailer;  // EntExU2 records
    bool indexed = false;
};

CellTable readCellTable(Bytes stream, const std::vector<Record>& records, std::size_t from,
                        std::size_t to) {
    CellTable table;
    for (std::size_t i = from; i < to; ++i) {
        const Record& r = records[i];
        if (r.type == biff::kRow) {
            need(r, 16, "ROW");
            table.rows[le16(r.data, 0)] = rawRecord(stream, r);
        } else if (r.type == biff::kDbCell) {
            table.indexed = true;
        } else if (r.type == biff::kEntExU2) {
            table.trailer += rawRecord(stream, r);
        } else if (isCellStart(r.type)) {
            need(r, 4, "cell");
            table.cells.push_back({le16(r.data, 0), le16(r.data, 2), r.type, rawRecord(stream, r)});
        } else if (table.cells.empty()) {
            fail(QStringLiteral("record 0x%1 belongs to no cell").arg(r.type, 4, 16, QChar('0')),
                 r.offset);
        } else {
            table.cells.back().bytes += rawRecord(stream, r);
        }
    }
    return table;
}

// Blanks carry a format only; where the new row's cells go they give way, leaving their format
// to the new cell. A MULBLANK is split around the columns taken.
std::map<std::uint16_t, std::uint16_t> takeBlanks(CellTable& table, std::uint32_t row,
                                                  std::uint16_t columns) {
    std::map<std::uint16_t, std::uint16_t> formats;
    std::vector<CellUnit> kept;
    for (CellUnit& unit : table.cells) {
        if (unit.row != row) {
            kept.push_back(std::move(unit));
            continue;
        }
        const Bytes d(reinterpret_cast<const std::uint8_t*>(unit.bytes.constData()) + 4,
                      static_cast<std::size_t>(unit.bytes.size() - 4));
        if (unit.type == biff::kBlank && d.size() >= 6) {
            if (unit.column < columns) {
                formats[unit.column] = le16(d, 4);
                continue;
            }
        } else if (unit.type == biff::kMulBlank && d.size() >= 6) {
            const std::uint16_t first = le16(d, 2);
            const std::size_t count = (d.size() - 6) / 2;
            std::vector<std::pair<std::uint16_t, std::uint16_t>> run;  // column, format
            const auto flush = [&] {
                if (run.empty()) return;
                QByteArray data;
                put16(data, static_cast<std::uint16_t>(row));
                put16(data, run.front().first);
                for (const auto& [column, xf] : run) put16(data, xf);
                if (run.size() > 1) put16(data, run.back().first);
                kept.push_back({row, run.front().first,
                                run.size() > 1 ? biff::kMulBlank : biff::kBlank,
                                record(run.size() > 1 ? biff::kMulBlank : biff::kBlank, data)});
                run.clear();
            };
            for (std::size_t k = 0; k < count; ++k) {
                const auto column = static_cast<std::uint16_t>(first + k);
                const std::uint16_t xf = le16(d, 4 + 2 * k);
                if (column < columns) {
                    flush();
                    formats[column] = xf;
                } else {
                    run.emplace_back(column, xf);
                }
            }
            flush();
            continue;
        } else if (unit.column < columns) {
            refuse(QStringLiteral("row %1 already holds a value in column %2")
                       .arg(row + 1)
                       .arg(unit.column + 1));
        }
        kept.push_back(std::move(unit));
    }
    table.cells = std::move(kept);
    return formats;
}

struct Layout {
    QByteArray bytes;
    std::vector<std::size_t> dbCells;         // offsets in bytes
    std::uint32_t firstRow = 0, lastRow = 0;  // rows with cells; lastRow is one past
};

// Row blocks of 32 rows, as Excel lays them out: the block's ROW records, its cells, and a
// DBCELL that points back at both.
Layout layOut(CellTable& table) {
    Layout out;
    std::stable_sort(table.cells.begin(), table.cells.end(),
                     [](const CellUnit& a, const CellUnit& b) {
                         return std::tie(a.row, a.column) < std::tie(b.row, b.column);
                     });
    std::set<std::uint32_t> blocks;
    for (const auto& [row, bytes] : table.rows) blocks.insert(row / 32);
    for (const CellUnit& cell : table.cells) blocks.insert(cell.row / 32);
    if (!table.cells.empty()) {
        out.firstRow = table.cells.front().row;
        out.lastRow = table.cells.back().row + 1;
    }
    auto cell = table.cells.begin();
    for (const std::uint32_t block : blocks) {
        const std::size_t firstRowRecord = static_cast<std::size_t>(out.bytes.size());
        std::vector<std::uint32_t> rowsHere;
        for (auto it = table.rows.lower_bound(block * 32);
             it != table.rows.end() && it->first / 32 == block; ++it) {
            rowsHere.push_back(it->first);
            out.bytes += it->second;
        }
        std::map<std::uint32_t, std::size_t> firstCellOf;
        for (; cell != table.cells.end() && cell->row / 32 == block; ++cell) {
            firstCellOf.try_emplace(cell->row, static_cast<std::size_t>(out.bytes.size()));
            out.bytes += cell->bytes;
        }
        if (!table.indexed) continue;
        const auto here = static_cast<std::size_t>(out.bytes.size());
        QByteArray data;
        put32(data, rowsHere.empty() ? 0 : static_cast<std::uint32_t>(here - firstRowRecord));
        std::size_t from = firstRowRecord + 20;  // behind the first ROW record
        for (const std::uint32_t row : rowsHere) {
            const auto next = firstCellOf.lower_bound(row);
            const std::size_t at = next == firstCellOf.end() ? here : next->second;
            put16(data, static_cast<std::uint16_t>(std::min<std::size_t>(at - from, 0xFFFF)));
            from = at;
        }
        out.dbCells.push_back(here);
        out.bytes += record(biff::kDbCell, data);
    }
    out.bytes += table.trailer;
    return out;
}

QByteArray cellRecord(std::uint32_t row, std::uint16_t column, std::uint16_t xf, const Cell& cell,
                      SharedStrings& strings) {
    QByteArray data;
    put16(data, static_cast<std::uint16_t>(row));
    put16(data, column);
    put16(data, xf);
    switch (cell.kind) {
        case Cell::Kind::Number: {
            std::uint64_t bits;
            std::memcpy(&bits, &cell.number, sizeof bits);
            put32(data, static_cast<std::uint32_t>(bits));
            put32(data, static_cast<std::uint32_t>(bits >> 32));
            return record(biff::kNumber, data);
        }
        case Cell::Kind::Boolean:
            data.append(static_cast<char>(cell.number != 0.0 ? 1 : 0)).append('\0');
            return record(biff::kBoolErr, data);
        case Cell::Kind::Text:
            put32(data, strings.indexOf(cell.text));
            return record(biff::kLabelSst, data);
    }
    return {};
}

std::optional<std::uint16_t> columnFormat(const std::vector<Record>& records,
                                          std::uint16_t column) {
    for (const Record& r : records) {
        if (r.type == biff::kColInfo && r.data.size() >= 8 && le16(r.data, 0) <= column &&
            column <= le16(r.data, 2)) {
            return le16(r.data, 6);
        }
    }
    return std::nullopt;
}

void refuseMergedCells(const std::vector<Record>& records, const AppendedRow& row) {
    for (const Record& r : records) {
        if (r.type != biff::kMergedCells || r.data.size() < 2) continue;
        const std::size_t count = std::min<std::size_t>(le16(r.data, 0), (r.data.size() - 2) / 8);
        for (std::size_t k = 0; k < count; ++k) {
            const std::size_t at = 2 + 8 * k;
            if (le16(r.data, at) <= row.row && row.row <= le16(r.data, at + 2) &&
                le16(r.data, at + 4) < row.cells.size()) {
                refuse(QStringLiteral("merged cells cover row %1").arg(row.row + 1));
            }
        }
    }
}

QByteArray selection(std::uint8_t pane, const CellRef& at) {
    QByteArray data(1, static_cast<char>(pane));
    put16(data, static_cast<std::uint16_t>(at.row));
    put16(data, at.column);
    put16(data, 0);
    put16(data, 1);
    put16(data, static_cast<std::uint16_t>(at.row));
    put16(data, static_cast<std::uint16_t>(at.row));
    data.append(static_cast<char>(at.column)).append(static_cast<char>(at.column));
    return record(biff::kSelection, data);
}

// Moves the stream positions that an INDEX record at @p at holds (its DEFCOLWIDTH and DBCELL
// records) by @p delta; a zero stays, it points nowhere.
void shiftIndex(QByteArray& sheet, qsizetype at, std::int64_t delta) {
    const qsizetype count = (qFromLittleEndian<std::uint16_t>(sheet.constData() + at + 2) - 16) / 4;
    for (qsizetype k = -1; k < count; ++k) {
        const qsizetype field = at + 4 + 16 + 4 * k;
        const std::uint32_t old = qFromLittleEndian<std::uint32_t>(sheet.constData() + field);
        if (old != 0) set32(sheet, field, static_cast<std::uint32_t>(old + delta));
    }
}

struct LaidSheet {
    QByteArray bytes;
    qsizetype indexAt = -1;  // its INDEX record, whose positions count from the sheet's start
};

// The sheet that takes the row; every record of it but the cell table and the few that say
// where the cells and the view are goes through as it was.
LaidSheet appendToSheet(Bytes stream, const std::vector<Record>& records, const AppendedRow& row,
                        SharedStrings& strings) {
    refuseMergedCells(records, row);
    const auto first = std::find_if(records.begin(), records.end(), [](const Record& r) {
        return r.type == biff::kRow || r.type == biff::kDbCell || isCellStart(r.type);
    });
    std::size_t from = static_cast<std::size_t>(first - records.begin());
    std::size_t to = from;
    if (first == records.end()) {
        const auto dimensions = std::find_if(records.begin(), records.end(), [](const Record& r) {
            return r.type == biff::kDimensions;
        });
        if (dimensions == records.end()) refuse(QStringLiteral("its sheet has no DIMENSIONS"));
        from = to = static_cast<std::size_t>(dimensions - records.begin()) + 1;
    } else {
        while (to < records.size() && inCellTable(records[to].type)) ++to;
        for (std::size_t i = to; i < records.size(); ++i) {
            if (records[i].type == biff::kRow || isCellStart(records[i].type)) {
                refuse(QStringLiteral("its cells are interrupted by other records at offset %1")
                           .arg(records[i].offset));
            }
        }
    }
    CellTable table = readCellTable(stream, records, from, to);
    table.indexed =
        table.indexed || std::any_of(records.begin(), records.end(),
                                     [](const Record& r) { return r.type == biff::kIndex; });
    const auto columns = static_cast<std::uint16_t>(row.cells.size());
    const std::map<std::uint16_t, std::uint16_t> blankFormats = takeBlanks(table, row.row, columns);
    QByteArray& rowRecord = table.rows[row.row];
    std::optional<std::uint16_t> rowFormat;
    if (rowRecord.isEmpty()) {
        std::uint16_t height = 0x00FF;
        for (const Record& r : records) {
            if (r.type == biff::kDefaultRowHeight && r.data.size() >= 4) height = le16(r.data, 2);
        }
        QByteArray data;
        for (const std::uint16_t v :
             {std::uint16_t(row.row), std::uint16_t(0), columns, height, std::uint16_t(0),
              std::uint16_t(0), std::uint16_t(0x0100), kDefaultXf}) {
            put16(data, v);
        }
        rowRecord = record(biff::kRow, data);
    } else {
        // The flag 0x80 says that the row has a format of its own.
        if ((le16(Bytes(reinterpret_cast<const std::uint8_t*>(rowRecord.constData()), 20), 16) &
             0x80) != 0) {
            rowFormat = qFromLittleEndian<std::uint16_t>(rowRecord.constData() + 18) & 0x0FFF;
        }
        set16(rowRecord, 6, 0);
        set16(rowRecord, 8,
              std::max(columns, qFromLittleEndian<std::uint16_t>(rowRecord.constData() + 8)));
    }
    for (std::uint16_t c = 0; c < columns; ++c) {
        const auto blank = blankFormats.find(c);
        const std::uint16_t xf = blank != blankFormats.end() ? blank->second
                                 : rowFormat                 ? *rowFormat
                                             : columnFormat(records, c).value_or(kDefaultXf);
        table.cells.push_back({row.row, c, 0, cellRecord(row.row, c, xf, row.cells[c], strings)});
    }
    Layout cells = layOut(table);

    // The active pane: the only one of an unsplit window, else as PANE says.
    std::uint8_t pane = 3;
    for (const Record& r : records) {
        if (r.type == biff::kPane && r.data.size() >= 9) pane = r.data[8];
    }
    QByteArray out;
    qsizetype indexAt = -1, defColWidthAt = -1;
    bool selected = false;
    for (std::size_t i = 0; i < records.size(); ++i) {
        const Record& r = records[i];
        if (i == from) {
            const qsizetype base = out.size();
            out += cells.bytes;
            for (std::size_t& at : cells.dbCells) at += base;
        }
        if (i >= from && i < to) continue;
        QByteArray data = dataOf(r);
        switch (r.type) {
            case biff::kIndex:
                indexAt = out.size();
                out += record(r.type, QByteArray(16 + 4 * qsizetype(cells.dbCells.size()), '\0'));
                continue;
            case biff::kDefColWidth:
                defColWidthAt = out.size();
                break;
            case biff::kDimensions:
                need(r, 12, "DIMENSIONS");
                // The new row lies below every row with a value, and its cells start at A.
                if (le32(r.data, 4) == 0) set32(data, 0, row.row);
                set32(data, 4, std::max(le32(r.data, 4), row.row + 1));
                set16(data, 8, 0);
                set16(data, 10, std::max(le16(r.data, 10), columns));
                out += record(r.type, data);
                continue;
            case biff::kWindow2:
                if (row.select && pane == 3) {
                    need(r, 6, "WINDOW2");
                    set16(data, 2, static_cast<std::uint16_t>(row.topRow));
                    set16(data, 4, 0);
                    out += record(r.type, data);
                    continue;
                }
                break;
            case biff::kPane:
                // A split window scrolls its lower pane.
                if (row.select && r.data.size() >= 6 && le16(r.data, 2) != 0) {
                    set16(data, 4,
                          static_cast<std::uint16_t>(
                              std::max<std::uint32_t>(le16(r.data, 2), row.topRow)));
                    out += record(r.type, data);
                    continue;
                }
                break;
            case biff::kSelection:
                if (row.select && !r.data.empty() && r.data[0] == pane) {
                    out += selection(pane, *row.select);
                    selected = true;
                    continue;
                }
                break;
            default:
                break;
        }
        if (r.type == biff::kEof && row.select && !selected) {
            // No selection of the active pane was saved: the new one goes last.
            out += selection(pane, *row.select);
        }
        out += rawRecord(stream, r);
    }
    if (indexAt >= 0) {
        const qsizetype d = indexAt + 4;
        set32(out, d + 4, cells.firstRow);
        set32(out, d + 8, cells.lastRow);
        set32(out, d + 12, defColWidthAt < 0 ? 0 : static_cast<std::uint32_t>(defColWidthAt));
        for (std::size_t k = 0; k < cells.dbCells.size(); ++k) {
            set32(out, d + 16 + 4 * qsizetype(k), static_cast<std::uint32_t>(cells.dbCells[k]));
        }
    }
    return {out, indexAt};
}

// A sheet that only moves: the stream positions in its INDEX move with it.
QByteArray moveSheet(Bytes stream, const std::vector<Record>& records, std::size_t oldStart,
                     std::size_t newStart) {
    QByteArray out = bytesOf(stream, oldStart, records.back().end);
    for (const Record& r : records) {
        if (r.type != biff::kIndex || r.nested) continue;
        need(r, 16, "INDEX");
        shiftIndex(out, static_cast<qsizetype>(r.offset - oldStart),
                   static_cast<std::int64_t>(newStart) - static_cast<std::int64_t>(oldStart));
    }
    return out;
}

struct SheetEntry {
    std::size_t boundSheet;  // index in the globals
    std::size_t start;
    std::vector<Record> records;
};

QByteArray append(Bytes stream, const AppendedRow& row) {
    const std::vector<Record> globals = biff::substream(stream, 0);
    if (globals.empty() || globals[0].data.size() < 4 || le16(globals[0].data, 0) != 0x0600 ||
        le16(globals[0].data, 2) != 0x0005) {
        fail(QStringLiteral("not a BIFF8 workbook globals substream"), 0);
    }
    std::vector<SheetEntry> sheets;
    std::optional<std::size_t> target, sst;
    for (std::size_t i = 0; i < globals.size(); ++i) {
        const Record& r = globals[i];
        if (r.type == biff::kFilePass) refuse(QStringLiteral("it is encrypted"));
        if (r.type == biff::kSst) sst = i;
        if (r.type != biff::kBoundSheet) continue;
        need(r, 8, "BOUNDSHEET");
        const std::size_t start = le32(r.data, 0);
        if (start >= stream.size()) fail(QStringLiteral("a sheet starts past the end"), r.offset);
        sheets.push_back({i, start, biff::substream(stream, start)});
        if (!target && r.data[5] == 0) {
            if (le16(sheets.back().records[0].data, 2) != kWorksheet) {
                fail(QStringLiteral("the first sheet is not a worksheet"), start);
            }
            target = sheets.size() - 1;
        }
    }
    if (!target) fail(QStringLiteral("workbook has no worksheet"), 0);

    // Everything in the stream must belong to the globals or a sheet: what lies elsewhere would
    // not survive being put together again.
    std::vector<std::pair<std::size_t, std::size_t>> used{{0, globals.back().end}};
    for (const SheetEntry& s : sheets) used.emplace_back(s.start, s.records.back().end);
    std::sort(used.begin(), used.end());
    std::size_t covered = 0;
    for (const auto& [start, end] : used) {
        if (start < covered) fail(QStringLiteral("two substreams overlap"), start);
        if (std::any_of(stream.begin() + covered, stream.begin() + start,
                        [](std::uint8_t b) { return b != 0; })) {
            refuse(QStringLiteral("it holds data outside its sheets at offset %1").arg(covered));
        }
        covered = end;
    }
    if (std::any_of(stream.begin() + covered, stream.end(),
                    [](std::uint8_t b) { return b != 0; })) {
        refuse(QStringLiteral("it holds data outside its sheets at offset %1").arg(covered));
    }

    // The new row's cells take their shared strings before the globals are put together.
    SharedStrings strings(globals, sst);
    const SheetEntry& into = sheets[*target];
    LaidSheet laid = appendToSheet(stream, into.records, row, strings);
    std::size_t sstEnd = sst.value_or(0) + 1;
    while (sst && sstEnd < globals.size() && globals[sstEnd].type == biff::kContinue) ++sstEnd;

    QByteArray out;
    qsizetype extSstData = -1;
    std::map<std::size_t, qsizetype> positionFields;  // BOUNDSHEET index -> offset of its field
    const auto putStrings = [&] {
        out += strings.records();
        extSstData = out.size() + 4;
        const std::uint32_t buckets = (strings.unique() + extSstBucket(strings.unique()) - 1) /
                                      extSstBucket(strings.unique());
        out += record(biff::kExtSst, QByteArray(2 + 8 * qsizetype(buckets), '\0'));
    };
    for (std::size_t i = 0; i < globals.size(); ++i) {
        const Record& r = globals[i];
        if (sst && i > *sst && i < sstEnd) continue;
        if (r.type == biff::kExtSst) continue;
        if (r.type == biff::kSst || (!sst && r.type == biff::kEof && strings.unique() > 0)) {
            putStrings();
            if (r.type == biff::kSst) continue;
        }
        if (r.type == biff::kBoundSheet) positionFields[i] = out.size() + 4;
        out += rawRecord(stream, r);
    }
    std::vector<const SheetEntry*> inStreamOrder;
    for (const SheetEntry& s : sheets) inStreamOrder.push_back(&s);
    std::sort(inStreamOrder.begin(), inStreamOrder.end(),
              [](const SheetEntry* a, const SheetEntry* b) { return a->start < b->start; });
    for (const SheetEntry* s : inStreamOrder) {
        const auto newStart = static_cast<std::size_t>(out.size());
        set32(out, positionFields.at(s->boundSheet), static_cast<std::uint32_t>(newStart));
        if (s == &into) {
            if (laid.indexAt >= 0) shiftIndex(laid.bytes, laid.indexAt, std::int64_t(newStart));
            out += laid.bytes;
        } else {
            out += moveSheet(stream, s->records, s->start, newStart);
        }
    }
    if (extSstData >= 0) fillExtSst(out, extSstData);
    if (out.size() < kMinStreamSize) out.append(QByteArray(kMinStreamSize - out.size(), '\0'));
    return out;
}

}  // namespace

BiffAppendResult appendRowToBiff8(const QByteArray& stream, const AppendedRow& row) {
    try {
        return {append({reinterpret_cast<const std::uint8_t*>(stream.constData()),
                        static_cast<std::size_t>(stream.size())},
                       row),
                {},
                false};
    } catch (const biff::Failure& f) {
        return {std::nullopt, f.error, false};
    } catch (const Refusal& r) {
        return {std::nullopt, {r.what, 0}, true};
    }
}

}  // namespace telvane::office
