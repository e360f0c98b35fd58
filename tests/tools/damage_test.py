#!/usr/bin/env python3
"""Compact damaged copies of corpus files and measure what the salvage keeps.

    python3 tests/tools/damage_test.py --cli build/cli/mdbcare-cli \\
        --corpus ../shared/corpus [--seed S] [--only GLOB] [--jobs N] \\
        [--copies N] [--keep DIR] [--readers | --no-readers]

For each file (by default ten that cover Jet 3 and Jet 4, Korean and
Chinese text, memo and OLE values, indexes and moved rows; --only GLOB picks others from
the whole corpus, matched against the path below it or the file name),
damage.py makes up to --copies damaged copies of each kind (torn, zeroed
and overwritten data pages, a zeroed table definition, long-value, index or
catalog page, a file cut short), each with one damage, on pages a seeded
RNG picks from what the file holds. The independent reader of
tests/oracles/index_walk.py tells, on the original, which live rows of the
user tables the damage spares ("intact": their data page, the pages of a
moved row's pointers, their table's definition, usage map and catalog row
untouched) and which of those have a memo/OLE value on a damaged page.

Then `mdbcare-cli compact COPY` must (per copy):

* exit 0, without a signal, within --timeout seconds (nor may check,
  tables or dump crash or hang on the result: such a copy counts as a
  crash or hang too);
* leave a file that `mdbcare-cli check` finds sound (exit 0);
* leave a file that our `dump --all`, mdb-reader (mdb_reader_dump.mjs) and
  mdbtools (mdbtools_dump.py) read without an error they do not give on
  the original, with the same number of rows in every user table;
* list every table the damage did not take whole (`tables`);
* hold every intact row, matched by content against the original's rows of
  the same table as mdb-reader reads them (our dump without the readers);
  a row whose long value was on a damaged page may hold Null there;
* hold no row that was not a live row of the original. Only rows whose own
  bytes random-bytes overwrote may come back altered: nothing in a Jet file
  tells such a row from a sound one. They are counted, not failed.

Prints one line per copy (file, kind, damage, result, rows kept / intact
rows), then a summary by kind: copies repaired / copies and rows kept /
intact rows, with totals. Exit status: 0 every copy repaired, 1 any copy
not repaired or any failed check, 2 bad usage, 77 when the corpus folder
is missing or --readers is given and a reader is not installed.

A file with no damage must compact exactly as before: compact_corpus.py
tests that.
"""

import argparse
import collections
import fnmatch
import json
import multiprocessing
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time

# The table in which the compaction lists what a salvage left out.
COMPACT_ERROR_TABLE = "MSysCompactError"

HERE = os.path.dirname(os.path.abspath(__file__))
ORACLES = os.path.join(os.path.dirname(HERE), "oracles")
sys.path.insert(0, HERE)
sys.path.insert(0, ORACLES)
import compare_dump  # noqa: E402
import damage  # noqa: E402
import index_walk  # noqa: E402

SKIP = 77
DEFAULT_FILES = [
    "jet4/testV2000.mdb", "jet3/testV1997.mdb",
    "jet3/test2V1997.mdb",                   # Jet 3 memo over several pages
    "korean/accessControlInfo.mdb",          # moved rows, many text indexes
    "korean/phoneServerCustomers.mdb",       # memo, Korean text
    "korean/posLibrary.mdb",                 # password, Korean names
    "wild/northwindJet3.mdb", "wild/northwindApp.mdb",   # OLE pictures
    "wild/chineseCms.mdb",                   # 331 long-value pages
    "korean/zipcode.mdb",                    # 43,016 rows, 2,956 moved
]
MAX_SHOWN = 4          # examples of missing or invented rows per copy
BIG_FILE = 2 << 20     # bytes: larger files get at most 2 copies per kind


# ---- running programs -----------------------------------------------------------------

