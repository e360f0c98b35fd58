#!/usr/bin/env bash
# Sets up a fresh machine, builds mdbcare and starts it (the window; with
# built this lists the tables of a database with the command-line tool: the
# file named as the first argument, else a file of the shared corpus.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j"$(nproc)" --target mdbcare-cli
file="${1:-../shared/corpus/jet4/testV2000.mdb}"
build/cli/mdbcare-cli tables "$file"
