"""Writes a karaoke song from a JSON description {"rows": [["Hel", "lo "], ...],
"chords": ["C", ...], "charset": "utf-8"}, a syllable every half second:
  OUT.kar  with mido, the text in the charset (Latin-1 by default), with each
           row's first syllable a chord (the maker's controller pair 98/100);
  OUT.mp3  a tone by sox and lame, tagged with a SYLT frame in the charset
           by gen_mp3_sylt.py (each row but the last ending in a new line).
Prints the syllables as [[ms, row, text], ...], timed by mido or the frame.

usage: gen_lyrics_song.py OUT JSON
"""
import json
import os
import subprocess
import sys

import mido

out, song = sys.argv[1], json.loads(sys.argv[2])
rows, charset = song["rows"], song.get("charset", "latin1")
times = []
if out.endswith(".mp3"):
    entries = []
    for r, row in enumerate(rows):
        for s, syllable in enumerate(row):
            ms = 500 * (len(times) + 1)
            times.append([ms, r, syllable])
            last = s == len(row) - 1 and r < len(rows) - 1
            entries.append((syllable + ("\n" if last else ""), ms))
    wav, plain = out[:-4] + ".wav", out[:-4] + ".plain.mp3"
    seconds = str(0.5 * (len(times) + 3))
    subprocess.run(["sox", "-n", "-r", "44100", "-c", "2", wav, "synth", seconds, "sine", "440", "vol", "0.3"],
                   check=True)
    subprocess.run(["lame", "--quiet", "-b", "128", wav, plain], check=True)
    # ID3v2.4, UTF-8 (3) or Latin-1 (0), times in milliseconds (2), no picture.
    tagger = os.path.join(os.path.dirname(__file__), "..", "common-extract", "gen_mp3_sylt.py")
    subprocess.run([sys.executable, tagger, plain, out, "4", "3" if charset == "utf-8" else "0", "2", "0",
                    json.dumps(entries)], check=True)
    os.remove(wav)
    os.remove(plain)
else:
    words = mido.MidiTrack([mido.MetaMessage("text", text="@KMIDI KARAOKE FILE")])
    for r, row in enumerate(rows):
        for s, syllable in enumerate(row):
            words.append(mido.MetaMessage("text", text=("/" if r else "\\") + syllable if s == 0 else syllable,
                                          time=96))
            if s == 0 and r < len(song.get("chords", [])):
                chord = [98] + [100] * len(song["chords"][r]), [1] + [ord(c) for c in song["chords"][r]]
                words.extend(mido.Message("control_change", control=c, value=v) for c, v in zip(*chord))
    words.extend([mido.Message("note_on", note=60, velocity=90, time=96), mido.Message("note_off", note=60, time=96)])
    mido.MidiFile(type=1, ticks_per_beat=96, tracks=[words], charset=charset).save(out)
    now, row = 0.0, -1
    for message in mido.MidiFile(out, charset=charset):
        now += message.time
        if message.type == "text" and not message.text.startswith("@"):
            row += message.text[0] in "\\/"
            times.append([round(now * 1000), row, message.text.lstrip("\\/")])
print(json.dumps(times))
