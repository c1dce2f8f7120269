"""gen_normalise.py OUTDIR: writes the normaliser's peer corpus with mido and
prints a JSON manifest of what mido reads back, as the normalised stream must
carry it: channel messages (note on of velocity 0 as note off) and tempos at
ticks scaled to 480 a quarter note where 480 is a multiple of the division."""
import json
import os
import random
import sys

import mido
from midi_gen import MAKER, to_track

DIVISIONS = [96, 120, 384, 480, 960]
# Controllers the normaliser passes through untouched.
PLAIN_CONTROLLERS = [1, 7, 10, 11, 64, 71, 74, 91, 93]


def scale_factor(division):
    return 480 // division if 480 % division == 0 else 1


def music_tracks(rng, division, tracks, bars, with_meta):
    """Notes, controllers, programs and bends on a few channels per track."""
    out = []
    for t in range(tracks):
        events = []  # (abs tick, message)
        channel = t % 16
        if channel == 0 and tracks > 1:
            channel = 1
        events.append((0, mido.Message('program_change', channel=channel, program=rng.randrange(128))))
        step = division // 2
        for beat in range(bars * 4):
            tick = beat * division + rng.randrange(0, max(1, division // 8))
            note = rng.randrange(36, 90)
            events.append((tick, mido.Message('note_on', channel=channel, note=note,
                                              velocity=rng.randrange(1, 128))))
            off = tick + rng.randrange(1, step + 1)
            if rng.random() < 0.3:
                events.append((off, mido.Message('note_on', channel=channel, note=note, velocity=0)))
            else:
                events.append((off, mido.Message('note_off', channel=channel, note=note,
                                                  velocity=rng.randrange(128))))
            if rng.random() < 0.4:
                events.append((tick + rng.randrange(division), mido.Message(
                    'control_change', channel=channel, control=rng.choice(PLAIN_CONTROLLERS),
                    value=rng.randrange(128))))
            if rng.random() < 0.1:
                events.append((tick, mido.Message('pitchwheel', channel=channel,
                                                  pitch=rng.randrange(-8192, 8192))))
            if rng.random() < 0.05:
                events.append((tick, mido.Message('aftertouch', channel=channel,
                                                  value=rng.randrange(128))))
            if rng.random() < 0.05:
                events.append((tick + 1, mido.Message('polytouch', channel=channel, note=note,
                                                      value=rng.randrange(128))))
        if with_meta and t == 0:
            bar_ticks = 4 * division
            events.append((0, mido.MetaMessage('set_tempo', tempo=500000)))
            events.append((bar_ticks * 2, mido.MetaMessage('set_tempo', tempo=400000)))
            events.append((bar_ticks * 3 + division, mido.MetaMessage('set_tempo', tempo=600000)))
            events.append((0, mido.MetaMessage('time_signature', numerator=4, denominator=4)))
            events.append((bar_ticks * 2, mido.MetaMessage('time_signature', numerator=3,
                                                           denominator=4)))
            events.append((0, mido.MetaMessage('key_signature', key='Bb')))
        out.append(events)
    return out


def write_song(path, fmt, division, tracks_events):
    mid = mido.MidiFile(type=fmt, ticks_per_beat=division)
    if fmt == 0:
        merged = [e for events in tracks_events for e in events]
        mid.tracks.append(to_track(merged))
    else:
        for events in tracks_events:
            mid.tracks.append(to_track(events))
    mid.save(path)


def expected(path):
    """What mido reads back, as the normaliser must deliver it."""
    mid = mido.MidiFile(path)
    factor = scale_factor(mid.ticks_per_beat)
    channel, tempos = [], []
    tick = 0
    for msg in mido.merge_tracks(mid.tracks):
        tick += msg.time
        if msg.is_meta:
            if msg.type == 'set_tempo':
                tempos.append([tick * factor, msg.tempo])
            continue
        if msg.type in ('sysex', 'polytouch'):
            continue
        raw = msg.bytes()
        if msg.type == 'note_on' and msg.velocity == 0:
            raw = [0x80 | msg.channel, msg.note, 0]
        channel.append([tick * factor, raw])
    return {
        'division': mid.ticks_per_beat,
        'tpqn': 480 if factor > 1 or mid.ticks_per_beat == 480 else mid.ticks_per_beat,
        'channel': channel,
        'tempos': tempos,
    }


def cut_song(path, fmt, division, rng):
    """Everything cut mode removes or keeps: karaoke texts, lyrics, markers,
    the maker's records, channel-1 controllers, long messages, long gaps."""
    music = music_tracks(rng, division, 2, 4, True)
    extra = [
        (0, mido.Message('sysex', data=MAKER + [0x1F] + [0] * 21)),
        (0, mido.Message('sysex', data=MAKER + [0x2F, 3, 0])),
        (0, mido.Message('sysex', data=MAKER + [0x04] + list(b'Row text'))),
        (0, mido.Message('sysex', data=MAKER + [0x01] + list(b'Am7\n'))),
        (0, mido.MetaMessage('text', text='Plain text before karaoke')),
        (0, mido.MetaMessage('text', text='x' * 300)),
        (0, mido.Message('sysex', data=[0x43, 0x10] + [5] * 200)),
        (0, mido.MetaMessage('copyright', text='(c) nobody')),
        (division, mido.MetaMessage('text', text='@KMIDI KARAOKE FILE')),
        (division * 2, mido.MetaMessage('text', text='\\Hel')),
        (division * 2 + 10, mido.MetaMessage('text', text='lo')),
        (division * 3, mido.MetaMessage('lyrics', text='Hello\r')),
        (division * 4, mido.MetaMessage('marker', text='Chorus')),
        (division * 4, mido.MetaMessage('instrument_name', name='Piano')),
        (division * 4, mido.UnknownMetaMessage(type_byte=0x4B, data=[6, 0, 2] + list(b'Verse'))),
        (division * 4, mido.UnknownMetaMessage(type_byte=0x4B, data=[2] + list(b'Artist'))),
        (division * 5, mido.Message('control_change', channel=0, control=31, value=5)),
        (division * 5, mido.Message('control_change', channel=0, control=6, value=5)),
        (division * 5, mido.Message('control_change', channel=0, control=98, value=1)),
        (division * 5, mido.Message('control_change', channel=0, control=99, value=1)),
        (division * 5, mido.Message('control_change', channel=0, control=100, value=65)),
        (division * 5, mido.Message('control_change', channel=0, control=7, value=100)),
        (division * 5, mido.Message('control_change', channel=1, control=6, value=5)),
        (division * 5, mido.Message('polytouch', channel=2, note=60, value=3)),
        (division * 5, mido.Message('note_on', channel=2, note=60, velocity=0)),
        (division * 5 + 300000, mido.Message('note_on', channel=3, note=62, velocity=90)),
        (division * 5 + 300001, mido.Message('note_off', channel=3, note=62, velocity=0)),
    ]
    write_song(path, fmt, division, music + [extra])


def main():
    outdir = sys.argv[1]
    os.makedirs(outdir, exist_ok=True)
    rng = random.Random(4104)
    manifest = []
    for fmt in (0, 1):
        for division in DIVISIONS:
            name = 'music_f%d_%d.mid' % (fmt, division)
            path = os.path.join(outdir, name)
            write_song(path, fmt, division, music_tracks(rng, division, 4, 12, True))
            exp = expected(path)
            exp.update(file=name, format=fmt, kind='music')
            manifest.append(exp)
    for fmt in (0, 1):
        for division in (96, 480):
            name = 'cut_f%d_%d.mid' % (fmt, division)
            cut_song(os.path.join(outdir, name), fmt, division, rng)
            manifest.append({'file': name, 'format': fmt, 'kind': 'cut', 'division': division})
    json.dump(manifest, sys.stdout)


if __name__ == '__main__':
    main()
