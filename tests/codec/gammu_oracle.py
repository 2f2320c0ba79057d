#!/usr/bin/python3
"""telvane-pdu against an independent PDU codec, gammu (python3-gammu), both ways:
  gammu_oracle.py decode TELVANE_PDU CASES_TSV   our decoding of the captures vs gammu's
  gammu_oracle.py encode TELVANE_PDU             gammu decodes what we encode
Exit 0 when all agree, 1 on a disagreement, 77 (skipped) without python3-gammu.
"""
import binascii
import json
import subprocess
import sys

try:
    import gammu
except ImportError:
    print("python3-gammu is not installed: skipping")
    sys.exit(77)

CODINGS = {"Default_No_Compression": "gsm7", "Unicode_No_Compression": "ucs2", "8bit": "8bit"}
TYPES = {"Deliver": "deliver", "Status_Report": "status-report", "Submit": "submit"}

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

# name, options, number, text, expected coding, expected parts[, the text the recipient reads
# when it is not the text as given]
ENCODE_ROWS = [
    ("GSM default alphabet", [], "79161234567", GSM_DEFAULT, "gsm7", 1),
    ("GSM extension table", [], "79161234567", GSM_EXTENSION, "gsm7", 1),
    ("every default and extension character, twice", [], "12345",
     (GSM_DEFAULT + GSM_EXTENSION) * 2, "gsm7", 2),
    ("Greek small letter", [], "12345", "ΔΦΓ α", "ucs2", 1),
    ("Cyrillic with Ё and №", [], "12345", "Съел Ёжик № 12, ёлки!", "ucs2", 1),
    ("mixed scripts", [], "12345", "Hello Привет Γειά 你好 😀 مرحبا", "ucs2", 1),
    ("Windows-1251 punctuation", [], "12345", "«Ёлки» — „палки“ … ‘x’ •™‰†‡€", "ucs2", 1),
    ("all of Windows-1251", [], "12345", CP1251, "ucs2", 4),
    ("no-break space", [], "12345", "a\u00a0b", "ucs2", 1),
    ("transliterated pangram", ["--latin"], "12345",
     "Съешь же ещё этих мягких французских булок, да выпей чаю", "gsm7", 1,
     "S'esh' je esche etih myagkih frantsuzskih bulok, da vypey chayu"),
    ("transliterated with №", ["--latin"], "12345", "Заказ №5 ЩУКА", "ucs2", 1, "Zakaz №5 SCHUKA"),
    ("line breaks and spaces", [], "12345", "  line one\r\nline two\n  ", "gsm7", 1),
    ("161 septets, reference wraps", ["--ref", "255"], "12345", "a" * 161, "gsm7", 2),
    ("escape at septet 153", ["--ref", "7"], "12345", "a" * 152 + "€" + "b" * 10, "gsm7", 2),
    ("307 septets with report", ["--report"], "12345", "x" * 307, "gsm7", 3),
    ("71 UCS2 characters", [], "12345", "Я" * 71, "ucs2", 2),
    ("surrogate pair at unit 67", [], "12345", "Д" * 66 + "😀" + "Д" * 10, "ucs2", 2),
    ("single with report", ["--report"], "12345", "ok", "gsm7", 1),
    ("own SMSC", ["--smsc", "+79168999100"], "12345", "via centre", "gsm7", 1),
    ("domestic number", [], "89161234567", "hi", "gsm7", 1),
    ("Chinese number starting with 8", [], "8613800138000", "hi", "gsm7", 1),
    ("short code", [], "1234", "hi", "gsm7", 1),
    ("short code written with +", [], "+1234", "hi", "gsm7", 1),
    ("20-digit number", [], "+12345678901234567890", "hi", "gsm7", 1),
]


def flatten(text):
    """What the gateway stores of a text: each line break, TAB or NUL one blank."""
    text = text.replace("\r\n", " ")
    for c in "\r\n\t\0":
        text = text.replace(c, " ")
    return text


def number_as_sent(number):
    """The destination as the recipient's network sees it: the domestic 8 of an 11-digit
    number becomes 7, 3 to 6 digits are a short code (no "+": type unknown), everything else
    is international as written."""
    written = number.strip(" ")
    digits = written.lstrip("+")
    if written.startswith("+"):
        return "+" + digits
    if len(digits) == 11 and digits[0] == "8":
        return "+7" + digits[1:]
    return digits if 3 <= len(digits) <= 6 else "+" + digits


def gammu_text(ours, theirs):
    """gammu 1.42 reads TP-UDL characters rather than septets, so after each extension
    character (two septets) it reads one character beyond the user data. Those trailing
    characters are its over-read, not a disagreement about the text."""
    escapes = sum(1 for c in ours if c in GSM_EXTENSION)
    if not escapes or not theirs.startswith(ours):
        return theirs
    return ours if len(theirs) - len(ours) <= escapes else theirs


