#!/usr/bin/env bash
# Makes the two packages:
#   build/package/packages/hazelglow_<version>-1_<arch>.deb
#     the Debian package (`package` preset: release, prefix /usr, no tests);
#   build/windows-package/packages/hazelglow-<version>-windows-x86_64.zip
#     the Windows programs, data files and README-windows.txt from the
#     mingw-w64 cross build (`windows-package` preset), which takes the data
#     files the Debian package's build generated.
# Prints the two paths.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh demo video package windows
cmake --preset package >/dev/null
cmake --build --preset package >/dev/null
cmake --preset windows-package -DHAZELGLOW_HOST_DATA_DIR="$PWD/build/package/bin" >/dev/null
cmake --build --preset windows-package >/dev/null
ls "$PWD"/build/package/packages/hazelglow_*.deb "$PWD"/build/windows-package/packages/hazelglow-*-windows-x86_64.zip