class Ran:
    """How a program ended: its exit status (negative: the signal), whether
    it ran past the timeout, and its output."""

    def __init__(self, code, timed_out, out, err, seconds):
        self.code = code
        self.timed_out = timed_out
        self.out = out
        self.err = err
        self.seconds = seconds

    @property
    def signal(self):
        return -self.code if self.code is not None and self.code < 0 else None

    def message(self):
        """What the program said last: its last line on stderr, else on
        stdout (compact reports on stdout, dump on stderr)."""
        for text in (self.err, self.out):
            lines = [line.strip() for line in text.split("\n") if line.strip()]
            if lines:
                return lines[-1][:200]
        return ""

    def outcome(self):
        """How it ended, with what it said."""
        said = self.message()
        return self.how() + (f": {said}" if said else "")

    def how(self):
        if self.timed_out:
            return "hang"
        if self.signal:
            try:
                name = signal.Signals(self.signal).name
            except ValueError:
                name = f"signal {self.signal}"
            return f"crash ({name})"
        return f"exit {self.code}"


def run(args, timeout):
    """Runs a program in its own process group, so that a timeout stops it
    and whatever it started (mdbtools_dump.py runs mdb-export)."""
    t0 = time.monotonic()
    proc = subprocess.Popen(args, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                            start_new_session=True)
    try:
        out, err = proc.communicate(timeout=timeout)
        timed_out = False
    except subprocess.TimeoutExpired:
        os.killpg(proc.pid, signal.SIGKILL)
        out, err = proc.communicate()
        timed_out = True
    return Ran(proc.returncode, timed_out,
               out.decode("utf-8", "surrogateescape"),
               err.decode("utf-8", "replace"), time.monotonic() - t0)


class Tools:
    def __init__(self, cli, readers, timeout):
        self.cli = cli
        self.readers = readers          # use mdb-reader and mdbtools
        self.timeout = timeout
        self.node = shutil.which("node")

    def cli_args(self, verb, path, password, *more):
        args = [self.cli, verb, path, *more]
        if password is not None:
            args += ["--password", password]
        return args

    def dumps(self, path, password):
        """{reader: Dump or an error message} for ours and, with readers,
        mdb-reader and mdbtools; every table, system tables included. And
        "crash" or "hang" when our dump broke, else None."""
        broke = None
        jobs = [("ours", self.cli_args("dump", path, password, "--all"))]
        if self.readers:
            mr = [self.node, compare_dump.MDB_READER_SCRIPT, path, "--all"]
            if password is not None:
                mr += ["--password", password]
            jobs.append(("mdb-reader", mr))
            jobs.append(("mdbtools", [sys.executable, compare_dump.MDBTOOLS_SCRIPT, path, "--all"]))
        out = {}
        for label, args in jobs:
            r = run(args, self.timeout)
            if r.timed_out or r.signal:
                out[label] = f"{label}: {r.how()}"
                if label == "ours":
                    broke = "hang" if r.timed_out else "crash"
                continue
            if label == "ours" and r.code != 0:
                out[label] = f"our dump: {r.outcome()}"
                continue
            d, problem = parse_dump(r.out, label)
            if problem:
                out[label] = problem
                continue
            if r.code != 0 or d.file_error:
                out[label] = f"{label} cannot read the file (exit {r.code}): " \
                             f"{d.file_error or r.err.strip()[:200]}"
                continue
            out[label] = d
        return out, broke


