#!/usr/bin/env bash
# The position the player reports against the one heard: the click track of
# scripts/clicktrack.py, as a MIDI song and as an MP3 made from its offline render,
# played through the sound engine by `velmar-engine --positions` into the
# null sink of a PulseAudio server of our own (its own socket: no setting of
# the user's sound server is touched), recorded by heard-record on
# PulseAudio's own clock; heard_position.py prints, over the whole song,
# reported minus heard (median, 5th..95th percentile, extremes, and per ten
# seconds of song), and velmar-engine what its synthesizer went through.
#
# Each run names the user and the load: root or nobody (an ordinary user:
# no real-time scheduling); quiet, "busy" (stress-ng on every core in a
# session of its own: another program), "own" (in the player's own session:
# the user's own programs, what a busy desktop is) or "stall" (the sink
# suspended for a second, 20 s into each song: a drop-out).
#
# usage: tools/heard-position/heard_position.sh [BIN_DIR] [RUNS]
#   BIN_DIR  default build/bin (a Release build measures what users get)
#   RUNS     space-separated, of: root nobody root-busy nobody-busy root-own
#            nobody-own root-stall nobody-stall (default: nobody nobody-own)
# KEEP=DIR keeps each run's recordings, reports and player output there.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
bin=$(cd "${1:-build/bin}" && pwd)
runs=${2:-nobody nobody-own}
bank=/usr/share/sounds/sf2/TimGM6mb.sf2
sink=velmar_heard
rate=44100
source "$here/../../scripts/e2e/lib.sh"
e2e_work shared

for tool in pulseaudio pactl lame ffmpeg runuser; do
  command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed"; exit 0; }
done
[ -x "$bin/heard-record" ] || { echo "SKIP: $bin/heard-record is not built (libpulse-simple)"; exit 0; }

/usr/bin/python3 "$here/../../scripts/clicktrack.py" make "$work/click.mid"
"$bin/velmar-render" "$work/click.mid" "$work/click.wav" --soundfont "$bank" >/dev/null
lame --quiet -b 192 "$work/click.wav" "$work/click.mp3"
# The MP3 as it sounds from its start: libmpg123 leaves out the encoder's
# delay, as ffmpeg does.
ffmpeg -v error -y -i "$work/click.mp3" -ar $rate -ac 2 -c:a pcm_s16le "$work/click-mp3.wav"
chmod 644 "$work"/click.*

e2e_pulse --rate $rate $sink

# As the user of the run, from a home of its own (the player's log folder).
as() {
  local user=$1; shift
  local home=$work/home-$user
  mkdir -p "$home" && chown "$user" "$home"
  (cd "$home" && runuser -u "$user" -- env HOME="$home" XDG_RUNTIME_DIR="$home" XDG_CONFIG_HOME="$home/.config" \
    XDG_DATA_HOME="$home/.local/share" PULSE_SERVER="$PULSE_SERVER" "$@")
}

status=0
for run in $runs; do
  e2e_run "$run" || { echo "$run: SKIP: stress-ng is not installed"; continue; }
  echo "== $run"
  for song in click.mid click.mp3; do
    reference=$work/click.wav
    [ "$song" = click.mp3 ] && reference=$work/click-mp3.wav
    # The recorder runs real-time: the measuring instrument must not drop
    # audio on a busy machine.
    rm -f "$work/rec.raw"
    chrt -r 50 "$bin/heard-record" "$sink.monitor" $rate "$work/rec.raw" "$work/rec.times" &
    recorder=$!
    pids+=($recorder)
    wait_for 50 test -s "$work/rec.raw" || fail "heard-record did not record"
    staller=""
    if [ "$load" = stall ]; then
      (sleep 21.6; pactl suspend-sink $sink 1; sleep 1; pactl suspend-sink $sink 0) &
      staller=$!
    fi
    as "$user" "$bin/velmar-engine" "$work/$song" --positions --soundbank "$bank" \
      >"$work/positions.txt" 2>"$work/engine.log" || echo "  (the player exited with $?)"
    [ -n "$staller" ] && wait "$staller"
    # What the server still holds.
    e2e_record_more 500 "$work/rec.raw" || true
    kill -INT "$recorder"
    wait "$recorder" || true
    grep -E '^(synthesizer|scheduling):' "$work/positions.txt" | sed 's/^/  /' || true
    /usr/bin/python3 "$here/heard_position.py" "$work/rec.raw" "$work/rec.times" "$work/positions.txt" \
      "$reference" "  $song" || status=1
    if [ -n "${KEEP:-}" ]; then
      mkdir -p "$KEEP"
      for f in rec.raw rec.times positions.txt engine.log; do cp "$work/$f" "$KEEP/$run-$song-$f"; done
    fi
  done
  e2e_unload
done
exit $status
