#pragma once
// BIFF8 workbook stream <-> Workbook. Only the content is read back (cells of every worksheet,
// the first sheet's view); the writer lays out the gateway's own formatting.

#include <QByteArray>
#include <QString>
#include <cstddef>
#include <optional>

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

/// Builds a complete BIFF8 "Workbook" stream. The first sheet gets the message layout (column
/// widths, borders, alignment, bold header row). Cell texts must fit kMaxCellChars, rows and
/// columns kMaxRows and kMaxColumns; the caller checks.
QByteArray writeBiff8(const Workbook& workbook);

}  // namespace telvane::office
