#!/bin/bash
# Photographs every page and pop-up of the real VelmarPC on the two laptop
# screens it must fit, 1280x800 and 1366x768, in its four languages (set
# through "System/Lang" before the start: 0 Italian, 1 English, 2 German, 3
# Chinese): the library with a song chosen, the store's news, a playlist
# with its hint bubbles, the file browser, the options, the edit page with
# its instrument chooser, the mixer, the chords, the account, the volume, the
# melody channel, the song information, the import dialog, the import report
# (of sixty files that are no songs) and the new playlist's name. Each run
# starts on a fresh screen with a song playing (imported on the first run)
# and a mixer window reopened from the last run's positions, which must
# stand in front of the main window. Every language is seen on both screens:
# English on 1280x800 switched to Italian on the options pop-up, Italian on
# 1366x768 switched to English (everything photographed again after the
# switch, "-live" pictures), then German and Chinese on each screen.
# After every picture each mapped window must lie inside the screen (else the
# run stops), and the program's own list of what its windows show
# (VELMAR_WIDGET_DUMP, written on SIGUSR1) must hold no label or button whose
# text is wider than itself, no button partly hidden, no text of another
# language (widget_check.py), no text or icon that stands out from its
# ground by less than 4.5:1 and no band of the window's ground showing
# through a gap between two parts of a page (looks_check.py picture). On
# the first run Tab walks each page of the main window: every control the
# mouse reaches there must take the focus (looks_check.py reach). The faults are gathered into
# pages/text-faults.txt and fail the run at its end. So do the lists'
# (lists_check.py): the import dialog's columns whole and its sizes and
# dates as the language writes them; Browse PC's search, typed in, finding a
# song deep in the folder tree of the first drive listed (VELMAR_DRIVES_ROOT),
# which the page indexed on its first visit, under headers in the language
# shown, also after a switch; the options' language box showing the language.
# Then the window on a 1024x768 screen and at 960 px, its pages checked the
# same way (narrow_window_starts).
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
export VELMAR_WIDGET_DUMP=$work/widgets.txt
faults=$pages/text-faults.txt

# ---- The window of a first start, on each screen and in each language.
# The song played has a long title and artist, and no size is stored for the
# main window before a start (the views' own windows stay), so that it opens
# as at a first start: without anything resized, its header must show at
# least 24 characters of both names and the library's side list its
# "Playlists" heading whole (looks_check.py first-window); checked again
# after a language is chosen while the program runs, which must leave the
# window's size as it was.
first_title="Evening Lights over the Harbour Wall"
first_artist="The Practice Room Collective Band"
first_window_unsized() { sed -i '/^MainWindow=/d' "$settings"; }
# $1 ends the check's name in the faults.
first_window_check() {
  dump_widgets
  e2e_frame "$window" || fail "the main window has no frame"
  /usr/bin/python3 "$here/e2e/looks_check.py" first-window "$VELMAR_WIDGET_DUMP" "$screen_w" "$screen_h" \
    "$FRAME_X $FRAME_Y $FRAME_W $FRAME_H" "$first_title" "$first_artist" \
    | sed "s|^|$lang-$size-first-window${1:-}: |" >>"$faults" || true
}