def concat_of(udh):
    if udh["Type"] not in ("ConcatenatedMessages", "ConcatenatedMessages16bit"):
        return None
    bits = 16 if udh["Type"].endswith("16bit") else 8
    return {"ref": udh["ID16bit"] if bits == 16 else udh["ID8bit"], "ref_bits": bits,
            "total": udh["AllParts"], "seq": udh["PartNumber"]}


def decode_facts(ours, theirs):
    """(what, telvane, gammu) for one received PDU."""
    facts = [("type", ours["type"], TYPES.get(theirs["Type"], theirs["Type"])),
             ("smsc", ours["smsc"], theirs["SMSC"]["Number"]),
             ("number", ours["number"], theirs["Number"])]
    if ours["type"] != "submit":
        facts.append(("timestamp", ours["timestamp"][:17],
                      theirs["DateTime"].strftime("%d.%m.%y %H:%M:%S")))
    if ours["type"] == "status-report":
        return facts + [("status", int(ours["status"], 16), theirs["DeliveryStatus"])]
    if ours["coding"] == "8bit":
        text = binascii.hexlify(theirs["Text"]).decode().upper()
    else:
        text = gammu_text(ours["text"], flatten(theirs["Text"]))
    return facts + [("coding", ours["coding"], CODINGS.get(theirs["Coding"], theirs["Coding"])),
                    ("text", ours["text"], text), ("concat", ours["concat"], concat_of(theirs["UDH"]))]


def decode_rows(tool, path):
    with open(path, encoding="utf-8") as f:
        for line in f:
            if line.strip() and not line.startswith("#"):
                name, _, hexpdu = line.rstrip("\n").split("\t")[:3]
                run = subprocess.run([tool, "decode", "--json", hexpdu], capture_output=True,
                                     text=True)
                if run.returncode != 0:
                    yield name, [f"telvane-pdu failed: {run.stderr.strip()}"]
                    continue
                facts = decode_facts(json.loads(run.stdout), gammu.DecodePDU(bytes.fromhex(hexpdu)))
                yield name, [f"{w}: telvane {a!r}, gammu {b!r}" for w, a, b in facts if a != b]


def option(options, name, default):
    return options[options.index(name) + 1] if name in options else default


def encode_faults(tool, options, number, text, coding, count, read=None):
    out = subprocess.run([tool, "encode", "--json", *options, "--", number, text],
                         capture_output=True, check=False)
    if out.returncode != 0:
        return [f"exit {out.returncode}: {out.stderr.decode(errors='replace').strip()}"]
    parts = json.loads(out.stdout)
    faults = [] if len(parts) == count else [f"{len(parts)} parts, expected {count}"]
    want_number = number_as_sent(number)
    report = "--report" in options
    texts = []
    for k, part in enumerate(parts, start=1):
        pdu = bytes.fromhex(part["pdu"])
        decoded = gammu.DecodePDU(pdu, SMSC=True)
        smsc_octets = pdu[0] + 1
        long = len(parts) > 1
        facts = [
            ("part", part["part"], k),
            ("length", part["length"], len(pdu) - smsc_octets),
            ("coding", part["coding"], coding),
            ("gammu Type", decoded["Type"], "Submit"),
            ("gammu Coding", CODINGS.get(decoded["Coding"]), coding),
            ("gammu Number", decoded["Number"], want_number),
            ("gammu SMSC", decoded["SMSC"]["Number"], option(options, "--smsc", "")),
            ("gammu Validity", decoded["SMSC"]["Validity"], "4D"),
            ("first octet", hex(pdu[smsc_octets]),
             hex(0x11 | (0x40 if long else 0) | (0x20 if report and k == len(parts) else 0))),
            ("UDH", concat_of(decoded["UDH"]) if long else decoded["UDH"]["Type"],
             {"ref": int(option(options, "--ref", "1")) % 255 + 1, "ref_bits": 8,
              "total": len(parts), "seq": k} if long else "NoUDH"),
        ]
        faults += [f"part {k}: {what} {got!r}, expected {want!r}" for what, got, want in facts
                   if got != want]
        # python-gammu sizes the text by the septet count, so after escape pairs it carries
        # gammu's terminating NUL and whatever follows it.
        texts.append(decoded["Text"].split("\x00")[0])
    want_text = read or text.replace("\n", "").replace("\r", "").strip(" ")
    if "".join(texts) != want_text:
        faults.append(f"text {''.join(texts)!r}, expected {want_text!r}")
    return faults


def main():
    mode, tool = sys.argv[1], sys.argv[2]
    if mode == "decode":
        results = list(decode_rows(tool, sys.argv[3]))
    else:
        results = [(row[0], encode_faults(tool, *row[1:])) for row in ENCODE_ROWS]
    failed = 0
    for name, faults in results:
        for fault in faults:
            print(f"FAIL {name}: {fault}")
        failed += bool(faults)
    print(f"{len(results) - failed} of {len(results)} rows agree with gammu")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
