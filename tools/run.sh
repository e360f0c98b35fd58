#!/usr/bin/env bash
# Sets up a fresh machine, builds mdbcare and starts its window. Without a
# display it lists the tables of a database with the command-line tool
# instead: the file named as the first argument, else a corpus file.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j"$(nproc)" --target mdbcare mdbcare-cli
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  exec build/app/mdbcare
fi
file="${1:-../shared/corpus/jet4/testV2000.mdb}"
build/cli/mdbcare-cli tables "$file"
