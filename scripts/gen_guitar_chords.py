#!/usr/bin/python3
"""Writes common-shared/ChordsGuitarTable.cpp: one guitar diagram for each of
the 12 roots x 48 chord types, found by searching standard tuning.

Run by hand after changing the rules below, and commit the output:
    /usr/bin/python3 scripts/gen_guitar_chords.py

A diagram sounds only tones of its chord, has the root as its lowest note,
uses at most four fretting fingers (a barre counts as one) and spans at most
four frets. Among the shapes allowed it takes the one with the best score:
every tone present, then more strings, no gaps, low on the neck, few fingers.
"""

import itertools
import os
import sys

TUNING = [40, 45, 50, 55, 59, 64]  # E2 A2 D3 G3 B3 E4, lowest string first
HIGHEST_START = 12
SPAN = 4

SHARPS = ["C", "C#", "D", "D#", "E", "F", "F#", "G", "G#", "A", "A#", "B"]
DEGREE_SEMITONES = [0, 2, 4, 5, 7, 9, 11, 12, 14, 16, 17, 19, 21]

# Suffix and marked degrees ("b" lowered, "#" raised), in table order.
CHORD_TYPES = [
    ("", "1 3 5"), ("m", "1 b3 5"), ("5", "1 5"), ("(b5)", "1 3 b5"),
    ("7", "1 3 5 b7"), ("M7", "1 3 5 7"), ("m7", "1 b3 5 b7"), ("mM7", "1 b3 5 7"),
    ("7(b5)", "1 3 b5 b7"), ("m7(b5)", "1 b3 b5 b7"), ("M7(b5)", "1 3 b5 7"),
    ("mM7(b5)", "1 b3 b5 7"), ("7aug", "1 3 #5 b7"), ("m7aug", "1 b3 #5 b7"),
    ("M7aug", "1 3 #5 7"), ("dim7", "1 b3 b5 6"), ("7sus4", "1 4 5 b7"),
    ("2", "1 2 3 5"), ("sus2", "1 2 5"), ("sus4", "1 4 5"), ("6", "1 3 5 6"),
    ("6/9", "1 3 5 6 9"), ("m6", "1 b3 5 6"), ("m6/9", "1 b3 5 6 9"),
    ("9", "1 3 5 b7 9"), ("7(b9)", "1 3 5 b7 b9"), ("7(#9)", "1 3 5 b7 #9"),
    ("m9", "1 b3 5 b7 9"), ("m7(b9)", "1 b3 5 b7 b9"), ("m7(#9)", "1 b3 5 b7 #9"),
    ("M9", "1 3 5 7 9"), ("M7(b9)", "1 3 5 7 b9"), ("M7(#9)", "1 3 5 7 #9"),
    ("add9", "1 3 5 9"), ("madd9", "1 b3 5 9"), ("9sus4", "1 4 5 b7 9"),
    ("11", "1 3 5 b7 11"), ("m11", "1 b3 5 b7 11"), ("M11", "1 3 5 7 11"),
    ("add11", "1 3 5 11"), ("madd11", "1 b3 5 11"), ("13", "1 3 5 b7 13"),
    ("m13", "1 b3 5 b7 13"), ("M13", "1 3 5 7 13"), ("add13", "1 3 5 13"),
    ("madd13", "1 b3 5 13"), ("aug", "1 3 #5"), ("dim", "1 b3 b5"),
]

# Rows the chord strip shows without a diagram.
EMPTY_TYPES_ALL_ROOTS = {"m7aug", "M7aug", "m7(#9)"}
EMPTY_ROWS = {(1, "9"), (3, "m7(b5)"), (3, "M7(b5)"), (3, "mM7(b5)"), (3, "M13")}
EMPTY_ROWS |= {(r, "m6/9") for r in range(1, 12)}

# The two diagrams drawn by hand: (fretRow, stringMark, barre row/from/to, baseFret).
FIXED = {
    (0, ""): ([-1, 2, 1, -1, 0, -1], [1, -1, -1, 0, -1, 0], (-1, -1, -1), 0),
    (1, ""): ([-1, 0, 2, 2, 2, -1], [1, -1, -1, -1, -1, 1], (2, 2, 4), 4),
}


def chord_tones(root, degrees):
    tones = []
    for d in degrees.split():
        shift = 0
        if d[0] == "b":
            shift, d = -1, d[1:]
        elif d[0] == "#":
            shift, d = 1, d[1:]
        tones.append((int(d), (root + DEGREE_SEMITONES[int(d) - 1] + shift) % 12))
    return tones


def fingering(frets):
    """(fingers, barre) for the fretted strings; barre is (fret, from, to) or None."""
    fretted = [(s, f) for s, f in enumerate(frets) if f > 0]
    if len(fretted) <= 4:
        return len(fretted), None
    best = None
    for fb in sorted({f for _, f in fretted}):
        on = [s for s, f in fretted if f == fb]
        if len(on) < 2:
            continue
        lo, hi = min(on), max(on)
        if any(frets[s] < fb for s in range(lo, hi + 1)):
            continue  # an open, muted or lower string inside the barre
        if any(f < fb and s > lo for s, f in fretted):
            continue  # a lower fret beyond the barre cannot be reached
        fingers = 1 + sum(1 for s, f in fretted if not (lo <= s <= hi and f == fb))
        if best is None or fingers < best[0]:
            best = (fingers, (fb, lo, hi))
    return best if best else (len(fretted), None)


