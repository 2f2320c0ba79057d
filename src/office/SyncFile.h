#pragma once
// Appending a table row to the day's document in place: the file is not rewritten, only its
// closing brace is overwritten by the new row and a new brace.

#include <QFile>
#include <QString>
#include <QStringList>

#include "office/OfficeStore.h"

namespace telvane::office {

/// Adds the record as the next row of an existing document of ours. If writing fails part-way,
/// the file is cut back to its former length and its former ending restored.
OfficeResult appendRtfRow(const QString& path, const QStringList& fields);

}  // namespace telvane::office
