#!/usr/bin/env bash
# Sets up a fresh Debian machine and cross-builds the Windows programs:
# build-win64/mdbcare-win64.zip with mdbcare.exe and mdbcare-cli.exe.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-deps-windows.sh build
cmake -S . -B build-win64 -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
  -DMDBCARE_TESTS=OFF -DMDBCARE_BENCH=OFF
cmake --build build-win64 -j"$(nproc)" --target windows_zip
ls -l build-win64/mdbcare-win64.zip
