# Sourced by the sound checks (scripts/ci-sound.sh, scripts/ci-web-sound.sh):
# start_sound_server starts a private PipeWire (its own XDG_RUNTIME_DIR, a
# session bus of its own, wireplumber, pipewire-pulse) with one null sink,
# "hazelglow-null", at 44 100 Hz and a 256-frame quantum, the default output;
# it is stopped when the script exits. PULSE_SERVER then names its
# pipewire-pulse, for clients that speak PulseAudio (the browsers). Where it
# cannot start it calls the caller's skip with the reason.
#
# sound_python sets `python` to Debian's interpreter, where the numpy of
# python3-numpy lives (the checks cross-correlate with it), or skips.

sound_python() {
  python=/usr/bin/python3
  [[ -x "$python" ]] || python=python3
  "$python" -c 'import numpy' 2>/dev/null || skip "python3-numpy is not installed"
}

start_sound_server() {
  local tool
  for tool in pipewire wireplumber pipewire-pulse pw-record pw-cli pw-metadata dbus-daemon; do
    command -v "$tool" >/dev/null || skip "$tool is not installed"
  done
  runtime="$(mktemp -d /tmp/hazelglow-sound.XXXXXX)"
  chmod 700 "$runtime"
  pids=()
  cleanup() {
    local pid
    for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
      pid="${pids[$i]}"
      kill "$pid" 2>/dev/null || true
      wait "$pid" 2>/dev/null || true
    done
    rm -rf "$runtime"
  }
  trap cleanup EXIT

  # Everything the server and its clients look for lives in the private runtime
  # folder: nothing of a desktop session on this machine is touched or used.
  export XDG_RUNTIME_DIR="$runtime"
  export XDG_CONFIG_HOME="$runtime/config"
  export XDG_STATE_HOME="$runtime/state"
  unset PIPEWIRE_REMOTE PULSE_SERVER DISPLAY WAYLAND_DISPLAY
  mkdir -p "$XDG_CONFIG_HOME/pipewire/pipewire.conf.d" "$XDG_STATE_HOME"
  cat >"$XDG_CONFIG_HOME/pipewire/pipewire.conf.d/hazelglow-test.conf" <<'CONF'
# The demo's rate, so nothing is resampled, and a short quantum, so the
# recording's blocks place a sample within 6 ms.
context.properties = {
    default.clock.rate          = 44100
    default.clock.allowed-rates = [ 44100 ]
    default.clock.quantum       = 256
    default.clock.min-quantum   = 256
    default.clock.max-quantum   = 256
}
context.objects = [
    { factory = adapter
      args = {
          factory.name     = support.null-audio-sink
          node.name        = "hazelglow-null"
          node.description = "Hazel Glow test sink"
          media.class      = "Audio/Sink"
          audio.position   = [ FL FR ]
          audio.rate       = 44100
          monitor.channel-volumes = true
      }
    }
]
CONF

  # CI runs as root with no session bus: wireplumber wants one, so make one.
  dbus-daemon --session --fork --nopidfile --address="unix:path=$runtime/bus" --print-pid=3 3>"$runtime/dbus.pid" \
    >/dev/null 2>"$runtime/dbus.log" || skip "dbus-daemon would not start: $(head -n 1 "$runtime/dbus.log")"
  pids+=("$(cat "$runtime/dbus.pid")")
  export DBUS_SESSION_BUS_ADDRESS="unix:path=$runtime/bus"

  pipewire >"$runtime/pipewire.log" 2>&1 &
  pids+=($!)
  for _ in $(seq 50); do
    [[ -S "$runtime/pipewire-0" ]] && break
    sleep 0.1
  done
  [[ -S "$runtime/pipewire-0" ]] || skip "pipewire would not start: $(tail -n 1 "$runtime/pipewire.log")"
  wireplumber >"$runtime/wireplumber.log" 2>&1 &
  pids+=($!)
  pipewire-pulse >"$runtime/pipewire-pulse.log" 2>&1 &
  pids+=($!)
  # Ready once the session manager has made the null sink the default output.
  for _ in $(seq 100); do
    pw-cli ls Node 2>/dev/null | grep -q 'node.name = "hazelglow-null"' &&
      pw-metadata 0 default.audio.sink 2>/dev/null | grep -q hazelglow-null && break
    sleep 0.1
  done
  pw-metadata 0 default.audio.sink 2>/dev/null | grep -q hazelglow-null ||
    skip "the null sink did not become the default output: $(tail -n 1 "$runtime/wireplumber.log")"
  export PULSE_SERVER="unix:$runtime/pulse/native"
  for _ in $(seq 50); do
    [[ -S "$runtime/pulse/native" ]] && break
    sleep 0.1
  done
  [[ -S "$runtime/pulse/native" ]] || skip "pipewire-pulse would not start: $(tail -n 1 "$runtime/pipewire-pulse.log")"
}
