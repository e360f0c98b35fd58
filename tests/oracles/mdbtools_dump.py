#!/usr/bin/env python3
"""Dump every row of a Jet database as JSON Lines, read with mdbtools 1.0.

    python3 mdbtools_dump.py FILE [--all]

Prints one line per row, in the normalised form of `mdbcare-cli dump`:

    {"table": NAME, "values": {COLUMN: VALUE, ...}}

Tables come in name order (case-insensitive: ASCII letters folded, then code
point order); system tables (catalog flags & 0x80000002, as mdb-tables -S
decides) only with --all; rows in the order mdb-export prints them.

mdbtools ignores database passwords (it never checks them), so there is no
--password option: password-protected Jet 4 files are read like any other.

Two extra keys, which `mdbcare-cli dump` never prints, carry what mdbtools
cannot say:

* "null_or_empty": [COLUMN, ...] on a row lists the columns that mdb-export
  printed as nothing. mdbtools treats a zero-length value like a Null, so for
  Text, Memo, Binary and OLE columns such a value may be Null or "" (the value
  itself is written as null).
* "unreadable": [COLUMN, ...] lists columns of a type mdbtools cannot convert
  (e.g. type 0x11 in MSysAccessObjects); their value is written as null.

A table that mdbtools cannot export yields {"table": NAME, "error": MESSAGE}
instead of rows. See README.md for how each type is printed by mdbtools and
normalised here.
"""

import datetime
import json
import math
import os
import re
import struct
import subprocess
import sys

# strftime format handed to mdb-export for both date kinds. mdbtools uses the
# "short date" format for columns whose Format property is "Short Date".
DATE_FORMAT = "%Y-%m-%d %H:%M:%S"
FIELD_SEP = "\x1f"  # unit separator: never part of a column name
ENV = dict(os.environ, LC_ALL="C.UTF-8", LANG="C.UTF-8")
ENV.pop("MDB_JET3_CHARSET", None)
ENV.pop("MDBICONV", None)


class ToolError(Exception):
    pass


def run(args):
    try:
        proc = subprocess.run(args, stdout=subprocess.PIPE, stderr=subprocess.PIPE, env=ENV)
    except FileNotFoundError:
        raise ToolError(f"{args[0]} not found (apt-get install mdbtools)")
    out = proc.stdout.decode("utf-8", errors="surrogateescape")
    err = proc.stderr.decode("utf-8", errors="replace").strip()
    if proc.returncode != 0:
        raise ToolError(f"{args[0]} exited {proc.returncode}: {err[:300]}")
    return out, err


# ---- table list and types ---------------------------------------------------

def list_tables(path, include_system):
    args = ["mdb-tables", "-1"]
    if include_system:
        args.append("-S")
    out, _ = run(args + [path])
    return [line for line in out.split("\n") if line != ""]


SCHEMA_LINE = re.compile(r"^\t\[(.*)\]\t+(.*?)(?: NOT NULL)?,?\s*$")


def classify(type_name):
    """mdb-schema's (access backend) type name -> kind used below."""
    t = type_name.strip()
    fixed = {
        "Boolean": "bool",
        "Byte": "int",
        "Integer": "int",
        "Long Integer": "int",
        "Currency": "currency",
        "Single": "single",
        "Double": "double",
        "DateTime": "date",
        "Binary": "binary",
        "Replication ID": "guid",
    }
    if t in fixed:
        return fixed[t]
    if re.fullmatch(r"Text \(\d+\)", t):
        return "text"
    if re.fullmatch(r"Memo/Hyperlink \(\d+\)", t):
        return "memo"
    if re.fullmatch(r"OLE \(\d+\)", t):
        return "ole"
    if re.fullmatch(r"Numeric \(\d+, \d+\)", t):
        return "numeric"
    return "unreadable"


def table_columns(path, table):
    out, _ = run(["mdb-schema", "--no-not-null", "--no-default-values",
                  "--no-indexes", "--no-relations", "--no-comments",
                  "-T", table, path, "access"])
    cols = []
    inside = False
    for line in out.split("\n"):
        if line.startswith("CREATE TABLE"):
            if inside:
                raise ToolError("mdb-schema printed more than one table")
            inside = True
            continue
        if not inside:
            continue
        if line.startswith(");"):
            break
        m = SCHEMA_LINE.match(line)
        if m:
            cols.append((m.group(1), classify(m.group(2)), m.group(2)))
    if not inside:
        raise ToolError("mdb-schema printed no CREATE TABLE")
    return cols


