#!/usr/bin/env bash
# Rewrites the whole-timeline golden hashes (tests/effects/golden/) from a
# release build. Only run it on purpose: every changed line is a changed
# frame, and the commit that carries new golden files must say why.
#   scripts/regenerate-golden.sh [build dir]   (default: build/release)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$root/build/release}"
cd "$root"
if [[ ! -f "$build/CMakeCache.txt" ]]; then
  cmake --preset release -B "$build" >/dev/null
fi
if ! grep -q '^CMAKE_BUILD_TYPE:STRING=Release$' "$build/CMakeCache.txt"; then
  echo "regenerate-golden: $build is not a release build" >&2
  exit 1
fi
cmake --build "$build" --target hazelglow-render hazelglow-data
mkdir -p tests/effects/golden
# The frame count is the render tool's default, the whole timeline.
frames=$("$build/bin/hazelglow-render" --help | sed -n 's/.*--frames N .*(default \([0-9]*\),.*/\1/p')
if [[ -z "$frames" ]]; then
  echo "regenerate-golden: cannot read the default frame count from hazelglow-render --help" >&2
  exit 1
fi
for tick in 0 987654; do
  out="tests/effects/golden/timeline_tick_$tick.txt"
  "$build/bin/hazelglow-render" --data "$build/bin" --start-tick "$tick" --hashes > "$out.new"
  lines=$(wc -l < "$out.new")
  if [[ "$lines" -ne "$frames" ]]; then
    echo "regenerate-golden: $out.new has $lines lines, expected $frames" >&2
    exit 1
  fi
  mv "$out.new" "$out"
  echo "regenerate-golden: wrote $out"
done
# The font the text pictures were drawn from, so a font package update is
# named as such by the golden test rather than showing as changed frames.
font=$(sed -n 's/^HAZELGLOW_TEXT_FONT:FILEPATH=//p' "$build/CMakeCache.txt")
(cd "$(dirname "$font")" && sha256sum "$(basename "$font")") > tests/effects/golden/font.sha256
echo "regenerate-golden: wrote tests/effects/golden/font.sha256"
git --no-pager diff --stat -- tests/effects/golden || true