# English on 1366x768 and Italian on 1280x800, which the runs below show
# only after a live switch, each started as a first start (no window of the
# last run's reopened) with the song played from the library and checked.
first_window_starts() {
  local run code
  for run in "en 1 1366x768" "it 0 1280x800"; do
    read -r lang code size <<<"$run"
    screen_w=${size%x*} screen_h=${size#*x}
    set_language "$code"
    sed -i '/^mixerView=/d' "$settings"
    first_window_unsized
    e2e_screen "$size"
    e2e_start
    locate_until library
    click library
    locate_until first_song
    play_first_song
    settle
    first_window_check
    shot library
    e2e_quit
    e2e_screen_stop
  done
}

# ---- A narrow window: Italian, whose header is the widest, on a 1024x768
# laptop screen that the window fills, and German made as narrow as half a
# 1920-pixel screen (960 px); each page photographed and checked as every
# other picture (the header's transport buttons among the controls seen
# whole).
narrow_half=960
narrow_window_starts() {
  local run code width suffix
  for run in "it 0 1024x768" "de 2 1024x768 $narrow_half"; do
    width=''
    read -r lang code size width <<<"$run"
    screen_w=${size%x*} screen_h=${size#*x}
    suffix=${width:+-$width}
    set_language "$code"
    sed -i '/^mixerView=/d' "$settings"
    first_window_unsized
    e2e_screen "$size"
    e2e_start
    if [ -n "$width" ]; then
      # As tall as the screen, frame and all.
      e2e_frame "$window" || fail "the main window has no frame"
      xdotool windowsize "$window" "$width" $((screen_h - (FRAME_H - HEIGHT)))
      wait_for 50 bash -c "xdotool getwindowgeometry $window | grep -q 'Geometry: ${width}x'" \
        || fail "the window was not made $width px wide: $(xdotool getwindowgeometry "$window")"
    fi
    locate_until library
    click library
    locate_until first_song
    play_first_song
    shot "library$suffix"
    for page in karaoke editing mixer chords; do
      click "$page"
      shot "$page$suffix"
    done
    e2e_quit
    e2e_screen_stop
  done
}

e2e_store
printf '[User]\nuser_id=42\nname=Anna\nsurname=Rossi\nemail=anna@example.org\n' >>"$settings"
# Long enough to play on through a run's tours and its live switch on a busy
# machine, where each window shown goes through the window manager.
/usr/bin/python3 "$here/make_kar.py" "$HOME" 300 song --title "$first_title" --artist "$first_artist" >/dev/null
# Sixty files that are no songs: a report longer than the screen is high.
for i in $(seq -w 1 60); do printf 'no song here\n' >"$HOME/$i.kar"; done
# Two drives; songs deep in the first one's folders.
export VELMAR_DRIVES_ROOT=$work/drives
for song in Disk/Music/jazz/city_blues.kar Disk/Music/rock/night_train.kar USB/Songs/city_lights.kar; do
  mkdir -p "$(dirname "$VELMAR_DRIVES_ROOT/$song")"
  cp "$HOME/song.kar" "$VELMAR_DRIVES_ROOT/$song"
done
e2e_pulse velmar_e2e

# The program's windows visible now.
shown() { e2e_windows; }
# Waits for a window that was not there before ($1: the list before).
new_window() { e2e_new_window 50 "$1"; }
# Closes the window $1 with the key $2 and waits until it has gone.
close_with() {
  xdotool key "$2"
  wait_for 50 e2e_gone "$1" || fail "a window did not close with $2"
}
# The program has dealt with what came before: its list of texts is written
# from its event loop, after the events sent before; twice, so that what
# they changed is drawn too.
settle() { dump_widgets; dump_widgets; }
# A picture of the whole screen, then every mapped window checked.
shot() {
  local name=$pages/$lang-$size-$1.png
  xdotool mousemove "$((screen_w - 1))" "$((screen_h - 1))"
  settle
  cp "$VELMAR_WIDGET_DUMP" "$work/before-shot.txt"
  import -display "$DISPLAY" -window root "$name"
  probe windows "$screen_w" "$screen_h" >"$work/windows.txt" \
    || fail "$(basename "$name"): $(cat "$work/windows.txt")"
  # Text faults are gathered over the whole run and reported at its end.
  dump_widgets
  {
    /usr/bin/python3 "$here/e2e/widget_check.py" "$VELMAR_WIDGET_DUMP" "$lang" "$here/../resources/translations" || true
    /usr/bin/python3 "$here/e2e/looks_check.py" picture "$name" "$VELMAR_WIDGET_DUMP" "$work/before-shot.txt" || true
  } | sed "s|^|$(basename "$name"): |" >>"$faults"
}
# The program writes what its windows show.
dump_widgets() {
  rm -f "$VELMAR_WIDGET_DUMP"
  kill -USR1 "$program_pid"
  wait_for 50 test -e "$VELMAR_WIDGET_DUMP" || fail "the program wrote no list of its texts"
}
# Whether a shown widget has the text $1.
says() { dump_widgets; cut -f7 "$VELMAR_WIDGET_DUMP" | grep -qxF "$1"; }
# The point to click on the widget named $1 of a shown window (from the
# list of texts: widgets with a text or items), or nothing.
widget_at() {
  dump_widgets
  e2e_at "" "$1" || true
}
click() {
  [ -n "${at[$1]:-}" ] || fail "$1 not found on the screen"
  xdotool mousemove ${at[$1]} click 1
}
locate() {
  e2e_geometry "$window"
  xdotool mousemove "$((screen_w - 1))" "$((screen_h - 1))"
  settle
  declare -gA at=()
  while read -r name x y; do at[$name]="$x $y"; done < <(probe controls "$X" "$Y" "$WIDTH" "$HEIGHT")
}
# The first song chosen and played: a song is loaded once more than before
# (the log keeps the lines of every start).
play_first_song() {
  local before
  before=$(e2e_loads)
  click first_song
  xdotool key Home space
  wait_for 100 e2e_loaded_since "$before" || fail "the song did not start"
}
# Locates until the control $1 is found.
locate_until() {
  for _ in $(seq 30); do
    locate
    [ -n "${at[$1]:-}" ] && return 0
  done
  fail "$1 did not show"
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
# The options' title in each language ("System/Lang" order): shown once the
# language has changed.
options_title=(Opzioni Options Optionen 选项)

# The import dialog (Ctrl+I) photographed as $1, its list checked, then
# closed. Its title is in the language shown: it is the window that opened.
import_dialog() {
  local before
  before=$(shown)
  xdotool windowfocus --sync "$window" key ctrl+i
  import_dialog=$(new_window "$before") || fail "the import dialog did not open"
  shot "$1"
  import_list_check
  e2e_import_close
}
# The empty playlist chosen, with its hint bubble, then the add button
# pressed, with the other hint: both photographed ($1 ends their names).
playlist_hints() {
  local add before
  click repertoire
  # The side list is built again and laid out before it can scroll.
  settle
  # The playlists are below the four fixed entries: the side list scrolled.
  xdotool mousemove ${at[side_list]} click 5 click 5 click 5
  locate_until first_playlist
  before=$(shown)
  click first_playlist
  new_window "$before" >/dev/null || fail "the playlist's hint did not show"
  shot "playlist$1"
  xdotool key Escape
  add=$(widget_at AddToPlayListButton)
  [ -n "$add" ] || fail "the playlist's add button is not shown"
  before=$(shown)
  xdotool mousemove $add click 1
  new_window "$before" >/dev/null || fail "the adding hint did not show"
  shot "adding$1"
  xdotool key Escape
  # Adding ends; back to all songs, the playing song chosen.
  xdotool mousemove $add click 1
  xdotool mousemove ${at[side_list]} click 4 click 4
  locate_until all_songs
  click all_songs
  settle
  locate_until first_song
  click first_song
}
# The language chosen on the options pop-up while the program runs: $1 the
# language's row there ("System/Lang"), $2 its name in the pictures.
switch_language() {
  local before opened combo list
  before=$(shown)
  click options
  opened=$(new_window "$before") || fail "the options did not open"
  combo=$(widget_at languageCombo)
  [ -n "$combo" ] || fail "the language choice is not shown"
  before=$(shown)
  xdotool mousemove $combo click 1
  list=$(new_window "$before") || fail "the language list did not open"
  xdotool key Home
  for _ in $(seq "$1"); do xdotool key Down; done
  xdotool key Return
  wait_for 50 says "<b>${options_title[$1]}</b>" || fail "the options did not turn to ${options_title[$1]}"
  lang=$2
  shot options-switched
  close_with "$opened" Escape
}

# ---- The lists and the language box (lists_check.py), faults gathered.
lists() {
  /usr/bin/python3 "$here/e2e/lists_check.py" "$@" | sed "s|^|$lang-$size: |" >>"$faults" || true
}
language_names=(Italiano English Deutsch 中文)
# The import dialog shown: its list of the home folder, from the last shot.
import_list_check() { lists import "$VELMAR_WIDGET_DUMP" "$lang" "$HOME"; }
# The options' language box shows the language in use ($1: its code).
language_box_check() {
  local before opened
  before=$(shown)
  click options
  opened=$(new_window "$before") || fail "the options did not open"
  dump_widgets
  lists language "$VELMAR_WIDGET_DUMP" "${language_names[$1]}"
  close_with "$opened" Escape
}
search_found() {
  dump_widgets
  awk -F'\t' '$1 == "item" && $6 ~ /\/searchLV$/ && $7 == "city_blues.kar" { found = 1 } END { exit !found }' \
    "$VELMAR_WIDGET_DUMP"
}
# Browse PC's search typed into its field finds the song deep in the first
# drive's folders, with no drive clicked; its headers are checked.
drive_search_check() {
  local field
  click library
  locate
  click browse
  field=$(widget_at searchText)
  [ -n "$field" ] || fail "the search field is not shown"
  xdotool mousemove $field click 1
  xdotool type --delay 20 city_blues
  wait_for 100 search_found || echo "$lang-$size: Browse PC's search did not find city_blues.kar" >>"$faults"
  lists search "$VELMAR_WIDGET_DUMP" "$lang" "$here/../resources/translations" city_blues.kar
  xdotool key ctrl+a BackSpace
  # Back to the library, the playing song chosen again.
  click repertoire
  settle
  locate_until first_song
  click first_song
}

# Tab walks the page shown: every control of the main window that the
# mouse reaches takes the focus ($1 names the page).
keyboard_walk() {
  local presses
  xdotool windowfocus --sync "$window"
  dump_widgets
  cp "$VELMAR_WIDGET_DUMP" "$work/before-walk.txt"
  # Round the whole chain: twice the controls shown, and some.
  presses=$(awk -F'\t' '($1 == "control" || $1 == "input") && $6 ~ /^MainWindow/' "$work/before-walk.txt" | wc -l)
  xdotool key --delay 15 --repeat "$((presses * 2 + 20))" Tab
  # Each list holds the focus taken since the last one: gathered until the
  # program has taken every Tab.
  : >"$work/walked.txt"
  for _ in $(seq 100); do
    dump_widgets
    grep '^focus' "$VELMAR_WIDGET_DUMP" >>"$work/walked.txt" || break
  done
  /usr/bin/python3 "$here/e2e/looks_check.py" reach "$work/before-walk.txt" "$work/walked.txt" \
    | sed "s|^|$lang-$size-$1 (Tab): |" >>"$faults" || true
}

# Every page and pop-up photographed, $1 ending the pictures' names; with
# "walk" as $2 Tab walks each page of the main window too.
tour() {
  shot "library$1"
  [ "${2:-}" = walk ] && keyboard_walk library
  popup info "song-information$1" Return
  popup options "settings$1" Escape
  popup user "account$1" Escape
  popup volume "volume$1" Escape
  popup melody "melody-channel$1" Escape
  click karaoke; shot "karaoke$1"
  [ "${2:-}" = walk ] && keyboard_walk karaoke
  click editing
  shot "edit$1"
  [ "${2:-}" = walk ] && keyboard_walk edit
  locate
  popup strip "instrument-chooser$1" Escape
  click mixer; shot "mixer$1"
  [ "${2:-}" = walk ] && keyboard_walk mixer
  click chords; shot "chords$1"
  [ "${2:-}" = walk ] && keyboard_walk chords
  click library
  locate
  click news; shot "store$1"
  click browse; shot "file-browser$1"
  playlist_hints "$1"
  import_dialog "import$1"
}

# A shown window of the program's other than the main window (its title is
# in the language shown).
other_window() { shown | grep -vx "$window" | head -1 | grep .; }
# The mixer window reopened in front of the main window: xwininfo lists the
# top-most of the root's children (the windows' frames) first.
mixer_in_front() {
  local order main mixer_hex
  order=$(xwininfo -root -children | awk '/^ +0x/ {print $1}')
  main=$(e2e_toplevel "$window") mixer_hex=$(e2e_toplevel "$mixer")
  [ "$(grep -n "^$mixer_hex$" <<<"$order" | cut -d: -f1)" -lt "$(grep -n "^$main$" <<<"$order" | cut -d: -f1)" ]
}

first=1
# lang code size, then the language switched to live: code and name.
for run in "en 1 1280x800 0 it" "it 0 1366x768 1 en" "de 2 1280x800" "de 2 1366x768" "zh 3 1280x800" "zh 3 1366x768"; do
  live_code='' live_lang=''
  read -r lang code size live_code live_lang <<<"$run"
  screen_w=${size%x*} screen_h=${size#*x}
  set_language "$code"
  first_window_unsized
  e2e_screen "$size"
  e2e_start
  if [ $first = 0 ]; then
    # The mixer reopens in its window, in front of the main window.
    mixer=$(other_window)
    [ -n "$mixer" ] || fail "the mixer window did not reopen"
    wait_for 50 mixer_in_front \
      || fail "the mixer window opened behind the main window: $(xwininfo -root -children | awk '/^ +0x/ {print $1}' | tr '\n' ' '); main $window mixer $mixer"
    shot mixer-window
    for _ in 1 2 3 4 5; do
      xdotool windowfocus --sync "$mixer" key Escape
      wait_for 10 bash -c "! xdotool search --onlyvisible --pid $program_pid | grep -qx $mixer" && break
    done
  fi
  # The first page is up once its tab bar is drawn.
  locate_until library
  click library
  locate
  if [ $first = 1 ]; then
    # A song and the files that are no songs, chosen by name in the home
    # folder the dialog opens on: the song is listed, the others reported.
    e2e_import_open
    before=$(shown)
    names="\"song.kar\""
    for i in $(seq -w 1 60); do names+=" \"$i.kar\""; done
    e2e_import_names "$names" 2
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
    # The new playlist is the one shown, scrolled into sight and empty: the
    # side list goes back to its top, the songs are under "All songs".
    locate
    xdotool mousemove ${at[all_songs]} click --repeat 10 --delay 20 4
    settle
    click all_songs
    locate_until first_song
  fi

  # The song chosen (its row in the highlight colour) and playing.
  play_first_song
  settle
  first_window_check
  tour "" "$([ $first = 1 ] && echo walk)"
  language_box_check "$code"
  drive_search_check

  # Every text follows a language chosen while the program runs.
  if [ -n "$live_code" ]; then
    switch_language "$live_code" "$live_lang"
    locate
    click library
    locate
    first_window_check -live
    tour -live
    language_box_check "$live_code"
    drive_search_check
  fi

  # The mixer in a window of its own for the next start.
  click mixer
  locate
  click unpin
  wait_for 50 other_window || fail "the mixer did not open in a window of its own"
  e2e_quit
  e2e_screen_stop
  first=0
done
first_window_starts
narrow_window_starts
ls "$pages"/*.png | wc -l | xargs echo "pictures:"
[ ! -s "$faults" ] || fail "texts cut, in another language, faint or out of the keyboard's reach:
$(cat "$faults")"
