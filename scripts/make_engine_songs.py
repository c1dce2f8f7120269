"""Writes the songs of the sound-engine tests with mido.

usage: make_engine_songs.py OUTDIR

road.kar: a short karaoke song at 200 BPM with two lyric rows.
tone.mid: a flute on A4 every beat at 120 BPM for 8 bars, then on E5 to bar 60.
odd.mid: the flute on A4 at 618556 us a quarter (97 BPM, 96.99997 exactly) for
16 bars.
songs.json: the rows of road.kar and each song's length in seconds (mido).
"""
import json
import os
import sys

import mido

from make_kar import track

TPB = 96
out = sys.argv[1]
os.makedirs(out, exist_ok=True)


def song(path, tempo, bars, program, note_of_beat, lyrics=()):
    end = bars * 4 * TPB
    mid = mido.MidiFile(type=1, ticks_per_beat=TPB)
    mid.tracks.append(track([(0, mido.MetaMessage('set_tempo', tempo=tempo)),
                             (0, mido.MetaMessage('time_signature', numerator=4, denominator=4))], end))
    notes = [(0, mido.Message('program_change', channel=0, program=program))]
    for beat in range(bars * 4):
        key = note_of_beat(beat)
        notes.append((beat * TPB, mido.Message('note_on', channel=0, note=key, velocity=100)))
        notes.append((beat * TPB + TPB - 1, mido.Message('note_off', channel=0, note=key)))
    mid.tracks.append(track(notes, end))
    if lyrics:
        text = [(0, mido.MetaMessage('text', text='@KMIDI KARAOKE FILE'))]
        text += [(beat * TPB, mido.MetaMessage('text', text=t)) for beat, t in lyrics]
        mid.tracks.append(track(text, end))
    mid.save(os.path.join(out, path))
    return mid.length


ROWS = [(0, '\\Hel'), (1, 'lo '), (2, 'world'), (4, '/Sing '), (5, 'a'), (6, 'long')]
lengths = {
    'road.kar': song('road.kar', 300000, 3, 0, lambda b: 60 + b % 8, ROWS),
    'tone.mid': song('tone.mid', 500000, 60, 73, lambda b: 69 if b < 32 else 76),
    'odd.mid': song('odd.mid', 618556, 16, 73, lambda b: 69),
}
json.dump({'rows': ['Hello world', 'Sing along'], 'lengths': lengths},
          open(os.path.join(out, 'songs.json'), 'w'))
