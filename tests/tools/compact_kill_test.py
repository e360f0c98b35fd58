#!/usr/bin/env python3
"""Kill `mdbcare-cli compact` at random moments and check what it leaves.

    python3 tests/tools/compact_kill_test.py --cli build/cli/mdbcare-cli \\
        --corpus ../shared/corpus [--rounds N] [--seed S]

Compaction in place writes the compacted copy at FILE + "_", checks it and
renames it over FILE, so whenever the process dies FILE must hold a whole
database: the original, or the complete compacted copy. For each of a few
corpus files (copied to a temporary folder; the corpus stays untouched) the
test measures normal runs, then for N rounds starts a compaction of a
fresh copy of the original, sends SIGKILL after a random delay between 0 and
a little more than the normal run took, and checks:

* FILE exists, `dump` of it succeeds and prints exactly what the original's
  dump printed (compaction keeps the rows' storage order), and `check` exits
  0 on it (run once for each distinct content of FILE);
* FILE is byte for byte the original or, as compaction is deterministic here,
  the result of a normal compaction; while a leftover FILE_ exists, FILE
  must still be the original;
* no lock file (.ldb) is left beside FILE;
* with a leftover FILE_, another `compact` refuses: exit status 1, a message
  naming FILE_, FILE and FILE_ unchanged; once the leftover is removed (as a
  user would), `compact` succeeds (tried on the first such round).

A process that ends on its own before the kill must have succeeded (exit 0,
the completion message, no leftover). One summary line per file tells how
the rounds ended: killed before the copy was started, killed while the copy
existed (leftover), killed after the rename, finished before the kill.

Exit status: 0 all rounds pass, 1 any failure, 2 bad usage, 77 when the CLI
or the corpus files are missing. On a failure the temporary folder is kept
and its path printed.
"""

import argparse
import hashlib
import os
import random
import shutil
import signal
import subprocess
import sys
import tempfile
import time

SKIP = 77
COMPLETED = "작업이 완료 되었습니다"

# (corpus path, database password or None)
FILES = [
    ("korean/zipcode.mdb", None),         # 3 MB, 43,016 rows, moved rows
    ("jet4/testV2000.mdb", None),         # 3 MB, mostly free pages
    ("korean/posLibrary.mdb", "Library"),  # encrypted, Korean names
    ("wild/northwindJet3.mdb", None),     # Jet 3, 2 KB pages
]

# The kill may come this much later than a normal run took, so that some
# rounds see the process finish first.
DELAY_MARGIN = 1.25


class RoundFailure(Exception):
    pass


def run(cli, args, password):
    cmd = [cli] + args
    if password is not None:
        cmd += ["--password", password]
    return subprocess.run(cmd, stdout=subprocess.PIPE, stderr=subprocess.PIPE)


def text(data):
    return data.decode("utf-8", "replace").strip()


def read_bytes(path):
    with open(path, "rb") as f:
        return f.read()


def lock_file_name(path):
    # The engine's lock file: the last three characters replaced by "ldb".
    return path[:-3] + "ldb"


def start_compact(cli, path, password):
    cmd = [cli, "compact", path]
    if password is not None:
        cmd += ["--password", password]
    return subprocess.Popen(cmd, stdout=subprocess.PIPE, stderr=subprocess.PIPE)


