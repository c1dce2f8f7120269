"""Songs shaped like the ones users bring (game and arranger songs that
Debian ships), made with mido, and a check of a saved copy of one.

notempo OUT: type 1 at 192 ticks a quarter, five tracks, copyright, text,
track names, port events, program and controller events, notes on channels
1, 2, 10 and 11 for 130 quarters; no tempo event anywhere (so it plays at
120 BPM: 65 seconds).
rec1 OUT: type 0 at 192 ticks a quarter, a tempo of 120 BPM and a time
signature, the same notes on channels 1, 2 and 3, no program change and no
controller: 16 bars.
controllers OUT: type 1; channel 1 sets its bank, pan, reverb and chorus
but no volume, channel 2 sets all five in running status; the bytes B0 07
(a volume controller of channel 1) stand in a text and in the delta times
before a SysEx and before a note under running status, none of them an
event.
check-controllers ORIGINAL SAVED: "ok" when mido reads SAVED and each of its
tracks holds every event of ORIGINAL's at its tick, and beside them only the
maker's settings records and one volume controller (100) of channel 1 at
the head of the first track; else what differs.
"""
import sys
from collections import Counter

import mido

MAKER = [0x00, 0x20, 0x24, 0x00]


def track(events, end):
    events = sorted(events, key=lambda e: e[0]) + [(end, mido.MetaMessage('end_of_track'))]
    ticks = [0] + [tick for tick, _ in events]
    return mido.MidiTrack(msg.copy(time=tick - before) for (tick, msg), before in zip(events, ticks))


def cc(channel, control, value, tick=0):
    return tick, mido.Message('control_change', channel=channel, control=control, value=value)


def beats(channel, count, tpb, base, step=1):
    out = []
    for beat in range(0, count, step):
        key = base + (beat % 4) * 2
        out.append((beat * tpb, mido.Message('note_on', channel=channel, note=key, velocity=96)))
        out.append((beat * tpb + tpb - 8, mido.Message('note_off', channel=channel, note=key)))
    return out


def notempo(path):
    tpb, quarters = 192, 130
    end = quarters * tpb
    song = mido.MidiFile(type=1, ticks_per_beat=tpb)
    song.tracks.append(track([(0, mido.MetaMessage('copyright', text='(c) Practice Room')),
                              (0, mido.MetaMessage('text', text='Sequenced without a tempo')),
                              (0, mido.MetaMessage('time_signature', numerator=4, denominator=4))], end))
    for channel, program, base in ((0, 81, 60), (1, 38, 36), (9, 16, 36), (10, 56, 67)):
        events = [(0, mido.MetaMessage('midi_port', port=0)),
                  (0, mido.MetaMessage('track_name', name='Part %d' % (channel + 1))),
                  (0, mido.Message('program_change', channel=channel, program=program)),
                  cc(channel, 7, 100), cc(channel, 10, 64)]
        song.tracks.append(track(events + beats(channel, quarters, tpb, base), end))
    song.save(path)


def rec1(path):
    tpb, bars = 192, 16
    events = [(0, mido.MetaMessage('set_tempo', tempo=500000)),
              (0, mido.MetaMessage('time_signature', numerator=4, denominator=4))]
    for channel in (0, 1, 2):
        events += beats(channel, bars * 4, tpb, 60)
    mido.MidiFile(type=0, ticks_per_beat=tpb, tracks=[track(events, bars * 4 * tpb)]).save(path)


# A delta of 6151 ticks is written B0 07: the bytes of a volume controller of
# channel 1.
HIDDEN_DELTA = 6151


def controllers(path):
    tpb, quarters = 480, 32
    end = quarters * tpb
    head = [(0, mido.MetaMessage('set_tempo', tempo=500000)),
            (0, mido.MetaMessage('track_name', name='Controllers')),
            (0, mido.MetaMessage('text', text='\xb0\x07\x64 level')),
            (0, mido.Message('sysex', data=[0x41, 0x10, 0x42, 0x12, 0x40, 0x00, 0x7F, 0x00, 0x41])),
            (HIDDEN_DELTA, mido.Message('sysex', data=[0x43, 0x10, 0x4C, 0x00, 0x00, 0x7E, 0x00]))]
    song = mido.MidiFile(type=1, ticks_per_beat=tpb)
    song.tracks.append(track(head, end))
    first = [cc(0, 0, 0), cc(0, 10, 64), cc(0, 91, 40), cc(0, 93, 0),
             (0, mido.Message('program_change', channel=0, program=0))]
    # After its beats, a note HIDDEN_DELTA long ended under running status.
    held = quarters // 2 * tpb
    first += [(held, mido.Message('note_on', channel=0, note=72, velocity=80)),
              (held + HIDDEN_DELTA, mido.Message('note_on', channel=0, note=72, velocity=0))]
    song.tracks.append(track(first + beats(0, quarters // 2, tpb, 60, 2), end))
    second = [cc(1, 0, 0), cc(1, 7, 100), cc(1, 10, 64), cc(1, 91, 40), cc(1, 93, 0),
              (0, mido.Message('program_change', channel=1, program=24))]
    song.tracks.append(track(second + beats(1, quarters, tpb, 48), end))
    song.save(path)


def events(path):
    out = []
    for t in mido.MidiFile(path).tracks:
        now, kept = 0, Counter()
        for m in t:
            now += m.time
            kept[(now, bytes(m.bytes()).hex())] += 1
        out.append(kept)
    return out


def check_controllers(original, saved):
    try:
        ours, theirs = events(original), events(saved)
    except Exception as e:  # mido refuses a broken file
        return 'mido cannot read it: %s' % e
    if len(ours) != len(theirs):
        return 'tracks: %d, were %d' % (len(theirs), len(ours))
    added = []
    for n, (a, b) in enumerate(zip(ours, theirs)):
        lost = a - b
        if lost:
            return 'track %d lost %s' % (n, sorted(lost)[:3])
        for (tick, data), count in (b - a).items():
            raw = bytes.fromhex(data)
            if raw[0] == 0xF0 and list(raw[1:5]) == MAKER and tick == 0 and n == 0:
                continue
            added += [(n, tick, data)] * count
    if added != [(0, 0, 'b00764')]:
        return 'added %s' % added
    return 'ok'


kind = sys.argv[1]
if kind == 'check-controllers':
    print(check_controllers(sys.argv[2], sys.argv[3]))
else:
    {'notempo': notempo, 'rec1': rec1, 'controllers': controllers}[kind](sys.argv[2])
