"""Short mido-made karaoke songs: make_kar.py OUTDIR SECONDS NAME...
Each NAME.kar plays a note a beat at 120 BPM for whole bars of about SECONDS
and has a lyric row a bar ("Row 1", ...); prints each length as mido reads it."""
import os
import sys

import mido

TPB = 480
out, seconds, names = sys.argv[1], float(sys.argv[2]), sys.argv[3:]
os.makedirs(out, exist_ok=True)
bars = max(1, round(seconds / 2))


def track(events, end):
    """A track of (absolute tick, message) events ending at tick end."""
    events = sorted(events, key=lambda e: e[0]) + [(end, mido.MetaMessage('end_of_track'))]
    ticks = [0] + [tick for tick, _ in events]
    return mido.MidiTrack(msg.copy(time=tick - before)
                          for (tick, msg), before in zip(events, ticks))


for name in names:
    end = bars * 4 * TPB
    mid = mido.MidiFile(type=1, ticks_per_beat=TPB)
    mid.tracks.append(track([(0, mido.MetaMessage('set_tempo', tempo=500000)),
                             (0, mido.MetaMessage('track_name', name=name))], end))
    notes = [(0, mido.Message('program_change', channel=0, program=0))]
    for beat in range(bars * 4):
        key = 60 + (beat % 4) * 2
        notes.append((beat * TPB, mido.Message('note_on', channel=0, note=key, velocity=100)))
        notes.append((beat * TPB + TPB - 10, mido.Message('note_off', channel=0, note=key)))
    mid.tracks.append(track(notes, end))
    text = [(0, mido.MetaMessage('text', text='@KMIDI KARAOKE FILE'))]
    for bar in range(bars):
        text.append((bar * 4 * TPB, mido.MetaMessage('text', text=f'/Row {bar + 1} ')))
        text.append((bar * 4 * TPB + 2 * TPB, mido.MetaMessage('text', text='sing')))
    mid.tracks.append(track(text, end))
    path = os.path.join(out, name + '.kar')
    mid.save(path)
    print(f'{mido.MidiFile(path).length:.3f}')
