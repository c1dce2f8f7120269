"""Writes a KAR file made with mido for one named case and what mido makes of
it: row texts and times, syllable times (tick2second over the tempo map) and
where each syllable ends in its row, and the title.

usage: gen_kar_tempo.py CASE OUT.kar OUT.json
"""
import json
import sys

import mido
from midi_gen import to_track

ODD = [500000, 433333, 612345, 371111, 545455]
WORDS = {"latin-1": ["la ", "café ", "di ", "da"], "utf-8": ["ça ", "va ", "très ", "bien"],
         "utf-16": ["ça ", "ñu ", "日本 ", "ok"]}
TITLES = {"latin-1": "Café", "utf-8": "Ça va", "utf-16": "Ça va"}


def mid_bar(tpb, rows=30):
    """A new odd tempo on beat 2 of every bar, syllables on either side of it."""
    return tpb, rows, [(r * 4 * tpb + tpb, ODD[r % 5]) for r in range(rows)], (0, 1, 1.5, 3.25), 4, "latin-1"


# name: ticks per beat, rows, [(tick, tempo)], syllable beats in a row, beats a row, encoding
CASES = {
    "110 BPM for 3 minutes": (480, 83, [(0, 545455)], (0, 1, 2, 3), 4, "latin-1"),
    "2,000,001 us for 2 hours": (96, 225, [(0, 2000001)], (0, 4, 8, 12), 16, "latin-1"),
    "tempo changes in 200 bars": mid_bar(480, 200),
    "UTF-8 lyrics": (480, 4, [(0, 500000)], (0, 1, 2, 3), 4, "utf-8"),
    "UTF-16 lyrics": (480, 4, [(0, 500000)], (0, 1, 2, 3), 4, "utf-16"),
}
CASES.update({"mid-bar tempos at %d" % tpb: mid_bar(tpb) for tpb in (96, 97, 120, 480, 1000)})


def meta_text(text, encoding):
    """mido writes text as Latin-1, so any bytes pass through it unchanged."""
    raw = b"\xff\xfe" + text.encode("utf-16-le") if encoding == "utf-16" else text.encode(encoding)
    return mido.MetaMessage("text", text=raw.decode("latin-1"))


def ms_at(tick, tempos, tpb):
    seconds, last_tick, tempo = 0.0, 0, 500000
    for t, new_tempo in tempos:
        if t > tick:
            break
        seconds += mido.tick2second(t - last_tick, tpb, tempo)
        last_tick, tempo = t, new_tempo
    return (seconds + mido.tick2second(tick - last_tick, tpb, tempo)) * 1000.0


def main():
    name, out_kar, out_json = sys.argv[1:4]
    tpb, row_count, tempos, beats, row_beats, enc = CASES[name]
    end = row_count * row_beats * tpb
    events = [(0, mido.MetaMessage("text", text="@KMIDI KARAOKE FILE")),
              (0, meta_text("@T" + TITLES[enc], enc))]
    rows, syllables, offsets = [], [], []
    for row in range(row_count):
        rows.append({"text": ""})
        for i, beat in enumerate(beats):
            tick = row * row_beats * tpb + int(beat * tpb)
            word = WORDS[enc][i] if i < len(beats) - 1 else WORDS[enc][-1]
            rows[-1]["text"] += word
            rows[-1].setdefault("ms", ms_at(tick, tempos, tpb))
            syllables.append(ms_at(tick, tempos, tpb))
            offsets.append(len(rows[-1]["text"].rstrip()))
            events.append((tick, meta_text(("/" if i == 0 else "") + word, enc)))
    conductor = to_track([(0, mido.MetaMessage("time_signature"))] +
                         [(t, mido.MetaMessage("set_tempo", tempo=us)) for t, us in tempos], end)
    notes = [(b, mido.Message("note_on", note=60, velocity=90)) for b in range(0, end, 4 * tpb)]
    notes += [(b + tpb, mido.Message("note_off", note=60)) for b in range(0, end, 4 * tpb)]
    mido.MidiFile(type=1, ticks_per_beat=tpb, tracks=[conductor, to_track(events), to_track(notes)]).save(out_kar)
    json.dump({"rows": rows, "syllables": syllables, "offsets": offsets, "title": TITLES[enc]},
              open(out_json, "w", encoding="utf-8"), ensure_ascii=False)


if __name__ == "__main__":
    main()
