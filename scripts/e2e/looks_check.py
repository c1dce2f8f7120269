#!/usr/bin/python3
"""Checks what a user sees and reaches, from a picture of the screen and the
program's list of its widgets (VELMAR_WIDGET_DUMP, see widget_check.py).

    looks_check.py contrast PICTURE DUMP [DUMP_BEFORE]
        every text (label, button, line edit, list entry, a box's choice) and
        every icon-only button shown whole on the picture stands out from
        its ground by at least 4.5:1: the ground is the colour most of its
        pixels have (of a button, those of its middle), the ink the
        pixel farthest from it. Disabled controls, logos, and widgets under
        another window are left out; with DUMP_BEFORE (a list written before
        the picture was taken) so is what changed meanwhile (a banner that
        came, a text that moved).
    looks_check.py reach BEFORE AFTER
        every control of the main window shown and enabled in the list
        BEFORE (a button, a list, a box, a slider) is among the widgets that
        took the focus in the list AFTER: a walk with Tab reached it.
    looks_check.py first-window DUMP SCREEN_W SCREEN_H FRAME TITLE ARTIST
        the main window of a start with no stored size fills the screen with
        its window manager's frame (FRAME, "X Y W H"), title bar and all, its
        header shows at least 24 characters of the playing song's TITLE and
        ARTIST, and the library's "Playlists" heading is shown whole.
    looks_check.py focus-seen DUMP SCREEN_W SCREEN_H
        every widget that took the focus in the list (a walk with Tab) stood
        whole on the screen once it had it: inside all that holds it (a
        list's rows scrolled to it) and inside the screen.
    looks_check.py gaps PICTURE DUMP
        no window shows a band of one flat colour across its whole width
        (two pixel lines or more) between parts that it stands out from by
        3:1 on both sides: the window's ground showing through a gap left
        between two parts of a page, as a light line between dark strips.
    looks_check.py picture PICTURE DUMP [DUMP_BEFORE]
        contrast and gaps, the picture read once.
    looks_check.py paused-rows DUMP PLAYING PAUSED
        the lyric rows of the main window's karaoke view (where DUMP places
        it) on the picture PAUSED are as tall and as far apart as on the
        picture PLAYING, and a row is lit on both; prints the figures first.

Each prints one line per fault and exits 1 when there is one.
"""
import hashlib
import subprocess
import sys
from collections import Counter

LEAST = 4.5
# The maker's logo is a name, not a text to read (and the accessibility
# guidelines leave logos out).
LOGOS = ("storeButton",)
# The edit page's activity mark comes and goes with the notes: a picture
# may catch it gone.
BLINKING = ("asteriskLabel",)
# What the mouse does nothing with, or works through what it holds: the
# search box's magnifier (the box takes the words), the logo and the tab
# bar's corner, the lyrics shown, the list of the edit page's channel rows
# (each row's controls take the focus).
NOT_WALKED = ("searchLibraryButton", "storeButton", "OtherButton", "lV_Text", "listInstruments")


class Entry:
    def __init__(self, line):
        f = line.rstrip("\n").split("\t")
        self.kind, self.path, self.text = f[0], f[5], f[6]
        self.at = tuple(map(int, f[4].split()))
        self.visible = tuple(map(int, f[7].split()))
        self.enabled = f[8].startswith("e")
        self.tabbed = "t" in f[8]
        self.id = f[9]
        self.root = self.path.split("/")[0]
        self.name = self.path.split("/")[-1]


def read(dump):
    with open(dump, encoding="utf-8") as f:
        return [Entry(line) for line in f if line.count("\t") >= 9]


def overlaps(a, b):
    return a[0] < b[0] + b[2] and b[0] < a[0] + a[2] and a[1] < b[1] + b[3] and b[1] < a[1] + a[3]


def covered(entry, windows):
    """Whether another window may lie over the entry: pop-ups lie over every
    other window, any window over the main window."""
    x, y = entry.at[:2]
    for w in windows:
        if w.root == entry.root and w.at[0] <= x < w.at[0] + w.at[2] and w.at[1] <= y < w.at[1] + w.at[3]:
            continue
        above = w.text == "popup" or entry.root == "MainWindow"
        if above and overlaps(w.at, entry.visible):
            return True
    return False


def luminance(c):
    def channel(v):
        s = v / 255.0
        return s / 12.92 if s <= 0.03928 else ((s + 0.055) / 1.055) ** 2.4
    return 0.2126 * channel(c[0]) + 0.7152 * channel(c[1]) + 0.0722 * channel(c[2])


