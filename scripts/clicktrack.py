#!/usr/bin/python3
"""Click-track timing.

make OUT.mid
    120 equal woodblock hits at 97 BPM (a beat of 618.56 ms, not a whole
    number of milliseconds) over a quiet organ chord held from the first beat
    to the last, so that any dropout of the output shows as silence.
make-chords OUT.mid
    One organ note struck every two seconds (120 BPM, a bar each) and held
    for 1.9 s, 40 times: the song of `velmar-engine --respond`, whose
    commands fall a second into a note.
measure FILE NAME [REFERENCE]
    Finds the hits in a recording (raw s16le stereo at 44.1 kHz, or a WAV) and
    prints how many there are, how much their levels vary, how far their
    onsets stand off a straight line (SD), the longest silent gap while the
    chord sounds, how many samples clipped, and, given the offline render as
    REFERENCE, how far each onset stands from the render's once one constant
    delay and the sink's clock rate are taken out (99th percentile and
    maximum). Exit status 1 when no hit is found.
respond RECORDING TIMES ACTIONS NAME
    How long each command of `velmar-engine --respond` (ACTIONS: its output,
    lines "action NAME MS") took to be heard in RECORDING and TIMES (from
    heard-record: the sink's monitor and when its frames sounded, on the
    same monotonic clock): from the command to the first sound of the
    change (the note falls below 60 % of its level before, or rises above
    140 % of it), per kind of command the median, the range and the tries.
    Exit status 1 when a command's change is not heard within a second.
SUMMARY=FILE makes measure and respond add their figures to FILE, one JSON
line each; table FILE prints them as one table.
"""
import array
import bisect
import json
import math
import os
import statistics
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


def make_chords(path):
    import mido
    mid = mido.MidiFile(ticks_per_beat=TICKS)
    track = mido.MidiTrack()
    mid.tracks.append(track)
    track.append(mido.MetaMessage('set_tempo', tempo=mido.bpm2tempo(120), time=0))
    track.append(mido.Message('program_change', channel=0, program=16, time=0))
    track.append(mido.Message('control_change', channel=0, control=7, value=110, time=0))
    # A bar's rest first: the start of play is not what is measured.
    gap = TICKS // 10
    for i in range(40):
        track.append(mido.Message('note_on', channel=0, note=72, velocity=100, time=4 * TICKS if i == 0 else gap))
        track.append(mido.Message('note_off', channel=0, note=72, velocity=0, time=4 * TICKS - gap))
    track.append(mido.MetaMessage('end_of_track', time=TICKS))
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


def capture_clock(times_path, rate=RATE):
    """The monotonic ms at which a heard-record recording's frame i sounded,
    and its inverse. A sound server's clock runs apart from the system's
    (hundreds of ppm): the rate comes from the reads, as the median over
    spans of five seconds; and a suspended sink records nothing meanwhile:
    the offset is the median of the reads within two seconds of the frame."""
    reads = []
    for line in open(times_path):
        if line.startswith('#'):
            continue
        frames, ms, latency = line.split()
        reads.append((int(frames), float(ms) - float(latency)))
    reads = reads[20:] or reads
    span = 5 * rate
    slopes, j = [], 0
    for i in range(0, len(reads), 50):
        while j < len(reads) and reads[j][0] - reads[i][0] < span:
            j += 1
        if j < len(reads):
            slopes.append((reads[j][1] - reads[i][1]) / (reads[j][0] - reads[i][0]))
    per_frame = statistics.median(slopes) if slopes else 1000.0 / rate
    frames = [f for f, _ in reads]
    offsets = [ms - f * per_frame for f, ms in reads]

    def offset(i):
        lo = bisect.bisect_left(frames, i - 2 * rate)
        hi = bisect.bisect_right(frames, i + 2 * rate)
        return statistics.median(offsets[lo:hi] or offsets)

    def clock(i):
        return offset(i) + i * per_frame

    def frame(ms):
        i = (ms - offsets[0]) / per_frame
        for _ in range(3):
            i = (ms - offset(i)) / per_frame
        return int(round(i))
    return clock, frame


def summarise(figures):
    if os.environ.get('SUMMARY'):
        with open(os.environ['SUMMARY'], 'a') as f:
            f.write(json.dumps(figures) + '\n')


def holds_change(left, start, block, window=10, before=200, limit=1000):
    """Whether the recording holds all that change_heard looks at."""
    return start - before * block >= 0 and start + (limit + window) * block <= len(left)


def change_heard(left, start, block, window=10, before=200, limit=1000):
    """The frame where a command given at frame START is heard, or None: where
    the level leaves the band it held over BEFORE blocks, within LIMIT blocks
    (a block a millisecond; WINDOW blocks are more than a period of the note).
    None too when there was no music to change."""
    if not holds_change(left, start, block, window, before, limit):
        return None
    first = start - before * block
    peaks = [max(abs(v) for v in left[first + j * block:first + (j + 1) * block])
             for j in range(before + limit + window)]
    level = max(peaks[:before])
    if level < 300:
        return None
    # The first millisecond louder, or the first after which a whole window
    # stays softer.
    for j in range(before, before + limit):
        if peaks[j] > 1.4 * level or max(peaks[j:j + window]) < 0.6 * level:
            return first + j * block
    return None


