#!/usr/bin/env bash
# Starts the Windows demo under Wine in a pseudo-terminal (Wine then gives it
# a console drawn with escape sequences) with a 3-second soundtrack, and
# checks that it sets its titles, draws, and ends by itself with status 0
# when the soundtrack has played (Wine has no sound device here, so the
# engine falls back to its silent output, which keeps the music's clock);
# then that it stops with status 2 and a message when it has no console.
#   scripts/windows-smoke.sh [build dir, default build/windows]
set -euo pipefail
cd "$(dirname "$0")/.."
root="$PWD"
build="$(cd "${1:-build/windows}" && pwd)"
smoke="$build/smoke"
rm -rf "$smoke"
mkdir -p "$smoke"
cp "$build/bin/hazelglow.exe" "$build/bin/wipe.png" "$build/bin/texts.png" "$smoke/"

# The loader takes RIFF WAVE as well as Ogg Vorbis: 3 s of 16-bit stereo silence.
le32() { printf "\\x$(printf %02x $(($1 & 255)))\\x$(printf %02x $(($1 >> 8 & 255)))\\x$(printf %02x $(($1 >> 16 & 255)))\\x$(printf %02x $(($1 >> 24 & 255)))"; }
bytes=$((44100 * 4 * 3))
{
  printf 'RIFF'; le32 $((36 + bytes)); printf 'WAVEfmt '; le32 16
  printf '\x01\x00\x02\x00'; le32 44100; le32 $((44100 * 4)); printf '\x04\x00\x10\x00'
  printf 'data'; le32 "$bytes"
  head -c "$bytes" /dev/zero
} > "$smoke/hazelglow.ogg"

started=$(date +%s)
status=0
(cd "$smoke" && TERM=xterm timeout 60 script -qec "stty rows 50 cols 80; '$root/cmake/wine-run.sh' '$smoke/hazelglow.exe'" \
  "$smoke/terminal.log" </dev/null >/dev/null 2>&1) || status=$?
seconds=$(($(date +%s) - started))

fail() { echo "windows-smoke: $*" >&2; exit 1; }
[[ $status -eq 0 ]] || fail "hazelglow.exe ended with status $status after ${seconds} s (124: still running after 60 s)"
grep -aq 'Pelkor7 console window - press alt-enter for fullscreen' "$smoke/terminal.log" || fail "no console window title"
grep -aq 'Hazel Glow - ZKPW07' "$smoke/terminal.log" || fail "no demo title"
[[ $(wc -c < "$smoke/terminal.log") -gt 20000 ]] || fail "next to nothing drawn"
# Without a console (no terminal for Wine to draw one in) it says so and stops.
status=0
message="$(cd "$smoke" && "$root/cmake/wine-run.sh" "$smoke/hazelglow.exe" </dev/null 2>&1 >/dev/null)" || status=$?
[[ $status -eq 2 ]] || fail "without a console: status $status, expected 2"
grep -q 'no console window' <<<"$message" || fail "without a console: no message"

echo "windows-smoke: hazelglow.exe drew $(wc -c < "$smoke/terminal.log") bytes of console output and ended with its 3 s soundtrack after ${seconds} s"