def parse_dump(text, label):
    """The JSON lines of a dump as compare_dump.Dump, or a problem. Lines
    end at "\n" only: a value may hold U+2028, U+0085 or a lone "\r",
    which JSON leaves unescaped and str.splitlines() would split at."""
    lines = compare_dump.json_lines(text)
    try:
        # All lines at once is much faster than one by one; the slow way
        # below only runs to name the line that is not JSON.
        objs = json.loads("[" + ",".join(lines) + "]",
                          parse_constant=compare_dump.reject_constant)
        if len(objs) != len(lines):
            raise ValueError("a line holds more than one value")
    except ValueError:
        objs = []
        for n, line in enumerate(lines, 1):
            try:
                objs.append(json.loads(line, parse_constant=compare_dump.reject_constant))
            except ValueError as e:
                return None, f"{label}: line {n} is not JSON: {e}: {line[:100]}"
    d = compare_dump.Dump()
    for n, obj in enumerate(objs, 1):
        if not isinstance(obj, dict):
            return None, f"{label}: line {n} is not an object: {lines[n - 1][:100]}"
        if label == "ours" and set(obj) != {"table", "values"}:
            return None, f"our dump: line {n} is not {{\"table\": ..., \"values\": ...}}: " \
                         f"{lines[n - 1][:100]}"
        if "table" not in obj:
            d.file_error = obj.get("error", "a line without a table")
            continue
        name = obj["table"]
        if "error" in obj:
            d.errors[name] = obj["error"]
            d.tables.setdefault(name, [])
            continue
        if not isinstance(obj.get("values"), dict):
            return None, f"{label}: line {n} has no values: {lines[n - 1][:100]}"
        d.tables.setdefault(name, []).append(obj)
    return d, None


def readers_available():
    missing = []
    if shutil.which("node") is None:
        missing.append("node")
    if not os.path.exists(os.path.join(ORACLES, "node_modules", "mdb-reader", "package.json")):
        missing.append("mdb-reader (npm ci --prefix tests/oracles)")
    if shutil.which("mdb-export") is None:
        missing.append("mdbtools")
    return missing


# ---- the original ---------------------------------------------------------------------

class Original:
    """An original file: its model (damage.py), its rows by row id as the
    content reader prints them, and the errors each reader gives on it."""

    def __init__(self, rel, path, password):
        self.rel = rel
        self.path = path
        self.password = password
        self.model = None
        self.content_reader = None
        self.values = {}        # table -> {rid: values}
        self.keys = {}          # table -> {rid: row_key(values)}
        self.errors = {}        # reader -> set of tables it cannot read
        self.problem = None     # why the file cannot be used
        self.notes = []


def prepare(tools, rel, path, password):
    o = Original(rel, path, password)
    try:
        o.model = damage.FileModel(path)
    except index_walk.FormatError as e:
        o.problem = f"index_walk cannot read it: {e}"
        return o
    o.notes += o.model.notes
    dumps, _ = tools.dumps(path, password)
    for label, d in dumps.items():
        if isinstance(d, str):
            if label == "ours":
                o.problem = f"the original: {d}"
                return o
            o.notes.append(f"the original: {d}")
            o.errors[label] = None      # unreadable: not asked of the results
            continue
        o.errors[label] = set(d.errors)
    names = [t.name for t in o.model.tables]
    mr = dumps.get("mdb-reader")
    if not isinstance(mr, str) and mr is not None and not (set(names) & set(mr.errors)):
        o.content_reader = "mdb-reader"
    else:
        o.content_reader = "ours"
    content = dumps[o.content_reader]
    for t in o.model.tables:
        rows = [r["values"] for r in content.tables.get(t.name, [])]
        paired, problem = pair_with_model(t, rows)
        if problem:
            o.problem = f"table {t.name}: {problem}"
            return o
        o.values[t.name] = paired
        o.keys[t.name] = {rid: row_key(v) for rid, v in paired.items()}
    return o


def row_key(values):
    """A row's values in a form to look rows up by. Both sides of a
    comparison come from the same reader, so equal values print alike."""
    return tuple(sorted(values.items()))


def pair_with_model(t, rows):
    """Gives each live row of the model the reader's row that has the same
    Yes/No, Byte, Integer, Long and Text values, in reading order among
    rows with equal values. Returns ({rid: values}, problem)."""
    if len(rows) != len(t.order):
        return None, f"index_walk finds {len(t.order)} live rows, the reader {len(rows)}"
    by_key = collections.defaultdict(collections.deque)
    for values in rows:
        try:
            key = tuple(damage.key_value(values[name]) for name, _ in t.columns)
        except KeyError as e:
            return None, f"the reader's rows have no column {e}"
        by_key[key].append(values)
    out = {}
    for rid in t.order:
        bucket = by_key.get(t.rows[rid].key)
        if not bucket:
            return None, f"row {rid[0]}:{rid[1]} has no row of equal values in the reader's dump"
        out[rid] = bucket.popleft()
    return out, None


