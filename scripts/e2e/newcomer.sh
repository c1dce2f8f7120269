#!/bin/bash
# A newcomer's first command, end to end: on a fresh home, with a screen and a
# sound server of its own, `./setup.sh run` builds the program (or finds it
# built), starts the project's store and then the program. The store's
# account is typed on the login page; the library's news list is opened and
# the KAR and the MP3 of the news downloaded; each is played from the
# library's "Downloaded" list while the sink's monitor is recorded: the KAR
# for a while, the MP3 to its end. The recordings must sound and the
# screenshots show a lit lyric row. Then the program is quit: setup.sh must
# end with 0 and its store be gone; started again directly, the program opens
# logged in. Every step is photographed into OUT_DIR.
# usage: scripts/e2e/newcomer.sh [OUT_DIR]   (default build/end-to-end/newcomer)
set -euo pipefail
source "$(dirname "$0")/lib.sh"
root=$(cd "$(dirname "$0")/../.." && pwd)
e2e_workspace "${1:-$root/build/end-to-end/newcomer}"
rm -f "$out"/*.png
e2e_pulse velmar_e2e
e2e_screen 1280x800
export VELMAR_WIDGET_DUMP=$work/widgets.txt
step=0
shot() { step=$((step + 1)); import -display "$DISPLAY" -window root "$out/$(printf %02d $step)-$1.png"; }

# setup.sh leads a process group of its own, so that a run that fails here
# takes the program and the store down with it.
setsid "$root/setup.sh" run >"$work/program.log" 2>&1 &
setup=$!
trap 'kill -TERM -- -$setup 2>/dev/null || true; cp "$work/program.log" "$out/" 2>/dev/null; e2e_cleanup' EXIT
wait_for 6000 grep -q '^Local store: ' "$work/program.log" \
  || fail "setup.sh run did not start its store"
store=$(sed -n 's/^Local store: \(http:[^ ]*\) .*/\1/p' "$work/program.log")
store_pid=$(sed -n 's/^Local store: .*(pid \([0-9]*\)).*/\1/p' "$work/program.log")
wait_for 300 grep -q 'Connected to port' "$work/program.log" || fail "the first page did not come up"
window=$(xdotool search --sync --name "Velmar PC" | head -1)
program_pid=$(pgrep -P "$setup" -x VelmarPC) || fail "setup.sh did not start build/bin/VelmarPC"
e2e_settled || true
shot login-page

# The login page, the cursor in the e-mail field.
xdotool windowfocus --sync "$window" type --delay 20 singer@example.org
xdotool key Tab type --delay 20 velmar
xdotool key Return
wait_for 150 grep -q "logged in, user 1" "$work/program.log" || fail "the store's account did not log in"
eval "$(xdotool getwindowgeometry --shell "$window")"
# The library page is up once its lists are found on the screen.
probed() {
  /usr/bin/python3 "$here/e2e/screen_probe.py" controls "$X" "$Y" "$WIDTH" "$HEIGHT" >"$work/controls.txt" \
    && grep -q "^$1 " "$work/controls.txt" && grep -q "^${2:-$1} " "$work/controls.txt"
}
wait_for 100 probed news first_song || fail "the library page's lists were not found"
e2e_settled || true
shot logged-in
declare -A at
while read -r name x y; do at[$name]="$x $y"; done <"$work/controls.txt"
read -r song_x row0 <<<"${at[first_song]}"
row() { echo "$song_x $((row0 + 40 * $1))"; }

# A list shows the song $1 and not $2.
listed_only() {
  e2e_widgets
  awk -F'\t' -v yes="$1" -v no="${2:-^$}" '$1 == "item" && $7 ~ yes { y = 1 } $1 == "item" && $7 ~ no { n = 1 }
    END { exit !(y && !n) }' "$VELMAR_WIDGET_DUMP"
}
# The news of the week: Evening Lights (KAR), Harbour Song (MP3), Open Road.
xdotool mousemove ${at[news]} click 1
wait_for 100 listed_only "Open Road" || fail "the news of the week were not listed"
e2e_settled || true
shot news
kar="Velmar Demo Band - Evening Lights.mid"
mp3="Nora Vell - Harbour Song.mp3"
xdotool mousemove $(row 0) click --repeat 2 --delay 80 1
wait_for 300 e2e_listed "$kar" || fail "the KAR of the news was not downloaded into the library"
xdotool mousemove $(row 1) click --repeat 2 --delay 80 1
wait_for 300 e2e_listed "$mp3" || fail "the MP3 of the news was not downloaded into the library"
e2e_settled || true
shot news-downloaded

