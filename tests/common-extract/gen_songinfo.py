#!/usr/bin/python3
"""Writes the song files of the song-information tests into the given folder:
MIDI and KAR files through mido, MP3 files from lame tagged through mutagen."""
import os
import subprocess
import sys
import wave

import mido
from midi_gen import maker
from mutagen.id3 import ID3, TIT2, TPE1, TCON, TCOM, TBPM, TKEY, TLEN

out = sys.argv[1]
os.makedirs(out, exist_ok=True)


def path(name):
    return os.path.join(out, name)


def maker_meta(sub, text):
    return mido.UnknownMetaMessage(type_byte=0x4B, data=[sub] + list(text.encode('latin-1')))


def midi(name, events, ticks=480, fmt=0):
    f = mido.MidiFile(type=fmt, ticks_per_beat=ticks)
    tr = mido.MidiTrack()
    tr.extend(events)
    tr.append(mido.Message('note_on', note=60, velocity=100, time=0))
    tr.append(mido.Message('note_off', note=60, velocity=0, time=480))
    f.tracks.append(tr)
    f.save(path(name))


midi('tempo120.mid', [mido.MetaMessage('track_name', name='Ignored Name'),
                      mido.MetaMessage('set_tempo', tempo=500000)])
midi('notempo.mid', [])
midi('tempozero.mid', [mido.MetaMessage('set_tempo', tempo=0)])
midi('keycm.mid', [mido.MetaMessage('key_signature', key='Cm')])
midi('marker.mid', [mido.MetaMessage('marker', text='Chorus')])
midi('title.kar', [mido.MetaMessage('text', text='@T  My Song'),
                   mido.MetaMessage('text', text='@LENG')])
midi('makermeta.mid', [mido.MetaMessage('track_name', name='Real Title'),
                       maker_meta(2, 'The Artist'), maker_meta(1, 'Pop'),
                       maker_meta(3, 'The Composer'), maker_meta(5, '98'),
                       maker_meta(4, '215'),
                       mido.MetaMessage('set_tempo', tempo=500000)])
midi('makerkey.mid', [maker(0x3F, [0x00, 0x03])])
midi('makerkeyoverride.mid', [maker(0x3F, [0x00, 0x03]),
                              mido.MetaMessage('key_signature', key='D')])
midi('artistrow.mid', [maker(0x05, list(b'(  The Band )')),
                       mido.MetaMessage('copyright', text='(c) kvero music')])
midi('copyright.mid', [mido.MetaMessage('copyright', text='kvERO s.r.l.'),
                       mido.MetaMessage('track_name', name='Owned Title')])

# Bytes that read as a key record when searched for, but lie inside other
# events: a pitch bend's delta time F0 0B under running status, and a text.
def raw_midi(name, track):
    track += bytes([0, 0xFF, 0x2F, 0])
    with open(path(name), 'wb') as f:
        f.write(b'MThd' + bytes([0, 0, 0, 6, 0, 0, 0, 1, 1, 0xE0]) +
                b'MTrk' + len(track).to_bytes(4, 'big') + track)


raw_midi('hiddenbend.mid', bytes([0, 0xE0, 0, 0x40, 0xF0, 0x0B, 0x00, 0x20, 0x24, 0x00, 0x3F, 0x05, 0x00, 0x40]))
hidden = bytes([0xF0, 0x08, 0x00, 0x20, 0x24, 0x00, 0x3F, 0x07, 0x00, 0xF7])
raw_midi('hiddentext.mid', bytes([0, 0xFF, 0x01, len(hidden)]) + hidden)

with open(path('riff.mid'), 'wb') as f:
    f.write(b'RIFF' + bytes(60))
with open(path('short.mid'), 'wb') as f:
    f.write(b'MThd' + bytes(17))
with open(path('empty.mp4'), 'wb'):
    pass
with open(path('sound.wav'), 'wb') as f:
    f.write(b'RIFF' + bytes(40))

# A short real MP3 to tag.
wav = path('silence.tmp.wav')
with wave.open(wav, 'wb') as w:
    w.setnchannels(1)
    w.setsampwidth(2)
    w.setframerate(22050)
    w.writeframes(bytes(2 * 2205))
plain = path('plain.tmp.mp3')
subprocess.run(['lame', '--silent', '-b', '32', wav, plain], check=True)
audio = open(plain, 'rb').read()
os.remove(wav)
os.remove(plain)


def mp3(name, frames, version=3, v1=None, audio_bytes=audio):
    p = path(name)
    with open(p, 'wb') as f:
        f.write(audio_bytes)
    if frames:
        tag = ID3()
        for fr in frames:
            tag.add(fr)
        tag.save(p, v2_version=version, v1=0)
    if v1 is not None:
        with open(p, 'ab') as f:
            f.write(v1)


def id3v1(title, artist, genre):
    def field(t, n):
        return t.encode('latin-1')[:n].ljust(n, b'\0')
    return b'TAG' + field(title, 30) + field(artist, 30) + field('', 30) + b'2001' + \
        field('', 30) + bytes([genre])


mp3('v23utf16.mp3', [TIT2(encoding=1, text='Café Déjà Vu'), TPE1(encoding=1, text='Ärtist'),
                     TCON(encoding=0, text='Pop'), TCOM(encoding=1, text='Compositore'),
                     TBPM(encoding=0, text='128'), TKEY(encoding=0, text='Am'),
                     TLEN(encoding=0, text='215000')], version=3)
mp3('v24utf8.mp3', [TIT2(encoding=3, text='Ünïcode ☃ Song'), TPE1(encoding=3, text='Band'),
                    TLEN(encoding=3, text='215')], version=4)
mp3('v24utf16be.mp3', [TIT2(encoding=2, text='Big Endian Ω'), TPE1(encoding=1, text='Duo')],
    version=4)
mp3('v23latin1.mp3', [TIT2(encoding=0, text='Café'), TPE1(encoding=0, text='Zoë')], version=3)
long_title = 'L' * 150 + 'é' * 30
mp3('v23long.mp3', [TIT2(encoding=1, text=long_title), TPE1(encoding=0, text='After Long')],
    version=3)
mp3('v1only.mp3', None, v1=id3v1('Old Title', 'Old Artist', 17))
mp3('v1badgenre.mp3', None, v1=id3v1('Old Title', 'Old Artist', 171))
mp3('bothv2title.mp3', [TIT2(encoding=0, text='New Title')], version=3,
    v1=id3v1('Old Title', 'Old Artist', 17))
mp3('bothv1used.mp3', [TCOM(encoding=0, text='Only Composer')], version=3,
    v1=id3v1('Old Title', 'Old Artist', 17))
mp3('notag.mp3', None)
with open(path('id4.mp3'), 'wb') as f:
    f.write(b'ID4' + audio)
with open(path('short.mp3'), 'wb') as f:
    f.write(audio[:127])
