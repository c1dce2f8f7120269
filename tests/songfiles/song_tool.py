"""make OUT FORMAT: a four-bar song, CC7 on channel 1 only. check ORIG EDITED:
strict parse of EDITED; JSON of its tracks, head metas and whether its notes are ORIG's."""
import json
import sys

import mido


def make(out, fmt):
    head = mido.MidiTrack([mido.MetaMessage('set_tempo', tempo=500000),
                           mido.MetaMessage('time_signature', numerator=4, denominator=4)])
    tracks = [head]
    for channel, key in ((0, 60), (3, 48), (9, 36)):
        tr = mido.MidiTrack()
        if channel == 0:
            tr.append(mido.Message('control_change', channel=0, control=7, value=90))
        tr.append(mido.Message('program_change', channel=channel, program=channel * 3))
        for i in range(16):
            tr.append(mido.Message('note_on', channel=channel, note=key + i % 5, velocity=80 + i, time=48 if i else 0))
            tr.append(mido.Message('note_off', channel=channel, note=key + i % 5, time=48))
        tracks.append(tr)
    mid = mido.MidiFile(type=fmt, ticks_per_beat=96)
    mid.tracks = [mido.merge_tracks(tracks)] if fmt == 0 else tracks
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


if sys.argv[1] == 'make':
    make(sys.argv[2], int(sys.argv[3]))
else:
    check(sys.argv[2], sys.argv[3])
