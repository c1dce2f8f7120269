#!/bin/bash
# Whether an MP3 song reaches the sound server from its first sample: white
# noise from the first sample on, played RUNS times (default 4) through
# RtAudio into the null sink of a PulseAudio server of its own and recorded
# from its monitor with parec; each recording is aligned with the decoded
# file (ffmpeg) and the number of the song's samples missing at its start is
# printed. A sound server may cut the first frames of a new stream: the song
# player begins each song with a little silence for it.
# usage: tools/audio-device-check/first_samples.sh [BUILD_DIR] [RUNS]
set -euo pipefail
build=${1:-build}
runs=${2:-4}
tool=$build/bin/audio_device_check
here=$(cd "$(dirname "$0")" && pwd)
command -v pulseaudio >/dev/null || { echo "SKIP: PulseAudio is not installed"; exit 0; }
source "$here/../../scripts/e2e/lib.sh"
e2e_work
e2e_pulse velmar_first

sox -n -r 48000 -c 2 -b 16 "$work/noise.wav" synth 2 whitenoise vol 0.5
lame --quiet -b 320 "$work/noise.wav" "$work/noise.mp3"
ffmpeg -v error -y -i "$work/noise.mp3" -ar 48000 -ac 2 -f s16le "$work/song.raw"
failed=0
for run in $(seq "$runs"); do
  e2e_record velmar_first "$work/rec$run.raw"
  "$tool" "$work/noise.mp3" 1 0 >/dev/null 2>&1
  e2e_record_more 300 "$work/rec$run.raw" || fail "the recording stopped"
  e2e_record_stop
  /usr/bin/python3 - "$work/rec$run.raw" "$work/song.raw" <<'PY' || failed=1
# The recording's first sound against the song's samples: the offset where
# the two agree (normalised correlation), searched over the first 4000.
import array, math, sys
rec = array.array("h", open(sys.argv[1], "rb").read())[0::2]
song = array.array("h", open(sys.argv[2], "rb").read())[0::2]
start = next((i for i, v in enumerate(rec) if v), None)
if start is None:
    print("FAIL: nothing recorded")
    sys.exit(1)
heard = rec[start + 200:start + 1200]
norm = math.sqrt(sum(x * x for x in heard))
def agreement(k):
    part = song[k + 200:k + 1200]
    return sum(x * y for x, y in zip(heard, part)) / (norm * math.sqrt(sum(y * y for y in part)) + 1e-9)
missing = max(range(4000), key=agreement)
ok = missing == 0 and agreement(0) > 0.999
print(("PASS" if ok else "FAIL") + f": {missing} of the song's first samples missing (agreement {agreement(missing):.4f})")
sys.exit(0 if ok else 1)
PY
done
exit $failed
