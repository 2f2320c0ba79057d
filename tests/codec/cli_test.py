#!/usr/bin/python3
"""Command line of telvane-pdu: exit codes, output lines, one-line errors.

Usage: cli_test.py PATH-TO-telvane-pdu
"""
import json
import os
import re
import subprocess
import sys
import tempfile

HELLO = "07912143658709F1040B912143658709F100006221501270032105C8329BFD06"
PART = "07912143658709F1440B912143658709F10000622150127003210F0500035A0302E061391D44BFBF01"
REPORT = "07912143658709F1062A0B912143658709F1622150127003216221501270032146"
CRLF = ("07919730071111F1000B919730214365F70000423090415070001DCCB4BB0C7ABBCB0D0533ED2E83E8F7B7"
        "828E9697CB0DF3BB2E07")
HELLO_JSON = {"type": "deliver", "smsc": "+12345678901", "number": "+12345678901",
              "timestamp": "05.12.26 21:07:30 +03:00", "coding": "gsm7", "text": "Hello",
              "concat": None, "status": None}
ENCODED = re.compile(rb"^(\d+) ([0-9A-F]+)$")

# Accepted: (arguments, expected stdout, or for encode the number of "LENGTH PDU" lines and
# optionally the first of them).
ACCEPTED = [
    (["decode", HELLO], "05.12.26 21:07:30\t+12345678901\tHello\n"),
    (["decode", PART], "HEADER$5A-3$2*05.12.26 21:07:30\t+12345678901\tpart two\n"),
    (["decode", REPORT],
     "05.12.26 21:07:30\t+12345678901\tОтчет о доставке: Удалено +12345678901\n"),
    (["decode", CRLF], "09.03.24 14:05:07\t+79031234567\tLine one Line two three four\n"),
    (["encode", "12345", "abc"], (1, b"14 00110005912143F50000AA0361F118")),
    (["encode", "--smsc", "+79168999100", "12345", "abc"],
     (1, b"14 07919761989901F0110005912143F50000AA0361F118")),
    (["encode", "--report", "--ref", "255", "12345", "a" * 307], (3, None)),
    (["encode", "--latin", "89161234567", "Привет"], (1, None)),
    (["encode", "--", "12345", "-5 degrees"], (1, None)),
]

# Refused: (arguments, words the one line on stderr must hold); exit 1 and nothing on stdout.
REFUSED = [
    (["decode", "XYZ"], ["hex", "offset 0", "'X'"]),
    (["decode", "0791"], ["SMSC address", "offset 1"]),
    (["decode", HELLO[:-2]], ["TP-UD", "TP-UDL 5"]),
    (["decode", HELLO[:-1]], ["odd"]),
    (["decode"], ["no PDU"]),
    (["decode", HELLO, HELLO], ["more than one"]),
    (["decode", "--xml", HELLO], ["--xml"]),
    (["encode", "12a45", "hi"], ["number", "offset 2"]),
    (["encode", "12345", "   "], ["text", "empty"]),
    (["encode", "--smsc", "+7(916)", "12345", "hi"], ["SMSC", "offset 2"]),
    (["encode", "12345", "a" * (255 * 153 + 1)], []),
    (["encode", "12345", b"caf\xe9"], ["UTF-8"]),  # Latin-1
    # Usage errors: the error line, then the usage line.
    (["encode", "12345"], ["expected NUMBER and TEXT", "usage:"]),
    (["encode"], ["expected NUMBER and TEXT", "usage:"]),
    (["encode", "--foo", "12345", "hi"], ["--foo", "usage:"]),
    (["encode", "--ref", "x", "12345", "hi"], ["'x'", "usage:"]),
    (["encode", "12345", "hi", "--smsc"], ["--smsc needs a value", "usage:"]),
    (["encode", "1", "2", "3"], ["expected NUMBER and TEXT", "usage:"]),
]


def encoded_lines(stdout, want):
    count, first = want
    lines = stdout.splitlines()
    problems = [] if len(lines) == count else [f"{len(lines)} lines, expected {count}"]
    for line in lines:
        match = ENCODED.match(line)
        if not match:
            problems.append(f"malformed line {line!r}")
        elif int(match[1]) != len(bytes.fromhex(match[2].decode())) - (int(match[2][:2], 16) + 1):
            problems.append(f"length {match[1]!r} is not the TPDU length")
    if first is not None and lines[:1] != [first]:
        problems.append(f"{lines[:1]!r}, expected {first!r}")
    return problems


def home_cases(home):
    """A home whose Telvane.ini (Windows-1251, as the gateway keeps it) changes the output."""
    with open(os.path.join(home, "Telvane.ini"), "wb") as ini:
        ini.write("[SMSreports]\r\nDeleted=Удалено сетью\r\n[SMS]\r\nSMSC=+79168999100\r\n"
                  "Report=1\r\n".encode("cp1251"))
    return [
        (["decode", "--home", home, REPORT], 0,
         "05.12.26 21:07:30\t+12345678901\tОтчет о доставке: Удалено сетью +12345678901\n"),
        # The home's SMS centre and report request; a flag still wins over the home.
        (["encode", "--home", home, "12345", "abc"], 0,
         (1, b"14 07919761989901F0310005912143F50000AA0361F118")),
        (["encode", "--home", home, "--smsc", "", "12345", "abc"], 0,
         (1, b"14 00310005912143F50000AA0361F118")),
    ]


def main():
    tool = sys.argv[1]
    failures = 0
    cases = [(args, 0, want) for args, want in ACCEPTED] + [(args, 1, w) for args, w in REFUSED]
    cases.append((["decode", "--json", HELLO], 0, HELLO_JSON))
    home = tempfile.TemporaryDirectory()
    cases += home_cases(home.name)
    for args, status, want in cases:
        run = subprocess.run([tool] + args, capture_output=True)
        out, err = run.stdout, run.stderr.decode(errors="replace")
        problems = [] if run.returncode == status else [f"exit {run.returncode}, expected {status}"]
        if status:
            if out or len(err.splitlines()) != 1 + ("usage:" in want):
                problems.append(f"stdout {out!r}, stderr {err!r}")
            problems += [f"stderr lacks {w!r}: {err!r}" for w in want if w not in err]
        elif err:
            problems.append(f"unexpected stderr {err!r}")
        elif isinstance(want, dict) and json.loads(out) != want:
            problems.append(f"json {out!r}")
        elif isinstance(want, str) and out.decode() != want:
            problems.append(f"stdout {out!r}, expected {want!r}")
        elif isinstance(want, tuple):
            problems += encoded_lines(out, want)
        name = " ".join(a[:20] if isinstance(a, str) else repr(a) for a in args)
        for problem in problems:
            print(f"{name}: {problem}")
        failures += len(problems)
    print(f"{len(cases)} command lines, {failures} problem(s)")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
