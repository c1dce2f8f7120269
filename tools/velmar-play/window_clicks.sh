#!/usr/bin/env bash
# What a singer hears after a click in the program's window: the release
# program (VelmarPC), run as an ordinary user (nobody: no real-time
# priority) or as root, on a screen and a PulseAudio server of our own (its
# own socket and null sink: no setting of the user's sound server is
# touched). xdotool clicks the window's Stop, Play, Pause, the Editing page's
# key up and down, the volume pop-up's slider (Home, then End) and
# double-clicks songs in the song list; heard-record records the sink's
# monitor on the monotonic clock the clicks are timed on, so the window's
# own part of the delay is counted. window_clicks.py then prints, per
# command, click to heard (median, range, tries; a key change when the note
# is heard at the new key rather than the old), the level 120 ms and 1 s
# after each Stop and Pause, whether a held note came back after the volume
# went to 0 and back, and the largest sample step at each stop, pause,
# resume and song change against the music's own.
#
# Each run names the user and the load: root or nobody; quiet, "busy"
# (stress-ng on every core from a session of its own) or "own" (from the
# program's own session: the user's own programs, a busy desktop).
#
# usage: tools/velmar-play/window_clicks.sh [BUILD_DIR] [RUNS] [TRIES]
#   BUILD_DIR default build (a Release build measures what users get)
#   RUNS      space-separated, of: root nobody root-busy nobody-busy
#             root-own nobody-own (default: nobody nobody-own)
#   TRIES     tries per command (default 10)
# KEEP=DIR keeps each run's recording, click times and program log there.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-build}" && pwd)
runs=${2:-nobody nobody-own}
tries=${3:-10}
program=$build/bin/VelmarPC
rate=44100
sink=velmar_clicks
source "$here/../../scripts/e2e/lib.sh"
e2e_work shared
for tool in Xvfb xdotool pulseaudio pactl lame runuser; do
  command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed"; exit 0; }
done
for tool in "$program" "$build/bin/heard-record" "$build/bin/velmar-render"; do
  [ -x "$tool" ] || { echo "SKIP: $tool is not built"; exit 0; }
done
bank=/usr/share/sounds/sf2/TimGM6mb.sf2
export VELMAR_STORE_URL=http://127.0.0.1:9 VELMAR_CHECK_URL=http://127.0.0.1:9

# Songs: organ notes struck every 2 s and held 1.9 s (clicktrack.py), twice
# as MIDI (the second a fifth up) and once as an MP3 of the first.
/usr/bin/python3 "$here/../../scripts/clicktrack.py" make-chords "$work/a-chords.mid"
/usr/bin/python3 "$here/window_clicks.py" transpose "$work/a-chords.mid" "$work/b-fifth.mid" 7
"$build/bin/velmar-render" "$work/a-chords.mid" "$work/render.wav" --soundfont "$bank" >/dev/null
lame --quiet -b 192 "$work/render.wav" "$work/c-chords.mp3"
chmod 644 "$work"/*.mid "$work"/*.mp3

e2e_pulse --rate $rate $sink
e2e_screen 1280x800
xhost +local: >/dev/null 2>&1 || true

# The program as the run's user, from a home of its own with a store account
# (the main page first), the sound bank and the volume at its top.
start_program() {
  local user=$1 home=$work/home-$1
  rm -rf "$home"
  mkdir -p "$home/.config/Kvero" "$home/.local/share/VelmarPC"
  cp "$bank" "$home/.local/share/VelmarPC/Basic.sfc"
  printf '[User]\nuser_id=1\nname=Stage\nsurname=Singer\n\n[Volume]\nvalue=127\n' > "$home/.config/Kvero/VelmarPC.conf"
  [ "$user" = root ] || chown -R "$user" "$home"
  export VELMAR_WIDGET_DUMP=$home/widgets.txt
  settings=$home/.config/Kvero/VelmarPC.conf
  library=$home/Documents/VelmarPC
  : >"$work/program.log"
  local run=(env HOME="$home" XDG_RUNTIME_DIR="$home" XDG_CONFIG_HOME="$home/.config" XDG_DATA_HOME="$home/.local/share"
    XDG_CACHE_HOME="$home/.cache" PULSE_SERVER="$PULSE_SERVER" DISPLAY="$DISPLAY" QT_QPA_PLATFORM=xcb
    VELMAR_WIDGET_DUMP="$VELMAR_WIDGET_DUMP" VELMAR_STORE_URL="$VELMAR_STORE_URL" VELMAR_CHECK_URL="$VELMAR_CHECK_URL"
    "$program")
  if [ "$user" = root ]; then
    (cd "$home" && exec "${run[@]}") >>"$work/program.log" 2>&1 &
  else
    (cd "$home" && exec runuser -u "$user" -- "${run[@]}") >>"$work/program.log" 2>&1 &
  fi
  program_pid=$!
  pids+=($program_pid)
  wait_for 300 grep -q 'Connected to port' "$work/program.log" || fail "the first page did not come up"
  window=$(xdotool search --sync --name "Velmar PC" | head -1)
  # runuser's child is the program: its widget list comes on its signal.
  program_pid=$(pgrep -P "$program_pid" VelmarPC || echo "$program_pid")
}

for run in $runs; do
  e2e_run "$run" || { echo "$run: SKIP: stress-ng is not installed"; continue; }
  echo "== $run (load: $(cut -d' ' -f1-3 /proc/loadavg))"
  start_program "$user"
  for song in a-chords.mid b-fifth.mid c-chords.mp3; do e2e_import "$work/$song"; done
  e2e_widgets
  "$build/bin/heard-record" $sink.monitor $rate "$work/heard.raw" "$work/heard.times" 2>"$work/heard.log" &
  heard=$!
  pids+=($heard)
  wait_for 50 test -s "$work/heard.times" || fail "heard-record did not record: $(tail -3 "$work/heard.log")"
  /usr/bin/python3 "$here/window_clicks.py" drive "$VELMAR_WIDGET_DUMP" "$window" "$tries" \
    "$program_pid" >"$work/clicks.txt" || fail "the clicks did not go through: $(tail -3 "$work/clicks.txt")"
  sleep 1
  kill -INT "$heard"; wait "$heard" || true
  kill -TERM "$program_pid" 2>/dev/null || true
  # The next run plays on the same screen and sound server: a program that
  # did not quit must not play on beside it.
  if ! wait_for 100 bash -c "! kill -0 $program_pid 2>/dev/null"; then
    echo "$run: the program did not quit 10 s after SIGTERM: killed"
    kill -KILL "$program_pid" 2>/dev/null || true
    wait_for 50 bash -c "! kill -0 $program_pid 2>/dev/null" || fail "the program did not end on SIGKILL"
  fi
  e2e_unload
  if [ -n "${KEEP:-}" ]; then
    mkdir -p "$KEEP"
    for f in heard.raw heard.times clicks.txt program.log; do cp "$work/$f" "$KEEP/$run-$f"; done
  fi
  RUN=$run /usr/bin/python3 "$here/window_clicks.py" measure "$work/heard.raw" "$work/heard.times" "$work/clicks.txt" \
    || true
  grep -E 'latency settles|a queue for|drop-out' "$work/program.log" | sed 's/^/  log: /' | tail -5 || true
done
