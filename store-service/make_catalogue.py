#!/usr/bin/python3
"""Makes the local store's catalogue: three songs of our own, banner pictures,
and the account and versions the store answers with.

    /usr/bin/python3 make_catalogue.py OUT_DIR [--soundfont SF2]

OUT_DIR/catalogue.json describes everything; the files land in OUT_DIR/files/
and OUT_DIR/img/. The songs:
  - a KAR file with karaoke lyrics and XF chords, the melody on channel 4;
  - an MP3 rendered by fluidsynth and encoded by lame, its syllables in a
    SYLT frame, with a CD+G companion of the same name that draws the lyric
    rows and colours each syllable as it is sung;
  - a MIDI file with FF 05 lyrics and its melody on channel 4, the channel
    the player's melody button mutes.
Nothing is remade when catalogue.json is newer than this script.
"""
import argparse
import json
import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import wave
import zlib

import mido
from mutagen.id3 import ID3, SYLT, TBPM, TCOM, TCON, TIT2, TKEY, TPE1, Encoding

TPB = 480
HERE = os.path.dirname(os.path.abspath(__file__))
DEFAULT_BANK = "/usr/share/sounds/sf2/TimGM6mb.sf2"

# Chord roots as semitones above C and XF root codes (natural: high nibble 3).
ROOTS = {"C": (0, 0x31), "D": (2, 0x32), "E": (4, 0x33), "F": (5, 0x34), "G": (7, 0x35), "A": (9, 0x36),
         "B": (11, 0x37)}
MINOR_XF, MAJOR_XF = 8, 0

SONGS = [
    {
        "file": "Velmar Demo Band - Evening Lights.kar", "kind": "kar",
        "title": "Evening Lights", "artist": "Velmar Demo Band", "authors": "Velmar Demo Band",
        "genre": "Pop", "bpm": 100, "key": "C", "productid": 9001, "songid": 701,
        "chords": ["C", "G", "Am", "F"],
        "rows": ["Eve-ning lights a-long the bay", "Car-ry all my cares a-way",
                 "Sing with me and hold the tune", "Un-der-neath the sil-ver moon",
                 "Ev-ery step and ev-ery line", "Ev-ery voice will sound so fine"],
    },
    {
        "file": "Nora Vell - Harbour Song.mp3", "kind": "mp3",
        "title": "Harbour Song", "artist": "Nora Vell", "authors": "Nora Vell",
        "genre": "Folk", "bpm": 92, "key": "G", "productid": 9002, "songid": 702,
        "chords": ["G", "Em", "C", "D"],
        "rows": ["Morn-ing boats are sail-ing out", "Gulls are call-ing all a-bout",
                 "Light the lamp and wait for me", "I will come a-cross the sea"],
    },
    {
        "file": "The Practice Room - Open Road.mid", "kind": "mid",
        "title": "Open Road", "artist": "The Practice Room", "authors": "The Practice Room",
        "genre": "Rock", "bpm": 112, "key": "F", "productid": 9003, "songid": 703,
        "chords": ["F", "C", "Dm", "Bb"],
        "rows": ["O-pen road be-neath my feet", "Drum-ming out a stead-y beat",
                 "Ev-ery mile a-noth-er song", "Come a-long and sing a-long"],
    },
]

BANNERS = [
    {"image": "banner-note.png", "title": "Three songs to start with", "subtitle": "In News of the week",
     "background_color": "#1f3b57", "title_color": "#ffffff", "subtitle_color": "#cfe3f5", "link": "/news/"},
    {"image": "banner-microphone.png", "title": "Sing in your own key", "subtitle": "Key and tempo on the Editing page",
     "background_color": "#40264d", "title_color": "#ffffff", "subtitle_color": "#ead5f2", "link": "/news/"},
]


def program_version():
    with open(os.path.join(HERE, "..", "CMakeLists.txt")) as f:
        return re.search(r"project\(VelmarPC VERSION ([0-9.]+)", f.read()).group(1)


# -- the music -------------------------------------------------------------

def chord_notes(name):
    """Root (semitones above C), triad offsets and the XF code of a chord name
    like "Am" or "Bb"."""
    root, xf_root = ROOTS[name[0]]
    rest = name[1:]
    if rest.startswith("b"):
        root, xf_root, rest = root - 1, (xf_root & 0x0F) | 0x20, rest[1:]
    minor = rest == "m"
    return root % 12, (0, 3, 7) if minor else (0, 4, 7), (xf_root, MINOR_XF if minor else MAJOR_XF)


