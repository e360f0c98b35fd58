#!/usr/bin/env python3
"""Compact every corpus file (a copy of it) and compare the result with the
original through mdbtools, which shares no code with ours.

    python3 tests/oracles/compact_corpus.py --cli build/cli/mdbcare-cli \\
        --corpus ../shared/corpus [--only GLOB] [--jobs N]

For each file, `mdbcare-cli compact` runs on a copy; then:

* the compaction reports success, and the result is not larger;
* `mdbcare-cli check` finds nothing in the result;
* mdbtools sees the same schema (mdb-schema, its statements in any
  order), the same queries and their
  SQL (mdb-queries), and the same rows in every table, system tables
  included (mdb-json, compared as multisets; the object ids that compaction
  renumbers are left out);
* a password-protected file keeps its password: without it the result does
  not open;
* compacting the result again gives a file of the same size;
* the results read the same in our reader, mdbtools and mdb-reader
  (compare_dump.py).

Prints one line per file with the sizes and their ratio. Exit status: 0 all
pass, 1 any failure, 77 when mdbtools or the corpus folder is missing.
"""

import argparse
import collections
import concurrent.futures
import fnmatch
import json
import os
import shutil
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
from compare_dump import PASSWORDS  # noqa: E402

SKIP = 77
TIMEOUT = 600

# System table columns holding object ids, which compaction renumbers.
RENUMBERED = {
    "msysobjects": {"id", "parentid"},
    "msysaces": {"objectid"},
    "msysqueries": {"objectid"},
    "msysnamemap": {"id"},
    "msysnavpaneobjectids": {"id"},
    "msysnavpanegrouptoobjects": {"objectid"},
    "msysnavpanegroups": {"objectid"},
    "msysnavpanegroupcategories": {"selectedobjectid"},
}


def run(args, check=True):
    p = subprocess.run(args, capture_output=True, timeout=TIMEOUT)
    if check and p.returncode != 0:
        raise RuntimeError("%s: exit %d: %s" % (
            " ".join(args[:2]), p.returncode,
            p.stderr.decode("utf-8", "replace").strip()))
    return p


def mdbtools_tables(path):
    out = run(["mdb-tables", "-S", "-1", path]).stdout.decode("utf-8")
    return [t for t in out.split("\n") if t]


def mdbtools_rows(path, table):
    out = run(["mdb-json", path, table]).stdout.decode("utf-8", "replace")
    drop = RENUMBERED.get(table.lower(), set())
    rows = collections.Counter()
    for line in out.split("\n"):
        if not line:
            continue
        try:
            row = json.loads(line)
        except ValueError:  # mdb-json writes some binary values unescaped
            rows[line] += 1
            continue
        for k in list(row):
            if k.lower() in drop:
                del row[k]
        rows[json.dumps(row, sort_keys=True)] += 1
    return rows


def mdbtools_queries(path):
    names = run(["mdb-queries", "-L", "-1", path]).stdout.decode(
        "utf-8", "replace").split("\n")
    return {n: run(["mdb-queries", path, n]).stdout for n in names if n}


def compare(source, result):
    """The differences mdbtools sees between the two files."""
    problems = []
    # mdb-schema lists tables in the order it meets their catalog rows,
    # which compaction may change (a moved row comes to its own place), so
    # its statements are compared as a set.
    schema = [sorted(run(["mdb-schema", p]).stdout.split(b"\n\n"))
              for p in (source, result)]
    if schema[0] != schema[1]:
        problems.append("mdb-schema differs")
    if mdbtools_queries(source) != mdbtools_queries(result):
        problems.append("mdb-queries differs")
    tables = mdbtools_tables(source)
    if sorted(tables) != sorted(mdbtools_tables(result)):
        problems.append("table lists differ")
    for t in tables:
        a, b = mdbtools_rows(source, t), mdbtools_rows(result, t)
        if a != b:
            problems.append("table %r: %d rows vs %d, %d differing" % (
                t, sum(a.values()), sum(b.values()),
                sum(((a - b) + (b - a)).values())))
    return problems


