#!/usr/bin/env python3
"""Check that compare_dump.py catches faults, using stand-in CLIs.

    python3 tests/oracles/selftest_compare.py --corpus ../shared/corpus

Each case runs compare_dump.py on one or two corpus files with a stand-in for
mdbcare-cli: a small script that prints the readers' dump (mdb-reader's rows,
mdbtools' where mdb-reader cannot read a table) with one fault put in. A
faithful stand-in must pass; every fault must fail, except those the rules
allow (another row order is a warning; siding with either reader where they
disagree is accepted). Exit 0 when every case behaves, 1 otherwise, 77 when a
tool or the corpus is missing. Ends with "N passed, M failed" (cases).
"""

import argparse
import os
import shutil
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))

STAND_IN = r'''
import json, os, subprocess, sys
HERE = %(here)r
fault = os.environ["SELFTEST_FAULT"]
args = sys.argv[1:]
assert args[0] == "dump", args
path = args[1]
password = args[args.index("--password") + 1] if "--password" in args else None
if fault == "crash":
    sys.stderr.write("simulated crash\n")
    sys.exit(3)
mr_args = ["node", os.path.join(HERE, "mdb_reader_dump.mjs"), path, "--all"]
if password:
    mr_args += ["--password", password]
mr = [json.loads(l) for l in subprocess.run(mr_args, stdout=subprocess.PIPE, check=True).stdout.decode().splitlines()]
mt = [json.loads(l) for l in subprocess.run([sys.executable, os.path.join(HERE, "mdbtools_dump.py"), path, "--all"],
                                            stdout=subprocess.PIPE, check=True).stdout.decode().splitlines()]
broken = {o["table"] for o in mr if "error" in o}
rows = []
for o in mr:
    if "error" in o:
        rows += [{"table": m["table"], "values": m["values"]} for m in mt if m.get("table") == o["table"]]
    else:
        rows.append(o)

def first(pred):
    for r in rows:
        for c, v in r["values"].items():
            if pred(r["table"], c, v):
                return r, c
    raise SystemExit("stand-in: no value for fault " + fault)

user = lambda t: not t.startswith("MSys")
if fault == "single-as-double":
    r, c = first(lambda t, c, v: t == "Order Details" and c == "Discount" and v not in (0, 0.25))
    r["values"][c] = float(__import__("struct").unpack("<f", __import__("struct").pack("<f", r["values"][c]))[0])
elif fault == "date-plus-1s":
    r, c = first(lambda t, c, v: user(t) and isinstance(v, str) and len(v) == 19 and v[4] == "-" and v[13] == ":")
    s = r["values"][c]
    r["values"][c] = s[:17] + ("%%02d" %% ((int(s[17:]) + 1) %% 60))
elif fault == "currency-short":
    r, c = first(lambda t, c, v: user(t) and isinstance(v, str) and v.endswith(".0000"))
    r["values"][c] = r["values"][c][:-3]
elif fault == "empty-as-null":
    r, c = first(lambda t, c, v: v == "")
    r["values"][c] = None
elif fault == "bool-as-int":
    r, c = first(lambda t, c, v: user(t) and v is True)
    r["values"][c] = 1
elif fault == "int-as-string":
    r, c = first(lambda t, c, v: user(t) and isinstance(v, int) and not isinstance(v, bool))
    r["values"][c] = str(r["values"][c])
elif fault == "text-changed":
    r, c = first(lambda t, c, v: user(t) and isinstance(v, str) and len(v) > 3 and not v[0].isdigit())
    r["values"][c] = r["values"][c][:-1]
elif fault == "guid-lowercase":
    r, c = first(lambda t, c, v: isinstance(v, str) and len(v) == 38 and v[0] == "{")
    r["values"][c] = r["values"][c].lower()
elif fault == "extra-column":
    rows[-1]["values"]["bogus"] = 1
elif fault == "drop-row":
    idx = max(i for i, r in enumerate(rows) if user(r["table"]))
    del rows[idx]
elif fault == "duplicate-row":
    idx = max(i for i, r in enumerate(rows) if user(r["table"]))
    rows.insert(idx, json.loads(json.dumps(rows[idx])))
elif fault == "reverse-rows":
    t = next(r["table"] for r in rows if user(r["table"]))
    idx = [i for i, r in enumerate(rows) if r["table"] == t]
    part = [rows[i] for i in idx][::-1]
    for i, r in zip(idx, part):
        rows[i] = r
elif fault == "table-order":
    names = []
    for r in rows:
        if r["table"] not in names:
            names.append(r["table"])
    a, b = names[0], names[1]
    rows = [r for r in rows if r["table"] == b] + [r for r in rows if r["table"] == a] + \
           [r for r in rows if r["table"] not in (a, b)]
elif fault == "side-with-mdbtools":
    # where the readers disagree on a text value, print mdbtools' value
    for r in rows:
        for c, v in r["values"].items():
            if isinstance(v, str) and v.endswith("\u0000"):
                r["values"][c] = v.rstrip("\u0000")
elif fault == "windows-1252-holes":
    for r in rows:
        for c, v in r["values"].items():
            if isinstance(v, str) and "\ufffd" in v:
                r["values"][c] = v.replace("\ufffd", "\x81")
elif fault == "bare-nan":
    out = [json.dumps(r, ensure_ascii=False) for r in rows]
    out[-1] = out[-1][:-2] + ', "x": NaN}}'
    sys.stdout.write("\n".join(out) + "\n")
    sys.exit(0)
elif fault != "none":
    raise SystemExit("unknown fault " + fault)
for r in rows:
    sys.stdout.write(json.dumps(r, ensure_ascii=False) + "\n")
'''

