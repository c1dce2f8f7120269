#!/bin/bash
# Photographs every page and pop-up of the real VelmarPC on the two laptop
# screens it must fit, 1280x800 and 1366x768, in English and in Italian
# ("System/Lang" 1 and 0): the library with a song chosen, the store's news,
# a playlist, the file browser, the options, the edit page with its
# instrument chooser, the mixer, the chords, the account, the volume, the
# melody channel, the song information, the import report (of sixty files
# that are no songs) and the new playlist's name. Each run starts on a fresh
# screen with a song playing (imported on the first run) and a mixer
# window reopened from the last run's positions, which must stand in front
# of the main window. After every picture each mapped window must lie inside
# the screen, else the run fails.
# usage: scripts/e2e/pages.sh [BUILD_DIR] [OUT_DIR]
#   Pictures go to OUT_DIR/pages/LANG-WxH-PAGE.png (OUT_DIR defaults to
#   BUILD_DIR/end-to-end).
set -euo pipefail
source "$(dirname "$0")/lib.sh"
e2e_init "${1:-build}" "${2:-}"
pages=$out/pages
rm -rf "$pages"
mkdir -p "$pages"
probe() { /usr/bin/python3 "$here/e2e/screen_probe.py" "$@"; }

e2e_store
printf '[User]\nuser_id=42\nname=Anna\nsurname=Rossi\nemail=anna@example.org\n' >>"$settings"
/usr/bin/python3 "$here/../tests/app/make_kar.py" "$HOME" 90 song >/dev/null
# Sixty files that are no songs: a report longer than the screen is high.
for i in $(seq -w 1 60); do printf 'no song here\n' >"$HOME/$i.kar"; done
e2e_pulse velmar_e2e

# The program's windows visible now.
shown() { xdotool search --onlyvisible --pid "$program_pid" 2>/dev/null | sort; }
# Waits for a window that was not there before ($1: the list before).
new_window() {
  local before=$1 now
  for _ in $(seq 50); do
    now=$(comm -13 <(echo "$before") <(shown))
    [ -n "$now" ] && { echo "$now" | tail -1; return 0; }
    sleep 0.1
  done
  return 1
}
# Closes the window $1 with the key $2 and waits until it has gone.
close_with() {
  xdotool key "$2"
  wait_for 50 bash -c "! xdotool search --onlyvisible --pid $program_pid | grep -qx $1" \
    || fail "a window did not close with $2"
}
# A picture of the whole screen, then every mapped window checked.
shot() {
  local name=$pages/$lang-$size-$1.png
  xdotool mousemove "$((screen_w - 1))" "$((screen_h - 1))"
  sleep 0.25
  import -display "$DISPLAY" -window root "$name"
  probe windows "$screen_w" "$screen_h" >"$work/windows.txt" \
    || fail "$(basename "$name"): $(cat "$work/windows.txt")"
}
click() {
  [ -n "${at[$1]:-}" ] || fail "$1 not found on the screen"
  xdotool mousemove ${at[$1]} click 1
}
locate() {
  eval "$(xdotool getwindowgeometry --shell "$window")"
  xdotool mousemove "$((screen_w - 1))" "$((screen_h - 1))"
  sleep 0.2
  declare -gA at=()
  while read -r name x y; do at[$name]="$x $y"; done < <(probe controls "$X" "$Y" "$WIDTH" "$HEIGHT")
}
# Opens a pop-up or box with a click ($1) and photographs it as $2; $3 is
# the key that closes it.
popup() {
  local before opened
  before=$(shown)
  click "$1"
  opened=$(new_window "$before") || fail "$2 did not open"
  shot "$2"
  close_with "$opened" "$3"
}
set_language() {
  if grep -q '^\[System\]' "$settings"; then
    sed -i '/^Lang=/d; s/^\[System\]$/[System]\nLang='"$1"'/' "$settings"
  else
    printf '[System]\nLang=%s\n' "$1" >>"$settings"
  fi
}

first=1
for run in "en 1 1280x800" "en 1 1366x768" "it 0 1280x800" "it 0 1366x768"; do
  read -r lang code size <<<"$run"
  screen_w=${size%x*} screen_h=${size#*x}
  set_language "$code"
  e2e_screen "$size"
  e2e_start
  if [ $first = 0 ]; then
    # The mixer reopens in its window, in front of the main window.
    mixer=$(xdotool search --all --onlyvisible --pid "$program_pid" --name '^Mix' | head -1)
    [ -n "$mixer" ] || fail "the mixer window did not reopen"
    sleep 0.5
    # xwininfo lists the top-most window first.
    order=$(xwininfo -root -children | awk '/^ +0x/ {print $1}')
    main=$(printf '0x%x' "$window") mixer_hex=$(printf '0x%x' "$mixer")
    [ "$(grep -n "^$mixer_hex$" <<<"$order" | cut -d: -f1)" -lt "$(grep -n "^$main$" <<<"$order" | cut -d: -f1)" ] \
      || fail "the mixer window opened behind the main window: $order; main $main mixer $mixer_hex"
    shot mixer-window
    for _ in 1 2 3 4 5; do
      xdotool windowfocus --sync "$mixer" key Escape
      wait_for 10 bash -c "! xdotool search --onlyvisible --pid $program_pid | grep -qx $mixer" && break
    done
  fi
  # The first page is up once its tab bar is drawn.
  for _ in $(seq 20); do
    locate
    [ -n "${at[library]:-}" ] && break
  done
  click library
  locate
  if [ $first = 1 ]; then
    # A song and the files that are no songs, chosen by name in the home
    # folder the dialog opens on: the song is listed, the others reported.
    before=$(shown)
    xdotool windowfocus --sync "$window" key ctrl+i
    dialog=$(new_window "$before") || fail "the import dialog did not open"
    before=$(shown)
    names="\"song.kar\""
    for i in $(seq -w 1 60); do names+=" \"$i.kar\""; done
    xdotool windowfocus --sync "$dialog" type --delay 2 "$names"
    xdotool key Return
    report=$(new_window "$before") || fail "the import report did not open"
    wait_for 100 e2e_listed "$HOME/song.kar" || fail "the song was not imported"
    shot import-report
    close_with "$report" Return
    before=$(shown)
    click new_playlist
    name=$(new_window "$before") || fail "the new playlist's name was not asked"
    shot new-playlist
    xdotool type "Stage"
    close_with "$name" Return
    locate
  fi

  # The song chosen (its row in the highlight colour) and playing.
  click first_song
  xdotool key Home space
  wait_for 100 grep -q "LOAD SONG" "$work/program.log" || fail "the song did not start"
  sleep 1
  shot library
  popup info song-information Return
  popup options settings Escape
  popup user account Escape
  popup volume volume Escape
  popup melody melody-channel Escape

  click karaoke; shot karaoke
  click editing
  shot edit
  locate
  popup strip instrument-chooser Escape
  click mixer; shot mixer
  click chords; shot chords
  click library
  locate
  click news; shot store
  click browse; shot file-browser
  click repertoire
  sleep 0.3
  # The playlists are below the four fixed entries: the side list scrolled.
  xdotool mousemove ${at[side_list]} click 5 click 5
  sleep 0.3
  locate
  click first_playlist
  shot playlist
  xdotool key Escape

  # The mixer in a window of its own for the next start.
  click mixer
  locate
  click unpin
  sleep 0.3
  e2e_quit
  e2e_screen_stop
  first=0
done
ls "$pages" | wc -l | xargs echo "pictures:"
