#!/usr/bin/env python3
"""The Windows build against the Linux build: the three buttons' commands
on copies of every corpus file must leave the same bytes.

    python3 tests/windows/compare_builds.py --linux-cli build/cli/mdbcare-cli \\
        --windows-cli build-win64-test/cli/mdbcare-cli.exe --corpus DIR

Each corpus file is copied twice, once for each build; on each copy the
build runs `nulls`, then `trim`, then `compact` (the file's password where
it has one), as a user would press the three buttons in turn. After every
command the two copies must have the same exit status and the same bytes.
The Windows program runs under Wine (WINEPREFIX and the rest from the
environment), the copy's path given to it as a Windows path on drive Z:.

Prints one line per file and command, the differing bytes where there are
any, and "N passed, M failed". Exit status 0 when all agree, 1 otherwise,
77 when the corpus folder is missing.
"""

import argparse
import os
import shutil
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "oracles"))
from compare_dump import PASSWORDS  # noqa: E402

COMMANDS = ("nulls", "trim", "compact")
TIMEOUT = 300  # seconds for one command on one file
MAX_RANGES = 5  # differing byte ranges shown per comparison


def windows_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def differing_ranges(a, b):
    """[start, end) ranges of the offsets where `a` and `b` differ."""
    ranges = []
    for i in range(max(len(a), len(b))):
        same = i < len(a) and i < len(b) and a[i] == b[i]
        if same:
            continue
        if ranges and ranges[-1][1] == i:
            ranges[-1][1] = i + 1
        else:
            ranges.append([i, i + 1])
    return ranges


def run(argv):
    done = subprocess.run(argv, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                          timeout=TIMEOUT, check=False)
    return done.returncode


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--linux-cli", required=True)
    parser.add_argument("--windows-cli", required=True)
    parser.add_argument("--corpus", required=True)
    parser.add_argument("--wine", default="wine")
    args = parser.parse_args()
    if not os.path.isdir(args.corpus):
        print(f"corpus folder not found ({args.corpus}): comparison skipped")
        return 77

    files = sorted(
        os.path.relpath(os.path.join(root, name), args.corpus)
        for root, _dirs, names in os.walk(args.corpus)
        for name in names if name.endswith(".mdb"))
    passed = failed = 0
    with tempfile.TemporaryDirectory(prefix="mdbcare-compare-") as work:
        for rel in files:
            copies = {}
            for side in ("linux", "windows"):
                folder = os.path.join(work, side, os.path.dirname(rel))
                os.makedirs(folder, exist_ok=True)
                copies[side] = os.path.join(folder, os.path.basename(rel))
                shutil.copyfile(os.path.join(args.corpus, rel), copies[side])
                os.chmod(copies[side], 0o644)
            password = PASSWORDS.get(os.path.basename(rel))
            extra = ["--password", password] if password else []
            for command in COMMANDS:
                linux = run([args.linux_cli, command, copies["linux"]] + extra)
                windows = run([args.wine, args.windows_cli, command,
                               windows_path(copies["windows"])] + extra)
                with open(copies["linux"], "rb") as f:
                    linux_bytes = f.read()
                with open(copies["windows"], "rb") as f:
                    windows_bytes = f.read()
                ranges = ([] if linux_bytes == windows_bytes else
                          differing_ranges(linux_bytes, windows_bytes))
                if linux == windows and not ranges:
                    passed += 1
                    print(f"PASS {rel} {command} (exit {linux})")
                    continue
                failed += 1
                print(f"FAIL {rel} {command}: exit {linux} on Linux, "
                      f"{windows} on Windows; sizes {len(linux_bytes)} and "
                      f"{len(windows_bytes)}; {len(ranges)} differing ranges")
                for start, end in ranges[:MAX_RANGES]:
                    print(f"  bytes {start:#x}..{end:#x}: "
                          f"{linux_bytes[start:end][:16].hex()} / "
                          f"{windows_bytes[start:end][:16].hex()}")
    print(f"{passed} passed, {failed} failed")
    return 0 if failed == 0 else 1


if __name__ == "__main__":
    sys.exit(main())