# (fault, file glob, expected exit status of compare_dump.py, text the output must hold)
CASES = [
    ("none", "jet4/testV2000.mdb", 0, "1 passed, 0 failed"),
    ("none", "wild/northwindJet3.mdb", 0, "1 passed, 0 failed"),
    ("none", "korean/posLibrary.mdb", 0, "1 passed, 0 failed"),
    ("crash", "jet4/testV2000.mdb", 1, "exited 3"),
    ("single-as-double", "wild/northwindJet3.mdb", 1, "column 'Discount'"),
    ("date-plus-1s", "jet4/testV2000.mdb", 1, "0 passed, 1 failed"),
    ("currency-short", "korean/posLibrary.mdb", 1, "0 passed, 1 failed"),
    ("empty-as-null", "korean/wedding.mdb", 1, "0 passed, 1 failed"),
    ("bool-as-int", "jet4/testV2000.mdb", 1, "0 passed, 1 failed"),
    ("int-as-string", "jet4/testV2000.mdb", 1, "0 passed, 1 failed"),
    ("text-changed", "korean/members.mdb", 1, "0 passed, 1 failed"),
    ("guid-lowercase", "wild/geodatabaseTemplates.mdb", 1, "0 passed, 1 failed"),
    ("extra-column", "jet4/testV2000.mdb", 1, "unexpected columns"),
    ("drop-row", "korean/zipcode.mdb", 1, "missing from ours"),
    ("duplicate-row", "jet4/testV2000.mdb", 1, "is extra"),
    ("reverse-rows", "jet4/testV2000.mdb", 0, "in another order"),
    ("table-order", "jet4/testV2000.mdb", 1, "table order"),
    ("side-with-mdbtools", "jet4/noPasswordV2003.mdb", 0, "ours = mdbtools 1"),
    ("windows-1252-holes", "jet3/testIndexCodesV1997.mdb", 0, "ours = lossy"),
    ("bare-nan", "jet4/testV2000.mdb", 1, "not JSON"),
]


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--corpus", required=True)
    ap.add_argument("--verbose", action="store_true")
    args = ap.parse_args()
    if not os.path.isdir(args.corpus):
        print(f"SKIP: corpus folder {args.corpus} is absent")
        print("0 passed, 0 failed")
        return 77
    if shutil.which("mdb-export") is None or shutil.which("node") is None or \
            not os.path.isdir(os.path.join(HERE, "node_modules", "mdb-reader")):
        print("SKIP: mdbtools, node or node_modules/mdb-reader missing")
        print("0 passed, 0 failed")
        return 77
    passed = failed = 0
    with tempfile.TemporaryDirectory() as tmp:
        cli = os.path.join(tmp, "stand-in-cli")
        with open(cli, "w") as f:
            f.write(f"#!{sys.executable}\n" + STAND_IN % {"here": HERE})
        os.chmod(cli, 0o755)
        for fault, glob, want_rc, want_text in CASES:
            if not os.path.exists(os.path.join(args.corpus, glob)):
                print(f"skip {fault} on {glob}: file absent")
                continue
            env = dict(os.environ, SELFTEST_FAULT=fault)
            proc = subprocess.run(
                [sys.executable, os.path.join(HERE, "compare_dump.py"), "--cli", cli,
                 "--corpus", args.corpus, "--only", glob],
                stdout=subprocess.PIPE, stderr=subprocess.STDOUT, env=env)
            out = proc.stdout.decode("utf-8", errors="replace")
            ok = proc.returncode == want_rc and want_text in out
            if ok:
                passed += 1
                print(f"ok   {fault} on {glob}: exit {proc.returncode}")
            else:
                failed += 1
                print(f"FAIL {fault} on {glob}: exit {proc.returncode} (wanted {want_rc}), "
                      f"{'found' if want_text in out else 'missing'} {want_text!r}")
            if args.verbose or not ok:
                print("     " + out.replace("\n", "\n     "))
    print(f"{passed} passed, {failed} failed")
    return 0 if failed == 0 else 1


if __name__ == "__main__":
    sys.exit(main())
