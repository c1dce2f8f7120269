#!/usr/bin/python3
"""Seeds the engine's fuzz corpora with the timing tests' songs: for the
interpreter a control byte and the song as one event stream at 480 ticks per
quarter (every status written, the tempo kept, grid events every beat), for
the synthesizer's parser and the output layer's cutter the song's channel
messages back to back. Run from anywhere; rewrites the seed_* files."""
import os
import sys
import tempfile

import mido

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import gen_songs  # noqa: E402

CORPORA = {
    'interpreter': os.path.join(HERE, 'corpus', 'fuzz_interpreter'),
    'synth': os.path.join(HERE, '..', '..', 'common-midiinterface', 'corpus', 'fuzz_synthparser'),
    'cut': os.path.join(HERE, '..', '..', 'common-midiinterface', 'corpus', 'fuzz_cutmessages'),
}
MAX_RAW = 4096  # the cutter's fuzz target takes no more


def vlq(n):
    out = [n & 0x7F]
    n >>= 7
    while n:
        out.insert(0, 0x80 | (n & 0x7F))
        n >>= 7
    return bytes(out)


def streams(path):
    mid = mido.MidiFile(path)
    scale = 480 / mid.ticks_per_beat
    stream, raw = bytearray(), bytearray()
    now = grid = beat = bar = 0
    tick = 0.0
    for msg in mido.merge_tracks(mid.tracks):
        tick += msg.time * scale
        while grid + 480 <= tick:
            grid += 480
            beat = (beat + 1) % 4
            bar += beat == 0
            marker = [0xA9, bar & 0x7F, bar >> 7] if beat == 0 else [0xA8, beat, 0]
            stream += vlq(grid - now) + bytes(marker)
            now = grid
        if msg.type == 'set_tempo':
            event = bytes([0xFF, 0x51, 0x03]) + msg.tempo.to_bytes(3, 'big')
        elif not msg.is_meta and msg.type != 'sysex':
            event = bytes(msg.bytes())
            raw += event
        else:
            continue
        stream += vlq(int(tick) - now) + event
        now = int(tick)
    return bytes(stream) + b'\x00\xff\x2f\x00', bytes(raw[:MAX_RAW])


def main():
    for folder in CORPORA.values():
        os.makedirs(folder, exist_ok=True)
    with tempfile.TemporaryDirectory() as tmp:
        for control, (name, make) in enumerate((('tempo_meter', gen_songs.tempo_and_meter_changes),
                                                ('sixteen_channels', gen_songs.sixteen_channels),
                                                ('running_status', gen_songs.running_status))):
            path = os.path.join(tmp, name + '.mid')
            make(path)
            stream, raw = streams(path)
            # Control byte: file type, transposition and a seek vary per song.
            seeds = {'interpreter': bytes([0x20 | control * 0x45]) + stream, 'synth': raw, 'cut': raw}
            for kind, data in seeds.items():
                with open(os.path.join(CORPORA[kind], 'seed_' + name), 'wb') as f:
                    f.write(data)


if __name__ == '__main__':
    main()
