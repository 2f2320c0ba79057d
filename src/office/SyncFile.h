#pragma once
// Appending a table row to the day's document in place: the file is not rewritten, only the
// new row goes in before its closing brace.

#include <QString>
#include <QStringList>

#include "office/OfficeStore.h"

namespace telvane::office {

/// Adds the record as the next row of an existing document of ours. If writing fails part-way,
/// the document is put back as it was.
OfficeResult appendRtfRow(const QString& path, const QStringList& fields);

}  // namespace telvane::office
