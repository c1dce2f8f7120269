#!/usr/bin/python3
"""Reported position against the position heard.

usage: heard_position.py RECORDING TIMES POSITIONS REFERENCE NAME

RECORDING and TIMES come from heard-record (the sink's monitor, 16-bit
stereo, and PulseAudio's timing of it), POSITIONS from `velmar-engine
--positions` (lines "position MS REPORTED": the monotonic clock and the
position the player reported then), REFERENCE is the song as it sounds from
its start (the offline render of a MIDI song, the decoded MP3), all at one
rate. Each hit of the click track (scripts/clicktrack.py) found in the recording is
placed on the monotonic clock and paired with the same hit in the reference
(the one nearest to what the player reported then), which gives its song
time; between two hits heard one after the other the position heard runs
straight (inside a drop-out it is not known, and not counted). For every
report between the first and the last hit heard, the reported position minus
the one heard then: printed for the whole song (median, 5th and 95th
percentile, extremes) and per ten seconds of song. Exit status 1 when no hit
or no report is found.
"""
import array
import bisect
import os
import statistics
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "scripts"))
import clicktrack  # noqa: E402

RATE = clicktrack.RATE


def capture_clock(times_path):
    return clicktrack.capture_clock(times_path)[0]


def percentile(values, p):
    values = sorted(values)
    return values[min(len(values) - 1, max(0, round(p * (len(values) - 1))))]


def main(recording, times, positions, reference, name):
    samples = array.array("h")
    samples.frombytes(open(recording, "rb").read())
    clock = capture_clock(times)
    heard = [clock(i) for i in clicktrack.hits(samples[0::2])[0]]
    song = [i * 1000.0 / RATE for i in clicktrack.hits(clicktrack.left_channel(reference))[0]]
    reports = []
    for line in open(positions):
        parts = line.split()
        if len(parts) == 3 and parts[0] == "position":
            reports.append((float(parts[1]), float(parts[2])))
    if len(heard) < 2 or not reports:
        print(f"{name}: {len(heard)} hits heard, {len(reports)} reports")
        return 1
    # Each hit heard is the song's hit nearest to what the player reported
    # then (hits left out after a drop-out leave gaps).
    paired = []
    for t in heard:
        r = min(reports, key=lambda p: abs(p[0] - t))
        k = min(range(len(song)), key=lambda n: abs(song[n] - r[1]))
        if not paired or k > paired[-1][1]:
            paired.append((t, k))
    # Between two hits heard one after the other, as far apart as in the
    # song, the position heard runs straight; elsewhere (a drop-out) it is
    # not known from the hits.
    diffs, unknown = [], 0
    for at, reported in reports:
        if at < paired[0][0] or at > paired[-1][0]:
            continue
        n = bisect.bisect_right([t for t, _ in paired], at) - 1
        n = min(n, len(paired) - 2)
        (t0, k0), (t1, k1) = paired[n], paired[n + 1]
        if k1 != k0 + 1 or abs((t1 - t0) - (song[k1] - song[k0])) > 0.05 * (song[k1] - song[k0]):
            unknown += 1
            continue
        position = song[k0] + (at - t0) * (song[k1] - song[k0]) / (t1 - t0)
        diffs.append((position, reported - position))
    if not diffs:
        print(f"{name}: no report while the song sounded")
        return 1
    values = [d for _, d in diffs]
    missing = f", {len(song) - len(paired)} left out" if len(paired) < len(song) else ""
    inside = f" ({unknown} inside drop-outs not counted)" if unknown else ""
    print(f"{name}: {len(paired)} hits{missing}, {len(values)} reports{inside}; reported minus heard: "
          f"median {statistics.median(values):+.1f} ms, "
          f"5%..95% {percentile(values, 0.05):+.1f}..{percentile(values, 0.95):+.1f} ms, "
          f"extremes {min(values):+.1f}..{max(values):+.1f} ms")
    line = []
    for ten in range(0, int(diffs[-1][0] // 10000) + 1):
        part = [d for p, d in diffs if ten * 10000 <= p < (ten + 1) * 10000]
        if part:
            line.append(f"{ten * 10}s {statistics.median(part):+.0f} ({min(part):+.0f}..{max(part):+.0f})")
    print("  per 10 s of song: " + ", ".join(line))
    return 0


if __name__ == "__main__":
    if len(sys.argv) != 6:
        sys.exit(__doc__)
    sys.exit(main(*sys.argv[1:]))
