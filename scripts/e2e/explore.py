"""The sound explorer: an evening of a host and the sound server, drawn at
random from a seed, step by step, against the release program; after each
step it checks by the recording of every sink, the header and the log what
must hold in every state. scripts/explore.sh prepares the run (screen,
home, songs, the library's playlist) and calls it.

explore.py songs DIR
    The songs: two MIDI songs (an organ chord struck on every beat, so that
    the song sounds throughout and a seek or a key change is heard again
    within half a second) and two MP3s (steady tones), four minutes each.
explore.py playlist DATABASE
    The playlist of the four in the library, MIDI and MP3 in turn.
explore.py run --program P --work W --out O --template HOME --songs DIR
        [--seeds S...] [--minutes M | --episodes E] [--steps N] [--roads all|ci] [--shrink-minutes K]
        [--confirm R]
    Episodes from each seed (a fresh copy of HOME, server and program each)
    until M minutes of it have passed; a fault counts once up to R replays
    of its episode's steps show it again (one that does not is listed apart,
    seen once); each is shrunk to the shortest sequence of steps that still
    shows it and replayed to confirm it. ci: hangs within 2.5 s.
explore.py replay --program P ... [--shrink-minutes K] STEPS...
    One episode of the steps given (as printed), e.g.
    "srv:up/0.5 program/1 dbl:organ-a/2 srv:term/1.5 dbl:tone-a/1 srv:up/3".
explore.py recorder --program P --work W
    How far the recorder places beeps from when they sounded.

A step is KIND[:ARG]/WAIT, WAIT the seconds to the next step. Host steps:
dbl:SONG (double-click its row), later:SONG (VelmarPC FILE again), play,
pause, stop, seek:FRACTION, key:+ or key:-, out:first or out:second
(Options' audio output), midi (Options' MIDI output: the synthesizer again),
end (the song let end from near its end: Auto Play goes on). The server's:
srv:up or srv:up44 (a server at 48 or 44.1 kHz), srv:term, srv:kill, hang
and cont (SIGSTOP and SIGCONT), sink+ and sink- (the second sink), stall
(the program held 0.4 s); program starts the program.

What must hold (a fault is reported with what was seen):
- silent: while a song is to sound and the server answers, it is heard
  within 1 s of the step that made it so, on the output chosen in Options
  (where that output is gone, on the server's default), and it stays heard;
- stop-heard: 1 s after Stop nothing is heard;
- header: "No sound server" in the header while the server is gone (or
  hangs under a song) for 2 s, and not while the server answers and the
  song is heard;
- log-back: the log never says the output is back while no server answers;
  log-repeats: no line about the sound twice within one outage;
- window: while the server hangs the window answers (its list of controls
  on SIGUSR1) no more than 100 ms later than after the same press with the
  server there (made after the steps where it was not);
- later: a later start is handed over (it ends with 0);
- ended: the program never ends by itself.
"""
import argparse
import os
import random
import re
import shutil
import signal
import statistics
import subprocess
import sys
import time

import explore_rig as rig
from explore_rig import FIRST_SINK, SECOND_SINK, SINK_NAMES, now, sleep_until

# Song: (title in the library, file, kind).
SONGS = {
    'organ-a': ('organ-a', 'organ-a.mid', 'mid'),
    'organ-b': ('organ-b', 'organ-b.mid', 'mid'),
    'tone-a': ('Tone A', 'tone-a.mp3', 'mp3'),
    'tone-b': ('Tone B', 'tone-b.mp3', 'mp3'),
}
SONG_SECONDS = 240
# The playlist made of them, MIDI and MP3 in turn: Auto Play goes on there.
PLAYLIST = 'Evening'
PLAYLIST_SONGS = ['organ-a', 'tone-a', 'organ-b', 'tone-b']

# Margins of the explorer's own timing: a press reaches the program a little
# after it is sent (the step's moment is taken once xdotool has sent it);
# the recorder places a frame within about 10 ms (heard-beep against it).
HEARD_S = 1.0
MARGIN_S = 0.1
HEADER_S = 2.0
HEADER_MARGIN_S = 0.5
WINDOW_S = 0.1
WINDOW_MARGIN_S = 0.05
# Sound that stops for this long after it was heard is a fault.
SILENT_RUN_S = 1.0
# Lines the log keeps about a step of ours come within this of its press.
STEP_LINES_S = 1.5

HOST = ('dbl', 'later', 'play', 'pause', 'stop', 'seek', 'key', 'out', 'midi', 'end')
SERVER = ('srv', 'hang', 'cont', 'sink+', 'sink-', 'stall')


class Step:
    def __init__(self, kind, arg='', wait=1.0):
        self.kind, self.arg, self.wait = kind, arg, wait

    def __str__(self):
        return f'{self.kind}{":" + self.arg if self.arg else ""}/{self.wait:g}'

    @staticmethod
    def parse(text):
        head, _, wait = text.partition('/')
        kind, _, arg = head.partition(':')
        if kind not in HOST + SERVER + ('program',):
            raise ValueError(f'no such step: {text}')
        return Step(kind, arg, float(wait or 1))


def sequence_text(steps):
    return ' '.join(str(s) for s in steps)


def press_kind(step):
    """What a press's answer is compared by: a song's start by the kind of
    song (an MP3 and a MIDI song load differently)."""
    return step.kind + ('/' + SONGS[step.arg][2] if step.kind in ('dbl', 'later') else '')


# The presses the window's answer during a hang is judged by: where one was
# not made while the server answered, it is made after the steps.
CALM_PRESSES = {'dbl/mid': Step('dbl', 'organ-a'), 'dbl/mp3': Step('dbl', 'tone-a'),
                'later/mid': Step('later', 'organ-a'), 'later/mp3': Step('later', 'tone-a'),
                'play': Step('play'), 'pause': Step('pause'), 'stop': Step('stop')}


# ---- drawing a sequence

WAITS = [0.3, 0.7, 1.5, 2.0, 3.0, 5.0]
WAIT_WEIGHTS = [1, 2, 3, 3, 2, 1]
HANGS = [0.3, 0.6, 1.2, 2.5, 4.0, 7.0, 12.0, 20.0, 30.0]
HANG_WEIGHTS = [3, 3, 3, 3, 2, 2, 1, 0.5, 0.5]