def score(frets, tones, root):
    sounding = [s for s, f in enumerate(frets) if f >= 0]
    pcs = {(TUNING[s] + frets[s]) % 12 for s in sounding}
    all_pcs = {pc for _, pc in tones}
    fingers, barre = fingering(frets)
    fretted = [f for f in frets if f > 0]
    lowest = min(fretted) if fretted else 0
    gaps = (max(sounding) - min(sounding) + 1) - len(sounding)
    value = 0
    value += 100 if pcs == all_pcs else 0
    value += 10 * len(sounding)
    value -= 25 * gaps
    value -= 3 * fingers
    value -= 4 if barre else 0
    value -= 2 * lowest
    # Doubling a tone other than the root or fifth thickens the sound.
    for pc in pcs:
        count = sum(1 for s in sounding if (TUNING[s] + frets[s]) % 12 == pc)
        if count > 1 and pc not in (root, (root + 7) % 12):
            value -= 3 * (count - 1)
    return value


def candidates(root, tones, required, allow_gaps):
    allowed = {pc for _, pc in tones}
    starts = [0] + list(range(2, HIGHEST_START + 1))
    for start in starts:
        window = range(1, SPAN + 1) if start == 0 else range(start, start + SPAN)
        options = []
        for open_note in TUNING:
            opts = [-1]
            if start == 0 and open_note % 12 in allowed:
                opts.append(0)
            opts += [f for f in window if (open_note + f) % 12 in allowed]
            options.append(opts)
        for frets in itertools.product(*options):
            sounding = [s for s, f in enumerate(frets) if f >= 0]
            if len(sounding) < max(3, len(required)):
                continue
            if (TUNING[sounding[0]] + frets[sounding[0]]) % 12 != root:
                continue
            if not allow_gaps and sounding[-1] - sounding[0] + 1 != len(sounding):
                continue
            pcs = {(TUNING[s] + frets[s]) % 12 for s in sounding}
            if not required <= pcs:
                continue
            fretted = [f for f in frets if f > 0]
            if fretted and max(fretted) - min(fretted) >= SPAN:
                continue
            if fingering(frets)[0] > 4:
                continue
            yield frets


def best_shape(root, degrees):
    tones = chord_tones(root, degrees)
    every = {pc for _, pc in tones}
    fifth = (root + 7) % 12
    # Five-tone chords may leave out a perfect fifth; so may any chord at last.
    tries = []
    if len(every) >= 5 and (5, fifth) in tones:
        tries.append(every - {fifth})
    else:
        tries.append(every)
        if (5, fifth) in tones and len(every) > 2:
            tries.append(every - {fifth})
    for required in tries:
        for allow_gaps in (False, True):
            best = None
            for frets in candidates(root, tones, required, allow_gaps):
                value = score(frets, tones, root)
                if best is None or value > best[0]:
                    best = (value, frets)
            if best:
                return best[1]
    raise SystemExit("no playable shape for %s%s" % (SHARPS[root], degrees))


def diagram(frets):
    fretted = [f for f in frets if f > 0]
    base = 0 if not fretted or max(fretted) <= SPAN else min(fretted)
    first = 1 if base == 0 else base
    fret_row = [f - first if f > 0 else -1 for f in frets]
    marks = [1 if f < 0 else 0 if f == 0 else -1 for f in frets]
    _, barre = fingering(list(frets))
    barre_cells = (barre[0] - first, barre[1], barre[2]) if barre else (-1, -1, -1)
    return fret_row, marks, barre_cells, base


def c_list(values):
    return "{" + ", ".join("%d" % v for v in values) + "}"


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    out_path = os.path.join(here, "..", "common-shared", "ChordsGuitarTable.cpp")
    lines = [
        "// Generated by scripts/gen_guitar_chords.py from standard tuning; edit the",
        "// script and run it again rather than editing this table.",
        '#include "ChordsParser.h"',
        "",
        "// Row = root * CHORD_TYPES + type, roots from C in sharps.",
        "const S_GUITAR_CHORD kGuitarChord[GUITAR_CHORDS] = {",
    ]
    filled = 0
    for root in range(12):
        for suffix, degrees in CHORD_TYPES:
            if suffix in EMPTY_TYPES_ALL_ROOTS or (root, suffix) in EMPTY_ROWS:
                lines.append('    {"", {-1, -1, -1, -1, -1, -1}, {-1, -1, -1, -1, -1, -1}, -1, -1, -1, 0},')
                continue
            filled += 1
            if (root, suffix) in FIXED:
                fret_row, marks, barre, base = FIXED[(root, suffix)]
            else:
                fret_row, marks, barre, base = diagram(best_shape(root, degrees))
            name = SHARPS[root] + suffix
            lines.append('    {"%s", %s, %s, %d, %d, %d, %d},'
                         % (name, c_list(fret_row), c_list(marks), barre[0], barre[1], barre[2], base))
    lines.append("};")
    with open(out_path, "w") as f:
        f.write("\n".join(lines) + "\n")
    print("%d diagrams written to %s" % (filled, os.path.normpath(out_path)), file=sys.stderr)


if __name__ == "__main__":
    main()
