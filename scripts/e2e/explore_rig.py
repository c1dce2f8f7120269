"""The rig of the sound explorer (explore.py): a PulseAudio server of its
own that can end, be killed, hang and come back at another rate, with a
second sink that comes and goes; a recorder of each sink; the release
program, its log and its window.

Times are CLOCK_MONOTONIC seconds (time.monotonic()), as the recorder
(heard-record) writes them, so that a press, a server's return and a
sound heard are on one clock.
"""
import array
import os
import signal
import subprocess
import threading
import time

from presses_drive import Window as PressWindow

FIRST_SINK = 'velmar_e2e'
SECOND_SINK = 'velmar_two'
# What the program's Options list each sink as.
SINK_NAMES = {FIRST_SINK: 'Null Output', SECOND_SINK: 'Second_Output'}
HEADER_LOST = 'No sound server'
# A 10 ms block of the recording sounds when its RMS passes -50 dBFS.
LOUD_RMS = 32768 * 10 ** (-50 / 20)


class RigError(RuntimeError):
    """What the rig could not bring about (the program did not come up)."""


def now():
    return time.monotonic()


def sleep_until(t):
    while True:
        left = t - now()
        if left <= 0:
            return
        time.sleep(min(left, 0.05))


def end_process(proc, limit_s, sig=signal.SIGTERM):
    """Ends proc by sig, killed when it is still there after limit_s."""
    if proc.poll() is None:
        proc.send_signal(sig)
    try:
        proc.wait(limit_s)
    except subprocess.TimeoutExpired:
        proc.kill()
        proc.wait()


def wait_until(limit_s, condition, step_s=0.02):
    end = now() + limit_s
    while True:
        if condition():
            return True
        if now() >= end:
            return False
        time.sleep(step_s)


