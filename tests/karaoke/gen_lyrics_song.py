"""Writes a KAR file from a JSON description {"rows": [["Hel", "lo "], ...],
"chords": ["C", ...]}: a syllable every 96 ticks, and with each row's first
syllable a chord (the maker's controller pair 98/100).

usage: gen_lyrics_kar.py OUT.kar JSON
"""
import json
import sys

import mido

out, song = sys.argv[1], json.loads(sys.argv[2])
words = mido.MidiTrack([mido.MetaMessage("text", text="@KMIDI KARAOKE FILE")])
for r, row in enumerate(song["rows"]):
    for s, syllable in enumerate(row):
        words.append(mido.MetaMessage("text", text=("/" if r else "\\") + syllable if s == 0 else syllable, time=96))
        if s == 0 and r < len(song.get("chords", [])):
            chord = [98] + [100] * len(song["chords"][r]), [1] + [ord(c) for c in song["chords"][r]]
            words.extend(mido.Message("control_change", control=c, value=v) for c, v in zip(*chord))
words.extend([mido.Message("note_on", note=60, velocity=90, time=96), mido.Message("note_off", note=60, time=96)])
mido.MidiFile(type=1, ticks_per_beat=96, tracks=[words]).save(out)

now, row, times = 0.0, -1, []
for message in mido.MidiFile(out):
    now += message.time
    if message.type == "text" and not message.text.startswith("@"):
        row += message.text[0] in "\\/"
        times.append([round(now * 1000), row, message.text.lstrip("\\/")])
print(json.dumps(times))
