#!/usr/bin/env bash
# Installs what building and testing mdbcare needs on a fresh Debian
# machine: the compiler and build tools, GoogleTest, the independent .mdb
# readers the tests compare against (mdbtools, and mdb-reader from npm), and
# clang's runtime for the fuzz target, mimalloc (the programs' allocator),
# Qt 6 with its Korean translations and Korean fonts for the window. Safe
# to run again.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(
  build-essential cmake pkg-config
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  clang libclang-rt-14-dev
  python3
  libmimalloc-dev
  mdbtools
  qt6-base-dev qt6-translations-l10n libgl-dev fonts-nanum fonts-nanum-coding
)

# Node.js often comes from another repository (NodeSource) with npm bundled;
# asking apt for Debian's npm then conflicts with that nodejs, so the two are
# requested only when the commands are absent.
command -v node >/dev/null 2>&1 || packages+=(nodejs)
command -v npm >/dev/null 2>&1 || packages+=(npm)

missing=()
for p in "${packages[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
if [ "${#missing[@]}" -gt 0 ]; then
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

if [ -f tests/oracles/package-lock.json ] && [ ! -d tests/oracles/node_modules ]; then
  npm ci --prefix tests/oracles --no-audit --no-fund --silent
fi
