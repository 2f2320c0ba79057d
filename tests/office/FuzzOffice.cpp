// libFuzzer target: any bytes as a Workbook stream and as the day's document give a workbook, a
// table layout or an error, never a crash; a layout points at the document's closing brace; a
// row appended to a stream that reads gives a stream that reads back with that row, or an error.
#include <cstdlib>

#include "office/Biff8.h"
#include "office/MessageSheet.h"
#include "office/RtfTable.h"

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size) {
    using namespace telvane::office;
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const BiffReadResult workbook = readBiff8(bytes);
    if (workbook.workbook) {
        for (const Sheet& sheet : workbook.workbook->sheets)
            for (const auto& [at, cell] : sheet.cells) (void)cell.text.size();
        AppendedRow row;
        if (planMessageRow(workbook.workbook->sheets.front(), {"t", "n", "text"}, true, row).ok) {
            const BiffAppendResult appended = appendRowToBiff8(bytes, row);
            if (appended.stream) {
                const BiffReadResult again = readBiff8(*appended.stream);
                if (!again.workbook || !again.workbook->sheets.front().cells.contains({row.row, 3}))
                    std::abort();
            } else if (appended.error.what.isEmpty()) {
                std::abort();
            }
        }
    } else if (workbook.error.what.isEmpty()) {
        std::abort();
    }
    const RtfLayoutResult document = locateRtfTable(bytes);
    if (document.layout
            ? document.layout->insertAt >= size || data[document.layout->insertAt] != '}'
            : document.error.isEmpty())
        std::abort();
    return 0;
}
