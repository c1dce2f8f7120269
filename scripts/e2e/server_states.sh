#!/bin/bash
# The sound server in the states a host's evening brings it to, under the
# real VelmarPC on a screen (Xvfb) and a sound server (PulseAudio, null
# sinks) of its own, with a long MIDI song and a long MP3 (made here), the
# MP3 never played before each step:
# - mp3: the MIDI song plays, the server ends, the MP3 is started by a double
#   click while it is away: once a server is up, the MP3 is heard within 2 s;
# - options: the MIDI song plays on the server's default output, the server
#   ends, Stop, and the settings page takes the second output
#   ("Second_Output"), says that it waits for the server and keeps the
#   choice; Play, and once the server is back with both outputs the song is
#   heard on the second within 2 s;
# - hang: the server is held (SIGSTOP) under the MIDI song and a double
#   click on the MP3 is answered (the header names it, by the widget list,
#   which the window writes) within 600 ms, against some 30 ms unloaded: a
#   window that waits for the server answers only once the server goes on,
#   5 s later. Within 2 s of the start the header says there is no sound
#   server; the MP3 is heard within 2 s of the server going on.
# After each step the program is alive and the header no longer says that
# the server is away; at the end it quits with 0. STATES picks steps
# ("mp3 options hang" by default), each on a program started afresh.
# usage: scripts/e2e/server_states.sh [BUILD_DIR] [OUT_DIR]
set -euo pipefail
source "$(dirname "$0")/lib.sh"
e2e_init "${1:-build}" "${2:-}"
e2e_logged_in
source "$here/e2e/server_lib.sh"
server_songs
e2e_screen 1280x800
printf '[WindowsPosition]\nMainWindow=@Rect(0 0 1160 613)\n' >> "$settings"
export VELMAR_WIDGET_DUMP=$work/widgets.txt
# A server still held would never end.
trap 'kill -CONT "${pulse_pid:-0}" 2>/dev/null || true
      cp "$work/program.log" "$out/server-states-program.log" 2>/dev/null || true; e2e_cleanup' EXIT
sinks=(velmar_e2e "second sink_properties=device.description=Second_Output")

# A program started afresh on a server with both outputs, the songs
# imported; the MIDI song playing, heard.
fresh_start() {
  [ -z "${program_pid:-}" ] || e2e_quit
  [ -z "${pulse_pid:-}" ] || { kill -CONT "$pulse_pid" 2>/dev/null || true; kill "$pulse_pid" 2>/dev/null || true; wait "$pulse_pid" 2>/dev/null || true; }
  # The server's default output again.
  sed -i '/^\[AudioDevice\]/,/^\[/{/^Name=/d}' "$settings"
  e2e_pulse "${sinks[@]}"
  pulse_pid=${pids[-1]}
  e2e_start
  if [ -z "${imported:-}" ]; then
    e2e_import "$work/tune.kar"
    e2e_import "$work/tone.mp3"
    imported=1
  fi
  play_row tune
  wait_for 100 grep -q "LOAD SONG.*tune.kar" "$work/program.log" || fail "the MIDI song was not loaded"
  e2e_record velmar_e2e
  e2e_record_more 1000 || fail "the recording stopped"
  e2e_record_stop
  e2e_sounds || fail "the MIDI song was not heard"
}
settings_shown() { e2e_widgets && e2e_at "" comboAudioDevices >/dev/null; }
server_ends() {
  kill -TERM "$pulse_pid"
  wait "$pulse_pid" 2>/dev/null || true
  wait_for 50 says_lost || { alive "$1"; fail "$1: the header does not say that the server is away"; }
}
heard_back() {
  [ "$back" -ge 0 ] || fail "$1: not heard in 2.5 s of the server's return"
  [ "$back" -le 2000 ] || fail "$1: heard $back ms after the server was started"
  wait_for 50 says_back || fail "$1: the header still says that the server is away"
  echo "$1: heard $back ms after the server was started"
}

for state in ${STATES:-mp3 options hang}; do
  fresh_start
  case $state in
  mp3)
    server_ends "the MP3 started while the server is away"
    loads=$(e2e_loads)
    play_row "Server Tone"
    wait_for 100 e2e_loaded_since "$loads" || fail "the MP3 was not started while the server was away"
    sleep 1
    alive "an MP3 started while the server was away"
    server_back velmar_e2e "${sinks[@]}"
    heard_back "the MP3 started while the server was away"
    ;;
  options)
    server_ends "the output chosen while the server is away"
    e2e_widgets
    xdotool mousemove $(e2e_at control rewButton) click 1
    e2e_geometry "$window"
    e2e_after xdotool mousemove $((X + WIDTH - 21)) $((Y + 28)) click 1
    wait_for 50 settings_shown || fail "the settings page did not open"
    e2e_after xdotool mousemove $((X + WIDTH - 130)) $((Y + 277)) click 1
    e2e_after xdotool key End Return
    wait_for 50 grep -q '^Name=Second_Output$' "$settings" \
      || fail "the output chosen while the server was away was not kept: $(sed -n '/AudioDevice/,+1p' "$settings")"
    e2e_shows label "once it is back" || fail "the settings page does not say that it waits for the server"
    xdotool key Escape
    e2e_widgets
    xdotool mousemove $(e2e_at control playButton) click 1
    sleep 1
    alive "the output chosen while the server was away"
    server_back second "${sinks[@]}"
    heard_back "the output chosen while the server was away, on Second_Output"
    ;;
  hang)
    wait_for 50 shown_row "Server Tone" || fail "the row of the MP3 is not on the screen"
    at=$(e2e_at item songsListview "Server Tone")
    kill -STOP "$pulse_pid"
    xdotool mousemove $at click --repeat 2 --delay 80 1
    clicked=$(date +%s%N)
    answered=""
    until [ -n "$answered" ] || [ $(( ($(date +%s%N) - clicked) / 1000000 )) -gt 5000 ]; do
      rm -f "$VELMAR_WIDGET_DUMP"
      kill -USR1 "$program_pid"
      for _ in $(seq 50); do [ -e "$VELMAR_WIDGET_DUMP" ] && break; sleep 0.01; done
      if [ -e "$VELMAR_WIDGET_DUMP" ] && text_of label lcdFrame/frame/titleLabel | grep -q "Server Tone"; then
        answered=$(( ($(date +%s%N) - clicked) / 1000000 ))
      fi
    done
    [ -n "$answered" ] || answered=">5000"
    echo "a double click on the MP3 while the server is held: the window answered in $answered ms"
    [ "$answered" != ">5000" ] && [ "$answered" -le 600 ] \
      || { kill -CONT "$pulse_pid"; fail "a double click while the server is held: answered in $answered ms"; }
    # The MP3's stream waits on the held server from its start.
    wait_for $(( (2000 - answered) / 100 )) says_lost \
      || { alive "the server held"; fail "the server held: the header does not say so within 2 s of the start"; }
    sleep 1
    up=$(date +%s%N)
    kill -CONT "$pulse_pid"
    e2e_record velmar_e2e "$work/back.raw"
    e2e_record_more 500 "$work/back.raw" || fail "the recording stopped"
    began=$(record_began "$work/back.raw")
    e2e_record_stop
    # Sound from the recording's first sample on was there by then at the latest.
    back=$(first_sound "$work/back.raw" 0)
    [ "$back" -lt 0 ] || back=$(( back + (began - up) / 1000000 ))
    heard_back "the MP3 started while the server was held"
    ;;
  *) fail "no such step: $state" ;;
  esac
  alive "after $state"
done
e2e_quit
echo "PASS"
