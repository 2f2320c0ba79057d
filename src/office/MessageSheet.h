#pragma once
// The message table of the workbook as values: the header row, and one more row per record.

#include <QStringList>

#include "office/Biff8.h"
#include "office/OfficeStore.h"
#include "office/Workbook.h"

namespace telvane::office {

/// The headers of columns A to D, shared by the workbook and the document.
QStringList messageHeaders();

/// A workbook holding only the sheet "Принятые SMS" with its header row.
Workbook newMessageWorkbook();

/// The row that takes @p fields on @p sheet: below the last row with a value in any of the
/// columns the record fills (row 2 at least), its number (row number minus 1) in column A, the
/// fields from column B on; with @p autoScroll its cell A selected and scrolled to.
OfficeResult planMessageRow(const Sheet& sheet, const QStringList& fields, bool autoScroll,
                            AppendedRow& row);

/// Adds @p fields to the first sheet as planMessageRow says. Leaves @p workbook unchanged on
/// failure.
OfficeResult appendMessageRow(Workbook& workbook, const QStringList& fields, bool autoScroll);

}  // namespace telvane::office
