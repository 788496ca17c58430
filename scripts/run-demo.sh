#!/usr/bin/env bash
# Sets up, builds (release) and runs the demo in the current terminal.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/setup.sh"
# Quiet when the build works; when it fails, its whole output (the
# compiler's messages go to stdout) so the reason is on screen.
log="$(mktemp)"
if ! (cd "$root" && cmake --preset release && cmake --build --preset release) >"$log" 2>&1; then
  cat "$log" >&2
  rm -f "$log"
  echo "run-demo: the build failed" >&2
  exit 1
fi
rm -f "$log"
exec "$root/build/release/bin/hazelglow"
