"""What the end-to-end scenarios check in their recordings and screenshots.

    checks.py song RAW LENGTH MAX_GAP [SHOT...]
        RAW (s16le stereo 48 kHz) sounds as long as the song (LENGTH s,
        within 1 s; 0: just longer than 5 s) with no silence over MAX_GAP s;
        each SHOT shows a lit lyric row. Prints the figures, exits 1 on a fault.
    A SHOT given as FILE@WxH+X+Y is looked at in that part only.
"""
import array
import subprocess
import sys


def sound(raw):
    """(seconds from the first to the last 10 ms block above -50 dBFS,
    longest silence between them in seconds, where it ended)."""
    samples = array.array("h", open(raw, "rb").read())
    block, level = 960, 32768 * 10 ** (-50 / 20)
    loud = [(sum(x * x for x in samples[i:i + block]) / block) ** 0.5 > level
            for i in range(0, len(samples) - block + 1, block)]
    if not any(loud):
        return 0.0, 0.0, 0.0
    first, last = loud.index(True), len(loud) - 1 - loud[::-1].index(True)
    gap = run = at = 0
    for i, on in enumerate(loud[first:last + 1]):
        run = 0 if on else run + 1
        if run > gap:
            gap, at = run, i
    return (last - first + 1) * 0.01, gap * 0.01, at * 0.01


def lit_row(shot):
    """Pixels in the settings' default highlight colour (yellow) and in the
    white of the rows to come."""
    path, _, crop = shot.partition("@")
    command = ["convert", path] + (["-crop", crop] if crop else []) + ["-format", "%c", "histogram:info:-"]
    pixels = subprocess.run(command, capture_output=True, text=True, check=True).stdout
    count = lambda colour: sum(int(l.split(":")[0]) for l in pixels.splitlines() if colour in l)
    return count("#EDCB0C"), count("#FFFFFF")


def song(raw, length, max_gap, shots):
    sounded, gap, at = sound(raw)
    ok = (abs(sounded - length) <= 1.0 if length else sounded > 5) and gap <= max_gap
    print(f"sounded {sounded:.2f} s{f' of {length:.2f} s' if length else ''}, "
          f"longest silence {gap * 1000:.0f} ms (ending {at:.2f} s in)")
    for shot in shots:
        sung, white = lit_row(shot)
        ok = ok and sung > 200 and white > 200
        print(f"sung-colour pixels {sung}, white pixels {white}; screenshot {shot}")
    return ok


if __name__ == "__main__":
    if len(sys.argv) < 5 or sys.argv[1] != "song":
        sys.exit(__doc__)
    good = song(sys.argv[2], float(sys.argv[3]), float(sys.argv[4]), sys.argv[5:])
    print("PASS" if good else "FAIL")
    sys.exit(0 if good else 1)
