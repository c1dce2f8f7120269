"""Tags an MP3 file with mutagen: a title, a USLT frame, optionally a picture
(moved in front of the other frames), and a SYLT frame with the given
syllables.

usage: gen_mp3_sylt.py IN OUT VERSION ENCODING FORMAT PICTURE_BYTES ENTRIES_JSON
  VERSION 3 or 4; ENCODING 0-3 (ID3 text encodings); FORMAT the SYLT time
  stamp format (2 = milliseconds); ENTRIES_JSON [[text, ms], ...]
"""
import json
import shutil
import sys

from mutagen.id3 import ID3, APIC, SYLT, TIT2, USLT, Encoding


def syncsafe(n):
    return bytes(((n >> s) & 0x7F) for s in (21, 14, 7, 0))


def unsyncsafe(b):
    return (b[0] << 21) | (b[1] << 14) | (b[2] << 7) | b[3]


def picture_first(path, version):
    """mutagen writes big frames last; put the picture first."""
    data = open(path, "rb").read()
    size = unsyncsafe(data[6:10])
    body, rest = data[10:10 + size], data[10 + size:]
    frames, pos = [], 0
    while pos + 10 <= len(body) and body[pos] != 0:
        n = unsyncsafe(body[pos + 4:pos + 8]) if version == 4 else int.from_bytes(body[pos + 4:pos + 8], "big")
        frames.append(body[pos:pos + 10 + n])
        pos += 10 + n
    frames.sort(key=lambda f: f[:4] != b"APIC")
    new_body = b"".join(frames) + body[pos:]
    open(path, "wb").write(data[:6] + syncsafe(len(new_body)) + new_body + rest)


src, dst, version, encoding, fmt, picture, entries = sys.argv[1:8]
shutil.copyfile(src, dst)
tags = ID3()
enc = Encoding(int(encoding))
tags.add(TIT2(encoding=enc, text=["Test song"]))
tags.add(USLT(encoding=enc, lang="eng", desc="", text="Plain lyrics\nSYLT in the text\n"))
if int(picture) > 0:
    tags.add(APIC(encoding=enc, mime="image/png", type=3, desc="cover",
                  data=bytes((i * 7 + 3) & 0xFF for i in range(int(picture)))))
tags.add(SYLT(encoding=enc, lang="eng", format=int(fmt), type=1, desc="lyrics desc",
              text=[(t, int(ms)) for t, ms in json.loads(entries)]))
tags.save(dst, v2_version=int(version))
if int(picture) > 0:
    picture_first(dst, int(version))
