#!/usr/bin/python3
"""Checks telvane-pdu encode against an independent decoder: gammu (python3-gammu).

Usage: EncodeGammuOracle.py PATH-TO-telvane-pdu
Exit 0 when every row agrees, 1 on any disagreement, 77 (skip) without python3-gammu.
"""
import json
import subprocess
import sys

try:
    import gammu
except ImportError:
    print("python3-gammu is not installed: skipping")
    sys.exit(77)

TOOL = sys.argv[1]

# TS 23.038 clause 6.2.1, written out here so that the check does not lean on our own tables.
# LF and CR are left out (the gateway removes line breaks), and so is the escape at 0x1B.
GSM_DEFAULT = (
    "@£$¥èéùìòÇØøÅåΔ_ΦΓΛΩΠΨΣΘΞÆæßÉ !\"#¤%&'()*+,-./0123456789:;<=>?"
    "¡ABCDEFGHIJKLMNOPQRSTUVWXYZÄÖÑÜ§¿abcdefghijklmnopqrstuvwxyzäöñüà"
)
GSM_EXTENSION = "\f^{}\\[~]|€"

# Every character of Windows-1251 from 0x20 up (0x98 has none), as Python's codec maps them.
# Not "~": gammu doubles U+007E in UCS2 text (a Nokia escape) and then cuts the text at the
# unit count, so it would report a fault that is not ours. "~" is checked in 7-bit rows.
CP1251 = "".join(bytes([b]).decode("cp1251") for b in range(0x20, 0x100) if b not in (0x7E, 0x98))

UPPER = "А Б В Г Д Е Ё Ж З И Й К Л М Н О П Р С Т У Ф Х Ц Ч Ь Ы Ъ Ш Щ Э Ю Я".split()
LATIN = "A B V G D E E J Z I Y K L M N O P R S T U F H TS CH ' Y ' SH SCH E YU YA".split()


def transliterate(text):
    for cyr, lat in list(zip(UPPER, LATIN)) + [(c.lower(), l.lower()) for c, l in zip(UPPER, LATIN)]:
        text = text.replace(cyr, lat)
    return text


def prepared(text, latin):
    text = text.replace("\n", "").replace("\r", "").strip(" ")
    return transliterate(text) if latin else text


# name, options, number, text, expected coding, expected parts
ROWS = [
    ("GSM default alphabet", [], "79161234567", GSM_DEFAULT, "gsm7", 1),
    ("GSM extension table", [], "79161234567", GSM_EXTENSION, "gsm7", 1),
    ("dollar underscore at euro brace", [], "12345", "$_@€{", "gsm7", 1),
    ("every default and extension character, twice", [], "12345",
     (GSM_DEFAULT + GSM_EXTENSION) * 2, "gsm7", 2),
    ("Greek capitals of the alphabet", [], "12345", "ΔΦΓΛΩΠΨΣΘΞ", "gsm7", 1),
    ("Greek small letter", [], "12345", "ΔΦΓ α", "ucs2", 1),
    ("Cyrillic with Ё and №", [], "12345", "Съел Ёжик № 12, ёлки!", "ucs2", 1),
    ("mixed scripts", [], "12345", "Hello Привет Γειά 你好 😀 مرحبا", "ucs2", 1),
    ("Windows-1251 punctuation", [], "12345", "«Ёлки» — „палки“ … ‘x’ •™‰†‡€", "ucs2", 1),
    ("all of Windows-1251", [], "12345", CP1251, "ucs2", 4),
    ("no-break space", [], "12345", "a\u00a0b", "ucs2", 1),
    ("transliterated pangram", ["--latin"], "12345",
     "Съешь же ещё этих мягких французских булок, да выпей чаю", "gsm7", 1),
    ("transliterated with №", ["--latin"], "12345", "Заказ №5 ЩУКА", "ucs2", 1),
    ("line breaks and spaces", [], "12345", "  line one\r\nline two\n  ", "gsm7", 1),
    ("161 septets, reference wraps", ["--ref", "255"], "12345", "a" * 161, "gsm7", 2),
    ("escape at septet 153", ["--ref", "7"], "12345", "a" * 152 + "€" + "b" * 10, "gsm7", 2),
    ("307 septets with report", ["--report"], "12345", "x" * 307, "gsm7", 3),
    ("71 UCS2 characters", [], "12345", "Я" * 71, "ucs2", 2),
    ("surrogate pair at unit 67", [], "12345", "Д" * 66 + "😀" + "Д" * 10, "ucs2", 2),
    ("single with report", ["--report"], "12345", "ok", "gsm7", 1),
    ("own SMSC", ["--smsc", "+79168999100"], "12345", "via centre", "gsm7", 1),
    ("domestic number", [], "89161234567", "hi", "gsm7", 1),
    ("20-digit number", [], "+12345678901234567890", "hi", "gsm7", 1),
]

