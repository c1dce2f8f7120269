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

usage: lyrics_timing_lags.py CAPTURE SONGS_JSON EVENTS_JSON CLOCK_LOG OUT_JSON [MAX_LAG_MS]
  SONGS_JSON: {"kar": [[ms, section], ...], "mp3": [...]} (lyrics_timing_songs.py)
  EVENTS_JSON: wall-clock seconds {"kar": capture start, "mp3": the MP3's
  start, "restart": its restart, "end": capture end}, and where the rows
  ("rows": [w, h], from the top left) and the reference ("reference": [x, y,
  w, h]) stand in the capture; the MP3 is measured from its restart on.
  CLOCK_LOG: screen-clock's lines "before after colour".
Exits 1 when a note or a lighting is missing, a syllable lights before its
note or after the next one beyond the calibration error, the reference is
not seen, no lit row shows within 0.5 s of the restart, or, given
MAX_LAG_MS, a lag is over it.
"""
import array
import json
import statistics
import subprocess
import sys

capture, songs_path, events_path, clock_path, out_path = sys.argv[1:6]
max_lag = float(sys.argv[6]) if len(sys.argv) > 6 and sys.argv[6] else None
songs = json.load(open(songs_path))
events = json.load(open(events_path))
RATE = 48000
LEVEL = 1500            # a note's first sample above this (of 32767)
QUIET = 0.03            # seconds below the level before a note
MIN_LIT = 40            # pixels turning yellow in one frame: a syllable lit
MERGE = 0.08            # lightings closer than this are one
RESTART_LIMIT = 0.5
# The sound's packets are stamped as they reach ffmpeg, up to one of its
# fragments after they sounded, and by the same process that stamps the
# frames late; unlike the screen's, that is not measured here: a lighting may
# look that much earlier than it was, or as much as the frames' lateness.
AUDIO_STAMP_MARGIN = 0.025


def run(*args):
    return subprocess.run(args, capture_output=True, check=True).stdout


def probe(stream, entries):
    text = run("ffprobe", "-v", "error", "-select_streams", stream, "-show_entries", "frame=" + entries,
               "-of", "csv=p=0", capture).decode()
    rows = ([float(v) for v in line.split(",") if v] for line in text.split())
    return [row for row in rows if row]


def sound():
    """Onsets in wall-clock seconds. The packets' stamps jitter; the samples
    run at the sink's steady rate from the median of what they say."""
    packets = probe("a:0", "pts_time,nb_samples")
    before, offsets = 0, []
    for pts, n in packets:
        offsets.append(pts - before / RATE)
        before += int(n)
    start = statistics.median(offsets)
    pcm = array.array("h", run("ffmpeg", "-v", "error", "-i", capture, "-map", "0:a:0", "-ac", "1",
                               "-ar", str(RATE), "-f", "s16le", "-"))
    onsets, loud, need = [], -RATE, int(QUIET * RATE)
    for i, v in enumerate(pcm):
        if v > LEVEL or v < -LEVEL:
            if i - loud > need:
                onsets.append(start + i / RATE)
            loud = i
    return onsets, max(offsets) - min(offsets)


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


def measure(name, syllables, notes, lit, end, error, early):
    result = {"count": len(syllables), "notes": len(notes), "lightings": len(lit)}
    if len(notes) != len(syllables) or len(lit) != len(syllables):
        result["error"] = f"{len(syllables)} syllables, {len(notes)} notes heard, {len(lit)} lightings seen"
        return result
    lags = [round((l - n) * 1000, 1) for n, l in zip(notes, lit)]
    # What holds on any machine: each syllable lights once its note sounds
    # and before the next one does.
    for i, (n, l) in enumerate(zip(notes, lit)):
        following = notes[i + 1] if i + 1 < len(notes) else end
        if l < n - error - early or l > following + error:
            result["error"] = (f"syllable {i + 1} lit {(l - n) * 1000:.1f} ms from its note, the next note "
                               f"{(following - n) * 1000:.1f} ms after it (calibration error {error * 1000:.1f} ms, "
                               f"sound stamps up to {early * 1000:.0f} ms late)")
            break
    result.update(lags=lags, median=statistics.median(lags), worst=max(lags, key=abs), sections={})
    for section in dict.fromkeys(s for _, s in syllables):
        part = [lag for lag, (_, s) in zip(lags, syllables) if s == section]
        result["sections"][section] = {"count": len(part), "median": statistics.median(part),
                                       "worst": max(part, key=abs)}
    return result


onsets, jitter = sound()
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
          "songs": {}}
print(f"screen clock: frames stamped {calibration['offset_ms']} ms late (spread {calibration['spread_ms']} ms over "
      f"{calibration['changes']} changes), calibration error {calibration['error_ms']} ms")
ok = True
for name, (start, end) in windows.items():
    notes = [t for t in onsets if start <= t < end]
    result = measure(name, songs[name], notes, lightings(frames, start, end), end, error,
                     max(AUDIO_STAMP_MARGIN, late))
    report["songs"][name] = result
    if "error" in result:
        ok = False
        print(f"{name.upper()}: {result['error']}")
        if "lags" not in result:
            continue
    if max_lag is not None:
        ok = ok and abs(result["worst"]) <= max_lag
    print(f"{name.upper()}: {result['count']} syllables, median lag {result['median']:.1f} ms, "
          f"worst {result['worst']:.1f} ms (frames' stamps taken as they are: median "
          f"{result['median'] + calibration['offset_ms']:.1f} ms, worst {result['worst'] + calibration['offset_ms']:.1f} ms)")
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
