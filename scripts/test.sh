#!/usr/bin/env bash
# Sets up, builds (release) and runs every test. Usage: scripts/test.sh [preset]
set -euo pipefail
cd "$(dirname "$0")/.."
preset="${1:-release}"
scripts/setup.sh test
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset"
ctest --preset "$preset" -j 2
# The demo's own build (scripts/run-demo.sh) compiles in unity batches, where
# two files' private names can clash: build it too, so a clash fails here
# rather than on a newcomer's first run.
if [[ "$preset" == release ]]; then
  cmake --preset demo >/dev/null
  cmake --build --preset demo
fi
