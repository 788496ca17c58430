#!/usr/bin/env bash
# CI for the browser edition: builds the page with Emscripten (the `web`
# preset, into build/web) and tests it in headless Chromium and Firefox ESR
# through puppeteer-core (DevTools protocol and WebDriver BiDi; web/tests,
# node's own test runner; the tests serve the page on 127.0.0.1 themselves). The native release build makes the data
# files and the render tool whose pictures and sound the page must match.
# Then the figures: the page folder's size, ?bench's frame cost per scene and
# the picture against the sound in both browsers (web/tests/sync.mjs); last,
# the sound as a visitor hears it, played into a private sound server and
# recorded (scripts/ci-web-sound.sh; SKIP where no server starts).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh test web
export NODE_PATH="/usr/share/nodejs${NODE_PATH:+:$NODE_PATH}"
# puppeteer-core drives Debian's chromium and downloads no browser; npm's
# cache stays inside the build tree.
export PUPPETEER_SKIP_DOWNLOAD=1
export npm_config_cache="$PWD/build/npm-cache"

start=$SECONDS
cmake --preset release >/dev/null
cmake --build --preset release --target hazelglow-data hazelglow-render
cmake --preset web -DHAZELGLOW_HOST_DATA_DIR="$PWD/build/release/bin" >/dev/null
cmake --build --preset web
echo "ci-web: built in $((SECONDS - start)) s"

(cd web/tests && npm ci --no-audit --no-fund)
for browser in chromium firefox; do
  echo "ci-web: the browser tests in $browser"
  (cd web/tests && HAZELGLOW_BROWSER=$browser node --test)
done

echo "ci-web: the page folder build/web, as a static host serves it:"
(cd build/web && ls -l | tail -n +2 && du -cb -- * | tail -1 | awk '{ printf "%d bytes in all (%.2f MB)\n", $1, $1 / 1e6 }')
node web/tests/bench.mjs
node web/tests/sync.mjs
scripts/ci-web-sound.sh
echo "ci-web: done in $((SECONDS - start)) s"