def syllables(row):
    """"Eve-ning lights" -> ["Eve", "ning ", "lights"]; a space ends each word
    but the row's last."""
    words = row.split(" ")
    out = []
    for w, word in enumerate(words):
        parts = word.split("-")
        for p, part in enumerate(parts):
            last_of_word = p == len(parts) - 1
            out.append(part + (" " if last_of_word and w < len(words) - 1 else ""))
    return out


def arrange(song):
    """The song as timed events: each lyric row takes two bars, one chord a
    bar, after a bar of introduction on the last chord. Returns (end tick, melody notes with their
    syllables, accompaniment notes, chords by bar, rows of (tick, syllable))."""
    chords = song["chords"]
    melody, backing, chord_at, rows = [], [], [], []
    bar = TPB * 4
    start = bar
    for r, row in enumerate(song["rows"]):
        texts = syllables(row)
        n = len(texts)
        # Syllables on eighths from the first beat, the last one held.
        step = TPB // 2 if n > 6 else TPB
        at = start + r * 2 * bar
        row_events = []
        for i, text in enumerate(texts):
            tick = at + i * step
            length = step - 20 if i < n - 1 else at + 7 * TPB - tick
            chord = chords[((tick - start) // bar) % len(chords)]
            root, triad, _ = chord_notes(chord)
            pitch = 60 + root + triad[(i + r) % 3]
            if pitch > 74:
                pitch -= 12
            melody.append((tick, length, pitch))
            row_events.append((tick, text))
        rows.append(row_events)
    bars = len(song["rows"]) * 2 + 2
    end = bars * bar
    for b in range(0, bars - 1):
        chord = chords[(b - 1) % len(chords)]
        root, triad, xf = chord_notes(chord)
        tick = b * bar
        chord_at.append((tick, chord, xf))
        for beat in range(4):
            t = tick + beat * TPB
            backing.append((0, t, TPB - 30, 36 + root if root < 7 else 24 + root, 96))        # bass
            for off in triad:                                                                  # piano
                backing.append((1, t, TPB - 30, 57 + (root + off - 9) % 12, 64 if beat else 80))
            backing.append((9, t, 60, 42, 70))                                                 # hi-hat
            if beat in (0, 2):
                backing.append((9, t, 60, 36, 100))                                            # kick
            else:
                backing.append((9, t, 60, 38, 90))                                             # snare
    # The last bar: the tonic held.
    root, triad, _ = chord_notes(chords[0])
    for off in triad:
        backing.append((1, (bars - 1) * bar, bar - 60, 57 + (root + off - 9) % 12, 70))
    backing.append((0, (bars - 1) * bar, bar - 60, 36 + root if root < 7 else 24 + root, 90))
    return end, melody, backing, chord_at, rows


def track(events, end):
    """A track of (absolute tick, message) events ending at tick end."""
    events = sorted(events, key=lambda e: e[0]) + [(end, mido.MetaMessage("end_of_track"))]
    ticks = [0] + [tick for tick, _ in events]
    return mido.MidiTrack(msg.copy(time=tick - before) for (tick, msg), before in zip(events, ticks))


def notes_track(channel, program, notes, end, name):
    events = [(0, mido.MetaMessage("track_name", name=name))]
    if channel != 9:
        events.append((0, mido.Message("program_change", channel=channel, program=program)))
    events.append((0, mido.Message("control_change", channel=channel, control=7, value=100)))
    for tick, length, note, velocity in notes:
        events.append((tick, mido.Message("note_on", channel=channel, note=note, velocity=velocity)))
        events.append((tick + length, mido.Message("note_off", channel=channel, note=note)))
    return track(events, end)


def midi_file(song, lyrics):
    """The arrangement as a type-1 MIDI file; lyrics "kar" (FF 01 karaoke
    texts and XF chords), "lyric" (FF 05) or None."""
    end, melody, backing, chord_at, rows = arrange(song)
    mid = mido.MidiFile(type=1, ticks_per_beat=TPB)
    head = [(0, mido.MetaMessage("set_tempo", tempo=mido.bpm2tempo(song["bpm"]))),
            (0, mido.MetaMessage("time_signature", numerator=4, denominator=4)),
            (0, mido.MetaMessage("track_name", name=song["title"]))]
    if lyrics == "kar":
        for tick, _, (cr, ct) in chord_at:
            head.append((tick, mido.MetaMessage("sequencer_specific", data=[0x43, 0x7B, 0x01, cr, ct, 0x7F, 0])))
    mid.tracks.append(track(head, end))
    if lyrics == "kar":
        words = [(0, mido.MetaMessage("text", text="@KMIDI KARAOKE FILE")),
                 (0, mido.MetaMessage("text", text="@T" + song["title"])),
                 (0, mido.MetaMessage("text", text="@T" + song["artist"]))]
        for r, row in enumerate(rows):
            for i, (tick, text) in enumerate(row):
                mark = ("\\" if r == 0 else "/") if i == 0 else ""
                words.append((tick, mido.MetaMessage("text", text=mark + text)))
        mid.tracks.append(track(words, end))
    elif lyrics == "lyric":
        words = []
        for row in rows:
            for i, (tick, text) in enumerate(row):
                words.append((tick, mido.MetaMessage("lyrics", text=text + ("\r" if i == len(row) - 1 else ""))))
        mid.tracks.append(track(words, end))
    by_channel = {}
    for channel, tick, length, note, velocity in backing:
        by_channel.setdefault(channel, []).append((tick, length, note, velocity))
    mid.tracks.append(notes_track(0, 33, by_channel[0], end, "Bass"))
    mid.tracks.append(notes_track(1, 0, by_channel[1], end, "Piano"))
    # The melody on channel 4 (index 3), the one the melody button mutes.
    mid.tracks.append(notes_track(3, 73, [(t, l, n, 100) for t, l, n in melody], end, "Melody"))
    mid.tracks.append(notes_track(9, 0, by_channel[9], end, "Drums"))
    return mid, rows


def tick_to_ms(song):
    ms_per_tick = 60000.0 / song["bpm"] / TPB
    return lambda tick: int(round(tick * ms_per_tick))


# -- CD+G ------------------------------------------------------------------

FONT = {  # 5 x 7, rows top down, bit 0x10 leftmost
    "A": "0e 11 11 1f 11 11 11", "B": "1e 11 11 1e 11 11 1e", "C": "0e 11 10 10 10 11 0e",
    "D": "1e 11 11 11 11 11 1e", "E": "1f 10 10 1e 10 10 1f", "F": "1f 10 10 1e 10 10 10",
    "G": "0e 11 10 17 11 11 0f", "H": "11 11 11 1f 11 11 11", "I": "0e 04 04 04 04 04 0e",
    "J": "07 02 02 02 02 12 0c", "K": "11 12 14 18 14 12 11", "L": "10 10 10 10 10 10 1f",
    "M": "11 1b 15 15 11 11 11", "N": "11 11 19 15 13 11 11", "O": "0e 11 11 11 11 11 0e",
    "P": "1e 11 11 1e 10 10 10", "Q": "0e 11 11 11 15 12 0d", "R": "1e 11 11 1e 14 12 11",
    "S": "0f 10 10 0e 01 01 1e", "T": "1f 04 04 04 04 04 04", "U": "11 11 11 11 11 11 0e",
    "V": "11 11 11 11 11 0a 04", "W": "11 11 11 15 15 15 0a", "X": "11 11 0a 04 0a 11 11",
    "Y": "11 11 0a 04 04 04 04", "Z": "1f 01 02 04 08 10 1f", "'": "04 04 08 00 00 00 00",
    ",": "00 00 00 00 0c 04 08", ".": "00 00 00 00 00 0c 0c", "!": "04 04 04 04 04 00 04",
    " ": "00 00 00 00 00 00 00", "?": "0e 11 01 02 04 00 04", "-": "00 00 00 1f 00 00 00",
}
PACKETS_PER_SECOND = 300


def cdg_packet(instruction, data):
    data = list(data) + [0] * (16 - len(data))
    return bytes([9, instruction, 0, 0] + [d & 0x3F for d in data] + [0, 0, 0, 0])


def cdg_tile(colour0, colour1, row, column, char):
    glyph = [int(v, 16) for v in FONT.get(char.upper(), FONT["?"]).split()]
    # Two blank lines above, three below; one blank column at the left.
    lines = [0, 0] + [g & 0x1F for g in glyph] + [0, 0, 0]
    return cdg_packet(6, [colour0, colour1, row, column] + lines)


def cdg_colours(rgb):
    data = []
    for c in rgb:
        data += [((c >> 8) & 15) << 2 | ((c >> 6) & 3), ((c >> 4) & 3) << 4 | (c & 15)]
    return cdg_packet(30, data)


def cdg(song, rows, ms_of, length_ms):
    """Two rows a page; a page is drawn white a second before its first
    syllable, and each syllable turns yellow when it is sung."""
    BACK, TEXT, SUNG, TITLE = 0, 1, 2, 3
    timeline = []   # (packet index wanted, packet)
    timeline.append((0, cdg_colours([0x126, 0xFFF, 0xFE2, 0x9CF, 0, 0, 0, 0])))
    timeline.append((1, cdg_packet(1, [BACK, 0])))
    timeline.append((2, cdg_packet(2, [BACK])))

    def text_at(when, row, text, colour, first_column=None):
        column = first_column if first_column is not None else max(1, (50 - len(text)) // 2)
        return [(when, cdg_tile(BACK, colour, row, column + i, ch)) for i, ch in enumerate(text)]

    timeline += text_at(3, 6, song["title"].upper(), TITLE)
    timeline += text_at(3, 8, song["artist"].upper(), TEXT)
    for page in range(0, len(rows), 2):
        pair = rows[page:page + 2]
        first_ms = ms_of(pair[0][0][0])
        when = max(4, int((first_ms - 1500) * PACKETS_PER_SECOND / 1000))
        timeline.append((when, cdg_packet(1, [BACK, 0])))
        for k, row in enumerate(pair):
            line = "".join(text for _, text in row).upper()
            column = max(1, (50 - len(line)) // 2)
            tile_row = 7 + 3 * k
            timeline += text_at(when + 1, tile_row, line, TEXT, column)
            offset = 0
            for tick, text in row:
                sung = int(ms_of(tick) * PACKETS_PER_SECOND / 1000)
                timeline += text_at(sung, tile_row, text.upper(), SUNG, column + offset)
                offset += len(text)
    # Packets go out in order, never earlier than wanted.
    timeline.sort(key=lambda e: e[0])
    total = int(length_ms * PACKETS_PER_SECOND / 1000) + PACKETS_PER_SECOND
    out, index = bytearray(), 0
    for wanted, packet in timeline:
        while index < wanted:
            out += bytes(24)
            index += 1
        out += packet
        index += 1
    while index < total:
        out += bytes(24)
        index += 1
    return bytes(out)


# -- pictures --------------------------------------------------------------

def png(width, height, pixel):
    """A PNG file of width x height RGBA pixels from pixel(x, y)."""
    raw = bytearray()
    for y in range(height):
        raw.append(0)
        for x in range(width):
            raw += bytes(pixel(x, y))

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(bytes(raw), 9)) + chunk(b"IEND", b""))


def note_picture(x, y):
    """A yellow disc with a dark quaver on it, 120 x 120."""
    cx, cy, r = 60, 60, 56
    inside = (x - cx) ** 2 + (y - cy) ** 2 <= r * r
    if not inside:
        return (0, 0, 0, 0)
    head = ((x - 50) ** 2) / 196 + ((y - 82) ** 2) / 100 <= 1
    stem = 61 <= x <= 66 and 28 <= y <= 82
    flag = 66 <= x <= 84 and 28 <= y <= 46 and (y - 28) <= (84 - x) + 6
    return (40, 30, 20, 255) if head or stem or flag else (252, 196, 10, 255)


def microphone_picture(x, y):
    """A blue disc with a white microphone, 120 x 120."""
    cx, cy, r = 60, 60, 56
    if (x - cx) ** 2 + (y - cy) ** 2 > r * r:
        return (0, 0, 0, 0)
    capsule = ((x - 60) ** 2) / 324 + ((y - 40) ** 2) / 484 <= 1
    handle = 54 <= x <= 66 and 58 <= y <= 96 and not capsule
    grille = capsule and (y - 22) % 8 < 2
    if grille:
        return (170, 200, 230, 255)
    return (255, 255, 255, 255) if capsule or handle else (0, 133, 205, 255)


# -- the catalogue ---------------------------------------------------------

def make(out, soundfont):
    files = os.path.join(out, "files")
    images = os.path.join(out, "img")
    os.makedirs(files, exist_ok=True)
    os.makedirs(images, exist_ok=True)
    entries = []
    for song in SONGS:
        path = os.path.join(files, song["file"])
        ms_of = tick_to_ms(song)
        if song["kind"] in ("kar", "mid"):
            mid, rows = midi_file(song, "kar" if song["kind"] == "kar" else "lyric")
            mid.save(path)
            length = mido.MidiFile(path).length
            cdg_name = None
        else:
            mid, rows = midi_file(song, None)
            length = render_mp3(song, mid, path, soundfont)
            entries_sylt = []
            for row in rows:
                for i, (tick, text) in enumerate(row):
                    entries_sylt.append((text + ("\n" if i == len(row) - 1 else ""), ms_of(tick)))
            tags = ID3()
            tags.add(TIT2(encoding=Encoding.UTF8, text=[song["title"]]))
            tags.add(TPE1(encoding=Encoding.UTF8, text=[song["artist"]]))
            tags.add(TCOM(encoding=Encoding.UTF8, text=[song["authors"]]))
            tags.add(TCON(encoding=Encoding.UTF8, text=[song["genre"]]))
            tags.add(TBPM(encoding=Encoding.UTF8, text=[str(song["bpm"])]))
            tags.add(TKEY(encoding=Encoding.UTF8, text=[song["key"]]))
            tags.add(SYLT(encoding=Encoding.UTF8, lang="eng", format=2, type=1, desc="", text=entries_sylt))
            tags.save(path, v2_version=3)
            cdg_name = song["file"][:-3] + "cdg"
            with open(os.path.join(files, cdg_name), "wb") as f:
                f.write(cdg(song, rows, ms_of, length * 1000))
        entries.append({
            "productid": song["productid"], "songid": song["songid"], "title": song["title"],
            "artist": song["artist"], "authors": song["authors"], "genre": song["genre"],
            "format": "MP3" if song["kind"] == "mp3" else "MIDI", "length": int(round(length)),
            "bpm": song["bpm"], "key": song["key"], "file": song["file"], "cdg": cdg_name,
        })
    with open(os.path.join(images, "banner-note.png"), "wb") as f:
        f.write(png(120, 120, note_picture))
    with open(os.path.join(images, "banner-microphone.png"), "wb") as f:
        f.write(png(120, 120, microphone_picture))
    catalogue = {
        "account": {"email": "singer@example.org", "psw": "velmar", "user_id": "1", "name": "Demo",
                    "surname": "Singer", "songnet": "0"},
        "program_version": program_version(),
        # The bank the set-up installs; "0.0" is what a program without a
        # downloaded bank counts as installed, so no newer one is offered.
        "soundfont": {"version": "0.0", "path": os.path.abspath(soundfont)},
        "songs": entries,
        "banners": BANNERS,
    }
    temporary = os.path.join(out, "catalogue.json.part")
    with open(temporary, "w") as f:
        json.dump(catalogue, f, indent=1)
    os.replace(temporary, os.path.join(out, "catalogue.json"))


def render_mp3(song, mid, path, soundfont):
    """The arrangement rendered by fluidsynth and encoded by lame; returns
    the length in seconds."""
    with tempfile.TemporaryDirectory() as work:
        source, wav = os.path.join(work, "song.mid"), os.path.join(work, "song.wav")
        mid.save(source)
        subprocess.run(["fluidsynth", "-ni", "-q", "-g", "0.7", "-r", "44100", "-F", wav, soundfont, source],
                       check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        subprocess.run(["lame", "--quiet", "-b", "160", wav, path], check=True)
        with wave.open(wav) as w:
            return w.getnframes() / float(w.getframerate())


def main():
    parser = argparse.ArgumentParser(description="Makes the local store's catalogue.")
    parser.add_argument("out")
    parser.add_argument("--soundfont", default=DEFAULT_BANK)
    args = parser.parse_args()
    marker = os.path.join(args.out, "catalogue.json")
    if os.path.exists(marker) and os.path.getmtime(marker) > os.path.getmtime(os.path.abspath(__file__)):
        return 0
    if not os.path.isfile(args.soundfont):
        print("make_catalogue.py: no sound bank at %s (install timgm6mb-soundfont)" % args.soundfont,
              file=sys.stderr)
        return 1
    for tool in ("fluidsynth", "lame"):
        if shutil.which(tool) is None:
            print("make_catalogue.py: %s is not installed" % tool, file=sys.stderr)
            return 1
    make(args.out, args.soundfont)
    print("Store catalogue: %s" % marker)
    return 0


if __name__ == "__main__":
    sys.exit(main())
