#!/bin/bash
# Plays a karaoke song end to end through the real VelmarPC on a screen of
# its own (Xvfb) and a sound server of its own (PulseAudio with a null sink),
# on a fresh home: the song (a KAR file made with mido) is imported through
# the Import action's file dialog, chosen in the library's song list and
# started there with the space bar, recorded from the sink's monitor with
# parec and photographed while it plays. Passes when the recording sounds as
# long as the song (within 1 s), is never silent longer than the song's own
# rests, the screenshot shows a lit lyric row and the program exits with 0.
# usage: scripts/play_end_to_end.sh [BUILD_DIR] [OUT_DIR]
#   The screenshot is OUT_DIR/end-to-end-playing.png (default BUILD_DIR/end-to-end).
#   With KARAOKE_WINDOW="X Y WIDTH HEIGHT" the karaoke view starts in a window
#   of its own there, photographed as OUT_DIR/end-to-end-karaoke-window.png.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-build}" && pwd)
out=${2:-$build/end-to-end}
program=$build/bin/VelmarPC
seconds=12
mkdir -p "$out"
work=$(mktemp -d)
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  for p in "${pids[@]}"; do wait "$p" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "FAIL: $*"
  [ -n "${DISPLAY:-}" ] && import -display "$DISPLAY" -window root "$out/end-to-end-failed.png" 2>/dev/null \
    && echo "screen: $out/end-to-end-failed.png"
  echo "--- program log (last lines)"; tail -20 "$work/program.log" 2>/dev/null || true; exit 1; }
# Waits up to $1 tenths of a second for the command after it to succeed.
wait_for() { local n=$1; shift; for _ in $(seq "$n"); do "$@" >/dev/null 2>&1 && return 0; sleep 0.1; done; return 1; }
recorded() { [ "$(stat -c %s "$work/rec.raw")" -ge "$1" ]; }

for tool in Xvfb xdotool import pulseaudio parec pactl; do
  command -v "$tool" >/dev/null || fail "$tool is not installed (./setup.sh installs it)"
done
[ -x "$program" ] || fail "$program is not built"

# A fresh home: settings, data and documents of this run only.
export HOME=$work/home XDG_CONFIG_HOME=$work/home/.config XDG_DATA_HOME=$work/home/.local/share
export XDG_RUNTIME_DIR=$work/runtime XDG_CACHE_HOME=$work/home/.cache
mkdir -p "$XDG_CONFIG_HOME/Kvero" "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
bash "$here/install-soundbank.sh" >/dev/null
# A store account is needed to pass the first page; nothing leaves the machine.
printf '[User]\nuser_id=1\nname=Stage\nsurname=Singer\n' \
  > "$XDG_CONFIG_HOME/Kvero/VelmarPC.conf"
shots=("$out/end-to-end-playing.png")
if [ -n "${KARAOKE_WINDOW:-}" ]; then
  printf '[WindowsPosition]\nKaraokeTextWidget=@Rect(%s)\n' "$KARAOKE_WINDOW" >> "$XDG_CONFIG_HOME/Kvero/VelmarPC.conf"
  shots+=("$out/end-to-end-karaoke-window.png")
fi
export VELMAR_STORE_URL=http://127.0.0.1:9 VELMAR_CHECK_URL=http://127.0.0.1:9
length=$(/usr/bin/python3 "$here/../tests/app/make_kar.py" "$work" "$seconds" song)

# The sound server, as root too, on a socket of its own.
mkdir -p "$work/pulse"
export PULSE_RUNTIME_PATH=$work/pulse PULSE_STATE_PATH=$work/pulse PULSE_SERVER=unix:$work/pulse/native
pulseaudio -n --daemonize=no --exit-idle-time=-1 --use-pid-file=no --disallow-exit \
  -L "module-native-protocol-unix socket=$work/pulse/native" \
  -L "module-null-sink sink_name=velmar_e2e rate=48000" \
  -L "module-always-sink" 2>"$work/pulse.log" &
pids+=($!)
wait_for 100 pactl info || fail "PulseAudio did not start: $(tail -3 "$work/pulse.log")"
pactl set-default-sink velmar_e2e

# The screen.
Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
pids+=($!)
wait_for 100 test -s "$work/display" || fail "Xvfb did not start"
export DISPLAY=:$(head -1 "$work/display")

# The program, started from the work folder (its log folder lands there).
(cd "$work" && QT_QPA_PLATFORM=xcb ASAN_OPTIONS=detect_leaks=0 exec "$program") \
  >"$work/program.log" 2>&1 &
program_pid=$!
pids+=($program_pid)
# The first page is up once the stored outputs are connected.
wait_for 300 grep -q "Connected to port" "$work/program.log" || fail "the first page did not come up"
window=$(xdotool search --sync --name "Velmar PC" | head -1)

