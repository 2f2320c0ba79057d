#include "office/SyncFile.h"

#include <cerrno>
#include <cstring>

#include "office/RtfTable.h"
#include "storage/SyncFile.h"

namespace telvane::office {

OfficeResult appendRtfRow(const QString& path, const QStringList& fields) {
    QFile file(path);
    if (!file.open(QIODevice::ReadWrite)) {
        return OfficeResult::failure(
            OfficeStoreError::WriteFailed,
            QStringLiteral("cannot open %1 for writing: %2").arg(path, file.errorString()));
    }
    const QByteArray document = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        return OfficeResult::failure(
            OfficeStoreError::Unreadable,
            QStringLiteral("cannot read %1: %2").arg(path, file.errorString()));
    }
    const RtfLayoutResult located = locateRtfTable(document);
    if (!located.layout) {
        const bool binaryWord = document.startsWith("\xD0\xCF\x11\xE0");
        return OfficeResult::failure(
            OfficeStoreError::Foreign,
            QStringLiteral("%1 is not a document of ours: %2")
                .arg(path, binaryWord ? QStringLiteral("it is a binary (Word 97-2003) document")
                                      : located.error));
    }
    const qint64 at = static_cast<qint64>(located.layout->insertAt);
    const QByteArray formerTail = document.mid(at);
    const QByteArray addition =
        rtfRow(static_cast<long long>(located.layout->rows), fields) + formerTail;

    QString why;
    if (!file.seek(at)) {
        why = file.errorString();
    } else if (file.write(addition) != addition.size() || !storage::syncToDisk(file)) {
        // Qt leaves "Unknown error" for a short write; the system's errno says what happened.
        why = QString::fromLocal8Bit(std::strerror(errno));
        // Put the former ending back and drop whatever part of the row got through, so that the
        // document stays as it was and the record can be stored on the next attempt.
        file.unsetError();
        const bool restored = file.resize(document.size()) && file.seek(at) &&
                              file.write(formerTail) == formerTail.size() &&
                              storage::syncToDisk(file);
        if (!restored) {
            why +=
                QStringLiteral("; restoring the former ending failed too: ") + file.errorString();
        }
    }
    if (!why.isEmpty()) {
        return OfficeResult::failure(OfficeStoreError::WriteFailed,
                                     QStringLiteral("cannot append to %1: %2").arg(path, why));
    }
    return OfficeResult::success();
}

}  // namespace telvane::office
