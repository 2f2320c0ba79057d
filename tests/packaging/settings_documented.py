#!/usr/bin/python3
"""Usage: settings_documented.py SettingsKeys.h DOCUMENT...

Every key of the settings file is documented under its section, with its defaults: after a
heading that names the section ("## [SMS]") and before the next heading, each key of that
section and each of its defaults (blanks and escapes excepted) must appear.
"""
import re
import sys

settings = re.findall(r'Setting\s+\w+\{"(\w+)",\s*"(\w+)",\s*"([^"]*)"\}',
                      open(sys.argv[1], encoding="utf-8").read())
if not settings:
    sys.exit(f"{sys.argv[1]}: no settings found; has its layout changed?")
missing = []
for document in sys.argv[2:]:
    sections, current = {}, None
    for line in open(document, encoding="utf-8"):
        heading = re.match(r"#+\s*(?:\[(\w+)\])?", line)
        if heading:
            current = heading.group(1)
        elif current:
            sections[current] = sections.get(current, "") + line
    for section, key, default in settings:
        body = sections.get(section, "")
        if not re.search(rf"\b{key}\b", body):
            missing.append(f"{document}: [{section}] {key}")
        elif default.strip() and "\\" not in default and default not in body:
            missing.append(f"{document}: [{section}] {key}: default {default}")
for line in missing:
    print("not documented:", line)
sys.exit(1 if missing else 0)
