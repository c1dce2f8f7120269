"""Writes a KAR file made with mido for one named case, and the times of its
lyric rows and syllables in milliseconds as mido computes them (tick2second
over the file's tempo map), with the row texts, the title, and

where each syllable ends in its row (in characters).

usage: gen_kar_tempo.py CASE OUT.kar OUT.json
"""
import json
import sys

import mido

ODD_TEMPOS = [500000, 433333, 612345, 371111, 545455]
WORDS = {
    "latin-1": ["la ", "café ", "di ", "da"],
    "utf-8": ["ça ", "va ", "très ", "bien"],
    "utf-16": ["ça ", "ñu ", "日本 ", "ok"],
}


def case(tpb, rows, tempos, syllable_beats=(0, 1, 2, 3), encoding="latin-1", title="Tempo",
         row_beats=4):
    """rows of row_beats beats each, a syllable at each of syllable_beats."""
    return dict(tpb=tpb, rows=rows, tempos=tempos, beats=syllable_beats, encoding=encoding,
                title=title, row_beats=row_beats)


def mid_bar(tpb, bars=30):
    """A new odd tempo on beat 2 of every bar (and a syllable on either side)."""
    return case(tpb, bars, [(b * 4 * tpb + tpb, ODD_TEMPOS[b % 5]) for b in range(bars)],
                syllable_beats=(0, 1, 1.5, 3.25))


CASES = {
    "110 BPM for 3 minutes": case(480, 83, [(0, 545455)]),
    "2,000,001 us for 2 hours": case(96, 225, [(0, 2000001)], syllable_beats=(0, 4, 8, 12),
                                     row_beats=16),
    "mid-bar tempos at 96": mid_bar(96),
    "mid-bar tempos at 97": mid_bar(97),
    "mid-bar tempos at 120": mid_bar(120),
    "mid-bar tempos at 480": mid_bar(480),
    "mid-bar tempos at 1000": mid_bar(1000),
    "tempo changes in 200 bars": mid_bar(480, 200),
    "Latin-1 lyrics": case(480, 4, [(0, 500000)], title="Café"),
    "UTF-8 lyrics": case(480, 4, [(0, 500000)], encoding="utf-8", title="Ça va"),
    "UTF-16 lyrics": case(480, 4, [(0, 500000)], encoding="utf-16", title="Ça va"),
}


def encode(text, encoding):
    if encoding == "utf-16":
        return b"\xff\xfe" + text.encode("utf-16-le")
    return text.encode(encoding)


def meta_text(text, encoding):
    # mido writes text as Latin-1: any bytes pass through unchanged.
    return encode(text, encoding).decode("latin-1")


def ms_at(tick, tempos, tpb):
    seconds, last_tick, tempo = 0.0, 0, 500000
    for t, new_tempo in tempos:
        if t > tick:
            break
        seconds += mido.tick2second(t - last_tick, tpb, tempo)
        last_tick, tempo = t, new_tempo
    seconds += mido.tick2second(tick - last_tick, tpb, tempo)
    return seconds * 1000.0


def delta_track(events):
    track, now = mido.MidiTrack(), 0
    for tick, msg in sorted(events, key=lambda e: e[0]):
        track.append(msg.copy(time=tick - now))
        now = tick
    return track


def main():
    name, out_kar, out_json = sys.argv[1:4]
    c = CASES[name]
    tpb, enc = c["tpb"], c["encoding"]
    row_ticks = c["row_beats"] * tpb
    end = c["rows"] * row_ticks
    mid = mido.MidiFile(type=1, ticks_per_beat=tpb)
    conductor = delta_track([(t, mido.MetaMessage("set_tempo", tempo=us)) for t, us in c["tempos"]])
    conductor.append(mido.MetaMessage("end_of_track", time=end - sum(m.time for m in conductor)))
    mid.tracks.append(conductor)

    events = [(0, mido.MetaMessage("text", text="@KMIDI KARAOKE FILE")),
              (0, mido.MetaMessage("text", text=meta_text("@T" + c["title"], enc)))]
    rows, syllables, offsets = [], [], []
    words = WORDS[enc]
    for row in range(c["rows"]):
        for i, beat in enumerate(c["beats"]):
            tick = row * row_ticks + int(beat * tpb)
            word = words[i % len(words)] if i < len(c["beats"]) - 1 else words[-1]
            if i == 0:
                rows.append({"text": "", "ms": ms_at(tick, c["tempos"], tpb)})
                word = "/" + word
            rows[-1]["text"] += word.lstrip("/")
            syllables.append(ms_at(tick, c["tempos"], tpb))
            offsets.append(len(rows[-1]["text"].rstrip()))
            events.append((tick, mido.MetaMessage("text", text=meta_text(word, enc))))
    mid.tracks.append(delta_track(events))
    notes = [(0, mido.Message("program_change", channel=0, program=0))]
    for beat in range(0, end, 4 * tpb):
        notes.append((beat, mido.Message("note_on", note=60, velocity=90)))
        notes.append((beat + tpb, mido.Message("note_off", note=60, velocity=0)))
    mid.tracks.append(delta_track(notes))
    mid.save(out_kar)
    json.dump({"rows": rows, "syllables": syllables, "offsets": offsets, "title": c["title"]},
              open(out_json, "w", encoding="utf-8"), ensure_ascii=False)


if __name__ == "__main__":
    main()
