#!/usr/bin/python3
"""Writes MIDI files for the engine's timing tests into the folder given as
the first argument, and prints, as JSON, mido's time (ms from the first note),
channel, key and tick (at 480 a quarter) of every note-on of each file. Each
song starts with a note at tick 0, and notes of different ticks lie more than
2 ms apart."""
import json
import os
import sys

import mido
from mido import Message, MetaMessage, MidiFile, MidiTrack


def tempo_and_meter_changes(path):
    mid = MidiFile(type=1, ticks_per_beat=480)
    conductor = MidiTrack()
    mid.tracks.append(conductor)
    # (tick, event) pairs, then turned into deltas.
    events = [
        (0, MetaMessage('set_tempo', tempo=500000)),
        (0, MetaMessage('time_signature', numerator=4, denominator=4)),
        (1920, MetaMessage('set_tempo', tempo=428571)),
        (3840, MetaMessage('time_signature', numerator=3, denominator=4)),
        (3840, MetaMessage('set_tempo', tempo=652173)),
        (5280, MetaMessage('time_signature', numerator=6, denominator=8)),
        (5280, MetaMessage('set_tempo', tempo=350000)),
        (6720, MetaMessage('time_signature', numerator=2, denominator=4)),
        (6720, MetaMessage('set_tempo', tempo=1000000)),
        (7680, MetaMessage('time_signature', numerator=5, denominator=4)),
        (7680, MetaMessage('set_tempo', tempo=468750)),
    ]
    add_track(conductor, events, 14400)
    for channel, step, base in ((0, 240, 60), (1, 160, 48), (3, 360, 72)):
        track = MidiTrack()
        mid.tracks.append(track)
        ev = [(0, Message('program_change', channel=channel, program=channel * 5)),
              (0, Message('control_change', channel=channel, control=7, value=100))]
        for i, tick in enumerate(range(0, 14400, step)):
            ev.append((tick, Message('note_on', channel=channel, note=base + i % 12, velocity=90)))
            ev.append((tick + step // 2, Message('note_off', channel=channel, note=base + i % 12)))
        add_track(track, ev, 14400)
    mid.save(path)


def sixteen_channels(path):
    mid = MidiFile(type=1, ticks_per_beat=480)
    conductor = MidiTrack()
    mid.tracks.append(conductor)
    add_track(conductor, [(0, MetaMessage('set_tempo', tempo=451127))], 9600)
    for channel in range(16):
        track = MidiTrack()
        mid.tracks.append(track)
        ev = [(0, Message('program_change', channel=channel, program=(channel * 7) % 128)),
              (0, Message('control_change', channel=channel, control=7, value=100))]
        step = 120 + 60 * (channel % 4)
        for i, tick in enumerate(range(channel * 5, 9600, step)):
            note = 36 + (channel * 3 + i) % 60
            ev.append((tick, Message('note_on', channel=channel, note=note, velocity=64 + i % 60)))
            ev.append((tick + step - 10, Message('note_on', channel=channel, note=note, velocity=0)))
        add_track(track, ev, 9600)
    mid.save(path)


def forty_tracks(path):
    """41 chunks: a tempo track and 40 tracks of one note each."""
    mid = MidiFile(type=1, ticks_per_beat=480)
    conductor = MidiTrack()
    mid.tracks.append(conductor)
    add_track(conductor, [(0, MetaMessage('set_tempo', tempo=500000))], 40 * 240 + 480)
    for t in range(40):
        track = MidiTrack()
        mid.tracks.append(track)
        channel = t % 16
        add_track(track, [(t * 240, Message('note_on', channel=channel, note=40 + t, velocity=90)),
                          (t * 240 + 200, Message('note_off', channel=channel, note=40 + t))], t * 240 + 240)
    mid.save(path)


def dense(path):
    """About 700 KB: 16 tracks of sixteenth notes, each under expression
    and pitch-bend curves of 24 steps a bar, for five minutes."""
    mid = MidiFile(type=1, ticks_per_beat=480)
    conductor = MidiTrack()
    mid.tracks.append(conductor)
    bars = 150
    end = bars * 1920
    add_track(conductor, [(0, MetaMessage('set_tempo', tempo=500000)),
                          (0, MetaMessage('time_signature', numerator=4, denominator=4))], end)
    for channel in range(16):
        track = MidiTrack()
        mid.tracks.append(track)
        ev = [(0, Message('program_change', channel=channel, program=(channel * 5) % 128))]
        for i, tick in enumerate(range(0, end, 120)):
            note = 36 + (channel * 5 + i) % 60
            ev.append((tick, Message('note_on', channel=channel, note=note, velocity=40 + i % 80)))
            ev.append((tick + 100, Message('note_on', channel=channel, note=note, velocity=0)))
        for i, tick in enumerate(range(0, end, 80)):
            ev.append((tick + 1, Message('control_change', channel=channel, control=11, value=64 + (i * 7) % 63)))
            ev.append((tick + 2, Message('pitchwheel', channel=channel, pitch=((i * 97) % 4096) - 2048)))
        add_track(track, ev, end)
    mid.save(path)


def running_status(path):
    """Format 0 written by hand: note-ons and their velocity-0 offs share one
    status byte, and the song starts at 96 ticks per quarter."""
    body = bytearray()
    body += bytes([0x00, 0xFF, 0x51, 0x03, 0x09, 0x27, 0xC0])   # 600000 us: 100 BPM
    body += bytes([0x00, 0xC2, 0x10])
    body += bytes([0x00, 0x92])                               # status once
    first = True
    for i in range(64):
        note = 50 + i % 20
        if not first:
            body += bytes([0x00])
        first = False
        body += bytes([note, 0x50])                            # on
        body += bytes([0x18, note, 0x00])                      # off after 24 ticks
        body += bytes([0x18 if i % 3 else 0x30])               # delta to the next on
        body += bytes([0x92, note + 1, 0x40])
        body += bytes([0x0C, note + 1, 0x00])
    body += bytes([0x00, 0xFF, 0x2F, 0x00])
    head = b'MThd' + (6).to_bytes(4, 'big') + (0).to_bytes(2, 'big') + (1).to_bytes(2, 'big') \
        + (96).to_bytes(2, 'big')
    track = b'MTrk' + len(body).to_bytes(4, 'big') + bytes(body)
    with open(path, 'wb') as f:
        f.write(head + track)


def add_track(track, events, end_tick):
    events = sorted(events, key=lambda e: e[0])
    now = 0
    for tick, msg in events:
        track.append(msg.copy(time=tick - now))
        now = tick
    track.append(MetaMessage('end_of_track', time=max(0, end_tick - now)))


def note_times(path):
    return song_times(path)[0]


def song_times(path):
    """One pass over mido's merge of the tracks: the seconds as iterating
    the file gives them (each delta at the tempo in force), and the tick;
    then the song's length in seconds."""
    mid = MidiFile(path)
    notes = []
    t = 0.0
    tick = 0
    tempo = 500000
    for msg in mido.merge_tracks(mid.tracks):
        t += mido.tick2second(msg.time, mid.ticks_per_beat, tempo)
        tick += msg.time
        if msg.type == 'set_tempo':
            tempo = msg.tempo
        elif msg.type == 'note_on' and msg.velocity > 0:
            notes.append([t * 1000.0, msg.channel, msg.note, tick * 480 // mid.ticks_per_beat])
    t0 = notes[0][0]
    return [[round(n[0] - t0, 4), n[1], n[2], n[3]] for n in notes], t


def main():
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    result = {}
    for name, make in (('tempo_meter.mid', tempo_and_meter_changes),
                       ('sixteen_channels.mid', sixteen_channels),
                       ('running_status.mid', running_status),
                       ('forty_tracks.mid', forty_tracks),
                       ('dense.mid', dense)):
        path = os.path.join(out, name)
        make(path)
        result[name] = note_times(path)
    print(json.dumps(result))


if __name__ == '__main__':
    main()
