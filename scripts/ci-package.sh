#!/usr/bin/env bash
# CI for the packages (scripts/package.sh makes them). Installs the Debian
# package system-wide and removes it again, so run it on a CI machine:
#  - lintian finds no errors in the .deb;
#  - after dpkg -i, from another directory, hazelglow-render --version prints
#    the project's version and the installed programs and data give the
#    build's frame hashes; the demo is built to look in /usr/share/hazelglow;
#  - dpkg -r leaves none of the package's files behind;
#  - the zip holds the programs, the data and the text, and its
#    hazelglow-render.exe gives the Linux build's hashes under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
readarray -t made < <(scripts/package.sh)
deb="${made[0]}"
zip="${made[1]}"
version="$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build/package/CMakeCache.txt)"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
sudo=()
[[ $(id -u) -ne 0 ]] && sudo=(sudo)
fail() { echo "ci-package: $*" >&2; exit 1; }

lintian --fail-on error "$deb"

build/package/bin/hazelglow-render --data build/package/bin --frames 10 --hashes >"$work/build.hashes"
[[ $(wc -l <"$work/build.hashes") -eq 10 ]] || fail "the build's render tool gave no hashes"

# Its dependencies are the libraries the build linked, so they are here.
"${sudo[@]}" dpkg -i "$deb" >/dev/null
trap '"${sudo[@]}" dpkg -r hazelglow >/dev/null 2>&1 || true; rm -rf "$work"' EXIT
dpkg-query -L hazelglow >"$work/files"
(
  cd "$work"
  [[ "$(hazelglow-render --version)" == "hazelglow-render $version" ]] || fail "hazelglow-render --version"
  hazelglow-render --data /usr/share/hazelglow --frames 10 --hashes >installed.hashes
  cmp installed.hashes build.hashes || fail "the installed render tool gives other hashes than the build"
  # The demo finds its data from here: it starts (its title goes out) and
  # ends at the end of its input.
  # --foreground: a plain timeout makes the demo a background job of the
  # pseudo-terminal, which job control stops before it draws anything.
  script -qc "stty rows 50 cols 80; timeout --foreground -k 5 10 hazelglow" /dev/null </dev/null >demo.out 2>&1 || true
  grep -q "Hazel Glow" demo.out || fail "the installed demo does not start from $PWD: $(tr -d '\033' <demo.out | head -c 200)"
  for page in /usr/share/man/man6/hazelglow.6.gz /usr/share/man/man1/hazelglow-render.1.gz; do
    gzip -t "$page" || fail "$page"
  done
)
"${sudo[@]}" dpkg -r hazelglow >/dev/null
trap 'rm -rf "$work"' EXIT
while read -r path; do
  if [[ -f "$path" || -L "$path" ]] || [[ -d "$path" && "$path" == */hazelglow ]]; then
    fail "$path is still there after dpkg -r"
  fi
done <"$work/files"
[[ "$(dpkg-query -W -f='${db:Status-Status}' hazelglow 2>/dev/null || true)" != installed ]] || fail "still installed"

# The zip: its files, and the same frames under Wine. wine-run.sh wants the
# program inside a build directory, for the Wine prefix.
unpacked="build/windows-package/unpacked"
rm -rf "$unpacked" && mkdir -p "$unpacked"
(cd "$unpacked" && cmake -E tar xf "$zip")
folder="$unpacked/$(basename "$zip" .zip)"
for name in hazelglow.exe hazelglow-render.exe hazelglow.ogg wipe.png texts.png README-windows.txt; do
  [[ -f "$folder/$name" ]] || fail "$name is not in $(basename "$zip")"
done
# The Windows CI's prefix, when there is one, saves booting a new one.
[[ -d build/windows/wineprefix ]] && export HAZELGLOW_WINEPREFIX="$PWD/build/windows/wineprefix"
wine_run="$PWD/cmake/wine-run.sh"
# Wine's own services start on no terminal and no pipe (--hold), and end
# with this script (--release): started by the program itself they would
# inherit its output and could hold a pipe, CI's own included, open.
"$wine_run" --hold build/windows-package
trap '"$wine_run" --release build/windows-package 2>/dev/null || true; rm -rf "$work"' EXIT
(cd "$folder" && timeout -k 10 300 "$wine_run" "$PWD/hazelglow-render.exe" --frames 10 --hashes) \
  </dev/null >"$work/wine.out" 2>"$work/wine.err" || fail "hazelglow-render.exe under Wine failed: $(tail -c 300 "$work/wine.err")"
tr -d '\r' <"$work/wine.out" >"$work/wine.hashes"
cmp "$work/wine.hashes" "$work/build.hashes" || fail "hazelglow-render.exe under Wine gives other hashes"
echo "ci-package: $(basename "$deb") and $(basename "$zip") are good"