GAMMU_CODING = {"gsm7": "Default_No_Compression", "ucs2": "Unicode_No_Compression"}


def expected_number(number):
    digits = number.strip(" ").lstrip("+")
    if number.strip(" ")[0] == "8":
        digits = "7" + digits[1:]
    return "+" + digits


def option_value(options, name, default):
    return options[options.index(name) + 1] if name in options else default


def check(name, options, number, text, coding, count):
    out = subprocess.run([TOOL, "encode", "--json", *options, "--", number, text],
                         capture_output=True, check=False)
    if out.returncode != 0:
        return [f"exit {out.returncode}: {out.stderr.decode(errors='replace').strip()}"]
    parts = json.loads(out.stdout)
    faults = []
    if len(parts) != count:
        faults.append(f"{len(parts)} parts, expected {count}")
    reference = int(option_value(options, "--ref", "1")) % 255 + 1
    smsc = option_value(options, "--smsc", "")
    report = "--report" in options
    texts = []
    for k, part in enumerate(parts, start=1):
        pdu = bytes.fromhex(part["pdu"])
        decoded = gammu.DecodePDU(pdu, SMSC=True)
        smsc_octets = pdu[0] + 1
        first = pdu[smsc_octets]
        want_first = 0x11 | (0x40 if len(parts) > 1 else 0) | (0x20 if report and k == len(parts) else 0)
        facts = [
            ("part", part["part"], k),
            ("length", part["length"], len(pdu) - smsc_octets),
            ("coding", part["coding"], coding),
            ("gammu Type", decoded["Type"], "Submit"),
            ("gammu Coding", decoded["Coding"], GAMMU_CODING[coding]),
            ("gammu Number", decoded["Number"], expected_number(number)),
            ("gammu SMSC", decoded["SMSC"]["Number"], smsc),
            ("gammu Validity", decoded["SMSC"]["Validity"], "4D"),
            ("first octet", hex(first), hex(want_first)),
        ]
        udh = decoded["UDH"]
        if len(parts) > 1:
            facts += [
                ("UDH type", udh["Type"], "ConcatenatedMessages"),
                ("UDH reference", udh["ID8bit"], reference),
                ("UDH parts", udh["AllParts"], len(parts)),
                ("UDH part number", udh["PartNumber"], k),
            ]
        else:
            facts.append(("UDH type", udh["Type"], "NoUDH"))
        for what, got, want in facts:
            if got != want:
                faults.append(f"part {k}: {what} {got!r}, expected {want!r}")
        # python-gammu sizes the text by the septet count, so after escape pairs it carries
        # gammu's terminating NUL and whatever follows it.
        texts.append(decoded["Text"].split("\x00")[0])
    want_text = prepared(text, "--latin" in options)
    if "".join(texts) != want_text:
        faults.append(f"text {''.join(texts)!r}, expected {want_text!r}")
    return faults


def main():
    failed = 0
    for row in ROWS:
        faults = check(*row)
        print(("FAIL " if faults else "ok   ") + row[0])
        for fault in faults:
            print("     " + fault)
        failed += bool(faults)
    print(f"{len(ROWS) - failed} of {len(ROWS)} rows agree with gammu")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
