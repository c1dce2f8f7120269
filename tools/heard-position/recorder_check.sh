#!/usr/bin/env bash
# How far the recorders place what they record from when it sounded: heard-beep
# plays beeps at times the sound server's playback side tells, into the null
# sink of a PulseAudio server of our own (its own socket: no setting of the
# user's sound server is touched), while heard-record (placing its frames by
# the recording side's timing, as heard_position.sh and the lyrics timing run
# use it) and ffmpeg's pulse input (stamping its packets on the wall clock,
# as the lyrics timing run's screen recorder does) record its monitor. Prints,
# per recorder, how late it places the beeps (median, spread, extremes).
#
# usage: tools/heard-position/recorder_check.sh [BIN_DIR] [SECONDS]
#   BIN_DIR  default build/bin; SECONDS of beeps, two a second (default 20)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
bin=$(cd "${1:-build/bin}" && pwd)
seconds=${2:-20}
sink=velmar_beep
rate=48000
source "$here/../../scripts/e2e/lib.sh"
e2e_work

for tool in pulseaudio pactl ffmpeg ffprobe; do
  command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed"; exit 0; }
done
[ -x "$bin/heard-record" ] && [ -x "$bin/heard-beep" ] ||
  { echo "SKIP: heard-record and heard-beep are not built (libpulse-simple)"; exit 0; }

e2e_pulse --rate $rate $sink
/usr/bin/python3 -c 'import time; print(time.clock_gettime(time.CLOCK_REALTIME) * 1000 - time.clock_gettime(time.CLOCK_MONOTONIC) * 1000)' \
  > "$work/wall.txt"
chrt -r 50 "$bin/heard-record" $sink.monitor $rate "$work/heard.raw" "$work/heard.times" 2>"$work/heard.log" &
heard=$!
pids+=($heard)
ffmpeg -hide_banner -loglevel error -y -f pulse -i $sink.monitor -copyts -c:a pcm_s16le "$work/ffmpeg.mkv" </dev/null &
ffmpeg=$!
pids+=($ffmpeg)
wait_for 50 test -s "$work/heard.times" || { echo "FAIL: heard-record did not record"; exit 1; }
sleep 1
"$bin/heard-beep" $sink $rate 500 "$seconds" > "$work/beeps.txt"
sleep 0.5
kill -INT "$heard" "$ffmpeg"
wait "$heard" || true
wait "$ffmpeg" || true

HERE=$here /usr/bin/python3 - "$work" $rate <<'EOF'
import array, os, statistics, subprocess, sys
sys.path.insert(0, os.path.join(os.environ["HERE"], "..", "..", "scripts"))
import clicktrack
work, rate = sys.argv[1], int(sys.argv[2])
beeps = [float(l.split()[1]) for l in open(f"{work}/beeps.txt") if l.startswith("beep ")]
wall = float(open(f"{work}/wall.txt").read())


def onsets(left):
    found, loud = [], -rate
    for i, v in enumerate(left):
        if v > 3000 or v < -3000:
            if i - loud > rate // 10:
                found.append(i)
            loud = i
    return found


def report(name, placed):
    late = []
    for b in beeps:
        near = min(placed, key=lambda t: abs(t - b), default=None)
        if near is not None and abs(near - b) < 200:
            late.append(near - b)
    if len(late) < len(beeps) // 2:
        print(f"{name}: {len(late)} of {len(beeps)} beeps found")
        return 1
    print(f"{name}: places the beeps {statistics.median(late):+.1f} ms late (median of {len(late)}; "
          f"{min(late):+.1f}..{max(late):+.1f} ms)")
    return 0


samples = array.array("h")
data = open(f"{work}/heard.raw", "rb").read()
samples.frombytes(data[:len(data) // 4 * 4])
clock, _ = clicktrack.capture_clock(f"{work}/heard.times", rate)
status = report("heard-record", [clock(i) for i in onsets(samples[0::2])])
out = subprocess.run(["ffprobe", "-v", "error", "-select_streams", "a:0", "-show_entries",
                      "packet=pts_time,duration_time", "-of", "csv=p=0", f"{work}/ffmpeg.mkv"],
                     capture_output=True, text=True, check=True).stdout.split()
# Each packet's first sample at its stamp; the samples in between at the rate.
starts, before = [], 0
packets = [tuple(float(v) for v in l.split(",")[:2]) for l in out if l.count(",") >= 1]
for pts, duration in packets:
    starts.append(pts * 1000 - before * 1000 / rate)
    before += round(duration * rate)
start = statistics.median(starts)
pcm = array.array("h", subprocess.run(["ffmpeg", "-v", "error", "-i", f"{work}/ffmpeg.mkv", "-ac", "1", "-f", "s16le",
                                       "-"], capture_output=True, check=True).stdout)
status |= report("ffmpeg -f pulse (as the lyrics timing run's recorder reads it)",
                 [start + i * 1000 / rate - wall for i in onsets(pcm)])
sys.exit(status)
EOF