# ---- one damaged copy -------------------------------------------------------------------

class CopyResult:
    def __init__(self, rel, dmg, spared):
        self.rel = rel
        self.damage = dmg
        self.spared = spared
        self.outcome = None      # repaired, refused, crash, hang, bad result
        self.message = ""
        self.problems = []
        self.kept = 0            # intact rows found in the result
        self.lv_kept = 0         # of them, rows whose long value was damaged
        self.extra = 0           # rows from damaged pages found as well
        self.altered = 0         # rows random-bytes changed, in the result
        self.broke = None        # "crash" or "hang" of check, tables or dump on the result
        self.seconds = 0.0

    @property
    def repaired(self):
        return self.outcome == "repaired"


ORIGINALS = []     # the originals, for the forked workers


def run_job(job):
    tools, n, dmg, work, keep = job
    return run_copy(tools, ORIGINALS[n], dmg, work, keep)


def run_copy(tools, orig, dmg, work, keep):
    model = orig.model
    sp = damage.spared(model, dmg)
    res = CopyResult(orig.rel, dmg, sp)
    folder = os.path.join(work, f"{stem(orig.rel)}.{dmg.kind}.{dmg.number}")
    os.makedirs(folder)
    copy = os.path.join(folder, os.path.basename(orig.path))
    shutil.copyfile(orig.path, copy)
    dmg.apply(copy, model.page_size)
    kept_name = None
    if keep:
        kept_name = os.path.join(keep, f"{stem(orig.rel)}.{dmg.kind}.{dmg.number}")
        shutil.copyfile(copy, kept_name + ".mdb")
    try:
        ran = run(tools.cli_args("compact", copy, orig.password), tools.timeout)
        res.seconds = ran.seconds
        res.message = ran.message()
        if ran.timed_out:
            res.outcome = "hang"
            res.problems.append(f"compact ran past {tools.timeout} s and was stopped")
        elif ran.signal:
            res.outcome = "crash"
            res.problems.append(f"compact: {ran.outcome()}")
        elif ran.code != 0:
            res.outcome = "refused"
        else:
            if kept_name:
                shutil.copyfile(copy, kept_name + ".compacted.mdb")
            check_result(tools, orig, sp, copy, res)
            if res.broke:
                res.outcome = res.broke
                res.problems.insert(0, f"compact exited 0, then our CLI itself broke on the "
                                       f"result ({res.broke})")
            else:
                res.outcome = "repaired" if not res.problems else "bad result"
    finally:
        shutil.rmtree(folder, ignore_errors=True)
    return res


def check_result(tools, orig, sp, path, res):
    r = run(tools.cli_args("check", path, orig.password), tools.timeout)
    if r.timed_out or r.signal:
        res.broke = res.broke or ("hang" if r.timed_out else "crash")
    if r.code != 0:
        res.problems.append(f"check: {r.outcome()}")
    r = run(tools.cli_args("tables", path, orig.password), tools.timeout)
    if r.timed_out or r.signal:
        res.broke = res.broke or ("hang" if r.timed_out else "crash")
    if r.code != 0:
        res.problems.append(f"tables: {r.outcome()}")
    listed = [t for t in r.out.split("\n") if t] if r.code == 0 else []
    lost = set(sp.lost_tables)
    missing = [t.name for t in orig.model.tables if t.name not in lost and t.name not in listed]
    if missing:
        res.problems.append(f"tables the damage did not take are gone: {', '.join(missing)}")

    dumps, broke = tools.dumps(path, orig.password)
    res.broke = res.broke or broke
    for label, d in dumps.items():
        if isinstance(d, str):
            if orig.errors.get(label, set()) is not None:
                res.problems.append(f"reading the result: {d}")
            continue
        known = orig.errors.get(label) or set()
        new = sorted(set(d.errors) - known)
        for name in new[:MAX_SHOWN]:
            res.problems.append(f"{label} cannot read table {name!r}: {d.errors[name][:200]}")
    counts = {}
    for label, d in dumps.items():
        if not isinstance(d, str):
            counts[label] = {name: len(d.tables.get(name, [])) for name in listed
                             if name not in d.errors}
    for name in listed:
        seen = {label: c[name] for label, c in counts.items() if name in c}
        if len(set(seen.values())) > 1:
            res.problems.append(f"table {name!r}: the readers count different rows: " +
                                ", ".join(f"{k} {v}" for k, v in sorted(seen.items())))
    content = dumps.get(orig.content_reader)
    if isinstance(content, str) or content is None:
        res.problems.append(f"no rows to compare: {orig.content_reader} cannot read the result")
        return
    compare_rows(orig, sp, res, content, listed)


