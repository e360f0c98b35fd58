#!/usr/bin/env python3
"""The sweeps killed at random moments, and the sweeps meeting conditions
that stop them; what they leave must be a sound database.

    python3 tests/tools/sweep_crash_test.py kill --cli build/cli/mdbcare-cli \\
        --fixture build/tests/tools/sweep_fixture [--rounds N] [--seed S]
        [--rows R] [--jobs J]
    python3 tests/tools/sweep_crash_test.py conditions --cli ... --fixture ...

The sweeps write in journaled groups (jet/storage/journal.h): a group cut
off by a crash is rolled back by the next open. A database of a few MB is
built with the engine (sweep_fixture).

kill: each round starts Null removal or trimming (they take turns) on a
fresh copy, sends SIGKILL after a random delay between 0 and a little more
than a whole sweep took, and then:

* `check` on the copy exits 0 (its open rolls the cut-off group back) and
  leaves no journal beside it;
* every row (by table and ID) holds what it held before the sweep or what
  the whole sweep leaves, and no row is missing or added;
* every few rounds, the sweep run again finishes: the copy then reads
  exactly as the whole sweep's result.

conditions: a sweep meets, each on a fresh copy, a file size limit (as a
full disk), a read-only file, a read-only folder (with and without a
journal left to roll back), a database another mdbcare holds, a lock file
another program holds, and the file cut or removed while it works. Each
must end with a Korean error message (printed) and leave the database as
it was, or rolled back to a whole group, checking clean.

Exit status: 0 all pass, 1 any failure, 2 bad usage, 77 when the CLI or
the fixture tool is missing. A failed round's copy is kept in a folder
whose path is printed.
"""

import argparse
import concurrent.futures
import fcntl
import json
import os
import random
import resource
import shutil
import signal
import subprocess
import sys
import tempfile
import time

SKIP = 77
# The kill may come this much later than a whole sweep took, so that some
# rounds see the sweep finish first.
DELAY_MARGIN = 1.2
# Every this many rounds the sweep is run again on the killed copy.
FINISH_EVERY = 5


class RoundFailure(Exception):
    pass


def run(cmd):
    return subprocess.run(cmd, stdout=subprocess.PIPE, stderr=subprocess.PIPE)


def rows_of(cli, path):
    """{(table, ID): values} from our dump."""
    p = run([cli, "dump", path])
    if p.returncode != 0:
        raise RoundFailure("dump failed: " + p.stderr.decode(errors="replace"))
    rows = {}
    for line in p.stdout.decode("utf-8").splitlines():
        row = json.loads(line)
        key = (row["table"], row["values"]["ID"])
        if key in rows:
            raise RoundFailure("two rows with ID %s in %s" % (key[1], key[0]))
        rows[key] = row["values"]
    return rows


def one_round(args, number, seed, source, before, after, timing, folder):
    rng = random.Random(seed)
    sweep = "nulls" if number % 2 == 0 else "trim"
    work = os.path.join(folder, "round%d.mdb" % number)
    shutil.copyfile(source, work)
    delay = rng.uniform(0, timing[sweep] * DELAY_MARGIN)
    proc = subprocess.Popen([args.cli, sweep, work], stdout=subprocess.DEVNULL,
                            stderr=subprocess.DEVNULL)
    time.sleep(delay)
    killed = proc.poll() is None
    if killed:
        proc.send_signal(signal.SIGKILL)
    code = proc.wait()
    if not killed and code != 0:
        raise RoundFailure("%s ended on its own with status %d" % (sweep, code))
    check = run([args.cli, "check", work])
    if check.returncode != 0:
        raise RoundFailure("check after the kill: " +
                           check.stdout.decode(errors="replace")[-2000:])
    if os.path.exists(work + "-journal"):
        raise RoundFailure("the journal is still there after the check")
    now = rows_of(args.cli, work)
    if set(now) != set(before[sweep]):
        raise RoundFailure("rows missing or added: %d rows, %d before" %
                           (len(now), len(before[sweep])))
    mixed = 0
    for key, values in now.items():
        if values == before[sweep][key]:
            continue
        if values != after[sweep][key]:
            raise RoundFailure("%s ID %s is neither as before nor as after: %s"
                               % (key[0], key[1], values))
        mixed += 1
    if number % FINISH_EVERY == 0:
        again = run([args.cli, sweep, work])
        if again.returncode != 0:
            raise RoundFailure("the sweep run again failed: " +
                               again.stderr.decode(errors="replace"))
        if rows_of(args.cli, work) != after[sweep]:
            raise RoundFailure("the sweep run again does not finish the work")
    os.remove(work)
    return sweep, killed, mixed


