#!/usr/bin/env bash
# Live timing of the software synthesizer: a click track played by
# velmar-play --live (sequencer thread, synthesizer, default audio device) and
# by `fluidsynth -a pulseaudio` on a PulseAudio null sink, each recorded with
# parec, and the offline render of velmar-render beside them.
# usage: tools/velmar-play/clicktrack.sh [BIN_DIR]   (default build/bin)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
bin=${1:-build/bin}
bank=/usr/share/sounds/sf2/TimGM6mb.sf2
sink=velmar_click
work=$(mktemp -d)
measure() { /usr/bin/python3 "$here/clicktrack.py" measure "$@"; }

/usr/bin/python3 "$here/clicktrack.py" make "$work/click.mid"
pulseaudio --check 2>/dev/null || pulseaudio --start --exit-idle-time=-1
module=$(pactl load-module module-null-sink sink_name=$sink)
trap 'pactl unload-module "$module"; rm -rf "$work"' EXIT
pactl set-default-sink $sink

# Records the sink while the command runs; real-time scheduling keeps a busy
# machine from making the recorder drop audio.
recorded() {
  local out=$1; shift
  chrt -r 50 parec -d $sink.monitor --latency-msec=100 --format=s16le --rate=44100 --channels=2 \
    --raw > "$out" &
  local pid=$!
  sleep 0.5
  "$@"
  sleep 0.5
  kill "$pid"
  wait "$pid" 2>/dev/null || true
}

recorded "$work/ours.raw" "$bin/velmar-play" "$work/click.mid" --live --soundfont "$bank"
recorded "$work/fluid.raw" chrt -r 70 fluidsynth -a pulseaudio -n -i -q "$bank" "$work/click.mid"
"$bin/velmar-render" "$work/click.mid" "$work/offline.wav" --soundfont "$bank" > /dev/null

measure "$work/ours.raw" "velmar-play --live"
measure "$work/fluid.raw" "fluidsynth -a pulseaudio"
measure "$work/offline.wav" "velmar-render (offline)"
