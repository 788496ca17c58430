#!/usr/bin/env bash
# Installs the Debian packages Hazel Glow needs to build and test, and only
# those that are missing. Quiet when everything is there already.
#   scripts/setup.sh            packages for the Linux build and its tests
#   scripts/setup.sh --windows  also the mingw-w64 cross compiler and Wine
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config
  libstb-dev libvorbis-dev libasound2-dev
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  libvterm-dev fonts-dejavu-core
  clang libclang-rt-14-dev
)
if [[ "${1:-}" == "--windows" ]]; then
  packages+=(g++-mingw-w64-x86-64 wine wine64)
fi

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$package")
  fi
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

sudo=()
[[ $(id -u) -ne 0 ]] && sudo=(sudo)
echo "setup: installing ${missing[*]}" >&2
"${sudo[@]}" apt-get update -qq >&2
DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >&2
