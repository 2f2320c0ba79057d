#pragma once
// Appends received messages to the day's Excel workbook or Word document. The files are written
// directly (no office suite is driven): each call reads what it needs, writes, and closes again,
// so nothing is held between calls.

#include <QString>
#include <QStringList>

namespace telvane::office {

/// Why a record could not be stored. The day's file is left as it was in every case.
enum class OfficeStoreError {
    None,            ///< stored
    Locked,          ///< an office program holds the file open (its lock file lies beside it)
    Unreadable,      ///< the existing file could not be read from disk
    Foreign,         ///< the file is not one of ours (another format saved under the day's name)
    Corrupt,         ///< the file looks like ours but its structure is damaged
    RowLimit,        ///< the workbook has no row left (the format ends at row 65536)
    CannotKeep,      ///< the workbook holds something that an append would lose or break
    RecordTooLarge,  ///< more fields than the sheet has columns, or a field over 32767 characters
    WriteFailed,     ///< writing or replacing the file failed; the former content is kept
};

/// Outcome of one append: ok, or the error and one line of English saying what and where.
struct OfficeResult {
    bool ok = false;
    OfficeStoreError error = OfficeStoreError::None;
    QString reason;
    QString file;       ///< the file written or tried: the day's file or a sibling of it
    QString lockFile;   ///< Locked: the lock file that an office program left beside it
    QStringList notes;  ///< lines for Log.txt: a stale lock file passed, a new file started

    static OfficeResult success() { return {true, OfficeStoreError::None, {}, {}, {}, {}}; }
    static OfficeResult failure(OfficeStoreError error, QString reason) {
        return {false, error, std::move(reason), {}, {}, {}};
    }
};

/// Appends one record as the next row of the day's workbook (".xls", BIFF8 in a compound file).
///
/// A missing file is created with the header row "№", "Дата/Время", "Номер телефона",
/// "Текст сообщения" on the sheet "Принятые SMS". The new row goes below the last used row of the
/// first worksheet; column A gets its number (row number minus 1), the fields go into columns B
/// onward. Whatever else the workbook holds (formulas, formats, widths, other sheets, charts,
/// macros) is kept as it was; a workbook that holds what cannot be kept is refused. The workbook
/// is written beside the file and then replaces it, so a crash leaves either the old or the new
/// one. With @p autoScroll the new row's cell A is selected and scrolled into view; otherwise
/// the selection saved in the file is kept.
///
/// @param path    the day's file, e.g. ".../26-12-05.xls"
/// @param fields  the record's fields: time stamp, number, text, possibly more
OfficeResult appendRecordToWorkbook(const QString& path, const QStringList& fields,
                                    bool autoScroll);

/// Appends one record as the next row of the table in the day's document (".doc", written as
/// RTF). A missing file is created with the header row; an existing one gets the row inserted
/// before its closing brace in place, synced to disk, and cut back to its former content if the
/// write fails part-way. Column 1 gets the row count minus 1; fields beyond the third are dropped
/// because the table has four columns.
OfficeResult appendRecordToDocument(const QString& path, const QStringList& fields);

enum class DayFileKind { Document, Workbook };

/// Appends the record to the day's file at @p path or, where that file can never take it (the
/// format of someone else, damaged, full, or holding what an append would lose) and no office
/// program holds it open, to a sibling for the rest of the day: "26-12-05 (2).xls", then "(3)".
/// The newest sibling is the one written, so that the switch is made, and noted, once.
OfficeResult appendToDayFile(const QString& path, const QStringList& fields, DayFileKind kind,
                             bool autoScroll);

/// Short English name of an error, for logs.
QString describe(OfficeStoreError error);

}  // namespace telvane::office
