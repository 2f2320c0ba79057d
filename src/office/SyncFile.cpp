#include "office/SyncFile.h"

#include "office/RtfTable.h"
#include "storage/DurableFile.h"

namespace telvane::office {

OfficeResult appendRtfRow(const QString& path, const QStringList& fields) {
    const storage::ReadResult read = storage::readOwnFile(path);
    if (!read.ok()) {
        return OfficeResult::failure(OfficeStoreError::Unreadable,
                                     QStringLiteral("cannot read %1").arg(read.error));
    }
    const QByteArray& document = read.bytes;
    const RtfLayoutResult located = locateRtfTable(document);
    if (!located.layout) {
        const bool binaryWord = document.startsWith("\xD0\xCF\x11\xE0");
        return OfficeResult::failure(
            OfficeStoreError::Foreign,
            QStringLiteral("%1 is not a document of ours: %2")
                .arg(path, binaryWord ? QStringLiteral("it is a binary (Word 97-2003) document")
                                      : located.error));
    }
    // Only the row goes in, before the closing brace; a failed write is undone, so that the
    // record can be stored on the next attempt.
    const storage::WriteResult written = storage::insertDurably(
        path, static_cast<qint64>(located.layout->insertAt),
        rtfRow(static_cast<long long>(located.layout->rows), fields), document.size());
    if (!written.ok) {
        return OfficeResult::failure(OfficeStoreError::WriteFailed,
                                     QStringLiteral("cannot append to %1").arg(written.error));
    }
    return OfficeResult::success();
}

}  // namespace telvane::office
