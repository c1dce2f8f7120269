#!/usr/bin/python3
"""Writes a dense General MIDI test song for synth_bench.

usage: make_song.py OUT.mid [SECONDS]
Sixteen channels: drums on channel 10, chords, bass, arpeggios and sustained
pads, with controller and pitch-bend traffic, at 120 BPM.
"""
import random
import sys

import mido


def main():
    out = sys.argv[1]
    seconds = int(sys.argv[2]) if len(sys.argv) > 2 else 60
    rnd = random.Random(7)
    tpq = 480
    beats = seconds * 2
    song = mido.MidiFile(type=1, ticks_per_beat=tpq)
    head = mido.MidiTrack()
    head.append(mido.MetaMessage("set_tempo", tempo=500000, time=0))
    song.tracks.append(head)
    programs = [0, 33, 25, 48, 52, 61, 73, 80, 89, 4, 19, 27, 40, 56, 65, 95]
    for ch in range(16):
        track = mido.MidiTrack()
        events = []
        if ch != 9:
            events.append((0, mido.Message("program_change", channel=ch, program=programs[ch])))
        events.append((0, mido.Message("control_change", channel=ch, control=91, value=60)))
        events.append((0, mido.Message("control_change", channel=ch, control=93, value=30)))
        step = tpq // 4 if ch in (9, 2, 7) else tpq
        for t in range(0, beats * tpq, step):
            if ch == 9:
                notes = [36] if (t // step) % 4 == 0 else [42]
                if (t // step) % 8 == 4:
                    notes.append(38)
            elif ch == 1:
                notes = [36 + rnd.choice([0, 5, 7, 12])]
            else:
                root = 48 + rnd.choice([0, 2, 4, 5, 7, 9])
                notes = [root, root + 4, root + 7] if ch % 3 == 0 else [root + 12]
            for n in notes:
                events.append((t, mido.Message("note_on", channel=ch, note=n, velocity=rnd.randint(60, 110))))
                events.append((t + step - 10, mido.Message("note_off", channel=ch, note=n, velocity=0)))
            if t % (tpq * 4) == 0:
                events.append((t, mido.Message("control_change", channel=ch, control=74,
                                               value=rnd.randint(30, 100))))
                events.append((t, mido.Message("pitchwheel", channel=ch, pitch=rnd.randint(-2000, 2000))))
        events.sort(key=lambda e: e[0])
        last = 0
        for t, msg in events:
            track.append(msg.copy(time=t - last))
            last = t
        song.tracks.append(track)
    song.save(out)


if __name__ == "__main__":
    main()
