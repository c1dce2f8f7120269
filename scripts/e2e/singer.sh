#!/bin/bash
# What a singer presses, pressed with the mouse where the release program
# draws it: a first start from a fresh home on each laptop screen (1280x800,
# then 1366x768; nothing resized), three songs imported (singer_songs.py), a
# MIDI song whose every bar holds a note of its own and an MP3 whose every
# four seconds do each played and sought with the position bar: its handle
# pressed where it is drawn and dragged, and a press beside it. Each jump is
# checked by the position shown and by the note heard (the recording of the
# run's null sink). Then every control of the header bar and its pop-ups,
# of the Editing page, of the mixer and of the karaoke page is pressed once
# and what it must do is checked: the sound (heard, silent, softer, the key
# risen), the setting stored (the settings file, the song file) and the page
# or window shown; the instrument is chosen with a double-click, whose
# second click must do nothing where the chooser was. Pause and Play, and
# Key +, pressed while a bar's note is held, are heard at once: the note
# again, at the new key. The song left to end
# closes the position bar, the keys reach the window again, and Play plays
# it again from its start. Then, on the same first start, a third song
# (stage.kar: a long title and artist, lyrics, twelve channels) is played
# and what a singer reads measured: the header shows 24 characters or more
# of its title and artist, its lyric rows paused are as tall and as far
# apart on the screen as playing, a seek made while paused shows the bar and
# the lit row it goes to before Play, and Tab over the Editing page brings each
# control it reaches whole into sight. Where the controls are comes from
# the program's own list of its widgets (VELMAR_WIDGET_DUMP).
# usage: scripts/e2e/singer.sh [BUILD_DIR] [OUT_DIR]
set -euo pipefail
source "$(dirname "$0")/lib.sh"
e2e_init "${1:-build}" "${2:-}"
out=$out/singer
mkdir -p "$out"
rm -f "$out"/*.png
songs() { /usr/bin/python3 "$here/e2e/singer_songs.py" "$@"; }
export VELMAR_WIDGET_DUMP=$work/widgets.txt
e2e_pulse velmar_e2e
rec=$work/rec.raw

# ---- what the program shows

dump() { e2e_widgets; }
# The text of the first shown entry of kind $1 whose path ends in $2.
text_of() {
  awk -F'\t' -v kind="$1" -v name="$2" '$1 == kind && $6 ~ ("(^|/)" name "$") { print $7; exit }' \
    "$VELMAR_WIDGET_DUMP"
}
shown() { dump; e2e_at "$@" >/dev/null; }
says() { dump; [ "$(text_of "$1" "$2")" = "$3" ]; }
# A press where the entry is drawn, once it is shown.
press() {
  wait_for 50 shown "$@" || fail "$2${3+ ($3)} is not on the screen"
  xdotool mousemove $(e2e_at "$@") click 1
  pressed+=("$2")
}
# Presses on a slider's handle where it is drawn, moves by $2 $3 pixels and
# holds; let_go releases it.
hold_handle() {
  wait_for 50 shown handle "$1" || fail "the handle of $1 is not on the screen"
  read -r hx hy <<<"$(e2e_at handle "$1")"
  xdotool mousemove "$hx" "$hy" mousedown 1
  xdotool mousemove "$((hx + $2 / 2))" "$((hy + $3 / 2))" sleep 0.1 mousemove "$((hx + $2))" "$((hy + $3))"
  pressed+=("$1")
}
let_go() { xdotool mouseup 1; }
handle_value() { dump; text_of handle "$1" | cut -d' ' -f1; }
# A slider's handle dragged to its end: $2 "low" or "high".
drag_to() {
  local dx=0 dy=0
  case "$2" in
    low) if [ "$3" = vertical ]; then dy=400; else dx=-600; fi ;;
    high) if [ "$3" = vertical ]; then dy=-400; else dx=600; fi ;;
  esac
  hold_handle "$1" "$dx" "$dy"
  let_go
}
# The window or pop-up whose object name is $1 is shown, or not.
window_shown() { dump; awk -F'\t' -v n="$1" '$1 == "window" && $6 == n { f = 1 } END { exit !f }' "$VELMAR_WIDGET_DUMP"; }
window_gone() { ! window_shown "$1"; }
setting() { grep -q "^$1=$2\$" "$settings"; }

# ---- what is heard: the last 300 ms of the recording

note_now() { songs note "$rec" 300; }
level_now() { songs level "$rec" 300; }
silent() { [ "$(level_now | cut -d. -f1)" -le -65 ]; }
sounding() { [ "$(level_now | cut -d. -f1)" -ge -55 ]; }
# Up to 5 s (a note cut by a change comes back at the next bar).
now_heard() {
  wait_for 50 "$@" || fail "not heard after ${pressed[-1]:-the start}: $* (level $(level_now) dBFS, note $(note_now))"
}
# Still so after more than half a second more of sound: a control that
# changed it keeps it changed, where a drop-out of a busy machine passes.
still_heard() {
  e2e_record_more 700 "$rec" || true
  wait_for 20 "$@" || fail "${pressed[-1]} changed what is heard: not $* (level $(level_now) dBFS, note $(note_now))"
}
full_db=0
softer() { local l; l=$(level_now | cut -d. -f1); [ "$l" -le $((full_db - 6)) ] && [ "$l" -ge -58 ]; }

# ---- the position bar

# The MIDI song's bar (from 1) and the MP3's second shown in the header.
shown_bar() { dump; text_of label barNumberLabel | cut -d. -f1; }
shown_second() { dump; text_of label timeNumberLabel | awk -F: '{ print $1 * 60 + $2 }'; }
at_bar() { local b; b=$(shown_bar); [ -n "$b" ] && [ "$b" -ge "$1" ] && [ "$b" -le "$(($1 + 2))" ]; }
at_second() { local s; s=$(shown_second); [ -n "$s" ] && [ "$s" -ge "$1" ] && [ "$s" -le "$(($1 + 5))" ]; }
# The mark heard at a bar of the MIDI song (from 0) or a second of the MP3.
mark_of() { songs mark "$1" "$2"; }
# The MIDI song's bar shown heard $1 semitones up.
key_heard() { [ "$(note_now)" = "$(( $(mark_of mid "$(( $(shown_bar) - 1 ))") + $1 ))" ]; }
# The song ($1: mid or mp3) plays from its start: the header shows its first
# bars or seconds, and what is heard is the mark of the place shown.
from_start() {
  if [ "$1" = mid ]; then
    wait_for 50 at_bar 1 || fail "${pressed[-1]} did not play the song from its start: bar $(shown_bar)"
    now_heard key_heard 0
  else
    wait_for 50 at_second 0 || fail "${pressed[-1]} did not play the song from its start: second $(shown_second)"
    now_heard mp3_heard
  fi
}
# The MP3's second shown heard (or the next: the sound reaches the sink a
# little later).
mp3_heard() {
  local n s
  n=$(note_now)
  s=$(shown_second)
  [ "$n" = "$(mark_of mp3 "$s")" ] || [ "$n" = "$(mark_of mp3 $((s + 1)))" ]
}
# Where the bar says the song would go while the handle is held: a bar
# ("Bar: 9.1", from 1) or a second ("00:21").
held_target() {
  dump
  local t
  t=$(text_of label 'SeekTrackSlider/timeLeftLabel')
  case "$t" in
    Bar:*) t=${t#Bar: }; echo "${t%.1}" ;;
    [0-9]*:[0-9]*) echo $((10#${t%:*} * 60 + 10#${t#*:})) ;;
    *) echo "none: \"$t\"" ;;
  esac
}
# The song ($1: mid or mp3) sought with the position bar, $2: "handle"
# (pressed where it is drawn and dragged $3 pixels) or "beside" (a press
# at $3 tenths of the bar's width, away from the handle).
seek() {
  local kind=$1 how=$2 target x y w h
  press control fwdButton
  wait_for 50 shown handle 'SeekTrackSlider/horizontalSlider' || fail "the position bar did not open"
  if [ "$how" = handle ]; then
    hold_handle 'SeekTrackSlider/horizontalSlider' "$3" 0
  else
    read -r x y w h <<<"$(awk -F'\t' '$1 == "input" && $6 == "SeekTrackSlider/horizontalSlider" { print $8 }' "$VELMAR_WIDGET_DUMP")"
    read -r hx _ <<<"$(e2e_at handle 'SeekTrackSlider/horizontalSlider')"
    x=$((x + w * $3 / 10))
    [ $((x - hx)) -gt 40 ] || [ $((hx - x)) -gt 40 ] || fail "the handle stands where the press beside it was to land"
    xdotool mousemove "$x" "$((y + h / 2))" mousedown 1
    pressed+=("beside the position handle")
  fi
  target=$(held_target)
  [[ "$target" =~ ^[0-9]+$ ]] \
    || fail "the position bar held nothing after the press ($how): it says $target"
  # Held while the song plays on: the bar stays where the hand is.
  e2e_record_more 1500 "$rec" || true
  [ "$(held_target)" = "$target" ] || fail "the held position moved from $target to $(held_target)"
  let_go
  # The header goes there, and what is heard is the mark of the place it
  # shows (the song plays on meanwhile: a busy machine takes its time to look).
  if [ "$kind" = mid ]; then
    wait_for 50 at_bar "$target" || fail "the song did not go to bar $target ($how): the header shows bar $(shown_bar)"
    now_heard key_heard 0
  else
    wait_for 50 at_second "$target" || fail "the song did not go to second $target ($how): the header shows $(shown_second) s"
    now_heard mp3_heard
  fi
  echo "$size $kind: the position $how went to $([ "$kind" = mid ] && echo bar || echo second) $target, heard there"
  xdotool key Escape
  wait_for 50 window_gone SeekTrackSlider || fail "the position bar did not close with Escape"
}
# The song's row in the library (by its title) chosen and Play pressed.
play_row() {
  press control LibraryButton
  press item songsListview "$1"
  press control playButton
}

# ---- held notes: Pause and Play, and Key +, while a bar's note is held

# The header shows the first beat of a bar: more than a second of its note
# is still to come.
bar_begins() { dump; [ "$(text_of label barNumberLabel | cut -d. -f2)" = 1 ]; }
# Where the recording stands (bytes), just before a press.
rec_at() { stat -c %s "$rec"; }
# Ms after byte $1 of the recording at which note $2 is heard (-1: never).
heard_after() { /usr/bin/python3 "$here/e2e/singer_heard.py" heard "$rec" "$1" "$2"; }
# Heard at once after a press early in a bar (the note of the bar goes on
# for more than a second): $1 what, $2 ms from the press, within the press's
# way through the program, the synthesizer's latency and the recording's.
at_once() {
  [ "$2" -ge 0 ] && [ "$2" -le 400 ] \
    || fail "$1: $([ "$2" -ge 0 ] && echo "heard $2 ms after the press" || echo "not heard before the next bar")"
}
# The MIDI song plays on the Editing page; what the song holds sounds again
# at once after Play, and at the new key at once after Key +.
held_notes() {
  local bar at ms
  wait_for 50 bar_begins || fail "the header never showed a bar's first beat: $(text_of label barNumberLabel)"
  bar=$(shown_bar)
  press control pauseButton
  now_heard silent
  e2e_record_more 500 "$rec" || true
  at=$(rec_at)
  press control pauseButton
  e2e_record_more 1200 "$rec" || true
  ms=$(heard_after "$at" "$(mark_of mid $((bar - 1)))")
  at_once "Play after Pause during the note of bar $bar" "$ms"
  echo "$size: Play after Pause during a held note: heard again $ms ms after the press"

  press control EditButton
  wait_for 50 shown control plusButtonKey || fail "the Editing page was not shown"
  wait_for 50 bar_begins || fail "the header never showed a bar's first beat: $(text_of label barNumberLabel)"
  bar=$(shown_bar)
  at=$(rec_at)
  press control plusButtonKey
  e2e_record_more 1200 "$rec" || true
  ms=$(heard_after "$at" "$(( $(mark_of mid $((bar - 1))) + 1 ))")
  at_once "Key + during the note of bar $bar" "$ms"
  echo "$size: Key + during a held note: the new key heard $ms ms after the press"
  # The song has no key signature: "- - -", then the key offset.
  press control minusButtonKey
  wait_for 50 says label labelKey "- - - [0]" || fail "the key shown did not come back"
  now_heard key_heard 0
}

# ---- the first start's looks, measured once the walk is done

looks() { /usr/bin/python3 "$here/e2e/looks_check.py" "$@"; }

# The song of long names played from the library, whose page is shown: the
# header shows 24 characters or more of its title and artist, the window
# fills the screen and the library's Playlists heading is whole.
header_shows() {
  local title artist t a
  title=$(songs stage title) artist=$(songs stage artist)
  play_row "$title"
  wait_for 100 header_says "$title" \
    || fail "the header does not show the song played: $(text_of label lcdFrame/frame/titleLabel)"
  e2e_frame "$window" || fail "the main window has no frame"
  looks first-window "$VELMAR_WIDGET_DUMP" "${size%x*}" "${size#*x}" "$FRAME_X $FRAME_Y $FRAME_W $FRAME_H" \
    "$title" "$artist" >"$work/faults.txt" || fail "the first window: $(cat "$work/faults.txt")"
  t=$(text_of label lcdFrame/frame/titleLabel) a=$(text_of label lcdFrame/frame/authorLabel)
  t=${t%…} a=${a%…}
  echo "$size: the header shows ${#t} of the title's ${#title} characters, ${#a} of the artist's ${#artist}"
}
# The header's title is the start of $1.
header_says() {
  local t
  dump
  t=$(text_of label lcdFrame/frame/titleLabel)
  t=${t%…}
  [ -n "$t" ] && [ "${1#"$t"}" != "$1" ]
}

# The song's lyrics on the karaoke page, pictured while a row is lit, and
# after Pause once the view has had time to lay its rows out again: paused, the
# rows are as tall and as far apart (looks_check.py paused-rows).
paused_rows() {
  press control KaraokeButton
  wait_for 50 shown input lV_Text || fail "the karaoke page was not shown"
  wait_for 100 lit_now || fail "no lyric row was lit: $out/$size-playing.png"
  press control pauseButton
  now_heard silent
  e2e_record_more 1000 "$rec" || true
  dump
  import -display "$DISPLAY" -window root "$out/$size-paused.png"
  looks paused-rows "$VELMAR_WIDGET_DUMP" "$out/$size-playing.png" "$out/$size-paused.png" >"$work/rows.txt" \
    || fail "the paused lyrics: $(cat "$work/rows.txt")"
  sed "s/^/$size lyrics /" "$work/rows.txt"
}
# ---- a seek made while paused (begin)
# The stage song, paused on the karaoke page: the position bar pressed at
# eight tenths of its width and let go. Before Play, still silent, the
# header shows the bar it went to and its time (two seconds a bar), and
# another lyric row is lit; Play goes on from that bar.
seek_paused() {
  local before shot target x y w h
  before=$(lit_row) || fail "no lyric row was lit before the seek: $before"
  shot=$out/$size-before-seek.png
  cp "$work/lit.png" "$shot"
  press control fwdButton
  wait_for 50 shown handle 'SeekTrackSlider/horizontalSlider' || fail "the position bar did not open"
  read -r x y w h <<<"$(awk -F'\t' '$1 == "input" && $6 == "SeekTrackSlider/horizontalSlider" { print $8 }' "$VELMAR_WIDGET_DUMP")"
  xdotool mousemove "$((x + w * 8 / 10))" "$((y + h / 2))" mousedown 1
  pressed+=("the position bar, paused")
  target=$(held_target)
  [[ "$target" =~ ^[0-9]+$ ]] || fail "the position bar held nothing after the press, paused: it says $target"
  let_go
  wait_for 50 says label barNumberLabel "$target.1" \
    || fail "paused, the header did not go to bar $target: it shows bar $(shown_bar)"
  [ "$(shown_second)" = $(((target - 1) * 2)) ] \
    || fail "paused, the header shows $(shown_second) s at bar $target, not $(((target - 1) * 2)) s"
  xdotool key Escape
  wait_for 50 window_gone SeekTrackSlider || fail "the position bar did not close with Escape"
  wait_for 50 lit_moved "$before" || fail "paused, the lit row stayed where it was after the seek to bar $target: $shot"
  cp "$work/lit.png" "$out/$size-after-seek.png"
  now_heard silent
  [ "$(shown_bar)" = "$target" ] || fail "paused, the header left bar $target for bar $(shown_bar)"
  press control pauseButton
  wait_for 50 at_bar "$target" || fail "Play did not go on from bar $target: the header shows bar $(shown_bar)"
  now_heard sounding
  echo "$size stage: paused, the position bar took the header to bar $target and the lit row to another" \
    "before Play ($size-before-seek.png, $size-after-seek.png); Play went on from there"
}
# The lyric row lit now, as a digest of its ink (looks_check.py lit-row).
lit_row() {
  dump
  import -display "$DISPLAY" -window root "$work/lit.png"
  looks lit-row "$VELMAR_WIDGET_DUMP" "$work/lit.png"
}
lit_moved() { local now; now=$(lit_row) && [ "$now" != "$1" ]; }
# ---- a seek made while paused (end)

# A picture of the lyrics with a row lit among whole rows (measured against
# itself).
lit_now() {
  dump
  import -display "$DISPLAY" -window root "$out/$size-playing.png"
  looks paused-rows "$VELMAR_WIDGET_DUMP" "$out/$size-playing.png" "$out/$size-playing.png"
}

# Tab walked over the Editing page of the song's twelve channel rows, most
# of them below the page's bottom until scrolled to: each control that took
# the focus stood whole in sight (looks_check.py focus-seen).
tab_in_sight() {
  local rows
  press control EditButton
  wait_for 50 shown control plusButtonKey || fail "the Editing page was not shown"
  # The list of what took the focus starts here.
  dump
  : >"$work/focus.txt"
  for _ in $(seq 8); do
    xdotool key --delay 30 $(printf 'Tab %.0s' $(seq 20))
    dump
    grep '^focus' "$VELMAR_WIDGET_DUMP" >>"$work/focus.txt" || true
    [ "$(rows_walked)" -ge 12 ] && break
  done
  rows=$(rows_walked)
  [ "$rows" -ge 12 ] || fail "Tab reached the last control of $rows of the 12 channel rows"
  looks focus-seen "$work/focus.txt" "${size%x*}" "${size#*x}" >"$work/faults.txt" \
    || fail "Tab on the Editing page: $(cat "$work/faults.txt")"
  echo "$size: Tab moved the focus $(wc -l <"$work/focus.txt") times over the Editing page and its $rows channel rows," \
    "each control whole in sight"
}
# The channel rows whose last control took the focus.
rows_walked() {
  awk -F'\t' '$6 ~ /ControlTrackSmall\/undoButton$/ { n[$10] = 1 } END { print length(n) }' "$work/focus.txt"
}

# ---- the walk on one screen

walk() {
  size=$1
  pressed=()
  # A fresh home: the first start of a new user.
  export HOME=$work/home-$size XDG_CONFIG_HOME=$work/home-$size/.config XDG_DATA_HOME=$work/home-$size/.local/share
  export XDG_CACHE_HOME=$work/home-$size/.cache
  mkdir -p "$XDG_CONFIG_HOME/Kvero"
  settings=$XDG_CONFIG_HOME/Kvero/VelmarPC.conf
  library=$HOME/Documents/VelmarPC
  bash "$here/install-soundbank.sh" >/dev/null
  e2e_logged_in
  songs write "$HOME"
  e2e_screen "$size"
  e2e_record velmar_e2e "$rec"
  e2e_start
  # The songs chosen by name in the import dialog, which opens on the home.
  e2e_import_open
  e2e_import_names '"marks.mid" "marks.mp3" "stage.kar"' 10
  wait_for 300 e2e_listed "$HOME/marks.mp3" && wait_for 100 e2e_listed "$HOME/marks.mid" \
    && wait_for 100 e2e_listed "$HOME/stage.kar" || fail "the songs were not imported"

  # The MIDI song: Play, pause, the position bar.
  play_row marks
  from_start mid
  press control pauseButton
  now_heard silent
  press control pauseButton
  now_heard sounding
  seek mid handle 150
  seek mid beside 8
  seek mid beside 1
  import -display "$DISPLAY" -window root "$out/$size-midi.png"

  # Stop: silent, back to the start; Play from there.
  press control rewButton
  now_heard silent
  wait_for 50 says label barNumberLabel 1.1 || fail "Stop did not go back to the start: bar $(shown_bar)"
  press control playButton
  from_start mid

  # The volume: its handle down to silence, up to the top.
  press control volumeButton
  wait_for 50 window_shown volumePopup || fail "the volume did not open"
  drag_to volumePopup/masterVolumeSlider low vertical
  now_heard silent
  drag_to volumePopup/masterVolumeSlider high vertical
  now_heard sounding
  [ "$(handle_value volumePopup/masterVolumeSlider)" = 127 ] || fail "the volume is not at its top"
  xdotool key Escape
  wait_for 50 window_gone volumePopup || fail "the volume did not close"

  # The melody is the song's channel 1; each mode heard and stored.
  press control melodyChButton
  wait_for 50 window_shown MelodyChannelPopup || fail "the melody channel did not open"
  press item channelsView "Track 1"
  wait_for 50 setting MelodyTrack 0 || fail "the melody channel was not stored"
  xdotool key Escape
  wait_for 50 window_gone MelodyChannelPopup || fail "the melody channel did not close"
  # The level of the whole melody, held over a note, against the half one.
  e2e_record_more 1000 "$rec" || true
  full_db=$(songs level "$rec" 1000 | cut -d. -f1)
  press control melodyMuteButton
  wait_for 50 setting MelodyMute 1 || fail "Melody OFF was not stored"
  says button melodyMuteButton "Melody OFF" || fail "the melody button does not say Melody OFF"
  now_heard silent
  press control melodyMuteButton
  wait_for 50 setting MelodyMute 2 || fail "Melody SEMI was not stored"
  now_heard softer
  press control melodyMuteButton
  wait_for 50 setting MelodyMute 0 || fail "Melody ON was not stored"
  now_heard sounding

  held_notes

  # The Editing page.
  press control EditButton
  wait_for 50 shown control plusButtonKey || fail "the Editing page was not shown"
  press control plusButtonKey
  wait_for 50 says label labelKey "- - - [+1]" || fail "the key shown did not rise"
  now_heard key_heard 1
  press control minusButtonKey
  wait_for 50 says label labelKey "- - - [0]" || fail "the key shown did not come back"
  now_heard key_heard 0
  press control plusButtonKey
  now_heard key_heard 1
  press control plusBpm
  wait_for 50 says label labelBpm "121 [+1]" || fail "the tempo shown did not rise"
  press control minusBpm
  wait_for 50 says label labelBpm "120 [0]" || fail "the tempo shown did not come back"
  press control plusBpm
  drag_to ControlTrackSmall/horizontalSlider low horizontal
  now_heard silent
  press control undoButton
  now_heard sounding
  [ "$(handle_value ControlTrackSmall/horizontalSlider)" = 100 ] || fail "undo did not bring the channel's volume back"
  press control muteButton
  now_heard silent
  press control trackPlayButton
  now_heard sounding
  # Alone, the channel goes on sounding.
  press control soloButton
  now_heard sounding
  press label instrLabel
  wait_for 50 window_shown InstrChooserPopup || fail "the instrument chooser did not open"
  press item listViewFamiliy Reed
  wait_for 50 shown item listViewInstr "Soprano Sax" || fail "the reeds were not listed"
  # A double-click, as a hand used to lists gives it: its first click
  # chooses and closes the chooser, its second lands where the chooser was
  # (on the karaoke view, where the chooser opens upward) and does nothing.
  wait_for 50 shown item listViewInstr "Soprano Sax" || fail "Soprano Sax is not on the screen"
  xdotool mousemove $(e2e_at item listViewInstr "Soprano Sax") click --repeat 2 --delay 120 1
  pressed+=("a double-click on Soprano Sax")
  wait_for 50 says label instrLabel "Soprano Sax" || fail "the instrument was not changed"
  dump
  window_gone KaraokeTextWidget || fail "the double-click's second click made the karaoke view full screen"
  shown control plusButtonKey || fail "the double-click's second click left the Editing page"
  now_heard sounding
  # Stop writes the edits into the song file.
  cp "$library/marks.mid" "$work/before.mid"
  press control rewButton
  wait_for 100 bash -c "! cmp -s '$library/marks.mid' '$work/before.mid'" || fail "Stop did not save the edits"
  verdict=$(songs edits "$library/marks.mid")
  [ "$verdict" = "key 1 tempo 1 program 64 solo" ] \
    || { cp "$library/marks.mid" "$out/$size-saved.mid"; fail "the song file holds: $verdict (saved: $out/$size-saved.mid)"; }
  echo "$size: edits stored: $verdict"

  # The mixer: the song is in the winds; every fader and mute once.
  press control playButton
  press control MixerButton
  now_heard sounding
  for group in drums bass guitar keyboards Orchestra winds; do
    local name=${group^}
    drag_to "${group}Volume" low vertical
    if [ "$group" = winds ]; then now_heard silent; else still_heard sounding; fi
    drag_to "${group}Volume" high vertical
    now_heard sounding
    press control "muteButton$name"
    if [ "$group" = winds ]; then now_heard silent; else still_heard sounding; fi
    press control "muteButton$name"
    now_heard sounding
  done

  # The karaoke page: a new window, full screen, a window of its own.
  press control KaraokeButton
  wait_for 50 shown input lV_Text || fail "the karaoke page was not shown"
  press control pb_add_new_window
  wait_for 50 window_shown KaraokeTextWidget || fail "no new karaoke window opened"
  press control 'KaraokeTextWidget/TitleBarWindow/closeButton'
  wait_for 50 window_gone KaraokeTextWidget || fail "the new karaoke window did not close"
  press control pb_fullscreen
  wait_for 50 window_shown KaraokeTextWidget || fail "the karaoke view did not go full screen"
  xdotool key Escape
  wait_for 50 window_gone KaraokeTextWidget || fail "Escape did not bring the karaoke view back"
  press control pb_to_new_window
  wait_for 50 window_shown KaraokeTextWidget || fail "the karaoke view did not go into a window of its own"
  press control 'KaraokeTextWidget/TitleBarWindow/pinButton'
  wait_for 50 window_gone KaraokeTextWidget || fail "the karaoke window was not pinned back"
  wait_for 50 shown input 'MainWindow/.*/screenWidget/KaraokeTextWidget/.*/lV_Text' \
    || fail "the karaoke view is not back in the main window"

  # The MP3: played and sought; then left to end with the position bar up.
  play_row "Marks Audio"
  from_start mp3
  seek mp3 handle 200
  seek mp3 beside 2
  import -display "$DISPLAY" -window root "$out/$size-mp3.png"
  press control fwdButton
  wait_for 50 shown handle 'SeekTrackSlider/horizontalSlider' || fail "the position bar did not open"
  read -r x y w h <<<"$(awk -F'\t' '$1 == "input" && $6 == "SeekTrackSlider/horizontalSlider" { print $8 }' "$VELMAR_WIDGET_DUMP")"
  xdotool mousemove "$((x + w - 25))" "$((y + h / 2))" click 1
  wait_for 150 window_gone SeekTrackSlider || fail "the position bar stayed up after the song's end"
  now_heard silent
  # The keys reach the window again: Ctrl+I opens the import dialog.
  e2e_import_open
  e2e_import_close
  press control KaraokeButton
  press control playButton
  from_start mp3

  # ---- later measurements on this same first start
  header_shows
  paused_rows
  seek_paused
  tab_in_sight

  e2e_quit
  setting value 127 || fail "the volume was not stored on quitting"
  setting MelodyTrack 0 || fail "the melody channel was not kept"
  e2e_record_stop
  e2e_screen_stop
}

# SINGER_SCREENS: the screens walked (by default both).
for size in ${SINGER_SCREENS:-1280x800 1366x768}; do walk "$size"; done
echo "singer: every control did what it must on both screens"