def respond(recording, times, actions, name):
    samples = array.array('h')
    samples.frombytes(open(recording, 'rb').read()[:os.path.getsize(recording) // 4 * 4])
    left = samples[0::2]
    clock, frame = capture_clock(times)
    block = RATE // 1000              # peaks a millisecond at a time
    tries = {}
    missed = []
    for line in open(actions):
        parts = line.split()
        if len(parts) != 3 or parts[0] != 'action':
            continue
        kind, at = parts[1], float(parts[2])
        heard = change_heard(left, frame(at), block)
        if heard is None:
            missed.append(kind)
            continue
        tries.setdefault(kind, []).append(clock(heard) - at)
    parts, figures = [], {'run': os.environ.get('RUN', ''), 'kind': 'respond'}
    for kind, values in tries.items():
        figures[kind] = statistics.median(values)
        parts.append(f'{kind} {statistics.median(values):.0f} ms ({min(values):.0f}-{max(values):.0f}, '
                     f'{len(values)} tries)')
    lost = f'; not heard within a second: {", ".join(missed)}' if missed else ''
    print(f'{name}: command to heard, median: {"; ".join(parts) or "nothing heard"}{lost}')
    summarise(figures)
    return 1 if missed or not tries else 0


def table(path):
    runs = {}
    for line in open(path):
        figures = json.loads(line)
        runs.setdefault(figures['run'], {}).update(
            {(figures['kind'], k): v for k, v in figures.items() if k not in ('run', 'kind')})
    columns = [('velmar-play', 'hits'), ('velmar-play', 'sd'), ('velmar-play', 'render_max'),
               ('velmar-play', 'silence'), ('velmar-play', 'off_alone'), ('fluidsynth', 'sd'), ('respond', 'stop'), ('respond', 'key'),
               ('respond', 'volume')]
    heads = ['hits', 'SD ms', 'max ms', 'gap ms', 'jumps', 'fluid SD', 'stop ms', 'key ms', 'volume ms']
    print(f'{"run":<14}' + ''.join(f'{h:>10}' for h in heads))
    for run, figures in runs.items():
        cells = []
        for c in columns:
            v = figures.get(c)
            cells.append('-' if v is None else str(v) if isinstance(v, str) else f'{v:.0f}' if c[1] == 'off_alone' or v >= 100 else f'{v:.1f}')
        print(f'{run:<14}' + ''.join(f'{c:>10}' for c in cells))


def silences(left, start, end, least_ms=5.0):
    """(start frame, ms) of each run of samples within one step of zero,
    at least least_ms long, between start and end."""
    found, run, least = [], 0, least_ms * RATE / 1000
    for i in range(start, min(end, len(left))):
        if -1 <= left[i] <= 1:
            run += 1
        else:
            if run >= least:
                found.append((i - run, run * 1000 / RATE))
            run = 0
    return found


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
    figures = {'run': os.environ.get('RUN', ''), 'kind': name.strip().split()[0], 'hits': f'{k}/{HITS}',
               'sd': sd, 'silence': gap, 'off_alone': 0.0}
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
            figures['render_max'] = off[-1]
            line += (f', against the render: p99 {off[min(k - 1, math.ceil(0.99 * k) - 1)]:.2f} ms, '
                     f'max {off[-1]:.2f} ms (clock {(b - 1) * 1e6:+.0f} ppm)')
        else:
            line += f', against the render: {len(want)} hits there'
    detail = ''
    # Where the beat left its line, and whether the sound broke off before:
    # a hit off without a silence before it is the clock's fault.
    gaps = silences(left, onsets[0], onsets[-1] + RATE * 100 // 1000)
    off = [(x, r) for x, r in enumerate(res) if abs(r) > 5]
    if off or gaps:
        def near(x):
            return any(onsets[x] - RATE * 1.5 < g <= onsets[x] for g, _ in gaps)
        alone = [(x, r) for x, r in off if not near(x)]
        figures['off_alone'] = float(len(alone))
        detail = (f'\n    {len(off)} hits more than 5 ms off the line ('
                 + ', '.join(f'{onsets[x] / RATE:.1f} s {r:+.0f} ms' for x, r in off[:8])
                 + (', ...' if len(off) > 8 else '') + f'), {len(alone)} of them without a silence in the 1.5 s before; '
                 + f'{len(gaps)} silences of 5 ms or more ('
                 + ', '.join(f'{g / RATE:.1f} s {ms:.0f} ms' for g, ms in gaps[:8]) + (', ...' if len(gaps) > 8 else '') + ')')
    print(line + detail)
    summarise(figures)
    return 0


if __name__ == '__main__':
    if len(sys.argv) == 3 and sys.argv[1] == 'make':
        make(sys.argv[2])
    elif len(sys.argv) == 3 and sys.argv[1] == 'make-chords':
        make_chords(sys.argv[2])
    elif len(sys.argv) == 6 and sys.argv[1] == 'respond':
        sys.exit(respond(*sys.argv[2:]))
    elif len(sys.argv) == 3 and sys.argv[1] == 'table':
        table(sys.argv[2])
    elif len(sys.argv) in (4, 5) and sys.argv[1] == 'measure':
        sys.exit(measure(*sys.argv[2:]))
    else:
        sys.exit(__doc__)
