"""Songs of the singer scenario and what its recording holds.

write DIR: DIR/marks.mid, 120 bars at 120 BPM (two seconds each), bar b
an ocarina (a near sine, in the winds group) holding the mark of b on
channel 1, title "Marks"; DIR/marks.mp3, thirty sections of four seconds,
section s a sine of the mark of s, title "Marks Audio" (both long enough
for the walk on a busy machine: it must not outlast them); DIR/stage.kar, a
karaoke song of long title and artist (STAGE_TITLE, STAGE_ARTIST) with
STAGE_CHANNELS channels, more than the Editing page shows at once, each
holding a note of its own a beat, and lyric rows sung a word a beat, every
row with capitals and letters that reach below the line. The mark of n is MIDI note
48 + 3 (n mod 12): neighbours differ by more than a key step.
mark mid BAR | mark mp3 SECOND: the note heard there (BAR from 0).
note FILE MS [RATE]: the MIDI note sounding loudest over the last MS of FILE
(raw 16-bit stereo at RATE, default 48000), or -1 when it is silent.
level FILE MS [RATE]: the level of the last MS of FILE in dBFS.
edits FILE: what the song file holds of its edits: "key K tempo T program P
STATE" for channel 1 (STATE play, mute or solo).
stage title | stage artist: stage.kar's title or artist.
"""
import array
import math
import os
import subprocess
import sys

import mido

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..'))
import make_kar  # noqa: E402

TPB = 480
BARS = 120
MARKS = 12
SECTIONS = 30
SECTION_SECONDS = 4
FIRST = 48
STEP = 3
SILENT_DB = -55.0


def mark(index):
    return FIRST + STEP * (index % MARKS)


def write(folder):
    mid = mido.MidiFile(type=1, ticks_per_beat=TPB)
    head = mido.MidiTrack([mido.MetaMessage('set_tempo', tempo=500000),
                           mido.MetaMessage('track_name', name='Marks')])
    mid.tracks.append(head)
    # Every controller set, as a saved song carries them: an edit adds none.
    events = [mido.Message('control_change', channel=0, control=c, value=v)
              for c, v in ((0, 0), (32, 0), (7, 100), (10, 64), (91, 0), (93, 0))]
    events.append(mido.Message('program_change', channel=0, program=79))
    track = mido.MidiTrack(events)
    bar = 4 * TPB
    for b in range(BARS):
        track.append(mido.Message('note_on', channel=0, note=mark(b), velocity=110, time=0 if b == 0 else 20))
        track.append(mido.Message('note_off', channel=0, note=mark(b), time=bar - 20))
    mid.tracks.append(track)
    head.append(mido.MetaMessage('end_of_track', time=BARS * bar))
    mid.save(os.path.join(folder, 'marks.mid'))

    parts = []
    for s in range(SECTIONS):
        freq = 440.0 * 2 ** ((mark(s) - 69) / 12)
        part = os.path.join(folder, 'part%d.wav' % s)
        subprocess.run(['sox', '-n', '-r', '44100', '-c', '2', part, 'synth', str(SECTION_SECONDS), 'sine',
                        '%.2f' % freq, 'vol', '0.4'], check=True)
        parts.append(part)
    wav = os.path.join(folder, 'marks.wav')
    subprocess.run(['sox'] + parts + [wav], check=True)
    subprocess.run(['lame', '--quiet', '-b', '128', '--tt', 'Marks Audio', wav, os.path.join(folder, 'marks.mp3')],
                   check=True)
    for p in parts + [wav]:
        os.remove(p)


STAGE_TITLE = 'Lanterns Along the Northern Harbour Road'
STAGE_ARTIST = 'The Riverside Evening Choir and Friends'
STAGE_CHANNELS = 12
# Sung twice. Each row starts with a capital and holds a g, p or y: every
# row's ink reaches from the capitals' height to below the line.
STAGE_ROWS = ('Hold the lantern high tonight', 'Sing along the harbour way', 'Keep the lights of evening glowing',
              'Bring your song along the pier', 'Lift your voices by the quay', 'Every lamp is burning bright',
              'Play the tune we sang before', 'Hold the gentle light for me')


