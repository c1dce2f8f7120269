"""Lags between the sound and the lyrics in a capture of the karaoke view and
the sink's monitor made by one ffmpeg process (x11grab and pulse, both
stamped by the wall clock, kept with -copyts).

Each note is found in the sound (the first sample above a level after a
stretch below it), each syllable's lighting in the picture (a frame in which
pixels of unsung white turn the highlight's yellow where they stand: a
scroll only moves rows, a syllable lighting changes colour in place). A
song's notes and lightings pair in order; the lag is lighting minus note.

The recorder stamps its frames late, by an amount that varies from one run
to the next: under the rows a reference patch (screen-clock) turns black and
white at wall-clock times it logged, and the median of how late the frames
show those changes is taken off every lighting. Their spread, with half a
frame, is the calibration error.

The recorder stamps its sound late too, by as much again or more: the notes
are taken instead from heard-record, which recorded the same monitor beside
it and placed each frame where the sound server's own timing says it
sounded (the monotonic clock, moved to the wall clock by WALL_OFFSET). How
late the recorder's sound stamps were is printed beside; the spread of the
server's timing is the sound's calibration error.

usage: lyrics_timing_lags.py CAPTURE SONGS_JSON EVENTS_JSON CLOCK_LOG SOUND SOUND_TIMES WALL_OFFSET OUT_JSON
                             [MAX_LAG_MS]
  SONGS_JSON: {"kar": [[ms, section], ...], "mp3": [...]} (lyrics_timing_songs.py)
  EVENTS_JSON: wall-clock seconds {"kar": capture start, "mp3": the MP3's
  start, "restart": its restart, "end": capture end}, and where the rows
  ("rows": [w, h], from the top left) and the reference ("reference": [x, y,
  w, h]) stand in the capture; the MP3 is measured from its restart on.
  CLOCK_LOG: screen-clock's lines "before after colour".
  SOUND, SOUND_TIMES: heard-record's recording (16-bit stereo at 48 kHz)
  and timing of the sink's monitor; WALL_OFFSET: a file holding the wall
  clock less the monotonic one, in ms.
Exits 1 when a note or a lighting is missing, a syllable lights before its
note or after the next one beyond the calibration error, the reference is
not seen, no lit row shows within 0.5 s of the restart, or, given
MAX_LAG_MS, a lag is over it.
"""
import array
import json
import os
import statistics
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
import clicktrack  # noqa: E402

capture, songs_path, events_path, clock_path, sound_path, sound_times, wall_path, out_path = sys.argv[1:9]
max_lag = float(sys.argv[9]) if len(sys.argv) > 9 and sys.argv[9] else None
songs = json.load(open(songs_path))
events = json.load(open(events_path))
RATE = 48000
LEVEL = 1500            # a note's first sample above this (of 32767)
QUIET = 0.03            # seconds below the level before a note
MIN_LIT = 40            # pixels turning yellow in one frame: a syllable lit
MERGE = 0.08            # lightings closer than this are one
RESTART_LIMIT = 0.5
# Onsets of the recorder's sound and of heard-record's are one note when
# this close.
PAIR = 0.1


def run(*args):
    return subprocess.run(args, capture_output=True, check=True).stdout


def probe(stream, entries):
    text = run("ffprobe", "-v", "error", "-select_streams", stream, "-show_entries", "frame=" + entries,
               "-of", "csv=p=0", capture).decode()
    rows = ([float(v) for v in line.split(",") if v] for line in text.split())
    return [row for row in rows if row]


def onsets_of(pcm, start):
    found, loud, need = [], -RATE, int(QUIET * RATE)
    for i, v in enumerate(pcm):
        if v > LEVEL or v < -LEVEL:
            if i - loud > need:
                found.append(start + i / RATE)
            loud = i
    return found


def recorder_sound():
    """Onsets as the recorder stamped them, in wall-clock seconds. The
    packets' stamps jitter; the samples run at the sink's steady rate from
    the median of what they say."""
    packets = probe("a:0", "pts_time,nb_samples")
    before, offsets = 0, []
    for pts, n in packets:
        offsets.append(pts - before / RATE)
        before += int(n)
    start = statistics.median(offsets)
    pcm = array.array("h", run("ffmpeg", "-v", "error", "-i", capture, "-map", "0:a:0", "-ac", "1",
                               "-ar", str(RATE), "-f", "s16le", "-"))
    return onsets_of(pcm, start), max(offsets) - min(offsets)


