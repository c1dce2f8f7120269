"""Short mido-made karaoke songs:
make_kar.py OUTDIR SECONDS NAME... [--title T] [--artist A] [--lyrics ROWS] [--bpm N]
Each NAME.kar plays a note a beat at 120 BPM (or N) for whole bars of about
SECONDS and has a lyric row a bar ("Row 1", ...); prints each length as mido
reads it. The title is NAME, or T; A is the artist (the maker's meta event).
With ROWS ("first row|second row|..."), the rows are sung instead, a word a
beat and a beat between rows, and the song lasts as long as they need.
The other song makers build their tracks with track() and sung_rows()."""
import argparse
import os

import mido

TPB = 480


def track(events, end):
    """A track of (absolute tick, message) events ending at tick end."""
    events = sorted(events, key=lambda e: e[0]) + [(end, mido.MetaMessage('end_of_track'))]
    out, before = mido.MidiTrack(), 0
    for tick, msg in events:
        # Set in place: mido cannot copy a meta event it does not know.
        msg.time = tick - before
        out.append(msg)
        before = tick
    return out


def sung_rows(rows, beat=2):
    """Text events of rows sung a word a beat from beat BEAT on (by default
    the third), a beat of rest after each row, and the beat after the last."""
    text = []
    for r, row in enumerate(rows):
        words = row.split(' ')
        for i, word in enumerate(words):
            syllable = ('/' if r else '\\') + word if i == 0 else word
            text.append((beat * TPB, mido.MetaMessage('text', text=syllable + (' ' if i < len(words) - 1 else ''))))
            beat += 1
        beat += 1
    return text, beat


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument('out')
    parser.add_argument('seconds', type=float)
    parser.add_argument('names', nargs='+')
    parser.add_argument('--title')
    parser.add_argument('--artist')
    parser.add_argument('--lyrics')
    parser.add_argument('--bpm', type=int, default=120)
    args = parser.parse_args()
    os.makedirs(args.out, exist_ok=True)
    beat_seconds = 60 / args.bpm
    for name in args.names:
        text = [(0, mido.MetaMessage('text', text='@KMIDI KARAOKE FILE'))]
        if args.lyrics:
            sung, beats = sung_rows(args.lyrics.split('|'))
            text += sung
            bars = beats // 4 + 1
        else:
            bars = max(1, round(args.seconds / (4 * beat_seconds)))
            for bar in range(bars):
                text.append((bar * 4 * TPB, mido.MetaMessage('text', text=f'/Row {bar + 1} ')))
                text.append((bar * 4 * TPB + 2 * TPB, mido.MetaMessage('text', text='sing')))
        end = bars * 4 * TPB
        mid = mido.MidiFile(type=1, ticks_per_beat=TPB)
        head = [(0, mido.MetaMessage('set_tempo', tempo=mido.bpm2tempo(args.bpm))),
                (0, mido.MetaMessage('track_name', name=args.title or name))]
        if args.artist:
            head.append((0, mido.UnknownMetaMessage(0x4B, data=[2] + list(args.artist.encode('latin-1')))))
        mid.tracks.append(track(head, end))
        notes = [(0, mido.Message('program_change', channel=0, program=0))]
        for beat in range(bars * 4):
            key = 60 + (beat % 4) * 2
            notes.append((beat * TPB, mido.Message('note_on', channel=0, note=key, velocity=100)))
            notes.append((beat * TPB + TPB - 10, mido.Message('note_off', channel=0, note=key)))
        mid.tracks.append(track(notes, end))
        mid.tracks.append(track(text, end))
        path = os.path.join(args.out, name + '.kar')
        mid.save(path)
        print(f'{bars * 4 * beat_seconds:.3f}')


if __name__ == '__main__':
    main()
