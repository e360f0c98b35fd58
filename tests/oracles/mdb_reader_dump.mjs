#!/usr/bin/env node
// Dump every row of a Jet database as JSON Lines, read with the npm package
// mdb-reader, in the same normalised form as `mdbcare-cli dump`:
//
//   {"table": NAME, "values": {COLUMN: VALUE, ...}}
//
// Usage: node mdb_reader_dump.mjs FILE [--password PW] [--all]
//
// Tables come in name order (case-insensitive, see tableOrder below); system
// tables (catalog flags & 0x80000002) only with --all; rows in the order
// mdb-reader finds them in the data pages. See README.md for the value forms.
//
// A table that mdb-reader cannot read yields one line
//   {"table": NAME, "error": MESSAGE}
// instead of its rows, so that the comparison can tell "unreadable" from
// "empty". A file that cannot be opened at all yields {"error": MESSAGE} and
// exit status 2.

import { readFileSync } from "node:fs";
import MDBReader from "mdb-reader";

function usage(msg) {
  if (msg) process.stderr.write(`mdb_reader_dump: ${msg}\n`);
  process.stderr.write("usage: node mdb_reader_dump.mjs FILE [--password PW] [--all]\n");
  process.exit(64);
}

function parseArgs(argv) {
  const opts = { file: null, password: undefined, all: false };
  for (let i = 0; i < argv.length; i++) {
    const a = argv[i];
    if (a === "--all") opts.all = true;
    else if (a === "--password") {
      if (i + 1 >= argv.length) usage("--password needs a value");
      opts.password = argv[++i];
    } else if (a.startsWith("--password=")) opts.password = a.slice("--password=".length);
    else if (a.startsWith("--")) usage(`unknown option ${a}`);
    else if (opts.file === null) opts.file = a;
    else usage("only one FILE");
  }
  if (opts.file === null) usage("FILE missing");
  return opts;
}

// ---- value normalisation -------------------------------------------------

// Shortest decimal that reads back as the same 32-bit float, closest to the
// exact value when several of that length do.
function singleToJson(x) {
  if (!Number.isFinite(x)) return nonFinite(x);
  if (x === 0) return "0";
  for (let p = 1; p <= 9; p++) {
    const candidate = Number(x.toPrecision(p));
    if (Math.fround(candidate) === x) return String(candidate);
  }
  return String(x); // unreachable: 9 digits always round-trip a float
}

function doubleToJson(x) {
  if (!Number.isFinite(x)) return nonFinite(x);
  if (x === 0) return "0";
  return String(x); // ECMAScript Number::toString is shortest round-trip
}

// JSON has no NaN or infinities; they are written as these strings.
function nonFinite(x) {
  if (Number.isNaN(x)) return '"NaN"';
  return x > 0 ? '"Infinity"' : '"-Infinity"';
}

function pad(n, width) {
  return String(n).padStart(width, "0");
}

// mdb-reader turns the stored double d into a JavaScript Date at
// (d - 25569) days after 1970-01-01 UTC, rounded to the millisecond. That
// loses what is needed here twice: rounding to the millisecond and then to the
// second goes wrong for times a hair under a half second (Jet's own catalog
// timestamps have many), and for negative d with a fraction the linear reading
// is not the date Access means (see README.md). So while mdb-reader reads the
// rows, captureStoredDates() records the double that each Date came from
// (readDateTime calls Buffer#readDoubleLE and then builds the Date), and the
// double is formatted as Access does: the integer part, truncated toward zero,
// counts days from 1899-12-30; the absolute fraction is the time of day,
// rounded to the nearest second (halves up), a full 86400 carrying into the
// next calendar day.
const RealDate = globalThis.Date;
const realReadDoubleLE = Buffer.prototype.readDoubleLE;
const DAY_MS = 86400000;
const ZERO_DATE_MS = RealDate.UTC(1899, 11, 30);
let lastDoubleRead;

class CapturingDate extends RealDate {
  constructor(...args) {
    super(...args);
    if (args.length === 1 && typeof args[0] === "number" && lastDoubleRead !== undefined) {
      // Only keep the capture if it is the double this Date was built from.
      if (Math.round((lastDoubleRead - 25569) * 86400 * 1000) === args[0]) {
        this.storedDouble = lastDoubleRead;
      }
    }
    lastDoubleRead = undefined;
  }
}

function captureStoredDates(fn) {
  Buffer.prototype.readDoubleLE = function (...args) {
    const v = realReadDoubleLE.apply(this, args);
    lastDoubleRead = v;
    return v;
  };
  globalThis.Date = CapturingDate;
  try {
    return fn();
  } finally {
    globalThis.Date = RealDate;
    Buffer.prototype.readDoubleLE = realReadDoubleLE;
    lastDoubleRead = undefined;
  }
}

function formatDate(dayNumber, secondsOfDay) {
  const t = new RealDate(ZERO_DATE_MS + dayNumber * DAY_MS + secondsOfDay * 1000);
  const y = t.getUTCFullYear();
  const year = y < 0 ? "-" + pad(-y, 4) : pad(y, 4);
  return (
    `${year}-${pad(t.getUTCMonth() + 1, 2)}-${pad(t.getUTCDate(), 2)} ` +
    `${pad(t.getUTCHours(), 2)}:${pad(t.getUTCMinutes(), 2)}:${pad(t.getUTCSeconds(), 2)}`
  );
}

