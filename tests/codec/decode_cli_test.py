"""Command-line behaviour of `telvane-pdu decode`: exit codes, output lines, one-line errors.

Usage: decode_cli_test.py TELVANE_PDU
"""
import json
import subprocess
import sys

HELLO = "07912143658709F1040B912143658709F100006221501270032105C8329BFD06"
PART = "07912143658709F1440B912143658709F10000622150127003210F0500035A0302E061391D44BFBF01"
REPORT = "07912143658709F1062A0B912143658709F1622150127003216221501270032146"
CRLF = ("07919730071111F1000B919730214365F70000423090415070001DCCB4BB0C7ABBCB0D0533ED2E83E8F7B7"
        "828E9697CB0DF3BB2E07")

# (arguments, exit status, expected stdout or None, words the one-line error must contain)
CASES = [
    (["decode", HELLO], 0, "05.12.26 21:07:30\t+12345678901\tHello\n", []),
    (["decode", PART], 0, "HEADER$5A-3$2*05.12.26 21:07:30\t+12345678901\tpart two\n", []),
    (["decode", REPORT], 0,
     "05.12.26 21:07:30\t+12345678901\tОтчет о доставке: Удалено +12345678901\n", []),
    (["decode", CRLF], 0, "09.03.24 14:05:07\t+79031234567\tLine one Line two three four\n", []),
    (["decode", "--json", HELLO], 0, None, []),
    (["decode", "XYZ"], 1, "", ["hex", "offset 0", "'X'"]),
    (["decode", "0791"], 1, "", ["SMSC address", "offset 1"]),
    (["decode", HELLO[:-2]], 1, "", ["TP-UD", "TP-UDL 5"]),
    (["decode", HELLO[:-1]], 1, "", ["odd"]),
    (["decode"], 1, "", ["no PDU"]),
    (["decode", HELLO, HELLO], 1, "", ["more than one"]),
    (["decode", "--xml", HELLO], 1, "", ["--xml"]),
]


def main():
    tool = sys.argv[1]
    failures = 0
    for args, status, stdout, words in CASES:
        run = subprocess.run([tool] + args, capture_output=True, text=True)
        problems = []
        if run.returncode != status:
            problems.append(f"exit {run.returncode}, expected {status}")
        if stdout is not None and run.stdout != stdout:
            problems.append(f"stdout {run.stdout!r}, expected {stdout!r}")
        if status != 0:
            lines = run.stderr.splitlines()
            if len(lines) != 1:
                problems.append(f"stderr has {len(lines)} lines: {run.stderr!r}")
            problems += [f"stderr lacks {w!r}: {run.stderr!r}" for w in words if w not in run.stderr]
        elif run.stderr:
            problems.append(f"unexpected stderr {run.stderr!r}")
        if "--json" in args and run.returncode == 0:
            doc = json.loads(run.stdout)
            expected = {"type": "deliver", "smsc": "+12345678901", "number": "+12345678901",
                        "timestamp": "05.12.26 21:07:30 +03:00", "coding": "gsm7",
                        "text": "Hello", "concat": None, "status": None}
            if doc != expected:
                problems.append(f"json {doc!r}")
        for problem in problems:
            print(f"{' '.join(args)[:60]}: {problem}")
        failures += len(problems)
    print(f"{len(CASES)} command lines, {failures} problem(s)")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
