#!/usr/bin/env bash
# The picture in step with the sound as heard, through a real sound server.
# Starts a private PipeWire (scripts/sound_server.sh: its own XDG_RUNTIME_DIR,
# a session bus of its own, wireplumber, pipewire-pulse) with one null sink at
# 44 100 Hz and a 256-frame quantum, then scripts/ci_sound.py runs the demo in a
# pseudo-terminal three times while recording the sink's monitor: the last
# run is stopped (SIGTSTP) for 5 s and continued. Each frame must appear
# within 20 ms (median) and 45 ms (worst) of its moment of the soundtrack.
# Where no sound server can start it says SKIP and exits 0: no pass claimed.
#   scripts/ci-sound.sh [preset [ci_sound.py options]]   default: release (builds it)
set -euo pipefail
cd "$(dirname "$0")/.."
root="$(pwd)"
preset="${1:-release}"
shift || true
scripts/setup.sh test sound
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset" --target hazelglow hazelglow-render hazelglow-data
bin="$root/build/$preset/bin"

skip() {
  echo "SKIP ci-sound: $1 (the audio/picture sync was NOT checked)"
  exit 0
}

# shellcheck source=scripts/sound_server.sh
source scripts/sound_server.sh
sound_python
start_sound_server

# HAZELGLOW_SOUND_KEEP=prefix keeps each run's recording for a closer look.
"$python" scripts/ci_sound.py --bin "$bin" --runs 3 --seconds 20 --stop-for 5 \
  ${HAZELGLOW_SOUND_KEEP:+--keep "$HAZELGLOW_SOUND_KEEP"} "$@"