# Import: Ctrl+I opens the file dialog, the song's path is typed into it.
xdotool windowfocus --sync "$window" key ctrl+i
dialog=$(xdotool search --sync --name "^Import$" | head -1)
shown() { [ "$(xdotool search --onlyvisible --pid "$program_pid" | wc -l)" -gt "$1" ]; }
before=$(xdotool search --onlyvisible --pid "$program_pid" | wc -l)
xdotool windowfocus --sync "$dialog" type --delay 20 "$work/song.kar"
# Escape closes the name completer's list, Return then takes the name.
if wait_for 50 shown "$before"; then xdotool key Escape; fi
xdotool key Return
library=$HOME/Documents/VelmarPC
listed() { [ "$(sqlite3 "file:$library/db_VelmarPC.sqlite?mode=ro" "SELECT count(*) FROM Songs WHERE NomeFile LIKE '%song.kar'")" = 1 ]; }
wait_for 300 listed || fail "the song was not imported into the library"

parec -d velmar_e2e.monitor --format=s16le --rate=48000 --channels=2 --raw "$work/rec.raw" &
recorder=$!
pids+=($recorder)
wait_for 100 recorded $(( 48000 * 4 * 2 )) || fail "parec did not record"
# The song list fills the lower right of the window above the search row: a
# click there makes it the focus, Home picks the first (only) song and the
# space bar plays it.
eval "$(xdotool getwindowgeometry --shell "$window")"
xdotool mousemove --window "$window" $(( WIDTH * 3 / 4 )) $(( HEIGHT - 110 )) click 1
xdotool key Home space
wait_for 300 grep -q "LOAD SONG" "$work/program.log" || fail "the song did not start from the library"

# The picture half-way through the song, counted in recorded audio.
half=$(( 48000 * 4 * (seconds / 2 + 3) ))
wait_for 300 recorded "$half" || fail "nothing was recorded"
if [ ${#shots[@]} -gt 1 ]; then
  # No window manager stacks the windows: the karaoke window comes forward.
  karaoke=$(xdotool search --onlyvisible --name '^Karaoke$' | head -1)
  [ -n "$karaoke" ] || fail "the karaoke window is not open"
  xdotool windowraise "$karaoke"
  import -display "$DISPLAY" -window "$karaoke" "${shots[1]}"
fi
import -display "$DISPLAY" -window root "${shots[0]}"

# Up to the end of the song and a little more.
full=$(( 48000 * 4 * (seconds + 5) ))
wait_for 400 recorded "$full" || fail "the recording stopped"
kill "$recorder"; wait "$recorder" 2>/dev/null || true
kill -TERM "$program_pid"
status=0; wait "$program_pid" || status=$?
[ "$status" -eq 0 ] || fail "the program exited with $status"

/usr/bin/python3 - "$work/rec.raw" "$length" "${shots[@]}" <<'PY'
# The song sounds from the first to the last 10 ms block above -50 dBFS; it
# must last as long as the song (within 1 s) with no silent stretch longer
# than the song's own rests (10 ms between notes). Each screenshot must hold
# the lyric row being sung: the settings' default highlight colour (yellow)
# beside the white of the rows to come.
import array, subprocess, sys
raw, length, shots = sys.argv[1], float(sys.argv[2]), sys.argv[3:]
samples = array.array("h", open(raw, "rb").read())
block = 960
level = 32768 * 10 ** (-50 / 20)
loud = [(sum(x * x for x in samples[i:i + block]) / block) ** 0.5 > level
        for i in range(0, len(samples) - block + 1, block)]
if not any(loud):
    sys.exit(f"FAIL: the recording is silent")
first, last = loud.index(True), len(loud) - 1 - loud[::-1].index(True)
sounded = (last - first + 1) * 0.01
gap = run = at = 0
for i, on in enumerate(loud[first:last + 1]):
    run = 0 if on else run + 1
    if run > gap:
        gap, at = run, i

ok = abs(sounded - length) <= 1.0 and gap * 0.01 <= 0.2
print(f"sounded {sounded:.2f} s of {length:.2f} s, longest silence {gap * 10} ms (ending {at * 0.01:.2f} s in)")
for shot in shots:
    pixels = subprocess.run(["convert", shot, "-format", "%c", "histogram:info:-"],
                            capture_output=True, text=True, check=True).stdout
    sung = sum(int(l.split(":")[0]) for l in pixels.splitlines() if "#EDCB0C" in l)
    white = sum(int(l.split(":")[0]) for l in pixels.splitlines() if "#FFFFFF" in l)
    ok = ok and sung > 200 and white > 200
    print(f"sung-colour pixels {sung}, white pixels {white}; screenshot {shot}")
print("PASS" if ok else "FAIL")
sys.exit(0 if ok else 1)
PY
