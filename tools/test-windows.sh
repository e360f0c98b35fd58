#!/usr/bin/env bash
# The Windows programs, cross-built and tried under Wine:
#   1. the cross build (build-win64-test): mdbcare-win64.zip and the engine
#      and maintenance test executables;
#   2. those tests under Wine (CTest runs each executable whole);
#   3. the command-line tool against the Linux build's on copies of every
#      corpus file: nulls, trim and compact must leave the same bytes;
#      then on c:\데이타\거래처.mdb;
#   4. the window's smoke test under Xvfb (tests/windows/smoke_test.sh),
#      with screenshots in build-win64-test/screenshots.
#
#   bash tools/test-windows.sh [LINUX_BUILD]   (default: build)
#
# tools/test.sh calls it after the Linux build; it prints the time taken.
set -euo pipefail
cd "$(dirname "$0")/.."
started=$(date +%s)
linux_build="${1:-build}"
bash tools/install-deps-windows.sh test

build=build-win64-test
corpus="$(cd .. && pwd)/shared/corpus"
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
  -DCMAKE_CROSSCOMPILING_EMULATOR=wine -DMDBCARE_BENCH=OFF \
  -DMDBCARE_CORPUS_DIR="$corpus"
cmake --build "$build" -j"$(nproc)" \
  --target windows_zip jet_tests maintenance_tests
ls -l "$build/mdbcare-win64.zip"
built=$(date +%s)

# A fresh Wine prefix in Korean, with no Mono or Gecko to offer.
export WINEPREFIX="$PWD/$build/wineprefix"
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
export LC_ALL=ko_KR.UTF-8
rm -rf "$WINEPREFIX"
wineboot -i >/dev/null 2>&1
trap 'wineserver -k 2>/dev/null || true' EXIT

(cd "$build" && ctest --output-on-failure -L 'engine|maintenance')

cli="$build/cli/mdbcare-cli.exe"
python3 tests/windows/compare_builds.py \
  --linux-cli "$linux_build/cli/mdbcare-cli" --windows-cli "$cli" \
  --corpus "$corpus" || [ $? -eq 77 ]

if [ -d "$corpus" ]; then
  # A Korean folder and file name on drive C:, through the command line.
  folder="$WINEPREFIX/drive_c/데이타"
  mkdir -p "$folder"
  cp "$corpus/jet4/testV2000.mdb" "$folder/거래처.mdb"
  chmod u+w "$folder/거래처.mdb"
  for command in nulls trim compact; do
    wine "$cli" "$command" 'c:\데이타\거래처.mdb' | tr -d '\r' | tail -1
  done
  wine "$cli" check 'c:\데이타\거래처.mdb' | tr -d '\r' | tail -1
  rm -rf "$folder"
  bash tests/windows/smoke_test.sh "$build/app/win32/mdbcare.exe" \
    "$corpus/jet4/testV2000.mdb" "$build/screenshots"
else
  echo "corpus folder not found ($corpus): Korean path and window tests skipped"
fi

finished=$(date +%s)
echo "Windows: build $((built - started)) s, Wine tests $((finished - built)) s"
