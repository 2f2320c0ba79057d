#pragma once
// The OLE2 compound-file container around the workbook stream, through libgsf.

#include <QByteArray>
#include <QString>
#include <optional>
#include <utility>
#include <vector>

namespace telvane::office {

/// Top-level streams of a compound file, by name, in directory order.
using Streams = std::vector<std::pair<QString, QByteArray>>;

struct CompoundReadResult {
    std::optional<Streams> streams;
    QString error;  ///< why the bytes are not a compound file
};

bool looksLikeCompoundFile(const QByteArray& bytes);
CompoundReadResult readCompoundFile(const QByteArray& bytes);
/// nullopt when libgsf fails to build the container.
std::optional<QByteArray> writeCompoundFile(const Streams& streams);

}  // namespace telvane::office
