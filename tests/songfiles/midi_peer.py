"""By mido: make OUT, a type-1 file with running status, channel 2 and the maker's 1F and 1E records
for track 2; dump IN, one JSON line per track of [tick, "hex"] of the channel and SysEx messages."""
import json
import sys

import mido

M = mido.Message


def make(path):
    head = [0x00, 0x20, 0x24, 0x00]
    meta = mido.MidiTrack([mido.MetaMessage("set_tempo", tempo=500000),
                           M("sysex", data=head + [0x1F, 2] + list(range(1, 25))),
                           M("sysex", data=head + [0x1E, 2] + [0x11] * 14)])
    song = mido.MidiTrack([M("program_change", channel=2, program=5),
                           M("control_change", channel=2, control=7, value=100)])
    for i in range(8):
        song += [M("note_on", channel=2, note=60 + i, velocity=90, time=120),
                 M("note_on", channel=2, note=60 + i, velocity=0, time=240)]
    song += [M("pitchwheel", channel=2, pitch=1000), M("aftertouch", channel=2, value=33, time=10),
             M("note_on", channel=0, note=40, velocity=80, time=20000)]
    mido.MidiFile(type=1, tracks=[meta, song]).save(path)


def dump(path):
    for track in mido.MidiFile(path).tracks:
        tick, out = 0, []
        for msg in track:
            tick += msg.time
            if not msg.is_meta:
                out.append([tick, bytes(msg.bytes()).hex()])
        print(json.dumps(out))


{"make": make, "dump": dump}[sys.argv[1]](sys.argv[2])
