"""Songs of the saves scenario, and the check of a saved copy, with mido.

write DIR: DIR/song.kar (lyrics, one channel) and DIR/mixed.mid, a type-1
song with SysEx of two other makers and text events, one text and one SysEx
holding the bytes of a settings record, its channels' controllers all set so
that an edit adds no event.
check ORIGINAL SAVED KEY: "ok" when mido reads SAVED, each of its tracks holds
the events of ORIGINAL's at the same times but for the settings records, no
record is there twice, and the key record holds KEY; else what differs.
"""
import os
import sys

import mido

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..'))
from make_kar import track  # noqa: E402

TPB = 480
MAKER = [0x00, 0x20, 0x24, 0x00]
SETTINGS = {0x1E, 0x1F, 0x2F, 0x3F, 0x4F, 0x5F, 0x6F}
HIDDEN = [0xF0, 0x08] + MAKER + [0x3F, 0x07, 0x00, 0xF7]


def notes(channel, program, bars, base):
    out = [(0, mido.Message('control_change', channel=channel, control=c, value=v))
           for c, v in ((0, 0), (32, 0), (7, 100), (10, 64), (91, 40), (93, 0))]
    out.append((0, mido.Message('program_change', channel=channel, program=program)))
    for beat in range(bars * 4):
        key = base + (beat % 4) * 2
        out.append((beat * TPB, mido.Message('note_on', channel=channel, note=key, velocity=100)))
        out.append((beat * TPB + TPB - 10, mido.Message('note_off', channel=channel, note=key)))
    return out


def write(folder, bars=4):
    end = bars * 4 * TPB
    kar = mido.MidiFile(type=1, ticks_per_beat=TPB)
    kar.tracks.append(track([(0, mido.MetaMessage('set_tempo', tempo=500000)),
                             (0, mido.MetaMessage('track_name', name='Saved Song'))], end))
    kar.tracks.append(track(notes(0, 0, bars, 60), end))
    text = [(0, mido.MetaMessage('text', text='@KMIDI KARAOKE FILE'))]
    for bar in range(bars):
        text.append((bar * 4 * TPB, mido.MetaMessage('text', text=f'/Row {bar + 1} ')))
        text.append((bar * 4 * TPB + 2 * TPB, mido.MetaMessage('text', text='sing')))
    kar.tracks.append(track(text, end))
    kar.save(folder + '/song.kar')

    mixed = mido.MidiFile(type=1, ticks_per_beat=TPB)
    head = [(0, mido.MetaMessage('set_tempo', tempo=500000)),
            (0, mido.MetaMessage('track_name', name='Mixed Song')),
            (0, mido.Message('sysex', data=[0x41, 0x10, 0x42, 0x12, 0x40, 0x00, 0x7F, 0x00, 0x41])),
            (0, mido.MetaMessage('text', text=bytes(HIDDEN).decode('latin-1'))),
            (TPB, mido.Message('sysex', data=[0x43, 0x10] + HIDDEN[1:-1])),
            (2 * TPB, mido.MetaMessage('marker', text='Verse'))]
    mixed.tracks.append(track(head, end))
    mixed.tracks.append(track(notes(0, 24, bars, 60), end))
    mixed.tracks.append(track(notes(3, 40, bars, 48) +
                              [(3 * TPB, mido.Message('pitchwheel', channel=3, pitch=-4096))], end))
    mixed.save(folder + '/mixed.mid')


def events(path, keep_records):
    out = []
    for t in mido.MidiFile(path).tracks:
        now, kept = 0, []
        for m in t:
            now += m.time
            record = m.type == 'sysex' and list(m.data[:4]) == MAKER and len(m.data) > 4 and m.data[4] in SETTINGS
            if record == keep_records:
                kept.append((now, m.copy(time=0)))
        out.append(kept)
    return out


def check(original, saved, key):
    try:
        ours, theirs = events(original, False), events(saved, False)
        records = [m for t in events(saved, True) for _, m in t]
    except Exception as e:  # mido refuses a broken file
        return 'mido cannot read it: %s' % e
    if len(ours) != len(theirs):
        return 'tracks: %d, were %d' % (len(theirs), len(ours))
    for n, (a, b) in enumerate(zip(ours, theirs)):
        if a != b:
            return 'track %d changed: %s' % (n, [e for e in b if e not in a][:3] or [e for e in a if e not in b][:3])
    kinds = [(m.data[4], m.data[5] if m.data[4] in (0x1E, 0x1F) else 0,
              m.data[{0x1F: 23, 0x1E: 18}.get(m.data[4], 4)]) for m in records]
    if len(kinds) != len(set(kinds)):
        return 'a record is there twice'
    keys = [m.data[5] if m.data[5] else -m.data[6] for m in records if m.data[4] == 0x3F]
    if keys != [key]:
        return 'key records %s, not [%d]' % (keys, key)
    return 'ok'


if sys.argv[1] == 'write':
    write(sys.argv[2])
else:
    print(check(sys.argv[2], sys.argv[3], int(sys.argv[4])))
