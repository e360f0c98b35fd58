#!/usr/bin/env bash
# fuzz/run.sh BUILD_DIR SECONDS: runs the fuzz target for SECONDS seconds
# from a seed corpus of the smaller real files of ../shared/corpus (copied
# into the build folder, never into git). Exits non-zero on a finding and
# prints the reproducer's path; skips with a message without the corpus.
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:?build folder}"
seconds="${2:-120}"
corpus="${MDBCARE_CORPUS_DIR:-../shared/corpus}"
fuzzer="$build/fuzz/open_dump_fuzzer"
if [ ! -d "$corpus" ]; then
  echo "fuzz: corpus folder $corpus not found: fuzzing skipped"
  exit 0
fi
seeds="$build/fuzz/seeds"
findings="$build/fuzz/findings"
mkdir -p "$seeds" "$findings"
find "$corpus" -name '*.mdb' -size -300k -exec cp -f {} "$seeds/" \;
chmod u+w "$seeds"/*
echo "fuzz: $(ls "$seeds" | wc -l) seed files, $seconds s"
if ! "$fuzzer" "$seeds" -max_total_time="$seconds" -max_len=400000 \
     -rss_limit_mb=1024 -timeout=20 -artifact_prefix="$findings/" \
     -print_final_stats=1 2>"$build/fuzz/log.txt"; then
  tail -40 "$build/fuzz/log.txt"
  echo "fuzz: finding, reproducer in $findings:"
  ls -la "$findings"
  exit 1
fi
grep -E "stat::number_of_executed_units|stat::peak_rss_mb|cov:" "$build/fuzz/log.txt" | tail -4
echo "fuzz: no finding"
