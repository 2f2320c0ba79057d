#include <cstring>
#include <span>
#include <vector>

#include "office/Biff8.h"
#include "office/BiffRecords.h"
#include "office/BiffStream.h"

namespace telvane::office {
namespace {

using biff::ContinuedReader;
using biff::fail;
using biff::le16;
using biff::le32;
using biff::need;
using biff::Record;

double leDouble(biff::Bytes d, std::size_t at) {
    const std::uint64_t bits = le32(d, at) | (static_cast<std::uint64_t>(le32(d, at + 4)) << 32);
    double v;
    std::memcpy(&v, &bits, sizeof v);
    return v;
}

double decodeRk(std::uint32_t rk) {
    double value;
    if ((rk & 0x02) != 0) {
        value = static_cast<double>(static_cast<std::int32_t>(rk) >> 2);
    } else {
        const std::uint64_t bits = static_cast<std::uint64_t>(rk & 0xFFFFFFFCu) << 32;
        std::memcpy(&value, &bits, sizeof value);
    }
    return (rk & 0x01) != 0 ? value / 100.0 : value;
}

QString errorText(std::uint8_t code) {
    switch (code) {
        case 0x00:
            return QStringLiteral("#NULL!");
        case 0x07:
            return QStringLiteral("#DIV/0!");
        case 0x0F:
            return QStringLiteral("#VALUE!");
        case 0x17:
            return QStringLiteral("#REF!");
        case 0x1D:
            return QStringLiteral("#NAME?");
        case 0x24:
            return QStringLiteral("#NUM!");
        default:
            return QStringLiteral("#N/A");
    }
}

CellRef refOf(const Record& r) { return {le16(r.data, 0), le16(r.data, 2)}; }

Sheet readSheet(const std::vector<Record>& records, const std::vector<QString>& strings,
                QString name) {
    Sheet sheet;
    sheet.name = std::move(name);
    std::uint8_t activePane = 3;
    std::vector<std::pair<std::uint8_t, CellRef>> selections;
    std::optional<CellRef> pendingFormulaString;
    for (std::size_t i = 0; i < records.size(); ++i) {
        const Record& r = records[i];
        switch (r.type) {
            case biff::kLabelSst: {
                need(r, 10, "LABELSST");
                const std::uint32_t index = le32(r.data, 6);
                if (index >= strings.size()) {
                    fail(QStringLiteral("LABELSST refers to shared string %1 of %2")
                             .arg(index)
                             .arg(strings.size()),
                         r.offset);
                }
                sheet.cells[refOf(r)] = Cell::ofText(strings[index]);
                break;
            }
            case biff::kLabel:
            case biff::kRString: {
                need(r, 9, "LABEL");
                ContinuedReader in(records, i, 6);
                sheet.cells[refOf(r)] = Cell::ofText(in.string().text);
                break;
            }
            case biff::kNumber:
                need(r, 14, "NUMBER");
                sheet.cells[refOf(r)] = Cell::ofNumber(leDouble(r.data, 6));
                break;
            case biff::kRk:
                need(r, 10, "RK");
                sheet.cells[refOf(r)] = Cell::ofNumber(decodeRk(le32(r.data, 6)));
                break;
            case biff::kMulRk: {
                need(r, 6, "MULRK");
                const std::uint16_t row = le16(r.data, 0);
                const std::uint16_t first = le16(r.data, 2);
                const std::size_t count = (r.data.size() - 6) / 6;
                if (r.data.size() != 6 + count * 6 ||
                    le16(r.data, r.data.size() - 2) != first + count - 1) {
                    fail(QStringLiteral("MULRK column range does not match its size"), r.offset);
                }
                for (std::size_t k = 0; k < count; ++k) {
                    sheet.cells[{row, static_cast<std::uint16_t>(first + k)}] =
                        Cell::ofNumber(decodeRk(le32(r.data, 4 + k * 6 + 2)));
                }
                break;
            }
            case biff::kBoolErr:
                need(r, 8, "BOOLERR");
                sheet.cells[refOf(r)] = r.data[7] != 0 ? Cell::ofText(errorText(r.data[6]))
                                                       : Cell::ofBoolean(r.data[6] != 0);
                break;
            case biff::kFormula: {
                // Only the value last calculated is carried over.
                need(r, 14, "FORMULA");
                const CellRef ref = refOf(r);
                if (le16(r.data, 12) != 0xFFFF) {
                    sheet.cells[ref] = Cell::ofNumber(leDouble(r.data, 6));
                } else if (r.data[6] == 0) {
                    pendingFormulaString = ref;
                } else if (r.data[6] == 1) {
                    sheet.cells[ref] = Cell::ofBoolean(r.data[8] != 0);
                } else if (r.data[6] == 2) {
                    sheet.cells[ref] = Cell::ofText(errorText(r.data[8]));
                } else {
                    sheet.cells[ref] = Cell::ofText({});
                }
                break;
            }
            case biff::kString:
                if (pendingFormulaString) {
                    ContinuedReader in(records, i, 0);
                    sheet.cells[*pendingFormulaString] = Cell::ofText(in.string().text);
                    pendingFormulaString.reset();
                }
                break;
            case biff::kWindow2:
                need(r, 6, "WINDOW2");
                sheet.topRow = le16(r.data, 2);
                sheet.leftColumn = le16(r.data, 4);
                break;
            case 0x0041:  // PANE: which pane holds the cursor when the window is split
                need(r, 9, "PANE");
                activePane = r.data[8];
                break;
            case biff::kSelection:
                need(r, 5, "SELECTION");
                selections.emplace_back(r.data[0], CellRef{le16(r.data, 1), le16(r.data, 3)});
                break;
            default:
                break;
        }
    }
    if (!selections.empty()) {
        sheet.activeCell = selections.front().second;
        for (const auto& [pane, ref] : selections) {
            if (pane == activePane) {
                sheet.activeCell = ref;
            }
        }
    }
    return sheet;
}

BiffReadResult read(std::span<const std::uint8_t> stream) {
    const std::vector<Record> globals = biff::substream(stream, 0);
    if (globals.empty() || globals[0].type != biff::kBof || globals[0].data.size() < 4 ||
        le16(globals[0].data, 0) != 0x0600 || le16(globals[0].data, 2) != 0x0005) {
        fail(QStringLiteral("not a BIFF8 workbook globals substream"), 0);
    }
    struct SheetEntry {
        QString name;
        std::uint32_t position;
    };
    std::vector<SheetEntry> entries;
    std::vector<QString> strings;
    for (std::size_t i = 0; i < globals.size(); ++i) {
        const Record& r = globals[i];
        if (r.type == biff::kBoundSheet) {
            need(r, 8, "BOUNDSHEET");
            if (r.data[5] != 0) {
                continue;  // chart, macro and module sheets hold no messages
            }
            ContinuedReader in(globals, i, 6);
            entries.push_back({in.string(false).text, le32(r.data, 0)});
        } else if (r.type == biff::kSst) {
            need(r, 8, "SST");
            ContinuedReader in(globals, i, 0);
            in.u32();
            const std::uint32_t unique = in.u32();
            strings.reserve(std::min<std::uint32_t>(unique, 65536));
            for (std::uint32_t k = 0; k < unique; ++k) {
                strings.push_back(in.string().text);
            }
        }
    }
    if (entries.empty()) {
        fail(QStringLiteral("workbook has no worksheet"), 0);
    }
    Workbook workbook;
    for (const SheetEntry& e : entries) {
        if (e.position >= stream.size()) {
            fail(QStringLiteral("sheet \"%1\" starts past the end of the stream").arg(e.name),
                 e.position);
        }
        const std::vector<Record> records = biff::substream(stream, e.position);
        if (records.empty() || records[0].data.size() < 4 || le16(records[0].data, 2) != 0x0010) {
            fail(QStringLiteral("sheet \"%1\" does not start with a worksheet BOF").arg(e.name),
                 e.position);
        }
        workbook.sheets.push_back(readSheet(records, strings, e.name));
    }
    return {std::move(workbook), {}};
}

}  // namespace

BiffReadResult readBiff8(const QByteArray& stream) {
    try {
        return read({reinterpret_cast<const std::uint8_t*>(stream.constData()),
                     static_cast<std::size_t>(stream.size())});
    } catch (const biff::Failure& f) {
        return {std::nullopt, f.error};
    }
}

}  // namespace telvane::office