def draw(seed, count, short=False):
    """count steps from the seed: what a host and the server do, each step
    possible in the state the ones before leave (the server up, down or
    hung; a song started or not). short keeps hangs within 2.5 s, as the
    scenario in CI does."""
    rng = random.Random(seed)
    steps = []
    server = 'down'
    second = False
    started = False
    if rng.random() < 0.8:
        steps.append(Step('srv', 'up', 0.5))
        server = 'up'
        if rng.random() < 0.3:
            # Both sinks there as the program starts: Options lists both.
            steps.append(Step('sink+', '', 0.3))
            second = True
    steps.append(Step('program', '', rng.choice([0.5, 1.0, 2.0])))

    def wait():
        return rng.choices(WAITS, WAIT_WEIGHTS)[0]

    def host_step(inside_hang):
        weights = {'dbl': 6 if not started else 4, 'later': 2, 'play': 3, 'pause': 3 if started else 0.5,
                   'stop': 3 if started else 0.5, 'seek': 2 if started else 0, 'key': 2 if started else 0,
                   'out': 1.5, 'midi': 0.7, 'end': 1.5 if started and server == 'up' and not inside_hang else 0}
        kinds = [k for k in weights if weights[k] > 0]
        kind = rng.choices(kinds, [weights[k] for k in kinds])[0]
        arg = ''
        if kind in ('dbl', 'later'):
            arg = rng.choice(sorted(SONGS))
        elif kind == 'seek':
            arg = f'{rng.randint(1, 8) / 10:.1f}'
        elif kind == 'key':
            arg = rng.choice('+-')
        elif kind == 'out':
            arg = rng.choice(['first', 'second'])
        return Step(kind, arg, wait())

    while len(steps) < count:
        weights = {'host': 10,
                   'srv': 5 if server == 'down' else 2.5,
                   'hang': 2 if server == 'up' else 0,
                   'sink': 1 if server == 'up' else 0,
                   'stall': 0.7}
        group = rng.choices(list(weights), list(weights.values()))[0]
        if group == 'host':
            step = host_step(False)
            steps.append(step)
            started = started or step.kind in ('dbl', 'later')
        elif group == 'srv':
            if server == 'down':
                steps.append(Step('srv', 'up44' if rng.random() < 0.25 else 'up', wait()))
                server = 'up'
            else:
                steps.append(Step('srv', 'kill' if rng.random() < 0.3 else 'term', wait()))
                server = 'down'
        elif group == 'hang':
            hangs = HANGS[:4] if short else HANGS
            length = rng.choices(hangs, HANG_WEIGHTS[:len(hangs)])[0]
            first = min(length, rng.choice([0.1, 0.3, 0.6, 1.0]))
            steps.append(Step('hang', '', first))
            spent = first
            while spent < length and rng.random() < 0.5:
                inner = host_step(True)
                inner.wait = min(inner.wait, max(0.1, length - spent))
                steps.append(inner)
                spent += inner.wait
                started = started or inner.kind in ('dbl', 'later')
            if spent < length:
                steps[-1].wait = round(steps[-1].wait + length - spent, 2)
            steps.append(Step('cont', '', wait()))
        elif group == 'sink':
            steps.append(Step('sink-' if second else 'sink+', '', wait()))
            second = not second
        else:
            steps.append(Step('stall', '', wait()))
    # The last step's state is judged: long enough to hear it.
    steps[-1].wait = max(steps[-1].wait, 3.0)
    return steps


# ---- one episode

class Fault:
    def __init__(self, kind, step, text, song_kind=''):
        self.kind, self.step, self.text, self.song_kind = kind, step, text, song_kind

    def signature(self):
        return f'{self.kind}{"/" + self.song_kind if self.song_kind else ""}'

    def __str__(self):
        return f'{self.signature()} at step {self.step + 1}: {self.text}'


def said(line):
    """A line of the log without its level, moment and place in the sources."""
    return re.sub(r'^(Debug|Info|Warning|Critical|Fatal) (\[\d+\] [^:]*: \(\d+\) : )?', '', line.strip())


def not_files(folder, names):
    """What a copy of a home leaves out: sockets and pipes (a program's
    local socket left behind)."""
    return [n for n in names if not (os.path.isfile(os.path.join(folder, n)) or os.path.isdir(os.path.join(folder, n)))
            and not os.path.islink(os.path.join(folder, n))]


class Context:
    """What every episode shares: the build, the folders, the home to start
    from."""

    def __init__(self, program, work, out, template, songs_dir, keep=False, quiet=False):
        self.work, self.out = work, out
        self.template, self.songs_dir = template, songs_dir
        self.keep, self.quiet = keep, quiet
        self.program_bin = program
        self.record_bin = os.path.join(os.path.dirname(program), 'heard-record')


