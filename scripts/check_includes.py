#!/usr/bin/env python3
"""Checks every #include "folder/..." against the table of allowed directions.

The table is the one in docs/ARCHITECTURE.md (between the include-table markers), so the rule the
developers read and the rule this script enforces cannot drift apart. Prints one line per
violation, file:line: folder/ may not include folder/, and exits 1 when there is any.
"""

import pathlib
import re
import sys

ROOT = pathlib.Path(__file__).resolve().parent.parent
TABLE_FILE = ROOT / "docs" / "ARCHITECTURE.md"
TREES = ["src", "app", "tools", "tests", "bench", "fuzz"]
QUOTED = re.compile(r'^\s*#\s*include\s+"([^"]+)"')
ANGLED = re.compile(r"^\s*#\s*include\s+<(Q[A-Za-z]*)(/[^>]*)?>")


class Rule:
    def __init__(self):
        self.anything = False
        self.folders = set()  # folders whose every header may be included
        self.headers_only = set()  # folders of which only the top-level headers may be included
        self.files = set()  # single headers allowed from a folder otherwise closed
        self.no_qt = False


def Read_Table():
    text = TABLE_FILE.read_text(encoding="utf-8")
    match = re.search(r"<!-- include-table.*?-->(.*?)<!-- /include-table -->", text, re.S)
    if not match:
        sys.exit(f"{TABLE_FILE}: no include table between the include-table markers")
    rules = {}
    for line in match.group(1).splitlines():
        cells = [c.strip() for c in line.strip().strip("|").split("|")]
        if len(cells) != 2 or not cells[0].startswith("`"):
            continue
        rule = Rule()
        for word in (w.strip() for w in cells[1].split(",")):
            if word == "anything":
                rule.anything = True
            elif word == "no Qt":
                rule.no_qt = True
            elif word == "nothing":
                pass
            elif word.endswith("/*.h`"):
                rule.headers_only.add(word.strip("`")[: -len("*.h")])
            elif word.endswith(".h`"):
                rule.files.add(word.strip("`"))
            else:
                rule.folders.add(word.strip("`"))
        rules[cells[0].strip("`")] = rule
    return rules


def Folder_Of(path):
    """The table's name for the folder a file lives in: src/link/x.cpp -> link/, tests/... -> tests/."""
    parts = path.relative_to(ROOT).parts
    if parts[0] == "src" and len(parts) > 2:
        return parts[1] + "/"
    return parts[0] + "/"


def Violations(rules):
    found = []
    for tree in TREES:
        for path in sorted((ROOT / tree).rglob("*")):
            if path.suffix not in (".cpp", ".h") or not path.is_file():
                continue
            folder = Folder_Of(path)
            rule = rules.get(folder)
            name = path.relative_to(ROOT)
            lines = path.read_text(encoding="utf-8", errors="replace").splitlines()
            if rule is None:
                found.append(f"{name}:1: {folder} is not in the include table of {TABLE_FILE.name}")
                continue
            if rule.anything:
                continue
            for number, line in enumerate(lines, 1):
                if rule.no_qt and ANGLED.match(line):
                    found.append(f"{name}:{number}: {folder} may not include Qt")
                    continue
                match = QUOTED.match(line)
                if not match or "/" not in match.group(1):
                    continue
                target = match.group(1)
                top = target.split("/")[0] + "/"
                if top == folder or top in rule.folders or target in rule.files:
                    continue
                if top in rule.headers_only and target.count("/") == 1:
                    continue
                shown = "platform/qt/" if target.startswith("platform/qt/") else top
                found.append(f"{name}:{number}: {folder} may not include {shown}")
    return found


def main():
    found = Violations(Read_Table())
    for line in found:
        print(line)
    if found:
        print(f"check_includes: {len(found)} include(s) against the table in docs/ARCHITECTURE.md")
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