# ---- mdb-export output --------------------------------------------------------

def parse_export(text):
    """Split mdb-export output (FIELD_SEP between fields, '\\n' after rows,
    text-like fields in double quotes with "" for a quote) into rows of
    (quoted, value) pairs."""
    rows = []
    row = []
    i = 0
    n = len(text)
    while i < n:
        if text[i] == '"':
            j = i + 1
            parts = []
            while True:
                k = text.find('"', j)
                if k < 0:
                    raise ToolError("unterminated quoted field in mdb-export output")
                parts.append(text[j:k])
                if k + 1 < n and text[k + 1] == '"':
                    parts.append('"')
                    j = k + 2
                    continue
                i = k + 1
                break
            row.append((True, "".join(parts)))
        else:
            j = i
            while j < n and text[j] != FIELD_SEP and text[j] != "\n":
                j += 1
            row.append((False, text[i:j]))
            i = j
        if i >= n:
            rows.append(row)
            break
        if text[i] == FIELD_SEP:
            i += 1
            if i >= n or text[i] == "\n":  # empty last field
                row.append((False, ""))
                if i < n:
                    i += 1
                rows.append(row)
                row = []
            continue
        if text[i] == "\n":
            rows.append(row)
            row = []
            i += 1
            continue
        raise ToolError(f"unexpected character {text[i]!r} after a field")
    return rows


# ---- value normalisation ------------------------------------------------------

def non_finite(x):
    if math.isnan(x):
        return "NaN"
    return "Infinity" if x > 0 else "-Infinity"


def parse_float_text(s):
    t = s.strip().lower()
    if t in ("nan", "-nan"):
        return float("nan")
    if t in ("inf", "infinity"):
        return float("inf")
    if t in ("-inf", "-infinity"):
        return float("-inf")
    return float(t)


def shortest_single(x):
    """Shortest decimal that reads back as the same 32-bit float."""
    if x == 0:
        return 0
    for p in range(1, 10):
        cand = float(f"{x:.{p}g}")
        if struct.unpack("<f", struct.pack("<f", cand))[0] == x:
            return cand
    return x


def norm_single(s):
    x = parse_float_text(s)
    if not math.isfinite(x):
        return non_finite(x)
    # mdbtools prints 8 significant digits: round that to the nearest float.
    x = struct.unpack("<f", struct.pack("<f", x))[0]
    return shortest_single(x)


def norm_double(s):
    x = parse_float_text(s)
    if not math.isfinite(x):
        return non_finite(x)
    return x


DATE_RE = re.compile(r"^(-?\d{4,})-(\d{2})-(\d{2}) (\d{2}):(\d{2}):(\d{2})$")


def norm_date(s):
    m = DATE_RE.match(s)
    if not m:
        raise ToolError(f"unexpected date text {s!r}")
    y, mo, d, hh, mi, ss = (int(g) for g in m.groups())
    try:
        base = datetime.datetime(y, mo, d)
    except ValueError:
        # mdbtools writes an all-zero struct tm, "1900-01-00 00:00:00", for
        # dates before 1899-12-30 or after about 4637: keep it as printed.
        return s
    # mdbtools rounds the time of day without carrying into the date, so it
    # can print "24:00:00": that is 00:00:00 of the next day.
    t = base + datetime.timedelta(hours=hh, minutes=mi, seconds=ss)
    return f"{t.year:04d}-{t.month:02d}-{t.day:02d} {t.hour:02d}:{t.minute:02d}:{t.second:02d}"


def norm_guid(s):
    text = s
    if re.fullmatch(r"[0-9A-Fa-f]+", s) and len(s) % 2 == 0 and len(s) > 32:
        # with -b hex, mdb-export hex-encodes the text of the GUID
        text = bytes.fromhex(s).decode("ascii", errors="replace")
    digits = re.sub(r"[^0-9A-Fa-f]", "", text).upper()
    if len(digits) != 32:
        raise ToolError(f"unexpected replication id {s!r}")
    d = digits
    return "{%s-%s-%s-%s-%s}" % (d[0:8], d[8:12], d[12:16], d[16:20], d[20:32])


