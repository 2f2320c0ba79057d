#!/usr/bin/python3
"""Exit codes and output format of telvane-pdu encode.

Usage: EncodeCliTest.py PATH-TO-telvane-pdu
"""
import json
import re
import subprocess
import sys

TOOL = sys.argv[1]
LINE = re.compile(rb"^(\d+) ([0-9A-F]+)$")


def run(*args):
    return subprocess.run([TOOL, "encode", *args], capture_output=True, check=False)


def check_sent(faults, args, parts, first_line=None):
    out = run(*args)
    name = " ".join(a if len(a) < 40 else a[:20] + "..." for a in map(str, args))
    if out.returncode != 0 or out.stderr:
        faults.append(f"{name}: exit {out.returncode}, stderr {out.stderr!r}")
        return
    lines = out.stdout.splitlines()
    if len(lines) != parts:
        faults.append(f"{name}: {len(lines)} lines, expected {parts}")
    for line in lines:
        match = LINE.match(line)
        if not match:
            faults.append(f"{name}: malformed line {line!r}")
            continue
        pdu = bytes.fromhex(match[2].decode())
        if int(match[1]) != len(pdu) - (pdu[0] + 1):
            faults.append(f"{name}: length {match[1]!r} is not the TPDU length")
    if first_line is not None and lines and lines[0] != first_line:
        faults.append(f"{name}: {lines[0]!r}, expected {first_line!r}")


def check_refused(faults, args):
    out = run(*args)
    name = " ".join(a if len(a) < 40 else a[:20] + "..." for a in map(repr, args))
    lines = out.stderr.splitlines()
    if out.returncode != 1 or out.stdout or len(lines) < 1 or not lines[0].strip():
        faults.append(f"{name}: exit {out.returncode}, stdout {out.stdout!r}, stderr {out.stderr!r}")


def main():
    faults = []
    check_sent(faults, ["12345", "abc"], 1, b"14 00110005912143F50000AA0361F118")
    check_sent(faults, ["--smsc", "+79168999100", "12345", "abc"], 1,
               b"14 07919761989901F0110005912143F50000AA0361F118")
    check_sent(faults, ["--report", "--ref", "255", "12345", "a" * 307], 3)
    check_sent(faults, ["--latin", "89161234567", "Привет"], 1)
    check_sent(faults, ["--", "12345", "-5 degrees"], 1)

    out = run("--json", "12345", "Я" * 71)
    try:
        parts = json.loads(out.stdout)
        keys = [sorted(p) for p in parts]
        if keys != [["coding", "length", "part", "pdu"]] * 2:
            faults.append(f"--json: keys {keys}")
        if [(p["part"], p["coding"]) for p in parts] != [(1, "ucs2"), (2, "ucs2")]:
            faults.append(f"--json: parts {parts}")
    except ValueError as error:
        faults.append(f"--json: not JSON ({error}): {out.stdout!r}")

    # Messages that cannot be sent: one line on stderr, exit 1, nothing on stdout.
    for args in (
        ["12a45", "hi"],
        ["", "hi"],
        ["+", "hi"],
        ["1" * 21, "hi"],
        ["12345", ""],
        ["12345", "   "],
        ["12345", "\r\n"],
        ["--smsc", "+7(916)", "12345", "hi"],
        ["12345", "a" * (255 * 153 + 1)],
        ["12345", b"caf\xe9"],  # Latin-1, not UTF-8
    ):
        check_refused(faults, args)
    # Usage errors.
    for args in (["12345"], [], ["--foo", "12345", "hi"], ["--ref", "x", "12345", "hi"],
                 ["12345", "hi", "--smsc"], ["1", "2", "3"]):
        check_refused(faults, args)

    for fault in faults:
        print("FAIL " + fault)
    print("ok" if not faults else f"{len(faults)} faults")
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
