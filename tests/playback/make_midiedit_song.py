"""The song of the mix-editor tests, and a check of a saved copy, with mido.

write OUT [BARS [TYPE]]: 16 bars (or BARS) at 120 BPM, a note every beat on
channels 1 and 4 and the drums on 10; a file of type 1 (or TYPE). Channel 1: bank 0, program 24, volume 100, pan 40, reverb 50,
chorus 10, cutoff 80. Channel 4: program 40, volume 80, pan 30 only in bar 2,
reverb 70 only in bar 3.
compare ORIGINAL SAVED: "same song" when both hold the same notes, programs
and tempo, then the number of SysEx messages of the saved copy, then one line
per settings record of the saved copy: command, channel and layer (0 for the
song-wide ones), sorted.
volume SAVED CHANNEL: the volume offset that the track record of CHANNEL
(counted from 0, layer 0) holds, or "none".
"""
import sys

import mido

TPB, BAR = 480, 4 * 480
SETUP = {0: [(0, 0, 0), (0, 32, 0), (0, 7, 100), (0, 10, 40), (0, 91, 50), (0, 93, 10), (0, 74, 80)],
         3: [(0, 7, 80), (BAR, 10, 30), (2 * BAR, 91, 70)], 9: [(0, 7, 90)]}


def write(path, bars=16, kind=1):
    mid = mido.MidiFile(type=1, ticks_per_beat=TPB)
    mid.tracks.append(mido.MidiTrack([mido.MetaMessage('set_tempo', tempo=500000),
                                      mido.MetaMessage('end_of_track', time=bars * BAR)]))
    for ch, program in ((0, 24), (3, 40), (9, 0)):
        events = [(t, mido.Message('control_change', channel=ch, control=c, value=v)) for t, c, v in SETUP[ch]]
        events.append((0, mido.Message('program_change', channel=ch, program=program)))
        note = 36 if ch == 9 else 60 + ch
        for beat in range(bars * 4):
            events.append((beat * TPB + 1, mido.Message('note_on', channel=ch, note=note, velocity=90)))
            events.append((beat * TPB + 200, mido.Message('note_off', channel=ch, note=note)))
        track, now = mido.MidiTrack(), 0
        for t, msg in sorted(events, key=lambda e: e[0]):
            track.append(msg.copy(time=t - now))
            now = t
        track.append(mido.MetaMessage('end_of_track', time=bars * BAR - now))
        mid.tracks.append(track)
    if kind == 0:
        mid = mido.MidiFile(type=0, ticks_per_beat=TPB, tracks=[mido.merge_tracks(mid.tracks)])
    mid.save(path)


def music(path):
    now, out = 0, []
    for msg in mido.merge_tracks(mido.MidiFile(path).tracks):
        now += msg.time
        if msg.type in ('note_on', 'note_off', 'program_change', 'set_tempo'):
            out.append((now, str(msg.copy(time=0))))
    return sorted(out)


def records(path):
    # mido drops F0 and the length: the maker's id, the command, then its data.
    out = []
    for m in mido.merge_tracks(mido.MidiFile(path).tracks):
        if m.type != 'sysex' or list(m.data[:4]) != [0, 0x20, 0x24, 0]:
            continue
        cmd = m.data[4]
        layer = {0x1F: 23, 0x1E: 18}.get(cmd)
        out.append('%02X %d %d' % (cmd, m.data[5] if layer else 0, m.data[layer] if layer else 0))
    return sorted(out)


def volume(path, channel):
    for m in mido.merge_tracks(mido.MidiFile(path).tracks):
        d = m.data if m.type == 'sysex' else ()
        # Record bytes 12 and 13 (a signed pair) are data bytes 9 and 10.
        if list(d[:5]) == [0, 0x20, 0x24, 0, 0x1F] and d[5] == channel and d[23] == 0:
            return d[9] if d[9] else -d[10]
    return 'none'


if sys.argv[1] == 'write':
    write(sys.argv[2], *map(int, sys.argv[3:5]))
elif sys.argv[1] == 'volume':
    print(volume(sys.argv[2], int(sys.argv[3])))
else:
    print('same song' if music(sys.argv[2]) == music(sys.argv[3]) else 'different song')
    print(sum(1 for t in mido.MidiFile(sys.argv[3]).tracks for m in t if m.type == 'sysex'))
    print('\n'.join(records(sys.argv[3])))
