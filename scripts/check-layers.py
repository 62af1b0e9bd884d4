#!/usr/bin/env python3
"""Fails when the code's layers are crossed the wrong way.

Every library folder has a rank; a file may include headers of its own folder and of folders
of a lower rank only. Two folders of one rank (the workflows and the views) never include each
other, so no two folders can include each other, directly or round a circle. Project headers
are included by their path from the repository root, so that an include line shows the layer
it reaches. Tests, benchmarks and fuzzers sit above everything and may include anything;
nothing includes them. Above the books, nothing reaches the table file, its codec, the journal
or the transaction: the books' operations and readings stand for them.

    scripts/check-layers.py [ROOT]     exit status 1 and one line per fault when crossed
"""
import os
import re
import sys

# From the bottom up.
RANKS = {
    "base": 0,             # the errors and the handler boundary (QtCore)
    "store/engine": 1,     # QtCore: values, fields, cursor, .DBF codec, file, journal, transaction
    "store": 2,            # the books: data module and its operations, tables, history (QtCore)
    "office/books": 3,     # the back office's history grid and formats (QtCore)
    "server": 3,           # the books on a PostgreSQL server (libpq)
    "slip": 3,             # the bet's slip on paper: its page and barcode (QtGui, zint)
    "toolkit": 3,          # the form seam under every window (Widgets)
    "controls": 4,         # data-aware widgets
    "workflows": 5,        # the dialogs that change the books
    "views": 5,            # browsers, about box, calendar
    "office/window": 5,    # the manager's program: its windows
    "tools/newdesk": 5,
    "tools/drawimages": 5,
    "tools/export": 5,
    "tools/verify": 5,
    "shell": 6,            # start-up and the main screen: knows every window
}
TOP = ("tests", "bench", "fuzz")
# The file home's own parts, which only the books (and the tools that work on a file as a
# file) reach: above the books everything goes through the books' operations and readings.
FILE_HOME = {"store/engine/DbfFile.h", "store/engine/DbfCodec.h", "store/engine/Journal.h",
             "store/engine/Transaction.h"}
MAY_REACH_FILE_HOME = {"store/engine", "store", "tools/newdesk", "tools/drawimages",
                       "tools/export"}
SOURCES = (".h", ".cpp", ".ui")
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)
UI_HEADER = re.compile(r"<header>([^<]+)</header>")


def main():
    root = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), ".."))
    project_files = {}
    for folder, dirs, files in os.walk(root):
        rel = os.path.relpath(folder, root).replace(os.sep, "/")
        dirs[:] = [d for d in dirs if not d.startswith((".", "build"))]
        for name in files:
            if name.endswith(SOURCES):
                path = name if rel == "." else rel + "/" + name
                project_files[path] = rel
    by_name = {}
    for path in project_files:
        by_name.setdefault(os.path.basename(path), []).append(path)

    faults = []
    for path, folder in sorted(project_files.items()):
        top = folder.split("/")[0] in TOP
        if not top and folder not in RANKS:
            if any(p.endswith((".h", ".cpp")) for p, f in project_files.items() if f == folder):
                faults.append(f"{folder}/: a folder of code that has no place among the layers")
            continue
        with open(os.path.join(root, path), encoding="utf-8") as source:
            text = source.read()
        included = INCLUDE.findall(text) + (UI_HEADER.findall(text) if path.endswith(".ui") else [])
        for header in included:
            if "/" not in header:
                if header in by_name and not header.startswith("ui_"):
                    faults.append(f"{path}: includes \"{header}\" by its bare name; write "
                                  f"\"{by_name[header][0]}\"")
                continue
            if header not in project_files:
                continue  # a generated header or a library's own
            target = project_files[header]
            if target == folder:
                continue
            if target.split("/")[0] in TOP:
                if not top:
                    faults.append(f"{path}: includes {header}, which belongs to the tests")
                continue
            if top:
                continue
            # The server's tables check a value as the program's own file layout would.
            codec_for_server = folder == "server" and header == "store/engine/DbfCodec.h"
            if header in FILE_HOME and folder not in MAY_REACH_FILE_HOME and not codec_for_server:
                faults.append(f"{path}: includes {header}, the file home's own; go through "
                              f"the books (store/) instead")
            if RANKS[target] >= RANKS[folder]:
                where = "beside" if RANKS[target] == RANKS[folder] else "above"
                faults.append(f"{path}: includes {header}, from {target}/, which sits {where} "
                              f"{folder}/")
    for fault in faults:
        print(fault)
    if faults:
        print(f"check-layers: {len(faults)} include(s) cross the layers", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
