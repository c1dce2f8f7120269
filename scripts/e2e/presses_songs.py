"""The songs of the presses scenario, and whether a recording of one sounds
as written.

write OUTDIR [REAL.mid]
    band.mid: 120 BPM, 4/4, 45 bars (90 s). Drums on channel 10 (kick,
    snare, closed hi-hat every eighth), a synth bass on channel 2 holding a
    note 7.8 s every four bars, a flute melody on channel 4 (a note on every
    beat, 0.4 s long).
    real.mid: the first 90 s of REAL.mid, a real song of several channels
    (cut there, every note held ended), when given.
references BUILD_DIR SONG OUTDIR
    SONG rendered by BUILD_DIR/bin/velmar-render as written, and once
    without each of its channels' notes, into OUTDIR.
heard RAW RATE FROM_MS SONG BAR REFERENCES
    Whether 3 s of a raw 16-bit stereo recording from FROM_MS sound as SONG
    written, played from the start of BAR (from 1): the recording's mean
    spectrum (semitones from C2 to C7) is nearer to the written song's, at
    the place the recording's loudness follows best within 3 s of the bar,
    than to the song's without any one of its channels that can be told
    apart there (1 dB from the song as written), and within 3 dB of it.
    Prints the distances; status 1 when not.
"""
import array
import math
import os
import subprocess
import sys
import wave

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..'))
from make_kar import track  # noqa: E402

TPB = 480
BARS = 45
BEAT_MS = 500
BASS = (40, 45, 43, 38)             # one a four-bar phrase
FLUTE = (72, 74, 76, 77, 79, 77, 76, 74)
HELD_TICKS = int(7.8 * 1000 / BEAT_MS * TPB)
SPAN_MS = 3000
SEARCH_MS = 3000
NEAR_DB = 3.0
DISTINCT_DB = 1.0