class Recording:
    """heard-record of one sink's monitor for as long as its server lives.

    Each read had its frames in hand when it was timed: frame f sounded no
    later than MS - (FRAMES - 1 - f) / RATE. The earliest of those lines
    over the reads within a second of f places f on the clock, whatever
    the lateness of single reads (a busy machine, the burst a hung server
    renders once it goes on). PulseAudio's own latency figure is left out:
    on a null sink it starts near half a second and runs down to 0 while
    the reads keep one pace."""

    BUCKET_S = 0.02
    AROUND_S = 1.0

    def __init__(self, record_bin, sink, rate, folder, n, env):
        self.sink, self.rate = sink, rate
        self.raw = os.path.join(folder, f'{sink}-{n}.raw')
        self.times = os.path.join(folder, f'{sink}-{n}.times')
        open(self.raw, 'wb').close()
        open(self.times, 'w').close()
        self.bucket = int(rate * self.BUCKET_S)
        self.offsets = {}
        self.frames = 0
        self.first_read = None
        self._pos = 0
        self._rest = ''
        self.proc = subprocess.Popen([record_bin, sink + '.monitor', str(rate), self.raw, self.times], env=env,
                                     stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def refresh(self):
        with open(self.times) as f:
            f.seek(self._pos)
            chunk = f.read()
            self._pos = f.tell()
        lines = (self._rest + chunk).split('\n')
        self._rest = lines.pop()
        for line in lines:
            parts = line.split()
            if len(parts) != 3:
                continue
            frames, read_at = int(parts[0]), float(parts[1]) / 1000.0
            if self.first_read is None:
                self.first_read = read_at
            offset = read_at - (frames - 1) / self.rate
            b = (frames - 1) // self.bucket
            if offset < self.offsets.get(b, float('inf')):
                self.offsets[b] = offset
            self.frames = max(self.frames, frames)

    def time_of(self, frame):
        """When the frame sounded, or None while nothing near it is read."""
        b0 = frame // self.bucket
        around = int(self.AROUND_S / self.BUCKET_S)
        values = [self.offsets[b] for b in range(b0 - around, b0 + around + 1) if b in self.offsets]
        return min(values) + frame / self.rate if values else None

    def until(self):
        """The moment of the last frame recorded so far (None: nothing yet)."""
        return self.time_of(self.frames - 1) if self.frames else None

    def since(self):
        return self.time_of(0) if self.frames else None

    def frame_at(self, t):
        """The first frame placed at or after t (bisection on E, which rises)."""
        lo, hi = 0, self.frames
        while lo < hi:
            mid = (lo + hi) // 2
            tm = self.time_of(mid)
            if tm is not None and tm < t:
                lo = mid + 1
            else:
                hi = mid
        return lo

    def blocks(self, a, b):
        """(moment, sounds) of each 10 ms block placed within [a, b]."""
        self.refresh()
        if not self.frames:
            return []
        f0, f1 = self.frame_at(a), self.frame_at(b)
        size = self.rate // 100
        out = []
        with open(self.raw, 'rb') as f:
            f.seek(f0 * 4)
            data = f.read(max(0, f1 - f0) * 4)
        samples = array.array('h', data[:len(data) // 2 * 2])
        for i in range(0, len(samples) // 2 - size + 1, size):
            part = samples[2 * i:2 * (i + size)]
            rms = (sum(x * x for x in part) / len(part)) ** 0.5
            out.append((self.time_of(f0 + i), rms > LOUD_RMS))
        return [(t, loud) for t, loud in out if t is not None]

    def stop(self):
        end_process(self.proc, 5)
        self.refresh()


class Server:
    """A PulseAudio server of the run's own on one socket, as lib.sh's
    e2e_pulse starts it, with null sinks; each start records its sinks."""

    def __init__(self, work, record_bin, folder):
        self.work, self.record_bin, self.folder = work, record_bin, folder
        self.dir = os.path.join(work, 'pulse')
        os.makedirs(self.dir, exist_ok=True)
        # Where the program looks; a new server listens on another path
        # until its sink plays.
        self.shown = os.path.join(self.dir, 'native')
        self.hidden = os.path.join(self.dir, 'hidden')
        self.socket = 'unix:' + self.shown
        self.proc = None
        self.rate = 48000
        self.hung = False
        self.second_module = None
        self.recordings = {FIRST_SINK: [], SECOND_SINK: []}
        self._count = 0

    def env(self):
        return dict(os.environ, PULSE_SERVER=self.socket)

    def pactl(self, *args, limit=5):
        return subprocess.run(['pactl', *args], env=self.env(), stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                              text=True, timeout=limit)

    def answers(self):
        try:
            return self.pactl('info', limit=2).returncode == 0
        except subprocess.TimeoutExpired:
            return False

    def up(self):
        return self.proc is not None and self.proc.poll() is None

    def start(self, rate, second):
        """Starts the server (its first sink the default, and the second
        where asked), records each sink, and once the first plays (a null
        sink starts up to 2 s after its server answers, unless a stream
        comes first) puts its socket where the program looks: returns that
        moment, from which on the server answers the program."""
        self.rate = rate
        self.socket = 'unix:' + self.hidden
        sink = f'module-null-sink sink_name={FIRST_SINK} rate={rate}'
        with open(os.path.join(self.folder, 'pulse.log'), 'a') as log:
            self.proc = subprocess.Popen(
                ['pulseaudio', '-n', '--daemonize=no', '--exit-idle-time=-1', '--use-pid-file=no', '--disallow-exit',
                 '-L', f'module-native-protocol-unix socket={self.hidden} auth-anonymous=1',
                 '-L', sink, '-L', 'module-always-sink'],
                env=dict(os.environ, PULSE_RUNTIME_PATH=self.dir, PULSE_STATE_PATH=self.dir),
                stdout=subprocess.DEVNULL, stderr=log)
        self.hung = False
        if not wait_until(10, self.answers, 0.01):
            raise RigError('PulseAudio did not start')
        self.pactl('set-default-sink', FIRST_SINK)
        self.second_module = None
        self._record(FIRST_SINK)
        if second:
            self.add_second()
        first = self.recordings[FIRST_SINK][-1]
        if not wait_until(5, lambda: first.refresh() or first.frames > 0, 0.01):
            raise RigError('the sound server\'s sink did not play')
        os.replace(self.hidden, self.shown)
        self.socket = 'unix:' + self.shown
        return now()

    def _record(self, sink):
        self._count += 1
        self.recordings[sink].append(Recording(self.record_bin, sink, self.rate, self.folder, self._count,
                                               self.env()))

    def add_second(self):
        out = self.pactl('load-module', 'module-null-sink', f'sink_name={SECOND_SINK}', f'rate={self.rate}',
                         f'sink_properties=device.description={SINK_NAMES[SECOND_SINK]}')
        self.second_module = out.stdout.strip()
        self._record(SECOND_SINK)

    def remove_second(self):
        if self.second_module:
            self.pactl('unload-module', self.second_module)
        self.second_module = None
        self._end_recordings(SECOND_SINK)

    def _end_recordings(self, *sinks):
        for sink in sinks or self.recordings:
            for r in self.recordings[sink]:
                if r.proc.poll() is None:
                    r.stop()

    def end(self, sig):
        if not self.up():
            return
        self.proc.send_signal(sig)
        # A hung server takes its end once it goes on.
        if self.hung:
            self.proc.send_signal(signal.SIGCONT)
        end_process(self.proc, 10)
        self.hung = False
        self._end_recordings()

    def hang(self):
        self.proc.send_signal(signal.SIGSTOP)
        self.hung = True

    def go_on(self):
        self.proc.send_signal(signal.SIGCONT)
        self.hung = False

    def blocks(self, sink, a, b):
        out = []
        for r in self.recordings[sink]:
            r.refresh()
            since, until = r.since(), r.until()
            if since is None or until < a or since > b:
                continue
            out += r.blocks(a, b)
        return out

    def recorded_until(self, sink):
        """The moment the sink's current recording has reached (None: none)."""
        rs = self.recordings[sink]
        if not rs or rs[-1].proc.poll() is not None:
            return None
        rs[-1].refresh()
        return rs[-1].until()

    def recorded_since(self, sink):
        rs = self.recordings[sink]
        if not rs:
            return None
        rs[-1].refresh()
        return rs[-1].since()

    def close(self):
        if self.up():
            self.end(signal.SIGTERM)
        self._end_recordings()


class Log:
    """The program's standard error, every line stamped with the moment it
    was read (the line was written at or before it) and, apart, the moment
    the read before it began (the line was written after it)."""

    def __init__(self, path):
        self.path = path
        self.lines = []
        self.after = []
        self._looked = now()
        self._pos = os.path.getsize(path) if os.path.exists(path) else 0
        self._rest = b''
        self._stop = False
        self._thread = threading.Thread(target=self._run, daemon=True)
        self._thread.start()

    def _run(self):
        while not self._stop:
            self.read_more()
            time.sleep(0.02)

    def read_more(self):
        looked, before = now(), self._looked
        try:
            with open(self.path, 'rb') as f:
                f.seek(self._pos)
                chunk = f.read()
                self._pos = f.tell()
        except FileNotFoundError:
            return
        # A line's end not read yet was written after this look began.
        if not chunk or b'\n' not in chunk:
            self._looked = looked
            if chunk:
                self._rest += chunk
            return
        t = now()
        text = self._rest + chunk
        parts = text.split(b'\n')
        self._rest = parts.pop()
        for p in parts:
            self.after.append(before)
            self.lines.append((t, p.decode('utf-8', 'replace')))
        self._looked = looked

    def mark(self):
        return len(self.lines)

    def since(self, mark):
        return self.lines[mark:]

    def written(self, mark):
        """(after, read, line) of each line since mark: written within."""
        return [(a, t, line) for a, (t, line) in zip(self.after[mark:], self.lines[mark:])]

    def find(self, text, mark=0):
        return [(t, line) for t, line in self.lines[mark:] if text in line]

    def close(self):
        self._stop = True
        self._thread.join(1)


class Program:
    """The release program on the run's screen and sound server, its window
    pressed where it draws its controls."""

    def __init__(self, binary, work, server, log_path):
        self.binary, self.work, self.server, self.log_path = binary, work, server, log_path
        self.proc = None
        self.window = None
        self.log = None
        self.dump = os.environ['VELMAR_WIDGET_DUMP']
        self.stalled = False
        # Where the window's thread was at each look of the last answer.
        self.whereabouts = {}

    def env(self):
        return dict(self.server.env(), QT_QPA_PLATFORM='xcb', ASAN_OPTIONS='detect_leaks=0')

    def start(self):
        out = open(self.log_path, 'ab')
        self.log = Log(self.log_path)
        mark = self.log.mark()
        self.proc = subprocess.Popen([self.binary], cwd=self.work, env=self.env(), stdout=out,
                                     stderr=subprocess.STDOUT)
        # The first page is up once the stored outputs are connected; the
        # library's rows once the splash is gone.
        if not wait_until(60, lambda: self.log.find('Connected to port', mark) or not self.alive(), 0.05) \
                or not self.alive():
            raise RigError('the program did not come up')
        self.window = PressWindow(self.dump, None, self.proc.pid)
        if not wait_until(30, lambda: self.rows_shown(), 0.2):
            raise RigError('the song list did not show')

    def alive(self):
        return self.proc is not None and self.proc.poll() is None

    def ended_how(self):
        code = self.proc.poll()
        if code is None:
            return None
        return f'killed by signal {-code}' if code < 0 else f'exit status {code}'

    def rows_shown(self):
        self.window.read()
        return bool(self.window.list.all('songsListview', kind='item'))

    def answer(self, limit_s):
        """Asks the window for its list of controls: (sooner, later), the
        seconds it took to answer bounded from both sides by our own looks
        (the last that found nothing, the one that found it); later is None
        when it did not answer within limit_s. A busy machine that holds us
        between two looks widens the bounds, it does not move the answer;
        sooner also leaves out the time the window's thread waited for a
        processor meanwhile (the machine's, not the program's)."""
        try:
            os.remove(self.dump)
        except FileNotFoundError:
            pass
        waited = self.queued()
        self.whereabouts = {}
        before = now()
        # Through Popen: never to a PID that has become another's.
        self.proc.send_signal(signal.SIGUSR1)
        sent = missed = now()
        while missed - before < limit_s:
            looked = now()
            if os.path.exists(self.dump):
                later = now() - before
                return max(0.0, missed - sent - (self.queued() - waited)), later
            missed = looked
            where = self.where()
            self.whereabouts[where] = self.whereabouts.get(where, 0) + 1
            time.sleep(0.002)
        return max(0.0, missed - sent - (self.queued() - waited)), None

    def where(self):
        """Where the window's thread is: running (or waiting for a
        processor), or the kernel's place it sleeps in."""
        task = f'/proc/{self.proc.pid}/task/{self.proc.pid}'
        try:
            with open(task + '/stat') as f:
                state = f.read().rsplit(')', 1)[1].split()[0]
            if state == 'R':
                return 'running'
            with open(task + '/wchan') as f:
                return f.read().strip() or state
        except (OSError, IndexError):
            return '?'

    @staticmethod
    def whereabouts_text(whereabouts):
        """The places of a long answer's looks, the most first."""
        total = sum(whereabouts.values())
        top = sorted(whereabouts.items(), key=lambda kv: -kv[1])[:3]
        return ', '.join(f'{n * 100 // total}% {w}' for w, n in top) if total else 'not looked at'

    def queued(self):
        """Seconds the window's thread has waited for a processor so far."""
        try:
            with open(f'/proc/{self.proc.pid}/task/{self.proc.pid}/schedstat') as f:
                return int(f.read().split()[1]) / 1e9
        except (OSError, IndexError, ValueError):
            return 0.0

    def widgets(self, limit_s=1.0):
        """The window's list of controls, read fresh; None when the window
        did not answer within limit_s."""
        if self.answer(limit_s)[1] is None:
            return None
        self.window.list.read(fresh=False)
        return self.window.list

    def later(self, path):
        """A later start naming path, as a file manager starts it."""
        return subprocess.Popen([self.binary, path], cwd=self.work, env=self.env(), stdout=subprocess.PIPE,
                                stderr=subprocess.STDOUT, text=True)

    def stall(self, seconds):
        self.proc.send_signal(signal.SIGSTOP)
        self.stalled = True
        time.sleep(seconds)
        self.proc.send_signal(signal.SIGCONT)
        self.stalled = False

    def quit(self):
        if self.alive():
            self.proc.send_signal(signal.SIGCONT)
            end_process(self.proc, 10)
        if self.window:
            try:
                self.window.xdotool.stdin.close()
                self.window.xdotool.wait(5)
            except (BrokenPipeError, OSError, subprocess.TimeoutExpired):
                self.window.xdotool.kill()
        if self.log:
            self.log.close()
            self.log.read_more()
