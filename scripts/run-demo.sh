#!/usr/bin/env bash
# Sets up, builds (release) and runs the demo in the current terminal.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/setup.sh"
(cd "$root" && cmake --preset release >/dev/null && cmake --build --preset release >/dev/null)
exec "$root/build/release/bin/hazelglow"
