#!/usr/bin/env bash
# CI for Windows: cross-compiles everything with mingw-w64 (the `windows`
# preset) and runs the unit tests that need no console under Wine, headless,
# with the Wine prefix inside build/windows; then starts the demo itself under
# Wine in a pseudo-terminal (scripts/windows-smoke.sh).
#
# The data generator runs at build time, so it cannot run in a cross build:
# the native release build makes the data files and the cross build copies
# them beside its programs.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh test windows
cmake --preset release >/dev/null
cmake --build --preset release --target hazelglow-data
cmake --preset windows -DHAZELGLOW_HOST_DATA_DIR="$PWD/build/release/bin" >/dev/null
# One wineserver for everything below (the build runs the test programs to
# list their tests), so no program meets a server that is just quitting.
cmake/wine-run.sh --hold build/windows
trap 'cmake/wine-run.sh --release build/windows 2>/dev/null || true' EXIT
cmake --build --preset windows
# The windows test preset runs a failed test once more: now and then a Wine
# program ends at once, with no output and a failure status, before the
# test itself starts (seen once in some thousands of runs). A test that
# fails for itself fails twice; the first attempt's output stays in the log.
ctest --preset windows -j 2
scripts/windows-smoke.sh build/windows
