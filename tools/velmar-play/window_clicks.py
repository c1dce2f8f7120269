#!/usr/bin/python3
"""Clicks in the program's window and what was heard after them
(window_clicks.sh runs it).

transpose IN.mid OUT.mid SEMITONES
    The song a number of semitones up.
drive WIDGETS WINDOW TRIES PID
    Clicks the window as a user does, timing each click on the monotonic
    clock heard-record places its frames on, and prints one line per click:
    "action KIND MS" for a command whose time to be heard counts (stop,
    pause, key, volume, mp3-stop, mp3-pause), "mark KIND MS" for the others
    (play, resume, volume-back, change, mp3-resume). WIDGETS is the
    program's widget list (VELMAR_WIDGET_DUMP), asked for again with SIGUSR1
    to PID when a pop-up or a page opens.
measure RECORDING TIMES CLICKS
    Per kind of command: click to heard (median, range, tries), a key change
    by the note heard at the new key rather than the old; the level
    120 ms after each stop and pause, the loudest from there to 1 s, and at
    1 s; whether a held note sounds again after the volume went to 0 and
    back; the largest sample step after each stop, pause, resume and song
    change against the music's own before it, and the dead cuts (full level
    to digital zero).
"""
import array
import os
import statistics
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', '..', 'scripts'))
import clicktrack  # noqa: E402
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', '..', 'scripts', 'e2e'))
from widgetlist import WidgetList, check  # noqa: E402

RATE = clicktrack.RATE
NOTE_MS = 2000      # a note struck every 2 s of song time, held 1.9 s
FIRST_MS = 2000     # after a bar's rest


def now_ms():
    return time.clock_gettime(time.CLOCK_MONOTONIC) * 1000.0


def transpose(src, dst, semitones):
    import mido
    mid = mido.MidiFile(src)
    for track in mid.tracks:
        for msg in track:
            if msg.type in ('note_on', 'note_off'):
                msg.note += int(semitones)
    mid.save(dst)


class Window:
    def __init__(self, widgets, window, pid):
        self.window = window
        self.list = WidgetList(widgets, pid)
        # Where each control was last seen, kept while a pop-up or page is over it.
        self.places = {}
        self.read()

    def read(self, fresh=False):
        for e in self.list.read(fresh).entries:
            if e.kind in ('control', 'button', 'input'):
                self.places[e.path.rsplit('/', 1)[-1]] = e.rect

    def place(self, name):
        if check(name) not in self.places:
            raise LookupError(f'{name} is not on the screen')
        return self.places[name]

    def centre(self, name):
        x, y, w, h = self.place(name)
        return x + w // 2, y + h // 2

    # One xdotool for the whole run, fed a command a line: starting one per
    # click costs tens of milliseconds that would blur the click's time.
    # Each command is followed by one that answers, so the click's time is
    # known within the round trip (a millisecond or two).
    xdotool = None

    def xdo(self, *args):
        if Window.xdotool is None:
            Window.xdotool = subprocess.Popen(['xdotool', '-'], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                              text=True, bufsize=1)
        before = now_ms()
        Window.xdotool.stdin.write(' '.join(args) + '\ngetmouselocation\n')
        Window.xdotool.stdin.flush()
        if not Window.xdotool.stdout.readline():
            raise RuntimeError('xdotool ended')
        return before

    def move(self, x, y):
        # The widget list places on the screen, where a window manager's
        # frame has already moved the window's own area.
        self.xdo('mousemove', str(x), str(y))

    def timed(self, *args):
        # Without xdotool's own pause after a click (100 ms unless told).
        before = self.xdo(*args)
        return (before + now_ms()) / 2

    def click(self, name):
        self.move(*self.centre(name))
        time.sleep(0.05)
        return self.timed('click', '--delay', '0', '1')

    def double_click(self, x, y):
        self.move(x, y)
        time.sleep(0.05)
        return self.timed('click', '--repeat', '2', '--delay', '80', '1')


