#!/usr/bin/env bash
# Runs a program of the Windows cross build under Wine, headless. Used as the
# build's CMAKE_CROSSCOMPILING_EMULATOR, so ctest and the test discovery run
# the .exe files through it: wine-run.sh <program.exe> [arguments...]
#
# The Wine prefix lives in the build directory (<build>/wineprefix), never in
# the user's home, and is created on first use under a lock so that parallel
# test runs do not race the first boot. Mono and Gecko are not wanted (no
# installer prompts, no downloads), nor menu entries; no X display is needed
# for console programs.
set -euo pipefail

#
# wine-run.sh --hold BUILD_DIR starts a wineserver for the build's prefix that
# stays until `wine-run.sh --release BUILD_DIR`. Started on demand, a
# wineserver quits a few seconds after its last client, and a client that
# starts just then is refused ("recvmsg: Connection reset by peer"); a long
# run of short test programs meets that sooner or later.
[[ $# -ge 1 ]] || { echo "usage: wine-run.sh program.exe [args...] | --hold BUILD_DIR | --release BUILD_DIR" >&2; exit 2; }

mode=run
if [[ "$1" == --hold || "$1" == --release ]]; then
  [[ $# -eq 2 ]] || { echo "usage: wine-run.sh $1 BUILD_DIR" >&2; exit 2; }
  mode="$1"
  shift
  set -- "$1/CMakeCache.txt"
fi

# The build directory is the first parent of the program holding CMakeCache.txt.
build="$(cd "$(dirname "$1")" && pwd)"
while [[ "$build" != / && ! -f "$build/CMakeCache.txt" ]]; do
  build="$(dirname "$build")"
done
[[ -f "$build/CMakeCache.txt" ]] || { echo "wine-run.sh: $1 is not inside a build directory" >&2; exit 2; }

export WINEPREFIX="${HAZELGLOW_WINEPREFIX:-$build/wineprefix}"
export WINEARCH=win64
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
unset DISPLAY WAYLAND_DISPLAY

if [[ ! -f "$WINEPREFIX/system.reg" ]]; then
  mkdir -p "$(dirname "$WINEPREFIX")"
  (
    flock 9
    if [[ ! -f "$WINEPREFIX/system.reg" ]]; then
      wineboot --init >/dev/null 2>&1 || true
      wineserver --wait || true
    fi
  ) 9>"$WINEPREFIX.lock"
fi

case "$mode" in
  --hold)
    wineserver -p
    # Wine's own services start with the first program and live as long as
    # the server: start them here, on no terminal and no pipe, or they keep
    # the first test's output open and its runner waits for it forever.
    wine cmd /c exit </dev/null >/dev/null 2>&1 || true
    exit 0 ;;
  --release) exec wineserver -k ;;
esac
exec wine "$@"
