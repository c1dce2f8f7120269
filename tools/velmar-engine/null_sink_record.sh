#!/bin/bash
# Plays songs through velmar-engine into the null sink of a PulseAudio server
# of its own (so no other program's sound mixes in and no setting of a shared
# server changes), records the sink's monitor with parec and reports, per
# song, how long it sounded against its length, its level and how many
# samples clipped.
# usage: tools/velmar-engine/null_sink_record.sh [BUILD_DIR] [SONG...]
#   Without songs: a KAR file made by scripts/make_engine_songs.py and a 6 s
#   MP3 made by sox and lame.
set -euo pipefail
build=${1:-build}
shift || true
tool=$build/bin/velmar-engine
here=$(cd "$(dirname "$0")" && pwd)
command -v pulseaudio >/dev/null || { echo "SKIP: PulseAudio is not installed"; exit 0; }
source "$here/../../scripts/e2e/lib.sh"
e2e_work
e2e_pulse velmar_engine

songs=("$@")
if [ ${#songs[@]} -eq 0 ]; then
  /usr/bin/python3 "$here/../../scripts/make_engine_songs.py" "$work" >/dev/null
  sox -n -r 44100 -c 2 "$work/tone.wav" synth 6 sine 440 vol 0.5
  lame --quiet -b 192 "$work/tone.wav" "$work/tone.mp3"
  songs=("$work/road.kar" "$work/tone.mp3")
fi

status=0
for song in "${songs[@]}"; do
  e2e_record velmar_engine "$work/rec.raw"
  "$tool" "$song" > "$work/play.txt" 2>"$work/play.log"
  # The last notes' release and reverb, and what the server still holds.
  e2e_record_more 500 "$work/rec.raw" || fail "the recording stopped"
  e2e_record_stop
  # The song's length from a peer: mido for MIDI songs, mutagen for MP3s.
  case "${song,,}" in
    *.mp3) peer="import mutagen,sys; print(mutagen.File(sys.argv[1]).info.length)" ;;
    *) peer="import mido,sys; print(mido.MidiFile(sys.argv[1]).length)" ;;
  esac
  length=$(/usr/bin/python3 -c "$peer" "$song")
  lines=$(grep -c '|' "$work/play.txt" || true)
  /usr/bin/python3 - "$work/rec.raw" "$song" "$length" "$lines" <<'PY' || status=1
# The song sounds from the first to the last 10 ms block above -50 dBFS; it
# must last as long as the song (0.3 s less for a soft onset, 0.8 s more for
# the last notes' release and reverb), be audible and not clip.
import array, sys
samples = array.array("h", open(sys.argv[1], "rb").read())
song, length, lines = sys.argv[2], float(sys.argv[3] or 0), sys.argv[4]
block = 960
loud = [i for i in range(0, len(samples) - block + 1, block)
        if (sum(x * x for x in samples[i:i + block]) / block) ** 0.5 > 32768 * 10 ** (-50 / 20)]
if not loud:
    print(f"FAIL: {song}: silent")
    sys.exit(1)
part = samples[loud[0]:loud[-1] + block]
sounded = len(part) / 2 / 48000
rms = (sum(x * x for x in part) / len(part)) ** 0.5 / 32768
peak = max(abs(x) for x in part) / 32768
clipped = sum(1 for x in part if abs(x) >= 32767)
ok = length - 0.3 <= sounded <= length + 0.8 and rms > 0.01 and clipped == 0
print(("PASS" if ok else "FAIL") + f": {song}: sounded {sounded:.2f} s of {length:.2f} s,"
      f" RMS {rms:.3f}, peak {peak:.3f}, {clipped} clipped samples, {lines} position lines")
sys.exit(0 if ok else 1)
PY
done
exit $status
