#!/bin/bash
# Plays a 440 Hz MP3 shifted by SEMITONES (default 12, an octave up) through
# RtAudio into the null sink of a PulseAudio server of its own (no setting of
# the user's sound server changes), records the sink's monitor with parec
# and checks the pitch and level that arrived.
# usage: tools/audio-device-check/null_sink_check.sh [BUILD_DIR] [SEMITONES]
set -euo pipefail
build=${1:-build}
semitones=${2:-12}
tool=$build/bin/audio_device_check
here=$(cd "$(dirname "$0")" && pwd)
command -v pulseaudio >/dev/null || { echo "SKIP: PulseAudio is not installed"; exit 0; }
source "$here/../../scripts/e2e/lib.sh"
e2e_work
e2e_pulse velmar_check

sox -n -r 44100 -c 2 "$work/tone.wav" synth 4 sine 440 vol 0.5
lame --quiet -b 192 "$work/tone.wav" "$work/tone.mp3"
e2e_record velmar_check "$work/rec.raw"
"$tool" "$work/tone.mp3" 3 "$semitones"
# What the server still holds.
e2e_record_more 500 "$work/rec.raw" || fail "the recording stopped"
e2e_record_stop

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
