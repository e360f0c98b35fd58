#!/usr/bin/env bash
# fuzz/run.sh BUILD_DIR SECONDS [LIBFUZZER_FLAG...]
#
# Runs the open_dump_fuzzer of BUILD_DIR (a -DMDBCARE_FUZZ=ON build) for
# SECONDS seconds, seeded with copies of the smaller real files of the
# corpus folder (MDBCARE_CORPUS_DIR of the build, or $MDBCARE_CORPUS_DIR).
# The seeds and the inputs the fuzzer keeps go to BUILD_DIR/fuzz/, never
# into the source tree. Exits 0 when nothing was found or when there is no
# corpus folder (with a message saying fuzzing was skipped); exits 1 on a
# finding (crash, sanitizer report, uncaught exception, hang, memory blow-up)
# after printing the report and how to reproduce it. Flags after SECONDS go
# to libFuzzer as they are (e.g. -use_value_profile=1).
set -euo pipefail

if [ $# -lt 1 ]; then
  echo "usage: fuzz/run.sh BUILD_DIR [SECONDS [LIBFUZZER_FLAG...]]" >&2
  exit 2
fi
src="$(cd "$(dirname "$0")/.." && pwd)"
build="$(cd "$1" && pwd)"
seconds="${2:-120}"
shift $(($# < 2 ? $# : 2))

fuzzer="$build/fuzz/open_dump_fuzzer"
if [ ! -x "$fuzzer" ]; then
  echo "fuzz: $fuzzer not built (configure with -DMDBCARE_FUZZ=ON)" >&2
  exit 2
fi

corpus="${MDBCARE_CORPUS_DIR:-}"
if [ -z "$corpus" ] && [ -f "$build/CMakeCache.txt" ]; then
  corpus="$(sed -n 's/^MDBCARE_CORPUS_DIR:[A-Z]*=//p' "$build/CMakeCache.txt")"
fi
corpus="${corpus:-$src/../shared/corpus}"
if [ ! -d "$corpus" ]; then
  echo "fuzz: corpus folder '$corpus' not found; fuzzing SKIPPED"
  exit 0
fi

# Seeds: every real file up to 300 KiB, copied so that the fuzzer may keep
# them writable. Larger files make each run slow for little new coverage.
max_len=307200
work="$build/fuzz/work"
seeds="$build/fuzz/seeds"
findings="$build/fuzz/findings"
log="$build/fuzz/fuzz.log"
rm -rf "$seeds"
mkdir -p "$work" "$seeds" "$findings"
find "$corpus" -type f -name '*.mdb' -size -"$((max_len + 1))"c \
  -exec cp {} "$seeds/" \;
chmod u+w "$seeds"/* 2>/dev/null || true
count=$(find "$seeds" -type f | wc -l)
if [ "$count" -eq 0 ]; then
  echo "fuzz: no .mdb file of at most $max_len bytes in '$corpus'; fuzzing SKIPPED"
  exit 0
fi
echo "fuzz: $count seed files from $corpus, $seconds s, log in $log"

# Findings already in the folder are from earlier runs; only new ones count.
before="$(mktemp)"
trap 'rm -f "$before"' EXIT
ls "$findings" >"$before"

# UBSan reports abort the run, so that they count as findings like ASan's.
# ASan's quarantine of freed memory (256 MB by default) is cut down: every
# run frees a copy of its input of up to 300 KB, and with the default the
# quarantine alone would bring the process close to the 512 MB limit, which
# would be reported as an out-of-memory finding that the engine did not make.
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1:${UBSAN_OPTIONS:-}"
export ASAN_OPTIONS="detect_leaks=1:quarantine_size_mb=32:${ASAN_OPTIONS:-}"

# The kept inputs grow from run to run, and libFuzzer holds them all in
# memory; past a few hundred they are merged down to those that still add
# coverage, so that they never bring the process near its memory limit.
if [ "$(find "$work" -type f | wc -l)" -gt 500 ]; then
  echo "fuzz: merging the kept inputs of $work"
  rm -rf "$work.merged"
  mkdir "$work.merged"
  if "$fuzzer" -merge=1 -max_len="$max_len" -rss_limit_mb=512 -timeout=10 \
       "$work.merged" "$work" >"$build/fuzz/merge.log" 2>&1; then
    rm -rf "$work"
    mv "$work.merged" "$work"
  else
    rm -rf "$work.merged"
  fi
fi

status=0
"$fuzzer" "$work" "$seeds" \
  -dict="$src/fuzz/jet.dict" \
  -max_total_time="$seconds" \
  -max_len="$max_len" \
  -rss_limit_mb=512 \
  -timeout=10 \
  -artifact_prefix="$findings/" \
  -print_final_stats=1 \
  "$@" \
  >"$log" 2>&1 || status=$?

new="$(ls "$findings" | comm -13 "$before" - || true)"
if [ "$status" -ne 0 ] || [ -n "$new" ]; then
  echo "fuzz: FINDING (fuzzer exit status $status)"
  # The report: from the sanitizer's or libFuzzer's first error line on.
  awk '/==[0-9]+==ERROR|runtime error:|^==[0-9]+== ERROR|ALARM|out-of-memory|deadly signal|terminate called/ {p=1} p' \
    "$log" | head -150
  for f in $new; do
    echo "fuzz: reproducer $findings/$f ($(stat -c %s "$findings/$f") bytes)"
    echo "fuzz:   reproduce with: $fuzzer $findings/$f"
  done
  exit 1
fi
grep -E '^#[0-9]+[[:space:]]+DONE|^stat::' "$log" || true
echo "fuzz: no finding"