class Picture:
    def __init__(self, path):
        size = subprocess.run(["identify", "-format", "%w %h", path], capture_output=True, text=True,
                              check=True).stdout.split()
        self.w, self.h = int(size[0]), int(size[1])
        self.rgb = subprocess.run(["convert", path, "-depth", "8", "rgb:-"], capture_output=True, check=True).stdout
        self.lum = {}

    def standing_out(self, rect):
        x, y, w, h = rect
        x0, y0, x1, y1 = max(x, 0), max(y, 0), min(x + w, self.w), min(y + h, self.h)
        if x1 - x0 < 2 or y1 - y0 < 2:
            return None
        seen = Counter()
        for yy in range(y0, y1):
            row = self.rgb[(yy * self.w + x0) * 3:(yy * self.w + x1) * 3]
            seen.update(row[i:i + 3] for i in range(0, len(row), 3))
        ground = seen.most_common(1)[0][0]
        lg = self.luminance(ground)
        best = 1.0
        for colour in seen:
            lc = self.luminance(colour)
            best = max(best, (max(lc, lg) + 0.05) / (min(lc, lg) + 0.05))
        return best

    def luminance(self, colour):
        if colour not in self.lum:
            self.lum[colour] = luminance(colour)
        return self.lum[colour]


def contrast(picture, dump, before=None):
    entries = read(dump)
    if before:
        held = {(e.kind, e.id, e.at, e.visible, e.text) for e in read(before)}
        entries = [e for e in entries
                   if e.kind in ("window", "input") or (e.kind, e.id, e.at, e.visible, e.text) in held]
    windows = [e for e in entries if e.kind == "window"]
    # A box lists all its entries where it stands; it shows only the current.
    boxes = {(e.id, e.at) for e in entries if e.kind == "input"}
    shot = picture if isinstance(picture, Picture) else Picture(picture)
    faults, done = [], set()
    for e in entries:
        looked = (e.kind in ("label", "button", "edit", "item", "current") and e.text.strip()
                  and (e.kind != "item" or (e.id, e.at) not in boxes)) \
            or (e.kind == "control" and not e.text.strip())
        # A box's entries are all at the box: it is measured once.
        if not looked or not e.enabled or e.name in LOGOS + BLINKING or (e.id, e.visible) in done:
            continue
        done.add((e.id, e.visible))
        x, y, w, h = e.visible
        if w < 2 or h < 2 or x < 0 or y < 0 or x + w > shot.w or y + h > shot.h or covered(e, windows):
            continue
        # A list shows only a sliver of its last entry: no text in sight
        # until it is scrolled to.
        if e.kind == "item" and h < e.at[3] // 2:
            continue
        # An icon or a button's text stands on the button's plate, in the
        # middle of a widget that may be larger than the plate.
        if e.kind in ("control", "button"):
            x, y, w, h = x + w // 5, y + h // 5, w - 2 * (w // 5), h - 2 * (h // 5)
        r = shot.standing_out((x, y, w, h))
        # A button that draws nothing (a corner of a bar) shows no icon.
        blank = e.kind == "control" and r is not None and r < 1.05
        if r is not None and r < LEAST and not blank:
            faults.append(f"faint: {e.path} {e.text[:30]!r} stands out {r:.2f}:1")
    return faults


def reach(before, after):
    focused = {e.id for e in read(after) if e.kind == "focus"}
    faults, done = [], set()
    for e in read(before):
        if e.kind not in ("control", "input") or e.root != "MainWindow" or e.id in done:
            continue
        done.add(e.id)
        x, y, w, h = e.visible
        if not e.enabled or w < 2 or h < 2 or e.name in NOT_WALKED:
            continue
        if e.id not in focused:
            faults.append(f"not reached by Tab: {e.path} {e.text[:30]!r}{'' if e.tabbed else ' (takes no Tab)'}")
    return faults


# Characters of a song's title and artist the header must show at least.
NAME_SHOWN = 24


