// Appending a row to a workbook that someone else may have saved: the stream is taken apart
// into its records, a few of them are changed or added, and it is put together again with the
// offsets that point into it moved along.

#include <QtEndian>
#include <algorithm>
#include <cstring>
#include <map>
#include <set>
#include <variant>

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

// Why a sound stream cannot take the row without losing or breaking part of it. A damaged
// stream is a biff::Failure instead, thrown from deep in the record layer.
struct Refusal {
    QString what;
};
// The value of a step, or why the stream cannot take the row.
template <typename T>
using OrRefusal = std::variant<T, Refusal>;

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
    // The SST record and its CONTINUE records, from globals[first]; an empty table without one.
    static OrRefusal<SharedStrings> read(const std::vector<Record>& globals,
                                         std::optional<std::size_t> first) {
        SharedStrings strings;
        if (!first) {
            strings.m_parts.push_back(QByteArray(8, '\0'));
            return strings;
        }
        biff::ContinuedReader in(globals, *first, 0);
        strings.m_total = in.u32();
        const std::uint32_t unique = in.u32();
        for (std::uint32_t k = 0; k < unique; ++k) {
            const auto s = in.string();
            if (s.plain) strings.m_index.try_emplace(s.text, k);
        }
        if (!in.atEnd()) {
            return Refusal{QStringLiteral("its shared-string table holds more than its strings")};
        }
        strings.m_unique = unique;
        for (std::size_t i = *first; i < globals.size(); ++i) {
            if (i > *first && globals[i].type != biff::kContinue) break;
            strings.m_parts.push_back(dataOf(globals[i]));
        }
        return strings;
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
    SharedStrings() = default;

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

struct StringRecords {
    QByteArray bytes;        // SST, its CONTINUE records and an EXTSST to be filled in
    qsizetype extSstData{};  // where the EXTSST's data starts in bytes
};

StringRecords stringRecords(SharedStrings& strings) {
    StringRecords out{strings.records(), 0};
    out.extSstData = out.bytes.size() + 4;
    const std::uint32_t buckets =
        (strings.unique() + extSstBucket(strings.unique()) - 1) / extSstBucket(strings.unique());
    out.bytes += record(biff::kExtSst, QByteArray(2 + 8 * qsizetype(buckets), '\0'));
    return out;
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

// The records [from, to) of a sheet that hold its cell table.
struct CellSpan {
    std::size_t from = 0;
    std::size_t to = 0;
};

// The cell table is one run of records; a sheet without cells gets an empty run behind its
// DIMENSIONS.
OrRefusal<CellSpan> cellTableSpan(const std::vector<Record>& records) {
    const auto first = std::find_if(records.begin(), records.end(), [](const Record& r) {
        return r.type == biff::kRow || r.type == biff::kDbCell || isCellStart(r.type);
    });
    if (first == records.end()) {
        const auto dimensions = std::find_if(records.begin(), records.end(), [](const Record& r) {
            return r.type == biff::kDimensions;
        });
        if (dimensions == records.end())
            return Refusal{QStringLiteral("its sheet has no DIMENSIONS")};
        const auto behind = static_cast<std::size_t>(dimensions - records.begin()) + 1;
        return CellSpan{behind, behind};
    }
    CellSpan span;
    span.from = span.to = static_cast<std::size_t>(first - records.begin());
    while (span.to < records.size() && inCellTable(records[span.to].type)) ++span.to;
    for (std::size_t i = span.to; i < records.size(); ++i) {
        if (records[i].type == biff::kRow || isCellStart(records[i].type)) {
            return Refusal{QStringLiteral("its cells are interrupted by other records at offset %1")
                               .arg(records[i].offset)};
        }
    }
    return span;
}

CellTable readCellTable(Bytes stream, const std::vector<Record>& records, CellSpan span) {
    CellTable table;
    for (std::size_t i = span.from; i < span.to; ++i) {
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
    table.indexed =
        table.indexed || std::any_of(records.begin(), records.end(),
                                     [](const Record& r) { return r.type == biff::kIndex; });
    return table;
}

using BlankRun = std::vector<std::pair<std::uint16_t, std::uint16_t>>;  // column, format

// The blanks of a run of columns as one BLANK or MULBLANK; the run is left empty.
void keepBlankRun(BlankRun& run, std::uint32_t row, std::vector<CellUnit>& kept) {
    if (run.empty()) return;
    QByteArray data;
    put16(data, static_cast<std::uint16_t>(row));
    put16(data, run.front().first);
    for (const auto& [column, xf] : run) put16(data, xf);
    if (run.size() > 1) put16(data, run.back().first);
    const std::uint16_t type = run.size() > 1 ? biff::kMulBlank : biff::kBlank;
    kept.push_back({row, run.front().first, type, record(type, data)});
    run.clear();
}

// A MULBLANK of the new row gives up the columns the row takes and is kept around them.
void splitMulBlank(Bytes d, std::uint32_t row, std::uint16_t columns,
                   std::map<std::uint16_t, std::uint16_t>& formats, std::vector<CellUnit>& kept) {
    const std::uint16_t first = le16(d, 2);
    const std::size_t count = (d.size() - 6) / 2;
    BlankRun run;
    for (std::size_t k = 0; k < count; ++k) {
        const auto column = static_cast<std::uint16_t>(first + k);
        const std::uint16_t xf = le16(d, 4 + 2 * k);
        if (column < columns) {
            keepBlankRun(run, row, kept);
            formats[column] = xf;
        } else {
            run.emplace_back(column, xf);
        }
    }
    keepBlankRun(run, row, kept);
}

// Blanks carry a format only; where the new row's cells go they give way, leaving their format
// to the new cell (by column). Any other cell there refuses the row.
OrRefusal<std::map<std::uint16_t, std::uint16_t>> takeBlanks(CellTable& table, std::uint32_t row,
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
            splitMulBlank(d, row, columns, formats, kept);
            continue;
        } else if (unit.column < columns) {
            return Refusal{QStringLiteral("row %1 already holds a value in column %2")
                               .arg(row + 1)
                               .arg(unit.column + 1)};
        }
        kept.push_back(std::move(unit));
    }
    table.cells = std::move(kept);
    return formats;
}

std::uint16_t defaultRowHeight(const std::vector<Record>& records) {
    std::uint16_t height = 0x00FF;
    for (const Record& r : records) {
        if (r.type == biff::kDefaultRowHeight && r.data.size() >= 4) height = le16(r.data, 2);
    }
    return height;
}

QByteArray newRowRecord(std::uint32_t row, std::uint16_t columns, std::uint16_t height) {
    QByteArray data;
    for (const std::uint16_t v :
         {std::uint16_t(row), std::uint16_t(0), columns, height, std::uint16_t(0), std::uint16_t(0),
          std::uint16_t(0x0100), kDefaultXf}) {
        put16(data, v);
    }
    return record(biff::kRow, data);
}

// The row's cells now start at column A and reach at least as far as the new ones.
QByteArray widenedRowRecord(QByteArray rowRecord, std::uint16_t columns) {
    set16(rowRecord, 6, 0);
    set16(rowRecord, 8,
          std::max(columns, qFromLittleEndian<std::uint16_t>(rowRecord.constData() + 8)));
    return rowRecord;
}

// The flag 0x80 says that the row has a format of its own.
std::optional<std::uint16_t> ownRowFormat(const QByteArray& rowRecord) {
    if ((qFromLittleEndian<std::uint16_t>(rowRecord.constData() + 16) & 0x80) == 0) {
        return std::nullopt;
    }
    return static_cast<std::uint16_t>(qFromLittleEndian<std::uint16_t>(rowRecord.constData() + 18) &
                                      0x0FFF);
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

// The sheet's cell table with the new row in it. The new cells take the format of the blank
// they replace, else the row's, else the column's.
OrRefusal<CellTable> cellTableWithRow(Bytes stream, const std::vector<Record>& records,
                                      CellSpan span, const AppendedRow& row,
                                      SharedStrings& strings) {
    CellTable table = readCellTable(stream, records, span);
    const auto columns = static_cast<std::uint16_t>(row.cells.size());
    const auto blanks = takeBlanks(table, row.row, columns);
    if (const auto* refused = std::get_if<Refusal>(&blanks)) return *refused;
    const auto& blankFormats = std::get<std::map<std::uint16_t, std::uint16_t>>(blanks);
    QByteArray& rowRecord = table.rows[row.row];
    const bool rowIsNew = rowRecord.isEmpty();
    const std::optional<std::uint16_t> rowFormat =
        rowIsNew ? std::nullopt : ownRowFormat(rowRecord);
    rowRecord = rowIsNew ? newRowRecord(row.row, columns, defaultRowHeight(records))
                         : widenedRowRecord(rowRecord, columns);
    for (std::uint16_t c = 0; c < columns; ++c) {
        const auto blank = blankFormats.find(c);
        const std::uint16_t xf = blank != blankFormats.end() ? blank->second
                                 : rowFormat                 ? *rowFormat
                                             : columnFormat(records, c).value_or(kDefaultXf);
        table.cells.push_back({row.row, c, 0, cellRecord(row.row, c, xf, row.cells[c], strings)});
    }
    return table;
}

struct Layout {
    QByteArray bytes;
    std::vector<std::size_t> dbCells;         // offsets in bytes
    std::uint32_t firstRow = 0, lastRow = 0;  // rows with cells; lastRow is one past
};

// DBCELL: how far back its block's first ROW record is, and where each row's cells start, each
// as a step from the one before (the first from behind the first ROW record).
QByteArray dbCell(std::size_t firstRowRecord, std::size_t here,
                  const std::vector<std::uint32_t>& rowsHere,
                  const std::map<std::uint32_t, std::size_t>& firstCellOf) {
    QByteArray data;
    put32(data, rowsHere.empty() ? 0 : static_cast<std::uint32_t>(here - firstRowRecord));
    std::size_t from = firstRowRecord + 20;  // behind the first ROW record
    for (const std::uint32_t row : rowsHere) {
        const auto next = firstCellOf.lower_bound(row);
        const std::size_t at = next == firstCellOf.end() ? here : next->second;
        put16(data, static_cast<std::uint16_t>(std::min<std::size_t>(at - from, 0xFFFF)));
        from = at;
    }
    return record(biff::kDbCell, data);
}

// One block of 32 rows: its ROW records, its cells (from @p cell on) and, when the sheet is
// indexed, a DBCELL that points back at both.
void layOutBlock(Layout& out, const CellTable& table, std::uint32_t block,
                 std::vector<CellUnit>::const_iterator& cell) {
    const auto firstRowRecord = static_cast<std::size_t>(out.bytes.size());
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
    if (!table.indexed) return;
    const auto here = static_cast<std::size_t>(out.bytes.size());
    out.dbCells.push_back(here);
    out.bytes += dbCell(firstRowRecord, here, rowsHere, firstCellOf);
}

// Row blocks of 32 rows, as Excel lays them out.
Layout layOut(CellTable table) {
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
    auto cell = table.cells.cbegin();
    for (const std::uint32_t block : blocks) layOutBlock(out, table, block, cell);
    out.bytes += table.trailer;
    return out;
}

// ---- the sheet's other records ----

std::optional<Refusal> refuseMergedCells(const std::vector<Record>& records,
                                         const AppendedRow& row) {
    for (const Record& r : records) {
        if (r.type != biff::kMergedCells || r.data.size() < 2) continue;
        const std::size_t count = std::min<std::size_t>(le16(r.data, 0), (r.data.size() - 2) / 8);
        for (std::size_t k = 0; k < count; ++k) {
            const std::size_t at = 2 + 8 * k;
            if (le16(r.data, at) <= row.row && row.row <= le16(r.data, at + 2) &&
                le16(r.data, at + 4) < row.cells.size()) {
                return Refusal{QStringLiteral("merged cells cover row %1").arg(row.row + 1)};
            }
        }
    }
    return std::nullopt;
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

// The active pane: the only one of an unsplit window, else as PANE says.
std::uint8_t activePane(const std::vector<Record>& records) {
    std::uint8_t pane = 3;
    for (const Record& r : records) {
        if (r.type == biff::kPane && r.data.size() >= 9) pane = r.data[8];
    }
    return pane;
}

// The new row lies below every row with a value, and its cells start at A.
QByteArray dimensionsWithRow(const Record& r, const AppendedRow& row) {
    need(r, 12, "DIMENSIONS");
    QByteArray data = dataOf(r);
    if (le32(r.data, 4) == 0) set32(data, 0, row.row);
    set32(data, 4, std::max(le32(r.data, 4), row.row + 1));
    set16(data, 8, 0);
    set16(data, 10, std::max(le16(r.data, 10), static_cast<std::uint16_t>(row.cells.size())));
    return record(r.type, data);
}

std::optional<QByteArray> scrolledWindow2(const Record& r, const AppendedRow& row,
                                          std::uint8_t pane) {
    if (!row.select || pane != 3) return std::nullopt;
    need(r, 6, "WINDOW2");
    QByteArray data = dataOf(r);
    set16(data, 2, static_cast<std::uint16_t>(row.topRow));
    set16(data, 4, 0);
    return record(r.type, data);
}

// A split window scrolls its lower pane.
std::optional<QByteArray> scrolledPane(const Record& r, const AppendedRow& row) {
    if (!row.select || r.data.size() < 6 || le16(r.data, 2) == 0) return std::nullopt;
    QByteArray data = dataOf(r);
    set16(data, 4,
          static_cast<std::uint16_t>(std::max<std::uint32_t>(le16(r.data, 2), row.topRow)));
    return record(r.type, data);
}

// What takes the place of @p r in the sheet that holds the new row; nothing when it stays.
std::optional<QByteArray> changedRecord(const Record& r, const AppendedRow& row,
                                        std::uint8_t pane) {
    switch (r.type) {
        case biff::kDimensions:
            return dimensionsWithRow(r, row);
        case biff::kWindow2:
            return scrolledWindow2(r, row, pane);
        case biff::kPane:
            return scrolledPane(r, row);
        case biff::kSelection:
            if (row.select && !r.data.empty() && r.data[0] == pane) {
                return selection(pane, *row.select);
            }
            return std::nullopt;
        default:
            return std::nullopt;
    }
}

// INDEX: the rows with cells, where DEFCOLWIDTH is and where every DBCELL is, counted from the
// sheet's start until the sheet has its place in the stream.
void fillIndex(QByteArray& sheet, qsizetype indexAt, const Layout& cells, qsizetype defColWidthAt) {
    const qsizetype d = indexAt + 4;
    set32(sheet, d + 4, cells.firstRow);
    set32(sheet, d + 8, cells.lastRow);
    set32(sheet, d + 12, defColWidthAt < 0 ? 0 : static_cast<std::uint32_t>(defColWidthAt));
    for (std::size_t k = 0; k < cells.dbCells.size(); ++k) {
        set32(sheet, d + 16 + 4 * qsizetype(k), static_cast<std::uint32_t>(cells.dbCells[k]));
    }
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

// The sheet's records with the new cell table in place of the old one; every record but the
// few that say where the cells and the view are goes through as it was.
LaidSheet rewriteSheet(Bytes stream, const std::vector<Record>& records, CellSpan span,
                       Layout cells, const AppendedRow& row) {
    const std::uint8_t pane = activePane(records);
    LaidSheet out;
    qsizetype defColWidthAt = -1;
    bool selected = false;
    for (std::size_t i = 0; i < records.size(); ++i) {
        const Record& r = records[i];
        if (i == span.from) {
            const qsizetype base = out.bytes.size();
            out.bytes += cells.bytes;
            for (std::size_t& at : cells.dbCells) at += base;
        }
        if (i >= span.from && i < span.to) continue;
        if (r.type == biff::kIndex) {
            out.indexAt = out.bytes.size();
            out.bytes += record(r.type, QByteArray(16 + 4 * qsizetype(cells.dbCells.size()), '\0'));
            continue;
        }
        if (r.type == biff::kDefColWidth) defColWidthAt = out.bytes.size();
        const std::optional<QByteArray> changed = changedRecord(r, row, pane);
        selected = selected || (r.type == biff::kSelection && changed);
        // No selection of the active pane was saved: the new one goes last.
        if (r.type == biff::kEof && row.select && !selected)
            out.bytes += selection(pane, *row.select);
        out.bytes += changed ? *changed : rawRecord(stream, r);
    }
    if (out.indexAt >= 0) fillIndex(out.bytes, out.indexAt, cells, defColWidthAt);
    return out;
}

// The sheet that takes the row.
OrRefusal<LaidSheet> appendToSheet(Bytes stream, const std::vector<Record>& records,
                                   const AppendedRow& row, SharedStrings& strings) {
    if (auto refused = refuseMergedCells(records, row)) return *refused;
    const OrRefusal<CellSpan> span = cellTableSpan(records);
    if (const auto* refused = std::get_if<Refusal>(&span)) return *refused;
    OrRefusal<CellTable> table =
        cellTableWithRow(stream, records, std::get<CellSpan>(span), row, strings);
    if (const auto* refused = std::get_if<Refusal>(&table)) return *refused;
    return rewriteSheet(stream, records, std::get<CellSpan>(span),
                        layOut(std::move(std::get<CellTable>(table))), row);
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

// ---- the workbook as a whole ----

struct SheetEntry {
    std::size_t boundSheet;  // index in the globals
    std::size_t start;
    std::vector<Record> records;
};

struct WorkbookParts {
    std::vector<Record> globals;
    std::vector<SheetEntry> sheets;  // in BOUNDSHEET order
    std::size_t target = 0;          // the first worksheet, which takes the row
    std::optional<std::size_t> sst;  // in the globals
};

std::vector<Record> globalsOf(Bytes stream) {
    std::vector<Record> globals = biff::substream(stream, 0);
    if (globals.empty() || globals[0].data.size() < 4 || le16(globals[0].data, 0) != 0x0600 ||
        le16(globals[0].data, 2) != 0x0005) {
        fail(QStringLiteral("not a BIFF8 workbook globals substream"), 0);
    }
    return globals;
}

SheetEntry sheetOf(Bytes stream, const Record& boundSheet, std::size_t index) {
    need(boundSheet, 8, "BOUNDSHEET");
    const std::size_t start = le32(boundSheet.data, 0);
    if (start >= stream.size()) {
        fail(QStringLiteral("a sheet starts past the end"), boundSheet.offset);
    }
    return {index, start, biff::substream(stream, start)};
}

OrRefusal<WorkbookParts> partsOf(Bytes stream) {
    WorkbookParts parts{globalsOf(stream), {}, 0, std::nullopt};
    std::optional<std::size_t> target;
    for (std::size_t i = 0; i < parts.globals.size(); ++i) {
        const Record& r = parts.globals[i];
        if (r.type == biff::kFilePass) return Refusal{QStringLiteral("it is encrypted")};
        if (r.type == biff::kSst) parts.sst = i;
        if (r.type != biff::kBoundSheet) continue;
        parts.sheets.push_back(sheetOf(stream, r, i));
        if (!target && r.data[5] == 0) {
            if (le16(parts.sheets.back().records[0].data, 2) != kWorksheet) {
                fail(QStringLiteral("the first sheet is not a worksheet"),
                     parts.sheets.back().start);
            }
            target = parts.sheets.size() - 1;
        }
    }
    if (!target) fail(QStringLiteral("workbook has no worksheet"), 0);
    parts.target = *target;
    return parts;
}

// Everything in the stream must belong to the globals or a sheet: what lies elsewhere would
// not survive being put together again.
std::optional<Refusal> refuseDataOutside(Bytes stream, const WorkbookParts& parts) {
    std::vector<std::pair<std::size_t, std::size_t>> used{{0, parts.globals.back().end}};
    for (const SheetEntry& s : parts.sheets) used.emplace_back(s.start, s.records.back().end);
    std::sort(used.begin(), used.end());
    const auto dataBetween = [&](std::size_t from, std::size_t to) {
        return std::any_of(stream.begin() + from, stream.begin() + to,
                           [](std::uint8_t b) { return b != 0; });
    };
    const auto outside = [](std::size_t at) {
        return Refusal{QStringLiteral("it holds data outside its sheets at offset %1").arg(at)};
    };
    std::size_t covered = 0;
    for (const auto& [start, end] : used) {
        if (start < covered) fail(QStringLiteral("two substreams overlap"), start);
        if (dataBetween(covered, start)) return outside(covered);
        covered = end;
    }
    if (dataBetween(covered, stream.size())) return outside(covered);
    return std::nullopt;
}

struct JoinedGlobals {
    QByteArray bytes;
    qsizetype extSstData = -1;
    std::map<std::size_t, qsizetype> positionFields;  // BOUNDSHEET index -> offset of its field
};

// The globals with the shared strings in place of the old ones, or ahead of the EOF when the
// row brings the first string.
JoinedGlobals joinGlobals(Bytes stream, const WorkbookParts& parts, SharedStrings& strings) {
    const std::optional<std::size_t> sst = parts.sst;
    std::size_t sstEnd = sst.value_or(0) + 1;
    while (sst && sstEnd < parts.globals.size() && parts.globals[sstEnd].type == biff::kContinue) {
        ++sstEnd;
    }
    JoinedGlobals out;
    for (std::size_t i = 0; i < parts.globals.size(); ++i) {
        const Record& r = parts.globals[i];
        if ((sst && i > *sst && i < sstEnd) || r.type == biff::kExtSst) continue;
        if (r.type == biff::kSst || (!sst && r.type == biff::kEof && strings.unique() > 0)) {
            const StringRecords records = stringRecords(strings);
            out.extSstData = out.bytes.size() + records.extSstData;
            out.bytes += records.bytes;
            if (r.type == biff::kSst) continue;
        }
        if (r.type == biff::kBoundSheet) out.positionFields[i] = out.bytes.size() + 4;
        out.bytes += rawRecord(stream, r);
    }
    return out;
}

// The sheets behind the globals in the order they lay in the stream, each BOUNDSHEET pointing
// at its sheet's new place.
void appendSheets(JoinedGlobals& out, Bytes stream, const WorkbookParts& parts, LaidSheet laid) {
    std::vector<const SheetEntry*> inStreamOrder;
    for (const SheetEntry& s : parts.sheets) inStreamOrder.push_back(&s);
    std::sort(inStreamOrder.begin(), inStreamOrder.end(),
              [](const SheetEntry* a, const SheetEntry* b) { return a->start < b->start; });
    for (const SheetEntry* s : inStreamOrder) {
        const auto newStart = static_cast<std::size_t>(out.bytes.size());
        set32(out.bytes, out.positionFields.at(s->boundSheet),
              static_cast<std::uint32_t>(newStart));
        if (s == &parts.sheets[parts.target]) {
            if (laid.indexAt >= 0) shiftIndex(laid.bytes, laid.indexAt, std::int64_t(newStart));
            out.bytes += laid.bytes;
        } else {
            out.bytes += moveSheet(stream, s->records, s->start, newStart);
        }
    }
}

OrRefusal<QByteArray> append(Bytes stream, const AppendedRow& row) {
    const OrRefusal<WorkbookParts> found = partsOf(stream);
    if (const auto* refused = std::get_if<Refusal>(&found)) return *refused;
    const WorkbookParts& parts = std::get<WorkbookParts>(found);
    if (auto refused = refuseDataOutside(stream, parts)) return *refused;
    // The new row's cells take their shared strings before the globals are put together.
    OrRefusal<SharedStrings> read = SharedStrings::read(parts.globals, parts.sst);
    if (const auto* refused = std::get_if<Refusal>(&read)) return *refused;
    SharedStrings& strings = std::get<SharedStrings>(read);
    OrRefusal<LaidSheet> laid =
        appendToSheet(stream, parts.sheets[parts.target].records, row, strings);
    if (const auto* refused = std::get_if<Refusal>(&laid)) return *refused;
    JoinedGlobals out = joinGlobals(stream, parts, strings);
    appendSheets(out, stream, parts, std::move(std::get<LaidSheet>(laid)));
    if (out.extSstData >= 0) fillExtSst(out.bytes, out.extSstData);
    if (out.bytes.size() < kMinStreamSize) {
        out.bytes.append(QByteArray(kMinStreamSize - out.bytes.size(), '\0'));
    }
    return out.bytes;
}

}  // namespace

BiffAppendResult appendRowToBiff8(const QByteArray& stream, const AppendedRow& row) {
    const Bytes bytes(reinterpret_cast<const std::uint8_t*>(stream.constData()),
                      static_cast<std::size_t>(stream.size()));
    try {
        OrRefusal<QByteArray> appended = append(bytes, row);
        if (const auto* refused = std::get_if<Refusal>(&appended)) {
            return {std::nullopt, {refused->what, 0}, true};
        }
        return {std::move(std::get<QByteArray>(appended)), {}, false};
    } catch (const biff::Failure& f) {
        // The record layer throws when the stream is damaged; that is not a refusal.
        return {std::nullopt, f.error, false};
    }
}

}  // namespace telvane::office
