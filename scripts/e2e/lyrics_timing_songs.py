"""Songs for the lyric timing scenario, every syllable on a short percussive
note: timing.kar (mido; claves on the drum channel) in sections at 120, 70
and 180 BPM and one whose tempo changes every two beats, and timing.mp3
(clicks by lame, syllables in a SYLT frame by mutagen, the first 0.1 s in).
Prints, as JSON, each song's syllables: {"kar": [[ms, section], ...], "mp3": ...}.

usage: lyrics_timing_songs.py OUTDIR
"""
import json
import math
import os
import struct
import subprocess
import sys
import wave

import mido
from mutagen.id3 import ID3, SYLT, TIT2, Encoding

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
from make_kar import track  # noqa: E402

TPB = 480
WORDS = ["sing", "with", "the", "beat", "one", "more", "time", "go"]
out = sys.argv[1]
os.makedirs(out, exist_ok=True)


def rows_of(count, per_row):
    """Syllable texts, a word each, rows of per_row (the last word of a row
    without its space)."""
    texts = []
    for i in range(count):
        last = i % per_row == per_row - 1 or i == count - 1
        texts.append(WORDS[i % len(WORDS)] + ("" if last else " "))
    return texts, [i % per_row == 0 for i in range(count)]


def kar():
    # (section, tempo changes as (beat, bpm), syllables, per row); a syllable a beat.
    sections = [("120 BPM", [(0, 120)], 8, 4), ("70 BPM", [(0, 70)], 6, 3), ("180 BPM", [(0, 180)], 8, 4),
                ("tempo changes", [(0, 96), (2, 132), (4, 100), (6, 160)], 8, 4)]
    tempo, text, notes, syllables = [], [(0, mido.MetaMessage("text", text="@KMIDI KARAOKE FILE"))], [], []
    tick = TPB   # a beat before the first syllable
    for name, changes, count, per_row in sections:
        for beat, bpm in changes:
            tempo.append((tick + beat * TPB, mido.MetaMessage("set_tempo", tempo=mido.bpm2tempo(bpm))))
        texts, starts = rows_of(count, per_row)
        for i in range(count):
            at = tick + i * TPB
            mark = ("\\" if not syllables else "/") if starts[i] else ""
            text.append((at, mido.MetaMessage("text", text=mark + texts[i])))
            notes.append((at, mido.Message("note_on", channel=9, note=75, velocity=127)))
            notes.append((at + 40, mido.Message("note_off", channel=9, note=75)))
            syllables.append([at, name])
        tick += (count + 1) * TPB
    # The song goes on after its last syllable: a silent event ends it.
    end = tick + TPB
    notes.append((end - TPB // 2, mido.Message("control_change", channel=0, control=1, value=0)))
    mid = mido.MidiFile(type=1, ticks_per_beat=TPB)
    mid.tracks.append(track(tempo + [(0, mido.MetaMessage("track_name", name="Timing KAR"))], end))
    mid.tracks.append(track(text, end))
    mid.tracks.append(track(notes, end))
    path = os.path.join(out, "timing.kar")
    mid.save(path)
    # Milliseconds of each syllable by mido's reading of the tempo map.
    ms, now, at, us = {}, 0.0, 0, mido.bpm2tempo(120)
    for message in mido.merge_tracks(mid.tracks):
        now += mido.tick2second(message.time, TPB, us) * 1000
        at += message.time
        if message.type == "set_tempo":
            us = message.tempo
        ms.setdefault(at, now)
    return [[round(ms[t], 1), name] for t, name in syllables]


def mp3():
    rate, count, per_row = 48000, 12, 3
    times = [100 + 400 * i for i in range(count)]
    samples = [0.0] * (rate * (times[-1] + 600) // 1000)
    for t in times:
        start = t * rate // 1000
        for i in range(rate // 25):
            samples[start + i] = 0.6 * math.sin(2 * math.pi * 2000 * i / rate) * math.exp(-i / (0.008 * rate))
    wav = os.path.join(out, "timing.wav")
    with wave.open(wav, "wb") as w:
        w.setnchannels(2)
        w.setsampwidth(2)
        w.setframerate(rate)
        w.writeframes(b"".join(struct.pack("<hh", int(v * 32767), int(v * 32767)) for v in samples))
    path = os.path.join(out, "timing.mp3")
    subprocess.run(["lame", "--quiet", "-b", "192", wav, path], check=True)
    os.remove(wav)
    texts, starts = rows_of(count, per_row)
    entries = [(texts[i] + ("\n" if i + 1 < count and starts[i + 1] else ""), times[i]) for i in range(count)]
    tags = ID3()
    tags.add(TIT2(encoding=Encoding.UTF8, text=["Timing MP3"]))
    tags.add(SYLT(encoding=Encoding.UTF8, lang="eng", format=2, type=1, desc="", text=entries))
    tags.save(path, v2_version=4)
    return [[t, "MP3"] for t in times]


print(json.dumps({"kar": kar(), "mp3": mp3()}))
