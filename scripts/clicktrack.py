#!/usr/bin/python3
"""Click-track timing.

make OUT.mid
    120 equal woodblock hits at 97 BPM (a beat of 618.56 ms, not a whole
    number of milliseconds) over a quiet organ chord held from the first beat
    to the last, so that any dropout of the output shows as silence.
measure FILE NAME [REFERENCE]
    Finds the hits in a recording (raw s16le stereo at 44.1 kHz, or a WAV) and
    prints how many there are, how much their levels vary, how far their
    onsets stand off a straight line (SD), the longest silent gap while the
    chord sounds, how many samples clipped, and, given the offline render as
    REFERENCE, how far each onset stands from the render's once one constant
    delay and the sink's clock rate are taken out (99th percentile and
    maximum). Exit status 1 when no hit is found.
"""
import array
import math
import sys
import wave

RATE = 44100
HITS = 120
BPM = 97
TICKS = 480


def make(path):
    import mido
    mid = mido.MidiFile(ticks_per_beat=TICKS)
    track = mido.MidiTrack()
    mid.tracks.append(track)
    track.append(mido.MetaMessage('set_tempo', tempo=mido.bpm2tempo(BPM), time=0))
    track.append(mido.Message('program_change', channel=0, program=16, time=0))
    track.append(mido.Message('control_change', channel=0, control=7, value=50, time=0))
    chord = (48, 55, 60)
    for i, note in enumerate(chord):
        track.append(mido.Message('note_on', channel=0, note=note, velocity=50, time=TICKS if i == 0 else 0))
    track.append(mido.Message('note_on', channel=9, note=76, velocity=100, time=0))
    track.append(mido.Message('note_off', channel=9, note=76, velocity=0, time=120))
    for _ in range(HITS - 1):
        track.append(mido.Message('note_on', channel=9, note=76, velocity=100, time=360))
        track.append(mido.Message('note_off', channel=9, note=76, velocity=0, time=120))
    for i, note in enumerate(chord):
        track.append(mido.Message('note_off', channel=0, note=note, velocity=0, time=0))
    track.append(mido.MetaMessage('end_of_track', time=2 * TICKS))
    mid.save(path)


def left_channel(path):
    if path.endswith('.wav'):
        with wave.open(path) as w:
            assert w.getsampwidth() == 2 and w.getnchannels() == 2 and w.getframerate() == RATE
            data = w.readframes(w.getnframes())
    else:
        with open(path, 'rb') as f:
            data = f.read()
    samples = array.array('h')
    samples.frombytes(data[:len(data) // 4 * 4])
    return samples[0::2]


def hits(left):
    """Onset frames and peaks: the first sample above a third of the loudest
    after at least 450 ms below it (hits are 618 ms apart; a hit's tail stays
    well below a third within 450 ms)."""
    top = max((abs(v) for v in left), default=0)
    if top == 0:
        return [], []
    threshold = top * 0.3
    quiet = RATE * 450 // 1000
    window = RATE * 30 // 1000
    onsets, levels = [], []
    i, n = 0, len(left)
    while i < n:
        if abs(left[i]) >= threshold:
            onsets.append(i)
            levels.append(max(abs(v) for v in left[i:i + window]))
            i += quiet
        else:
            i += 1
    return onsets, levels


def longest_silence(left, start, end):
    """Longest run of samples within one step of zero between start and end."""
    longest = run = 0
    for v in left[start:end]:
        if -1 <= v <= 1:
            run += 1
            longest = max(longest, run)
        else:
            run = 0
    return longest * 1000 / RATE


def measure(path, name, reference=None):
    left = left_channel(path)
    onsets, levels = hits(left)
    k = len(onsets)
    if k < 2:
        print(f'{name}: {k} hits')
        return 1
    # Least-squares line through onset number -> time.
    mx = (k - 1) / 2
    my = sum(onsets) / k
    sxx = sum((x - mx) ** 2 for x in range(k))
    slope = sum((x - mx) * (y - my) for x, y in zip(range(k), onsets)) / sxx
    res = [(y - (my + slope * (x - mx))) * 1000 / RATE for x, y in zip(range(k), onsets)]
    sd = math.sqrt(sum(r * r for r in res) / k)
    # The chord sounds from the first hit to the end of the last.
    gap = longest_silence(left, onsets[0], onsets[-1] + RATE * 100 // 1000)
    clipped = sum(1 for v in left if v >= 32767 or v <= -32768)
    line = (f'{name}: {k}/{HITS} hits, levels {min(levels) / max(levels) * 100:.1f}-100%, '
            f'onset SD {sd:.2f} ms (max {max(abs(r) for r in res):.2f}), '
            f'beat {slope * 1000 / RATE:.3f} ms (ideal {60000 / BPM:.3f}), longest silence {gap:.1f} ms, '
            f'{clipped} clipped')
    if reference:
        want, _ = hits(left_channel(reference))
        if len(want) == k:
            # One delay, and the sink's clock against the system's (a device
            # runs a little fast or slow), taken out by a least-squares line.
            wx = sum(want) / k
            gy = my
            b = (sum((w - wx) * (g - gy) for w, g in zip(want, onsets))
                 / sum((w - wx) ** 2 for w in want))
            off = sorted(abs(g - (gy + b * (w - wx))) * 1000 / RATE for w, g in zip(want, onsets))
            line += (f', against the render: p99 {off[min(k - 1, math.ceil(0.99 * k) - 1)]:.2f} ms, '
                     f'max {off[-1]:.2f} ms (clock {(b - 1) * 1e6:+.0f} ppm)')
        else:
            line += f', against the render: {len(want)} hits there'
    print(line)
    return 0


if __name__ == '__main__':
    if len(sys.argv) == 3 and sys.argv[1] == 'make':
        make(sys.argv[2])
    elif len(sys.argv) in (4, 5) and sys.argv[1] == 'measure':
        sys.exit(measure(*sys.argv[2:]))
    else:
        sys.exit(__doc__)
