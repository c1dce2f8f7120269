"""Writes the held-note songs of the sound-engine tests with mido.

usage: make_held_songs.py OUTDIR

held.mid: at 120 BPM, an organ holds A3 and A4 on channel 1 for 12 s (bar 6),
then nothing sounds until the song ends at 24 s (bar 12); channel 2 has its
program and one short note at the end.

parts.mid: at 120 BPM, one part after another, each alone (times in s):
  0.5-6    organs: A3 and E4 on channel 2, D3 on channel 3
  6.5-12   an organ A4 on channel 4 (the melody channel)
  12.5-19  an organ C5 and G5 on channel 5 under the sustain pedal (down at
           12.4, keys up at 13, pedal up at 19)
  20-28    a piano C4 on channel 1
  28.5-34  an organ A5 on channel 2
  to 36    the end
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


def parts(path):
    beat = TPB * 2  # ticks a second

    def at(seconds):
        return int(round(seconds * beat))

    def held(channel, note, start, stop):
        return [(at(start), mido.Message('note_on', channel=channel, note=note, velocity=100)),
                (at(stop), mido.Message('note_off', channel=channel, note=note))]

    song = mido.MidiFile(type=1, ticks_per_beat=TPB)
    end = at(36)
    song.tracks.append(track([(0, mido.MetaMessage('set_tempo', tempo=500000)),
                              (0, mido.MetaMessage('time_signature', numerator=4, denominator=4))], end))
    programs = {0: 0, 1: 16, 2: 16, 3: 16, 4: 16}
    events = [(0, mido.Message('program_change', channel=c, program=p)) for c, p in programs.items()]
    events += held(1, 57, 0.5, 6) + held(1, 64, 0.5, 6) + held(2, 50, 0.5, 6)
    events += held(3, 69, 6.5, 12)
    events += [(at(12.4), mido.Message('control_change', channel=4, control=64, value=127)),
               (at(19), mido.Message('control_change', channel=4, control=64, value=0))]
    events += held(4, 72, 12.5, 13) + held(4, 79, 12.5, 13)
    events += held(0, 60, 20, 28)
    events += held(1, 81, 28.5, 34)
    song.tracks.append(track(events, end))
    song.save(path)


parts(os.path.join(out, 'parts.mid'))
