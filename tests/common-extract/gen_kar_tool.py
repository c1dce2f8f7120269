"""Writes a KAR file with tempo and metre changes on bar lines, and the times
of its lyric rows and syllables in milliseconds as mido computes them.

usage: gen_kar_tool.py OUT.kar OUT.json
"""
import json
import sys

import mido

import gen_kar_tempo
from gen_kar_tempo import delta_track

TPB = 96
out_kar, out_json = sys.argv[1:3]

# (bar, beats per bar, tempo in microseconds per quarter) from that bar on.
SECTIONS = [(0, 4, 500000), (2, 4, 400000), (4, 4, 625000), (6, 3, 500000), (8, 3, 750000)]
BARS = 11


def bar_tick(bar):
    tick = 0
    for b in range(bar):
        beats = [s for s in SECTIONS if s[0] <= b][-1][1]
        tick += beats * TPB
    return tick


def tempo_changes():
    return [(bar_tick(b), t) for b, _, t in SECTIONS]


def ms_at(tick):
    return gen_kar_tempo.ms_at(tick, tempo_changes(), TPB)


mid = mido.MidiFile(type=1, ticks_per_beat=TPB)

events = []
for b, beats, tempo in SECTIONS:
    events.append((bar_tick(b), mido.MetaMessage("set_tempo", tempo=tempo)))
    events.append((bar_tick(b), mido.MetaMessage("time_signature", numerator=beats, denominator=4)))
conductor = delta_track(events)
conductor.append(mido.MetaMessage("end_of_track", time=bar_tick(BARS)))
mid.tracks.append(conductor)

# Rows of syllables: (bar, beat, eighth, text). "\" and "/" open a row.
LYRICS = [
    (0, 1, 0, "\\Hel"), (0, 2, 0, "lo "), (0, 3, 1, "world"),
    (1, 3, 0, "/Sec"), (2, 0, 0, "ond "), (2, 1, 1, "row"),
    (3, 2, 0, "/Tem"), (4, 0, 0, "po "), (4, 2, 1, "change"),
    (5, 1, 0, "/Three "), (6, 0, 0, "four "), (6, 2, 1, "time"),
    (7, 0, 0, "/Slow "), (8, 1, 0, "end "), (9, 2, 1, "here"),
]
events = [(0, mido.MetaMessage("text", text="@KMIDI KARAOKE FILE")),
          (0, mido.MetaMessage("text", text="@TTool test"))]
for bar, beat, eighth, text in LYRICS:
    events.append((bar_tick(bar) + beat * TPB + eighth * TPB // 2, mido.MetaMessage("text", text=text)))
lyrics = delta_track(events)
mid.tracks.append(lyrics)

events = [(0, mido.Message("program_change", channel=0, program=0))]
for b in range(BARS):
    beats = [s for s in SECTIONS if s[0] <= b][-1][1]
    for beat in range(beats):
        t = bar_tick(b) + beat * TPB
        events.append((t, mido.Message("note_on", channel=0, note=60 + beat, velocity=90)))
        events.append((t + TPB // 2, mido.Message("note_off", channel=0, note=60 + beat, velocity=0)))
notes = delta_track(events)
mid.tracks.append(notes)
mid.save(out_kar)

rows, syllables = [], []
for bar, beat, eighth, text in LYRICS:
    tick = bar_tick(bar) + beat * TPB + eighth * TPB // 2
    ms = ms_at(tick)
    if text[0] in "\\/":
        rows.append({"text": "", "ms": ms})
        text = text[1:]
    rows[-1]["text"] += text
    syllables.append(ms)
json.dump({"rows": rows, "syllables": syllables}, open(out_json, "w"))
