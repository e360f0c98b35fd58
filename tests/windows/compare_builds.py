#!/usr/bin/env python3
"""The Windows build against the Linux build: the three buttons' commands
on copies of every corpus file must leave the same bytes.

    python3 tests/windows/compare_builds.py --linux-cli build/cli/mdbcare-cli \\
        --windows-cli build-win64-test/cli/mdbcare-cli.exe --corpus DIR

Each corpus file is copied twice, once for each build; on the copies each
build runs `nulls`, then `trim`, then `compact` (one run for all files of
one password), as a user would press the three buttons in turn. After
every command the two builds must give the same exit status and output
(paths aside) and every pair of copies the same bytes.
The Windows program runs under Wine (WINEPREFIX and the rest from the
environment), the copy's path given to it as a Windows path on drive Z:.

Prints one line per file and command, the differing bytes or output where
there are any, and "N passed, M failed". Exit status 0 when all agree, 1 otherwise,
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
TIMEOUT = 900  # seconds for one command on the files of one password
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
    """Exit status and standard output of one command."""
    done = subprocess.run(argv, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                          timeout=TIMEOUT, check=False)
    return done.returncode, done.stdout.decode("utf-8", "replace")


def normalized(output, root, windows):
    """`output` with the copies' folder `root` written as ROOT and, for the
    Windows program, its line ends and path separators as on Linux."""
    if windows:
        output = output.replace("\r\n", "\n").replace(windows_path(root), "ROOT")
        return output.replace("\\", "/")
    return output.replace(os.path.abspath(root), "ROOT")


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
    # One run of each command for all files of one password (Wine starts
    # once per run, which is most of the time a run takes).
    groups = {}
    for rel in files:
        groups.setdefault(PASSWORDS.get(os.path.basename(rel)), []).append(rel)
    passed = failed = 0
    with tempfile.TemporaryDirectory(prefix="mdbcare-compare-") as work:
        roots = {side: os.path.join(work, side) for side in ("linux", "windows")}
        copies = {side: {} for side in roots}
        for rel in files:
            for side, root in roots.items():
                folder = os.path.join(root, os.path.dirname(rel))
                os.makedirs(folder, exist_ok=True)
                copy = os.path.join(folder, os.path.basename(rel))
                shutil.copyfile(os.path.join(args.corpus, rel), copy)
                os.chmod(copy, 0o644)
                copies[side][rel] = copy
        for command in COMMANDS:
            for password, rels in groups.items():
                extra = ["--password", password] if password else []
                linux, linux_out = run(
                    [args.linux_cli, command] +
                    [copies["linux"][r] for r in rels] + extra)
                windows, windows_out = run(
                    [args.wine, args.windows_cli, command] +
                    [windows_path(copies["windows"][r]) for r in rels] + extra)
                linux_out = normalized(linux_out, roots["linux"], False)
                windows_out = normalized(windows_out, roots["windows"], True)
                if linux != windows or linux_out != windows_out:
                    failed += 1
                    print(f"FAIL {command} on {len(rels)} files: exit {linux} "
                          f"on Linux, {windows} on Windows; output:")
                    print("  Linux:   " + linux_out.replace("\n", "\n           "))
                    print("  Windows: " + windows_out.replace("\n", "\n           "))
                for rel in rels:
                    with open(copies["linux"][rel], "rb") as f:
                        linux_bytes = f.read()
                    with open(copies["windows"][rel], "rb") as f:
                        windows_bytes = f.read()
                    if linux_bytes == windows_bytes:
                        passed += 1
                        print(f"PASS {rel} {command}")
                        continue
                    ranges = differing_ranges(linux_bytes, windows_bytes)
                    failed += 1
                    print(f"FAIL {rel} {command}: sizes {len(linux_bytes)} and "
                          f"{len(windows_bytes)}; {len(ranges)} differing ranges")
                    for start, end in ranges[:MAX_RANGES]:
                        print(f"  bytes {start:#x}..{end:#x}: "
                              f"{linux_bytes[start:end][:16].hex()} / "
                              f"{windows_bytes[start:end][:16].hex()}")
    print(f"{passed} passed, {failed} failed")
    return 0 if failed == 0 else 1


if __name__ == "__main__":
    sys.exit(main())
