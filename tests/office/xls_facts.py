"""Prints what xlrd, an independent BIFF reader, finds in a workbook, as JSON for the C++ tests."""
import json
import struct
import sys

import xlrd
import xlrd.compdoc


def cell_format(book, xf_index):
    xf = book.xf_list[xf_index]
    return {
        "bold": bool(book.font_list[xf.font_index].bold),
        "right": xf.border.right_line_style,
        "bottom": xf.border.bottom_line_style,
        "align": xf.alignment.hor_align,
    }


def selected_cell(path):
    """The active cell of the first sheet, read straight from its SELECTION record."""
    with open(path, "rb") as f:
        doc = xlrd.compdoc.CompDoc(f.read(), logfile=open("/dev/null", "w"))
    stream = doc.get_named_stream("Workbook")
    pos, sheet = 0, None
    while pos + 4 <= len(stream):
        kind, size = struct.unpack_from("<HH", stream, pos)
        if kind == 0x0085 and sheet is None:
            sheet = struct.unpack_from("<I", stream, pos + 4)[0]
        if kind == 0x000A:
            break
        pos += 4 + size
    pos = sheet
    while pos + 4 <= len(stream):
        kind, size = struct.unpack_from("<HH", stream, pos)
        if kind == 0x001D:
            row, col = struct.unpack_from("<HH", stream, pos + 5)
            return [row, col]
        if kind == 0x000A:
            break
        pos += 4 + size
    return None


def main(path):
    book = xlrd.open_workbook(path, formatting_info=True)
    sheet = book.sheet_by_index(0)
    rows = []
    for r in range(sheet.nrows):
        rows.append([{"type": c.ctype, "value": c.value} for c in sheet.row(r)])
    columns = []
    for c in range(min(4, sheet.ncols)):
        info = sheet.colinfo_map.get(c)
        column = {"width": info.width if info else None}
        if info:
            column.update(cell_format(book, info.xf_index))
        columns.append(column)
    formats = [[cell_format(book, sheet.cell_xf_index(r, c)) for c in range(sheet.ncols)]
               for r in range(sheet.nrows)]
    json.dump({
        "sheets": book.sheet_names(),
        "rows": rows,
        "formats": formats,
        "columns": columns,
        "firstVisibleRow": sheet.first_visible_rowx,
        "selected": selected_cell(path),
    }, sys.stdout, ensure_ascii=False)


if __name__ == "__main__":
    main(sys.argv[1])
