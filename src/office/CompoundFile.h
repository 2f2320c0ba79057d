#pragma once
// The OLE2 compound-file container around the workbook stream, through libgsf.

#include <QByteArray>
#include <QString>
#include <optional>
#include <vector>

namespace telvane::office {

/// A stream or storage (folder) of a compound file. Everything is kept, so that what another
/// program stored beside the workbook (macros, embedded objects) is written back as it was.
struct CompoundEntry {
    QString path;     ///< "Workbook"; inside storages "_VBA_PROJECT_CUR/VBA/dir"
    QByteArray data;  ///< a stream's bytes
    bool storage = false;
    QByteArray classId{};  ///< a storage's CLSID (the root's has the empty path), when not zero
};
/// The entries of a compound file, each storage before what it holds, in directory order.
using Streams = std::vector<CompoundEntry>;

struct CompoundReadResult {
    std::optional<Streams> streams;
    QString error;  ///< why the bytes are not a compound file
};

bool looksLikeCompoundFile(const QByteArray& bytes);
CompoundReadResult readCompoundFile(const QByteArray& bytes);
/// nullopt when libgsf fails to build the container.
std::optional<QByteArray> writeCompoundFile(const Streams& streams);

}  // namespace telvane::office
