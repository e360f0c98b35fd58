#!/usr/bin/env python3
"""A database password set by mdbcare-cli is the one the program opens with
(";pwd=7316"), a wrong one is refused with 3031's message, and mdb-reader
decodes the same password from the header: for a Jet 4 and a Jet 3 copy.
Exit 0 on success, 1 on a failure, 77 without node/mdb-reader or the corpus."""
import argparse
import os
import shutil
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))


def run(cmd):
    return subprocess.run(cmd, capture_output=True, text=True)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--cli", required=True)
    ap.add_argument("--corpus", required=True)
    args = ap.parse_args()
    if not os.path.isdir(args.corpus):
        print("corpus folder not found: skipped")
        return 77
    if not shutil.which("node") or not os.path.isdir(os.path.join(HERE, "node_modules")):
        print("node or mdb-reader (tests/oracles/node_modules) missing: skipped")
        return 77
    failures = 0
    with tempfile.TemporaryDirectory() as tmp:
        for rel in ("jet4/noPasswordV2000.mdb", "jet3/testV1997.mdb"):
            copy = os.path.join(tmp, os.path.basename(rel))
            shutil.copyfile(os.path.join(args.corpus, rel), copy)
            checks = []
            r = run([args.cli, "set-password", copy, "7316"])
            checks.append(("set-password exits 0", r.returncode == 0, r.stderr))
            r = run([args.cli, "tables", copy])
            checks.append(("opens with the program's connect string",
                           r.returncode == 0 and "Table1" in r.stdout, r.stderr))
            r = run([args.cli, "tables", copy, "--password", "7317"])
            checks.append(("a wrong password is refused",
                           r.returncode == 1 and "암호" in r.stderr, r.stderr))
            r = run(["node", os.path.join(HERE, "mdb_reader_password.mjs"), copy])
            checks.append(("mdb-reader reads 7316", r.stdout.strip() == "7316",
                           r.stdout + r.stderr))
            r = run([args.cli, "set-password", copy, "", "--password", "7316"])
            r2 = run([args.cli, "tables", copy, "--password", "anything"])
            checks.append(("the password can be removed again",
                           r.returncode == 0 and r2.returncode == 0, r.stderr + r2.stderr))
            for name, ok, detail in checks:
                print(("ok   " if ok else "FAIL ") + rel + ": " + name)
                if not ok:
                    print("     " + detail.strip())
                    failures += 1
    print(f"{10 - failures} passed, {failures} failed")
    return 0 if failures == 0 else 1


if __name__ == "__main__":
    sys.exit(main())
