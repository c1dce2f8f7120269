#!/usr/bin/python3
"""Reads the screen of an end-to-end run (Xvfb, openbox managing it).

    screen_probe.py windows SCREEN_W SCREEN_H
        every mapped window (xwininfo -root -tree) inside the screen; prints
        each one outside and exits 1 when there is one.
    screen_probe.py controls X Y W H
        where the main window (at X,Y, W by H) shows its controls, found on a
        picture of the screen by the colours of its bars: prints
        "NAME X Y" lines (the point to click) for the header buttons, the
        tabs and the library page's controls.

The program draws its bars in fixed colours (header, drag bar and tab bar
rgb(66,66,66), the drag bar's top line rgb(185,185,185), black lines between
the tabs), so the controls are found whatever their texts and the language.
"""
import re
import subprocess
import sys

HEADER = (66, 66, 66)
DRAG_LINE = (185, 185, 185)
PAGE = (239, 239, 239)
WHITE = (255, 255, 255)


def windows(width, height):
    tree = subprocess.run(["xwininfo", "-root", "-tree"], capture_output=True, text=True, check=True).stdout
    # The window manager's own window, which it keeps off the screen.
    check = subprocess.run(["xprop", "-root", "_NET_SUPPORTING_WM_CHECK"], capture_output=True, text=True).stdout
    manager = re.search(r"window id # (0x[0-9a-f]+)", check)
    bad = []
    for line in tree.splitlines():
        m = re.match(r"\s+(0x[0-9a-f]+) (.*?):? \(.*\)\s+(\d+)x(\d+)[+-]-?\d+[+-]-?\d+\s+([+-]-?\d+)([+-]-?\d+)", line)
        if not m or (manager and int(m.group(1), 16) == int(manager.group(1), 16)):
            continue
        wid, name = m.group(1), m.group(2)
        # A window the window manager keeps off the screen reads "+-100".
        w, h, x, y = (int(m.group(i).lstrip("+")) for i in (3, 4, 5, 6))
        info = subprocess.run(["xwininfo", "-id", wid], capture_output=True, text=True).stdout
        if "IsViewable" not in info:
            continue
        if x < 0 or y < 0 or x + w > width or y + h > height:
            bad.append(f"{name} {w}x{h}+{x}+{y}")
    for b in bad:
        print("outside the screen:", b)
    return 1 if bad else 0


class Shot:
    def __init__(self):
        data = subprocess.run(["import", "-window", "root", "-depth", "8", "ppm:-"], capture_output=True, check=True).stdout
        # P6 header: magic, width, height, maximum value, then RGB bytes.
        fields = data.split(maxsplit=4)
        self.w, self.h = int(fields[1]), int(fields[2])
        self.pixels = fields[4]

    def at(self, x, y):
        i = (y * self.w + x) * 3
        return tuple(self.pixels[i:i + 3])

    def runs(self, y, x0, x1, ground, gap=3):
        """Stretches of row y between x0 and x1 not in the ground colour,
        joined across gaps narrower than `gap`."""
        found = []
        for x in range(x0, x1):
            if self.at(x, y) == ground:
                continue
            if found and x - found[-1][1] <= gap:
                found[-1][1] = x
            else:
                found.append([x, x])
        return found

    def first(self, x, y0, y1, colour):
        for y in range(y0, y1):
            if self.at(x, y) == colour:
                return y
        return None


def controls(x, y, w, h):
    s = Shot()
    out = {}
    right = min(x + w, s.w)
    # Header: the buttons from the right are options, user, melody mute,
    # melody channel and volume.
    header = s.runs(y + 25, x, right, HEADER)
    for name, run in zip(["options", "user", "mute", "melody", "volume"], reversed(header)):
        out[name] = ((run[0] + run[1]) // 2, y + 25)
    # Tabs: black lines at their sides, Karaoke's left one first.
    row = y + h - 8
    # The black pixels themselves: a chosen tab's own colour would join a
    # line to its run.
    lines = []
    for xx in range(x, right):
        if s.at(xx, row) != (0, 0, 0):
            continue
        if lines and xx - lines[-1][1] <= 1:
            lines[-1][1] = xx
        else:
            lines.append([xx, xx])
    for name, left, line in zip(["karaoke", "library", "editing", "mixer", "chords"], lines, lines[1:]):
        out[name] = ((left[1] + line[0]) // 2, row)
    # Library page: below the drag bar's top line and 25 pixels of bar.
    drag = s.first(x + 3, y + 60, y + h, DRAG_LINE)
    if drag is not None:
        top = drag + 25
        tabs = s.runs(top + 20, x, right, PAGE)
        if len(tabs) >= 2:
            out["repertoire"] = ((tabs[0][0] + tabs[0][1]) // 2, top + 20)
            out["browse"] = ((tabs[1][0] + tabs[1][1]) // 2, top + 20)
            out["info"] = ((tabs[-2][0] + tabs[-2][1]) // 2, top + 20)
        side = s.first(x + 100, top + 40, y + h, WHITE)
        if side is not None:
            for i, name in enumerate(["all_songs", "recent", "downloaded", "news"]):
                out[name] = (x + 80, side + 10 + 19 + 38 * i)
            out["side_list"] = (x + 80, side + 60)
            # The first user playlist: the row under the dark "Playlists"
            # caption, once the list is scrolled to show it; looked for
            # right of the news logo, which a selected row shows on the
            # same grey.
            caption = s.first(x + 200, side, y + h, HEADER)
            if caption is not None:
                end = next(yy for yy in range(caption, y + h) if s.at(x + 200, yy) != HEADER)
                out["first_playlist"] = (x + 80, end + 19)
            out["first_song"] = (x + w * 3 // 4, side + 20)
        # The edit page's first channel strip, under its 88-pixel header:
        # its instrument name.
        out["strip"] = (x + 200, top + 88 + 44)
        out["unpin"] = (x + w - 13, drag + 12)
    # Bottom row of the library page: its first button is "New Playlist".
    tab_top = next((yy for yy in range(y + h - 1, y, -1) if s.at(x + 3, yy) != HEADER), None)
    if tab_top is not None:
        bottom = [r for r in s.runs(tab_top - 25, x, right, PAGE) if r[1] - r[0] >= 20]
        if bottom:
            out["new_playlist"] = ((bottom[0][0] + bottom[0][1]) // 2, tab_top - 25)
    for name, (px, py) in out.items():
        print(name, px, py)
    return 0


if __name__ == "__main__":
    what = sys.argv[1]
    if what == "windows":
        sys.exit(windows(int(sys.argv[2]), int(sys.argv[3])))
    if what == "controls":
        sys.exit(controls(*map(int, sys.argv[2:6])))
    sys.exit("usage: screen_probe.py windows W H | controls X Y W H")