def prepare(args, folder):
    """Builds the fixture; returns its path and, per sweep, the rows before
    and after a whole sweep and the seconds it took."""
    source = os.path.join(folder, "source.mdb")
    built = run([args.fixture, source, "--rows", str(args.rows),
                 "--seed", str(args.seed)])
    if built.returncode != 0:
        raise RoundFailure("the fixture could not be built: " +
                           built.stderr.decode(errors="replace"))
    before, after, timing = {}, {}, {}
    for sweep in ("nulls", "trim"):
        whole = os.path.join(folder, sweep + ".mdb")
        shutil.copyfile(source, whole)
        start = time.monotonic()
        p = run([args.cli, sweep, whole])
        timing[sweep] = time.monotonic() - start
        if p.returncode != 0:
            raise RoundFailure("a whole %s failed: %s" %
                               (sweep, p.stderr.decode(errors="replace")))
        before[sweep] = rows_of(args.cli, source)
        after[sweep] = rows_of(args.cli, whole)
        print("%s: a whole sweep takes %.2f s" % (sweep, timing[sweep]))
    return source, before, after, timing


def kill_rounds(args, folder, source, before, after, timing):
    rng = random.Random(args.seed)
    seeds = [rng.getrandbits(32) for _ in range(args.rounds)]
    failures = 0
    stats = {("nulls", True): 0, ("nulls", False): 0, ("trim", True): 0,
             ("trim", False): 0}
    partial = 0
    with concurrent.futures.ThreadPoolExecutor(args.jobs) as pool:
        futures = {pool.submit(one_round, args, n, seeds[n], source, before,
                               after, timing, folder): n
                   for n in range(args.rounds)}
        for future in concurrent.futures.as_completed(futures):
            n = futures[future]
            try:
                sweep, killed, mixed = future.result()
                stats[(sweep, killed)] += 1
                if killed and mixed:
                    partial += 1
            except RoundFailure as e:
                failures += 1
                print("FAIL round %d: %s" % (n, e))
    for (sweep, killed), count in sorted(stats.items()):
        print("%s: %d rounds %s" %
              (sweep, count, "killed" if killed else "finished first"))
    print("%d rounds left some rows swept and others not" % partial)
    print("%d rounds, %d failed" % (args.rounds, failures))
    return failures


# --- conditions ---

NOBODY = 65534


def as_nobody():
    os.setgid(NOBODY)
    os.setuid(NOBODY)


def message(p):
    return (p.stdout + p.stderr).decode("utf-8", "replace").strip()


def expect_refusal(name, p, words):
    """A sweep that met a condition: status 1 and a Korean message naming
    it (one of `words`)."""
    text = message(p)
    print("%s: status %d: %s" % (name, p.returncode, text.splitlines()[-1]
                                 if text else ""))
    if p.returncode != 1:
        raise RoundFailure("%s: status %d, expected 1" % (name, p.returncode))
    if not any(w in text for w in words):
        raise RoundFailure("%s: the message does not say why: %s" %
                           (name, text))


def expect_sound(args, name, path, before, after):
    """The database checks clean, leaves no journal, and each row is as
    before or as after the sweep."""
    check = run([args.cli, "check", path])
    if check.returncode != 0:
        raise RoundFailure("%s: check: %s" % (name, message(check)[-1500:]))
    if os.path.exists(path + "-journal"):
        raise RoundFailure("%s: a journal is left" % name)
    rows = rows_of(args.cli, path)
    for key, values in rows.items():
        if values != before.get(key) and values != after.get(key):
            raise RoundFailure("%s: %s ID %s is neither as before nor after" %
                               (name, key[0], key[1]))
    if set(rows) != set(before):
        raise RoundFailure("%s: rows missing or added" % name)


