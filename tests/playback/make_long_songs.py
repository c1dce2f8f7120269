#!/usr/bin/python3
"""Writes two songs past what the player once held into the folder given as
the first argument, and prints, as JSON, each one's note-ons as mido reads
them (as gen_songs.py gives them), its bars and its length in seconds:

long.mid: 1,500 bars (fourteen minutes): 2/4 at 250 BPM, from bar 1,200 on
    6/8 at 200 BPM; a note on each quarter, and on channel 2 a note at each
    bar's start whose key tells the bar: 36 + bar % 48.
dense.mid: 1.2 MB of events at 300 BPM: on channels 1 and 2 sixteenth
    notes, and a SysEx of 120 bytes on every 32nd note (a song that carries
    its sound module's data), in a track written by hand: mido takes long to
    write SysEx."""
import json
import os
import sys

from mido import Message, MetaMessage, MidiFile, MidiTrack

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'common-sound', 'sequencer'))
from gen_songs import add_track, song_times  # noqa: E402

TPQ = 480
# A manufacturer id of three bytes that no synthesizer of ours acts on.
SYSEX = bytes([0xF0, 120]) + bytes([0x00, 0x21, 0x7F] + [i % 128 for i in range(116)]) + b'\xF7'


def long_song(path):
    bars, slower = 1500, 1200
    starts = [b * 2 * TPQ if b <= slower else slower * 2 * TPQ + (b - slower) * 3 * TPQ for b in range(bars + 1)]
    end = starts[bars]
    mid = MidiFile(type=1, ticks_per_beat=TPQ)
    conductor = MidiTrack()
    mid.tracks.append(conductor)
    add_track(conductor, [(0, MetaMessage('set_tempo', tempo=240000)),
                          (0, MetaMessage('time_signature', numerator=2, denominator=4)),
                          (starts[slower], MetaMessage('set_tempo', tempo=300000)),
                          (starts[slower], MetaMessage('time_signature', numerator=6, denominator=8))], end)
    beats, marks = MidiTrack(), MidiTrack()
    mid.tracks += [beats, marks]
    ev = []
    for i, tick in enumerate(range(0, end, TPQ)):
        ev.append((tick, Message('note_on', channel=0, note=60 + i % 2 * 7, velocity=80)))
        ev.append((tick + TPQ // 2, Message('note_off', channel=0, note=60 + i % 2 * 7)))
    add_track(beats, ev, end)
    ev = []
    for b in range(bars):
        ev.append((starts[b] + 1, Message('note_on', channel=1, note=36 + b % 48, velocity=90)))
        ev.append((starts[b] + TPQ, Message('note_off', channel=1, note=36 + b % 48)))
    add_track(marks, ev, end)
    mid.save(path)
    return bars


def dense_song(path):
    bars, bar, step = 300, 4 * TPQ, TPQ // 8
    end = bars * bar
    mid = MidiFile(type=1, ticks_per_beat=TPQ)
    conductor = MidiTrack()
    mid.tracks.append(conductor)
    add_track(conductor, [(0, MetaMessage('set_tempo', tempo=200000))], end)
    for channel in (0, 1):
        track = MidiTrack()
        mid.tracks.append(track)
        ev = []
        for i, tick in enumerate(range(channel * 40, end, TPQ // 4)):
            note = 40 + (channel * 12 + i) % 48
            ev.append((tick, Message('note_on', channel=channel, note=note, velocity=70)))
            ev.append((tick + 100, Message('note_off', channel=channel, note=note)))
        add_track(track, ev, end)
    mid.save(path)
    # The SysEx track: a delta of 2 ticks, then of a 32nd note each.
    body = bytes([2]) + SYSEX + (bytes([step]) + SYSEX) * (end // step - 1) + bytes([step - 2, 0xFF, 0x2F, 0])
    with open(path, 'r+b') as f:
        song = bytearray(f.read())
        song[10:12] = (len(mid.tracks) + 1).to_bytes(2, 'big')
        f.seek(0)
        f.write(song + b'MTrk' + len(body).to_bytes(4, 'big') + body)
    return bars


def main():
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    result = {}
    for name, make in (('long.mid', long_song), ('dense.mid', dense_song)):
        path = os.path.join(out, name)
        bars = make(path)
        notes, seconds = song_times(path)
        result[name] = {'notes': notes, 'bars': bars, 'seconds': seconds}
    print(json.dumps(result))


if __name__ == '__main__':
    main()
