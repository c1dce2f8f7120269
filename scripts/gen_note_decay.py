"""Measures how far a held note of each General MIDI program has decayed at
given times after it was struck, as the synthesizer plays it with the sound
bank the program installs, and prints the table of
common-sound/sequencer/note_decay.cpp.

usage: gen_note_decay.py BUILD_DIR [SOUND_BANK]

Each program holds one note (C4; E2 for the basses) at velocity 100 for
8.5 s, dry (no reverb, no chorus), rendered by BUILD_DIR/bin/velmar-render;
the level of 100 ms windows is taken against the loudest window of the first
300 ms, less 2 dB (a sustained sound's attack stands that much above it). A
level above that (a slow attack, a swell) counts as no decay; the table holds
whole dB, 0..96.
"""
import array
import math
import os
import subprocess
import sys
import tempfile

import mido

TIMES_MS = (250, 500, 1000, 2000, 3000, 4000, 6000, 8000)
RATE = 44100
ATTACK_DB = 2


def levels(raw, start):
    def level(ms):
        a = start + int(ms * RATE / 1000)
        w = raw[a:a + RATE // 10]
        e = sum(v * v for v in w) / max(1, len(w))
        return 10 * math.log10(max(e, 1e-6))
    top = max(level(ms) for ms in range(0, 300, 25))
    return [max(0, min(96, round(top - level(ms)) - ATTACK_DB)) for ms in TIMES_MS]


def measure(build, bank, program, folder):
    mid = mido.MidiFile(ticks_per_beat=480)
    track = mido.MidiTrack()
    mid.tracks.append(track)
    key = 40 if 32 <= program < 40 else 60
    track.append(mido.MetaMessage('set_tempo', tempo=500000))
    track.append(mido.Message('program_change', channel=0, program=program))
    track.append(mido.Message('control_change', channel=0, control=91, value=0))
    track.append(mido.Message('control_change', channel=0, control=93, value=0))
    track.append(mido.Message('note_on', channel=0, note=key, velocity=100, time=240))
    track.append(mido.Message('note_off', channel=0, note=key, velocity=0, time=480 * 17))
    track.append(mido.MetaMessage('end_of_track', time=10))
    song = os.path.join(folder, 'note.mid')
    wav = os.path.join(folder, 'note.wav')
    mid.save(song)
    subprocess.run([os.path.join(build, 'bin', 'velmar-render'), song, wav, '--soundfont', bank],
                   check=True, capture_output=True)
    with open(wav, 'rb') as f:
        data = f.read()[44:]
    samples = array.array('h')
    samples.frombytes(data[:len(data) // 4 * 4])
    left = samples[0::2]
    start = next((i for i, v in enumerate(left) if abs(v) > 8), 0)
    return levels(left, start)


def main(argv):
    if len(argv) < 2:
        sys.exit(__doc__)
    bank = argv[2] if len(argv) > 2 else '/usr/share/sounds/sf2/TimGM6mb.sf2'
    with tempfile.TemporaryDirectory() as folder:
        rows = [measure(argv[1], bank, p, folder) for p in range(128)]
    print('// dB below the strike at ' + ', '.join(f'{t / 1000:g}' for t in TIMES_MS) + ' s')
    for p, row in enumerate(rows):
        print('    {' + ', '.join(f'{v:2d}' for v in row) + f'}}, // {p}')


if __name__ == '__main__':
    main(sys.argv)
