"""When a note is heard in the singer scenario's recording.

heard FILE OFFSET NOTE [MS] [RATE]: the first moment, in ms after byte OFFSET
of FILE (raw 16-bit stereo at RATE, default 48000), around which NOTE is the
loudest of the notes near it and sounds (a 150 ms window, moved 10 ms at a
time, over at most MS ms, default 1500); -1 when it never is.
"""
import array
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import singer_songs  # noqa: E402

WINDOW_MS = 150
STEP_MS = 10


def heard(path, offset, note, span_ms, rate):
    with open(path, 'rb') as f:
        f.seek(offset // 4 * 4)
        data = f.read(rate * 4 * span_ms // 1000)
    a = array.array('h', data[:len(data) // 4 * 4])
    # Mono, every fourth frame: the marks lie far below 6 kHz.
    mono = [(a[i] + a[i + 1]) / 65536.0 for i in range(0, len(a) - 1, 8)]
    view = rate / 4
    width = int(view * WINDOW_MS / 1000)
    step = int(view * STEP_MS / 1000)
    near = range(note - 3, note + 4)
    for start in range(0, max(0, len(mono) - width) + 1, step):
        w = mono[start:start + width]
        if singer_songs.level(w) < singer_songs.SILENT_DB:
            continue
        powers = {n: singer_songs.goertzel(w, view, 440.0 * 2 ** ((n - 69) / 12)) for n in near}
        if max(powers, key=powers.get) == note:
            return int(start * 1000 / view + WINDOW_MS / 2)
    return -1


def main(argv):
    if len(argv) < 5 or argv[1] != 'heard':
        sys.exit(__doc__)
    span = int(argv[5]) if len(argv) > 5 else 1500
    rate = int(argv[6]) if len(argv) > 6 else 48000
    print(heard(argv[2], int(argv[3]), int(argv[4]), span, rate))


if __name__ == '__main__':
    main(sys.argv)
