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

OfficeResult appendMessageRow(Workbook& workbook, const QStringList& fields, bool autoScroll) {
    if (workbook.sheets.empty()) {
        return OfficeResult::failure(OfficeStoreError::Corrupt,
                                     QStringLiteral("the workbook has no worksheet"));
    }
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
    Sheet& sheet = workbook.sheets.front();
    // Below the last used row rather than into the first row with an empty column A: a row whose
    // number was cleared by hand still holds a message that must not be overwritten.
    const std::uint32_t row =
        sheet.cells.empty() ? 1 : std::max(1u, sheet.cells.rbegin()->first.row + 1);
    if (row >= kMaxRows) {
        return OfficeResult::failure(
            OfficeStoreError::RowLimit,
            QStringLiteral("the sheet \"%1\" is full: all %2 rows of the format are used")
                .arg(sheet.name)
                .arg(kMaxRows));
    }
    sheet.cells[{row, 0}] = Cell::ofNumber(row);
    for (qsizetype i = 0; i < fields.size(); ++i) {
        sheet.cells[{row, static_cast<std::uint16_t>(i + 1)}] = Cell::ofText(fields[i]);
    }
    if (autoScroll) {
        sheet.activeCell = {row, 0};
        sheet.topRow = row > kRowsAboveSelection ? row - kRowsAboveSelection : 0;
        sheet.leftColumn = 0;
    }
    return OfficeResult::success();
}

}  // namespace telvane::office
