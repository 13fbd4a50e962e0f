#!/usr/bin/env python3
"""Checks every #include against the table of allowed directions.

The table is the one in docs/ARCHITECTURE.md (between the include-table markers), so the rule the
developers read and the rule this script enforces cannot drift apart. A row names the folders
(or single headers) a folder may include, and may narrow what it takes from outside the tree:
"no Qt", "QtCore only" (or "QtCore and QtSql only"), "no POSIX call". An allowance that no file
of the folder uses is reported too, so that the table says what each folder needs and no more.
Prints one line per finding, file:line: what is wrong, and exits 1 when there is any.
"""

import glob
import os
import pathlib
import re
import sys

ROOT = pathlib.Path(__file__).resolve().parent.parent
TABLE_FILE = ROOT / "docs" / "ARCHITECTURE.md"
TREES = ["src", "app", "tools", "tests", "bench", "fuzz"]
QUOTED = re.compile(r'^\s*#\s*include\s+"([^"]+)"')
ANGLED = re.compile(r"^\s*#\s*include\s+<([^>]+)>")
QT_MODULES = re.compile(r"^(Qt\w+(?: and Qt\w+)*) only$")
# The headers of the operating system's own calls (file descriptors, terminals, processes,
# signals, directories, users); the C++ library's headers are not among them.
POSIX_HEADERS = {
    "unistd.h", "fcntl.h", "termios.h", "pty.h", "poll.h", "signal.h", "dirent.h", "pwd.h",
    "grp.h", "dlfcn.h", "pthread.h", "spawn.h", "sched.h", "syslog.h", "utmp.h", "libgen.h",
}
POSIX_FOLDERS = ("sys/", "linux/", "netinet/", "arpa/", "net/", "asm/")


class Rule:
    def __init__(self):
        self.anything = False
        self.folders = set()  # folders whose every header may be included
        self.files = set()  # single headers allowed from a folder otherwise closed
        self.qt_modules = None  # None: any Qt module; otherwise the only ones allowed
        self.no_posix = False


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
            modules = QT_MODULES.match(word)
            if word == "anything":
                rule.anything = True
            elif word == "no Qt":
                rule.qt_modules = set()
            elif modules:
                rule.qt_modules = set(modules.group(1).split(" and "))
            elif word == "no POSIX call":
                rule.no_posix = True
            elif word == "nothing":
                pass
            elif word.startswith("`") and word.endswith(".h`"):
                rule.files.add(word.strip("`"))
            elif word.startswith("`") and word.endswith("/`"):
                rule.folders.add(word.strip("`"))
            else:
                sys.exit(f"{TABLE_FILE}: row {cells[0]}: cannot read \"{word}\"")
        rules[cells[0].strip("`")] = rule
    return rules


def Qt_Module_Of_Header():
    """Each Qt class header's module (QString -> QtCore), read from the installed Qt headers."""
    roots = [os.environ["LCDPROG_QT_INCLUDE"]] if "LCDPROG_QT_INCLUDE" in os.environ else []
    roots += glob.glob("/usr/include/*/qt6") + glob.glob("/usr/include/qt6")
    for root in roots:
        if os.path.isdir(os.path.join(root, "QtCore")):
            modules = {}
            for module in sorted(os.listdir(root)):
                folder = os.path.join(root, module)
                if module.startswith("Qt") and os.path.isdir(folder):
                    for header in os.listdir(folder):
                        modules.setdefault(header, module)
            return modules
    sys.exit("check_includes: no Qt 6 headers found (set LCDPROG_QT_INCLUDE to their folder)")


def Folder_Of(path):
    """The table's name for a file's folder: src/link/x.cpp -> link/,
    src/platform/qt/x.cpp -> platform/qt/, tests/... -> tests/."""
    parts = path.relative_to(ROOT).parts
    if parts[0] == "src" and len(parts) > 2:
        if parts[1] == "platform" and len(parts) > 3 and parts[2] == "qt":
            return "platform/qt/"
        return parts[1] + "/"
    return parts[0] + "/"


def Target_Folder(target):
    return "platform/qt/" if target.startswith("platform/qt/") else target.split("/")[0] + "/"


def Is_Posix(header):
    return header in POSIX_HEADERS or header.startswith(POSIX_FOLDERS)


def Violations(rules, qt_module_of):
    found = []
    used = {folder: set() for folder in rules}
    for tree in TREES:
        for path in sorted((ROOT / tree).rglob("*")):
            if path.suffix not in (".cpp", ".h") or not path.is_file():
                continue
            folder = Folder_Of(path)
            rule = rules.get(folder)
            name = path.relative_to(ROOT)
            if rule is None:
                found.append(f"{name}:1: {folder} is not in the include table of {TABLE_FILE.name}")
                continue
            if rule.anything:
                continue
            lines = path.read_text(encoding="utf-8", errors="replace").splitlines()
            for number, line in enumerate(lines, 1):
                angled = ANGLED.match(line)
                if angled:
                    header = angled.group(1)
                    module = header.split("/")[0] if "/" in header else qt_module_of.get(header)
                    if header.startswith("Q") and module is not None:
                        used[folder].add(module)
                        if rule.qt_modules is not None and module not in rule.qt_modules:
                            allowed = " and ".join(sorted(rule.qt_modules)) or "no Qt"
                            found.append(f"{name}:{number}: {folder} may not include {module} "
                                         f"(<{header}>): {allowed} only")
                    elif rule.no_posix and Is_Posix(header):
                        found.append(f"{name}:{number}: {folder} uses no POSIX call (<{header}>)")
                    continue
                match = QUOTED.match(line)
                if not match or "/" not in match.group(1):
                    continue
                target = match.group(1)
                top = Target_Folder(target)
                if top == folder:
                    continue
                if top in rule.folders:
                    used[folder].add(top)
                    continue
                if target in rule.files:
                    used[folder].add(target)
                    continue
                found.append(f"{name}:{number}: {folder} may not include {top}")
    for folder, rule in rules.items():
        if rule.anything:
            continue
        for allowance in sorted(rule.folders | rule.files | (rule.qt_modules or set())):
            if allowance not in used[folder]:
                found.append(f"{TABLE_FILE.relative_to(ROOT)}: {folder} is allowed {allowance}, "
                             "which none of its files includes")
    return found


def main():
    found = Violations(Read_Table(), Qt_Module_Of_Header())
    for line in found:
        print(line)
    if found:
        print(f"check_includes: {len(found)} finding(s) against the table in docs/ARCHITECTURE.md")
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
