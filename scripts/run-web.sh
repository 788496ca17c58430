#!/usr/bin/env bash
# Sets up, builds the browser edition and serves it on 127.0.0.1: open the
# address it prints in a browser. Ctrl+C stops the server.
#   scripts/run-web.sh [port]     (default 8000)
# The page folder, build/web, is all a static host needs. The data files
# come from a native build (the `demo` preset), which generates them.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
port="${1:-8000}"
"$root/scripts/setup.sh" demo web
# emcc's JavaScript steps need Debian's node modules (acorn) even when the
# node on PATH is not Debian's.
export NODE_PATH="/usr/share/nodejs${NODE_PATH:+:$NODE_PATH}"
# Quiet when the build works; its whole output when it fails.
log="$(mktemp)"
if ! (cd "$root" && cmake --preset demo && cmake --build --preset demo --target hazelglow-data &&
  cmake --preset web -DHAZELGLOW_HOST_DATA_DIR="$root/build/demo/bin" && cmake --build --preset web) >"$log" 2>&1; then
  cat "$log" >&2
  rm -f "$log"
  echo "run-web: the build failed" >&2
  exit 1
fi
rm -f "$log"
echo "Hazel Glow in the browser: http://127.0.0.1:$port/  (Ctrl+C stops the server)"
exec python3 -m http.server --bind 127.0.0.1 --directory "$root/build/web" "$port"