def first_window(dump, width, height, frame, title, artist):
    """The main window as a first start opens it on a screen without panels
    (no size stored, nothing resized): its window manager's frame ("X Y W
    H", title bar and borders) as large as the screen, the window inside it,
    its header showing at least NAME_SHOWN characters of the song's title
    and artist, the library's side list its "Playlists" heading whole."""
    entries = read(dump)
    faults = []
    screen = (0, 0, int(width), int(height))
    framed = tuple(int(v) for v in frame.split())
    if framed != screen:
        faults.append(f"the main window's frame is {framed}, not the {width}x{height} screen")
    main = [e for e in entries if e.kind == "window" and e.path == "MainWindow"]
    if not main:
        faults.append("the main window is not shown")
    else:
        x, y, w, h = main[0].at
        if x < framed[0] or y < framed[1] or x + w > framed[0] + framed[2] or y + h > framed[1] + framed[3]:
            faults.append(f"the main window {main[0].at} lies outside its frame {framed}")
    for name, full in (("titleLabel", title), ("authorLabel", artist)):
        shown = [e.text for e in entries if e.kind == "label" and e.path.endswith("/lcdFrame/frame/" + name)]
        text = shown[0].removesuffix("\u2026") if shown else ""
        if not full.startswith(text) or len(text) < min(NAME_SHOWN, len(full)):
            faults.append(f"the header's {name} shows {shown[0] if shown else 'nothing'!r}: "
                          f"{len(text)} characters of {full!r}, fewer than {NAME_SHOWN}")
    headings = [e for e in entries
                if e.kind == "label" and e.path.endswith("/playlistListWidget/qt_scrollarea_viewport/QLabel")]
    if not headings:
        faults.append("the side list's playlists heading is not shown")
    for e in headings:
        if e.visible != e.at:
            faults.append(f"the side list's heading {e.text!r} is cut: {e.visible[3]} of {e.at[3]} px shown")
    return faults


def focus_seen(dump, width, height):
    screen = (0, 0, int(width), int(height))
    faults = []
    for e in read(dump):
        if e.kind != "focus":
            continue
        x, y, w, h = e.at
        inside = screen[0] <= x and screen[1] <= y and x + w <= screen[2] and y + h <= screen[3]
        if e.visible != e.at or not inside:
            faults.append(f"out of sight with the focus: {e.path} at {e.at}, {e.visible[2]}x{e.visible[3]} of it shown")
    return faults


# A band this much lighter or darker than what lies on both sides of it
# stands out as a line of its own.
GAP_STANDS_OUT = 3.0


