#!/usr/bin/python3
"""A PNG of one colour, SIDE pixels a side, written to OUT: the kind of
picture that packs a huge size into a small file (32000 a side, 3 MB).

    one_colour_png.py SIDE OUT
"""
import struct
import sys
import zlib

ROWS_PER_BLOCK = 100


def chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xffffffff)


def one_colour_png(side):
    # A deflate block after a full flush refers to nothing before it, so one
    # block of rows repeated makes the whole picture in a moment.
    row = b"\0" + b"\x30\x80\xc0" * side
    rows = row * min(side, ROWS_PER_BLOCK)
    z = zlib.compressobj(9, zlib.DEFLATED, -15)
    block = z.compress(rows) + z.flush(zlib.Z_FULL_FLUSH)
    repeats, rest = divmod(side, ROWS_PER_BLOCK)
    tail = row * rest
    last = z.compress(tail) + z.flush()
    adler = 1
    for _ in range(repeats):
        adler = zlib.adler32(rows, adler)
    adler = zlib.adler32(tail, adler)
    data = b"\x78\xda" + block * repeats + last + struct.pack(">I", adler)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", side, side, 8, 2, 0, 0, 0))
            + chunk(b"IDAT", data) + chunk(b"IEND", b""))


if __name__ == "__main__":
    with open(sys.argv[2], "wb") as out:
        out.write(one_colour_png(int(sys.argv[1])))