def file_bytes(path):
    with open(path, "rb") as f:
        return f.read()


def start_and_wait_for(cmd, path, ready):
    """Starts `cmd` and waits until `ready()` holds or it ends."""
    proc = subprocess.Popen(cmd, stdout=subprocess.PIPE,
                            stderr=subprocess.PIPE)
    deadline = time.monotonic() + 30
    while proc.poll() is None and not ready() and time.monotonic() < deadline:
        time.sleep(0.002)
    return proc


def hot_journal(path):
    try:
        with open(path + "-journal", "rb") as f:
            return f.read(8) == b"mdbcJRNL"
    except OSError:
        return False


def conditions(args, folder, source, before, after, timing):
    failures = 0
    root = os.geteuid() == 0

    def case(name, body):
        nonlocal failures
        work = os.path.join(folder, name)
        os.makedirs(work)
        os.chmod(work, 0o777)
        path = os.path.join(work, "db.mdb")
        shutil.copyfile(source, path)
        os.chmod(path, 0o666)
        try:
            body(work, path)
        except RoundFailure as e:
            failures += 1
            print("FAIL %s" % e)
        finally:
            os.chmod(work, 0o777)

    def size_limit(work, path):
        limit = os.path.getsize(path)

        def limited():
            resource.setrlimit(resource.RLIMIT_FSIZE, (limit, limit))
            signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
        p = subprocess.run([args.cli, "trim", path], stdout=subprocess.PIPE,
                           stderr=subprocess.PIPE, preexec_fn=limited)
        expect_refusal("file size limit", p, ["3043"])
        expect_sound(args, "file size limit", path, before["trim"],
                     after["trim"])

    def read_only(work, path, folder_too):
        original = file_bytes(path)
        if root:
            os.chmod(path, 0o644 if not folder_too else 0o666)
            os.chmod(work, 0o755 if folder_too else 0o777)
            p = subprocess.run([args.cli, "nulls", path],
                               stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                               preexec_fn=as_nobody)
        else:
            os.chmod(path, 0o444 if not folder_too else 0o666)
            os.chmod(work, 0o555 if folder_too else 0o777)
            p = run([args.cli, "nulls", path])
        name = "read-only folder" if folder_too else "read-only file"
        expect_refusal(name, p, ["쓸 수 없습니다", "만들 수 없습니다"])
        if file_bytes(path) != original:
            raise RoundFailure(name + ": the file changed")

    def read_only_with_journal(work, path):
        # A journal of a cut-off group: a trim killed once it exists.
        for attempt in range(50):
            shutil.copyfile(source, path)
            proc = start_and_wait_for([args.cli, "trim", path], path,
                                      lambda: hot_journal(path))
            proc.kill()
            proc.wait()
            if hot_journal(path):
                break
        else:
            raise RoundFailure("read-only folder with a journal: no journal "
                               "was ever caught")
        original = file_bytes(path)
        os.chmod(work, 0o755 if root else 0o555)
        os.chmod(path, 0o644 if root else 0o444)
        p = subprocess.run([args.cli, "check", path], stdout=subprocess.PIPE,
                           stderr=subprocess.PIPE,
                           preexec_fn=as_nobody if root else None)
        expect_refusal("read-only folder with a journal", p, ["되돌리지"])
        if file_bytes(path) != original or not hot_journal(path):
            raise RoundFailure("read-only with a journal: something changed")
        os.chmod(work, 0o777)
        os.chmod(path, 0o666)
        expect_sound(args, "journal rolled back once writable", path,
                     before["trim"], after["trim"])
        # An unused journal does not stop a read-only open.
        with open(path + "-journal", "wb") as f:
            f.write(bytes(64))
        os.chmod(work, 0o755 if root else 0o555)
        p = subprocess.run([args.cli, "check", path], stdout=subprocess.PIPE,
                           stderr=subprocess.PIPE,
                           preexec_fn=as_nobody if root else None)
        if p.returncode != 0:
            raise RoundFailure("an unused journal stopped a read-only check: "
                               + message(p))
        os.chmod(work, 0o777)
        os.remove(path + "-journal")

    def holds_lock(lock_path):
        """Whether another process holds the lock file `lock_path`."""
        try:
            with open(lock_path, "r+b") as lock:
                fcntl.lockf(lock, fcntl.LOCK_EX | fcntl.LOCK_NB)
                fcntl.lockf(lock, fcntl.LOCK_UN)
                return False
        except OSError:
            return True

    def second_process(work, path):
        # The first sweep is stopped while it holds the lock; on a busy
        # machine it may finish before it is caught, and is run again.
        lock_path = os.path.join(work, "db.ldb")
        for attempt in range(20):
            shutil.copyfile(source, path)
            first = start_and_wait_for([args.cli, "trim", path], path,
                                       lambda: os.path.exists(lock_path))
            first.send_signal(signal.SIGSTOP)
            if first.poll() is None and holds_lock(lock_path):
                break
            first.send_signal(signal.SIGCONT)
            first.wait()
        else:
            raise RoundFailure("second process: the first sweep always "
                               "finished before it was stopped")
        try:
            p = run([args.cli, "nulls", path])
            expect_refusal("second process", p, ["사용 중"])
        finally:
            first.send_signal(signal.SIGCONT)
        if first.wait() != 0:
            raise RoundFailure("second process: the first sweep failed")
        expect_sound(args, "second process", path, before["trim"],
                     after["trim"])

    def lock_held(work, path):
        original = file_bytes(path)
        with open(os.path.join(work, "db.ldb"), "wb") as lock:
            fcntl.lockf(lock, fcntl.LOCK_EX)
            p = run([args.cli, "nulls", path])
        expect_refusal("lock file held", p, ["사용 중"])
        if file_bytes(path) != original:
            raise RoundFailure("lock file held: the file changed")

    def changed_under(work, path, what):
        # The file is cut (or removed) while the trim works on it; the trim
        # must stop with a message, not finish as if nothing happened.
        for attempt in range(20):
            shutil.copyfile(source, path)
            proc = start_and_wait_for([args.cli, "trim", path], path,
                                      lambda: os.path.exists(
                                          os.path.join(work, "db.ldb")))
            time.sleep(random.uniform(0, timing["trim"] / 2))
            if what == "cut":
                os.truncate(path, os.path.getsize(path) // 2)
            else:
                os.remove(path)
            out, err = proc.communicate()
            if proc.returncode == 0:
                continue  # it finished before the change
            p = subprocess.CompletedProcess(proc.args, proc.returncode, out,
                                            err)
            expect_refusal("file %s while open" % what, p,
                           ["오류", "손상", "잘랐", "지우"])
            return
        raise RoundFailure("file %s while open: the trim always finished "
                           "first" % what)

    case("size", size_limit)
    case("rofile", lambda w, p: read_only(w, p, False))
    case("rofolder", lambda w, p: read_only(w, p, True))
    case("rojournal", read_only_with_journal)
    case("second", second_process)
    case("lock", lock_held)
    case("cut", lambda w, p: changed_under(w, p, "cut"))
    case("removed", lambda w, p: changed_under(w, p, "removed"))
    print("conditions: %d failed" % failures)
    return failures


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("mode", choices=["kill", "conditions"])
    parser.add_argument("--cli", required=True)
    parser.add_argument("--fixture", required=True)
    parser.add_argument("--rounds", type=int, default=200)
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--rows", type=int, default=14000)
    parser.add_argument("--jobs", type=int, default=2)
    args = parser.parse_args()
    for tool in (args.cli, args.fixture):
        if not os.access(tool, os.X_OK):
            print("SKIP: %s is not there" % tool)
            return SKIP
    folder = tempfile.mkdtemp(prefix="mdbcare-crash-")
    os.chmod(folder, 0o755)
    try:
        prepared = prepare(args, folder)
    except RoundFailure as e:
        print("FAIL: " + str(e))
        return 1
    if args.mode == "kill":
        failures = kill_rounds(args, folder, *prepared)
    else:
        failures = conditions(args, folder, *prepared)
    if failures:
        print("copies kept in " + folder)
        return 1
    shutil.rmtree(folder)
    return 0


if __name__ == "__main__":
    sys.exit(main())
