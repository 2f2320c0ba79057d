#include "office/OfficeStore.h"

#include <QFileInfo>

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

std::optional<OfficeResult> checkNotLocked(const QString& path) {
    if (const auto lock = findOfficeLockFile(path)) {
        return OfficeResult::failure(
            OfficeStoreError::Locked,
            QStringLiteral("%1 is open in an office program (lock file %2)")
                .arg(path, QFileInfo(*lock).fileName()));
    }
    return std::nullopt;
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

}  // namespace

OfficeResult appendRecordToWorkbook(const QString& path, const QStringList& fields,
                                    bool autoScroll) {
    if (auto locked = checkNotLocked(path)) {
        return *locked;
    }
    Workbook workbook;
    Streams otherStreams;
    if (QFileInfo::exists(path)) {
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
        const QByteArray* stream = nullptr;
        for (const auto& [name, data] : *container.streams) {
            if (name == kWorkbookStream) {
                stream = &data;
            } else {
                // Document properties and the like go along unchanged.
                otherStreams.emplace_back(name, data);
            }
        }
        if (stream == nullptr) {
            return foreign(path, QStringLiteral("it has no \"Workbook\" stream (another document "
                                                "type, or an Excel file older than 97)"));
        }
        BiffReadResult parsed = readBiff8(*stream);
        if (!parsed.workbook) {
            return OfficeResult::failure(
                OfficeStoreError::Corrupt,
                QStringLiteral("%1: damaged workbook at offset %2 of its Workbook stream: %3")
                    .arg(path)
                    .arg(parsed.error.offset)
                    .arg(parsed.error.what));
        }
        workbook = std::move(*parsed.workbook);
    } else {
        workbook = newMessageWorkbook();
    }

    if (OfficeResult added = appendMessageRow(workbook, fields, autoScroll); !added.ok) {
        added.reason = QStringLiteral("%1: %2").arg(path, added.reason);
        return added;
    }
    Streams streams{{kWorkbookStream, writeBiff8(workbook)}};
    streams.insert(streams.end(), otherStreams.begin(), otherStreams.end());
    const std::optional<QByteArray> bytes = writeCompoundFile(streams);
    if (!bytes) {
        return OfficeResult::failure(
            OfficeStoreError::WriteFailed,
            QStringLiteral("%1: cannot build the compound file").arg(path));
    }
    return replaceFile(path, *bytes);
}

OfficeResult appendRecordToDocument(const QString& path, const QStringList& fields) {
    if (auto locked = checkNotLocked(path)) {
        return *locked;
    }
    if (QFileInfo::exists(path)) {
        return appendRtfRow(path, fields);
    }
    QByteArray document = newRtfDocument();
    const RtfLayout layout = *locateRtfTable(document).layout;
    document.insert(static_cast<qsizetype>(layout.insertAt),
                    rtfRow(static_cast<long long>(layout.rows), fields));
    return replaceFile(path, document);
}

void CloseOfficeFile() {}

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
        case OfficeStoreError::RecordTooLarge:
            return QStringLiteral("record too large");
        case OfficeStoreError::WriteFailed:
            return QStringLiteral("write failed");
    }
    return QStringLiteral("unknown");
}

}  // namespace telvane::office
