"""Writes a small format-1 song with mido and what a player must send for it.

Usage: gen_song.py OUTDIR

OUTDIR/song.mid: three music tracks and a tempo track (tempo changes that do
not fall on whole milliseconds, a division of 96, notes off the beat grid).
OUTDIR/notes.csv: one line per note on as mido plays the file: milliseconds
from the start (mido's own tempo handling), channel, key, velocity.
OUTDIR/bars.txt: the number of bars (4/4) the song spans.
"""
import os
import sys

import mido

DIVISION = 96
BARS = 4


def main():
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    song = mido.MidiFile(type=1, ticks_per_beat=DIVISION)

    def track(events):
        t = mido.MidiTrack()
        last = 0
        for tick, msg in sorted(events, key=lambda e: e[0]):
            t.append(msg.copy(time=tick - last))
            last = tick
        end = BARS * 4 * DIVISION
        t.append(mido.MetaMessage('end_of_track', time=max(0, end - last)))
        song.tracks.append(t)

    bar = 4 * DIVISION
    track([
        (0, mido.MetaMessage('time_signature', numerator=4, denominator=4)),
        (0, mido.MetaMessage('set_tempo', tempo=400000)),
        (bar, mido.MetaMessage('set_tempo', tempo=333333)),
        (2 * bar + DIVISION, mido.MetaMessage('set_tempo', tempo=297030)),
        (3 * bar, mido.MetaMessage('set_tempo', tempo=352941)),
    ])

    melody = [(0, mido.Message('program_change', channel=0, program=73))]
    for i in range(BARS * 8):
        tick = i * DIVISION // 2
        melody.append((tick, mido.Message('note_on', channel=0, note=60 + i % 12, velocity=90)))
        melody.append((tick + DIVISION // 3, mido.Message('note_on', channel=0, note=60 + i % 12, velocity=0)))
    track(melody)

    chords = [(0, mido.Message('program_change', channel=1, program=0))]
    for i in range(BARS * 2):
        tick = i * 2 * DIVISION + 7 + (i % 3) * 5
        for k, key in enumerate((48, 52, 55)):
            chords.append((tick + k, mido.Message('note_on', channel=1, note=key + i % 5, velocity=70 + k)))
            chords.append((tick + DIVISION + 11, mido.Message('note_off', channel=1, note=key + i % 5, velocity=0)))
    track(chords)

    drums = []
    for i in range(BARS * 4):
        tick = i * DIVISION
        drums.append((tick, mido.Message('note_on', channel=9, note=36 if i % 2 == 0 else 38, velocity=100)))
        drums.append((tick + DIVISION // 4, mido.Message('note_off', channel=9, note=36 if i % 2 == 0 else 38)))
    track(drums)

    path = os.path.join(out, 'song.mid')
    song.save(path)

    now = 0.0
    lines = []
    for msg in mido.MidiFile(path):
        now += msg.time
        if msg.type == 'note_on' and msg.velocity > 0:
            lines.append('%.3f,%d,%d,%d' % (now * 1000.0, msg.channel, msg.note, msg.velocity))
    with open(os.path.join(out, 'notes.csv'), 'w') as f:
        f.write('\n'.join(lines) + '\n')
    with open(os.path.join(out, 'bars.txt'), 'w') as f:
        f.write('%d\n' % BARS)


if __name__ == '__main__':
    main()
