"""MP3s that look like songs but that the program cannot play, made with lame.

make_bad_mp3.py WAV OUTDIR: in OUTDIR, from WAV, mpeg2.mp3 (22.05 kHz),
mpeg25.mp3 (11.025 kHz), free.mp3 (free format), id3past.mp3 (an ID3 tag
claiming more bytes than the file), junk.mp3 (frame-like junk before the
audio) and cut.mp3 (a tag and part of the first frame); prints their names.
"""
import os
import subprocess
import sys

wav, out = sys.argv[1], sys.argv[2]
os.makedirs(out, exist_ok=True)


def lame(name, *args):
    path = os.path.join(out, name)
    subprocess.run(['lame', '--quiet', *args, wav, path], check=True)
    return open(path, 'rb').read()


def syncsafe(n):
    return bytes((n >> s) & 0x7F for s in (21, 14, 7, 0))


def tagged(size, audio):
    frame = b'TIT2\x00\x00\x00\x05\x00\x00\x00Tone'
    return b'ID3\x03\x00\x00' + syncsafe(size or len(frame)) + frame + audio


good = lame('good.mp3', '-b', '128')
lame('mpeg2.mp3', '-b', '64', '--resample', '22.05')
lame('mpeg25.mp3', '-b', '32', '--resample', '11.025')
lame('free.mp3', '--freeformat', '-b', '320')
os.remove(os.path.join(out, 'good.mp3'))
# Headers of 11.025 kHz frames every 64 bytes: the first frames found.
junk = (b'\xff\xe3\x40\x64' + bytes(60)) * 12
made = {'id3past.mp3': tagged(2 * len(good), good), 'junk.mp3': tagged(0, junk + good),
        'cut.mp3': tagged(0, good[:300])}
for name, data in made.items():
    open(os.path.join(out, name), 'wb').write(data)
print('\n'.join(['mpeg2.mp3', 'mpeg25.mp3', 'free.mp3'] + list(made)))
