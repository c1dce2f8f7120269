"""make OUT FORMAT [SHIFT]: a four-bar song, CC7 on channel 1 only (with SHIFT, another song:
another tune, its keys that many semitones higher). transpose IN OUT N: every note but the
drums' N semitones higher, as another program transposes. check ORIG EDITED:
strict parse of EDITED; JSON of its tracks, head metas and whether its notes are ORIG's.
move-records IN OUT: the maker's settings records moved from the head of track 0 to the
head of track 1, as a sequencer that puts a track of its own first does; split-records IN OUT:
only the channel records (1E, 1F) moved. add-track IN OUT: a track of eight notes on channel 5
added, as another program would. records IN: JSON, per track, how many settings records of
each command (hex) it holds."""
import json
import sys
from collections import Counter

import mido


def make(out, fmt, shift=0):
    head = mido.MidiTrack([mido.MetaMessage('set_tempo', tempo=500000),
                           mido.MetaMessage('time_signature', numerator=4, denominator=4)])
    tracks = [head]
    for channel, key in ((0, 60 + shift), (3, 48 + shift), (9, 36 + shift)):
        tr = mido.MidiTrack()
        if channel == 0:
            tr.append(mido.Message('control_change', channel=0, control=7, value=90))
        tr.append(mido.Message('program_change', channel=channel, program=channel * 3))
        for i in range(16):
            step = (i * 3 + shift) % 7 if shift else i % 5
            tr.append(mido.Message('note_on', channel=channel, note=key + step, velocity=80 + i, time=48 if i else 0))
            tr.append(mido.Message('note_off', channel=channel, note=key + step, time=48))
        tracks.append(tr)
    mid = mido.MidiFile(type=fmt, ticks_per_beat=96)
    mid.tracks = [mido.merge_tracks(tracks)] if fmt == 0 else tracks
    mid.save(out)


def transpose(src, out, semitones):
    mid = mido.MidiFile(src, clip=False)
    for tr in mid.tracks:
        for i, m in enumerate(tr):
            if m.type in ('note_on', 'note_off') and m.channel != 9:
                tr[i] = m.copy(note=m.note + semitones)
    mid.save(out)


def walk(mid, kinds):
    # Track by track: mido cannot merge tracks holding the maker's meta events.
    for tr in mid.tracks:
        t = 0
        for m in tr:
            t += m.time
            if m.type in kinds:
                yield t, m


def check(orig, edited):
    a, b = mido.MidiFile(orig), mido.MidiFile(edited, clip=False)
    notes = [sorted((round(t / m.ticks_per_beat, 4), msg.type, msg.channel, msg.note, msg.velocity)
                    for t, msg in walk(m, ('note_on', 'note_off'))) for m in (a, b)]
    head = [['title', m.name] if m.type == 'track_name' else ['key', m.key]
            for t, m in walk(mido.MidiFile(tracks=[b.tracks[0]]), ('track_name', 'key_signature')) if t == 0]
    json.dump({'tracks': len(b.tracks), 'sameNotes': notes[0] == notes[1], 'head': head}, sys.stdout)


def records(track):
    return [m for m in track if m.type == 'sysex' and list(m.data[:4]) == [0, 0x20, 0x24, 0]
            and len(m.data) > 4 and m.data[4] in (0x1E, 0x1F, 0x2F, 0x3F, 0x4F, 0x5F, 0x6F)]


def move_records(src, out, commands=None):
    mid = mido.MidiFile(src, clip=False)
    moved = [m for m in records(mid.tracks[0]) if commands is None or m.data[4] in commands]
    assert moved and all(m.time == 0 for m in moved)
    mid.tracks[0] = mido.MidiTrack(m for m in mid.tracks[0] if m not in moved)
    mid.tracks[1][0:0] = moved
    mid.save(out)


def add_track(src, out):
    mid = mido.MidiFile(src, clip=False)
    tr = mido.MidiTrack([mido.Message('program_change', channel=5, program=40)])
    for i in range(8):
        tr += [mido.Message('note_on', channel=5, note=70 + i, velocity=70, time=96 if i else 0),
               mido.Message('note_off', channel=5, note=70 + i, time=90)]
    mid.tracks.append(tr)
    mid.save(out)


def count_records(path):
    json.dump([dict(Counter('%02x' % m.data[4] for m in records(tr)))
               for tr in mido.MidiFile(path, clip=False).tracks], sys.stdout, sort_keys=True)


if sys.argv[1] == 'make':
    make(sys.argv[2], int(sys.argv[3]), int(sys.argv[4]) if len(sys.argv) > 4 else 0)
elif sys.argv[1] == 'move-records':
    move_records(sys.argv[2], sys.argv[3])
elif sys.argv[1] == 'split-records':
    move_records(sys.argv[2], sys.argv[3], (0x1E, 0x1F))
elif sys.argv[1] == 'transpose':
    transpose(sys.argv[2], sys.argv[3], int(sys.argv[4]))
elif sys.argv[1] == 'add-track':
    add_track(sys.argv[2], sys.argv[3])
elif sys.argv[1] == 'records':
    count_records(sys.argv[2])
else:
    check(sys.argv[2], sys.argv[3])
