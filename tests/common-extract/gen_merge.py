#!/usr/bin/python3
"""Format-1 MIDI files for the merge tests, and mido's reading of songs.

  gen_merge.py gen OUTDIR             writes merge_*.mid
  gen_merge.py dump FILE...           prints every file's messages as JSON"""
import json
import os
import random
import sys

import mido
from midi_gen import absolute


def random_track(rng, events, max_delta, channels):
    def r(hi, lo=0):
        return rng.randint(lo, hi)
    kinds = [  # (cumulative share, message on a channel)
        (0.4, lambda ch: mido.Message('note_on', channel=ch, note=r(127), velocity=r(127))),
        (0.6, lambda ch: mido.Message('note_off', channel=ch, note=r(127), velocity=r(127))),
        (0.7, lambda ch: mido.Message('control_change', channel=ch, control=r(119), value=r(127))),
        (0.75, lambda ch: mido.Message('program_change', channel=ch, program=r(127))),
        (0.8, lambda ch: mido.Message('aftertouch', channel=ch, value=r(127))),
        (0.85, lambda ch: mido.Message('pitchwheel', channel=ch, pitch=r(8191, -8192))),
        (0.88, lambda ch: mido.Message('polytouch', channel=ch, note=r(127), value=r(127))),
        (0.92, lambda ch: mido.Message('sysex', data=[r(127) for _ in range(r(40))])),
        (0.95, lambda ch: mido.MetaMessage('text', text=''.join(rng.choice('abc xyz') for _ in range(r(30))))),
        (0.97, lambda ch: mido.MetaMessage('set_tempo', tempo=r(1500000, 200000))),
        (1.0, lambda ch: mido.MetaMessage('marker', text='M%d' % r(99))),
    ]
    tr = mido.MidiTrack()
    for _ in range(events):
        delta = rng.choice([0, 0, 0, r(max_delta)])
        ch = rng.choice(channels)
        kind = rng.random()
        msg = next(make for share, make in kinds if kind < share)(ch)
        msg.time = delta
        tr.append(msg)
    return tr


def gen(out):
    os.makedirs(out, exist_ok=True)
    cases = [
        # name, seed, tracks, events per track, max delta, division
        ('merge_two', 1, 2, 40, 200, 480),
        ('merge_ties', 2, 6, 60, 3, 96),
        ('merge_sixteen', 3, 16, 80, 120, 384),
        ('merge_many', 4, 32, 30, 1000, 960),
        ('merge_forty_one', 6, 41, 20, 500, 480),
        ('merge_sparse', 5, 3, 10, 50000, 120),
    ]
    for name, seed, ntracks, events, max_delta, division in cases:
        rng = random.Random(seed)
        f = mido.MidiFile(type=1, ticks_per_beat=division)
        conductor = mido.MidiTrack([mido.MetaMessage('track_name', name='Conductor'),
                                    mido.MetaMessage('set_tempo', tempo=500000),
                                    mido.MetaMessage('time_signature', numerator=3, denominator=4)])
        f.tracks.append(conductor)
        for t in range(ntracks - 1):
            f.tracks.append(random_track(rng, events, max_delta, [t % 16, (t + 3) % 16]))
        f.save(os.path.join(out, name + '.mid'))
    # An empty track and a gap that needs a four-byte delta.
    f = mido.MidiFile(type=1, ticks_per_beat=480)
    f.tracks.append(mido.MidiTrack())
    f.tracks.append(mido.MidiTrack([mido.Message('note_on', note=60, velocity=90, time=10),
                                    mido.Message('note_off', note=60, velocity=0, time=3000000)]))
    f.tracks.append(mido.MidiTrack([mido.Message('note_on', channel=1, note=62, velocity=90, time=10)]))
    f.save(os.path.join(out, 'merge_gap.mid'))
    # Tracks that end, with a gap, while others still play.
    rng = random.Random(6)
    f = mido.MidiFile(type=1, ticks_per_beat=480)
    f.tracks.append(mido.MidiTrack([mido.MetaMessage('set_tempo', tempo=600000),
                                    mido.MetaMessage('end_of_track', time=777)]))
    for t in range(3):
        tr = random_track(rng, 30, 200, [t])
        tr.append(mido.MetaMessage('end_of_track', time=rng.randint(1, 3000)))
        f.tracks.append(tr)
    f.save(os.path.join(out, 'merge_early_end.mid'))


def dump(paths):
    """Every message of the files as mido reads them, tracks merged, ticks
    scaled to 480 a quarter note where 480 is a multiple of the division."""
    out = []
    for path in paths:
        mid = mido.MidiFile(path)
        factor = 480 // mid.ticks_per_beat if 480 % mid.ticks_per_beat == 0 else 1
        # Merged by hand: mido.merge_tracks cannot copy unknown meta events.
        msgs = sorted((m for track in mid.tracks for m in absolute(track, factor)), key=lambda m: m[0])
        end = max(m[0] for m in msgs)
        out.append([m for m in msgs if m[1][:2] != [0xFF, 0x2F]] + [[end, [0xFF, 0x2F, 0]]])
    json.dump(out, sys.stdout)


if __name__ == '__main__':
    if sys.argv[1] == 'gen':
        gen(sys.argv[2])
    else:
        dump(sys.argv[2:])
