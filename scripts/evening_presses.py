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
import signal
import subprocess
import sys
import time

dump, pid, seconds, presses_path, log_path = sys.argv[1], int(sys.argv[2]), float(sys.argv[3]), sys.argv[4], sys.argv[5]
rng = random.Random(int(os.environ.get("SEED", "79")))
out = open(presses_path, "a", buffering=1)


def widgets():
    try:
        os.remove(dump)
    except FileNotFoundError:
        pass
    os.kill(pid, signal.SIGUSR1)
    for _ in range(50):
        if os.path.exists(dump):
            time.sleep(0.05)
            with open(dump, encoding="utf-8", errors="replace") as f:
                return [line.rstrip("\n").split("\t") for line in f]
        time.sleep(0.1)
    return []


def place(rows, name, text=None):
    for r in rows:
        if len(r) >= 8 and (r[5] == name or r[5].endswith("/" + name)) and (text is None or r[6] == text):
            x, y, w, h = (int(v) for v in r[7].split())
            return x + w // 2, y + h // 2
    return None


def text_of(rows, name):
    for r in rows:
        if len(r) >= 7 and r[0] == "label" and r[5].endswith("/" + name):
            return r[6]
    return ""


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
        first = next((r for r in rows if len(r) >= 8 and r[0] == "item" and r[5].endswith("songsListview")), None)
        if first:
            x, y, w, h = (int(v) for v in first[7].split())
            press("start", (x + w // 2, y + h // 2), double=True)
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
