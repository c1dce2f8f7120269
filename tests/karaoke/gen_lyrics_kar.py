"""Writes a KAR file from a JSON description: {"rows": [["Hel", "lo "], ...],
"chords": ["C", ...]}; a syllable every 96 ticks, a chord with each row's first syllable
(the maker's controller pair 98/100).

usage: gen_lyrics_kar.py OUT.kar JSON
"""
import json
import sys

import mido

out, spec = sys.argv[1], json.loads(sys.argv[2])
mid = mido.MidiFile(type=1, ticks_per_beat=96)
words = mido.MidiTrack([mido.MetaMessage("text", text="@KMIDI KARAOKE FILE")])
chords = spec.get("chords", [])
for r, row in enumerate(spec["rows"]):
    for s, syllable in enumerate(row):
        text = ("\\" if r == 0 else "/") + syllable if s == 0 else syllable
        words.append(mido.MetaMessage("text", text=text, time=96))
        if s == 0 and r < len(chords):
            words.append(mido.Message("control_change", control=98, value=1, time=0))
            words.extend(mido.Message("control_change", control=100, value=ord(c), time=0) for c in chords[r])
words.append(mido.Message("note_on", note=60, velocity=90, time=96))
words.append(mido.Message("note_off", note=60, time=96))
mid.tracks.append(words)
mid.save(out)
