#!/usr/bin/env python3
"""Writes a minimal SoundFont 2 bank with one preset playing a looped sine.

usage: make_sf2.py OUT BANK PROGRAM
"""
import math
import struct
import sys


def chunk(tag, data):
    pad = b"\0" if len(data) % 2 else b""
    return tag + struct.pack("<I", len(data)) + data + pad


def riff_list(kind, chunks):
    return chunk(b"LIST", kind + b"".join(chunks))


def name(text):
    return text.encode("ascii")[:19].ljust(20, b"\0")


def main():
    out, bank, program = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
    rate, period, cycles = 44100, 100, 20
    samples = [int(12000 * math.sin(2 * math.pi * i / period)) for i in range(period * cycles)]
    smpl = struct.pack("<%dh" % len(samples), *samples) + b"\0\0" * 46

    info = riff_list(b"INFO", [
        chunk(b"ifil", struct.pack("<HH", 2, 1)),
        chunk(b"isng", b"EMU8000\0"),
        chunk(b"INAM", b"Test bank\0"),
    ])
    sdta = riff_list(b"sdta", [chunk(b"smpl", smpl)])

    phdr = (name("Sine") + struct.pack("<HHHIII", program, bank, 0, 0, 0, 0) +
            name("EOP") + struct.pack("<HHHIII", 0, 0, 1, 0, 0, 0))
    pbag = struct.pack("<HH", 0, 0) + struct.pack("<HH", 1, 0)
    pmod = b"\0" * 10
    pgen = struct.pack("<HH", 41, 0) + struct.pack("<HH", 0, 0)
    inst = name("Sine") + struct.pack("<H", 0) + name("EOI") + struct.pack("<H", 1)
    ibag = struct.pack("<HH", 0, 0) + struct.pack("<HH", 2, 0)
    imod = b"\0" * 10
    igen = struct.pack("<HH", 54, 1) + struct.pack("<HH", 53, 0) + struct.pack("<HH", 0, 0)
    # A 100-sample cycle at 44.1 kHz is 441 Hz: key 69 closely enough.
    shdr = (name("Sine") + struct.pack("<IIIIIBbHH", 0, len(samples), period, period * (cycles - 1),
                                       rate, 69, 0, 0, 1) +
            name("EOS") + struct.pack("<IIIIIBbHH", 0, 0, 0, 0, 0, 0, 0, 0, 0))
    pdta = riff_list(b"pdta", [
        chunk(b"phdr", phdr), chunk(b"pbag", pbag), chunk(b"pmod", pmod), chunk(b"pgen", pgen),
        chunk(b"inst", inst), chunk(b"ibag", ibag), chunk(b"imod", imod), chunk(b"igen", igen),
        chunk(b"shdr", shdr),
    ])
    body = b"sfbk" + info + sdta + pdta
    with open(out, "wb") as f:
        f.write(b"RIFF" + struct.pack("<I", len(body)) + body)


if __name__ == "__main__":
    main()
