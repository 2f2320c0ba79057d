#include "office/MessageSheet.h"

#include <algorithm>

namespace telvane::office {
namespace {

// Rows kept in view above the selected one when the newest row is scrolled to.
constexpr std::uint32_t kRowsAboveSelection = 10;

}  // namespace

QStringList messageHeaders() {
    return {QStringLiteral("№"), QStringLiteral("Дата/Время"), QStringLiteral("Номер телефона"),
            QStringLiteral("Текст сообщения")};
}

Workbook newMessageWorkbook() {
    Sheet sheet;
    sheet.name = QStringLiteral("Принятые SMS");
    const QStringList headers = messageHeaders();
    for (qsizetype c = 0; c < headers.size(); ++c) {
        sheet.cells[{0, static_cast<std::uint16_t>(c)}] = Cell::ofText(headers[c]);
    }
    Workbook workbook;
    workbook.sheets.push_back(std::move(sheet));
    return workbook;
}

OfficeResult planMessageRow(const Sheet& sheet, const QStringList& fields, bool autoScroll,
                            AppendedRow& row) {
    if (static_cast<std::size_t>(fields.size()) + 1 > kMaxColumns) {
        return OfficeResult::failure(
            OfficeStoreError::RecordTooLarge,
            QStringLiteral("the record has %1 fields; a sheet has room for %2 beside the number")
                .arg(fields.size())
                .arg(kMaxColumns - 1));
    }
    for (qsizetype i = 0; i < fields.size(); ++i) {
        if (static_cast<std::size_t>(fields[i].size()) > kMaxCellChars) {
            return OfficeResult::failure(
                OfficeStoreError::RecordTooLarge,
                QStringLiteral("field %1 has %2 characters; a cell holds at most %3")
                    .arg(i + 1)
                    .arg(fields[i].size())
                    .arg(kMaxCellChars));
        }
    }
    // Below the last used row rather than into the first row with an empty column A: a row whose
    // number was cleared by hand still holds a message that must not be overwritten. Columns the
    // record does not fill are the user's: a formula beside the table does not push it down.
    std::uint32_t next = 1;
    for (const auto& [ref, cell] : sheet.cells) {
        if (ref.column <= fields.size()) next = std::max(next, ref.row + 1);
    }
    if (next >= kMaxRows) {
        return OfficeResult::failure(
            OfficeStoreError::RowLimit,
            QStringLiteral("the sheet \"%1\" is full: all %2 rows of the format are used")
                .arg(sheet.name)
                .arg(kMaxRows));
    }
    row = AppendedRow{next, {Cell::ofNumber(next)}, std::nullopt, 0};
    for (const QString& field : fields) row.cells.push_back(Cell::ofText(field));
    if (autoScroll) {
        row.select = CellRef{next, 0};
        row.topRow = next > kRowsAboveSelection ? next - kRowsAboveSelection : 0;
    }
    return OfficeResult::success();
}

OfficeResult appendMessageRow(Workbook& workbook, const QStringList& fields, bool autoScroll) {
    if (workbook.sheets.empty()) {
        return OfficeResult::failure(OfficeStoreError::Corrupt,
                                     QStringLiteral("the workbook has no worksheet"));
    }
    Sheet& sheet = workbook.sheets.front();
    AppendedRow row;
    if (OfficeResult planned = planMessageRow(sheet, fields, autoScroll, row); !planned.ok) {
        return planned;
    }
    for (std::size_t c = 0; c < row.cells.size(); ++c) {
        sheet.cells[{row.row, static_cast<std::uint16_t>(c)}] = row.cells[c];
    }
    if (row.select) {
        sheet.activeCell = *row.select;
        sheet.topRow = row.topRow;
        sheet.leftColumn = 0;
    }
    return OfficeResult::success();
}

}  // namespace telvane::office
