"""Prints, as JSON, every message of the given MIDI files as mido reads them:
[[absolute tick scaled to 480 ticks per quarter note when 480 is a multiple
of the division, [bytes]], ...] per file, tracks merged in time order (ties
in track order) with one end of track at the end."""
import json
import sys

import mido


def dump(path):
    mid = mido.MidiFile(path)
    division = mid.ticks_per_beat
    factor = 480 // division if 480 % division == 0 else 1
    messages = []
    end = 0
    for track in mid.tracks:
        tick = 0
        for msg in track:
            tick += msg.time
            if msg.type == 'end_of_track':
                end = max(end, tick)
                continue
            messages.append((tick, list(msg.bytes())))
    messages.sort(key=lambda m: m[0])
    out = [[t * factor, b] for t, b in messages]
    out.append([max(end, messages[-1][0] if messages else 0) * factor, [0xFF, 0x2F, 0x00]])
    return out


json.dump([dump(p) for p in sys.argv[1:]], sys.stdout)
