"""MIDI helpers the test generators share, all through mido."""
import mido

MAKER = [0x00, 0x20, 0x24, 0x00]


def maker(cmd, payload=()):
    """A maker SysEx record."""
    return mido.Message('sysex', data=MAKER + [cmd] + list(payload))


def to_track(events, end_tick=None):
    """A track of (absolute tick, message) pairs, closed at end_tick at the earliest."""
    track, now = mido.MidiTrack(), 0
    for tick, msg in sorted(events, key=lambda e: e[0]):
        msg = msg.copy()   # copy(time=...) fails on unknown meta messages
        msg.time = tick - now
        track.append(msg)
        now = tick
    track.append(mido.MetaMessage('end_of_track', time=max(now, end_tick or 0) - now))
    return track


def absolute(messages, factor=1):
    """[tick * factor, bytes] of every message, the end of track included."""
    tick, out = 0, []
    for msg in messages:
        tick += msg.time
        out.append([tick * factor, list(msg.bytes())])
    return out
