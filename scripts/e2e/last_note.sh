#!/bin/bash
# A song's short last note is heard under the real VelmarPC, on a screen
# (Xvfb) and a sound server (PulseAudio, one null sink) of its own: a song
# made here plays eight flute notes 125 ms apart, each 0.1 s long, seven on
# A (440 Hz) and the last on E (659 Hz), whose note-off is the song's last
# event. The song is imported, played by a double click on its row and let
# end; passes when the recording holds the last note for its length and
# its release (its pitch, 659 Hz, within 20 dB of a first note's level for
# 150 ms or longer, as measured through a 20 ms window; left out or cut at
# the song's end it was there for 75 ms at most), the
# program went on to its end of the song, and it quits with 0.
# usage: scripts/e2e/last_note.sh [BUILD_DIR] [OUT_DIR]
set -euo pipefail
source "$(dirname "$0")/lib.sh"
e2e_init "${1:-build}" "${2:-}"
e2e_logged_in
E2E_SCRIPTS=$e2e_scripts /usr/bin/python3 - "$work/lastnote.kar" <<'PY'
import os, sys
sys.path.insert(0, os.environ['E2E_SCRIPTS'])
import mido
from make_kar import TPB, track
# 120 BPM: 480 ticks a half second; a note every 125 ms (120 ticks), 0.1 s
# (96 ticks) long, from the second beat on.
notes = [(0, mido.Message('program_change', channel=0, program=73))]
start = 2 * TPB
for i in range(8):
    key = 76 if i == 7 else 69
    notes.append((start + i * 120, mido.Message('note_on', channel=0, note=key, velocity=110)))
    notes.append((start + i * 120 + 96, mido.Message('note_off', channel=0, note=key)))
end = start + 7 * 120 + 96
head = [(0, mido.MetaMessage('set_tempo', tempo=mido.bpm2tempo(120))),
        (0, mido.MetaMessage('track_name', name='Last Note'))]
text = [(0, mido.MetaMessage('text', text='@KMIDI KARAOKE FILE')), (0, mido.MetaMessage('text', text='/Last ')),
        (TPB, mido.MetaMessage('text', text='note'))]
mid = mido.MidiFile(type=1, ticks_per_beat=TPB)
for t in (head, notes, text):
    mid.tracks.append(track(t, end))
mid.save(sys.argv[1])
PY
e2e_pulse
e2e_screen 1280x800
printf '[WindowsPosition]\nMainWindow=@Rect(0 0 1160 613)\n' >> "$settings"
export VELMAR_WIDGET_DUMP=$work/widgets.txt
trap 'cp "$work/program.log" "$out/last-note-program.log" 2>/dev/null || true; e2e_cleanup' EXIT
e2e_start
e2e_import "$work/lastnote.kar"
shown_row() { e2e_widgets; e2e_at item songsListview "$1" >/dev/null; }
wait_for 50 shown_row lastnote || fail "the row of the song is not on the screen"
e2e_record velmar_e2e
xdotool mousemove $(e2e_at item songsListview lastnote) click --repeat 2 --delay 80 1
wait_for 100 grep -q "LOAD SONG.*lastnote.kar" "$work/program.log" || fail "the song was not loaded"
# The song lasts 2 s; what it holds is heard well within 4 s more.
e2e_record_more 6000 || fail "the recording stopped"
e2e_record_stop
e2e_sounds || fail "the song was not heard"
/usr/bin/python3 - "$work/rec.raw" <<'PY' || fail "the song's last note was not heard for its length"
import array, math, sys
data = open(sys.argv[1], 'rb').read()
a = array.array('h', data[:len(data) // 4 * 4])
left = a[0::2]
rate = 48000
win = rate // 50  # 20 ms, Hann: 440 Hz does not reach the 659 Hz bin
hann = [0.5 - 0.5 * math.cos(2 * math.pi * i / (win - 1)) for i in range(win)]
def amplitude(freq, frm):
    w = 2 * math.pi * freq / rate
    c = 2 * math.cos(w)
    s1 = s2 = 0.0
    for v, h in zip(left[frm:frm + win], hann):
        s0 = v * h + c * s1 - s2
        s2, s1 = s1, s0
    return math.sqrt(max(0.0, s1 * s1 + s2 * s2 - c * s1 * s2))
level = 32768 * 10 ** (-50 / 20)
first = next((i for i, v in enumerate(left) if abs(v) > level), None)
if first is None:
    sys.exit("silent")
hop = rate // 200  # 5 ms
at = lambda s: first + int(s * rate)
# A first note at its loudest; the last note, 0.875 s after the first, is
# heard while its own pitch stands within 20 dB of that.
loud = max(amplitude(440.0, f) for f in range(first, at(0.1), hop))
frames = [amplitude(659.26, f) for f in range(at(0.75), min(len(left) - win, at(1.4)), hop)]
heard_ms = sum(1 for v in frames if v >= loud / 10) * 1000 // 200
print(f"the last note (0.1 s long) heard for {heard_ms} ms (a 20 ms window)")
sys.exit(0 if heard_ms >= 150 else 1)
PY
kill -0 "$program_pid" || fail "the program ended"
e2e_quit
echo "PASS"
