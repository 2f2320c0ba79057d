#include "office/OfficeStore.h"

#include <QDir>
#include <QFileInfo>
#include <algorithm>

#include "office/Biff8.h"
#include "office/CompoundFile.h"
#include "office/LockFiles.h"
#include "office/MessageSheet.h"
#include "office/RtfTable.h"
#include "office/SyncFile.h"
#include "storage/DurableFile.h"

namespace telvane::office {
namespace {

const QString kWorkbookStream = QStringLiteral("Workbook");

// A live lock refuses the store; a stale one is passed with a note for Log.txt.
std::optional<OfficeResult> checkNotLocked(const QString& path, QStringList& notes) {
    const auto lock = findOfficeLockFile(path);
    if (!lock) return std::nullopt;
    const QString lockName = QFileInfo(lock->path).fileName();
    if (lock->stale) {
        notes << QStringLiteral(
                     "Файл блокировки %1 оставлен LibreOffice, который больше не "
                     "запущен (%2): запись в %3 продолжается")
                     .arg(lockName, lock->owner, QFileInfo(path).fileName());
        return std::nullopt;
    }
    OfficeResult locked = OfficeResult::failure(
        OfficeStoreError::Locked,
        QStringLiteral("%1 is open in an office program (lock file %2)").arg(path, lockName));
    locked.lockFile = lockName;
    return locked;
}

// Written beside the old file and renamed over it, so that a crash at any point leaves either
// the former or the new content.
OfficeResult replaceFile(const QString& path, const QByteArray& bytes) {
    const storage::WriteResult written = storage::replaceDurably(path, bytes);
    if (written.ok) return OfficeResult::success();
    return OfficeResult::failure(OfficeStoreError::WriteFailed,
                                 QStringLiteral("cannot write %1").arg(written.error));
}

OfficeResult foreign(const QString& path, const QString& why) {
    return OfficeResult::failure(OfficeStoreError::Foreign,
                                 QStringLiteral("%1 is not a workbook of ours: %2").arg(path, why));
}

OfficeResult newWorkbook(const QString& path, const QStringList& fields, bool autoScroll) {
    Workbook workbook = newMessageWorkbook();
    if (OfficeResult added = appendMessageRow(workbook, fields, autoScroll); !added.ok) {
        added.reason = QStringLiteral("%1: %2").arg(path, added.reason);
        return added;
    }
    const std::optional<QByteArray> bytes =
        writeCompoundFile({{kWorkbookStream, writeBiff8(workbook)}});
    if (!bytes) {
        return OfficeResult::failure(
            OfficeStoreError::WriteFailed,
            QStringLiteral("%1: cannot build the compound file").arg(path));
    }
    return replaceFile(path, *bytes);
}

OfficeResult appendToWorkbook(const QString& path, const QStringList& fields, bool autoScroll) {
    if (!QFileInfo::exists(path)) return newWorkbook(path, fields, autoScroll);
    const storage::ReadResult file = storage::readOwnFile(path);
    if (!file.ok()) {
        return OfficeResult::failure(OfficeStoreError::Unreadable,
                                     QStringLiteral("cannot read %1").arg(file.error));
    }
    if (!looksLikeCompoundFile(file.bytes)) {
        return foreign(path, QStringLiteral("no compound-file signature"));
    }
    CompoundReadResult container = readCompoundFile(file.bytes);
    if (!container.streams) {
        return OfficeResult::failure(
            OfficeStoreError::Corrupt,
            QStringLiteral("%1: damaged compound file: %2").arg(path, container.error));
    }
    const auto stream =
        std::find_if(container.streams->begin(), container.streams->end(),
                     [](const CompoundEntry& e) { return e.path == kWorkbookStream; });
    if (stream == container.streams->end()) {
        return foreign(path, QStringLiteral("it has no \"Workbook\" stream (another document "
                                            "type, or an Excel file older than 97)"));
    }
    const auto damaged = [&](const BiffError& error) {
        return OfficeResult::failure(
            OfficeStoreError::Corrupt,
            QStringLiteral("%1: damaged workbook at offset %2 of its Workbook stream: %3")
                .arg(path)
                .arg(error.offset)
                .arg(error.what));
    };
    const BiffReadResult parsed = readBiff8(stream->data);
    if (!parsed.workbook) return damaged(parsed.error);
    AppendedRow row;
    if (OfficeResult planned =
            planMessageRow(parsed.workbook->sheets.front(), fields, autoScroll, row);
        !planned.ok) {
        planned.reason = QStringLiteral("%1: %2").arg(path, planned.reason);
        return planned;
    }
    BiffAppendResult appended = appendRowToBiff8(stream->data, row);
    if (appended.cannotKeep) {
        return OfficeResult::failure(
            OfficeStoreError::CannotKeep,
            QStringLiteral("%1 cannot take a row without losing part of it: %2")
                .arg(path, appended.error.what));
    }
    if (!appended.stream) return damaged(appended.error);
    stream->data = std::move(*appended.stream);
    const std::optional<QByteArray> bytes = writeCompoundFile(*container.streams);
    if (!bytes) {
        return OfficeResult::failure(
            OfficeStoreError::WriteFailed,
            QStringLiteral("%1: cannot build the compound file").arg(path));
    }
    return replaceFile(path, *bytes);
}

OfficeResult appendToDocument(const QString& path, const QStringList& fields) {
    if (QFileInfo::exists(path)) {
        return appendRtfRow(path, fields);
    }
    QByteArray document = newRtfDocument();
    const RtfLayout layout = *locateRtfTable(document).layout;
    document.insert(static_cast<qsizetype>(layout.insertAt),
                    rtfRow(static_cast<long long>(layout.rows), fields));
    return replaceFile(path, document);
}

// One file: refused while an office program holds it, else appended to.
OfficeResult appendTo(const QString& path, const QStringList& fields, DayFileKind kind,
                      bool autoScroll) {
    QStringList notes;
    OfficeResult result = checkNotLocked(path, notes).value_or(OfficeResult::success());
    if (result.ok) {
        result = kind == DayFileKind::Workbook ? appendToWorkbook(path, fields, autoScroll)
                                               : appendToDocument(path, fields);
    }
    result.file = path;
    result.notes = notes + result.notes;
    return result;
}

// The day's file, or "NAME (N).ext" with the highest N that exists.
QString newestSibling(const QString& path, int& number) {
    const QFileInfo info(path);
    const QString base = info.completeBaseName(), suffix = info.suffix();
    number = 1;
    const QString prefix = base + QStringLiteral(" (");
    const QString ending = QStringLiteral(").") + suffix;
    for (const QString& name : info.dir().entryList({prefix + u'*' + ending}, QDir::Files)) {
        bool isNumber = false;
        const int n =
            name.mid(prefix.size(), name.size() - prefix.size() - ending.size()).toInt(&isNumber);
        if (isNumber && n > number) number = n;
    }
    return number == 1 ? path : info.dir().filePath(prefix + QString::number(number) + ending);
}

}  // namespace

OfficeResult appendRecordToWorkbook(const QString& path, const QStringList& fields,
                                    bool autoScroll) {
    return appendTo(path, fields, DayFileKind::Workbook, autoScroll);
}

OfficeResult appendRecordToDocument(const QString& path, const QStringList& fields) {
    return appendTo(path, fields, DayFileKind::Document, false);
}

OfficeResult appendToDayFile(const QString& path, const QStringList& fields, DayFileKind kind,
                             bool autoScroll) {
    int number = 1;
    const QString newest = newestSibling(path, number);
    OfficeResult result = appendTo(newest, fields, kind, autoScroll);
    switch (result.error) {
        case OfficeStoreError::Foreign:
        case OfficeStoreError::Corrupt:
        case OfficeStoreError::RowLimit:
        case OfficeStoreError::CannotKeep:
            break;
        default:
            return result;
    }
    const QFileInfo info(path);
    const QString sibling = info.dir().filePath(QStringLiteral("%1 (%2).%3")
                                                    .arg(info.completeBaseName())
                                                    .arg(number + 1)
                                                    .arg(info.suffix()));
    OfficeResult next = appendTo(sibling, fields, kind, autoScroll);
    next.notes = result.notes + next.notes;
    if (next.ok) {
        next.notes << QStringLiteral(
                          "Файл %1 нельзя дополнить (%2): сообщения этого дня "
                          "записываются в %3")
                          .arg(QFileInfo(newest).fileName(), result.reason,
                               QFileInfo(sibling).fileName());
    }
    return next;
}

QString describe(OfficeStoreError error) {
    switch (error) {
        case OfficeStoreError::None:
            return QStringLiteral("stored");
        case OfficeStoreError::Locked:
            return QStringLiteral("open in an office program");
        case OfficeStoreError::Unreadable:
            return QStringLiteral("cannot be read");
        case OfficeStoreError::Foreign:
            return QStringLiteral("not a file of ours");
        case OfficeStoreError::Corrupt:
            return QStringLiteral("damaged");
        case OfficeStoreError::RowLimit:
            return QStringLiteral("no row left");
        case OfficeStoreError::CannotKeep:
            return QStringLiteral("holds what an append would lose");
        case OfficeStoreError::RecordTooLarge:
            return QStringLiteral("record too large");
        case OfficeStoreError::WriteFailed:
            return QStringLiteral("write failed");
    }
    return QStringLiteral("unknown");
}

}  // namespace telvane::office