def compare_rows(orig, sp, res, content, listed):
    """Every intact row in the result, and no row that was not one of the
    original's; see the module's description."""
    names = {t.name for t in orig.model.tables}
    leftovers = {}                     # table -> result rows matching nothing
    for t in orig.model.tables:
        rows = [r["values"] for r in content.tables.get(t.name, [])]
        intact = sp.intact.get(t.name, set())
        lv_lost = sp.lv_lost.get(t.name, {})
        found, unmatched = match_rows(orig.values[t.name], orig.keys[t.name],
                                      intact, lv_lost, rows)
        kept = found & intact
        res.kept += len(kept)
        res.lv_kept += len(kept & set(lv_lost))
        res.extra += len(found - intact)
        missing = sorted(intact - found)
        if missing:
            shown = "; ".join(compare_dump.short(orig.values[t.name][rid], 160)
                              for rid in missing[:MAX_SHOWN])
            res.problems.append(f"table {t.name!r}: {len(missing)} of {len(intact)} intact rows "
                                f"missing, e.g. {shown}")
        if unmatched:
            leftovers[t.name] = unmatched
    # Tables of the result that the original did not have: only rows of a
    # table the damage took whole (with its name) may come back so.
    lost = [t for t in orig.model.tables if t.name in sp.lost_tables]
    for name in listed:
        if name in names or name == COMPACT_ERROR_TABLE:
            continue
        rows = [r["values"] for r in content.tables.get(name, [])]
        home = None
        for t in lost:
            _, unmatched = match_rows(orig.values[t.name], orig.keys[t.name], set(), {}, rows)
            if not unmatched:
                home = t.name
                break
        if home is None:
            res.problems.append(f"table {name!r} ({len(rows)} rows) is not a table of the original")
        else:
            res.extra += len(rows)
    for name, unmatched in leftovers.items():
        hit = sp.hit.get(name, set())
        if res.damage.kind == "random-bytes" and len(unmatched) <= len(hit):
            res.altered += len(unmatched)
            continue
        shown = "; ".join(compare_dump.short(v, 160) for v in unmatched[:MAX_SHOWN])
        res.problems.append(f"table {name!r}: {len(unmatched)} rows that were no live row of "
                            f"the original, e.g. {shown}")


def match_rows(original, keys, intact, lv_lost, rows):
    """Pairs result rows with original rows (each used once) by equal
    values; a row whose long value was damaged also pairs with that column
    Null. Original rows that are intact are taken first. Returns (rids
    found, result rows paired with none)."""
    exact = collections.defaultdict(list)
    nulled = collections.defaultdict(list)
    for rid in sorted(original, key=lambda r: (r not in intact, r)):
        exact[keys[rid]].append(rid)
        if rid in lv_lost:
            v = dict(original[rid])
            for c in lv_lost[rid]:
                v[c] = None
            nulled[row_key(v)].append(rid)
    found = set()
    unmatched = []
    for values in rows:
        key = row_key(values)
        rid = take(exact.get(key), found) or take(nulled.get(key), found)
        if rid is None:
            unmatched.append(values)
        else:
            found.add(rid)
    return found, unmatched


