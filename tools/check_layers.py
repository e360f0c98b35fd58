#!/usr/bin/env python3
"""Checks that the engine's files keep to its layers.

    python3 tools/check_layers.py [ROOT]

jet/README.md lists the engine's folders bottom first ("1. `base/`: ...").
A file under jet/FOLDER/ may include headers of its own folder and of the
folders listed before it; including a header of a later folder, or one of a
folder the list does not name, is reported. Exit status: 0 when every file
keeps to its layer, 1 otherwise, 2 when the list cannot be read.
"""

import os
import re
import sys


def layers(readme):
    order = re.findall(r"^\d+\. `([a-z_]+)/`", readme, re.MULTILINE)
    return {name: rank for rank, name in enumerate(order)}


def main():
    root = sys.argv[1] if len(sys.argv) > 1 else os.path.join(
        os.path.dirname(os.path.abspath(__file__)), "..")
    jet = os.path.join(root, "jet")
    try:
        with open(os.path.join(jet, "README.md"), encoding="utf-8") as f:
            rank = layers(f.read())
    except OSError as e:
        print("check_layers: %s" % e, file=sys.stderr)
        return 2
    if not rank:
        print("check_layers: jet/README.md lists no layers", file=sys.stderr)
        return 2
    include = re.compile(r'^\s*#\s*include\s+"jet/([a-z_]+)/')
    faults = 0
    files = 0
    for folder in sorted(os.listdir(jet)):
        path = os.path.join(jet, folder)
        if not os.path.isdir(path):
            continue
        if folder not in rank:
            print("jet/%s/: a folder jet/README.md does not list" % folder)
            faults += 1
            continue
        for dirpath, _, names in os.walk(path):
            for name in sorted(names):
                if not name.endswith((".cc", ".h", ".inc")):
                    continue
                files += 1
                file_path = os.path.join(dirpath, name)
                shown = os.path.relpath(file_path, root)
                with open(file_path, encoding="utf-8") as f:
                    for number, line in enumerate(f, 1):
                        m = include.match(line)
                        if not m:
                            continue
                        target = m.group(1)
                        if target not in rank:
                            print("%s:%d: includes jet/%s/, which no layer is"
                                  % (shown, number, target))
                            faults += 1
                        elif rank[target] > rank[folder]:
                            print("%s:%d: %s/ includes the higher layer %s/"
                                  % (shown, number, folder, target))
                            faults += 1
    print("check_layers: %d files, %d faults" % (files, faults))
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
