#pragma once
// The message table of the workbook as values: the header row, and one more row per record.

#include <QStringList>

#include "office/OfficeStore.h"
#include "office/Workbook.h"

namespace telvane::office {

/// The headers of columns A to D, shared by the workbook and the document.
QStringList messageHeaders();

/// A workbook holding only the sheet "Принятые SMS" with its header row.
Workbook newMessageWorkbook();

/// Adds @p fields as the row below the last used row of the first sheet (row 2 at least), with
/// its number (row number minus 1) in column A. Leaves @p workbook unchanged on failure.
OfficeResult appendMessageRow(Workbook& workbook, const QStringList& fields, bool autoScroll);

}  // namespace telvane::office
