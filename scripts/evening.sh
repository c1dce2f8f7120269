#!/bin/bash
# An evening of the release program as a host runs it: a list of KAR, MIDI
# (three of Debian's planetblupi songs where installed), and MP3 songs
# played with Auto Play from the first row, a press every few seconds (Pause
# and Pause again, once a song Stop and Play: scripts/evening_presses.py),
# for MINUTES minutes, on a screen and a sound server of its own, the program
# run as an ordinary user (nobody). The sink is recorded throughout; at the
# end it prints every drop-out (time, length, the press before it and what
# the log said within 2 s), the clicks and the notes heard after Stop
# (tools/evening/evening_check.cpp), and the program's memory every minute.
# Needs root (the program runs as nobody).
#   LOAD=half   stress-ng --cpu 4 on the program's two cores every other five
#               minutes, starting loaded (default: no load)
#   RT=1        real-time priority through RealtimeKit, granted as
#               tests/common-midiinterface/realtimekit.sh grants it
#   SEED=N      the presses' seed (default 79)
#   CPUS=LIST   the program's cores (default 0,1)
# Keeps the recording, presses, log and memory in OUT_DIR.
# usage: scripts/evening.sh [BUILD_DIR] [MINUTES] [OUT_DIR]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-build}" && pwd)
minutes=${2:-40}
out=${3:-$build/evening}
cpus=${CPUS:-0,1}
source "$here/e2e/lib.sh"
[ "$(id -u)" = 0 ] || fail "run as root: the program runs as nobody"
program=$build/bin/VelmarPC
for tool in "$program" "$build/bin/evening-check"; do [ -x "$tool" ] || fail "$tool is not built"; done
mkdir -p "$out"
e2e_work shared
export VELMAR_STORE_URL=http://127.0.0.1:9 VELMAR_CHECK_URL=http://127.0.0.1:9
if [ -n "${RT:-}" ]; then
  status=0
  e2e_realtimekit || status=$?
  [ "$status" -eq 0 ] || fail "RealtimeKit: ${rtkit_skip:-}${rtkit_fail:-}"
fi

songs=$work/songs
mkdir -p "$songs"
/usr/bin/python3 "$here/make_kar.py" "$songs" 75 first-kar second-kar third-kar \
  --lyrics "an evening goes on|whatever comes around|the music never stops" >/dev/null
/usr/bin/python3 "$here/make_engine_songs.py" "$songs/engine" >/dev/null
cp "$songs/engine/tone.mid" "$songs/flute-tone.mid"
for n in 2 5 8; do
  [ -f /usr/share/planetblupi/music/music00$n.mid ] && cp /usr/share/planetblupi/music/music00$n.mid "$songs/blupi-$n.mid"
done
for n in 1 2 3; do
  # Sounding throughout, so that a drop-out anywhere in it is heard.
  sox -n -r 44100 -c 2 -b 16 "$work/mp3-$n.wav" synth 60 sine $((200 + 60 * n)) sine $((300 + 75 * n)) \
    tremolo 2 40 vol 0.5
  lame --quiet -b 128 --tt "Evening Audio $n" "$work/mp3-$n.wav" "$songs/audio-$n.mp3"
done
chmod -R a+rX "$songs"

e2e_pulse
e2e_screen 1280x800
xhost +local: >/dev/null 2>&1 || true

home=$work/home
mkdir -p "$home/.config/Kvero" "$home/.local/share/VelmarPC"
bash "$here/install-soundbank.sh" >/dev/null || true
bank=/usr/share/sounds/sf2/TimGM6mb.sf2
[ -f "$bank" ] && cp "$bank" "$home/.local/share/VelmarPC/Basic.sfc"
printf '[User]\nuser_id=1\nname=Stage\nsurname=Singer\n\n[Volume]\nvalue=110\n\n[WindowsPosition]\nMainWindow=@Rect(0 0 1160 613)\n' \
  > "$home/.config/Kvero/VelmarPC.conf"
chown -R nobody "$home"
export VELMAR_WIDGET_DUMP=$home/widgets.txt
: >"$work/program.log"
chmod 666 "$work/program.log"
(cd "$home" && exec taskset -c "$cpus" runuser -u nobody -- env HOME="$home" XDG_RUNTIME_DIR="$home" \
  XDG_CONFIG_HOME="$home/.config" XDG_DATA_HOME="$home/.local/share" XDG_CACHE_HOME="$home/.cache" \
  PULSE_SERVER="$PULSE_SERVER" DISPLAY="$DISPLAY" QT_QPA_PLATFORM=xcb DBUS_SYSTEM_BUS_ADDRESS="${DBUS_SYSTEM_BUS_ADDRESS:-}" \
  VELMAR_WIDGET_DUMP="$VELMAR_WIDGET_DUMP" VELMAR_STORE_URL="$VELMAR_STORE_URL" VELMAR_CHECK_URL="$VELMAR_CHECK_URL" \
  "$program") >>"$work/program.log" 2>&1 &
