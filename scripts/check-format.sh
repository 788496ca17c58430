#!/usr/bin/env bash
# Fails, listing the files, when a C++ source differs from .clang-format.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh format
off=$(git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run 2>&1 | grep -oE '^[^:]+\.(cpp|h)' | sort -u || true)
if [[ -n "$off" ]]; then
  echo "check-format: these files differ from .clang-format (run clang-format -i on them):" >&2
  echo "$off" >&2
  exit 1
fi
echo "check-format: $(git ls-files '*.cpp' '*.h' | wc -l) files formatted"
