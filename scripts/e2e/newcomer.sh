#!/bin/bash
# A newcomer at their own desktop, end to end: an ordinary user who may use
# sudo (without a password here), with a PulseAudio server of their own and
# a screen that a window manager (openbox) manages, clones the repository
# and types `./setup.sh run` in the clone. It builds there as that user (its
# compiler cache reads the tested build's objects, as a second clone on one
# machine would) and starts the project's store and the program, as the
# user, on the user's screen and sound server. The window must come up
# with its frame and title bar on the screen, filling its free area. The
# store's account is typed on the login page; the library's news list is
# opened and the KAR and the MP3 of the news downloaded; each is played from
# the library's "Downloaded" list while the user's sink is recorded: the KAR
# for a while, the MP3 to its end. The recordings must sound and the
# screenshots show a lit lyric row. The close button of the title bar,
# clicked where openbox draws it, must end the program, setup.sh with 0 and
# its store. Then the user types `sudo ./setup.sh run` in the clone: the
# program must run as the user again, in their home (logged in already),
# with its window's frame where it was left, and play a song heard on the
# user's sound server; closed the same way, it ends with its store. Every
# step is photographed into OUT_DIR.
#
# As root: the user, their group and their sudo rule are written into copies
# of the system's files laid over them in a mount namespace of the run's
# own, as is the user's runtime folder under /run/user; nothing of the
# machine changes. The clone is of the commit checked out (HEAD).
# usage: scripts/e2e/newcomer.sh [OUT_DIR]   (default build/end-to-end/newcomer)
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
if [ "$(id -u)" -ne 0 ]; then
  echo "SKIP: a user of the run's own is made as root only"
  exit 77
fi
# The compiler cache of the tested build, found before the run's own home
# takes the place of root's.
shared_cache=$(ccache -k cache_dir 2>/dev/null || true)
if [ -z "${NEWCOMER_NAMESPACE:-}" ]; then
  exec env NEWCOMER_NAMESPACE=1 unshare --mount --propagation private bash "$0" "$@"
