"""What xlrd, an independent BIFF reader, finds in a workbook, as text to compare with a stored
view: the sheets, the columns' widths and formats, each row's cells (a format line wherever it
changes), the selected cell and the first visible row, the charts, the other streams and
storages of the file; then the cells of the other sheets. Long texts are shown by their start and length; formulas by their last value."""
import struct
import sys

import xlrd
import xlrd.compdoc

LINES = {0: "none", 1: "thin", 2: "medium", 5: "thick"}
TYPES = {xlrd.XL_CELL_EMPTY: "", xlrd.XL_CELL_BLANK: ""}


def cell_format(book, xf_index):
    xf = book.xf_list[xf_index]
    font = book.font_list[xf.font_index]
    bold = "bold " if font.weight >= 700 else ""
    colour = f" colour={font.colour_index}" if font.colour_index not in (0x7FFF, 8) else ""
    fill = f" fill={xf.background.pattern_colour_index}" if xf.background.fill_pattern else ""
    return (f"{bold}right={LINES.get(xf.border.right_line_style)} "
            f"bottom={LINES.get(xf.border.bottom_line_style)} align={xf.alignment.hor_align}"
            f"{colour}{fill}")


def shown(cell):
    if cell.ctype in TYPES:
        return TYPES[cell.ctype]
    if cell.ctype == xlrd.XL_CELL_NUMBER:
        return f"#{cell.value:.15g}"
    text = str(cell.value)
    return text if len(text) <= 60 else f"{text[:20]}...({len(text)} characters)"


def records(stream, start):
    """The records of one substream; those of a substream inside it (a chart) as depth 2."""
    pos, depth = start, 0
    while pos + 4 <= len(stream):
        kind, size = struct.unpack_from("<HH", stream, pos)
        depth += kind == 0x0809  # BOF
        yield kind, pos + 4, depth
        depth -= kind == 0x000A  # EOF
        if depth == 0:
            return
        pos += 4 + size


def first_sheet(path):
    """The active cell of the first sheet, read straight from its SELECTION record, and the
    charts inside the sheet."""
    with open(path, "rb") as f:
        compound = xlrd.compdoc.CompDoc(f.read(), logfile=open("/dev/null", "w"))
    stream = compound.get_named_stream("Workbook")
    entries = sorted(f"{d.name.encode('unicode_escape').decode()} {d.tot_size}"
                     for d in compound.dirlist if d.etype in (1, 2) and d.name != "Workbook")
    sheet = next(struct.unpack_from("<I", stream, at)[0] for kind, at, _ in records(stream, 0)
                 if kind == 0x0085)  # BOUNDSHEET
    found = list(records(stream, sheet))
    selected = next(struct.unpack_from("<HH", stream, at + 1) for kind, at, depth in found
                    if kind == 0x001D and depth == 1)  # SELECTION
    charts = sum(1 for kind, at, depth in found if kind == 0x0809 and depth == 2)
    return selected, charts, row_blocks(stream, found), entries


def row_blocks(stream, found):
    """Whether the INDEX record points at DEFCOLWIDTH and at each DBCELL, and each DBCELL at its
    first ROW record and the first cell of each row; None without an INDEX."""
    kinds = {at - 4: kind for kind, at, depth in found if depth == 1}
    index = next((at for kind, at, _ in found if kind == 0x020B), None)
    if index is None:
        return None
    size = struct.unpack_from("<H", stream, index - 2)[0]
    def_col_width, *dbcells = struct.unpack_from(f"<{(size - 12) // 4}I", stream, index + 12)
    wrong = [] if kinds.get(def_col_width) == 0x0055 else ["DEFCOLWIDTH"]
    for dbcell in dbcells:
        first_row = dbcell - struct.unpack_from("<I", stream, dbcell + 4)[0]
        size = struct.unpack_from("<H", stream, dbcell + 2)[0]
        rows = [first_row + 20 * k for k in range((size - 4) // 2)]
        cursor = first_row + 20
        for row_at, step in zip(rows, struct.unpack_from(f"<{len(rows)}H", stream, dbcell + 8)):
            cursor += step
            row = struct.unpack_from("<H", stream, row_at + 4)[0]
            if kinds.get(row_at) != 0x0208 or (cursor != dbcell and (
                    kinds.get(cursor) is None or struct.unpack_from("<H", stream, cursor + 4)[0]
                    != row)):
                wrong.append(f"DBCELL at {dbcell}, row {row}")
                break
    return f"{len(dbcells)}, " + (", ".join(wrong) + " wrong" if wrong else "consistent")


def main(path):
    book = xlrd.open_workbook(path, formatting_info=True)
    sheet = book.sheet_by_index(0)
    print("sheets:", ", ".join(book.sheet_names()))
    for c in range(sheet.ncols):
        info = sheet.colinfo_map.get(c)
        if c >= 4 and not info:
            continue
        print(f"column {c}:", f"width {info.width // 256} {cell_format(book, info.xf_index)}"
              if info else "default")
    last = None
    for r in range(sheet.nrows):
        formats = " | ".join(cell_format(book, sheet.cell_xf_index(r, c)) for c in range(4))
        if formats != last:
            print("format:", formats)
            last = formats
        print(f"row {r}:", "\t".join(shown(c) for c in sheet.row(r)))
    selected, charts, blocks, entries = first_sheet(path)
    print("selected:", *selected, "first visible row:", sheet.first_visible_rowx)
    if charts:
        print("charts:", charts)
    if blocks:
        print("row blocks:", blocks)
    if entries:
        print("other entries:", ", ".join(entries))
    for other in book.sheets()[1:]:
        for r in range(other.nrows):
            print(f"{other.name} row {r}:", "\t".join(shown(c) for c in other.row(r)))


if __name__ == "__main__":
    main(sys.argv[1])
