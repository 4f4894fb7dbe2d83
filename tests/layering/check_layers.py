#!/usr/bin/env python3
"""Fails when a folder of src/ includes a folder above it, or when core code includes Qt.

Usage: check_layers.py SRC_DIR

Every '#include "folder/.../Header.h"' of every file under SRC_DIR is checked against the floors
below. A file may include its own folder and any folder on a lower floor; folders on the same
floor are independent of each other, except on the top floor, which may include anything. The
most specific folder prefix decides a file's folder, and any folder named gui/ (the dialogs) is
on the top floor.
"""

import pathlib
import re
import sys

# Floors, lowest first. True: the floor may include Qt headers (<Q...>).
FLOORS = [
    (["common"], False),  # texts and message ids, ports, crypto, start-up language
    (["plc"], False),  # CPU types, device areas and ranges, addresses, identities
    (["comm", "package"], False),  # protocol and session; download packages
    (["download", "devmem"], False),  # the download; device memory files and transfers
    (["comm/channels", "app/settings"], True),  # Qt adapters of the ports
    (["sim"], False),  # simulator core and plcsim
    (["cli"], True),  # dlutil
    (["app"], True),  # the desktop program (and every */gui/ folder)
]
GUI = "gui"

FLOOR_OF = {folder: (n, qt) for n, (folders, qt) in enumerate(FLOORS) for folder in folders}
TOP = (len(FLOORS) - 1, True)
INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]')


def folder_of(path):
    """The folder that rules `path` (relative to src/, '/'-separated), or None."""
    parts = path.split("/")[:-1]
    if GUI in parts:
        return "/".join(parts[: parts.index(GUI) + 1])
    for n in range(len(parts), 0, -1):
        prefix = "/".join(parts[:n])
        if prefix in FLOOR_OF:
            return prefix
    return None


def floor_of(folder):
    if folder is None:
        return None
    if folder.split("/")[-1] == GUI:
        return TOP
    return FLOOR_OF[folder]


def check(src):
    errors = []
    for file in sorted(src.rglob("*")):
        if file.suffix not in (".h", ".hpp", ".cpp") or not file.is_file():
            continue
        rel = file.relative_to(src).as_posix()
        own = folder_of(rel)
        if own is None:
            errors.append(f"{rel}: folder has no floor; add it to {pathlib.Path(__file__).name}")
            continue
        own_floor, qt_allowed = floor_of(own)
        for line_no, line in enumerate(file.read_text(encoding="utf-8").splitlines(), 1):
            m = INCLUDE.match(line)
            if not m:
                continue
            kind, target = m.groups()
            where = f"{rel}:{line_no}"
            if kind == "<":
                if re.match(r"Q[A-Za-z]*(/|$)", target) and not qt_allowed:
                    errors.append(f"{where}: {own}/ is core code and includes <{target}>")
                continue
            if not (src / target).is_file():
                continue  # a header from outside src/
            other = folder_of(target)
            if other is None or other == own or own_floor == TOP[0]:
                continue
            other_floor = floor_of(other)[0]
            if other_floor > own_floor:
                errors.append(f'{where}: {own}/ includes "{target}" from {other}/, a floor above')
            elif other_floor == own_floor:
                errors.append(f'{where}: {own}/ includes "{target}" from {other}/, its neighbour')
    return errors


def main():
    if len(sys.argv) != 2:
        print(__doc__.strip().splitlines()[2], file=sys.stderr)
        return 2
    errors = check(pathlib.Path(sys.argv[1]).resolve())
    for e in errors:
        print(e)
    print(f"{len(errors)} layering error(s)" if errors else "layering: ok")
    return 1 if errors else 0


if __name__ == "__main__":
    sys.exit(main())
