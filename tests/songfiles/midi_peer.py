"""MIDI files for the MidiFunc tests, made and read by mido.

usage: midi_peer.py make OUT   a type-1 file written with running status:
                               channel 2 in two tracks, drums on 9 never used,
                               the maker's 1F and 1E records for track 2
       midi_peer.py dump IN    one JSON line per track: [[tick, "hex"], ...]
                               of the channel and SysEx messages
"""
import json
import sys

import mido


def make(path):
    f = mido.MidiFile(type=1, ticks_per_beat=480)
    meta = mido.MidiTrack([mido.MetaMessage("set_tempo", tempo=500000, time=0)])
    rec1f = [0x00, 0x20, 0x24, 0x00, 0x1F, 0x02] + list(range(1, 25))
    rec1e = [0x00, 0x20, 0x24, 0x00, 0x1E, 0x02] + [0x11] * 14
    meta.append(mido.Message("sysex", data=rec1f, time=0))
    meta.append(mido.Message("sysex", data=rec1e, time=0))
    f.tracks.append(meta)
    song = mido.MidiTrack([
        mido.Message("program_change", channel=2, program=5, time=0),
        mido.Message("control_change", channel=2, control=7, value=100, time=0),
        mido.Message("control_change", channel=2, control=10, value=64, time=0),
    ])
    for i in range(8):
        song.append(mido.Message("note_on", channel=2, note=60 + i, velocity=90, time=120))
        song.append(mido.Message("note_on", channel=2, note=60 + i, velocity=0, time=240))
    song.append(mido.Message("pitchwheel", channel=2, pitch=1000, time=10))
    song.append(mido.Message("aftertouch", channel=2, value=33, time=10))
    f.tracks.append(song)
    other = mido.MidiTrack([mido.Message("note_on", channel=0, note=40, velocity=80, time=0),
                            mido.Message("note_off", channel=0, note=40, velocity=0, time=20000)])
    f.tracks.append(other)
    f.save(path)


def dump(path):
    for track in mido.MidiFile(path).tracks:
        tick, out = 0, []
        for msg in track:
            tick += msg.time
            if not msg.is_meta:
                out.append([tick, bytes(msg.bytes()).hex()])
        print(json.dumps(out))


{"make": make, "dump": dump}[sys.argv[1]](sys.argv[2])
