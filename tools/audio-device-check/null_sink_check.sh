#!/bin/bash
# Plays a 440 Hz MP3 shifted by SEMITONES (default 12, an octave up) through
# RtAudio into a PulseAudio null sink, records the sink's monitor with parec
# and checks the pitch and level that arrived. Starts PulseAudio when none
# runs (and stops only the one it started).
# usage: tools/audio-device-check/null_sink_check.sh [BUILD_DIR] [SEMITONES]
set -euo pipefail
build=${1:-build}
semitones=${2:-12}
tool=$build/bin/audio_device_check
work=$(mktemp -d)
started=""
module=""
recorder=""
cleanup() {
  [ -n "$recorder" ] && kill "$recorder" 2>/dev/null || true
  [ -n "$module" ] && pactl unload-module "$module" 2>/dev/null || true
  [ -n "$started" ] && kill "$started" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

command -v pulseaudio >/dev/null || { echo "SKIP: PulseAudio is not installed"; exit 0; }
if ! pactl info >/dev/null 2>&1; then
  pulseaudio --daemonize=no --exit-idle-time=-1 --log-target=stderr 2>"$work/pulse.log" &
  started=$!
  for _ in $(seq 50); do pactl info >/dev/null 2>&1 && break; sleep 0.1; done
fi
module=$(pactl load-module module-null-sink sink_name=velmar_check rate=48000)
previous=$(pactl get-default-sink 2>/dev/null || true)
pactl set-default-sink velmar_check

sox -n -r 44100 -c 2 "$work/tone.wav" synth 4 sine 440 vol 0.5
lame --quiet -b 192 "$work/tone.wav" "$work/tone.mp3"
parec -d velmar_check.monitor --format=s16le --rate=48000 --channels=2 --raw "$work/rec.raw" &
recorder=$!
"$tool" "$work/tone.mp3" 3 "$semitones"
sleep 0.5
kill "$recorder"; wait "$recorder" 2>/dev/null || true
recorder=""
[ -n "$previous" ] && pactl set-default-sink "$previous" || true

expected=$(/usr/bin/python3 -c "print(440 * 2 ** ($semitones / 12))")
/usr/bin/python3 - "$work/rec.raw" "$expected" <<'PY'
# Pitch (zero crossings) and level of every 100 ms of the left channel that
# carries sound; a loaded machine may starve the sound server, so the length
# recorded is reported, not checked.
import array, statistics, sys
left = array.array("h", open(sys.argv[1], "rb").read())[0::2]
expected = float(sys.argv[2])
blocks = [left[i:i + 4800] for i in range(0, len(left) - 4799, 4800)]
sounding = []
for b in blocks:
    rms = (sum(x * x for x in b) / len(b)) ** 0.5
    if rms > 1000:
        sounding.append((sum(1 for i in range(1, len(b)) if b[i - 1] < 0 <= b[i]) * 10, rms))
if len(sounding) < 5:
    print(f"FAIL: {len(sounding) / 10:.1f} s of sound recorded")
    sys.exit(1)
freq = statistics.median(f for f, _ in sounding)
rms = statistics.median(r for _, r in sounding) / 32768
ok = abs(freq - expected) < expected * 0.03 and rms > 0.1
print(("PASS" if ok else "FAIL") + f": {len(sounding) / 10:.1f} s of sound at {freq:.0f} Hz"
      f" (expected {expected:.0f}), RMS {rms:.3f}, {len(left) / 48000:.1f} s recorded")
sys.exit(0 if ok else 1)
PY
