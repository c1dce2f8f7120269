"""By mutagen: make IN OUT VERSION ENCODING tags IN into OUT with texts, a long COMM, USLT, TXXX,
APIC and a SYLT over 128 bytes; dump IN gives JSON of the text frames, every frame's data as
mutagen writes it and the raw frames mutagen does not know (hex); retitle IN TITLE sets its
title, as another tag editor would."""
import json
import shutil
import sys

from mutagen.id3 import (ID3, APIC, COMM, SYLT, TBPM, TCOM, TCON, TIT2, TKEY,
                         TLEN, TPE1, TXXX, USLT)


def make(src, dst, version, enc):
    shutil.copyfile(src, dst)
    title = "Caffè sospeso" if enc == 0 else "我的歌 Ünï"
    t = ID3()
    for frame, text in ((TIT2, title), (TPE1, "Artista"), (TCON, "Rock"),
                        (TCOM, "Autore"), (TBPM, "128"), (TKEY, "Am"), (TLEN, "183000")):
        t.add(frame(encoding=enc, text=text))
    t.add(COMM(encoding=enc, lang="ita", desc="note", text="nota " * 60))
    t.add(USLT(encoding=enc, lang="ita", desc="", text="riga uno\nriga due " * 10))
    t.add(TXXX(encoding=enc, desc="mood", text="calm"))
    t.add(APIC(encoding=0, mime="image/png", type=3, desc="", data=bytes(range(256)) * 2))
    t.add(SYLT(encoding=enc, lang="ita", format=2, type=1,
               text=[("sillaba%d " % i, i * 250) for i in range(30)]))
    t.save(dst, v2_version=version)


def dump(path):
    t = ID3(path)
    out = {"version": t.version[1], "text": {}, "raw": {},
           "unknown": [bytes(f).hex() for f in t.unknown_frames]}
    for key, f in t.items():
        if key.startswith("T") and not key.startswith("TXXX"):
            out["text"][key] = str(f)
        out["raw"][key] = f._writeData().hex()
    print(json.dumps(out, ensure_ascii=False))


if sys.argv[1] == "make":
    make(sys.argv[2], sys.argv[3], int(sys.argv[4]), int(sys.argv[5]))
elif sys.argv[1] == "retitle":
    t = ID3(sys.argv[2])
    t.add(TIT2(encoding=3, text=sys.argv[3]))
    t.save(sys.argv[2], v2_version=t.version[1])
else:
    dump(sys.argv[2])