def take(bucket, found):
    while bucket:
        rid = bucket.pop(0)
        if rid not in found:
            return rid
    return None


def stem(rel):
    return rel.replace("/", "_").rsplit(".", 1)[0]


# ---- report ------------------------------------------------------------------------------

def copy_line(r):
    sp = r.spared
    status = "ok  " if r.repaired else "FAIL"
    what = r.outcome
    if r.outcome == "refused":
        what += f" ({r.message})"
    s = (f"{status} {r.rel} {r.damage.kind}#{r.damage.number} {r.damage.detail}: {what}; "
         f"rows kept {r.kept}/{sp.intact_count}")
    if sp.lv_lost_count:
        s += f", with a damaged long value {r.lv_kept}/{sp.lv_lost_count}"
    if r.extra:
        s += f", +{r.extra} from damaged pages"
    if r.altered:
        s += f", {r.altered} altered by the overwritten bytes"
    if sp.lost_tables:
        s += f"; lost with their table: {sp.lost_rows} rows in {len(sp.lost_tables)} tables"
    for p in r.problems:
        s += "\n    " + p
    return s


def summary(results):
    """The figures by kind of damage, then over all copies."""
    kinds = [k for k in damage.KINDS if any(r.damage.kind == k for r in results)]
    head = (f"{'kind':<15} {'repaired':>9} {'refused':>8} {'bad':>4} {'crash':>6} {'hang':>5}"
            f" {'rows kept / intact':>26} {'long value':>11} {'in lost':>8}")
    lines = [
        "",
        "Summary by kind. repaired: copies that passed every check, of all copies;",
        "refused: compact exited non-zero; bad: exited 0 but a check failed. rows kept",
        "/ intact: intact rows found in the results, of the rows the damage spared",
        "(summed over copies; a refused copy keeps none). long value: intact rows whose",
        "memo/OLE value was on a damaged page, kept / all. in lost: rows of tables the",
        "damage took whole (definition, usage map or catalog row), not counted as intact.",
        "",
        head,
    ]

    def line(label, group):
        c = collections.Counter()
        for r in group:
            c["copies"] += 1
            c[r.outcome] += 1
            c["kept"] += r.kept
            c["intact"] += r.spared.intact_count
            c["lv_kept"] += r.lv_kept
            c["lv"] += r.spared.lv_lost_count
            c["lost"] += r.spared.lost_rows
        pct = f"{100.0 * c['kept'] / c['intact']:5.1f}%" if c["intact"] else "     -"
        lv = f"{c['lv_kept']}/{c['lv']}" if c["lv"] else "-"
        lines.append(f"{label:<15} {c['repaired']:>4} / {c['copies']:<3} {c['refused']:>7}"
                     f" {c['bad result']:>4} {c['crash']:>6} {c['hang']:>5}"
                     f" {c['kept']:>9} / {c['intact']:<7} {pct} {lv:>11} {c['lost']:>8}")

    for k in kinds:
        line(k, [r for r in results if r.damage.kind == k])
    lines.append("-" * len(head))
    line("total", results)
    return "\n".join(lines)


# ---- main ---------------------------------------------------------------------------------