def compact(cli, path, password):
    args = [cli, "compact", path]
    if password is not None:
        args += ["--password", password]
    p = run(args, check=False)
    out = p.stdout.decode("utf-8", "replace").strip()
    if p.returncode != 0 or out != "작업이 완료 되었습니다":
        raise RuntimeError("compact: exit %d: %s %s" % (
            p.returncode, out, p.stderr.decode("utf-8", "replace").strip()))


def check_file(cli, source, work):
    name = os.path.basename(source)
    password = PASSWORDS.get(name)
    result = os.path.join(work, name)
    shutil.copyfile(source, result)
    compact(cli, result, password)
    problems = []
    before, after = os.path.getsize(source), os.path.getsize(result)
    if after > before:
        problems.append("grew from %d to %d bytes" % (before, after))
    args = [cli, "check", result] + (
        ["--password", password] if password else [])
    p = run(args, check=False)
    if p.returncode != 0:
        problems.append("check: " + p.stdout.decode("utf-8", "replace")
                        .strip().split("\n")[-1])
    if password is not None:
        p = run([cli, "tables", result, "--password", ""], check=False)
        if p.returncode == 0:
            problems.append("opens without its password")
    problems += compare(source, result)
    again_dir = tempfile.mkdtemp(dir=os.path.dirname(os.path.dirname(work)))
    again = os.path.join(again_dir, name)
    shutil.copyfile(result, again)
    compact(cli, again, password)
    if os.path.getsize(again) != after:
        problems.append("compacted again: %d bytes, not %d" % (
            os.path.getsize(again), after))
    return name, before, after, problems


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--cli", required=True)
    ap.add_argument("--corpus", required=True)
    ap.add_argument("--only", default="*")
    ap.add_argument("--jobs", type=int, default=2)
    a = ap.parse_args()
    if not os.path.isdir(a.corpus):
        print("corpus folder %s absent: skipped" % a.corpus)
        return SKIP
    for tool in ("mdb-json", "mdb-schema", "mdb-queries", "mdb-tables"):
        if shutil.which(tool) is None:
            print("%s not installed: skipped" % tool)
            return SKIP
    files = sorted(
        os.path.join(d, f) for d, _, fs in os.walk(a.corpus) for f in fs
        if f.lower().endswith(".mdb") and fnmatch.fnmatch(f, a.only))
    failed = 0
    with tempfile.TemporaryDirectory() as tmp:
        results = os.path.join(tmp, "results")
        os.mkdir(results)

        def one(path):
            work = tempfile.mkdtemp(dir=results)
            try:
                return check_file(a.cli, path, work)
            except Exception as e:  # reported as a failure of this file
                return os.path.basename(path), 0, 0, [str(e)]
        with concurrent.futures.ThreadPoolExecutor(a.jobs) as pool:
            for name, before, after, problems in pool.map(one, files):
                ratio = after / before if before else 0
                status = "ok" if not problems else "FAIL"
                print("%-32s %9d -> %9d  %.3f  %s" % (
                    name, before, after, ratio, status))
                for p in problems:
                    print("    " + p)
                failed += bool(problems)
        # The results read the same in our reader, mdbtools and mdb-reader.
        p = subprocess.run(
            [sys.executable, os.path.join(HERE, "compare_dump.py"),
             "--cli", a.cli, "--corpus", results, "--jobs", str(a.jobs)],
            capture_output=True, text=True)
        last = p.stdout.strip().split("\n")[-1] if p.stdout.strip() else ""
        print("readers on the compacted files: " + last)
        if p.returncode not in (0, SKIP):
            print(p.stdout[-3000:])
            failed += 1
    print("%d passed, %d failed" % (len(files) - failed, failed))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
