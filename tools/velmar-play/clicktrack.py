#!/usr/bin/python3
"""Click-track timing: `make OUT.mid` writes 120 equal woodblock hits at 97 BPM
(a beat of 618.56 ms, not a whole number of milliseconds); `measure FILE NAME`
finds the hits in a recording (raw s16le stereo at 44.1 kHz, or a WAV) and
prints how many there are, how far their onsets stand off a straight line and
how much their levels vary."""
import array
import math
import sys
import wave

RATE = 44100
HITS = 120
BPM = 97


def make(path):
    import mido
    mid = mido.MidiFile(ticks_per_beat=480)
    track = mido.MidiTrack()
    mid.tracks.append(track)
    track.append(mido.MetaMessage('set_tempo', tempo=mido.bpm2tempo(BPM), time=0))
    track.append(mido.Message('note_on', channel=9, note=76, velocity=100, time=480))
    track.append(mido.Message('note_off', channel=9, note=76, velocity=0, time=120))
    for _ in range(HITS - 1):
        track.append(mido.Message('note_on', channel=9, note=76, velocity=100, time=360))
        track.append(mido.Message('note_off', channel=9, note=76, velocity=0, time=120))
    track.append(mido.MetaMessage('end_of_track', time=960))
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


def measure(path, name):
    left = left_channel(path)
    top = max((abs(v) for v in left), default=0)
    if top == 0:
        print(f'{name}: silence')
        return 1
    # Hits are a beat (618 ms) apart; a reverberating tail stays well below
    # a third of a hit within 450 ms.
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
    beat = slope * 1000 / RATE
    print(f'{name}: {k} hits of {HITS}; beat {beat:.3f} ms (ideal {60000 / BPM:.3f}); '
          f'onsets off the line: sd {sd:.2f} ms, max {max(abs(r) for r in res):.2f} ms; '
          f'levels {min(levels) / max(levels) * 100:.1f}% to 100% of the loudest')
    return 0


if __name__ == '__main__':
    if len(sys.argv) == 3 and sys.argv[1] == 'make':
        make(sys.argv[2])
    elif len(sys.argv) == 4 and sys.argv[1] == 'measure':
        sys.exit(measure(sys.argv[2], sys.argv[3]))
    else:
        sys.exit(__doc__)