def norm_numeric(s):
    if not re.fullmatch(r"-?\d+(\.\d+)?", s):
        raise ToolError(f"unexpected numeric text {s!r}")
    if re.fullmatch(r"-[0.]+", s):
        return s[1:]
    return s


def norm_currency(s):
    if not re.fullmatch(r"-?\d+\.\d{4}", s):
        raise ToolError(f"unexpected currency text {s!r}")
    return s


def norm_int(s):
    if not re.fullmatch(r"-?\d+", s):
        raise ToolError(f"unexpected integer text {s!r}")
    return int(s)


def norm_bool(s):
    if s == "1":
        return True
    if s == "0":
        return False
    raise ToolError(f"unexpected boolean text {s!r}")


def norm_hex(s):
    if not re.fullmatch(r"[0-9A-Fa-f]*", s) or len(s) % 2:
        raise ToolError(f"unexpected hex text {s[:40]!r}")
    return s.lower()


NORMALISERS = {
    "bool": norm_bool,
    "int": norm_int,
    "currency": norm_currency,
    "single": norm_single,
    "double": norm_double,
    "date": norm_date,
    "binary": norm_hex,
    "ole": norm_hex,
    "text": lambda s: s,
    "memo": lambda s: s,
    "guid": norm_guid,
    "numeric": norm_numeric,
}

# Kinds for which an empty field may be a zero-length value rather than Null.
MAYBE_EMPTY = {"text", "memo", "binary", "ole"}


def dump_table(path, table):
    cols = table_columns(path, table)
    out, _ = run(["mdb-export", "-b", "hex", "-D", DATE_FORMAT, "-T", DATE_FORMAT,
                  "-d", FIELD_SEP, path, table])
    rows = parse_export(out)
    if not rows:
        raise ToolError("mdb-export printed no header")
    header = [value for _, value in rows[0]]
    names = [c[0] for c in cols]
    if header != names:
        raise ToolError(f"mdb-export header {header!r} does not match mdb-schema columns {names!r}")
    lines = []
    for fields in rows[1:]:
        if len(fields) != len(cols):
            raise ToolError(f"row with {len(fields)} fields, expected {len(cols)}")
        values = {}
        null_or_empty = []
        unreadable = []
        for (name, kind, type_name), (quoted, text) in zip(cols, fields):
            if kind == "unreadable":
                values[name] = None
                unreadable.append(name)
                continue
            if not quoted and text == "":
                values[name] = None
                if kind in MAYBE_EMPTY:
                    null_or_empty.append(name)
                continue
            try:
                values[name] = NORMALISERS[kind](text)
            except ToolError as e:
                raise ToolError(f"column {name} ({type_name}): {e}")
        obj = {"table": table, "values": values}
        if null_or_empty:
            obj["null_or_empty"] = null_or_empty
        if unreadable:
            obj["unreadable"] = unreadable
        lines.append(json.dumps(obj, ensure_ascii=False, allow_nan=False))
    return lines


def fold_ascii(s):
    return "".join(chr(ord(c) + 32) if "A" <= c <= "Z" else c for c in s)


def table_key(name):
    return (fold_ascii(name), name)


def main(argv):
    args = [a for a in argv if a != "--all"]
    include_system = len(args) != len(argv)
    if len(args) != 1 or args[0].startswith("-"):
        sys.stderr.write("usage: mdbtools_dump.py FILE [--all]\n")
        return 64
    path = args[0]
    out = sys.stdout
    try:
        tables = list_tables(path, include_system)
    except ToolError as e:
        out.write(json.dumps({"error": f"cannot list tables: {e}"}) + "\n")
        return 2
    for table in sorted(tables, key=table_key):
        try:
            lines = dump_table(path, table)
        except ToolError as e:
            lines = [json.dumps({"table": table, "error": str(e)}, ensure_ascii=False)]
        for line in lines:
            out.write(line + "\n")
    return 0


if __name__ == "__main__":
    sys.stdout.reconfigure(encoding="utf-8", errors="surrogateescape")
    sys.exit(main(sys.argv[1:]))
