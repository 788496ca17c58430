#!/usr/bin/env bash
# Installs the Debian packages Hazel Glow needs, and only those that are
# missing. Quiet when everything is there already.
#   scripts/setup.sh [group ...]    default: test
# Groups:
#   demo      build and run the demo (compiler, CMake, the libraries, the font
#             the data files are drawn with)
#   test      demo, plus everything the test command builds and runs
#   format    clang-format, for scripts/check-format.sh
#   windows   the mingw-w64 cross compiler and Wine
#   web       Emscripten, Node.js and Chromium for the browser edition
#   video     FFmpeg's libraries and tools, for hazelglow-render --video
#   sound     a PipeWire sound server, for the audio/picture sync check
#   package   Debian packaging tools
set -euo pipefail

declare -A group
group[demo]="cmake ninja-build g++ pkg-config libstb-dev libvorbis-dev libasound2-dev fonts-dejavu-core"
group[format]="clang-format"
group[video]="libavformat-dev libavcodec-dev libavutil-dev libswscale-dev libswresample-dev ffmpeg"
group[test]="${group[demo]} ${group[format]} ${group[video]} googletest libgtest-dev libgmock-dev
  libbenchmark-dev libvterm-dev clang libclang-rt-14-dev"
group[windows]="g++-mingw-w64-x86-64 wine wine64 zip"
group[web]="emscripten node-acorn nodejs npm chromium firefox-esr python3"
group[sound]="pipewire pipewire-alsa pipewire-pulse wireplumber dbus alsa-utils python3 python3-numpy"
group[package]="dpkg-dev file lintian fakeroot"

[[ $# -eq 0 ]] && set -- test
packages=()
for name in "$@"; do
  name="${name#--}"
  if [[ -z "${group[$name]+set}" ]]; then
    echo "setup: unknown group '$name' (demo, test, format, windows, web, video, sound, package)" >&2
    exit 2
  fi
  read -r -a more <<<"$(echo ${group[$name]})"
  packages+=("${more[@]}")
done

missing=()
for package in "${packages[@]}"; do
  # A nodejs from outside Debian (NodeSource's) brings its own npm and
  # conflicts with Debian's npm package: its npm command is enough.
  [[ $package == npm ]] && command -v npm >/dev/null && continue
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$package")
  fi
done
[[ ${#missing[@]} -eq 0 ]] && exit 0
readarray -t missing < <(printf '%s\n' "${missing[@]}" | sort -u)

sudo=()
[[ $(id -u) -ne 0 ]] && sudo=(sudo)
echo "setup: installing ${missing[*]}" >&2
"${sudo[@]}" apt-get update -qq >&2
DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >&2
