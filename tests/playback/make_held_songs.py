"""Writes the held-note songs of the sound-engine tests with mido.

usage: make_held_songs.py OUTDIR

held.mid: at 120 BPM, an organ holds A3 and A4 on channel 1 for 12 s (bar 6),
then nothing sounds until the song ends at 24 s (bar 12); channel 2 has its
program and one short note at the end.
"""
import os
import sys

import mido

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', '..', 'scripts'))
from make_kar import track  # noqa: E402

TPB = 96
out = sys.argv[1]
os.makedirs(out, exist_ok=True)


end = 12 * 4 * TPB
mid = mido.MidiFile(type=1, ticks_per_beat=TPB)
mid.tracks.append(track([(0, mido.MetaMessage('set_tempo', tempo=500000)),
                         (0, mido.MetaMessage('time_signature', numerator=4, denominator=4))], end))
chord = [(0, mido.Message('program_change', channel=0, program=16))]
for key in (57, 69):
    chord.append((0, mido.Message('note_on', channel=0, note=key, velocity=100)))
    chord.append((24 * TPB, mido.Message('note_off', channel=0, note=key)))
mid.tracks.append(track(chord, end))
mid.tracks.append(track([(0, mido.Message('program_change', channel=1, program=0)),
                         (end - TPB, mido.Message('note_on', channel=1, note=60, velocity=60)),
                         (end - TPB // 2, mido.Message('note_off', channel=1, note=60))], end))
mid.save(os.path.join(out, 'held.mid'))
