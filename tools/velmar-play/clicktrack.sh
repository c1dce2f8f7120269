#!/usr/bin/env bash
# Live timing of the software synthesizer: a click track over a held chord
# (scripts/clicktrack.py make), played by `velmar-play --live` (the Sequencer thread
# into the synthesizer on the default audio device) and by `fluidsynth -a
# pulseaudio`, each recorded from the null sink of a PulseAudio server of our
# own (its own socket: no setting of the user's sound server is touched),
# and measured against the offline render of velmar-render: hits, level
# spread, onset SD, longest silence, onsets against the render. Then the
# response a user hears: `velmar-engine --respond` gives the music volume,
# key and stop commands through the sound engine as the window does, while
# heard-record records the sink on the monotonic clock; the time from each
# command to its first sound, median of the tries per command. At the end
# one table of every run's figures.
#
# Each player runs as root and as an ordinary user (nobody: no real-time
# scheduling), on a quiet machine and with every core busy (stress-ng):
# "busy" starts the load in a session of its own (another program, a
# scheduling group of its own), "own" in the players' own session (what a
# busy desktop is: the user's programs share the players' group).
#
# usage: tools/velmar-play/clicktrack.sh [BIN_DIR] [RUNS]
#   BIN_DIR  default build/bin (a Release build measures what users get)
#   RUNS     space-separated subset of: root nobody root-busy nobody-busy
#            root-own nobody-own root-stall (default: all but the stall
#            run). root-stall suspends the sink for 3 s in the middle of
#            our song.
# KEEP=DIR keeps each run's recordings and player output there.
# ONLY=respond measures the responses alone.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
bin=$(cd "${1:-build/bin}" && pwd)
runs=${2:-root nobody root-busy nobody-busy root-own nobody-own}
bank=/usr/share/sounds/sf2/TimGM6mb.sf2
sink=velmar_click
source "$here/../../scripts/e2e/lib.sh"
e2e_work shared

for tool in pulseaudio parec pactl fluidsynth runuser; do
  command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed"; exit 0; }
done
respond=1
[ -x "$bin/heard-record" ] && [ -x "$bin/velmar-engine" ] ||
  { respond=""; echo "(no responses: $bin/heard-record or $bin/velmar-engine is not built)"; }
export SUMMARY=$work/summary.jsonl

/usr/bin/python3 "$here/../../scripts/clicktrack.py" make "$work/click.mid"
"$bin/velmar-render" "$work/click.mid" "$work/offline.wav" --soundfont "$bank" >/dev/null
/usr/bin/python3 "$here/../../scripts/clicktrack.py" make-chords "$work/chords.mid"
chmod 644 "$work/click.mid" "$work/chords.mid"

# The players find the sink as the server's only (default) sink.
e2e_pulse --rate 44100 $sink
# A desktop's sound server takes its clients' sound with a raised priority
# (PulseAudio's own nice level of -11): without it, the load started from
# this session would starve the server, and every player would drop out
# for the server's sake, not its own.
renice -n -11 -p "${pids[-1]}" >/dev/null || true

# As the user of the run; nobody gets a home of its own for the players.
as() {
  local user=$1; shift
  if [ "$user" = root ]; then
    "$@"
  else
    local home=$work/home-$user
    mkdir -p "$home" && chown "$user" "$home"
    (cd "$home" && runuser -u "$user" -- env HOME="$home" XDG_RUNTIME_DIR="$home" XDG_CONFIG_HOME="$home/.config" \
      XDG_DATA_HOME="$home/.local/share" PULSE_SERVER="$PULSE_SERVER" "$@")
  fi
}

# The commands of velmar-engine --respond, recorded on the monotonic clock.
responses() {
  chrt -r 50 "$bin/heard-record" "$sink.monitor" 44100 "$work/respond.raw" "$work/respond.times" &
  local rec=$!
  sleep 0.5
  as "$user" "$bin/velmar-engine" "$work/chords.mid" --respond --soundbank "$bank" \
    >"$work/actions.txt" 2>"$work/engine.log" || echo "  (velmar-engine exited with $?)"
  sleep 0.5
  kill -INT "$rec"
  wait "$rec" || true
}

# Records the sink while the command runs. The recorder runs real-time: the
# measuring instrument must not drop audio on a busy machine.
recorded() {
  local out=$1; shift
  e2e_record --rt $sink "$out"
  "$@" || echo "  (the player exited with $?)"
  e2e_record_more 500 "$out" || true
  e2e_record_stop
}

stall() {
  sleep 20
  pactl suspend-sink $sink 1
  sleep 3
  pactl suspend-sink $sink 0
}

for run in $runs; do
  e2e_run "$run" || { echo "$run: SKIP: stress-ng is not installed"; continue; }
  echo "== $run"
  staller=""
  if [ "${ONLY:-}" = respond ]; then
    if [ -n "$respond" ] && [ "$load" != stall ]; then
      responses
      export RUN=$run
      /usr/bin/python3 "$here/../../scripts/clicktrack.py" respond "$work/respond.raw" "$work/respond.times" \
        "$work/actions.txt" "  velmar-engine --respond" || true
    fi
    e2e_unload
    continue
  fi
  if [ "$load" = stall ]; then stall & staller=$!; fi
  recorded "$work/ours.raw" as "$user" "$bin/velmar-play" "$work/click.mid" --live --soundfont "$bank" \
    2>"$work/ours.log" | sed 's/^/  /'
  [ -n "$staller" ] && wait "$staller"
  rm -f "$work/fluid.raw"
  if [ "$load" != stall ]; then
    recorded "$work/fluid.raw" as "$user" fluidsynth -a pulseaudio -z 512 -c 8 -n -i -q "$bank" "$work/click.mid" \
      2>/dev/null
    [ -n "$respond" ] && responses
  fi
  e2e_unload
  if [ -n "${KEEP:-}" ]; then
    mkdir -p "$KEEP"
    cp "$work/offline.wav" "$KEEP/"
    for f in ours.raw fluid.raw ours.log respond.raw respond.times actions.txt engine.log; do [ -f "$work/$f" ] && cp "$work/$f" "$KEEP/$run-$f"; done
  fi
  export RUN=$run
  /usr/bin/python3 "$here/../../scripts/clicktrack.py" measure "$work/ours.raw" "  velmar-play --live" "$work/offline.wav" || true
  if [ "$load" != stall ]; then
    /usr/bin/python3 "$here/../../scripts/clicktrack.py" measure "$work/fluid.raw" "  fluidsynth" "$work/offline.wav" || true
    if [ -n "$respond" ]; then
      grep -E '^(synthesizer|scheduling):' "$work/actions.txt" | sed 's/^/  velmar-engine /' || true
      /usr/bin/python3 "$here/../../scripts/clicktrack.py" respond "$work/respond.raw" "$work/respond.times" \
        "$work/actions.txt" "  velmar-engine --respond" || true
    fi
  fi
  rm -f "$work/respond.raw" "$work/respond.times" "$work/actions.txt"
done
echo "== summary (load: $(cut -d' ' -f1-3 /proc/loadavg) at the end; SD: onset SD; max: onsets against the render;"
echo "   gap: longest silence; jumps: hits more than 5 ms off the beat's line without a silence in the 1.5 s before;"
echo "   fluid SD: fluidsynth's own; stop/key/volume: command to heard, median)"
[ -s "$SUMMARY" ] && /usr/bin/python3 "$here/../../scripts/clicktrack.py" table "$SUMMARY"