class Song:
    """Song time from the click that started it (the delay to the sound is
    alike for the start and the later clicks)."""

    def __init__(self):
        self.started, self.at = now_ms(), 0.0

    def play(self, at_click, song_ms=0.0):
        self.started, self.at = at_click, song_ms

    def now(self):
        return self.at + now_ms() - self.started

    def wait(self, song_ms):
        while self.now() < song_ms:
            time.sleep(min(0.005, max(0.0, (song_ms - self.now()) / 1000)))

    def pause(self):
        self.at = self.now()

    def next_note(self, into_ms):
        """Song time `into_ms` into the next note that is at least 0.4 s away."""
        n = max(0, int((self.now() + 400 - FIRST_MS - into_ms) // NOTE_MS) + 1)
        return FIRST_MS + n * NOTE_MS + into_ms


def out(kind, name, ms, key=None):
    print(f'{kind} {name} {ms:.3f}' + (f' {key}' if key is not None else ''), flush=True)


def drive(widgets, window, tries, pid):
    tries = int(tries)
    w = Window(widgets, window, pid)
    lx, ly, lw, lh = w.place('songsListview')
    row = 38  # the list's rows, sorted by title: a-chords, b-fifth, c-chords

    def row_at(i):
        return lx + lw // 3, ly + row * i + row // 2

    song = Song()
    song.play(w.double_click(*row_at(0)))
    out('mark', 'change', song.started)
    def stops(name):
        # Stop, then Play from the start.
        for _ in range(tries):
            song.wait(FIRST_MS + 1000)
            out('action', name, w.click('rewButton'))
            time.sleep(1.3)
            t = w.click('playButton')
            out('mark', 'play', t)
            song.play(t)

    def pauses(name, resume):
        # Pause, then on again a second and a bit later.
        for _ in range(tries):
            song.wait(song.next_note(1000))
            out('action', name, w.click('pauseButton'))
            song.pause()
            time.sleep(1.3)
            t = w.click('pauseButton')
            out('mark', resume, t)
            song.play(t, song.at)

    stops('stop')
    pauses('pause', 'resume')
    # The volume to 0 for 0.6 s within a held note, then back.
    t = w.click('rewButton')
    time.sleep(1.0)
    song.play(w.click('playButton'))
    w.click('volumeButton')
    time.sleep(0.5)
    w.read(fresh=True)
    # The slider's ends: a middle click sets the value where it points.
    sx, sy, sw, sh = w.place('masterVolumeSlider')
    w.move(sx + sw // 2, sy + 2)
    for _ in range(tries):
        song.wait(song.next_note(700))
        w.move(sx + sw // 2, sy + sh - 2)
        out('action', 'volume', w.timed('click', '--delay', '0', '2'))
        song.wait(song.now() + 600)
        w.move(sx + sw // 2, sy + 2)
        out('mark', 'volume-back', w.timed('click', '--delay', '0', '2'))
    w.xdo('key', 'Escape')
    # Key up and down on the Editing page.
    time.sleep(0.5)
    w.click('rewButton')
    time.sleep(1.0)
    w.click('EditButton')
    time.sleep(0.8)
    w.read(fresh=True)
    song.play(w.click('playButton'))
    for i in range(tries):
        song.wait(song.next_note(1000))
        # Up a semitone, then back: the key after the click.
        out('action', 'key', w.click('plusButtonKey' if i % 2 == 0 else 'minusButtonKey'), 1 if i % 2 == 0 else 0)
    w.click('rewButton')
    time.sleep(1.0)
    w.click('LibraryButton')
    time.sleep(1.0)
    # Song changes by double-click, a second into a note.
    song.play(w.double_click(*row_at(0)))
    for i in range(tries):
        song.wait(FIRST_MS + 1000)
        t = w.double_click(*row_at(1 if i % 2 == 0 else 0))
        out('mark', 'change', t)
        song.play(t)
    # The MP3: stop and pause.
    song.wait(FIRST_MS + 1000)
    song.play(w.double_click(*row_at(2)))
    out('mark', 'change', song.started)
    stops('mp3-stop')
    pauses('mp3-pause', 'mp3-resume')
    song.wait(song.now() + 1500)
    w.click('rewButton')
    Window.xdotool.stdin.close()
    Window.xdotool.wait()
    return 0


def key_heard(left, start, old, new, limit_ms=1000):
    """The frame where the song's note (C5 and its harmonics) is heard at
    key `new` rather than `old` semitones from a click at frame START: the
    middle of the first 20 ms window, moved 2 ms at a time, whose harmonics
    two to five are louder at the new pitch than at the old one; None when
    none is within LIMIT_MS."""
    import math
    width, step = int(RATE * 0.02), int(RATE * 0.002)
    hann = [0.5 - 0.5 * math.cos(2 * math.pi * i / (width - 1)) for i in range(width)]

    def power(window, pitch):
        total = 0.0
        for h in range(2, 6):
            k = 2 * math.cos(2 * math.pi * clicktrack_c5(pitch) * h / RATE)
            a = b = 0.0
            for v in window:
                a, b = v + k * a - b, a
            total += a * a + b * b - k * a * b
        return total

    for at in range(start, min(len(left) - width, start + int(RATE * limit_ms / 1000)), step):
        window = [left[at + i] * hann[i] for i in range(width)]
        if power(window, new) > power(window, old) and max(abs(v) for v in left[at:at + width]) > 300:
            return at + width // 2
    return None


def clicktrack_c5(semitones):
    """The song's note, C5, moved by a number of semitones (Hz)."""
    return 523.25 * 2 ** (semitones / 12)


def dbfs(peak):
    import math
    return 20 * math.log10(peak / 32768) if peak > 0 else -96.0


def measure(recording, times, clicks):
    samples = array.array('h')
    samples.frombytes(open(recording, 'rb').read()[:os.path.getsize(recording) // 4 * 4])
    left = samples[0::2]
    clock, frame = clicktrack.capture_clock(times)
    per_ms = RATE / 1000.0
    events, keys = [], {}
    for line in open(clicks):
        parts = line.split()
        if len(parts) in (3, 4) and parts[0] in ('action', 'mark'):
            events.append((parts[0], parts[1], float(parts[2])))
            if len(parts) == 4:
                keys[len(events) - 1] = int(parts[3])

    def span(ms_from, ms_to):
        a, b = max(0, frame(ms_from)), min(len(left), frame(ms_to))
        return left[a:b] if b > a else array.array('h')

    def peak(ms_from, ms_to):
        s = span(ms_from, ms_to)
        return max((abs(v) for v in s), default=0)

    def step(ms_from, ms_to):
        s = span(ms_from, ms_to)
        return max((abs(s[i] - s[i - 1]) for i in range(1, len(s))), default=0)

    def dead_cuts(ms_from, ms_to):
        """Full level to digital zero: a millisecond above 3 % of full scale
        followed by 5 ms of zeros."""
        s = span(ms_from, ms_to)
        n, i, one, five = 0, int(per_ms), int(per_ms), int(5 * per_ms)
        while i + five < len(s):
            if abs(s[i - 1]) > 1000 and all(v == 0 for v in s[i:i + five]):
                n += 1
                i += five
            i += 1
        return n

    heard, levels, steps, cuts, back = {}, {}, {}, {}, []
    missed = []
    key_now = 0
    for i, (kind, name, at) in enumerate(events):
        if kind == 'action':
            start, block = frame(at), int(per_ms)
            if not clicktrack.holds_change(left, start, block):
                missed.append(name)  # the recording does not hold it
                continue
            if name == 'key':
                # By pitch: the note struck again at the new key.
                found = key_heard(left, start, key_now, keys[i])
                key_now = keys[i]
            else:
                found = clicktrack.change_heard(left, start, block)
            if found is None:
                missed.append(name)
            else:
                heard.setdefault(name, []).append(clock(found) - at)
        if name in ('stop', 'pause', 'mp3-stop', 'mp3-pause'):
            levels.setdefault(name, []).append((dbfs(peak(at + 120, at + 140)), dbfs(peak(at + 120, at + 1000)),
                                                dbfs(peak(at + 1000, at + 1020))))
        if name in ('stop', 'pause', 'resume', 'change', 'mp3-stop', 'mp3-pause', 'mp3-resume'):
            # A resume comes out of silence: the music's own is before the
            # pause.
            paused = [a for _, n, a in events if n in ('pause', 'mp3-pause') and a < at]
            ref = paused[-1] if name.endswith('resume') and paused else at
            own = step(ref - 1000, ref - 50)
            window = (at, at + 800)
            if name.endswith('resume'):
                # Where the sound comes back out of the pause's silence.
                s = span(at, at + 1000)
                onset = next((i for i, v in enumerate(s) if abs(v) > 50), None)
                window = (at + onset / per_ms - 2, at + onset / per_ms + 10) if onset is not None else None
            if name == 'change':
                # Where the old song ends (the first 20 ms of silence within
                # 3 s) and the new one starts.
                s = span(at, at + 3000)
                quiet, end = 0, None
                for i, v in enumerate(s):
                    quiet = quiet + 1 if abs(v) < 30 else 0
                    if quiet >= 20 * per_ms:
                        end = i - quiet + 1
                        break
                window = None
                if end is not None:
                    cut = at + end / per_ms
                    onset = next((i for i in range(end, len(s)) if abs(s[i]) > 50), None)
                    ends = step(cut - 30, cut + 30)
                    starts = step(at + onset / per_ms - 2, at + onset / per_ms + 10) if onset is not None else 0
                    if own > 0:
                        steps.setdefault(name, []).append(max(ends, starts) / own)
            if own > 0 and window:
                steps.setdefault(name, []).append(step(*window) / own)
            cuts[name] = cuts.get(name, 0) + dead_cuts(at, at + (3000 if name == 'change' else 800))
        if name == 'volume-back':
            down = [a for k, n, a in events if n == 'volume' and a < at]
            if down:
                before_level = peak(down[-1] - 200, down[-1])
                after_level = peak(at + 300, at + 400)
                back.append(after_level / before_level if before_level else 0.0)

    run = os.environ.get('RUN', '')
    print(f'{run}: click to heard, median (range, tries); level after the click (dBFS: at 120 ms, '
          f'loudest 120 ms-1 s, at 1 s); largest step after the click / the music\'s own before it')
    for name in ('stop', 'pause', 'key', 'volume', 'mp3-stop', 'mp3-pause'):
        v = heard.get(name, [])
        text = (f'{statistics.median(v):4.0f} ms ({min(v):.0f}-{max(v):.0f}, {len(v)} tries)'
                if v else 'not heard')
        if name in levels:
            lv = levels[name]
            text += (f'; level {max(l[0] for l in lv):.0f} / {max(l[1] for l in lv):.0f} / '
                     f'{max(l[2] for l in lv):.0f} dBFS at worst')
        if name in steps:
            text += f'; step x{max(steps[name]):.2f} at worst'
        if cuts.get(name):
            text += f'; {cuts[name]} dead cuts'
        print(f'  {name:10s} {text}')
    for name in ('resume', 'change', 'mp3-resume'):
        if name in steps:
            print(f'  {name:10s} step x{statistics.median(steps[name]):.2f} median, x{max(steps[name]):.2f} at worst '
                  f'({len(steps[name])} tries); {cuts.get(name, 0)} dead cuts')
    if back:
        kept = sum(1 for r in back if r > 0.5)
        print(f'  volume 0 and back: the held note sounds again in {kept} of {len(back)} tries '
              f'(level after / before: {min(back):.2f}-{max(back):.2f})')
    if missed:
        print(f'  not heard within a second: {", ".join(missed)}')
    return 0


if __name__ == '__main__':
    args = sys.argv[1:]
    if len(args) == 4 and args[0] == 'transpose':
        transpose(*args[1:])
    elif len(args) == 5 and args[0] == 'drive':
        sys.exit(drive(*args[1:]))
    elif len(args) == 4 and args[0] == 'measure':
        sys.exit(measure(*args[1:]))
    else:
        print(__doc__)
        sys.exit(2)
