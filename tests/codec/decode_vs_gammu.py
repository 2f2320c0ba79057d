"""Compares `telvane-pdu decode --json` with gammu's own PDU decoder on the captured PDUs.

Usage: decode_vs_gammu.py TELVANE_PDU CASES_TSV
Exit status 0 when all agree, 1 on a disagreement, 77 (skipped) without python3-gammu.
"""
import binascii
import json
import subprocess
import sys

try:
    import gammu
except ImportError:
    print("python3-gammu is not installed; skipping")
    sys.exit(77)

CODINGS = {
    "Default_No_Compression": "gsm7",
    "Unicode_No_Compression": "ucs2",
    "8bit": "8bit",
}
TYPES = {"Deliver": "deliver", "Status_Report": "status-report", "Submit": "submit"}


def flatten(text):
    """What the gateway stores of a text: each line break, TAB or NUL one blank."""
    text = text.replace("\r\n", " ")
    for c in "\r\n\t\0":
        text = text.replace(c, " ")
    return text


EXTENSION = set("\f^{}\\[~]|€")


def gammu_text(ours, theirs):
    """gammu 1.42 reads TP-UDL characters rather than septets, so after each extension
    character (two septets) it reads one character beyond the user data. Those trailing
    characters are its over-read, not a disagreement about the text."""
    escapes = sum(1 for c in ours if c in EXTENSION)
    if not escapes or not theirs.startswith(ours):
        return theirs
    return ours if len(theirs) - len(ours) <= escapes else theirs


def rows(path):
    with open(path, encoding="utf-8") as f:
        for line in f:
            line = line.rstrip("\n")
            if line and not line.startswith("#"):
                fields = line.split("\t")
                yield fields[0], fields[2]


def compare(name, ours, theirs):
    problems = []

    def check(what, a, b):
        if a != b:
            problems.append(f"{what}: telvane {a!r}, gammu {b!r}")

    check("type", ours["type"], TYPES.get(theirs["Type"], theirs["Type"]))
    check("smsc", ours["smsc"], theirs["SMSC"]["Number"])
    check("number", ours["number"], theirs["Number"])
    if ours["type"] != "submit":
        stamp = theirs["DateTime"]
        check("timestamp", ours["timestamp"][:17], stamp.strftime("%d.%m.%y %H:%M:%S"))
    if ours["type"] == "status-report":
        check("status", int(ours["status"], 16), theirs["DeliveryStatus"])
        return problems
    check("coding", ours["coding"], CODINGS.get(theirs["Coding"], theirs["Coding"]))
    if ours["coding"] == "8bit":
        check("text", ours["text"], binascii.hexlify(theirs["Text"]).decode().upper())
    else:
        check("text", ours["text"], gammu_text(ours["text"], flatten(theirs["Text"])))
    udh = theirs["UDH"]
    if udh["Type"] in ("ConcatenatedMessages", "ConcatenatedMessages16bit"):
        bits = 16 if udh["Type"].endswith("16bit") else 8
        expected = {
            "ref": udh["ID16bit"] if bits == 16 else udh["ID8bit"],
            "ref_bits": bits,
            "total": udh["AllParts"],
            "seq": udh["PartNumber"],
        }
        check("concat", ours["concat"], expected)
    else:
        check("concat", ours["concat"], None)
    return problems


def main():
    tool, cases = sys.argv[1], sys.argv[2]
    failures = 0
    count = 0
    for name, hexpdu in rows(cases):
        count += 1
        run = subprocess.run([tool, "decode", "--json", hexpdu], capture_output=True, text=True)
        if run.returncode != 0:
            print(f"{name}: telvane-pdu failed: {run.stderr.strip()}")
            failures += 1
            continue
        ours = json.loads(run.stdout)
        theirs = gammu.DecodePDU(binascii.unhexlify(hexpdu))
        for problem in compare(name, ours, theirs):
            print(f"{name}: {problem}")
            failures += 1
    print(f"{count} PDUs compared, {failures} disagreement(s)")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
