"""The presses of an evening (scripts/evening.sh), on the program's window.

evening_presses.py DUMP PID SECONDS PRESSES LOG

Every 4-8 s (seeded, so that a run can be repeated): Pause and, 1.5 s later,
Pause again (the song goes on), or, once a song, Stop (the header's rewind)
and Play a second later, or nothing. The places come from the widget list
the program writes into DUMP on SIGUSR1 (pid PID). When the log (LOG) has
loaded no song for 20 s and the header's time stands still, the song list's
first row is double-clicked (Auto Play goes on from there). Each press is
written to PRESSES as "MONOTONIC_MS WHAT", at the moment it is sent.
"""
import os
import random
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "e2e"))
from widgetlist import WidgetList  # noqa: E402

dump, pid, seconds, presses_path, log_path = sys.argv[1], int(sys.argv[2]), float(sys.argv[3]), sys.argv[4], sys.argv[5]
rng = random.Random(int(os.environ.get("SEED", "79")))
out = open(presses_path, "a", buffering=1)


def widgets():
    return WidgetList(dump, pid).read()


def place(rows, name, text=None):
    e = rows.find(name, text=text)
    return e.middle() if e else None


def text_of(rows, name):
    return rows.text(name, kind="label")


def press(what, at, double=False):
    if not at:
        return
    cmd = ["xdotool", "mousemove", str(at[0]), str(at[1]), "click"]
    if double:
        cmd += ["--repeat", "2", "--delay", "80"]
    cmd.append("1")
    out.write(f"{time.monotonic() * 1000:.0f} {what}\n")
    subprocess.run(cmd, check=False)


def loads():
    try:
        with open(log_path, errors="replace") as f:
            return sum(1 for line in f if "LOAD SONG" in line and "UNLOAD" not in line)
    except FileNotFoundError:
        return 0


end = time.monotonic() + seconds
stopped_in = -1
last_loads, last_load_at, last_time, still_since = loads(), time.monotonic(), "", time.monotonic()
while time.monotonic() < end:
    time.sleep(rng.uniform(4, 8))
    rows = widgets()
    now_loads = loads()
    if now_loads != last_loads:
        last_loads, last_load_at = now_loads, time.monotonic()
    shown = text_of(rows, "timeNumberLabel")
    if shown != last_time:
        last_time, still_since = shown, time.monotonic()
    if time.monotonic() - last_load_at > 20 and time.monotonic() - still_since > 10:
        # The list played out: from its first row again.
        first = rows.find("songsListview", kind="item")
        if first:
            press("start", first.middle(), double=True)
            last_load_at = time.monotonic()
        continue
    choice = rng.random()
    if choice < 0.45:
        press("pause", place(rows, "pauseButton"))
        time.sleep(1.5)
        press("resume", place(rows, "pauseButton"))
    elif choice < 0.65 and stopped_in != now_loads:
        stopped_in = now_loads
        press("stop", place(rows, "rewButton"))
        time.sleep(1.0)
        press("play", place(rows, "playButton"))
