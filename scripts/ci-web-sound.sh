#!/usr/bin/env bash
# The page's sound as a visitor hears it: the browsers play the page out
# loud into a private sound server (scripts/sound_server.sh: PipeWire with a
# null sink and pipewire-pulse, which PULSE_SERVER names), and
# scripts/ci_sound_web.py records the sink's monitor, finds the soundtrack
# in it against `hazelglow-render --wav` and checks that it is heard from
# its start and that the frames fall on it. Needs the page built (build/web,
# scripts/ci-web.sh) and the release render tool. Where no sound server can
# start it says SKIP and exits 0: no pass claimed.
#   scripts/ci-web-sound.sh [ci_sound_web.py options]
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh sound

skip() {
  echo "SKIP ci-web-sound: $1 (the page's sound was NOT checked)"
  exit 0
}

# shellcheck source=scripts/sound_server.sh
source scripts/sound_server.sh
sound_python
start_sound_server

"$python" scripts/ci_sound_web.py --bin build/release/bin "$@"
