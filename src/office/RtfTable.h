#pragma once
// The day's document as RTF: one table of four columns at the start, a header row and one row
// per message, with nothing after the last row but the closing brace. New rows therefore go in
// place of that brace.

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <cstddef>
#include <optional>

namespace telvane::office {

inline constexpr int kTableColumns = 4;

/// A new document holding the header row only, ended by the closing brace.
QByteArray newRtfDocument();

/// One table row: @p number in the first cell, then the fields (missing ones empty, those
/// beyond the third dropped). Non-ASCII characters become \uN? escapes.
QByteArray rtfRow(long long number, const QStringList& fields);

/// Where a new row goes in a document of ours, and how many rows it holds.
struct RtfLayout {
    std::size_t insertAt = 0;  ///< offset of the closing brace
    std::size_t rows = 0;      ///< table rows, the header included
};

struct RtfLayoutResult {
    std::optional<RtfLayout> layout;
    QString error;  ///< why the bytes are not a document the gateway wrote
};

RtfLayoutResult locateRtfTable(const QByteArray& document);

}  // namespace telvane::office