runner=$!
pids+=($runner)
wait_for 300 grep -q 'Connected to port' "$work/program.log" || fail "the first page did not come up"
program_pid=$(pgrep -P "$runner" VelmarPC || echo "$runner")
window=$(xdotool search --sync --name "Velmar PC" | head -1)
library=$home/Documents/VelmarPC
for song in "$songs"/*.kar "$songs"/*.mid "$songs"/*.mp3; do e2e_import "$song"; done

# The recording: its first frame on the monotonic clock within parec's start.
rec=$out/evening.raw
: >"$out/presses.txt"
start_ms=$(/usr/bin/python3 -c 'import time; print(round(time.monotonic() * 1000))')
parec -d velmar_e2e.monitor --format=s16le --rate=48000 --channels=2 --raw --latency-msec=20 "$rec" &
recorders+=($!)
pids+=($!)
echo "$start_ms" >"$out/start_ms"

e2e_widgets
first=$(e2e_at item songsListview) || fail "the song list is empty"
echo "$(/usr/bin/python3 -c 'import time; print(round(time.monotonic() * 1000))') start" >>"$out/presses.txt"
xdotool mousemove $first click --repeat 2 --delay 80 1
SEED=${SEED:-79} /usr/bin/python3 "$here/evening_presses.py" "$VELMAR_WIDGET_DUMP" "$program_pid" $((minutes * 60)) \
  "$out/presses.txt" "$work/program.log" &
driver=$!
pids+=($driver)

# Memory every minute; the load every other five minutes.
: >"$out/memory.txt"
loaded=""
for minute in $(seq 0 "$minutes"); do
  if ! kill -0 "$program_pid" 2>/dev/null; then
    status=0
    wait "$runner" || status=$?
    cp "$work/program.log" "$out/program.log"
    fail "the program ended in minute $minute with status $status (its log: $out/program.log)"
  fi
  if [ "${LOAD:-}" = half ]; then
    if [ $((minute / 5 % 2)) -eq 0 ] && [ -z "$loaded" ]; then
      taskset -c "$cpus" stress-ng --cpu 4 --quiet &
      loaded=$!
      pids+=($loaded)
      echo "$(/usr/bin/python3 -c 'import time; print(round(time.monotonic() * 1000))') load-on" >>"$out/presses.txt"
    elif [ $((minute / 5 % 2)) -eq 1 ] && [ -n "$loaded" ]; then
      kill "$loaded"; wait "$loaded" 2>/dev/null || true
      loaded=""
      echo "$(/usr/bin/python3 -c 'import time; print(round(time.monotonic() * 1000))') load-off" >>"$out/presses.txt"
    fi
  fi
  echo "$minute $(awk '/^VmRSS/ {print $2}' /proc/"$program_pid"/status) $(ls /proc/"$program_pid"/task | wc -l) $(ls /proc/"$program_pid"/fd | wc -l)" \
    >>"$out/memory.txt"
  [ "$minute" -lt "$minutes" ] && sleep 60
done
[ -n "$loaded" ] && { kill "$loaded"; wait "$loaded" 2>/dev/null || true; }
wait "$driver" 2>/dev/null || true
/usr/bin/python3 -c 'import time; print(round(time.monotonic() * 1000))' >"$out/end_ms"
e2e_record_stop
grep -E 'real-time|RealtimeKit|scheduling' "$work/program.log" | head -5 | sed 's/^/scheduling: /' || true
kill -TERM "$program_pid"
status=0
wait "$runner" || status=$?
[ "$status" -eq 0 ] || echo "the program exited with $status"
cp "$work/program.log" "$out/program.log"

echo "== drop-outs, clicks, notes after Stop"
"$build/bin/evening-check" "$rec" 48000 "$start_ms" "$out/presses.txt" "$out/program.log" "$(cat "$out/end_ms")"
echo "== memory (minute, RSS MB, threads, files)"
awk '{ printf "%d %.1f %d %d\n", $1, $2 / 1024, $3, $4 }' "$out/memory.txt" | paste -sd' ' | fold -w 120
awk -v m="$minutes" '$1 == (m < 30 ? 0 : 30) { base = $2 } END { printf "memory: %.1f MB at minute %d, %.1f MB at the end (%+.1f MB)\n", base / 1024, (m < 30 ? 0 : 30), $2 / 1024, ($2 - base) / 1024 }' \
  "$out/memory.txt"
echo "songs loaded: $(grep -c 'currSong\] LOAD SONG' "$out/program.log" || true); presses: $(wc -l <"$out/presses.txt")"
