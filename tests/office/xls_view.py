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


def raw_facts(path, first_visible_row):
    """What xlrd does not tell, read straight from the file: the first sheet's active cell (its
    SELECTION record), its charts, whether its INDEX and DBCELL records point where they should,
    and the other streams and storages of the file."""
    with open(path, "rb") as f:
        compound = xlrd.compdoc.CompDoc(f.read(), logfile=open("/dev/null", "w"))
    stream = compound.get_named_stream("Workbook")
    u16, u32 = (lambda at: struct.unpack_from("<H", stream, at)[0],
                lambda at: struct.unpack_from("<I", stream, at)[0])
    found = list(records(stream, next(u32(at) for kind, at, _ in records(stream, 0)
                                      if kind == 0x0085)))  # BOUNDSHEET
    kinds = {at - 4: kind for kind, at, depth in found if depth == 1}
    at = next(at for kind, at, depth in found if kind == 0x001D and depth == 1)  # SELECTION
    yield f"selected: {u16(at + 1)} {u16(at + 3)} first visible row: {first_visible_row}"
    charts = sum(1 for kind, at, depth in found if kind == 0x0809 and depth == 2)
    yield f"charts: {charts}" if charts else None
    index = next((at for kind, at, _ in found if kind == 0x020B), None)
    if index is not None:
        dbcells = [u32(index + 16 + 4 * k) for k in range((u16(index - 2) - 16) // 4)]
        wrong = [] if kinds.get(u32(index + 12)) == 0x0055 else ["DEFCOLWIDTH"]  # DEFCOLWIDTH
        for dbcell in dbcells:  # its first ROW, then the first cell of each row of its block
            row_at = cursor = dbcell - u32(dbcell + 4)
            cursor += 20
            for k in range((u16(dbcell + 2) - 4) // 2):
                cursor += u16(dbcell + 8 + 2 * k)
                if kinds.get(row_at + 20 * k) != 0x0208 or cursor != dbcell and (
                        cursor not in kinds or u16(cursor + 4) != u16(row_at + 20 * k + 4)):
                    wrong.append(f"DBCELL at {dbcell}")
                    break
        yield f"row blocks: {len(dbcells)}, " + (
            ", ".join(wrong) + " wrong" if wrong else "consistent")
    entries = sorted(f"{d.name.encode('unicode_escape').decode()} {d.tot_size}"
                     for d in compound.dirlist if d.etype in (1, 2) and d.name != "Workbook")
    yield "other entries: " + ", ".join(entries) if entries else None


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
    for line in raw_facts(path, sheet.first_visible_rowx):
        if line:
            print(line)
    for other in book.sheets()[1:]:
        for r in range(other.nrows):
            print(f"{other.name} row {r}:", "\t".join(shown(c) for c in other.row(r)))


if __name__ == "__main__":
    main(sys.argv[1])