class Episode:
    def __init__(self, ctx, steps, label):
        self.ctx, self.steps, self.label = ctx, steps, label
        self.folder = os.path.join(ctx.out, label)
        self.faults = []
        # Why the rig could not walk the episode to its end, if it could not.
        self.incomplete = None
        # The model: what the program is to do, by what the host did.
        self.intent = 'idle'       # idle, playing, paused, stopped, ended, unknown
        self.song = None
        self.chosen = None         # the sink chosen in Options
        self.either = False        # the chosen sink came back under the song
        self.server_state = 'down'
        self.server_history = [(0.0, 'down')]
        self.sinks = {FIRST_SINK}
        self.played = False
        self.stopped_at = None
        self.host_presses = []
        self.later_starts = []
        self.calm_answers = []
        # The longest answer of the window after each kind of press while
        # the server answered.
        self.calm_press = {}
        # The longest answer while a later start was handed over and its
        # song loaded (the server answering): part of that press's measure.
        self.handover = 0.0
        # Answers while the server hung to a press not yet measured calm:
        # judged at the end against one made then.
        self.window_pending = []
        self.outage_marks = []
        self.log_mark = 0
        self.song_mark = 0
        self.last_load = self.last_unload = 0.0
        self.window_cache = {}
        self.program_up = 0.0
        self.current_step = 0
        # What the checks of the step saw, and the faults: said after it.
        self.notes, self.heard = [], []

    # -- the record

    def say(self, text):
        if not self.ctx.quiet:
            print(text, flush=True)

    def fault(self, kind, step, text, song_kind=''):
        f = Fault(kind, step, text, song_kind)
        seen = [g for g in self.faults if g.signature() == f.signature()]
        if any(g.step == step for g in seen):
            return
        self.faults.append(f)
        # Once a step: the state a fault leaves shows it again at the next.
        if seen:
            self.heard.append(f'  (again: {f.signature()})')
        else:
            self.heard.append(f'  FAULT {f}')

    def set_server(self, state, t=None):
        t = now() if t is None else t
        if state != self.server_state:
            self.server_state = state
            self.server_history.append((t, state))

    def answering_within(self, a, b):
        """Whether the server answered at some moment within [a, b]."""
        at_a = [s for t, s in self.server_history if t <= a]
        return (at_a and at_a[-1] == 'up') or any(s == 'up' for t, s in self.server_history if a < t <= b)

    def state_since(self):
        return self.server_history[-1][0]

    # -- running

    def run(self, keep_faulty=True):
        shutil.rmtree(self.folder, ignore_errors=True)
        os.makedirs(self.folder)
        home = os.environ['HOME']
        shutil.rmtree(home, ignore_errors=True)
        shutil.copytree(self.ctx.template, home, symlinks=True, ignore=not_files)
        self.server = rig.Server(self.ctx.work, self.ctx.record_bin, self.folder)
        self.program = rig.Program(self.ctx.program_bin, self.ctx.work, self.server,
                                   os.path.join(self.folder, 'program.log'))
        self.say(f'== {self.label}: {sequence_text(self.steps)}')
        try:
            for i, step in enumerate(self.steps):
                if not self.run_step(i, step):
                    break
            self.finish()
        except rig.RigError as e:
            # What the explorer could not do (a program slow to show its
            # first page on a busy machine) is no fault of the program's;
            # one that ended meanwhile is.
            if self.program.proc is not None and not self.program.alive():
                self.fault('ended', self.current_step, f'the program ended by itself ({self.program.ended_how()})')
            else:
                self.incomplete = str(e)
                self.say(f'  (the episode stopped: {e})')
        finally:
            if self.server.hung:
                self.server.go_on()
            self.program.quit()
            self.server.close()
        for line in self.heard:
            self.say(line)
        if not self.ctx.keep and (not self.faults or not keep_faulty):
            shutil.rmtree(self.folder, ignore_errors=True)
        return self.faults

    def run_step(self, i, step):
        self.current_step = i
        t_begin = now()
        if step.kind in HOST:
            self.host_presses.append(t_begin)
        note, t0 = self.act(i, step)
        t_done = now() if t0 is None else t0
        if self.program.alive() and (step.kind in HOST or step.kind == 'hang'):
            # While the server hangs, for the whole wait: how long the window
            # is held shows.
            hung = self.server_state == 'hung'
            self.probe_window(i, step, t_done + (step.wait if hung else min(step.wait, 1.0)))
        sleep_until(t_done + step.wait)
        t_end = now()
        going = True
        if self.program.proc is not None and not self.program.alive():
            self.fault('ended', i, f'the program ended by itself ({self.program.ended_how()})')
            going = False
        else:
            self.judge(i, step, t_done, t_end)
        notes = [n for n in [note] + self.notes if n]
        self.say(f'{i + 1:4d} {str(step):18s} {"; ".join(notes)}'.rstrip())
        with open(os.path.join(self.folder, 'steps.txt'), 'a') as f:
            f.write(f'{i + 1} {step} {t_begin:.3f} {t_done:.3f} {t_end:.3f}\n')
        for line in self.heard:
            self.say(line)
        self.notes, self.heard = [], []
        return going

    # -- the steps

    def act(self, i, step):
        """Performs the step; (what it did, the moment the state it brings
        began where not the step's end)."""
        k = step.kind
        if k == 'program':
            if self.program.proc is not None:
                return 'already running', None
            self.program.start()
            self.program_up = now()
            self.cache_places()
            self.calibrate()
            return f'up (window answers in {statistics.median(self.calm_answers) * 1000:.0f} ms)', None
        if self.program.proc is None and k in HOST:
            return 'no program yet', None
        if k == 'srv':
            return self.act_server(step)
        if k == 'hang':
            if self.server_state != 'up':
                return 'no server to hang', None
            self.server.hang()
            self.set_server('hung')
            self.outage_begins()
            return '', None
        if k == 'cont':
            if self.server_state != 'hung':
                return 'not hung', None
            self.server.go_on()
            self.set_server('up')
            self.outage_ends()
            return '', None
        if k in ('sink+', 'sink-'):
            if self.server_state != 'up':
                return 'no server', None
            if k == 'sink+' and SECOND_SINK not in self.sinks:
                self.server.add_second()
                self.sinks.add(SECOND_SINK)
                if self.chosen == SECOND_SINK and self.intent == 'playing':
                    self.either = True
            elif k == 'sink-' and SECOND_SINK in self.sinks:
                self.server.remove_second()
                self.sinks.discard(SECOND_SINK)
            else:
                return 'no change', None
            return '', None
        if k == 'stall':
            if self.program.proc is None:
                return 'no program yet', None
            self.program.stall(0.4)
            return '', None
        return self.act_host(step)

    def act_server(self, step):
        if step.arg.startswith('up'):
            if self.server_state != 'down':
                return 'already up', None
            rate = 44100 if step.arg == 'up44' else 48000
            shown = self.server.start(rate, SECOND_SINK in self.sinks)
            self.set_server('up', shown)
            self.outage_ends()
            # New streams: the output chosen is opened by name.
            self.either = False
            return f'at {rate} Hz', shown
        if self.server_state == 'down':
            return 'no server', None
        self.server.end(signal.SIGKILL if step.arg == 'kill' else signal.SIGTERM)
        self.set_server('down')
        self.outage_begins()
        return '', None

    def outage_begins(self):
        # A server ended while it hangs goes on being away.
        if not self.outage_marks or self.outage_marks[-1][1] is not None:
            self.outage_marks.append([now(), None, self.program.log.mark() if self.program.log else 0])

    def outage_ends(self):
        if self.outage_marks and self.outage_marks[-1][1] is None:
            self.outage_marks[-1][1] = now()
            self.check_repeats(self.current_step)

    def act_host(self, step):
        k, w = step.kind, self.program.window
        if k in ('dbl', 'later'):
            title, name, _kind = SONGS[step.arg]
            # A file opened from the desktop: the one the library was filled from.
            path = os.path.join(self.ctx.songs_dir, name)
            if k == 'dbl':
                x, y = self.window_cache['rows'][title]
                w.press_at(x, y, double=True)
            else:
                mark = self.program.log.mark()
                later = self.program.later(path)
                self.later_starts.append((later, now(), step.arg, self.current_step))
                if self.server_state != 'hung':
                    # Handed over and taken before the next press, which
                    # would else come first (a later start takes its time);
                    # the window's answers meanwhile are part of the press's.
                    def taken():
                        return later.poll() is not None and any(
                            line.endswith('/' + name) for _t, line in self.program.log.find('LOAD SONG :', mark))
                    self.handover = self.longest_answer(taken, 13)
            self.intent, self.song, self.played = 'playing', step.arg, True
            self.either = False
            return '', None
        if k == 'play':
            self.press('playButton')
            if self.played and self.intent in ('paused', 'stopped', 'ended', 'playing', 'unknown'):
                if self.intent != 'playing':
                    self.either = False
                self.intent = 'playing'
            return '', None
        if k == 'pause':
            self.press('pauseButton')
            if not self.settled_server():
                # Under an outage the program holds the song itself: what a
                # press of Pause means then is for Play or Stop to settle.
                if self.intent in ('playing', 'paused'):
                    self.intent = 'unknown'
            elif self.intent == 'playing':
                self.intent = 'paused'
            elif self.intent == 'paused':
                self.intent = 'playing'
            return '', None
        if k == 'stop':
            self.press('rewButton')
            if self.played:
                self.intent = 'stopped'
                self.stopped_at = now()
            return '', None
        if k == 'seek':
            if self.intent not in ('playing', 'paused'):
                return 'nothing to seek', None
            return self.seek(float(step.arg)), None
        if k == 'key':
            if not self.played:
                return 'no song', None
            return self.key(step.arg), None
        if k in ('out', 'midi'):
            return self.choose_output(step), None
        if k == 'end':
            return self.let_end()
        return 'unknown step', None

    def settled_server(self):
        return self.server_state == 'up' and now() - self.state_since() > 3.0

    # -- the window

    def cache_places(self):
        """Where the controls are drawn (they stay there): pressed there
        also while the window cannot answer."""
        wl = self.program.widgets(5.0)
        if wl is None:
            raise rig.RigError('the window did not answer')
        places = {}
        for name in ('playButton', 'pauseButton', 'rewButton', 'fwdButton', 'optionsButton', 'EditButton',
                     'LibraryButton', 'KaraokeButton'):
            e = wl.find(name, kind='control')
            if e:
                places[name] = e.middle()
        rows = {}
        for e in self.show_playlist().all('songsListview', kind='item'):
            rows[e.text] = e.middle()
        missing = [t for t, _n, _k in SONGS.values() if t not in rows]
        if missing:
            raise rig.RigError(f'rows not shown: {missing}')
        places['rows'] = rows
        self.window_cache = places

    def show_playlist(self):
        """The playlist of the four songs shown (below the fixed entries of
        the side list, scrolled to): its rows are the ones double-clicked,
        and Auto Play goes on in it."""
        w = self.program.window
        for _ in range(10):
            wl = self.program.widgets(2.0)
            entry = wl and wl.find('playlistListWidget/qt_scrollarea_viewport/listItem/titleLabel', text=PLAYLIST)
            if entry:
                w.press_at(*entry.middle())
                break
            side = wl and wl.find('playlistListWidget', kind='input')
            if side:
                w.xdo('mousemove', *(str(v) for v in side.middle()))
                w.xdo('click', '5')
            time.sleep(0.2)
        else:
            raise rig.RigError(f'the playlist {PLAYLIST} is not shown')
        titles = [SONGS[name][0] for name in PLAYLIST_SONGS]
        for _ in range(30):
            wl = self.program.widgets(2.0)
            rows = sorted((e.shown[1], e.text) for e in wl.all('songsListview', kind='item')) if wl else []
            # In the playlist's order (the list of all songs has another).
            if [text for _y, text in rows if text in titles] == titles:
                return wl
            time.sleep(0.2)
        raise rig.RigError(f'the playlist {PLAYLIST} does not show its songs')

    def calibrate(self):
        for _ in range(8):
            a = self.program.answer(5.0)[1]
            if a is not None:
                self.calm_answers.append(a)
            time.sleep(0.05)

    def calm_answer(self):
        """What an answer of the window takes calm: the median of the last
        ones measured while the server answered."""
        return statistics.median(self.calm_answers[-20:]) if self.calm_answers else 0.0

    def press(self, name):
        x, y = self.window_cache[name]
        self.program.window.press_at(x, y)

    def probe_window(self, i, step, until):
        """The window asked again and again for its list after a press:
        while the server hangs, the soonest its longest answer can have come
        must not pass the longest the same press took while the server
        answered by more than 100 ms (a press not yet made calm is judged
        at the end, against one made then). An answer not in by the step's
        end counts as long as it was waited for."""
        hung = self.server_state == 'hung'
        sooner, later, waited, where = 0.0, 0.0, False, {}
        while now() < until - 0.01:
            lo, hi = self.program.answer(until - now())
            if lo >= sooner:
                sooner, where = lo, self.program.whereabouts
            if hi is None:
                waited = True
                break
            later = max(later, hi)
            time.sleep(0.03)
        kind = press_kind(step)
        if not hung:
            if self.server_state == 'up':
                self.calm_press.setdefault(kind, []).append(max(later, self.handover))
            self.handover = 0.0
            return
        self.notes.append(f'the window answered within {later * 1000:.0f} ms' if not waited
                          else f'the window did not answer in {sooner * 1000:.0f} ms')
        probe = (i, step, kind, sooner, waited, rig.Program.whereabouts_text(where))
        if kind in self.calm_press or kind not in CALM_PRESSES:
            self.judge_window(*probe)
        else:
            self.window_pending.append(probe)

    def judge_window(self, i, step, kind, sooner, waited, where):
        calm = max(self.calm_press.get(kind, []) + [self.calm_answer()])
        late = sooner - calm
        if late > WINDOW_S + WINDOW_MARGIN_S:
            unanswered = ' (not by the step\'s end)' if waited else ''
            self.fault('window', i, f'the window answered no sooner than {sooner * 1000:.0f} ms after {step} while '
                                    f'the server hung{unanswered}, {late * 1000:.0f} ms later than calm (its thread '
                                    f'meanwhile: {where})')

    def longest_answer(self, done, limit_s):
        """The window asked again and again until done() or limit_s: the
        longest answer."""
        longest, end = 0.0, now() + limit_s
        while not done() and now() < end:
            hi = self.program.answer(max(0.05, end - now()))[1]
            longest = max(longest, hi if hi is not None else end - now())
            time.sleep(0.03)
        return longest

    def calm_presses(self):
        """The presses answered while the server hung that were not made
        while it answered: made now, on a server that answers (brought
        back where it is not), each measured as the steps are."""
        kinds = sorted({p[2] for p in self.window_pending} - set(self.calm_press))
        if kinds and self.program.alive():
            if self.server_state == 'hung':
                self.server.go_on()
            elif self.server_state == 'down':
                self.server.start(48000, SECOND_SINK in self.sinks)
            self.set_server('up')
            sleep_until(self.state_since() + 3.0)
            for kind in kinds:
                step = CALM_PRESSES[kind]
                self.act_host(step)
                self.probe_window(-1, step, now() + 1.0)
            measured = ', '.join(f'{k} {max(self.calm_press.get(k, [0])) * 1000:.0f} ms' for k in kinds)
            self.heard.append(f'  (presses made after the steps with the server there: {measured})')
        for probe in self.window_pending:
            self.judge_window(*probe)
        self.window_pending = []

    def open_popup(self, name, window):
        """Presses name and waits up to 2 s for the pop-up window (its
        object name)."""
        self.press(name)
        end = now() + 2.0
        while now() < end:
            wl = self.program.widgets(max(0.05, end - now()))
            if wl is not None and any(e.kind == 'window' and e.path == window for e in wl.entries):
                return wl
            time.sleep(0.1)
        return None

    def close_boxes(self):
        """Closes the message boxes the program shows (each with its OK)."""
        for _ in range(5):
            wl = self.program.widgets(1.0)
            if wl is None:
                return
            oks = [e for e in wl.entries if e.kind == 'control' and e.text == 'OK'
                   and not e.path.startswith(('MainWindow/', 'SettingsView/'))]
            if not oks:
                return
            self.program.window.press_at(*oks[0].middle())
            time.sleep(0.3)

    def seek(self, fraction):
        wl = self.open_popup('fwdButton', 'SeekTrackSlider')
        if wl is None:
            self.program.window.key('Escape')
            return 'the position bar did not open'
        slider = wl.find('SeekTrackSlider/horizontalSlider', kind='input')
        if slider is None:
            self.program.window.key('Escape')
            return 'no position bar'
        x, y, width, height = slider.shown
        self.program.window.press_at(x + int(width * fraction), y + height // 2)
        time.sleep(0.1)
        self.program.window.key('Escape')
        return ''

    def key(self, sign):
        """Key + or - on the Editing page, then back to the playlist; the
        key the header shows after it."""
        if 'EditButton' not in self.window_cache:
            return 'no Editing page'
        self.press('EditButton')
        button = 'plusButtonKey' if sign == '+' else 'minusButtonKey'
        place = self.window_cache.get(button)
        if place is None:
            wl = self.program.widgets(2.0)
            e = wl.find(button, kind='control') if wl else None
            if e is None:
                self.press('LibraryButton')
                return 'the key buttons are not shown'
            place = self.window_cache[button] = e.middle()
        self.program.window.press_at(*place)
        time.sleep(0.1)
        # Back to the song list, which the rows are pressed on.
        self.press('LibraryButton')
        wl = self.program.widgets(0.5)
        return f'the header shows key {wl.text("keyValueLabel").strip()}' if wl else ''

    def choose_output(self, step):
        wl = self.open_popup('optionsButton', 'SettingsView')
        if wl is None:
            self.program.window.key('Escape')
            return 'Options did not open'
        combo = 'comboAudioDevices' if step.kind == 'out' else 'comboSoundCard'
        want = SINK_NAMES[FIRST_SINK if step.arg == 'first' else SECOND_SINK] if step.kind == 'out' \
            else 'Timbra MIDI Module'
        box = wl.find(combo, kind='input')
        items = [e.text for e in wl.all(combo, kind='item')]
        taken = ''
        if box is None:
            taken = 'the box is not shown'
        elif self.disabled(wl, combo):
            taken = 'the box waits for Stop'
        elif want not in items:
            taken = f'{want} is not listed ({"; ".join(items) or "empty"})'
        if taken:
            self.program.window.key('Escape')
            return 'not taken: ' + taken
        self.program.window.press_at(*box.middle())
        time.sleep(0.3)
        self.program.window.key('Home')
        for _ in range(items.index(want)):
            self.program.window.key('Down')
        self.program.window.key('Return')
        time.sleep(0.3)
        self.close_boxes()
        self.program.window.key('Escape')
        if step.kind == 'out':
            self.chosen = FIRST_SINK if step.arg == 'first' else SECOND_SINK
        return f'{want} chosen'

    @staticmethod
    def disabled(wl, name):
        box = wl.find(name, kind='input')
        return box is not None and box.state.startswith('d')

    def let_end(self):
        """The song taken near its end and let end: the log's next load is
        Auto Play's next song."""
        if self.intent != 'playing' or self.server_state != 'up':
            return 'not playing', None
        mark = self.program.log.mark()
        note = self.seek(0.98)
        name = '/' + SONGS[self.song][1] if self.song else ''

        def unloaded():
            return next((mark + j for j, (_t, line) in enumerate(self.program.log.since(mark))
                         if '[currSong]' in line and 'UNLOAD SONG' in line and line.endswith(name)), None)
        if not rig.wait_until(15, lambda: unloaded() is not None):
            self.intent = 'unknown'
            return (note + '; ' if note else '') + 'the song did not end', None
        after = unloaded() + 1

        def next_loads():
            return [line for _t, line in self.program.log.since(after) if '[currSong] LOAD SONG :' in line]
        rig.wait_until(3, next_loads)
        loads = next_loads()
        if not loads:
            self.intent = 'ended'
            return 'ended; nothing next', None
        started = now()
        self.song = next((s for s, (_t, n, _k) in SONGS.items() if loads[-1].endswith(n)), None)
        self.intent = 'playing'
        self.either = False
        return f'ended; next {self.song}', started

    # -- the checks

    def expected_sinks(self):
        if self.either:
            return [FIRST_SINK, SECOND_SINK] if SECOND_SINK in self.sinks else [FIRST_SINK]
        if self.chosen == SECOND_SINK and SECOND_SINK in self.sinks:
            return [SECOND_SINK]
        return [FIRST_SINK]

    def recorded_to(self, t, sinks):
        """Waits (up to 3 s) for the sinks' recordings to reach t."""
        def reached():
            for s in sinks:
                u = self.server.recorded_until(s)
                if u is None or u < t:
                    return False
            return True
        return rig.wait_until(3.0, reached, 0.05)

    def judge(self, i, step, t0, t_end):
        if self.program.proc is None:
            return
        self.check_later(i)
        self.follow_songs()
        heard_now = self.check_sound(i, step, t0, t_end)
        self.check_header(i, step, heard_now)
        self.check_log(i)
        if self.server_state == 'up' and self.settled_server() and self.program.alive():
            a = self.program.answer(2.0)[1]
            if a is not None:
                self.calm_answers.append(a)

    def follow_songs(self):
        """The song playing by the log: Auto Play's next, or the end of the
        list (a song unloaded and none loaded after it for a second)."""
        lines = self.program.log.since(self.song_mark)
        self.song_mark += len(lines)
        for t, line in lines:
            if '[currSong] LOAD SONG :' in line:
                self.last_load = t
                self.song = next((name for name, (_t, f, _k) in SONGS.items() if line.endswith('/' + f)),
                                 self.song)
            elif '[currSong]' in line and 'UNLOAD SONG' in line:
                self.last_unload = t
        if self.intent == 'playing' and self.last_unload > self.last_load and now() - self.last_unload > 1.0:
            self.intent = 'ended'
            self.notes.append('the song ended')

    def song_kind(self):
        return SONGS[self.song][2] if self.song else ''

    def check_sound(self, i, step, t0, t_end):
        """Judges what was heard from t0 to t_end; True when the song to
        sound was heard at its end."""
        if self.server_state != 'up':
            return False
        t0 = max(t0, self.state_since())
        if self.intent == 'playing':
            sinks = self.expected_sinks()
            # Judged from when the sinks play: a second sink loaded starts
            # up to 2 s later (a new server's first one plays before the
            # program can reach the server).
            since = [self.server.recorded_since(s) for s in sinks]
            if None in since:
                return False
            t0 = max([t0] + since)
            if t_end - t0 < HEARD_S + MARGIN_S + 0.05:
                return False
            if not self.recorded_to(t_end, sinks):
                self.notes.append('the recorder is late: not judged')
                return False
            blocks = {}
            for s in sinks:
                for t, loud in self.server.blocks(s, t0, t_end):
                    key = round(t, 2)
                    blocks[key] = blocks.get(key, False) or loud
            times = sorted(blocks)
            loud = [t for t in times if blocks[t]]
            where = ' or '.join(sinks)
            deadline = t0 + HEARD_S + MARGIN_S
            if not loud:
                self.fault('silent', i, f'{self.song} not heard on {where} in the {t_end - t0:.1f} s after {step} '
                                        f'(the server answering)', self.song_kind())
                return False
            if loud[0] > deadline:
                self.fault('silent', i, f'{self.song} heard on {where} only {(loud[0] - t0) * 1000:.0f} ms after '
                                        f'{step}', self.song_kind())
            longest, last = 0.0, loud[0]
            for t in times:
                if t < loud[0]:
                    continue
                if blocks[t]:
                    last = t
                longest = max(longest, t - last)
            self.notes.append(f'heard {max(0.0, loud[0] - t0) * 1000:.0f} ms after on {where}'
                              + (f', {longest * 1000:.0f} ms without sound at most' if longest >= 0.1 else ''))
            if longest >= SILENT_RUN_S:
                self.fault('silent', i, f'{self.song} fell silent on {where} for {longest:.1f} s after {step}',
                           self.song_kind())
                return False
            return t_end - last < 0.5
        if self.intent == 'stopped' and self.stopped_at is not None:
            start = max(self.stopped_at, t0) + HEARD_S + MARGIN_S
            if t_end - start < 0.2:
                return False
            sinks = sorted(self.sinks)
            if not self.recorded_to(t_end, sinks):
                return False
            for s in sinks:
                heard = [t for t, loud in self.server.blocks(s, start, t_end) if loud]
                if heard:
                    self.fault('stop-heard', i, f'sound on {s} {heard[0] - self.stopped_at:.1f} s after Stop',
                               self.song_kind())
                    break
        return False

    def check_header(self, i, step, heard_now):
        if self.program.stalled or not self.program.alive():
            return
        asked = now()
        sooner, later = self.program.answer(1.0)
        if later is None:
            return
        wl = self.program.window.list
        wl.read(fresh=False)
        says = wl.text('authorLabel', kind='label') == rig.HEADER_LOST
        # From the soonest the header can have been listed; a program
        # started meanwhile has its own moment to tell it.
        for_s = asked + sooner - max(self.state_since(), self.program_up)
        enough = HEADER_S + HEADER_MARGIN_S
        if self.server_state == 'down' and for_s >= enough and not says:
            self.fault('header', i, f'the server is gone for {for_s:.1f} s and the header does not say '
                                    f'"{rig.HEADER_LOST}"')
        elif self.server_state == 'hung' and for_s >= enough and self.intent == 'playing' and not says:
            self.fault('header', i, f'the server hangs for {for_s:.1f} s under a song and the header does not say '
                                    f'"{rig.HEADER_LOST}"')
        elif self.server_state == 'up' and for_s >= enough and heard_now and says:
            self.fault('header', i, f'the header says "{rig.HEADER_LOST}" while the server answers and the song '
                                    f'is heard')

    def check_log(self, i):
        lines = self.program.log.written(self.log_mark)
        self.log_mark += len(lines)
        for after, t, line in lines:
            # Written after the look before its read: a server that answered
            # within a second before that may have been seen.
            if 'the sound output is back' in line and not self.answering_within(after - 1.0, t):
                self.fault('log-back', i, f'the log says the output is back while no server answers: '
                                          f'"{said(line)[:140]}"')

    # Lines about the sound: the sound paths', the audio library's and the
    # blank line it prints after each of its own.
    SOUND_WORDS = re.compile(r'audio|sound|pulse|pa_|alsa|rtapi|queue|synthesizer|song player|drop-out|^\s*$', re.I)

    def check_repeats(self, i):
        """The lines of the outage just ended (or going on), less those of
        our own presses: each about the sound once."""
        start, end, mark = self.outage_marks[-1]
        end = end if end is not None else now()
        counts = {}
        for t, line in self.program.log.since(mark):
            if t < start + 1.0 or t > end:
                continue
            if any(0 <= t - p <= STEP_LINES_S for p in self.host_presses):
                continue
            message = said(line)
            if not self.SOUND_WORDS.search(message):
                continue
            key = re.sub(r'\d+(\.\d+)?', '#', message)
            counts[key] = counts.get(key, 0) + 1
        worst = max(counts.items(), key=lambda kv: kv[1], default=(None, 0))
        if worst[1] > 1:
            self.fault('log-repeats', i, f'{worst[1]} times in an outage of {end - start:.1f} s: '
                                         f'"{worst[0][:140] or "(a blank line)"}"')

    def check_later(self, i):
        for entry in list(self.later_starts):
            proc, started, song, step = entry
            if proc.poll() is None:
                if now() - started > 30:
                    proc.kill()
                    self.fault('later', step, f'a later start with {song} did not end in 30 s')
                    self.later_starts.remove(entry)
                continue
            self.later_starts.remove(entry)
            if proc.returncode != 0:
                said = (proc.stdout.read() or '').strip().splitlines()
                self.fault('later', step, f'a later start with {song} ended with {proc.returncode}: '
                                          f'{said[-1] if said else ""}')

    def finish(self):
        """What is judged once the steps are done."""
        deadline = now() + 12
        while self.later_starts and now() < deadline:
            self.check_later(len(self.steps) - 1)
            time.sleep(0.1)
        self.check_later(len(self.steps) - 1)
        if self.outage_marks and self.outage_marks[-1][1] is None:
            self.check_repeats(len(self.steps) - 1)
        self.calm_presses()
        self.check_later(len(self.steps) - 1)


# ---- shrinking and the runs

def shows(ctx, steps, signature, label, keep=False):
    faults = Episode(ctx, steps, label).run(keep_faulty=keep)
    return any(f.signature() == signature for f in faults)


def judged_end(steps):
    steps = [Step(s.kind, s.arg, s.wait) for s in steps]
    steps[-1].wait = max(steps[-1].wait, 3.0)
    return steps


def without_idle(steps):
    """The steps less those that change nothing in the state the ones before
    leave (a hang of a server that is away, a second start of it, a press
    before the program is there), each one's wait given to the step before:
    what the program lives through is the same, and the sequence says only
    what happens."""
    out = []
    server, second, program = 'down', False, False
    for s in steps:
        idle = False
        if s.kind == 'srv' and s.arg.startswith('up'):
            idle, server = server != 'down', 'up' if server == 'down' else server
        elif s.kind == 'srv':
            idle, server = server == 'down', 'down'
        elif s.kind == 'hang':
            idle, server = server != 'up', 'hung' if server == 'up' else server
        elif s.kind == 'cont':
            idle, server = server != 'hung', 'up' if server == 'hung' else server
        elif s.kind in ('sink+', 'sink-'):
            idle = server != 'up' or second == (s.kind == 'sink+')
            second = second if idle else s.kind == 'sink+'
        elif s.kind == 'program':
            idle, program = program, True
        elif s.kind == 'stall' or s.kind in HOST:
            idle = not program
        if idle and out:
            out[-1] = Step(out[-1].kind, out[-1].arg, round(out[-1].wait + s.wait, 2))
        elif not idle:
            out.append(Step(s.kind, s.arg, s.wait))
    return out


def shrink(ctx, steps, fault, deadline, label, shrunk=()):
    """The shortest sequence found before the deadline that still shows the
    fault: cut after its step, then chunks of steps left out (halves,
    quarters, ... single steps), then the waits halved. A fault the cut
    shows only at its second try shows now and then: each shorter
    sequence then has two tries too."""
    sig = fault.signature()
    tries = [0]
    each = [1]

    def attempt(candidate):
        for _ in range(each[0]):
            tries[0] += 1
            if shows(ctx, candidate, sig, f'{label}-try{tries[0]}'):
                return True
        return False

    best = judged_end(steps[:fault.step + 1])
    if len(best) < len(steps) and not attempt(best):
        each[0] = 2
        if not attempt(best):
            each[0] = 1
            best = judged_end(steps)
    # A shorter sequence found for another fault of the same episode often
    # shows this one too.
    for other in sorted(shrunk, key=len):
        if len(other) < len(best) and attempt(other):
            best = other
            break
    parts = 2
    while now() < deadline:
        droppable = [j for j, s in enumerate(best) if s.kind != 'program']
        if not droppable:
            break
        size = max(1, -(-len(droppable) // parts))
        dropped = False
        for start in range(0, len(droppable), size):
            if now() >= deadline:
                break
            gone = set(droppable[start:start + size])
            candidate = judged_end([s for j, s in enumerate(best) if j not in gone])
            if attempt(candidate):
                best, dropped = candidate, True
                break
        if dropped:
            parts = max(2, parts - 1)
        elif size == 1:
            break
        else:
            parts = min(parts * 2, len(droppable))
    for j in sorted(range(len(best)), key=lambda j: -best[j].wait):
        if now() >= deadline:
            break
        if best[j].wait <= 0.6 or (j == len(best) - 1 and best[j].wait <= 3.0):
            continue
        candidate = [Step(s.kind, s.arg, s.wait) for s in best]
        candidate[j].wait = round(max(0.3, best[j].wait / 2), 2)
        candidate = judged_end(candidate)
        if attempt(candidate):
            best = candidate
    return without_idle(best), tries[0]


def confirm(ctx, steps, fault, label, times=2):
    return sum(shows(ctx, steps, fault.signature(), f'{label}-confirm{n + 1}', keep=True) for n in range(times))


def replayed(ctx, steps, signatures, label, times):
    """The faults of signatures that a fresh episode of the same steps
    shows again, within times replays."""
    shown = set()
    quiet, ctx.quiet = ctx.quiet, True
    for n in range(times):
        if shown >= signatures:
            break
        shown |= {f.signature() for f in Episode(ctx, steps, f'{label}-again{n + 1}').run()} & signatures
    ctx.quiet = quiet
    return shown


def report(found, once):
    print('== what was found')
    if not found:
        print('nothing')
    for sig, f in found.items():
        print(f'{sig}: seed {f["seed"]} episode {f["episode"]}: {f["text"]}')
        print(f'  seen in: {f["sequence"]}')
        if 'shortest' in f:
            print(f'  shortest ({f["tries"]} tries, shown again {f["confirmed"]} of 2): {f["shortest"]}')
    for sig, f in once.items():
        print(f'seen once, not shown again by the same steps ({sig}): seed {f["seed"]} episode {f["episode"]}: '
              f'{f["text"]}')
        print(f'  seen in: {f["sequence"]}')


def run(ctx, args):
    seeds = args.seeds or [random.randrange(1, 1 << 30)]
    found, once = {}, {}
    incomplete = []
    for seed in seeds:
        print(f'== seed {seed}', flush=True)
        end = now() + args.minutes * 60
        n = 0
        while (args.episodes and n < args.episodes) or (not args.episodes and now() < end):
            steps = draw(seed * 1000 + n, args.steps, args.roads == 'ci')
            episode = Episode(ctx, steps, f's{seed}-e{n}')
            new = {}
            for f in episode.run():
                if f.signature() not in found:
                    new.setdefault(f.signature(), {'seed': seed, 'episode': n, 'text': str(f), 'fault': f,
                                                   'steps': steps, 'sequence': sequence_text(steps)})
            # A fault is one that the same steps show again: what a busy
            # machine brought about once is said apart.
            again = replayed(ctx, steps, set(new), episode.label, args.confirm) if args.confirm else set(new)
            for sig, f in new.items():
                if sig in again:
                    found[sig] = f
                    once.pop(sig, None)
                else:
                    once.setdefault(sig, f)
            if new:
                print(f'   replayed: {", ".join(f"{sig} shown again" if sig in again else f"{sig} not shown again" for sig in new)}',
                      flush=True)
            if episode.incomplete:
                incomplete.append(f'{episode.label}: {episode.incomplete}')
            n += 1
        for f in found.values():
            if f['seed'] == seed and 'shortest' not in f and args.shrink_minutes > 0:
                shrink_found(ctx, f, args.shrink_minutes, f's{seed}-e{f["episode"]}', found)
    report(found, once)
    for line in incomplete:
        print(f'not walked to its end: {line}')
    return 1 if found else 2 if incomplete else 0


def shrink_found(ctx, f, minutes, label, found):
    print(f'== shrinking {f["fault"].signature()} of {label}', flush=True)
    quiet, ctx.quiet = ctx.quiet, True
    shrunk = [g['shortest_steps'] for g in found.values()
              if 'shortest_steps' in g and g['sequence'] == f['sequence']]
    shortest, tries = shrink(ctx, f['steps'], f['fault'], now() + minutes * 60, label + '-shrink', shrunk)
    f['shortest'], f['shortest_steps'], f['tries'] = sequence_text(shortest), shortest, tries
    f['confirmed'] = confirm(ctx, shortest, f['fault'], label + '-shortest')
    ctx.quiet = quiet
    print(f'   {f["shortest"]} (shown again {f["confirmed"]} of 2)', flush=True)


def replay(ctx, args):
    steps = judged_end([Step.parse(t) for t in ' '.join(args.steps).split()])
    found = {}
    episode = Episode(ctx, steps, 'replay')
    for f in episode.run():
        found.setdefault(f.signature(), {'seed': '-', 'episode': '-', 'text': str(f), 'fault': f, 'steps': steps,
                                         'sequence': sequence_text(steps)})
    if args.shrink_minutes > 0:
        for f in found.values():
            shrink_found(ctx, f, args.shrink_minutes, 'replay', found)
    report(found, {})
    if episode.incomplete:
        print(f'not walked to its end: {episode.incomplete}')
    return 1 if found else 2 if episode.incomplete else 0


def make_playlist(database):
    """The playlist of the songs imported into the library's database."""
    import sqlite3
    db = sqlite3.connect(database)
    with db:
        playlist = db.execute('INSERT INTO PlayList (ListName) VALUES (?)', (PLAYLIST,)).lastrowid
        for n, name in enumerate(PLAYLIST_SONGS):
            song = db.execute('SELECT IdSong FROM Songs WHERE NomeFile LIKE ?', ('%' + SONGS[name][1],)).fetchone()
            if song is None:
                raise SystemExit(f'{SONGS[name][1]} is not in the library')
            db.execute('INSERT INTO PlayListSongs (IdPlayList, SeqNum, IdSong) VALUES (?, ?, ?)',
                       (playlist, n, song[0]))
    db.close()


# ---- the explorer's own timing

def recorder_check(program, work):
    """How far the explorer's recorder places what it records from when it
    sounded, by beeps heard-beep plays at moments the server's playback side
    tells: on a server just started, on one playing, and after the server
    hung for a second. Prints the median and worst error of each; fails
    where a beep is placed further off than the margin the checks allow."""
    beeper = os.path.join(os.path.dirname(program), 'heard-beep')
    folder = os.path.join(work, 'recorder-check')
    os.makedirs(folder, exist_ok=True)
    server = rig.Server(work, os.path.join(os.path.dirname(program), 'heard-record'), folder)
    worst_all = 0.0
    try:
        server.start(48000, False)
        for phase in ('a server just started', 'a server playing', 'after the server hung 1 s'):
            beep = subprocess.Popen([beeper, FIRST_SINK, '48000', '250', '4'], env=server.env(),
                                    stdout=subprocess.PIPE, text=True)
            hung_until = 0.0
            if phase.startswith('after'):
                time.sleep(1.0)
                server.hang()
                time.sleep(1.0)
                server.go_on()
                hung_until = now() + 0.3
            out, _ = beep.communicate()
            time.sleep(0.5)
            beeps = [float(line.split()[1]) / 1000 for line in out.splitlines() if line.startswith('beep')]
            beeps = [b for b in beeps if b > hung_until]
            blocks = server.blocks(FIRST_SINK, beeps[0] - 0.2, beeps[-1] + 0.2)
            onsets = [t for (t, loud), (_p, before) in zip(blocks[1:], blocks) if loud and not before]
            errors = [min((abs(o - b) for o in onsets), default=1.0) for b in beeps]
            worst = max(errors)
            worst_all = max(worst_all, worst)
            print(f'{phase}: {len(beeps)} beeps placed within {statistics.median(errors) * 1000:.0f} ms '
                  f'(median), {worst * 1000:.0f} ms at worst')
    finally:
        server.close()
    return 0 if worst_all <= MARGIN_S else 1


# ---- the songs

def make_songs(folder):
    import mido
    os.makedirs(folder, exist_ok=True)
    tpb = 480
    for name, root in (('organ-a', 48), ('organ-b', 53)):
        mid = mido.MidiFile(ticks_per_beat=tpb)
        track = mido.MidiTrack()
        mid.tracks.append(track)
        track.append(mido.MetaMessage('set_tempo', tempo=500000, time=0))
        track.append(mido.Message('program_change', program=19, channel=0, time=0))
        for beat in range(SONG_SECONDS * 2):
            chord = [root + beat // 4 % 5, root + 7 + beat // 4 % 5]
            for n in chord:
                track.append(mido.Message('note_on', note=n, velocity=100, channel=0, time=0))
            track.append(mido.Message('note_off', note=chord[0], velocity=0, channel=0, time=tpb))
            track.append(mido.Message('note_off', note=chord[1], velocity=0, channel=0, time=0))
        track.append(mido.MetaMessage('end_of_track', time=0))
        mid.save(os.path.join(folder, name + '.mid'))
    for name, (title, _file, _kind) in SONGS.items():
        if not name.startswith('tone'):
            continue
        wav = os.path.join(folder, name + '.wav')
        pitch = 330 if name.endswith('a') else 440
        subprocess.run(['sox', '-n', '-r', '44100', '-c', '2', '-b', '16', wav, 'synth', str(SONG_SECONDS),
                        'sine', str(pitch), 'vol', '0.4'], check=True)
        subprocess.run(['lame', '--quiet', '-b', '128', '--tt', title, wav, os.path.join(folder, name + '.mp3')],
                       check=True)
        os.remove(wav)


def on_term(_sig, _frame):
    raise KeyboardInterrupt


def main(argv):
    signal.signal(signal.SIGTERM, on_term)
    parser = argparse.ArgumentParser(description=__doc__.split('\n')[0])
    sub = parser.add_subparsers(dest='command', required=True)
    songs = sub.add_parser('songs')
    songs.add_argument('folder')
    playlist = sub.add_parser('playlist')
    playlist.add_argument('database')
    check = sub.add_parser('recorder')
    check.add_argument('--program', required=True)
    check.add_argument('--work', required=True)
    for name in ('run', 'replay'):
        p = sub.add_parser(name)
        p.add_argument('--program', required=True)
        p.add_argument('--work', required=True)
        p.add_argument('--out', required=True)
        p.add_argument('--template', required=True)
        p.add_argument('--songs', required=True)
        p.add_argument('--keep', action='store_true')
        if name == 'run':
            p.add_argument('--seeds', type=int, nargs='*')
            p.add_argument('--minutes', type=float, default=10)
            p.add_argument('--episodes', type=int, default=0)
            p.add_argument('--steps', type=int, default=24)
            p.add_argument('--roads', choices=('all', 'ci'), default='all')
            p.add_argument('--shrink-minutes', type=float, default=15)
            p.add_argument('--confirm', type=int, default=2)
        else:
            p.add_argument('--shrink-minutes', type=float, default=0)
            p.add_argument('steps', nargs='+')
    args = parser.parse_args(argv)
    if args.command == 'songs':
        make_songs(args.folder)
        return 0
    if args.command == 'playlist':
        make_playlist(args.database)
        return 0
    if args.command == 'recorder':
        return recorder_check(args.program, args.work)
    ctx = Context(args.program, args.work, args.out, args.template, args.songs, keep=args.keep)
    return run(ctx, args) if args.command == 'run' else replay(ctx, args)


if __name__ == '__main__':
    sys.exit(main(sys.argv[1:]))
