#!/usr/bin/env node
// Print the database password that mdb-reader decodes from the header page
// of a Jet 3 / Jet 4 file (the RC4-scrambled header, and for Jet 4 the extra
// mask taken from the creation date).
//
// Usage: node mdb_reader_password.mjs FILE [--json]
//
// Prints the password on one line (an empty line when the file has none; the
// fact is also said on stderr). With --json prints {"password": "..."} or
// {"password": null}. Exit status 0 when mdb-reader could decode the header,
// 1 when it could not (the reason goes to stderr), 64 on bad usage.
//
// getPassword() is a public method of the package's default export (it calls
// the internal Database#getPassword), so no internal import path is needed.
// Opening a Jet 4 file never checks the password in mdb-reader 3.2.0, so no
// password has to be given to read it.

import { readFileSync } from "node:fs";
import MDBReader from "mdb-reader";

const args = process.argv.slice(2);
const json = args.includes("--json");
const files = args.filter((a) => a !== "--json");
if (files.length !== 1 || files[0].startsWith("--")) {
  process.stderr.write("usage: node mdb_reader_password.mjs FILE [--json]\n");
  process.exit(64);
}

let password;
try {
  const reader = new MDBReader(readFileSync(files[0]));
  if (typeof reader.getPassword !== "function") {
    throw new Error("this mdb-reader version has no getPassword()");
  }
  password = reader.getPassword();
} catch (e) {
  process.stderr.write(`mdb_reader_password: cannot decode the password of ${files[0]}: ${e.message}\n`);
  process.exit(1);
}

if (json) {
  process.stdout.write(JSON.stringify({ password: password ?? null }) + "\n");
} else {
  if (password === null || password === undefined) {
    process.stderr.write("mdb_reader_password: the file has no database password\n");
  }
  process.stdout.write((password ?? "") + "\n");
}
