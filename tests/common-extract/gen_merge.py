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


def random_track(rng, events, max_delta, channel_set, extras=True):
    tr = mido.MidiTrack()
    for _ in range(events):
        delta = rng.choice([0, 0, 0, rng.randint(0, max_delta)])
        ch = rng.choice(channel_set)
        kind = rng.random()
        if kind < 0.4:
            msg = mido.Message('note_on', channel=ch, note=rng.randint(0, 127),
                               velocity=rng.randint(0, 127))
        elif kind < 0.6:
            msg = mido.Message('note_off', channel=ch, note=rng.randint(0, 127),
                               velocity=rng.randint(0, 127))
        elif kind < 0.7:
            msg = mido.Message('control_change', channel=ch, control=rng.randint(0, 119),
                               value=rng.randint(0, 127))
        elif kind < 0.75:
            msg = mido.Message('program_change', channel=ch, program=rng.randint(0, 127))
        elif kind < 0.8:
            msg = mido.Message('aftertouch', channel=ch, value=rng.randint(0, 127))
        elif kind < 0.85:
            msg = mido.Message('pitchwheel', channel=ch, pitch=rng.randint(-8192, 8191))
        elif kind < 0.88:
            msg = mido.Message('polytouch', channel=ch, note=rng.randint(0, 127),
                               value=rng.randint(0, 127))
        elif not extras:
            msg = mido.Message('note_on', channel=ch, note=60, velocity=0)
        elif kind < 0.92:
            msg = mido.Message('sysex', data=[rng.randint(0, 127) for _ in range(rng.randint(0, 40))])
        elif kind < 0.95:
            msg = mido.MetaMessage('text', text=''.join(rng.choice('abc xyz') for _ in range(rng.randint(0, 30))))
        elif kind < 0.97:
            msg = mido.MetaMessage('set_tempo', tempo=rng.randint(200000, 1500000))
        else:
            msg = mido.MetaMessage('marker', text='M%d' % rng.randint(0, 99))
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
