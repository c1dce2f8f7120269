"""Test songs for the song file editors, made and checked with mido.

make OUT FORMAT      a song of FORMAT 0 or 1 at 96 ticks per quarter note:
                     tempo, notes on channels 1, 4 and 10, CC7 on channel 1
                     only, four bars long
check ORIG EDITED    strict parse of EDITED; prints JSON: tracks, whether the
                     notes (channel, key, velocity at the same beat) equal
                     those of ORIG, and the head metas and lyrics of EDITED
"""
import json
import sys

import mido


def make(out, fmt):
    mid = mido.MidiFile(type=fmt, ticks_per_beat=96)
    head = mido.MidiTrack()
    head.append(mido.MetaMessage('set_tempo', tempo=500000, time=0))
    head.append(mido.MetaMessage('time_signature', numerator=4, denominator=4, time=0))
    parts = []
    for channel, key in ((0, 60), (3, 48), (9, 36)):
        tr = mido.MidiTrack()
        if channel == 0:
            tr.append(mido.Message('control_change', channel=0, control=7, value=90, time=0))
        tr.append(mido.Message('program_change', channel=channel, program=channel * 3, time=0))
        for i in range(16):
            tr.append(mido.Message('note_on', channel=channel, note=key + i % 5, velocity=80 + i, time=0 if i == 0 else 48))
            tr.append(mido.Message('note_off', channel=channel, note=key + i % 5, velocity=0, time=48))
        parts.append(tr)
    if fmt == 0:
        events = []
        for tr in [head] + parts:
            t = 0
            for m in tr:
                t += m.time
                events.append((t, m))
        events.sort(key=lambda e: e[0])
        tr = mido.MidiTrack()
        last = 0
        for t, m in events:
            tr.append(m.copy(time=t - last))
            last = t
        mid.tracks.append(tr)
    else:
        mid.tracks.append(head)
        mid.tracks.extend(parts)
    mid.save(out)


def notes(mid):
    # In beats (the tempo never changes); mido cannot merge tracks that hold
    # the maker's meta events, so each track is walked on its own.
    out = []
    for tr in mid.tracks:
        t = 0
        for m in tr:
            t += m.time
            if m.type in ('note_on', 'note_off'):
                out.append((round(t / mid.ticks_per_beat, 4), m.type, m.channel, m.note, m.velocity))
    return sorted(out)


def check(orig, edited):
    a = mido.MidiFile(orig)
    b = mido.MidiFile(edited, clip=False)
    head = []
    for m in b.tracks[0]:
        if m.time != 0:
            break
        if m.type == 'track_name':
            head.append(['title', m.name])
        elif m.type == 'key_signature':
            head.append(['key', m.key])
    lyrics = []
    for tr in b.tracks:
        t = 0
        for m in tr:
            t += m.time
            if m.type == 'lyrics':
                lyrics.append([t, m.text])
            elif m.type == 'marker':
                lyrics.append([t, 'marker:' + m.text])
    json.dump({'tracks': len(b.tracks), 'sameNotes': notes(a) == notes(b),
               'head': head, 'lyrics': lyrics}, sys.stdout)


if sys.argv[1] == 'make':
    make(sys.argv[2], int(sys.argv[3]))
else:
    check(sys.argv[2], sys.argv[3])
