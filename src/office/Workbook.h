#pragma once
// The cell content of a workbook as the writers carry it from one save to the next: values and
// the view of the first sheet, not formatting (the writer applies the gateway's own layout).

#include <QString>
#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <utility>
#include <vector>

namespace telvane::office {

struct Cell {
    enum class Kind { Number, Text, Boolean };
    Kind kind = Kind::Text;
    double number = 0.0;  ///< Number; Boolean as 0 or 1
    QString text;         ///< Text

    static Cell ofNumber(double value) { return {Kind::Number, value, {}}; }
    static Cell ofText(QString value) { return {Kind::Text, 0.0, std::move(value)}; }
    static Cell ofBoolean(bool value) { return {Kind::Boolean, value ? 1.0 : 0.0, {}}; }
    bool operator==(const Cell&) const = default;
};

/// Zero-based row and column, as BIFF stores them.
struct CellRef {
    std::uint32_t row = 0;
    std::uint16_t column = 0;
    auto operator<=>(const CellRef&) const = default;
};

struct Sheet {
    QString name;
    std::map<CellRef, Cell> cells;  ///< ordered by row, then column
    CellRef activeCell;             ///< the selected cell
    std::uint32_t topRow = 0;       ///< first row in view
    std::uint16_t leftColumn = 0;   ///< first column in view
};

struct Workbook {
    std::vector<Sheet> sheets;  ///< worksheets only; the first is the one messages go to
};

/// BIFF8 rows are 16-bit; Excel 97-2003 ends at row 65536.
inline constexpr std::uint32_t kMaxRows = 65536;
/// BIFF8 columns are 8-bit in cell ranges; Excel 97-2003 ends at column IV.
inline constexpr std::uint32_t kMaxColumns = 256;
/// Excel's limit for the text of one cell.
inline constexpr std::size_t kMaxCellChars = 32767;

}  // namespace telvane::office
