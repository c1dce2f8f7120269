#!/usr/bin/python3
"""Writes jumpsong.mid into the folder given: 16 bars of 4/4, 120 BPM then
100 from bar 9, channels 0-2 with a note on every beat and, in the odd bars
(from 0), changes of program, bank, controllers and pitch bend. Prints, as
JSON, each even bar's channel state at its start."""
import json
import os
import sys

from mido import Message, MetaMessage, MidiFile, MidiTrack

BARS = 16
TPQ = 480
BAR = 4 * TPQ
CHANNELS = (0, 1, 2)
CONTROLLERS = (7, 11, 10, 91, 93, 64, 74)


def change_set(bar, ch):
    """What channel ch changes in an odd bar."""
    k = bar * 3 + ch
    values = {'program': (k * 7) % 128, 'bank': k % 8, 'bend': (k * 523) % 16384}
    for i, cc in enumerate(CONTROLLERS):
        values[cc] = (k * 11 + i * 13) % 128
    return values


def main(folder):
    mid = MidiFile(type=1, ticks_per_beat=TPQ)
    conductor = MidiTrack()
    mid.tracks.append(conductor)
    conductor.append(MetaMessage('set_tempo', tempo=500000, time=0))
    conductor.append(MetaMessage('time_signature', numerator=4, denominator=4, time=0))
    conductor.append(MetaMessage('set_tempo', tempo=600000, time=9 * BAR))
    conductor.append(MetaMessage('end_of_track', time=(BARS - 9) * BAR))
    expected = {}
    for ch in CHANNELS:
        events = [(0, Message('program_change', channel=ch, program=ch + 1))]
        for bar in range(BARS):
            for beat in range(4):
                t = bar * BAR + beat * TPQ
                note = 40 + ch * 12 + (bar % 12)
                events.append((t, Message('note_on', channel=ch, note=note, velocity=80)))
                events.append((t + TPQ // 2, Message('note_off', channel=ch, note=note)))
            if bar % 2 == 1:
                v = change_set(bar, ch)
                t = bar * BAR + 2 * TPQ + 10
                events.append((t, Message('control_change', channel=ch, control=0, value=v['bank'])))
                events.append((t, Message('program_change', channel=ch, program=v['program'])))
                for cc in CONTROLLERS:
                    events.append((t, Message('control_change', channel=ch, control=cc, value=v[cc])))
                events.append((t, Message('pitchwheel', channel=ch, pitch=v['bend'] - 8192)))
        track = MidiTrack()
        mid.tracks.append(track)
        now = 0
        for t, msg in sorted(events, key=lambda e: e[0]):
            track.append(msg.copy(time=t - now))
            now = t
        track.append(MetaMessage('end_of_track', time=BARS * BAR - now))
    for bar in range(0, BARS, 2):
        chans = {}
        for ch in CHANNELS:
            s = change_set(bar - 1, ch) if bar else {'program': ch + 1}
            chans[str(ch)] = {str(k): v for k, v in s.items()}
        expected[str(bar)] = chans
    mid.save(os.path.join(folder, 'jumpsong.mid'))
    print(json.dumps(expected))


if __name__ == '__main__':
    main(sys.argv[1])