def write_stage(folder):
    # A word a beat from the second bar on, a beat of rest between rows.
    sung, beat = make_kar.sung_rows(STAGE_ROWS * 2, 4)
    lyrics = [(0, mido.MetaMessage('text', text='@KMIDI KARAOKE FILE'))] + sung
    beats = (beat // 4 + 2) * 4
    head = [(0, mido.MetaMessage('set_tempo', tempo=500000)), (0, mido.MetaMessage('track_name', name=STAGE_TITLE)),
            # The artist: the maker's meta event.
            (0, mido.UnknownMetaMessage(0x4B, data=[2] + list(STAGE_ARTIST.encode('latin-1'))))]
    notes = []
    for n, c in enumerate(c for c in range(STAGE_CHANNELS + 1) if c != 9):
        key = 48 + 4 * n % 24
        notes.append((0, mido.Message('program_change', channel=c, program=8 * n % 128)))
        for b in range(beats):
            notes.append((b * TPB, mido.Message('note_on', channel=c, note=key, velocity=50)))
            notes.append((b * TPB + TPB - 20, mido.Message('note_off', channel=c, note=key)))
    mid = mido.MidiFile(type=1, ticks_per_beat=TPB)
    mid.tracks.extend(make_kar.track(events, beats * TPB) for events in (head, notes, lyrics))
    mid.save(os.path.join(folder, 'stage.kar'))


def tail(path, ms, rate):
    """The last ms of the recording, mono, every fourth sample (a 12 kHz view
    of a 48 kHz recording: the marks' partials lie far below its limit)."""
    frames = rate * ms // 1000
    size = os.path.getsize(path)
    with open(path, 'rb') as f:
        f.seek(max(0, size - frames * 4) // 4 * 4)
        data = f.read(frames * 4)
    a = array.array('h', data[:len(data) // 4 * 4])
    return [(a[i] + a[i + 1]) / 65536.0 for i in range(0, len(a) - 1, 8)], rate / 4


def level(samples):
    if not samples:
        return -120.0
    rms = math.sqrt(sum(v * v for v in samples) / len(samples))
    return 20 * math.log10(rms) if rms > 0 else -120.0


def goertzel(samples, rate, freq):
    w = 2 * math.pi * freq / rate
    c = 2 * math.cos(w)
    s1 = s2 = 0.0
    for v in samples:
        s1, s2 = v + c * s1 - s2, s1
    return s1 * s1 + s2 * s2 - c * s1 * s2


def note(samples, rate):
    if level(samples) < SILENT_DB:
        return -1
    powers = {n: goertzel(samples, rate, 440.0 * 2 ** ((n - 69) / 12))
              for n in range(FIRST - 6, FIRST + STEP * MARKS + 6)}
    return max(powers, key=powers.get)


MAKER = [0x00, 0x20, 0x24, 0x00]
STATES = ('play', 'mute', 'solo')


def edits(path):
    key = tempo = program = state = None
    for track in mido.MidiFile(path).tracks:
        for m in track:
            if m.type != 'sysex' or list(m.data[:4]) != MAKER or len(m.data) < 7:
                continue
            d = m.data
            if d[4] == 0x3F:
                key = d[5] if d[5] else -d[6]
            elif d[4] == 0x2F:
                tempo = d[5] if d[5] else -d[6]
            elif d[4] == 0x1F and len(d) > 7 and d[5] == 0 and program is None:
                state, program = STATES[d[6]] if d[6] < 3 else d[6], d[7]
    return 'key %s tempo %s program %s %s' % (key, tempo, program, state)


def main(argv):
    if argv[1] == 'write':
        write(argv[2])
        write_stage(argv[2])
    elif argv[1] in ('note', 'level'):
        samples, rate = tail(argv[2], int(argv[3]), int(argv[4]) if len(argv) > 4 else 48000)
        print(note(samples, rate) if argv[1] == 'note' else '%.1f' % level(samples))
    elif argv[1] == 'mark':
        place = int(argv[3])
        print(mark(place if argv[2] == 'mid' else place // SECTION_SECONDS))
    elif argv[1] == 'edits':
        print(edits(argv[2]))
    elif argv[1] == 'stage':
        print(STAGE_TITLE if argv[2] == 'title' else STAGE_ARTIST)
    else:
        sys.exit(__doc__)


if __name__ == '__main__':
    main(sys.argv)
