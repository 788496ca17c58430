#!/usr/bin/env bash
# Sets up, builds and runs the demo in the current terminal. Only what the
# demo needs is installed and built (the `demo` preset: no tests, no
# benchmarks); the arguments go to the demo (--fill, --exact, --help, ...).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/setup.sh" demo
# Quiet when the build works; when it fails, its whole output (the
# compiler's messages go to stdout) so the reason is on screen.
log="$(mktemp)"
if ! (cd "$root" && cmake --preset demo && cmake --build --preset demo) >"$log" 2>&1; then
  cat "$log" >&2
  rm -f "$log"
  echo "run-demo: the build failed" >&2
  exit 1
fi
rm -f "$log"
exec "$root/build/demo/bin/hazelglow" "$@"
