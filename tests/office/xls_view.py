"""What xlrd, an independent BIFF reader, finds in a workbook, as text to compare with a stored
view: the sheets, the columns' widths and formats, each row's cells (a format line wherever it
changes), the selected cell and the first visible row. Long texts are shown by their start and
length."""
import struct
import sys

import xlrd
import xlrd.compdoc

LINES = {0: "none", 1: "thin", 2: "medium", 5: "thick"}
TYPES = {xlrd.XL_CELL_EMPTY: "", xlrd.XL_CELL_BLANK: ""}


def cell_format(book, xf_index):
    xf = book.xf_list[xf_index]
    bold = "bold " if book.font_list[xf.font_index].bold else ""
    return (f"{bold}right={LINES.get(xf.border.right_line_style)} "
            f"bottom={LINES.get(xf.border.bottom_line_style)} align={xf.alignment.hor_align}")


def shown(cell):
    if cell.ctype in TYPES:
        return TYPES[cell.ctype]
    if cell.ctype == xlrd.XL_CELL_NUMBER:
        return f"#{cell.value:.15g}"
    text = str(cell.value)
    return text if len(text) <= 60 else f"{text[:20]}...({len(text)} characters)"


def records(stream, start):
    pos = start
    while pos + 4 <= len(stream):
        kind, size = struct.unpack_from("<HH", stream, pos)
        yield kind, pos + 4
        if kind == 0x000A:  # EOF
            return
        pos += 4 + size


def selected_cell(path):
    """The active cell of the first sheet, read straight from its SELECTION record."""
    with open(path, "rb") as f:
        stream = xlrd.compdoc.CompDoc(f.read(), logfile=open("/dev/null", "w")).get_named_stream(
            "Workbook")
    sheet = next(struct.unpack_from("<I", stream, at)[0] for kind, at in records(stream, 0)
                 if kind == 0x0085)  # BOUNDSHEET
    return next((struct.unpack_from("<HH", stream, at + 1) for kind, at in records(stream, sheet)
                 if kind == 0x001D), None)  # SELECTION


def main(path):
    book = xlrd.open_workbook(path, formatting_info=True)
    sheet = book.sheet_by_index(0)
    print("sheets:", ", ".join(book.sheet_names()))
    for c in range(min(4, sheet.ncols)):
        info = sheet.colinfo_map.get(c)
        print(f"column {c}:", f"width {info.width // 256} {cell_format(book, info.xf_index)}"
              if info else "default")
    last = None
    for r in range(sheet.nrows):
        formats = " | ".join(cell_format(book, sheet.cell_xf_index(r, c)) for c in range(4))
        if formats != last:
            print("format:", formats)
            last = formats
        print(f"row {r}:", "\t".join(shown(c) for c in sheet.row(r)))
    print("selected:", *selected_cell(path), "first visible row:", sheet.first_visible_rowx)


if __name__ == "__main__":
    main(sys.argv[1])
