#!/usr/bin/python3
# evening-check on a recording made here: music at -36 dBFS with two holes
# (10 ms and 4 ms of digital silence where it broke off), a pause whose
# tail dies away in bits, a rest it dies away into and a new song's start
# in a silence. The holes are counted, in a passage however quiet; the
# pause, the rest and the gap between songs are not.
# usage: evening_holes.py BIN_DIR
import math, os, struct, subprocess, sys, tempfile

rate = 48000
amp = 32768 * 10 ** (-36 / 20)
frames = []
def tone(seconds, start_gain=1.0, end_gain=1.0):
    n = int(seconds * rate)
    for i in range(n):
        g = start_gain + (end_gain - start_gain) * i / n
        v = int(round(amp * g * math.sin(2 * math.pi * 220 * len(frames) / rate)))
        frames.append(v)
def silence(ms):
    frames.extend([0] * int(ms * rate / 1000))

tone(1.0)
silence(10)          # a hole
tone(0.5)
silence(4)           # a short one
tone(0.5)
pause_at = len(frames) / rate * 1000
tone(0.05, 1.0, 0.0) # paused: the effects' tail dies away in bits
silence(500)
tone(0.02, 0.05, 0.05)
silence(12)
tone(0.02, 0.05, 0.05)
silence(300)
resume_at = len(frames) / rate * 1000
tone(0.5)
tone(0.4, 1.0, 0.0)  # the song's own rest: it dies away
silence(300)
tone(0.5)
song_at = len(frames) / rate * 1000 + 100
silence(500)         # between two songs
tone(0.5)

with tempfile.TemporaryDirectory() as d:
    rec = os.path.join(d, "rec.raw")
    with open(rec, "wb") as f:
        f.write(b"".join(struct.pack("<hh", v, v) for v in frames))
    presses = os.path.join(d, "presses.txt")
    open(presses, "w").write("%d pause\n%d resume\n" % (pause_at, resume_at))
    log = os.path.join(d, "log.txt")
    open(log, "w").write("Info [%d] currSong] LOAD SONG next.kar\n" % int(song_at))
    out = subprocess.run([os.path.join(sys.argv[1], "evening-check"), rec, str(rate), "0", presses, log],
                         capture_output=True, text=True, check=True).stdout
print(out)
holes = [l for l in out.splitlines() if l.startswith("drop-out at")]
assert len(holes) == 2, "expected the two holes, found: %s" % holes
assert "10.0 ms" in holes[0] and "4.0 ms" in holes[1], holes
print("PASS")
