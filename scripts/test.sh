#!/usr/bin/env bash
# Sets up, builds (release) and runs every test. Usage: scripts/test.sh [preset]
set -euo pipefail
cd "$(dirname "$0")/.."
preset="${1:-release}"
scripts/setup.sh test
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset"
ctest --preset "$preset" -j 2
