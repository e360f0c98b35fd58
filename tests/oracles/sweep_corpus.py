#!/usr/bin/env python3
"""Run each sweep (`nulls`, `trim`) on a copy of every corpus file and check
the result with readers that share no code with ours.

    python3 tests/oracles/sweep_corpus.py --cli build/cli/mdbcare-cli \\
        --corpus ../shared/corpus [--only GLOB] [--jobs N] [--keep DIR]

For every .mdb file under --corpus and each sweep, on a fresh copy:

* `mdbcare-cli nulls COPY` (or `trim`), with the file's password where it
  has one (PASSWORDS in compare_dump.py), exits 0;
* `mdbcare-cli check COPY` exits 0;
* index_walk.py, descending every index tree as Access and Jackcess do,
  finds every live row of every table in every index (and nothing else);
* no text value gained a U+0000: mdb-reader, which keeps U+0000 in text,
  reads the copy before and after the sweep, and for every table and column
  the number of U+0000 characters over all values must not grow;
* our dump of the swept copy agrees with mdb-reader and mdbtools
  (compare_dump.py's comparison of that file).

Prints one PASS/FAIL line per file and sweep with its failures below it,
then the failed pairs, the time taken and "N passed, M failed" (pairs of file
and sweep). Exit status: 0 all pass, 1 any failure, 2 bad usage (e.g.
--cli is not an executable), 77 when mdbtools, node, mdb-reader's
node_modules or the corpus folder is missing.
"""

import argparse
import collections
import concurrent.futures
import os
import shutil
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import compare_dump  # noqa: E402
import index_walk  # noqa: E402

SKIP = 77
SWEEPS = ("nulls", "trim")
TIMEOUT = 300  # seconds for one command on one file


class PairResult:
    """The checks of one sweep of one file."""

    def __init__(self, rel, sweep):
        self.rel = rel
        self.sweep = sweep
        self.failures = []
        self.facts = []
        self.seconds = 0.0

    @property
    def passed(self):
        return not self.failures

    def line(self):
        status = "PASS" if self.passed else "FAIL"
        s = f"{status} {self.rel} {self.sweep}: {', '.join(self.facts)} [{self.seconds:.1f}s]"
        for f in self.failures:
            s += "\n  FAIL " + f.replace("\n", "\n  ")
        return s


def run(args):
    p = subprocess.run(args, capture_output=True, timeout=TIMEOUT)
    out = p.stdout.decode("utf-8", "replace").strip()
    err = p.stderr.decode("utf-8", "replace").strip()
    return p.returncode, out, err


def with_password(args, password):
    return args + (["--password", password] if password is not None else [])


def nul_counts(path, password):
    """U+0000 characters per (table, column) over all text values, as
    mdb-reader reads the file; None when mdb-reader cannot open it. Tables
    it cannot read (MSysAccessObjects of Jet 4) are left out."""
    args = with_password(["node", compare_dump.MDB_READER_SCRIPT, path, "--all"], password)
    rc, text, err, _ = compare_dump.run_dump(args, "mdb-reader")
    d = compare_dump.parse_oracle(text, "mdb-reader")
    if rc != 0 or d.file_error:
        return None, d.file_error or err[:300]
    counts = collections.Counter()
    for table, rows in d.tables.items():
        if table in d.errors:
            continue
        for row in rows:
            for col, v in row["values"].items():
                if isinstance(v, str) and "\x00" in v:
                    counts[(table, col)] += v.count("\x00")
    return counts, None


def sweep_one(cli, source, rel, sweep, work, password, before):
    res = PairResult(rel, sweep)
    t0 = time.monotonic()
    try:
        check_sweep(cli, source, rel, sweep, work, password, before, res)
    except subprocess.TimeoutExpired as e:
        res.failures.append(f"{' '.join(e.cmd[:2])} timed out after {TIMEOUT} s")
    except Exception as e:  # a bug here must not look like a pass
        res.failures.append(f"internal error: {type(e).__name__}: {e}")
    res.seconds = time.monotonic() - t0
    return res


def check_sweep(cli, source, rel, sweep, work, password, before, res):
    copy = os.path.join(work, sweep, rel)
    os.makedirs(os.path.dirname(copy), exist_ok=True)
    shutil.copyfile(source, copy)

    rc, out, err = run(with_password([cli, sweep, copy], password))
    if rc != 0:
        res.failures.append(f"{sweep} exited {rc}: {(err or out)[:300]}")
        return

    rc, out, err = run(with_password([cli, "check", copy], password))
    if rc != 0:
        findings = [l for l in out.splitlines() if l and not l.startswith(
            ("pages ", "data-pages ", "rows ", "indexes ", "keys "))]
        res.failures.append(f"check exited {rc}: " + " | ".join(findings[:6])[:600]
                            + (f" {err[:200]}" if err else ""))
    else:
        res.facts.append("check ok")

    walk = index_walk.walk_file(copy)
    if walk.skipped:
        res.facts.append(f"indexes not walked ({walk.skipped})")
    elif walk.passed:
        res.facts.append(f"{walk.entries} index entries in {len(walk.indexes)} indexes")
    else:
        for p in walk.problems[:8]:
            res.failures.append(f"index walk: {p}")
        if len(walk.problems) > 8:
            res.failures.append(f"index walk: {len(walk.problems) - 8} more problems")

    counts_before, why_before = before
    if counts_before is None:
        res.facts.append(f"U+0000 not counted (mdb-reader cannot open the original: {why_before})")
    else:
        after, why = nul_counts(copy, password)
        if after is None:
            res.failures.append(f"mdb-reader opened the file before the sweep, not after: {why}")
        else:
            grew = [(k, counts_before.get(k, 0), n) for k, n in sorted(after.items())
                    if n > counts_before.get(k, 0)]
            for (table, col), a, b in grew[:8]:
                res.failures.append(f"U+0000 in {table}.{col}: {a} before, {b} after")
            if not grew:
                res.facts.append(f"U+0000 {sum(counts_before.values())} -> {sum(after.values())}")

    cmp = compare_dump.compare_file(copy, rel, cli, password, False)
    if cmp.passed:
        res.facts.append(f"{cmp.rows} rows agree with the readers")
    else:
        for f in cmp.failures[:compare_dump.MAX_EXAMPLES]:
            res.failures.append("readers: " + f)


