"""The song of the mix-editor tests, and a check of a saved copy, with mido.

usage: make_midiedit_song.py write OUT
       make_midiedit_song.py compare ORIGINAL SAVED

write: mix.mid, 16 bars at 120 BPM, a note every beat on channels 1 and 4
and the drums on channel 10. Channel 1: bank 0, program 24, volume 100,
pan 40, reverb 50, chorus 10, cutoff 80. Channel 4: program 40, volume 80,
its pan only in bar 2 (30) and its reverb only in bar 3 (70).
compare: prints "same song" when both files hold the same notes, programs
and tempo, then the number of SysEx messages of the saved copy.
"""
import sys

import mido

TPB = 480
BAR = 4 * TPB


def write(path):
    mid = mido.MidiFile(type=1, ticks_per_beat=TPB)
    meta = mido.MidiTrack([mido.MetaMessage('set_tempo', tempo=500000),
                           mido.MetaMessage('end_of_track', time=16 * BAR)])
    mid.tracks.append(meta)
    setup = {0: [(0, 0), (32, 0), (7, 100), (10, 40), (91, 50), (93, 10), (74, 80)],
             3: [(7, 80)], 9: [(7, 90)]}
    later = {3: [(BAR, 10, 30), (2 * BAR, 91, 70)]}
    for ch, program in ((0, 24), (3, 40), (9, 0)):
        events = [(0, mido.Message('control_change', channel=ch, control=c, value=v)) for c, v in setup[ch]]
        events.append((0, mido.Message('program_change', channel=ch, program=program)))
        events += [(t, mido.Message('control_change', channel=ch, control=c, value=v))
                   for t, c, v in later.get(ch, [])]
        for beat in range(16 * 4):
            note = 36 if ch == 9 else 60 + ch
            events.append((beat * TPB + 1, mido.Message('note_on', channel=ch, note=note, velocity=90)))
            events.append((beat * TPB + 200, mido.Message('note_off', channel=ch, note=note)))
        events.sort(key=lambda e: e[0])
        track, now = mido.MidiTrack(), 0
        for t, msg in events:
            track.append(msg.copy(time=t - now))
            now = t
        track.append(mido.MetaMessage('end_of_track', time=16 * BAR - now))
        mid.tracks.append(track)
    mid.save(path)


def music(path):
    out, now = [], 0
    for msg in mido.merge_tracks(mido.MidiFile(path).tracks):
        now += msg.time
        if msg.type in ('note_on', 'note_off', 'program_change', 'set_tempo'):
            out.append((now, str(msg.copy(time=0))))
    return sorted(out)


if sys.argv[1] == 'write':
    write(sys.argv[2])
else:
    saved = mido.MidiFile(sys.argv[3])
    print('same song' if music(sys.argv[2]) == music(sys.argv[3]) else 'different song')
    print(sum(1 for t in saved.tracks for m in t if m.type == 'sysex'))
