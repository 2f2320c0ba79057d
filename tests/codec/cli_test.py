#!/usr/bin/python3
"""Command line of telvane-pdu: exit codes, output lines, one-line errors, for each row of
tests/data/pdu/cli-cases.tsv (its header gives the columns).

Usage: cli_test.py PATH-TO-telvane-pdu PATH-TO-cli-cases.tsv
"""
import json
import os
import re
import subprocess
import sys
import tempfile

ENCODED = re.compile(rb"^(\d+) ([0-9A-F]+)$")


def encoded_problems(stdout, count, first):
    lines = stdout.splitlines()
    problems = [] if len(lines) == count else [f"{len(lines)} lines, expected {count}"]
    for line in lines:
        match = ENCODED.match(line)
        if not match:
            problems.append(f"malformed line {line!r}")
        elif int(match[1]) != len(bytes.fromhex(match[2].decode())) - (int(match[2][:2], 16) + 1):
            problems.append(f"length {match[1]!r} is not the TPDU length")
    if first != "-" and [line.split()[-1] for line in lines[:1]] != [first.encode()]:
        problems.append(f"{lines[:1]!r}, expected the PDU {first!r}")
    return problems


def problems_of(tool, status, args, want):
    run = subprocess.run([tool] + args, capture_output=True)
    out, err = run.stdout, run.stderr.decode(errors="replace")
    problems = [] if run.returncode == status else [f"exit {run.returncode}, expected {status}"]
    if status:
        words = [w for w in want.split(" | ") if w]
        if out or len(err.splitlines()) != 1 + ("usage:" in words):
            problems.append(f"stdout {out!r}, stderr {err!r}")
        return problems + [f"stderr lacks {w!r}: {err!r}" for w in words if w not in err]
    if err:
        return problems + [f"unexpected stderr {err!r}"]
    if want.startswith("N "):
        return problems + encoded_problems(out, int(want.split()[1]), want.split()[2])
    want = want.replace("\\t", "\t").replace("\\n", "\n")
    if want.startswith("{"):
        return problems + ([] if json.loads(out) == json.loads(want) else [f"json {out!r}"])
    return problems + ([] if out.decode() == want else [f"stdout {out!r}, expected {want!r}"])


def main():
    tool, table = sys.argv[1], sys.argv[2]
    home = tempfile.TemporaryDirectory()
    with open(os.path.join(home.name, "Telvane.ini"), "wb") as ini:  # Windows-1251, as kept
        ini.write("[SMSreports]\r\nDeleted=Удалено сетью\r\n[SMS]\r\nSMSC=+79168999100\r\n"
                  "Report=1\r\n".encode("cp1251"))
    cases = []
    with open(table, encoding="utf-8") as rows:
        for row in rows:
            if row.strip() and not row.startswith("#"):
                status, args, want = (row.rstrip("\n").split("\t") + [""])[:3]
                args = [re.sub(r"\{(.)\*(\d+)\}", lambda m: m[1] * int(m[2]), a)
                        .replace("HOME", home.name) for a in args.split(" | ")]
                cases.append((int(status), args, want))
    cases.append((1, ["encode", "12345", b"caf\xe9"], "UTF-8"))  # Latin-1 bytes
    failures = 0
    for status, args, want in cases:
        for problem in problems_of(tool, status, args, want):
            print(" ".join(str(a)[:20] for a in args) + ": " + problem)
            failures += 1
    print(f"{len(cases)} command lines, {failures} problem(s)")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
