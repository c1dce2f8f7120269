"""The presses of the presses scenario, made with xdotool where the program
draws each control (presses.sh runs it).

run WIDGETS WINDOW PID RECORDING RATE SONG CASE
    Double-clicks SONG's row (a text its title holds) in the song list,
    opens the Editing page and presses, where they are drawn, the header's
    Play, Pause and Stop, Melody, the position bar (opened with its button,
    pressed at a part of its width, closed with Escape), and the Editing
    page's key buttons and each channel row's ▶, mute and solo. CASE is
    "recipe" (a fixed sequence, timed from the double-click) or a seed of
    random presses. Then Play, every row ▶, Melody ON, the key back to 0
    and the position bar pressed at its middle. Prints each press as
    "SECONDS WHAT" and lastly "check FROM_MS BAR": where the
    recording (RECORDING, 16-bit stereo at RATE) are to be looked at, and the
    bar (from 1) the song went to; 3 s of it are looked at.
"""
import os
import random
import re
import subprocess
import sys
import time

from widgetlist import WidgetList, check

# The fixed case: seconds from the double-click; rows counted from 1.
RECIPE = """6.0 play · 6.3 pause · 7.5 solo 1 · 9.1 pause · 10.8 stop · 11.9 play · 14.6 pause · 14.9 key- ·
15.1 solo 1 · 16.3 stop · 17.2 play · 18.0 pause · 19.2 pause · 20.4 key- · 20.8 normal 2 · 21.2 pause ·
22.3 melody · 24.2 seek 0.08 · 25.3 seek 0.33 · 26.1 mute 2 · 28.8 stop · 29.6 play · 30.1 key- ·
31.7 play · 32.5 pause · 33.0 melody · 33.2 mute 2 · 34.4 key- · 35.6 normal 3 · 37.2 play ·
37.9 seek 0.37 · 39.5 pause · 40.4 seek 0.57 · 42.1 melody · 42.8 stop · 43.9 play · 44.7 pause ·
44.9 solo 2 · 45.2 normal 3 · 45.4 key+ · 46.6 key+ · 47.3 pause · 47.5 normal 2 · 47.9 pause"""

RANDOM_PRESSES = 16


def now_ms():
    return time.clock_gettime(time.CLOCK_MONOTONIC) * 1000.0


class Window:
    """The program's window as its widget list shows it, pressed through one
    xdotool process (starting one per press would cost tens of ms)."""

    def __init__(self, widgets, window, pid):
        self.window = window
        self.list = WidgetList(widgets, pid)
        self.xdotool = subprocess.Popen(['xdotool', '-'], stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True,
                                        bufsize=1)
        self.read()

    @property
    def entries(self):
        return self.list.entries

    def read(self):
        self.list.read()

    def find(self, name, text=None, kind=None):
        return self.list.find(name, text, kind)

    def text(self, name):
        return self.list.text(name)

    def xdo(self, *args):
        self.xdotool.stdin.write(' '.join(args) + '\ngetmouselocation\n')
        self.xdotool.stdin.flush()
        if not self.xdotool.stdout.readline():
            raise RuntimeError('xdotool ended')

    def press_at(self, x, y, double=False):
        self.xdo('mousemove', str(x), str(y))
        time.sleep(0.03)
        self.xdo('click', '--repeat', '2' if double else '1', '--delay', '80', '1')

    def press(self, name, text=None, kind=None):
        e = self.find(name, text, kind)
        if e is None:
            self.read()
            e = self.find(name, text, kind)
        if e is None:
            raise RuntimeError(f'{name} is not on the screen')
        self.press_at(*e.middle())

    def key(self, name):
        self.xdo('key', name)


