#!/bin/bash
# A song edited on the Editing page of the real VelmarPC and saved three
# times, as a user saves: through Stop, through the song's own end, and
# through quitting the program; then the program is started again on it.
# Three songs, a mido-made KAR, a type-1 MIDI with SysEx and text events (one
# of each holding the bytes of a settings record) and a copy of it only its
# owner may read (mode 0600). Each round solos the first channel and raises
# the key one step. After each save mido reads the file, every event but the
# settings records is where it was, no record is there twice and the key
# record holds the key set; every play is heard; the private song and its
# backup stay 0600. Then a read-only copy (0444): the Editing page says as
# it starts that the edits will not be kept, they are heard, Stop leaves the
# file as it was with no backup, and quitting asks nothing. A song another
# song is copied over while it plays keeps that song's bytes at Stop, and
# the page says why. A song of two names beside a FIFO and a link under the
# names of its kept copy and backup is saved all the same, they are left
# alone, and the page says so; a song of a 252-byte name is saved with a
# backup under its name cut and marked.
# usage: scripts/e2e/saves.sh [BUILD_DIR] [OUT_DIR]
set -euo pipefail
source "$(dirname "$0")/lib.sh"
e2e_init "${1:-build}" "${2:-}"
out=$out/saves
mkdir -p "$out"
rm -f "$out"/*.png
e2e_logged_in
/usr/bin/python3 "$here/e2e/saves_songs.py" write "$work"
e2e_pulse velmar_e2e
e2e_screen 1280x800
export VELMAR_WIDGET_DUMP=$work/widgets.txt

# Where the first shown control named $1 is.
control_at() {
  e2e_widgets
  at=$(e2e_at control "$1")
}
# Clicks it, once it is shown.
press() {
  wait_for 50 control_at "$1" || fail "$1 is not on the screen"
  control_at "$1"
  xdotool mousemove $at click 1
}
sum() { md5sum "$1" | cut -d' ' -f1; }
# Waits for the song file to change from $2, then checks it against $1's
# copy made before the first save, for key $3.
saved() {
  local song=$1 before=$2 key=$3 verdict
  wait_for 300 bash -c "[ \"\$(md5sum '$song' | cut -d' ' -f1)\" != $before ]" \
    || fail "$(basename "$song") was not saved ($4)"
  verdict=$(/usr/bin/python3 "$here/e2e/saves_songs.py" check "$work/original-$(basename "$song")" "$song" "$key")
  [ "$verdict" = ok ] || fail "$(basename "$song") after the save through $4: $verdict"
  echo "$(basename "$song"): saved through $4, key $key"
}
# The sink heard something over the last recording.
heard() {
  e2e_record_stop
  e2e_sounds || fail "the song was not heard ($1)"
}
# The strips are there once the song plays; the page shows the key set,
# $1 steps up.
edit() {
  press EditButton
  press soloButton
  press plusButtonKey
  wait_for 50 e2e_shows label "[[][+]$1[]]\$" || fail "the key shown did not rise to +$1"
}

# Quits; a box held open (one offering to try a save again) fails it.
quit_unasked() {
  kill -TERM "$program_pid"
  wait_for 150 bash -c "! kill -0 $program_pid 2>/dev/null" || {
    import -display "$DISPLAY" -window root "$out/quit-held.png"
    fail "quitting stopped at a box ($1)"
  }
  local status=0
  wait "$program_pid" || status=$?
  [ "$status" -eq 0 ] || fail "the program exited with $status"
}

cp "$work/mixed.mid" "$work/private.mid"
chmod 600 "$work/private.mid"
for name in song.kar mixed.mid private.mid; do
  song=$work/$name
  cp "$song" "$work/original-$name"
  # 1: Stop.
  e2e_record velmar_e2e
  e2e_start "$song"
  edit 1
  import -display "$DISPLAY" -window root "$out/$name-edited.png"
  before=$(sum "$song")
  press rewButton
  saved "$song" "$before" 1 Stop
  heard "before Stop"
  # 2: played again from the start and left to end.
  e2e_record velmar_e2e
  press playButton
  edit 2
  before=$(sum "$song")
  saved "$song" "$before" 2 "the song's end"
  heard "to its end"
  # 3: the program started again on it, edited and quit.
  e2e_quit
  e2e_record velmar_e2e
  e2e_start "$song"
  edit 3
  before=$(sum "$song")
  e2e_quit
  saved "$song" "$before" 3 "quitting"
  heard "before quitting"
  # Started again it plays as saved, and nothing is written unasked.
  before=$(sum "$song")
  e2e_record velmar_e2e
  e2e_start "$song"
  wait_for 100 e2e_sounds || fail "$name was not heard after the restart"
  import -display "$DISPLAY" -window root "$out/$name-again.png"
  e2e_quit
  heard "after the restart"
  [ "$(sum "$song")" = "$before" ] || fail "$name was written with nothing edited"
done
modes=$(stat -c %a "$work/private.mid" "$work/private.mid.bak" | tr '\n' ' ')
[ "$modes" = "600 600 " ] || fail "the private song and its backup are not 0600 but $modes"
echo "private.mid: it and its backup stay 0600"

# The read-only song: said at the start, heard, left as it was.
song=$work/readonly.mid
cp "$work/original-mixed.mid" "$song"
chmod 444 "$song"
before=$(sum "$song")
e2e_record velmar_e2e
e2e_start "$song"
press EditButton
wait_for 50 e2e_shows label "heard but will not be kept: the song file is read-only" \
  || fail "the Editing page did not say that readonly.mid is read-only"
edit 1
import -display "$DISPLAY" -window root "$out/readonly.mid-edited.png"
press rewButton
wait_for 50 e2e_shows label "changes to readonly.mid were not kept: the song file is read-only" \
  || fail "the Editing page did not say that the edits were not kept"
quit_unasked "readonly.mid"
heard "the read-only song"
[ "$(sum "$song")" = "$before" ] || fail "readonly.mid was written"
[ ! -e "$song.bak" ] || fail "a backup was made beside readonly.mid"
[ "$(stat -c %a "$song")" = 444 ] || fail "readonly.mid is no longer 0444"
echo "readonly.mid: said read-only at the start, heard, left as it was"

# Another song copied over the path while it plays: Stop writes nothing
# into it, makes no backup of it and says so.
song=$work/swapped.mid
cp "$work/original-mixed.mid" "$song"
e2e_record velmar_e2e
e2e_start "$song"
edit 1
cp "$work/original-song.kar" "$song"
before=$(sum "$song")
press rewButton
wait_for 50 e2e_shows label "changes to swapped.mid were not kept: another song was put in its place" \
  || fail "the Editing page did not say that another song took the place of swapped.mid"
quit_unasked "swapped.mid"
heard "the song copied over"
[ "$(sum "$song")" = "$before" ] || fail "the song copied over swapped.mid took its edits"
[ ! -e "$song.bak" ] || fail "a backup was made of the song copied over swapped.mid"
echo "swapped.mid: the song copied over it kept its own bytes, and that was said"

# A song of two names (written into the file itself) beside a FIFO under
# its kept copy's name and a link under its backup's, as another user may
# place them in a shared folder: Stop saves it all the same, its backup goes
# under another name, both are left alone, and the Editing page says so.
song=$work/twonames.mid
cp "$work/original-mixed.mid" "$song"
cp "$song" "$work/original-twonames.mid"
ln "$song" "$work/twonames-too.mid"
mkfifo "$work/.twonames.mid.kept"
ln -s original-song.kar "$song.bak"
e2e_record velmar_e2e
e2e_start "$song"
edit 1
before=$(sum "$song")
press rewButton
saved "$song" "$before" 1 "Stop beside a FIFO and a link"
wait_for 50 e2e_shows label "[.]twonames[.]mid[.]kept is not a file, and is left alone[.]" \
  || fail "the Editing page did not say that the FIFO beside twonames.mid is left alone"
wait_for 50 e2e_shows label "twonames[.]mid[.]bak is a link, and is left alone[.]" \
  || fail "the Editing page did not say that the link beside twonames.mid is left alone"
import -display "$DISPLAY" -window root "$out/twonames.mid-saved.png"
quit_unasked "twonames.mid"
heard "the song of two names"
cmp -s "$song" "$work/twonames-too.mid" || fail "the second name of twonames.mid does not hold the song saved"
[ -p "$work/.twonames.mid.kept" ] && [ "$(readlink "$song.bak")" = original-song.kar ] \
  || fail "the FIFO or the link beside twonames.mid was touched"
backup=$(find "$work" -maxdepth 1 -name 'twonames.mid.bak~??????')
[ "$(echo "$backup" | wc -w)" = 1 ] && cmp -s "$backup" "$work/original-mixed.mid" \
  || fail "twonames.mid has no backup of its own: $backup"
echo "twonames.mid: saved beside a FIFO and a link, its backup under another name, and that was said"

# A name of 252 bytes, too long for ".bak" after it: saved through Stop,
# its backup beside it under the name cut and marked.
song=$work/$(printf 'a%.0s' $(seq 248)).mid
cp "$work/original-mixed.mid" "$song"
e2e_start "$song"
edit 1
before=$(sum "$song")
press rewButton
wait_for 300 bash -c "[ \"\$(md5sum '$song' | cut -d' ' -f1)\" != $before ]" \
  || fail "the song of a 252-byte name was not saved"
e2e_quit
backups=$(find "$work" -maxdepth 1 -name 'aaaa*~????????.bak')
[ "$(echo "$backups" | wc -w)" = 1 ] && cmp -s "$backups" "$work/original-mixed.mid" \
  || fail "the song of a 252-byte name has no backup of its own: $backups"
echo "a 252-byte name: saved, its backup of $(( $(basename "$backups" | wc -c) - 1 )) bytes beside it"
echo "saves: every save kept the songs whole"