class FileUnderTest:
    def __init__(self, cli, rel, password, work):
        self.cli = cli
        self.rel = rel
        self.name = os.path.basename(rel)
        self.password = password
        # The database lives alone in its folder so that anything a killed
        # process leaves beside it shows.
        self.folder = os.path.join(work, os.path.splitext(self.name)[0])
        os.makedirs(self.folder)
        self.path = os.path.join(self.folder, self.name)
        self.leftover = self.path + "_"
        self.original = None
        self.compacted = None  # bytes of a normal compaction, if deterministic
        self.reference = None
        self.normal_seconds = None
        self.retried = False
        self.verified = set()  # sha256 of contents dump and check passed

    def restore(self):
        with open(self.path, "wb") as f:
            f.write(self.original)

    def setup(self, source):
        self.original = read_bytes(source)
        self.restore()
        r = run(self.cli, ["dump", self.path], self.password)
        if r.returncode != 0:
            raise RoundFailure("dump of the original failed (exit %d): %s"
                               % (r.returncode, text(r.stderr)))
        self.reference = r.stdout
        r = run(self.cli, ["check", self.path], self.password)
        if r.returncode != 0:
            raise RoundFailure("check of the original failed (exit %d): %s"
                               % (r.returncode, text(r.stdout + r.stderr)))
        self.verified.add(hashlib.sha256(self.original).digest())

        # Two normal runs on fresh copies: their duration bounds the kill
        # delay, and they tell whether compaction gives the same bytes every
        # time; only then can rounds be checked byte for byte.
        results = []
        for attempt in range(2):
            self.restore()
            proc = start_compact(self.cli, self.path, self.password)
            started = time.monotonic()
            out, err = proc.communicate()
            elapsed = time.monotonic() - started
            # The mean of both is the normal duration; one run alone may
            # have been slowed by other work on the machine.
            self.normal_seconds = (elapsed if attempt == 0
                                   else (self.normal_seconds + elapsed) / 2)
            if proc.returncode != 0 or COMPLETED not in text(out):
                raise RoundFailure("a normal compaction failed (exit %d): %s"
                                   % (proc.returncode, text(out + err)))
            if os.path.exists(self.leftover):
                raise RoundFailure("a normal compaction left %s" % self.leftover)
            self.expect_dump_and_check("after a normal compaction")
            results.append(read_bytes(self.path))
        if results[0] == results[1]:
            self.compacted = results[0]

    def expect_dump_and_check(self, when):
        # dump and check read nothing but the file, so bytes they have
        # passed once pass again; most rounds leave one of two contents.
        digest = hashlib.sha256(read_bytes(self.path)).digest()
        if digest in self.verified:
            return
        r = run(self.cli, ["dump", self.path], self.password)
        if r.returncode != 0:
            raise RoundFailure("%s: dump failed (exit %d): %s"
                               % (when, r.returncode, text(r.stderr)))
        if r.stdout != self.reference:
            raise RoundFailure("%s: dump differs from the original's (%d bytes,"
                               " expected %d)" % (when, len(r.stdout),
                                                  len(self.reference)))
        r = run(self.cli, ["check", self.path], self.password)
        if r.returncode != 0:
            raise RoundFailure("%s: check exits %d: %s"
                               % (when, r.returncode,
                                  text(r.stdout + r.stderr)[-2000:]))
        self.verified.add(digest)

    def expect_no_strays(self, when):
        if os.path.exists(lock_file_name(self.path)):
            raise RoundFailure("%s: lock file %s left behind"
                               % (when, lock_file_name(self.path)))
        strays = sorted(set(os.listdir(self.folder))
                        - {self.name, os.path.basename(self.leftover)})
        if strays:
            raise RoundFailure("%s: unexpected files beside the database: %s"
                               % (when, ", ".join(strays)))

    def expect_retry_succeeds(self, when):
        r = run(self.cli, ["compact", self.path], self.password)
        if r.returncode != 0 or COMPLETED not in text(r.stdout):
            raise RoundFailure("%s: compact fails (exit %d): %s"
                               % (when, r.returncode, text(r.stdout + r.stderr)))
        if os.path.exists(self.leftover):
            raise RoundFailure("%s: compact succeeded but left %s"
                               % (when, self.leftover))
        if self.compacted is not None and read_bytes(self.path) != self.compacted:
            raise RoundFailure("%s: compact gave other bytes than a normal run"
                               % when)
        self.expect_dump_and_check(when)

    def check_leftover_refused(self, when):
        before_leftover = read_bytes(self.leftover)
        r = run(self.cli, ["compact", self.path], self.password)
        output = text(r.stdout + r.stderr)
        if r.returncode != 1:
            raise RoundFailure("%s: compact with the leftover present exits %d,"
                               " expected 1: %s" % (when, r.returncode, output))
        if COMPLETED in output:
            raise RoundFailure("%s: compact with the leftover present reports"
                               " completion" % when)
        if self.leftover not in output:
            raise RoundFailure("%s: the refusal does not name %s: %s"
                               % (when, self.leftover, output))
        if read_bytes(self.path) != self.original:
            raise RoundFailure("%s: the refused compact changed %s"
                               % (when, self.path))
        if not os.path.exists(self.leftover):
            raise RoundFailure("%s: the refused compact removed %s, a file it"
                               " did not make" % (when, self.leftover))
        if read_bytes(self.leftover) != before_leftover:
            raise RoundFailure("%s: the refused compact changed %s"
                               % (when, self.leftover))

    def one_round(self, delay):
        """Returns how the round ended: before, leftover, renamed, finished."""
        self.restore()
        proc = start_compact(self.cli, self.path, self.password)
        time.sleep(delay)
        proc.send_signal(signal.SIGKILL)
        out, err = proc.communicate()
        when = "killed after %.4f s" % delay

        if not os.path.exists(self.path):
            raise RoundFailure("%s: %s is gone" % (when, self.path))
        has_leftover = os.path.exists(self.leftover)
        current = read_bytes(self.path)
        untouched = current == self.original

        if proc.returncode == 0:
            outcome = "finished"
            if COMPLETED not in text(out):
                raise RoundFailure("%s: exit 0 without the completion message:"
                                   " %s" % (when, text(out + err)))
            if has_leftover:
                raise RoundFailure("%s: finished but left %s"
                                   % (when, self.leftover))
        elif proc.returncode == -signal.SIGKILL:
            if has_leftover:
                outcome = "leftover"
            elif untouched:
                outcome = "before"
            else:
                outcome = "renamed"
        else:
            raise RoundFailure("%s: compact ended on its own with exit %d: %s"
                               % (when, proc.returncode, text(out + err)))

        if has_leftover and not untouched:
            raise RoundFailure("%s: %s changed while the copy %s still exists"
                               % (when, self.path, self.leftover))
        if (outcome in ("renamed", "finished") and self.compacted is not None
                and current != self.compacted):
            raise RoundFailure("%s: %s is neither the original nor a complete"
                               " compacted copy" % (when, self.path))

        self.expect_no_strays(when)
        self.expect_dump_and_check(when)
        if has_leftover:
            self.check_leftover_refused(when)
            os.remove(self.leftover)
            # With the leftover gone the folder is as before the round (the
            # original, no strays); a compaction then has to succeed. Once
            # per file is enough, the last round's state is tried at the end.
            if not self.retried:
                self.retried = True
                self.expect_retry_succeeds(when + ", leftover removed")
        return outcome


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--cli", required=True)
    parser.add_argument("--corpus", required=True)
    parser.add_argument("--rounds", type=int, default=30,
                        help="rounds per file (default 30)")
    parser.add_argument("--seed", type=int, default=None)
    args = parser.parse_args()
    if args.rounds < 1:
        parser.error("--rounds must be at least 1")

    if not (os.path.isfile(args.cli) and os.access(args.cli, os.X_OK)):
        print("skipped: no CLI at %s" % args.cli)
        return SKIP
    present = [(rel, pw) for rel, pw in FILES
               if os.path.isfile(os.path.join(args.corpus, rel))]
    if not present:
        print("skipped: none of the corpus files under %s" % args.corpus)
        return SKIP
    for rel, password in FILES:
        if (rel, password) not in present:
            print("note: %s is missing from the corpus; not tested" % rel)

    seed = args.seed if args.seed is not None else random.SystemRandom().randrange(1 << 31)
    print("seed %d (rerun with --seed %d)" % (seed, seed))

    work = tempfile.mkdtemp(prefix="compact_kill_")
    failed = 0
    for rel, password in present:
        subject = FileUnderTest(args.cli, rel, password, work)
        rng = random.Random("%d:%s" % (seed, rel))
        counts = {"before": 0, "leftover": 0, "renamed": 0, "finished": 0}
        file_started = time.monotonic()
        try:
            subject.setup(os.path.join(args.corpus, rel))
            limit = subject.normal_seconds * DELAY_MARGIN
            for n in range(1, args.rounds + 1):
                delay = rng.uniform(0.0, limit)
                try:
                    counts[subject.one_round(delay)] += 1
                except RoundFailure as e:
                    raise RoundFailure("round %d, %s" % (n, e))
            # Whatever the last round left must still compact normally.
            subject.expect_retry_succeeds("after the last round")
        except RoundFailure as e:
            failed += 1
            print("FAIL %s: %s" % (rel, e))
            continue
        print("ok   %s: %d rounds, normal run %.3f s, kill within %.3f s: "
              "%d killed before the copy, %d left a leftover, "
              "%d killed after the rename, %d finished first; bytes %s; "
              "%.1f s in all"
              % (rel, args.rounds, subject.normal_seconds,
                 subject.normal_seconds * DELAY_MARGIN, counts["before"],
                 counts["leftover"], counts["renamed"], counts["finished"],
                 "checked" if subject.compacted is not None
                 else "not checked (compaction not deterministic)",
                 time.monotonic() - file_started))

    if failed:
        print("%d of %d files failed; files kept in %s (seed %d)"
              % (failed, len(present), work, seed))
        return 1
    shutil.rmtree(work, ignore_errors=True)
    print("%d files passed" % len(present))
    return 0


if __name__ == "__main__":
    sys.exit(main())