def heard_sound():
    """Onsets where the sound server says they sounded, in wall-clock
    seconds, and that timing's own spread (the middle 90 % of how far its
    reads stand from the line through them)."""
    wall = float(open(wall_path).read()) / 1000
    samples = array.array("h")
    data = open(sound_path, "rb").read()
    samples.frombytes(data[:len(data) // 4 * 4])
    clock, _ = clicktrack.capture_clock(sound_times, RATE)
    found = [clock(round(t * RATE)) / 1000 + wall for t in onsets_of(samples[0::2], 0.0)]
    reads = []
    for line in open(sound_times):
        frames, ms, latency = line.split()
        reads.append(float(ms) - float(latency) - clock(int(frames)))
    reads = sorted(reads[20:] or reads)
    spread = (reads[int(len(reads) * 0.95)] - reads[int(len(reads) * 0.05)]) / 1000 if reads else 0.0
    return found, spread


def picture():
    """Per frame: its wall-clock time, yellow pixels, and pixels that were
    white in the frame before and are yellow now."""
    times = [t[0] for t in probe("v:0", "pts_time")]
    # Yellow: red and green high, blue low; white: all three high.
    rows_w, rows_h = events["rows"]
    plane = rows_w * rows_h
    lut = (f"crop={rows_w}:{rows_h}:0:0,"
           "lutrgb=r='if(gt(val,150),255,0)':g='if(gt(val,120),255,0)':b='if(lt(val,100),255,0)',format=gbrp")
    decoder = subprocess.Popen(["ffmpeg", "-v", "error", "-i", capture, "-map", "0:v:0", "-vf", lut,
                                "-fps_mode", "passthrough", "-f", "rawvideo", "-"], stdout=subprocess.PIPE)
    frames, previous_white = [], 0
    ones = int.from_bytes(b"\xff" * plane, "little")
    for t in times:
        data = decoder.stdout.read(3 * plane)
        if len(data) < 3 * plane:
            break
        g, b, r = (int.from_bytes(data[k * plane:(k + 1) * plane], "little") for k in range(3))
        yellow = r & g & b
        white = r & g & (ones ^ b)
        frames.append((t, yellow.bit_count() // 8, (previous_white & yellow).bit_count() // 8))
        previous_white = white
    decoder.stdout.close()
    decoder.wait()
    return frames


def reference(times):
    """How late the frames' stamps are: each change of the patch, seen
    between two frames (their midpoint), against the time it was drawn."""
    x, y, w, h = events["reference"]
    decoder = subprocess.Popen(["ffmpeg", "-v", "error", "-i", capture, "-map", "0:v:0", "-vf",
                                f"crop={w}:{h}:{x}:{y},format=gray", "-fps_mode", "passthrough",
                                "-f", "rawvideo", "-"], stdout=subprocess.PIPE)
    seen, last = [], None
    for before, t in zip([None] + times, times):
        data = decoder.stdout.read(w * h)
        if len(data) < w * h:
            break
        white = sum(data) > 128 * w * h
        if last is not None and white != last and before is not None:
            seen.append(((before + t) / 2, white))
        last = white
    decoder.stdout.close()
    decoder.wait()
    drawn = []
    for line in open(clock_path):
        before, after, colour = line.split()
        drawn.append(((float(before) + float(after)) / 2, colour == "1", (float(after) - float(before)) / 2))
    offsets, widest = [], 0.0
    for at, white, half in drawn:
        match = [s for s, c in seen if c == white and -0.02 <= s - at <= 0.12]
        if match:
            offsets.append(match[0] - at)
            widest = max(widest, half)
    if len(offsets) < 10:
        return None
    period = statistics.median(b - a for a, b in zip(times, times[1:]))
    offset = statistics.median(offsets)
    error = max(abs(o - offset) for o in offsets) + widest + period / 2
    return {"offset_ms": round(offset * 1000, 1), "error_ms": round(error * 1000, 1), "changes": len(offsets),
            "spread_ms": round((max(offsets) - min(offsets)) * 1000, 1)}


def lightings(frames, start, end):
    """A syllable lit between the frame before and the frame that shows it:
    the midpoint, within half a frame."""
    found = []
    for (before, _, _), (t, _, turned) in zip(frames, frames[1:]):
        if start <= t < end and turned >= MIN_LIT and (not found or t - found[-1] > MERGE):
            found.append((before + t) / 2)
    return found


def measure(name, syllables, notes, lit, end, error):
    result = {"count": len(syllables), "notes": len(notes), "lightings": len(lit)}
    if len(notes) != len(syllables) or len(lit) != len(syllables):
        result["error"] = f"{len(syllables)} syllables, {len(notes)} notes heard, {len(lit)} lightings seen"
        return result
    lags = [round((l - n) * 1000, 1) for n, l in zip(notes, lit)]
    # What holds on any machine: each syllable lights once its note sounds
    # and before the next one does.
    for i, (n, l) in enumerate(zip(notes, lit)):
        following = notes[i + 1] if i + 1 < len(notes) else end
        if l < n - error or l > following + error:
            result["error"] = (f"syllable {i + 1} lit {(l - n) * 1000:.1f} ms from its note, the next note "
                               f"{(following - n) * 1000:.1f} ms after it (calibration error {error * 1000:.1f} ms)")
            break
    result.update(lags=lags, median=statistics.median(lags), worst=max(lags, key=abs), sections={})
    for section in dict.fromkeys(s for _, s in syllables):
        part = [lag for lag, (_, s) in zip(lags, syllables) if s == section]
        result["sections"][section] = {"count": len(part), "median": statistics.median(part),
                                       "worst": max(part, key=abs)}
    return result


stamped, jitter = recorder_sound()
onsets, sound_error = heard_sound()
# How late the recorder stamped the same notes.
pairs = []
for t in onsets:
    near = min(stamped, key=lambda s: abs(s - t), default=None)
    if near is not None and abs(near - t) < PAIR:
        pairs.append(near - t)
if len(pairs) < 10:
    print(f"the notes heard ({len(onsets)}) and recorded ({len(stamped)}) do not match: the sound's clock is unknown")
    sys.exit(1)
sound_late = statistics.median(pairs)
frames = picture()
calibration = reference([f[0] for f in frames])
if calibration is None:
    print("the reference patch's changes were not seen: the screen's clock is unknown")
    sys.exit(1)
# The lightings on the wall clock: the frames' stamps less how late they are.
late = calibration["offset_ms"] / 1000
frames = [(t - late, yellow, turned) for t, yellow, turned in frames]
error = calibration["error_ms"] / 1000
windows = {"kar": (events["kar"], events["mp3"]), "mp3": (events["restart"], events["end"])}
report = {"audio_stamp_spread_ms": round(jitter * 1000, 1), "frames": len(frames), "screen_clock": calibration,
          "sound_clock": {"recorder_late_ms": round(sound_late * 1000, 1),
                          "recorder_spread_ms": round((max(pairs) - min(pairs)) * 1000, 1),
                          "error_ms": round(sound_error * 1000, 1), "notes": len(pairs)},
          "songs": {}}
print(f"screen clock: frames stamped {calibration['offset_ms']} ms late (spread {calibration['spread_ms']} ms over "
      f"{calibration['changes']} changes), calibration error {calibration['error_ms']} ms")
print(f"sound clock: the recorder stamped the notes {sound_late * 1000:.1f} ms late (spread "
      f"{(max(pairs) - min(pairs)) * 1000:.1f} ms over {len(pairs)} notes); the server's timing within "
      f"{sound_error * 1000:.1f} ms")
ok = True
for name, (start, end) in windows.items():
    notes = [t for t in onsets if start <= t < end]
    result = measure(name, songs[name], notes, lightings(frames, start, end), end, error + sound_error)
    report["songs"][name] = result
    if "error" in result:
        ok = False
        print(f"{name.upper()}: {result['error']}")
        if "lags" not in result:
            continue
    if max_lag is not None:
        ok = ok and abs(result["worst"]) <= max_lag
    print(f"{name.upper()}: {result['count']} syllables, median lag {result['median']:.1f} ms, "
          f"worst {result['worst']:.1f} ms (both recorder's stamps taken as they are: median "
          f"{result['median'] + calibration['offset_ms'] - sound_late * 1000:.1f} ms, worst "
          f"{result['worst'] + calibration['offset_ms'] - sound_late * 1000:.1f} ms)")
    for section, s in result["sections"].items():
        if section != "MP3":
            print(f"  {section}: {s['count']} syllables, median {s['median']:.1f} ms, worst {s['worst']:.1f} ms")

# Restarted, the view lets go of the old song (no yellow) and lights the
# first syllable at the top of the list.
after = [f for f in frames if f[0] >= events["restart"]]
cleared = next((f[0] for f in after if f[1] == 0), None)
shown = next((f[0] for f in after if cleared is not None and f[0] > cleared and f[1] >= 200), None)
report["restart"] = {"cleared": cleared and round(cleared - events["restart"], 3),
                     "lit": shown and round(shown - events["restart"], 3)}
if shown is None or shown - events["restart"] > RESTART_LIMIT:
    ok = False
    print(f"restart: no lit row within {RESTART_LIMIT} s ({report['restart']})")
else:
    print(f"restart: a lit row {shown - events['restart']:.3f} s after the key")
json.dump(report, open(out_path, "w"), indent=1)
print(f"{len(frames)} frames; audio stamps spread {report['audio_stamp_spread_ms']} ms")
sys.exit(0 if ok else 1)