def check_file(cli, source, rel, work, password):
    """Both sweeps of one file; U+0000 is counted once, on a copy of the
    original (the reader only reads it)."""
    first = os.path.join(work, "original", rel)
    os.makedirs(os.path.dirname(first), exist_ok=True)
    shutil.copyfile(source, first)
    try:
        before = nul_counts(first, password)
    except Exception as e:
        before = (None, f"{type(e).__name__}: {e}")
    os.remove(first)
    return [sweep_one(cli, source, rel, s, work, password, before) for s in SWEEPS]


def skip(msg):
    print(f"SKIP: {msg}")
    print("0 passed, 0 failed")
    sys.exit(SKIP)


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("--cli", required=True, help="path of mdbcare-cli")
    ap.add_argument("--corpus", required=True, help="folder of .mdb files (searched recursively)")
    ap.add_argument("--only", help="glob on the path below --corpus or on the file name")
    ap.add_argument("--jobs", type=int, default=os.cpu_count() or 2, help="files checked at once")
    ap.add_argument("--keep", metavar="DIR",
                    help="leave the swept copies in DIR/nulls and DIR/trim (default: a temporary folder)")
    args = ap.parse_args()

    if not os.path.isdir(args.corpus):
        skip(f"corpus folder {args.corpus} is absent")
    missing = [t for t in ("mdb-tables", "mdb-schema", "mdb-export") if shutil.which(t) is None]
    if missing:
        skip(f"mdbtools is not installed ({', '.join(missing)} not found; apt-get install mdbtools)")
    if shutil.which("node") is None:
        skip("node is not installed")
    if not os.path.exists(os.path.join(HERE, "node_modules", "mdb-reader", "package.json")):
        skip(f"mdb-reader is not installed (run: npm ci --prefix {os.path.relpath(HERE)})")
    files = compare_dump.find_files(args.corpus, args.only)
    if not files:
        if args.only:
            print(f"no .mdb file under {args.corpus} matches {args.only!r}", file=sys.stderr)
            sys.exit(2)
        skip(f"no .mdb files in {args.corpus}")
    if not (os.path.isfile(args.cli) and os.access(args.cli, os.X_OK)):
        print(f"--cli {args.cli}: no such executable", file=sys.stderr)
        sys.exit(2)
    cli = os.path.abspath(args.cli)

    # The largest files first, so that they do not finish the run alone.
    files.sort(key=lambda f: -os.path.getsize(f[0]))
    t0 = time.monotonic()
    results = []
    with tempfile.TemporaryDirectory(prefix="sweep_corpus.") as tmp:
        work = os.path.abspath(args.keep) if args.keep else tmp
        with concurrent.futures.ThreadPoolExecutor(max_workers=max(1, args.jobs)) as pool:
            futs = {pool.submit(check_file, cli, full, rel, work,
                                compare_dump.PASSWORDS.get(os.path.basename(full))): rel
                    for full, rel in files}
            for fut in concurrent.futures.as_completed(futs):
                try:
                    pair = fut.result()
                except Exception as e:
                    pair = []
                    for s in SWEEPS:
                        r = PairResult(futs[fut], s)
                        r.failures.append(f"internal error: {type(e).__name__}: {e}")
                        pair.append(r)
                for r in pair:
                    print(r.line(), flush=True)
                results += pair

    results.sort(key=lambda r: (r.rel, SWEEPS.index(r.sweep)))
    failed = [r for r in results if not r.passed]
    print()
    for s in SWEEPS:
        mine = [r for r in results if r.sweep == s]
        print(f"{s}: {sum(r.passed for r in mine)} of {len(mine)} files pass")
    if failed:
        print()
        print("=== failed ===")
        for r in failed:
            print(f"{r.rel} {r.sweep}: {r.failures[0].splitlines()[0]}")
    print()
    print(f"time: {time.monotonic() - t0:.1f} s for {len(files)} files")
    print(f"{len(results) - len(failed)} passed, {len(failed)} failed")
    sys.exit(1 if failed else 0)


if __name__ == "__main__":
    sys.stdout.reconfigure(errors="backslashreplace")
    try:
        main()
    except BrokenPipeError:
        sys.exit(1)