def find_files(corpus, only):
    rels = []
    for d, _, fs in os.walk(corpus):
        for f in fs:
            if f.lower().endswith(".mdb"):
                rels.append(os.path.relpath(os.path.join(d, f), corpus).replace(os.sep, "/"))
    rels.sort()
    if only is None:
        return [r for r in DEFAULT_FILES if r in rels]
    return [r for r in rels if fnmatch.fnmatch(r, only) or fnmatch.fnmatch(os.path.basename(r), only)]


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("--cli", required=True, help="mdbcare-cli to test")
    ap.add_argument("--corpus", required=True, help="folder of .mdb files (read only)")
    ap.add_argument("--seed", default="1", help="seed of the damage (default 1)")
    ap.add_argument("--only", help="files to use (glob on the path below the corpus or the "
                                   "name); default: ten files that cover every kind")
    ap.add_argument("--jobs", type=int, default=2, help="copies at once (default 2)")
    ap.add_argument("--copies", type=int, default=3,
                    help="copies per kind and file (default 3; at most 2 for files over 2 MB)")
    ap.add_argument("--keep", help="keep each damaged copy (and its compacted result) here")
    ap.add_argument("--timeout", type=float, default=60,
                    help="seconds one command may run before it counts as a hang (default 60)")
    group = ap.add_mutually_exclusive_group()
    group.add_argument("--readers", action="store_true",
                       help="require mdb-reader and mdbtools (default: use them when installed)")
    group.add_argument("--no-readers", action="store_true", help="use only our dump")
    a = ap.parse_args()

    if not os.path.isdir(a.corpus):
        print(f"corpus folder {a.corpus} absent: skipped")
        return SKIP
    if not (os.path.isfile(a.cli) and os.access(a.cli, os.X_OK)):
        print(f"{a.cli} is not an executable", file=sys.stderr)
        return 2
    missing = readers_available()
    if a.readers and missing:
        print(f"{', '.join(missing)} not installed: skipped")
        return SKIP
    readers = not a.no_readers and not missing
    files = find_files(a.corpus, a.only)
    if not files:
        print("no corpus file to damage: skipped")
        return SKIP
    if a.keep:
        os.makedirs(a.keep, exist_ok=True)
    tools = Tools(os.path.abspath(a.cli), readers, a.timeout)
    t0 = time.monotonic()
    print(f"seed {a.seed}, {len(files)} files, up to {a.copies} copies per kind; rows read with "
          + ("mdb-reader, mdbtools and ours" if readers else "our dump only"))

    failed_files = 0
    results = []
    # Processes, not threads: reading a large dump is Python work, which
    # threads would do one at a time. The copies' workers are forked once
    # the originals are read, and find them in ORIGINALS.
    fork = multiprocessing.get_context("fork")
    with fork.Pool(max(1, a.jobs)) as pool:
        originals = pool.starmap(prepare, [
            (tools, rel, os.path.join(a.corpus, rel),
             compare_dump.PASSWORDS.get(os.path.basename(rel))) for rel in files])
    jobs = []
    for n, o in enumerate(originals):
        if o.problem:
            print(f"FAIL {o.rel}: cannot be used: {o.problem}")
            failed_files += 1
            continue
        for note in o.notes:
            print(f"note {o.rel}: {note}")
        copies = a.copies if o.model.size <= BIG_FILE else min(a.copies, 2)
        for dmg in damage.make_damages(o.model, o.rel, a.seed, copies):
            jobs.append((n, dmg))
    ORIGINALS[:] = originals
    with tempfile.TemporaryDirectory(prefix="damage_test.") as work, \
            fork.Pool(max(1, a.jobs)) as pool:
        for r in pool.imap(run_job, [(tools, n, dmg, work, a.keep) for n, dmg in jobs]):
            print(copy_line(r), flush=True)
            results.append(r)

    print(summary(results))
    bad = [r for r in results if not r.repaired]
    crashes = [r for r in results if r.outcome in ("crash", "hang")]
    for r in crashes:
        print(f"{r.outcome}: {r.rel} {r.damage.kind} {r.damage.detail} "
              f"(--seed {a.seed} --only {os.path.basename(r.rel)} --keep DIR gives the copy)")
    print(f"{len(results) - len(bad)} of {len(results)} copies repaired, {len(bad)} not"
          + (f", {failed_files} files unusable" if failed_files else "")
          + f" ({time.monotonic() - t0:.0f} s)")
    return 1 if bad or failed_files else 0


if __name__ == "__main__":
    sys.stdout.reconfigure(errors="backslashreplace")
    try:
        sys.exit(main())
    except BrokenPipeError:
        sys.exit(1)