fi
source "$(dirname "$0")/lib.sh"
e2e_workspace "${1:-$root/build/end-to-end/newcomer}"
rm -f "$out"/*.png
# The user reaches their own folders in it.
chmod 755 "$work"
command -v sudo >/dev/null || fail "sudo is not installed (./setup.sh installs it)"

# The user: a free id (nothing runs as it, not even another run's user,
# whose processes end with their run), a home in the work folder, a sudo
# rule beside the system's.
user=velmar-newcomer
uid=61000
while getent passwd "$uid" >/dev/null || getent group "$uid" >/dev/null || pgrep -u "$uid" >/dev/null; do
  uid=$((uid + 1))
done
# Whatever the user still runs ends with the run (every process of theirs
# is one of its own), and the tested build's cache is let go before the
# work folder goes.
setup=""
finish() {
  [ -z "$setup" ] || kill -TERM -- -"$setup" 2>/dev/null || true
  local p
  for p in $(pgrep -u "$uid"); do kill "$p" 2>/dev/null || true; done
  umount "$work/ccache" 2>/dev/null || true
  cp "$work"/*.log "$out/" 2>/dev/null || true
  e2e_cleanup
}
trap finish EXIT
desk_home=$work/newcomer
cp /etc/passwd "$work/passwd"
cp /etc/group "$work/group"
cp /etc/shadow "$work/shadow"
cp /etc/sudoers "$work/sudoers"
echo "$user:x:$uid:$uid:A newcomer:$desk_home:/bin/bash" >>"$work/passwd"
echo "$user:x:$uid:" >>"$work/group"
echo "$user:!:19000:0:99999:7:::" >>"$work/shadow"
echo "$user ALL=(ALL:ALL) NOPASSWD: ALL" >>"$work/sudoers"
chmod 440 "$work/sudoers"
for file in passwd group shadow sudoers; do mount --bind "$work/$file" "/etc/$file"; done
mkdir -p /run/user
mount -t tmpfs -o mode=755 tmpfs /run/user
runtime=/run/user/$uid
mkdir -p "$desk_home" "$runtime" "$work/rec"
chown "$uid:$uid" "$desk_home" "$runtime" "$work/rec"
chmod 700 "$desk_home" "$runtime"

e2e_screen 1280x800
# The user's session: their home, screen and runtime folder, nothing of the
# run's own environment; the tested build's compiler cache read only.
session=(HOME="$desk_home" USER="$user" LOGNAME="$user" SHELL=/bin/bash PATH=/usr/local/bin:/usr/bin:/bin
  LANG=C.UTF-8 DISPLAY="$DISPLAY" XDG_RUNTIME_DIR="$runtime" VELMAR_WIDGET_DUMP="$work/rec/widgets.txt")
if [ -n "$shared_cache" ] && [ -d "$shared_cache" ]; then
  mkdir -p "$work/ccache"
  mount --bind "$shared_cache" "$work/ccache"
  mount -o remount,bind,ro "$work/ccache"
  session+=(CCACHE_DIR="$work/ccache" CCACHE_READONLY=1 CCACHE_TEMPDIR="$runtime/ccache")
fi
# RealtimeKit on a system bus of the run's own, granting as a desktop's
# does: the user's sound server and the program raise their audio threads
# through it.
rt_status=0
e2e_realtimekit || rt_status=$?
if [ "$rt_status" -eq 0 ]; then
  session+=(DBUS_SYSTEM_BUS_ADDRESS="$DBUS_SYSTEM_BUS_ADDRESS")
else
  echo "No RealtimeKit for the user: ${rtkit_skip:-${rtkit_fail:-}}"
fi
as_user() { setpriv --reuid="$uid" --regid="$uid" --init-groups -- env -i "${session[@]}" "$@"; }
# The same in the background, $! its process.
as_user_bg() { setpriv --reuid="$uid" --regid="$uid" --init-groups -- env -i "${session[@]}" "$@" & }
export VELMAR_WIDGET_DUMP=$work/rec/widgets.txt

# The user's own sound server, as a desktop session starts it: its socket
# in the runtime folder, its cookie in the home.
as_user_bg pulseaudio -n --daemonize=no --exit-idle-time=-1 --disallow-exit -L module-native-protocol-unix \
  -L "module-null-sink sink_name=velmar_newcomer rate=48000" -L module-always-sink 2>"$work/pulse.log"
pids+=($!)
wait_for 100 as_user pactl info || fail "the user's PulseAudio did not start: $(tail -3 "$work/pulse.log")"
as_user pactl set-default-sink velmar_newcomer
record() {
  : >"$1"
  chown "$uid" "$1"
  as_user_bg parec -d velmar_newcomer.monitor --format=s16le --rate=48000 --channels=2 --raw --latency-msec=20 "$1"
  recorders+=($!)
  pids+=($!)
  wait_for 100 e2e_recorded $((48000 * 4 * 2)) "$1" || fail "parec did not record"
}

step=0
shot() { step=$((step + 1)); import -display "$DISPLAY" -window root "$out/$(printf %02d $step)-$1.png"; }

# The repository cloned into the user's home.
clone=$desk_home/velmar
git clone -q "$root" "$clone"
chown -R "$uid:$uid" "$clone"
echo "The clone is of $(git -C "$root" log -1 --format='%h %s')"
[ -z "$(git -C "$root" status --porcelain --untracked-files=no)" ] \
  || echo "Changes not committed in $root are not in the clone"

# `./setup.sh run` typed in the clone, leading a process group of its own,
# so that a run that fails here takes the program and the store down with
# it. $1: what the user types before it (sudo), $2: its log.
typed() {
  log=$2
  (cd "$clone" && exec setsid setpriv --reuid="$uid" --regid="$uid" --init-groups -- env -i "${session[@]}" \
    ${1:+"$1"} ./setup.sh run) >"$log" 2>&1 &
  setup=$!
  wait_for 9000 grep -q '^Local store: ' "$log" || fail "setup.sh run did not start its store: $(tail -5 "$log")"
  store=$(sed -n 's/^Local store: \(http:[^ ]*\) .*/\1/p' "$log")
  store_pid=$(sed -n 's/^Local store: .*(pid \([0-9]*\)).*/\1/p' "$log")
  wait_for 300 grep -q 'Connected to port' "$log" || fail "the first page did not come up"
  window=$(xdotool search --sync --name "Velmar PC" | head -1)
  # The user's only program (sudo runs its command in a session of its own).
  program_pid=$(pgrep -u "$uid" -x VelmarPC) || fail "setup.sh did not start build/bin/VelmarPC"
  # The user's program, in their home, on their sound server.
  [ "$(stat -c %u "/proc/$program_pid")" = "$uid" ] \
    || fail "the program runs as $(stat -c %U "/proc/$program_pid"), not as $user"
  tr '\0' '\n' <"/proc/$program_pid/environ" | grep -qx "HOME=$desk_home" \
    || fail "the program's home is not $desk_home: $(tr '\0' '\n' <"/proc/$program_pid/environ" | grep '^HOME=')"
}

# The window manager's frame of the window is $1: "X Y W H".
framed_as() { e2e_frame "$window" && [ "$FRAME_X $FRAME_Y $FRAME_W $FRAME_H" = "$1" ]; }
said_frame() { echo "${FRAME_W:-?}x${FRAME_H:-?}+${FRAME_X:-?}+${FRAME_Y:-?}"; }
# The run typed ends with 0 once the window is closed, its store with it.
closed_ends_all() {
  local status=0
  e2e_close "$window"
  wait "$setup" || status=$?
  [ "$status" -eq 0 ] || fail "setup.sh run ended with $status once its window was closed: $(tail -5 "$log")"
  grep -q '^Local store stopped' "$log" || fail "setup.sh did not stop its store"
  ! kill -0 "$store_pid" 2>/dev/null || fail "the store (pid $store_pid) still runs"
  /usr/bin/python3 -c 'import sys, urllib.request
try:
    urllib.request.urlopen(sys.argv[1] + "/service/service_status.php", timeout=2)
except OSError:
    sys.exit(0)
sys.exit(1)' "$store" || fail "the store still answers at $store"
}