def band(path):
    import mido
    end = BARS * 4 * TPB
    mid = mido.MidiFile(type=1, ticks_per_beat=TPB)
    mid.tracks.append(track([(0, mido.MetaMessage('track_name', name='Band')),
                             (0, mido.MetaMessage('set_tempo', tempo=500000)),
                             (0, mido.MetaMessage('time_signature', numerator=4, denominator=4))], end))
    events = [(0, mido.Message('control_change', channel=9, control=7, value=70))]
    for eighth in range(BARS * 8):
        at = eighth * TPB // 2
        hits = [(42, 80)]
        if eighth % 2 == 0:
            hits.append((36 if (eighth // 2) % 2 == 0 else 38, 110))
        for note, velocity in hits:
            events.append((at, mido.Message('note_on', channel=9, note=note, velocity=velocity)))
            events.append((at + TPB // 4, mido.Message('note_off', channel=9, note=note)))
    mid.tracks.append(track(events, end))
    bass = [(0, mido.Message('program_change', channel=1, program=38))]
    for phrase in range(BARS // 4):
        at = phrase * 16 * TPB
        note = BASS[phrase % len(BASS)]
        bass.append((at, mido.Message('note_on', channel=1, note=note, velocity=120)))
        bass.append((at + HELD_TICKS, mido.Message('note_off', channel=1, note=note)))
    mid.tracks.append(track(bass, end))
    flute = [(0, mido.Message('program_change', channel=3, program=73))]
    for beat in range(BARS * 4):
        at = beat * TPB
        note = FLUTE[beat % len(FLUTE)]
        flute.append((at, mido.Message('note_on', channel=3, note=note, velocity=96)))
        flute.append((at + TPB * 4 // 5, mido.Message('note_off', channel=3, note=note)))
    mid.tracks.append(track(flute, end))
    mid.save(path)


def cut(src, dst, seconds):
    """The song's first `seconds`, every note sounding then ended there."""
    import mido
    song = mido.MidiFile(src)
    end = _tick_at(song, seconds)
    out = mido.MidiFile(type=song.type, ticks_per_beat=song.ticks_per_beat)
    for t in song.tracks:
        kept, now, sounding = [], 0, set()
        for msg in t:
            now += msg.time
            if now >= end:
                break
            if msg.type == 'end_of_track':
                continue
            if msg.type == 'note_on' and msg.velocity > 0:
                sounding.add((msg.channel, msg.note))
            elif msg.type in ('note_off', 'note_on'):
                sounding.discard((msg.channel, msg.note))
            kept.append((now, msg))
        for channel, note in sorted(sounding):
            kept.append((end - 1, mido.Message('note_off', channel=channel, note=note)))
        out.tracks.append(track(kept, end))
    out.save(dst)


def _tick_at(song, seconds):
    import mido
    tempo, tick, elapsed = 500000, 0, 0.0
    for msg in mido.merge_tracks(song.tracks):
        step = mido.tick2second(msg.time, song.ticks_per_beat, tempo)
        if elapsed + step > seconds:
            return tick + int(mido.second2tick(seconds - elapsed, song.ticks_per_beat, tempo))
        elapsed += step
        tick += msg.time
        if msg.type == 'set_tempo':
            tempo = msg.tempo
    return tick


def channels(path):
    import mido
    used = set()
    for t in mido.MidiFile(path).tracks:
        for msg in t:
            if msg.type == 'note_on' and msg.velocity > 0:
                used.add(msg.channel)
    return sorted(used)


def bar_ms(path, bar):
    """Where bar `bar` (from 1) starts, in ms of the song (4/4 bars, as the
    program counts them, at the song's tempi)."""
    import mido
    song = mido.MidiFile(path)
    target = (bar - 1) * 4 * song.ticks_per_beat
    tempo, tick, ms = 500000, 0, 0.0
    for msg in mido.merge_tracks(song.tracks):
        if tick + msg.time >= target:
            break
        ms += mido.tick2second(msg.time, song.ticks_per_beat, tempo) * 1000
        tick += msg.time
        if msg.type == 'set_tempo':
            tempo = msg.tempo
    return ms + mido.tick2second(target - tick, song.ticks_per_beat, tempo) * 1000


def references(build, song, folder):
    import mido
    os.makedirs(folder, exist_ok=True)
    render = os.path.join(build, 'bin', 'velmar-render')
    variants = {'written': None}
    for c in channels(song):
        variants[f'without-{c + 1}'] = c
    for name, dropped in variants.items():
        source = song
        if dropped is not None:
            source = os.path.join(folder, name + '.mid')
            mid = mido.MidiFile(song)
            for t in mid.tracks:
                for msg in t:
                    if msg.type == 'note_on' and msg.channel == dropped:
                        msg.velocity = 0
            mid.save(source)
        subprocess.run([render, source, os.path.join(folder, name + '.wav'), '--soundfont',
                        '/usr/share/sounds/sf2/TimGM6mb.sf2'], check=True, capture_output=True)


def read_raw(path, rate, from_ms, ms):
    with open(path, 'rb') as f:
        f.seek(int(from_ms * rate / 1000) * 4)
        data = f.read(int(ms * rate / 1000) * 4)
    a = array.array('h', data[:len(data) // 4 * 4])
    return [(a[i] + a[i + 1]) / 65536.0 for i in range(0, len(a) - 1, 2)]


def read_wav(path):
    with wave.open(path) as w:
        rate = w.getframerate()
        data = w.readframes(w.getnframes())
    a = array.array('h', data[:len(data) // 4 * 4])
    return [(a[i] + a[i + 1]) / 65536.0 for i in range(0, len(a) - 1, 2)], rate


def envelope(mono, rate, frame_ms=10):
    n = int(rate * frame_ms / 1000)
    return [math.sqrt(sum(v * v for v in mono[i:i + n]) / n) for i in range(0, len(mono) - n + 1, n)]


def best_offset(rec_env, ref_env, start, search):
    """The frame of ref_env, within `search` frames of `start`, from which it
    follows rec_env's loudness best (correlation of the log levels)."""
    def log(v):
        return math.log10(v + 1e-5)
    rec = [log(v) for v in rec_env]
    mean_rec = sum(rec) / len(rec)
    best, best_at = -2.0, start
    for at in range(max(0, start - search), start + search + 1):
        part = ref_env[at:at + len(rec)]
        if len(part) < len(rec):
            break
        ref = [log(v) for v in part]
        mean_ref = sum(ref) / len(ref)
        num = sum((a - mean_rec) * (b - mean_ref) for a, b in zip(rec, ref))
        den = math.sqrt(sum((a - mean_rec) ** 2 for a in rec) * sum((b - mean_ref) ** 2 for b in ref)) or 1e-9
        if num / den > best:
            best, best_at = num / den, at
    return best_at


def spectrum(mono, rate):
    """Mean power in dB of each semitone from C2 to C7 over 100 ms windows,
    the signal taken at a quarter of its rate (8 kHz-ish is plenty)."""
    step = 4
    low = [sum(mono[i:i + step]) / step for i in range(0, len(mono) - step + 1, step)]
    view = rate / step
    width = int(view / 10)
    freqs = [65.41 * 2 ** (k / 12) for k in range(61) if 65.41 * 2 ** (k / 12) < view / 2.2]
    coeffs = [2 * math.cos(2 * math.pi * f / view) for f in freqs]
    total = [0.0] * len(freqs)
    windows = 0
    for start in range(0, len(low) - width + 1, width):
        w = low[start:start + width]
        windows += 1
        for j, k in enumerate(coeffs):
            a = b = 0.0
            for v in w:
                a, b = v + k * a - b, a
            total[j] += a * a + b * b - k * a * b
    return [10 * math.log10(max(t / max(1, windows), 1e-12)) for t in total]


def distance(a, b):
    """RMS of the difference of two spectra (dB) once their mean levels are
    set alike: the program's volume is not the render's."""
    shift = sum(x - y for x, y in zip(a, b)) / len(a)
    return math.sqrt(sum((x - y - shift) ** 2 for x, y in zip(a, b)) / len(a)), shift


def heard(raw, rate, from_ms, song, bar, folder):
    rec = read_raw(raw, rate, from_ms, SPAN_MS)
    if len(rec) < rate * SPAN_MS / 1000 * 0.9:
        print('the recording is shorter than what is looked at')
        return 1
    level = 10 * math.log10(max(sum(v * v for v in rec) / len(rec), 1e-12))
    written, ref_rate = read_wav(os.path.join(folder, 'written.wav'))
    rec_env = envelope(rec, rate)
    ref_env = envelope(written, ref_rate)
    start = int(bar_ms(song, bar) / 10)
    at = best_offset(rec_env, ref_env, start, SEARCH_MS // 10)
    span = int(SPAN_MS * ref_rate / 1000)
    first = at * ref_rate // 100
    mine = spectrum(rec, rate)
    written_there = spectrum(written[first:first + span], ref_rate)
    near, _ = distance(mine, written_there)
    parts = []
    wrong = []
    for name in sorted(os.listdir(folder)):
        if not name.startswith('without-') or not name.endswith('.wav'):
            continue
        without = spectrum(read_wav(os.path.join(folder, name))[0][first:first + span], ref_rate)
        # A channel that plays next to nothing there tells nothing.
        if distance(without, written_there)[0] < DISTINCT_DB:
            continue
        d, _ = distance(mine, without)
        parts.append(f'{name[:-4]} {d:.1f} dB')
        if d <= near:
            wrong.append(name[:-4])
    print(f'level {level:.1f} dBFS; from {at * 10 / 1000:.2f} s of the song (bar {bar} at '
          f'{bar_ms(song, bar) / 1000:.2f} s); as written {near:.1f} dB; ' + ', '.join(parts))
    if level < -60:
        print('silent')
        return 1
    if wrong or near > NEAR_DB:
        print('not as written' + (': nearer to ' + ', '.join(wrong) if wrong else ''))
        return 1
    return 0


def main(argv):
    if len(argv) in (3, 4) and argv[1] == 'write':
        os.makedirs(argv[2], exist_ok=True)
        band(os.path.join(argv[2], 'band.mid'))
        if len(argv) == 4:
            cut(argv[3], os.path.join(argv[2], 'real.mid'), 90)
    elif len(argv) == 5 and argv[1] == 'references':
        references(argv[2], argv[3], argv[4])
    elif len(argv) == 8 and argv[1] == 'heard':
        sys.exit(heard(argv[2], int(argv[3]), float(argv[4]), argv[5], int(argv[6]), argv[7]))
    else:
        sys.exit(__doc__)


if __name__ == '__main__':
    main(sys.argv)
