#!/usr/bin/env python3
"""Compare `mdbcare-cli dump --all` with two independent Jet readers.

    python3 tests/oracles/compare_dump.py --cli build/cli/mdbcare-cli \\
        --corpus ../shared/corpus [--only GLOB] [--jobs N]
    python3 tests/oracles/compare_dump.py --oracles-only --corpus ../shared/corpus

For every .mdb file under --corpus the dump of our CLI, of mdb-reader
(mdb_reader_dump.mjs) and of mdbtools (mdbtools_dump.py) are compared table
by table, row by row, value by value:

* where the two readers agree, our value must equal theirs;
* where they disagree, ours must equal one of them, and the case goes into the
  "reader disagreements" summary (file, table, column, row, both values);
* where only one reader can read a table or column, ours must equal that one;
* a table whose rows match only in another order gives a warning, not a
  failure.

With --oracles-only the two readers are compared with each other and no CLI
is run: a file fails when a reader breaks, when their rows cannot be paired,
or when they disagree in a way not listed in known_disagreements.tsv (which
--write-known rewrites from the current run).

Exit status: 0 all files pass, 1 any failure, 2 bad usage, 77 when mdbtools,
node/mdb-reader or the corpus folder is missing. The last line of output is
"N passed, M failed".
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
import time

HERE = os.path.dirname(os.path.abspath(__file__))
MDB_READER_SCRIPT = os.path.join(HERE, "mdb_reader_dump.mjs")
MDBTOOLS_SCRIPT = os.path.join(HERE, "mdbtools_dump.py")
KNOWN_FILE = os.path.join(HERE, "known_disagreements.tsv")
SKIP = 77

# Database passwords of the corpus files, by file name.
PASSWORDS = {
    "passwordV2000.mdb": "password",
    "passwordV2003.mdb": "password",
    "posLibrary.mdb": "Library",
}

PROCESS_TIMEOUT = 300  # seconds for one dump of one file
MAX_EXAMPLES = 5       # mismatching values shown per file


# ---- small helpers ------------------------------------------------------------

def fold_ascii(s):
    return "".join(chr(ord(c) + 32) if "A" <= c <= "Z" else c for c in s)


def table_key(name):
    return (fold_ascii(name), name)


def short(v, limit=120):
    s = json.dumps(v, ensure_ascii=False)
    return s if len(s) <= limit else s[: limit - 3] + "..."


def show_pair(a, b, limit=90):
    """Two values for a message; long strings with a common beginning are
    shown from shortly before their first difference."""
    if isinstance(a, str) and isinstance(b, str):
        n = 0
        while n < min(len(a), len(b)) and a[n] == b[n]:
            n += 1
        if n > 24:
            cut = n - 12
            return (f"[{cut} equal chars]" + short(a[cut:], limit),
                    f"[{cut} equal chars]" + short(b[cut:], limit))
    return short(a, limit), short(b, limit)


def reject_constant(name):
    raise ValueError(f"{name} is not JSON")


def strict_object(pairs):
    obj = {}
    for k, v in pairs:
        if k in obj:
            raise ValueError(f"duplicate key {k!r}")
        obj[k] = v
    return obj


def loads(line):
    return json.loads(line, parse_constant=reject_constant, object_pairs_hook=strict_object)


# ---- value comparison -----------------------------------------------------------

def same(a, b):
    """Equality of two JSON values as dumped: booleans are not numbers;
    numbers are equal when they read as the same double (5 and 5.0 are; so are
    123456789012345680 and 1.2345678901234568e+17, one double written two
    ways; 1.1 and 1.100000023841858 are not). Byte, Integer and Long values
    are far below 2**53, so for them this is exact."""
    if a is None or b is None:
        return a is None and b is None
    if isinstance(a, bool) or isinstance(b, bool):
        return isinstance(a, bool) and isinstance(b, bool) and a == b
    if isinstance(a, (int, float)) and isinstance(b, (int, float)):
        try:
            return float(a) == float(b)
        except OverflowError:
            return a == b
    if isinstance(a, str) and isinstance(b, str):
        return a == b
    return False


# Characters a reader puts where it could not decode a byte: mdb-reader
# U+FFFD, mdbtools (iconv) "?". Windows itself decodes the five bytes that
# code page 1252 leaves undefined (0x81 0x8D 0x8F 0x90 0x9D) to U+0081 etc.
REPLACEMENTS = {"\ufffd", "?"}
C1_OF_CP1252_HOLES = {"\x81", "\x8d", "\x8f", "\x90", "\x9d"}


def lossy_text_match(ours, mr, mt):
    """Both readers replaced the same undecodable characters, each in its own
    way: ours may hold either replacement or the Windows decoding there, and
    must equal them everywhere else."""
    if not (isinstance(ours, str) and isinstance(mr, str) and isinstance(mt, str)):
        return False
    if not (len(ours) == len(mr) == len(mt)):
        return False
    differs = False
    for o, a, b in zip(ours, mr, mt):
        if a == b:
            if o != a:
                return False
        elif {a, b} == REPLACEMENTS:
            differs = True
            if o not in REPLACEMENTS and o not in C1_OF_CP1252_HOLES:
                return False
        else:
            return False
    return differs


class OracleRow:
    """One row as read by mdb-reader and/or mdbtools (either may be None)."""

    __slots__ = ("mr", "mt", "mt_null_or_empty", "mt_unreadable", "mr_index", "mt_index")

    def __init__(self, mr=None, mt=None, mr_index=None, mt_index=None):
        self.mr = mr["values"] if mr is not None else None
        self.mt = mt["values"] if mt is not None else None
        self.mt_null_or_empty = set(mt.get("null_or_empty", [])) if mt is not None else set()
        self.mt_unreadable = set(mt.get("unreadable", [])) if mt is not None else set()
        self.mr_index = mr_index
        self.mt_index = mt_index

    def columns(self):
        return list(self.mr.keys()) if self.mr is not None else list(self.mt.keys())

    def mt_value(self, col):
        """(readable, value) of mdbtools for col."""
        if self.mt is None or col in self.mt_unreadable or col not in self.mt:
            return False, None
        return True, self.mt[col]

    def mr_value(self, col):
        if self.mr is None or col not in self.mr:
            return False, None
        return True, self.mr[col]

    def mt_matches(self, col, v):
        ok, m = self.mt_value(col)
        if not ok:
            return False
        if same(v, m):
            return True
        return col in self.mt_null_or_empty and (v is None or v == "")

    def oracles_agree(self, col):
        has_mr, a = self.mr_value(col)
        has_mt, _ = self.mt_value(col)
        if not (has_mr and has_mt):
            return True
        return self.mt_matches(col, a)

    def value_ok(self, col, ours):
        """Is our value acceptable? Returns (ok, how) with how one of
        'both', 'mdb-reader', 'mdbtools', 'lossy', 'unchecked'."""
        has_mr, a = self.mr_value(col)
        has_mt, b = self.mt_value(col)
        if has_mr and has_mt:
            if self.mt_matches(col, a):
                return same(ours, a), "both"
            if same(ours, a):
                return True, "mdb-reader"
            if self.mt_matches(col, ours):
                return True, "mdbtools"
            if lossy_text_match(ours, a, b):
                return True, "lossy"
            return False, "both"
        if has_mr:
            return same(ours, a), "mdb-reader"
        if has_mt:
            return self.mt_matches(col, ours), "mdbtools"
        return True, "unchecked"

    def row_ok(self, ours):
        cols = self.columns()
        if set(ours.keys()) != set(cols):
            return False
        return all(self.value_ok(c, ours[c])[0] for c in cols)

    def keys(self):
        out = []
        if self.mr is not None:
            out.append(canonical(self.mr))
        if self.mt is not None:
            out.append(canonical(self.mt))
        return out


def canonical(values):
    """Hashable form of a row for pairing rows regardless of order."""
    def norm(v):
        if isinstance(v, bool) or v is None or isinstance(v, str):
            return v
        if isinstance(v, (int, float)):
            return float(v)
        return json.dumps(v, sort_keys=True)
    return tuple(sorted((k, type(norm(v)).__name__, norm(v)) for k, v in values.items()))


def pair_rows(left, right, ok, left_keys, right_keys):
    """Pair items of `left` with items of `right` (each at most once) for
    which ok(l, r) holds, first through equal keys (a right item's first
    key before its others, so that a row equal to mdb-reader's is not taken
    by one that only matches mdbtools' lossy reading), then by trying the
    rest. Returns (pairs, unpaired_left, unpaired_right); pairs are (i, j)."""
    used = [False] * len(right)
    pairs = []
    unpaired = list(range(len(left)))
    for first_only in (True, False):
        by_key = collections.defaultdict(list)
        for j, r in enumerate(right):
            keys = right_keys(r)
            for k in keys[:1] if first_only else keys:
                by_key[k].append(j)
        still = []
        for i in unpaired:
            l = left[i]
            found = None
            for k in left_keys(l):
                for j in by_key.get(k, ()):
                    if not used[j] and ok(l, right[j]):
                        found = j
                        break
                if found is not None:
                    break
            if found is None:
                still.append(i)
            else:
                used[found] = True
                pairs.append((i, found))
        unpaired = still
    rest = [j for j in range(len(right)) if not used[j]]
    if unpaired and rest and len(unpaired) * len(rest) <= 4_000_000:
        still = []
        for i in unpaired:
            for n, j in enumerate(rest):
                if ok(left[i], right[j]):
                    pairs.append((i, j))
                    del rest[n]
                    break
            else:
                still.append(i)
        unpaired = still
    return pairs, unpaired, rest


# ---- dumps ------------------------------------------------------------------------

class DumpError(Exception):
    pass


def run_dump(args, label):
    t0 = time.monotonic()
    try:
        proc = subprocess.run(args, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                              timeout=PROCESS_TIMEOUT)
    except subprocess.TimeoutExpired:
        raise DumpError(f"{label} timed out after {PROCESS_TIMEOUT} s")
    except OSError as e:
        raise DumpError(f"{label} could not be started: {e}")
    elapsed = time.monotonic() - t0
    text = proc.stdout.decode("utf-8", errors="surrogateescape")
    err = proc.stderr.decode("utf-8", errors="replace").strip()
    return proc.returncode, text, err, elapsed


class Dump:
    """Rows per table of one dump; tables in first-seen order."""

    def __init__(self):
        self.tables = collections.OrderedDict()  # name -> list of row objects
        self.errors = {}                          # name -> message
        self.file_error = None


def json_lines(text):
    """The lines of JSON Lines output. They end at "\\n" only:
    str.splitlines() would also cut inside a value at U+2028, U+0085 and
    other characters a text may hold."""
    lines = text.split("\n")
    if lines and lines[-1] == "":
        lines.pop()
    return lines


def parse_oracle(text, label):
    d = Dump()
    for n, line in enumerate(json_lines(text), 1):
        try:
            obj = loads(line)
        except ValueError as e:
            raise DumpError(f"{label} line {n} is not JSON: {e}")
        if "table" not in obj:
            d.file_error = obj.get("error", "no table")
            continue
        name = obj["table"]
        if "error" in obj:
            d.errors[name] = obj["error"]
            d.tables.setdefault(name, [])
            continue
        d.tables.setdefault(name, []).append(obj)
    return d


def parse_cli(text):
    """Our output must be exactly the documented format."""
    d = Dump()
    problems = []
    order = []
    for n, line in enumerate(json_lines(text), 1):
        try:
            obj = loads(line)
        except ValueError as e:
            problems.append(f"line {n} is not JSON: {e}: {line[:100]}")
            continue
        if not isinstance(obj, dict) or set(obj.keys()) != {"table", "values"} \
                or not isinstance(obj["table"], str) or not isinstance(obj["values"], dict):
            problems.append(f"line {n} is not {{\"table\": NAME, \"values\": {{...}}}}: {line[:100]}")
            continue
        name = obj["table"]
        if name in d.tables and order[-1] != name:
            problems.append(f"line {n}: rows of table {name!r} are not contiguous")
        if name not in d.tables:
            order.append(name)
        d.tables.setdefault(name, []).append(obj)
    for a, b in zip(order, order[1:]):
        if table_key(a) > table_key(b):
            problems.append(f"table order: {a!r} comes before {b!r}")
            break
    return d, problems


# ---- comparison of one file ----------------------------------------------------------

class FileResult:
    def __init__(self, rel):
        self.rel = rel
        self.failures = []        # strings
        self.warnings = []        # strings
        self.notes = []           # strings
        self.rows = 0
        self.mismatches = 0
        # (table, column) -> {"count", "example": (row, mr, mt), "ours": Counter}
        self.disagreements = collections.OrderedDict()
        self.unchecked = collections.Counter()  # (table, column) -> values
        self.timings = {}

    @property
    def passed(self):
        return not self.failures

    def fail(self, msg):
        self.failures.append(msg)

    def disagree(self, table, col, row, a, b, ours_how=None):
        k = (table, col)
        entry = self.disagreements.get(k)
        if entry is None:
            entry = {"count": 0, "example": (row, a, b), "ours": collections.Counter()}
            self.disagreements[k] = entry
        entry["count"] += 1
        if ours_how is not None:
            entry["ours"][ours_how] += 1


def build_reference(res, table, mr_rows, mt_rows):
    """Pair the two readers' rows. Returns a list of OracleRow, or None when
    their rows cannot be paired (then res has a failure or the CLI must match
    one reader as a whole)."""
    if mr_rows is None and mt_rows is None:
        return []
    if mr_rows is None:
        return [OracleRow(mt=r, mt_index=i) for i, r in enumerate(mt_rows)]
    if mt_rows is None:
        return [OracleRow(mr=r, mr_index=i) for i, r in enumerate(mr_rows)]
    if len(mr_rows) != len(mt_rows):
        return None
    ref = [OracleRow(mr=a, mt=b, mr_index=i, mt_index=i)
           for i, (a, b) in enumerate(zip(mr_rows, mt_rows))]
    # Same rows in the same order? Pair by index unless the readers clearly
    # list rows in different orders.
    misaligned = 0
    for r in ref:
        if r.mr is None or r.mt is None or set(r.mr) != set(r.mt):
            misaligned += 1
            continue
        if not all(r.oracles_agree(c) for c in r.columns()):
            misaligned += 1
    if misaligned > max(2, len(ref) // 10):
        pairs, left, right = pair_rows(
            mr_rows, mt_rows,
            lambda a, b: OracleRow(mr=a, mt=b).row_agree(),
            lambda a: [canonical(a["values"])], lambda b: [canonical(b["values"])])
        if not left and not right:
            pairs.sort()
            ref = [OracleRow(mr=mr_rows[i], mt=mt_rows[j], mr_index=i, mt_index=j) for i, j in pairs]
            res.warnings.append(f"{table}: mdb-reader and mdbtools list the rows in different orders")
    return ref


def _row_agree(self):
    if set(self.mr) != set(self.mt):
        return False
    return all(self.oracles_agree(c) for c in self.columns())


OracleRow.row_agree = _row_agree


def record_disagreements(res, table, ref, ours_rows=None, pairing=None):
    """Note every value on which the readers disagree; with our rows, note
    which reader ours sided with."""
    ours_for = {}
    if ours_rows is not None and pairing is not None:
        for ci, ri in pairing:
            ours_for[ri] = ours_rows[ci]["values"]
    for ri, r in enumerate(ref):
        if r.mr is None or r.mt is None:
            continue
        for col in r.columns():
            has_mt, b = r.mt_value(col)
            if not has_mt or r.oracles_agree(col):
                continue
            a = r.mr[col]
            how = None
            if ri in ours_for:
                ok, how = r.value_ok(col, ours_for[ri].get(col))
                if not ok:
                    how = "neither"
            res.disagree(table, col, r.mr_index, a, b, how)


def note_unchecked(res, table, ref):
    for r in ref:
        for col in r.columns():
            has_mr, _ = r.mr_value(col)
            has_mt, _ = r.mt_value(col)
            if not has_mr and not has_mt:
                res.unchecked[(table, col)] += 1


def explain_row(ref_row, ours):
    """Human-readable differences of our row against a reference row."""
    out = []
    cols = ref_row.columns()
    missing = [c for c in cols if c not in ours]
    extra = [c for c in ours if c not in cols]
    if missing:
        out.append(f"missing columns {missing}")
    if extra:
        out.append(f"unexpected columns {extra}")
    for c in cols:
        if c not in ours:
            continue
        ok, _ = ref_row.value_ok(c, ours[c])
        if not ok:
            has_mr, a = ref_row.mr_value(c)
            has_mt, b = ref_row.mt_value(c)
            exp = []
            if has_mr:
                exp.append(f"mdb-reader {short(a)}")
            if has_mt:
                exp.append(f"mdbtools {short(b)}")
            out.append(f"column {c!r}: ours {short(ours[c])}, " + ", ".join(exp))
    return out


def compare_table_with_cli(res, table, ref, ours_rows):
    """Our rows against the paired readers' rows."""
    ok = lambda o, r: r.row_ok(o["values"])
    if len(ours_rows) == len(ref) and all(ok(o, r) for o, r in zip(ours_rows, ref)):
        res.rows += len(ours_rows)
        return [(i, i) for i in range(len(ref))]
    pairs, left, right = pair_rows(
        ours_rows, ref, ok,
        lambda o: [canonical(o["values"])], lambda r: r.keys())
    res.rows += len(pairs)
    if not left and not right:
        first = next((i for i, j in sorted(pairs) if i != j), None)
        res.warnings.append(
            f"{table}: same {len(ref)} rows, in another order (first out of place: our row {first})")
        return pairs
    # Report the rows left over, paired by position among the leftovers.
    res.mismatches += max(len(left), len(right))
    msg = [f"{table}: {len(ours_rows)} rows ours, {len(ref)} reference; "
           f"{len(left)} of ours match no reference row, {len(right)} reference rows unmatched"]
    shown = 0
    for i, j in zip(left, right):
        if shown >= MAX_EXAMPLES:
            break
        details = explain_row(ref[j], ours_rows[i]["values"])
        if details:
            msg.append(f"    our row {i} vs reference row {j}: " + "; ".join(details))
            shown += 1
    for i in left[len(right):][:MAX_EXAMPLES]:
        msg.append(f"    our row {i} is extra: {short(ours_rows[i]['values'], 300)}")
    for j in right[len(left):][:MAX_EXAMPLES]:
        r = ref[j]
        msg.append(f"    reference row {j} is missing from ours: {short(r.mr if r.mr is not None else r.mt, 300)}")
    res.fail("\n".join(msg))
    return pairs


def compare_whole_tables(res, table, ours_rows, mr_rows, mt_rows):
    """The readers list different numbers of rows: ours must equal one of
    them as a whole."""
    res.disagree(table, "(row count)", None, len(mr_rows), len(mt_rows))
    entry = res.disagreements[(table, "(row count)")]
    if ours_rows is None:
        return
    for label, rows in (("mdb-reader", mr_rows), ("mdbtools", mt_rows)):
        ref = [OracleRow(mr=r, mr_index=i) if label == "mdb-reader" else OracleRow(mt=r, mt_index=i)
               for i, r in enumerate(rows)]
        if len(ours_rows) != len(ref):
            continue
        pairs, left, right = pair_rows(
            ours_rows, ref, lambda o, r: r.row_ok(o["values"]),
            lambda o: [canonical(o["values"])], lambda r: r.keys())
        if not left and not right:
            entry["ours"][label] += 1
            res.rows += len(ours_rows)
            if any(i != j for i, j in pairs):
                res.warnings.append(f"{table}: rows match {label}'s in another order")
            return
    entry["ours"]["neither"] += 1
    res.mismatches += 1
    res.fail(f"{table}: readers disagree on the row count (mdb-reader {len(mr_rows)}, "
             f"mdbtools {len(mt_rows)}) and our {len(ours_rows)} rows equal neither")


def compare_file(path, rel, cli, password, oracles_only):
    res = FileResult(rel)
    node = shutil.which("node")
    mr_args = [node, MDB_READER_SCRIPT, path, "--all"]
    if password is not None:
        mr_args += ["--password", password]
    mt_args = [sys.executable, MDBTOOLS_SCRIPT, path, "--all"]
    dumps = {}
    jobs = [("mdb-reader", mr_args), ("mdbtools", mt_args)]
    if not oracles_only:
        cli_args = [cli, "dump", path, "--all"]
        if password is not None:
            cli_args += ["--password", password]
        jobs.append(("ours", cli_args))
    for label, args in jobs:
        try:
            rc, text, err, elapsed = run_dump(args, label)
        except DumpError as e:
            res.fail(str(e))
            return res
        res.timings[label] = elapsed
        if label == "ours":
            if rc != 0:
                res.fail(f"mdbcare-cli exited {rc}: {err[:500]}")
                return res
            d, problems = parse_cli(text)
            for p in problems[:MAX_EXAMPLES]:
                res.fail(f"output format: {p}")
            if problems:
                return res
            dumps[label] = d
        else:
            try:
                d = parse_oracle(text, label)
            except DumpError as e:
                res.fail(str(e))
                return res
            if rc != 0 or d.file_error:
                res.notes.append(f"{label} cannot read the file (exit {rc}): {d.file_error or err[:300]}")
                d = None
            dumps[label] = d

    mr, mt, ours = dumps.get("mdb-reader"), dumps.get("mdbtools"), dumps.get("ours")
    if mr is None and mt is None:
        res.fail("neither reader can open the file: nothing to compare with")
        return res

    names = set()
    for d in (mr, mt, ours):
        if d is not None:
            names.update(d.tables)
    for table in sorted(names, key=table_key):
        mr_rows = mt_rows = None
        if mr is not None:
            if table in mr.errors:
                res.notes.append(f"{table}: mdb-reader cannot read it: {mr.errors[table]}")
            else:
                mr_rows = mr.tables.get(table, [])
        if mt is not None:
            if table in mt.errors:
                res.notes.append(f"{table}: mdbtools cannot read it: {mt.errors[table]}")
            else:
                mt_rows = mt.tables.get(table, [])
        ours_rows = ours.tables.get(table, []) if ours is not None else None
        if mr_rows is None and mt_rows is None:
            if ours_rows:
                res.unchecked[(table, "(whole table)")] += len(ours_rows)
            continue
        if (mr_rows is None) != (mt_rows is None):
            only = "mdb-reader" if mt_rows is None else "mdbtools"
            res.notes.append(f"{table}: checked against {only} only")

        ref = build_reference(res, table, mr_rows, mt_rows)
        if ref is None:
            compare_whole_tables(res, table, ours_rows, mr_rows, mt_rows)
            if oracles_only:
                res.fail(f"{table}: mdb-reader has {len(mr_rows)} rows, mdbtools {len(mt_rows)}")
            continue
        note_unchecked(res, table, ref)
        if oracles_only:
            res.rows += len(ref)
            # rows that could not be paired show up as whole-row disagreements
            bad_pairs = [r for r in ref if r.mr is not None and r.mt is not None and set(r.mr) != set(r.mt)]
            if bad_pairs:
                res.fail(f"{table}: the readers give different columns: "
                         f"{sorted(bad_pairs[0].mr)} vs {sorted(bad_pairs[0].mt)}")
            record_disagreements(res, table, ref)
            continue
        pairing = compare_table_with_cli(res, table, ref, ours_rows)
        record_disagreements(res, table, ref, ours_rows, pairing)
    return res


# ---- known disagreements ---------------------------------------------------------------

def read_known():
    known = {}
    if not os.path.exists(KNOWN_FILE):
        return None
    with open(KNOWN_FILE, encoding="utf-8") as f:
        for line in f:
            if not line.strip() or line.startswith("#"):
                continue
            parts = line.rstrip("\n").split("\t")
            if len(parts) < 4:
                continue
            known[(parts[0], parts[1], parts[2])] = int(parts[3])
    return known


def write_known(results):
    with open(KNOWN_FILE, "w", encoding="utf-8") as f:
        f.write("# file\ttable\tcolumn\tvalues\tmdb-reader example\tmdbtools example\n")
        f.write("# Written by compare_dump.py --oracles-only --write-known; see README.md.\n")
        for res in sorted(results, key=lambda r: r.rel):
            for (table, col), e in res.disagreements.items():
                _, a, b = e["example"]
                a, b = show_pair(a, b, 80)
                f.write(f"{res.rel}\t{table}\t{col}\t{e['count']}\t{a}\t{b}\n")


# ---- main ------------------------------------------------------------------------------

def skip(msg):
    print(f"SKIP: {msg}")
    print("0 passed, 0 failed")
    sys.exit(SKIP)


def find_files(corpus, only):
    files = []
    for root, dirs, names in os.walk(corpus):
        dirs.sort()
        for n in sorted(names):
            if n.lower().endswith(".mdb"):
                full = os.path.join(root, n)
                rel = os.path.relpath(full, corpus)
                if only and not (fnmatch.fnmatch(rel, only) or fnmatch.fnmatch(n, only)):
                    continue
                files.append((full, rel))
    return files


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("--cli", help="path of mdbcare-cli")
    ap.add_argument("--corpus", required=True, help="folder of .mdb files (searched recursively)")
    ap.add_argument("--only", help="glob on the path below --corpus or on the file name")
    ap.add_argument("--oracles-only", action="store_true",
                    help="compare mdbtools with mdb-reader, without our CLI")
    ap.add_argument("--write-known", action="store_true",
                    help="with --oracles-only: rewrite known_disagreements.tsv from this run")
    ap.add_argument("--jobs", type=int, default=os.cpu_count() or 2, help="files compared at once")
    ap.add_argument("--password", action="append", default=[], metavar="NAME=PW",
                    help="database password of the file named NAME (adds to the built-in list)")
    ap.add_argument("--verbose", action="store_true", help="print notes and every warning")
    args = ap.parse_args()

    if not args.oracles_only and not args.cli:
        ap.error("--cli is required unless --oracles-only is given")
    if args.write_known and not args.oracles_only:
        ap.error("--write-known needs --oracles-only")
    passwords = dict(PASSWORDS)
    for given in args.password:
        name, sep, pw = given.partition("=")
        if not sep:
            ap.error(f"--password wants NAME=PW, not {given!r}")
        passwords[name] = pw

    # What is needed; a missing tool is a skip, not a failure.
    if not os.path.isdir(args.corpus):
        skip(f"corpus folder {args.corpus} is absent")
    missing = [t for t in ("mdb-tables", "mdb-schema", "mdb-export") if shutil.which(t) is None]
    if missing:
        skip(f"mdbtools is not installed ({', '.join(missing)} not found; apt-get install mdbtools)")
    if shutil.which("node") is None:
        skip("node is not installed")
    if not os.path.exists(os.path.join(HERE, "node_modules", "mdb-reader", "package.json")):
        skip(f"mdb-reader is not installed (run: npm ci --prefix {os.path.relpath(HERE)})")
    files = find_files(args.corpus, args.only)
    if not files:
        if args.only:
            print(f"no .mdb file under {args.corpus} matches {args.only!r}", file=sys.stderr)
            sys.exit(2)
        skip(f"no .mdb files in {args.corpus}")
    if not args.oracles_only:
        if not (os.path.isfile(args.cli) and os.access(args.cli, os.X_OK)):
            print(f"--cli {args.cli}: no such executable", file=sys.stderr)
            sys.exit(2)
        args.cli = os.path.abspath(args.cli)

    known = None
    if args.oracles_only and not args.write_known:
        known = read_known()
        if known is None:
            print(f"note: {os.path.relpath(KNOWN_FILE)} is absent; disagreements are only listed")

    t0 = time.monotonic()
    results = []
    with concurrent.futures.ThreadPoolExecutor(max_workers=max(1, args.jobs)) as pool:
        futs = {pool.submit(compare_file, full, rel, args.cli,
                            passwords.get(os.path.basename(full)), args.oracles_only): rel
                for full, rel in files}
        for fut in concurrent.futures.as_completed(futs):
            try:
                res = fut.result()
            except Exception as e:  # a bug here must not look like a pass
                res = FileResult(futs[fut])
                res.fail(f"internal error: {type(e).__name__}: {e}")
            if known is not None:
                check_known(res, known)
            results.append(res)
            report_file(res, args.verbose)
    results.sort(key=lambda r: r.rel)

    print_summary(results, args.oracles_only)
    if args.write_known:
        write_known(results)
        print(f"wrote {os.path.relpath(KNOWN_FILE)}")
    elapsed = time.monotonic() - t0
    passed = sum(1 for r in results if r.passed)
    failed = len(results) - passed
    print(f"time: {elapsed:.1f} s for {len(results)} files")
    print(f"{passed} passed, {failed} failed")
    sys.exit(0 if failed == 0 else 1)


def check_known(res, known):
    """In --oracles-only mode a disagreement that known_disagreements.tsv does
    not list (or lists with another count) fails the file: the normalisers or
    a reader changed."""
    seen = set()
    for (table, col), e in res.disagreements.items():
        k = (res.rel, table, col)
        seen.add(k)
        a, b = show_pair(e["example"][1], e["example"][2])
        if k not in known:
            res.fail(f"new reader disagreement {table}.{col}: {e['count']} values, e.g. "
                     f"mdb-reader {a} vs mdbtools {b}")
        elif known[k] != e["count"]:
            res.fail(f"reader disagreement {table}.{col}: {e['count']} values, "
                     f"known_disagreements.tsv says {known[k]}")
    for k, count in known.items():
        if k[0] == res.rel and k not in seen:
            res.fail(f"known disagreement {k[1]}.{k[2]} ({count} values) no longer occurs")


def report_file(res, verbose):
    status = "PASS" if res.passed else "FAIL"
    nd = sum(e["count"] for e in res.disagreements.values())
    extra = []
    if nd:
        extra.append(f"{nd} reader disagreements")
    if res.warnings:
        extra.append(f"{len(res.warnings)} warnings")
    t = " ".join(f"{k} {v:.1f}s" for k, v in res.timings.items())
    print(f"{status} {res.rel}: {res.rows} rows compared, {res.mismatches} mismatches"
          + (f" ({', '.join(extra)})" if extra else "") + f" [{t}]", flush=True)
    for f in res.failures:
        print("  FAIL " + f.replace("\n", "\n  "))
    for w in res.warnings:
        print("  WARN " + w)
    if verbose:
        for n in res.notes:
            print("  note " + n)


def print_summary(results, oracles_only):
    print()
    print("=== reader disagreements (mdb-reader vs mdbtools) ===")
    any_dis = False
    for res in results:
        for (table, col), e in res.disagreements.items():
            any_dis = True
            row, a, b = e["example"]
            a, b = show_pair(a, b)
            line = (f"{res.rel}\t{table}\t{col}\t{e['count']} values\te.g. row {row}: "
                    f"mdb-reader {a} | mdbtools {b}")
            if not oracles_only and e["ours"]:
                line += "\tours = " + ", ".join(f"{k} {v}" for k, v in sorted(e["ours"].items()))
            print(line)
    if not any_dis:
        print("(none)")
    unchecked = [(res.rel, t, c, n) for res in results for (t, c), n in res.unchecked.items()]
    if unchecked:
        print()
        print("=== values no reader can read (not checked) ===")
        for rel, t, c, n in unchecked:
            print(f"{rel}\t{t}\t{c}\t{n} values")
    warned = [(res.rel, w) for res in results for w in res.warnings]
    if warned:
        print()
        print("=== warnings ===")
        for rel, w in warned:
            print(f"{rel}: {w}")
    failed = [res for res in results if not res.passed]
    if failed:
        print()
        print("=== failed files ===")
        for res in failed:
            print(f"{res.rel}: {res.failures[0].splitlines()[0]}")
    print()


if __name__ == "__main__":
    sys.stdout.reconfigure(errors="backslashreplace")
    try:
        main()
    except BrokenPipeError:
        sys.exit(1)
