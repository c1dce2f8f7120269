# Shared steps of the measuring tools and checks (tools/, tests/) that play
# into a PulseAudio server of their own (its own socket: no setting of the
# user's sound server, nor of any server they did not start, is touched),
# reachable by an ordinary user too. Sourced after `set -euo pipefail`:
#   own_work             a work folder others may read ($work), the processes
#                        to end with it ($pids), both gone on exit
#   own_wait_for N CMD.. waits up to N tenths of a second for CMD to succeed;
#                        status 1 when it never did
#   own_pulse SINK RATE  the server with one null sink (its default), on
#                        $work/pulse/native; exports PULSE_SERVER
#   own_record SINK FILE parec of SINK's monitor into FILE (raw 16-bit
#                        stereo at 48 kHz), once it records; its process in
#                        $recorder
#   own_record_stop      the recording ends
#   own_load LOAD        every core busy: "busy" from a session of its own
#                        (another program, a scheduling group of its own),
#                        "own" from this one (the user's own programs: what
#                        a busy desktop is); any other LOAD, none. Its
#                        process in $busy; status 1 without stress-ng
#   own_run RUN          a run named USER or USER-LOAD: sets $user and
#                        $load and starts the load (own_load)
#   own_unload           the load ends

own_work() {
  work=$(mktemp -d)
  chmod 755 "$work"
  pids=()
  trap own_cleanup EXIT
}

own_cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  for p in "${pids[@]}"; do wait "$p" 2>/dev/null || true; done
  rm -rf "$work"
}

own_wait_for() {
  local n=$1
  shift
  for _ in $(seq "$n"); do "$@" >/dev/null 2>&1 && return 0; sleep 0.1; done
  return 1
}

own_pulse() {
  mkdir -p "$work/pulse"
  export PULSE_SERVER=unix:$work/pulse/native
  PULSE_RUNTIME_PATH=$work/pulse PULSE_STATE_PATH=$work/pulse \
    pulseaudio -n --daemonize=no --exit-idle-time=-1 --use-pid-file=no --disallow-exit \
    -L "module-native-protocol-unix socket=$work/pulse/native auth-anonymous=1" \
    -L "module-null-sink sink_name=$1 rate=$2" 2>"$work/pulse.log" &
  pids+=($!)
  own_wait_for 100 pactl info || { echo "FAIL: PulseAudio did not start"; tail -3 "$work/pulse.log"; exit 1; }
  chmod 755 "$work/pulse"
  chmod 666 "$work/pulse/native"
}

own_load() {
  busy=""
  [ "$1" = busy ] || [ "$1" = own ] || return 0
  command -v stress-ng >/dev/null || return 1
  if [ "$1" = busy ]; then
    setsid stress-ng --cpu "$(nproc)" --quiet &
  else
    stress-ng --cpu "$(nproc)" --quiet &
  fi
  busy=$!
  # Under way once its workers run.
  own_wait_for 50 pgrep -P "$busy" || true
}

own_run() {
  user=${1%%-*}
  load=""
  [ "$1" != "$user" ] && load=${1#*-}
  own_load "$load"
}

own_unload() {
  [ -n "$busy" ] && { kill "$busy"; wait "$busy" 2>/dev/null || true; }
  busy=""
}

own_record() {
  : >"$2"
  parec -d "$1.monitor" --format=s16le --rate=48000 --channels=2 --raw --latency-msec=20 "$2" &
  recorder=$!
  pids+=($recorder)
  own_wait_for 50 test -s "$2" || { echo "FAIL: parec did not record"; exit 1; }
}

own_record_stop() {
  kill "$recorder" 2>/dev/null || true
  wait "$recorder" 2>/dev/null || true
}