# Played from the "Downloaded" list, in the order they came.
xdotool mousemove ${at[downloaded]} click 1
wait_for 100 listed_only "Harbour Song" "Open Road" || fail "the downloaded songs were not listed"
unloads() { grep -c 'UNLOAD SONG' "$work/program.log" || true; }
unloaded_since() { [ "$(unloads)" -gt "$1" ]; }
before=$(e2e_loads)
e2e_record velmar_e2e "$work/kar.raw"
xdotool mousemove $(row 0) click --repeat 2 --delay 80 1
wait_for 300 e2e_loaded_since "$before" || fail "the KAR did not start from the library"
wait_for 300 e2e_recorded $((48000 * 4 * 12)) "$work/kar.raw" || fail "the KAR's recording stopped"
shot kar-playing
# Its file has no key, genre or author: the library and the header show the
# store's.
e2e_widgets
kar_key=$(awk -F'\t' '$6 ~ /(^|\/)keyValueLabel$/ { print $7; exit }' "$VELMAR_WIDGET_DUMP")
[ "$kar_key" = "C [0]" ] || fail "the header shows the KAR's key as \"$kar_key\", the store's is C"
kar_row=$(sqlite3 -separator '|' "file:$library/db_VelmarPC.sqlite?mode=ro" \
  "SELECT s.keySign, g.NomeGenere, a.NomeAutore FROM Songs s JOIN Genere g USING (IdGenere)
   JOIN Autori a USING (IdAutore) WHERE s.NomeFile LIKE '%$kar'")
[ "$kar_row" = "C|Pop|Velmar Demo Band" ] || fail "the KAR's library row holds \"$kar_row\", not the store's key, genre and author"
e2e_record_stop

before=$(e2e_loads)
e2e_record velmar_e2e "$work/mp3.raw"
xdotool mousemove $(row 1) click --repeat 2 --delay 80 1
wait_for 300 e2e_loaded_since "$before" || fail "the MP3 did not start from the library"
ended=$(unloads)
wait_for 100 e2e_recorded $((48000 * 4 * 10)) "$work/mp3.raw" || fail "the MP3's recording stopped"
shot mp3-playing
# The song ends by itself (the KAR's unload came with the MP3's load).
wait_for 600 unloaded_since "$ended" || fail "the MP3 did not play to its end"
# What the server still holds.
e2e_record_more 1000 "$work/mp3.raw" || fail "the MP3's recording stopped"
e2e_record_stop
shot mp3-ended

# Quitting the program ends setup.sh, and its store with it.
kill -TERM "$program_pid"
status=0
wait "$setup" || status=$?
[ "$status" -eq 0 ] || fail "setup.sh run ended with $status"
grep -q '^Local store stopped' "$work/program.log" || fail "setup.sh did not stop its store"
! kill -0 "$store_pid" 2>/dev/null || fail "the store (pid $store_pid) still runs"
/usr/bin/python3 -c 'import sys, urllib.request
try:
    urllib.request.urlopen(sys.argv[1] + "/service/service_status.php", timeout=2)
except OSError:
    sys.exit(0)
sys.exit(1)' "$store" || fail "the store still answers at $store"

# Started directly, with no store to talk to, the program opens on its main
# page: the login is kept.
program=$root/build/bin/VelmarPC
e2e_start
X=0 Y=0
wait_for 100 probed news || fail "started directly, the program asked for the login again"
shot started-directly
e2e_quit

# Each recording sounds with no silence longer than the songs' own rests, the
# MP3, played to its end, as long as its file; each screenshot of a song holds
# a lit lyric row in the lyrics' area, under the header.
mp3_length=$(/usr/bin/python3 -c 'import json, sys
songs = json.load(open(sys.argv[1]))["songs"]
print(next(s["length"] for s in songs if s["format"] == "MP3"))' "$root/build/store/catalogue.json")
lyrics=1100x200+30+60
/usr/bin/python3 "$here/e2e/checks.py" song "$work/kar.raw" 0 0.3 "$(echo "$out"/*-kar-playing.png)@$lyrics" \
  || fail "the KAR did not sound or show its lyrics as it should"
/usr/bin/python3 "$here/e2e/checks.py" song "$work/mp3.raw" "$mp3_length" 0.3 \
  "$(echo "$out"/*-mp3-playing.png)@$lyrics" || fail "the MP3 did not sound or show its lyrics as it should"
