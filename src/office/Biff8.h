#pragma once
// BIFF8 workbook stream <-> Workbook. Only the content is read back (cells of every worksheet,
// the first sheet's view); the writer lays out the gateway's own formatting.

#include <QByteArray>
#include <QString>
#include <cstddef>
#include <optional>
#include <vector>

#include "office/Workbook.h"

namespace telvane::office {

struct BiffError {
    QString what;
    std::size_t offset = 0;  ///< byte offset in the Workbook stream
};

struct BiffReadResult {
    std::optional<Workbook> workbook;
    BiffError error;  ///< set when workbook is empty
};

/// Parses the "Workbook" stream of a BIFF8 file: shared strings (with CONTINUE), LABELSST, LABEL,
/// RSTRING, NUMBER, RK, MULRK, BOOLERR and cached FORMULA results of every worksheet.
BiffReadResult readBiff8(const QByteArray& stream);

/// A row added to the first worksheet of a stream that exists.
struct AppendedRow {
    std::uint32_t row = 0;
    std::vector<Cell> cells;        ///< from column A on; the row holds no values there yet
    std::optional<CellRef> select;  ///< the cell to select and scroll to, if any
    std::uint32_t topRow = 0;       ///< the first row in view when a cell is selected
};

struct BiffAppendResult {
    std::optional<QByteArray> stream;
    BiffError error;  ///< set when stream is empty
    bool cannotKeep =
        false;  ///< the stream is sound, but the append would lose or break part of it
};

/// Adds @p row to the stream in place of rewriting it: every record the gateway does not model
/// (formulas, formats, fonts, colours, widths, drawings and charts, other sheets) goes through
/// unchanged; the shared strings, the row's cells, the sheet's extent and view and the offsets
/// that point into the stream are brought up to date. The new cells take the format the cell
/// already had (a formatted blank), else the row's, else the column's.
BiffAppendResult appendRowToBiff8(const QByteArray& stream, const AppendedRow& row);

/// Builds a complete BIFF8 "Workbook" stream. The first sheet gets the message layout (column
/// widths, borders, alignment, bold header row). Cell texts must fit kMaxCellChars, rows and
/// columns kMaxRows and kMaxColumns; the caller checks.
QByteArray writeBiff8(const Workbook& workbook);

}  // namespace telvane::office