class Player:
    def __init__(self, window):
        self.w = window
        self.rows = []

    def find_rows(self):
        """The Editing page's channel rows, top to bottom: each row's
        buttons by where its channel label stands."""
        self.w.read()
        def of_row(name, kind):
            return [e for e in self.w.list.all(name, kind=kind) if '/' + check('ControlTrackSmall') + '/' in e.path]
        labels = sorted(of_row('channelLabel', 'label'), key=lambda e: e.shown[1])
        rows = []
        for label in labels:
            ly = label.middle()[1]
            row = {'channel': label.text}
            for button in ('trackPlayButton', 'muteButton', 'soloButton'):
                near = [e for e in of_row(button, 'control') if abs(e.middle()[1] - ly) < 15]
                if near:
                    row[button] = near[0].shown
            if len(row) == 4:
                rows.append(row)
        self.rows = rows
        return rows

    def row_button(self, row, button):
        x, y, w, h = self.rows[row - 1][button]
        self.w.press_at(x + w // 2, y + h // 2)

    def seek(self, fraction, hold=False):
        self.w.press('fwdButton')
        bar = None
        for _ in range(40):
            self.w.read()
            slider = self.w.find('SeekTrackSlider/horizontalSlider', kind='input')
            if slider:
                break
            time.sleep(0.05)
        else:
            raise RuntimeError('the position bar did not open')
        x, y, w, h = slider.shown
        self.w.xdo('mousemove', str(x + int(w * fraction)), str(y + h // 2))
        self.w.xdo('mousedown', '1')
        for _ in range(10 if hold else 0):
            # Where the bar says the song goes while it is held ("Bar: 9.1").
            self.w.read()
            m = re.match(r'\D*(\d+)\.1$', self.w.text('SeekTrackSlider/timeLeftLabel'))
            if m:
                bar = int(m.group(1))
                break
        self.w.xdo('mouseup', '1')
        time.sleep(0.1)
        self.w.key('Escape')
        if hold and bar is None:
            # Else where the header shows the song went.
            print('the bar held was not read from the position bar; the header\'s is taken', file=sys.stderr,
                  flush=True)
            time.sleep(0.5)
            self.w.read()
            m = re.match(r'(\d+)\.', self.w.text('barNumberLabel'))
            bar = int(m.group(1)) if m else 1
        return bar

    def do(self, what):
        parts = what.split()
        name = parts[0]
        if name == 'play':
            self.w.press('playButton')
        elif name == 'pause':
            self.w.press('pauseButton')
        elif name == 'stop':
            self.w.press('rewButton')
        elif name == 'key+':
            self.w.press('plusButtonKey')
        elif name == 'key-':
            self.w.press('minusButtonKey')
        elif name == 'melody':
            self.w.press('melodyMuteButton')
        elif name == 'seek':
            self.seek(float(parts[1]))
        else:
            button = {'solo': 'soloButton', 'mute': 'muteButton', 'normal': 'trackPlayButton'}[name]
            self.row_button(int(parts[1]), button)

    def key_shown(self):
        self.w.read()
        m = re.search(r'\[([+-]?\d+)\]', self.w.text('labelKey'))
        return int(m.group(1)) if m else 0


def recipe():
    return [(float(at), what) for at, what in (step.strip().split(' ', 1) for step in RECIPE.replace('\n', ' ').split('·'))]


def random_presses(seed, rows):
    rng = random.Random(seed)
    kinds = ['play', 'pause', 'stop', 'key+', 'key-', 'melody', 'seek', 'solo', 'mute', 'normal']
    weights = [3, 4, 2, 1, 1, 1, 2, 3, 3, 3]
    at, steps = 1.5, []
    for _ in range(RANDOM_PRESSES):
        at += rng.choice([0.15, 0.25, 0.4, 0.6, 0.9, 1.3])
        kind = rng.choices(kinds, weights)[0]
        if kind == 'seek':
            # Not near the end: the song must not end before the last press.
            kind += f' {rng.randint(1, 6) / 10:.1f}'
        elif kind in ('solo', 'mute', 'normal'):
            kind += f' {rng.randint(1, rows)}'
        steps.append((round(at, 2), kind))
    return steps


def run(widgets, window, pid, recording, rate, song, case):
    w = Window(widgets, window, pid)
    p = Player(w)
    w.press('LibraryButton')
    time.sleep(0.5)
    w.read()
    item = w.find('songsListview', text=lambda t: song.lower() in t.lower(), kind='item')
    if item is None:
        raise RuntimeError(f'{song} is not in the song list')
    x, y, iw, ih = item.shown
    w.press_at(x + iw // 3, y + ih // 2, double=True)
    start = now_ms()
    time.sleep(0.3)
    w.press('EditButton')
    for _ in range(50):
        if p.find_rows():
            break
        time.sleep(0.1)
    if not p.rows:
        raise RuntimeError('the Editing page shows no channel row')
    steps = recipe() if case == 'recipe' else random_presses(int(case), len(p.rows))
    for at, what in steps:
        while now_ms() - start < at * 1000:
            time.sleep(0.005)
        p.do(what)
        print(f'{(now_ms() - start) / 1000:6.2f} {what}', flush=True)
    # Play (a song stopped shows its rows again as it starts), every row ▶,
    # Melody ON, the key back to 0, the middle of the position bar.
    time.sleep(0.5)
    w.press('playButton')
    time.sleep(0.5)
    for _ in range(50):
        if p.find_rows():
            break
        time.sleep(0.1)
    for row in range(1, len(p.rows) + 1):
        p.row_button(row, 'trackPlayButton')
    for _ in range(3):
        w.read()
        if w.text('melodyMuteButton') == 'Melody ON':
            break
        w.press('melodyMuteButton')
        time.sleep(0.2)
    key = p.key_shown()
    for _ in range(abs(key)):
        w.press('minusButtonKey' if key > 0 else 'plusButtonKey')
        time.sleep(0.15)
    time.sleep(0.8)
    bar = p.seek(0.5, hold=True)
    print(f'{(now_ms() - start) / 1000:6.2f} Play, every row ▶, Melody ON, key 0, the position bar at its middle: '
          f'bar {bar}', flush=True)
    time.sleep(1.5)
    from_ms = os.path.getsize(recording) / 4 / rate * 1000
    print(f'check {from_ms:.0f} {bar}', flush=True)
    w.xdotool.stdin.close()
    w.xdotool.wait()
    return 0


def main(argv):
    if len(argv) == 9 and argv[1] == 'run':
        sys.exit(run(argv[2], argv[3], argv[4], argv[5], int(argv[6]), argv[7], argv[8]))
    sys.exit(__doc__)


if __name__ == '__main__':
    main(sys.argv)