start=$(date +%s)
typed "" "$work/setup.log"
echo "From ./setup.sh run in the fresh clone to the first page: $(($(date +%s) - start)) s"
# A first start: the frame, title bar and all, fills the screen's free area
# (openbox keeps no panel).
wait_for 100 framed_as "0 0 1280 800" || fail "the window's frame is $(said_frame), not the screen's 1280x800+0+0"
first_frame="$FRAME_X $FRAME_Y $FRAME_W $FRAME_H"
e2e_settled || true
shot login-page

# The login page, the cursor in the e-mail field.
xdotool windowfocus --sync "$window" type --delay 20 singer@example.org
xdotool key Tab type --delay 20 velmar
xdotool key Return
wait_for 150 grep -q "logged in, user 1" "$log" || fail "the store's account did not log in"
e2e_geometry "$window"
# The lyrics' area, under the header.
lyrics=1100x200+$((X + 30))+$((Y + 60))
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
library=$desk_home/Documents/VelmarPC
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
loads() { grep -c 'currSong\] LOAD SONG' "$log" || true; }
loaded_since() { [ "$(loads)" -gt "$1" ]; }
unloads() { grep -c 'UNLOAD SONG' "$log" || true; }
unloaded_since() { [ "$(unloads)" -gt "$1" ]; }
before=$(loads)
record "$work/rec/kar.raw"
xdotool mousemove $(row 0) click --repeat 2 --delay 80 1
wait_for 300 loaded_since "$before" || fail "the KAR did not start from the library"
wait_for 300 e2e_recorded $((48000 * 4 * 12)) "$work/rec/kar.raw" || fail "the KAR's recording stopped"
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

before=$(loads)
record "$work/rec/mp3.raw"
xdotool mousemove $(row 1) click --repeat 2 --delay 80 1
wait_for 300 loaded_since "$before" || fail "the MP3 did not start from the library"
ended=$(unloads)
wait_for 100 e2e_recorded $((48000 * 4 * 10)) "$work/rec/mp3.raw" || fail "the MP3's recording stopped"
shot mp3-playing
# The song ends by itself (the KAR's unload came with the MP3's load).
wait_for 600 unloaded_since "$ended" || fail "the MP3 did not play to its end"
# What the server still holds.
e2e_record_more 1000 "$work/rec/mp3.raw" || fail "the MP3's recording stopped"
e2e_record_stop
shot mp3-ended

# The close button of the title bar ends the program, setup.sh and the store.
closed_ends_all
shot closed

# `sudo ./setup.sh run`, as a user at a desktop may type it: root installs
# what is missing, and the program runs as the user again, logged in, its
# frame where it was left.
typed sudo "$work/sudo-setup.log"
grep -q "^Building and running as $user" "$log" || fail "sudo ./setup.sh run did not hand over to $user"
wait_for 100 framed_as "$first_frame" || fail "the window's frame came back at $(said_frame), not where it was left ($first_frame)"
e2e_geometry "$window"
wait_for 100 probed news first_song || fail "under sudo the program asked for the login again (not the user's home)"
e2e_settled || true
shot under-sudo
read -r song_x row0 < <(sed -n 's/^first_song //p' "$work/controls.txt")
before=$(loads)
record "$work/rec/sudo.raw"
xdotool mousemove $(row 0) click --repeat 2 --delay 80 1
wait_for 300 loaded_since "$before" || fail "under sudo the first song did not start from the library"
wait_for 300 e2e_recorded $((48000 * 4 * 6)) "$work/rec/sudo.raw" || fail "the recording under sudo stopped"
e2e_record_stop
closed_ends_all

# Each recording sounds, with no silence longer than a second, the MP3,
# played to its end, as long as its file; each screenshot of a song holds a
# lit lyric row in the lyrics' area, under the header. This road runs beside
# other tests on a busy machine: the sound's continuity, rests against
# holes, is judged by the scenarios that listen alone.
mp3_length=$(/usr/bin/python3 -c 'import json, sys
songs = json.load(open(sys.argv[1]))["songs"]
print(next(s["length"] for s in songs if s["format"] == "MP3"))' "$clone/build/store/catalogue.json")
/usr/bin/python3 "$here/e2e/checks.py" song "$work/rec/kar.raw" 0 1.0 "$(echo "$out"/*-kar-playing.png)@$lyrics" \
  || fail "the KAR did not sound or show its lyrics as it should"
/usr/bin/python3 "$here/e2e/checks.py" song "$work/rec/mp3.raw" "$mp3_length" 1.0 \
  "$(echo "$out"/*-mp3-playing.png)@$lyrics" || fail "the MP3 did not sound or show its lyrics as it should"
e2e_sounds "$work/rec/sudo.raw" || fail "the song played under sudo was not heard on the user's sound server"
