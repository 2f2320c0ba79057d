#!/usr/bin/python3
"""Every key of the settings file is documented under its section, with its defaults, so that
the documents cannot fall behind the code.

Usage: settings_documented.py SettingsKeys.h DOCUMENT...
A document names a section in a heading ("## [SMS]"); what follows, up to the next heading,
must name each key of that section and each of its defaults (a default of blanks excepted).
"""
import re
import sys

SETTING = re.compile(r'Setting\s+\w+\{"(\w+)",\s*"(\w+)",\s*"([^"]*)"\}')
HEADING = re.compile(r"#+\s*(?:\[(\w+)\])?")


def sections(text):
    found, current = {}, None
    for line in text.splitlines():
        heading = HEADING.match(line)
        if heading:
            current = heading.group(1)
            found.setdefault(current, "")
        elif current:
            found[current] += line + "\n"
    return found


def main(keys_header, *documents):
    settings = SETTING.findall(open(keys_header, encoding="utf-8").read())
    if len(settings) < 20:
        sys.exit(f"{keys_header}: only {len(settings)} settings found; has its layout changed?")
    missing = []
    for document in documents:
        text = sections(open(document, encoding="utf-8").read())
        for section, key, default in settings:
            body = text.get(section, "")
            if not re.search(rf"\b{key}\b", body):
                missing.append(f"{document}: [{section}] {key}")
            elif default.strip() and not default.startswith("\\") and default not in body:
                missing.append(f"{document}: [{section}] {key}: default {default}")
    for line in missing:
        print("not documented:", line)
    return 1 if missing else 0


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:]))