function dateToJson(date) {
  const d = date.storedDouble;
  if (d === undefined) throw new Error("date value without its stored double");
  if (!Number.isFinite(d)) return nonFinite(d);
  const day = Math.trunc(d);
  const seconds = Math.floor(Math.abs(d - day) * 86400 + 0.5);
  return JSON.stringify(formatDate(day, seconds));
}

// mdb-reader gives "d2a9e166-9050-443b-ad4b-03dfcbc41366".
function guidToJson(s) {
  const hex = String(s).replace(/[^0-9a-fA-F]/g, "").toUpperCase();
  if (hex.length !== 32) throw new Error(`unexpected replication id ${JSON.stringify(s)}`);
  return JSON.stringify(
    `{${hex.slice(0, 8)}-${hex.slice(8, 12)}-${hex.slice(12, 16)}-${hex.slice(16, 20)}-${hex.slice(20)}}`,
  );
}

// mdb-reader prints exactly `scale` decimals and a minus sign whenever the
// sign byte says negative, even for zero. A zero is written without sign.
function decimalToJson(s) {
  let v = String(s);
  if (!/^-?\d+(\.\d+)?$/.test(v)) throw new Error(`unexpected decimal ${JSON.stringify(s)}`);
  if (/^-[0.]+$/.test(v)) v = v.slice(1);
  return JSON.stringify(v);
}

function currencyToJson(s) {
  const v = String(s);
  if (!/^-?\d+\.\d{4}$/.test(v)) throw new Error(`unexpected currency ${JSON.stringify(s)}`);
  return JSON.stringify(v);
}

function bytesToJson(b) {
  return JSON.stringify(Buffer.from(b).toString("hex"));
}

function valueToJson(column, v) {
  if (v === null || v === undefined) return "null";
  switch (column.type) {
    case "boolean":
      return v ? "true" : "false";
    case "byte":
    case "integer":
    case "long":
      if (!Number.isInteger(v)) throw new Error(`non-integer ${v} in ${column.type} column`);
      return String(v);
    case "bigint":
      return String(v);
    case "float":
      return singleToJson(v);
    case "double":
      return doubleToJson(v);
    case "currency":
      return currencyToJson(v);
    case "datetime":
      return dateToJson(v);
    case "text":
    case "memo":
      if (typeof v !== "string") throw new Error(`non-string value in ${column.type} column`);
      return JSON.stringify(v);
    case "binary":
    case "ole":
      return bytesToJson(v);
    case "repid":
      return guidToJson(v);
    case "numeric":
      return decimalToJson(v);
    default:
      throw new Error(`column type ${column.type} not supported by this dump`);
  }
}

// ---- table order ---------------------------------------------------------

// Name order, case-insensitive: ASCII letters folded to lower case, then
// compared code point by code point; equal folds fall back to the exact name.
function foldAscii(s) {
  return s.replace(/[A-Z]/g, (c) => c.toLowerCase());
}
function compareCodePoints(a, b) {
  const x = Array.from(a, (c) => c.codePointAt(0));
  const y = Array.from(b, (c) => c.codePointAt(0));
  for (let i = 0; i < Math.min(x.length, y.length); i++) {
    if (x[i] !== y[i]) return x[i] - y[i];
  }
  return x.length - y.length;
}
function tableOrder(a, b) {
  return compareCodePoints(foldAscii(a), foldAscii(b)) || compareCodePoints(a, b);
}

// ---- main ----------------------------------------------------------------

function main() {
  const opts = parseArgs(process.argv.slice(2));
  const out = [];
  let reader;
  try {
    const buffer = readFileSync(opts.file);
    reader = new MDBReader(buffer, opts.password === undefined ? {} : { password: opts.password });
  } catch (e) {
    process.stdout.write(JSON.stringify({ error: `cannot open: ${e.message}` }) + "\n");
    process.exit(2);
  }
  const names = reader
    .getTableNames({ normalTables: true, systemTables: opts.all, linkedTables: false })
    .slice()
    .sort(tableOrder);
  for (const name of names) {
    const tableKey = JSON.stringify(name);
    let lines;
    try {
      const table = reader.getTable(name);
      const columns = table.getColumns();
      const rows = captureStoredDates(() => table.getData());
      lines = rows.map((row) => {
        const parts = columns.map((c) => `${JSON.stringify(c.name)}: ${valueToJson(c, row[c.name])}`);
        return `{"table": ${tableKey}, "values": {${parts.join(", ")}}}`;
      });
    } catch (e) {
      lines = [`{"table": ${tableKey}, "error": ${JSON.stringify(String(e && e.message ? e.message : e))}}`];
    }
    for (const line of lines) out.push(line + "\n");
    if (out.length > 2000) {
      process.stdout.write(out.join(""));
      out.length = 0;
    }
  }
  process.stdout.write(out.join(""));
}

main();