def gaps(picture, dump):
    shot = picture if isinstance(picture, Picture) else Picture(picture)
    faults = []
    for win in read(dump):
        if win.kind != "window":
            continue
        x, y, w, h = win.visible
        x0, x1 = max(x, 0), min(x + w, shot.w)
        rows = range(max(y, 0), min(y + h, shot.h))
        if x1 - x0 < 2 or len(rows) < 4:
            continue
        lines = [shot.rgb[(yy * shot.w + x0) * 3:(yy * shot.w + x1) * 3] for yy in rows]

        def mean(line):
            return sum(shot.luminance(line[i:i + 3]) for i in range(0, len(line), 3)) / (len(line) // 3)

        def ratio(a, b):
            return (max(a, b) + 0.05) / (min(a, b) + 0.05)

        i = 1
        while i < len(lines) - 1:
            line = lines[i]
            if line != line[:3] * (len(line) // 3):
                i += 1
                continue
            end = i
            while end + 1 < len(lines) and lines[end + 1] == line:
                end += 1
            if end - i >= 1 and end + 1 < len(lines):
                band = shot.luminance(line[:3])
                if min(ratio(band, mean(lines[i - 1])), ratio(band, mean(lines[end + 1]))) >= GAP_STANDS_OUT:
                    faults.append(f"a band of #{line[:3].hex()} {end - i + 1} px tall across {win.path} at y "
                                  f"{rows[i]} stands out from the parts above and below it")
            i = end + 1
    return faults


# Ink: the lyrics' white and sung colour against the view's dark ground.
INK = 128


def lyric_rows(picture, rect):
    """(ink height, pitch, lit rows' height, whole rows) of the lyric rows
    whole on the picture in rect: the middle three fifths of its width (the
    view's own buttons lie at its sides), each row a run of pixel lines
    holding ink. Every row of the song has capitals and letters that reach
    below the line, so its ink is as tall as the font."""
    x, y, w, h = rect
    x0, x1 = x + w // 5, x + w - w // 5
    runs, start, sung, lit = [], None, False, set()
    for yy in range(y, y + h):
        row = picture.rgb[(yy * picture.w + x0) * 3:(yy * picture.w + x1) * 3]
        pixels = [row[i:i + 3] for i in range(0, len(row), 3)]
        inked = any(max(p) >= INK for p in pixels)
        if inked and start is None:
            start, sung = yy, False
        if inked and any(p[0] > 200 and p[1] > 160 and p[2] < 80 for p in pixels):
            sung = True
        if not inked and start is not None:
            # A row cut by the view's edge, half scrolled in, is not measured.
            if start > y:
                runs.append((start, yy - start))
                if sung:
                    lit.add(start)
            start = None
    middle = lambda values: sorted(values)[len(values) // 2] if values else 0
    heights = [r[1] for r in runs]
    pitches = [b[0] - a[0] for a, b in zip(runs, runs[1:])]
    return middle(heights), middle(pitches), middle([r[1] for r in runs if r[0] in lit]), len(runs)


def paused_rows(dump, playing, paused):
    views = [e for e in read(dump) if e.kind == "input" and e.root == "MainWindow" and e.name == "lV_Text"]
    if not views:
        return ["the karaoke view is not shown"]
    faults, seen = [], {}
    for name, path in (("playing", playing), ("paused", paused)):
        seen[name] = ink, pitch, lit, rows = lyric_rows(Picture(path), views[0].visible)
        print(f"{name}: {rows} whole rows, ink {ink} px tall, {pitch} px apart, lit rows {lit} px tall")
        if rows < 2 or not lit:
            faults.append(f"{name}: no lit row among two whole rows or more ({path})")
    for i, what in ((0, "ink height"), (1, "row pitch"), (2, "lit rows' height")):
        if abs(seen["paused"][i] - seen["playing"][i]) > 1:
            faults.append(f"paused, the lyrics' {what} is {seen['paused'][i]} px, playing {seen['playing'][i]} px")
    return faults


def lit_row(dump, picture):
    """The lyric row being sung on the picture, the lowest of the karaoke
    view holding the sung colour, told by its ink and the part of it lit:
    a digest of them, which another row's words or syllable change."""
    views = [e for e in read(dump) if e.kind == "input" and e.root == "MainWindow" and e.name == "lV_Text"]
    if not views:
        return ["the karaoke view is not shown"]
    x, y, w, h = views[0].visible
    pic = Picture(picture)
    x0, x1 = x + w // 5, x + w - w // 5
    lines, lowest = [], None
    for yy in range(y, y + h):
        row = pic.rgb[(yy * pic.w + x0) * 3:(yy * pic.w + x1) * 3]
        sung = [row[i] > 200 and row[i + 1] > 160 and row[i + 2] < 80 for i in range(0, len(row), 3)]
        lines.append(bytes((2 if sung[j] else 1) if max(row[3 * j:3 * j + 3]) >= INK else 0 for j in range(len(sung))))
        if any(sung):
            lowest = yy - y
    if lowest is None:
        return ["no lyric row is lit"]
    top = bottom = lowest
    while top > 0 and any(lines[top - 1]):
        top -= 1
    while bottom + 1 < len(lines) and any(lines[bottom + 1]):
        bottom += 1
    print(hashlib.md5(b"".join(lines[top:bottom + 1])).hexdigest())
    return []


def main(argv):
    if len(argv) in (4, 5) and argv[1] == "contrast":
        faults = contrast(*argv[2:])
    elif len(argv) == 4 and argv[1] == "reach":
        faults = reach(argv[2], argv[3])
    elif len(argv) == 8 and argv[1] == "first-window":
        faults = first_window(*argv[2:])
    elif len(argv) == 5 and argv[1] == "focus-seen":
        faults = focus_seen(*argv[2:])
    elif len(argv) == 4 and argv[1] == "gaps":
        faults = gaps(*argv[2:])
    elif len(argv) in (4, 5) and argv[1] == "picture":
        shot = Picture(argv[2])
        faults = contrast(shot, *argv[3:]) + gaps(shot, argv[3])
    elif len(argv) == 5 and argv[1] == "paused-rows":
        faults = paused_rows(*argv[2:])
    elif len(argv) == 4 and argv[1] == "lit-row":
        faults = lit_row(*argv[2:])
    else:
        sys.exit("usage: looks_check.py contrast PICTURE DUMP | reach BEFORE AFTER"
                 " | first-window DUMP SCREEN_W SCREEN_H FRAME TITLE ARTIST | focus-seen DUMP SCREEN_W SCREEN_H"
                 " | gaps PICTURE DUMP | picture PICTURE DUMP [DUMP_BEFORE] | paused-rows DUMP PLAYING PAUSED | lit-row DUMP PICTURE")
    for f in faults:
        print(f)
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
