#!/bin/bash
# Later starts of the real VelmarPC while it plays, on a screen (Xvfb) and a
# sound server (PulseAudio, one null sink) of its own, as a file manager, cron
# or su start it: a song is played by a double click; then the program is
# started again naming a file that is gone (a stale link), and again without
# XDG_RUNTIME_DIR naming a second song, and again while the program is held
# (SIGSTOP). The library's folder takes no socket (its path is too long for
# one), so the hand-over goes through the user's folder under /tmp; as root
# the scenario runs in a mount namespace of its own where that folder's name
# was taken first by another user. Passes when each later start ends with 0
# at once, the first says the missing file cannot be played while its song is
# still heard and nothing else was loaded, the start without a runtime folder
# opens no second program and the first plays its song, the start that finds
# the program held says so in a window of its own within 2 s and the program,
# let go on, plays nothing of it, and at the end the program quits with 0.
# usage: scripts/e2e/second_start.sh [BUILD_DIR] [OUT_DIR]
set -euo pipefail
if [ "$(id -u)" -eq 0 ] && [ -z "${SECOND_START_NAMESPACE:-}" ] && command -v unshare >/dev/null; then
  exec env SECOND_START_NAMESPACE=1 unshare --mount --propagation private "$0" "$@"
fi
source "$(dirname "$0")/lib.sh"
e2e_init "${1:-build}" "${2:-}"
e2e_logged_in
documents=$HOME/$(printf 'Documents-of-the-singer-on-stage-%.0s' 1 2 3)
mkdir -p "$documents"
printf 'XDG_DOCUMENTS_DIR="%s"\n' "$documents" >"$XDG_CONFIG_HOME/user-dirs.dirs"
library=$documents/VelmarPC
if [ -n "${SECOND_START_NAMESPACE:-}" ]; then
  handover=/tmp/VelmarPC-$(id -u)
  # As the program itself makes it where it is missing.
  [ -e "$handover" ] || mkdir -m 700 "$handover"
  mkdir "$work/taken"
  chown 65534:65534 "$work/taken"
  mount --bind "$work/taken" "$handover"
fi
/usr/bin/python3 "$here/make_kar.py" "$work" 120 first >/dev/null
/usr/bin/python3 "$here/make_kar.py" "$work" 60 second >/dev/null
ln -s "$work/gone.kar" "$work/stale.kar"
e2e_pulse
e2e_screen 1280x800
printf '[WindowsPosition]\nMainWindow=@Rect(0 0 1160 613)\n' >> "$settings"
export VELMAR_WIDGET_DUMP=$work/widgets.txt
trap 'kill -CONT "${program_pid:-}" 2>/dev/null || true; cp "$work/program.log" "$out/second-start-program.log" 2>/dev/null || true; e2e_cleanup' EXIT
e2e_start
e2e_import "$work/first.kar"

shown_row() { e2e_widgets; e2e_at item songsListview "$1" >/dev/null; }
wait_for 50 shown_row first || fail "the row of first.kar is not on the screen"
loads=$(e2e_loads)
xdotool mousemove $(e2e_at item songsListview first) click --repeat 2 --delay 80 1
wait_for 100 e2e_loaded_since "$loads" || fail "the double click loaded nothing"
e2e_record velmar_e2e
e2e_sounds || fail "the song is not heard"
e2e_record_stop

# A later start as the first's own environment has it; status and output.
later() {
  local status=0
  (cd "$work" && QT_QPA_PLATFORM=xcb ASAN_OPTIONS=detect_leaks=0 timeout 60 "$@") >"$work/later.log" 2>&1 || status=$?
  [ "$status" -eq 0 ] || fail "the later start $* ended with $status: $(tail -3 "$work/later.log")"
}

loads=$(e2e_loads)
later "$program" stale.kar
kill -0 "$program_pid" 2>/dev/null || fail "the program ended"
wait_for 100 e2e_shows label "^Cannot play this file" || fail "the missing file is not said"
e2e_shows label "stale[.]kar [(]no such file[)]" || fail "the box does not name the file and why"
e2e_record velmar_e2e
e2e_record_more 1000 || fail "the recording stopped"
e2e_record_stop
e2e_sounds || fail "the song stopped for a file that cannot be played"
[ "$(e2e_loads)" -eq "$loads" ] || fail "a song was loaded for the missing file"
box=$(xdotool search --onlyvisible --name "^Attention$" | head -1)
[ -n "$box" ] || fail "the box is no window of its own"
xdotool windowfocus --sync "$box" key Return
wait_for 50 e2e_gone "$box" || fail "the box did not close with Return"
echo "a later start naming a missing file: said, and the song went on"

loads=$(e2e_loads)
later env -u XDG_RUNTIME_DIR "$program" "$work/second.kar"
wait_for 100 grep -q "LOAD SONG.*second.kar" "$work/program.log" || fail "the song of the start without a runtime folder was not loaded"
[ "$(xdotool search --onlyvisible --name "^Velmar PC" | wc -l)" -eq 1 ] || fail "a second program's window opened"
e2e_record velmar_e2e
e2e_sounds || fail "the song of the start without a runtime folder is not heard"
e2e_record_stop
echo "a later start without XDG_RUNTIME_DIR: handed to the program running, its song heard"

loads=$(e2e_loads)
kill -STOP "$program_pid"
began=$(date +%s%N)
(cd "$work" && QT_QPA_PLATFORM=xcb ASAN_OPTIONS=detect_leaks=0 VELMAR_WIDGET_DUMP=$work/later-widgets.txt \
  exec "$program" "$work/first.kar") >"$work/later.log" 2>&1 &
later_pid=$!
pids+=($later_pid)
later_box() { xdotool search --onlyvisible --pid "$later_pid" 2>/dev/null | head -1 | grep .; }
wait_for 100 later_box || fail "the later start finding the program held showed no window"
took=$((($(date +%s%N) - began) / 1000000))
[ "$took" -le 2000 ] || fail "the later start's window came $took ms after it began"
kill -USR1 "$later_pid"
wait_for 50 grep -q "does not answer.*first[.]kar was not played" "$work/later-widgets.txt" \
  || fail "the later start's window does not say why: $(cat "$work/later-widgets.txt" 2>/dev/null)"
read -r x y w h < <(awk -F'\t' '$1 == "button" && $7 == "OK" { print $5 }' "$work/later-widgets.txt")
xdotool mousemove $((x + w / 2)) $((y + h / 2)) click 1
status=0
wait_for 50 bash -c "! kill -0 $later_pid" || fail "the later start did not end with its window"
wait "$later_pid" || status=$?
[ "$status" -eq 1 ] || fail "the later start that played nothing ended with $status"
kill -CONT "$program_pid"
e2e_record velmar_e2e
e2e_sounds || fail "the song is not heard after the program went on"
e2e_record_stop
[ "$(e2e_loads)" -eq "$loads" ] || fail "the program played the song of the start that gave up"
echo "a later start finding the program held: said in its window after $took ms, nothing played later"
e2e_quit
echo "PASS"
