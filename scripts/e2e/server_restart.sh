#!/bin/bash
# The sound server goes and comes back under the real VelmarPC, on a screen
# (Xvfb) and a sound server (PulseAudio, two null sinks, the second,
# "Second_Output", the output chosen in the settings) of its own. The
# program starts before any server (as at a login): its header says that
# there is no sound server, a long MIDI song (made here) is imported and
# started by a double click on its row, and once a server is up the song is
# heard on the output chosen within 2 s. Then a long MP3 and the MIDI song are each played;
# while each plays, the server is stopped (SIGTERM) and started again, then
# killed (SIGKILL) and started again. Last, the program is held for 0.4 s
# while the MIDI song plays (a drop-out: its next start asks for a deeper
# queue), the server ends, the song is started again while it is away, and
# the server comes back; then the same with the MP3. Passes when after each end the program is alive, its
# header says that there is no sound server, no thread of the program uses
# more than 25 % of a core over the next two seconds, and, once a new server
# is up, the song is heard again on the output chosen (recorded) within 2 s
# and the header no longer says so. Last the server comes back without the
# output chosen: the MP3 is heard on its default within 2 s, the header
# says so, and once the output is there again (a sink loaded) the MP3 is
# heard on it within 2.5 s. At the end the program quits with 0.
# usage: scripts/e2e/server_restart.sh [BUILD_DIR] [OUT_DIR]
set -euo pipefail
source "$(dirname "$0")/lib.sh"
e2e_init "${1:-build}" "${2:-}"
e2e_logged_in
source "$here/e2e/server_lib.sh"
server_songs
# No server yet: where the program will find one.
mkdir -p "$work/pulse"
export PULSE_SERVER=unix:$work/pulse/native
e2e_screen 1280x800
printf '[WindowsPosition]\nMainWindow=@Rect(0 0 1160 613)\n[AudioDevice]\nName=Second_Output\n' >> "$settings"
export VELMAR_WIDGET_DUMP=$work/widgets.txt
trap 'cp "$work/program.log" "$out/server-restart-program.log" 2>/dev/null || true; e2e_cleanup' EXIT
sinks=(velmar_e2e "second sink_properties=device.description=Second_Output")
e2e_start
e2e_import "$work/tune.kar"
e2e_import "$work/tone.mp3"

cycle() {
  local what=$1 signal=$2
  kill -"$signal" "$pulse_pid"
  wait "$pulse_pid" 2>/dev/null || true
  alive "$what, server ended by $signal"
  wait_for 50 says_lost || { alive "$what, server ended by $signal"; fail "$what, server ended by $signal: the header does not say so"; }
  local busy
  busy=$(threads_calm) || fail "$what, server ended by $signal: $busy"
  alive "$what, server gone ($signal)"
  server_back second "${sinks[@]}"
  alive "$what, server back after $signal"
  [ "$back" -ge 0 ] || fail "$what, server back after $signal: not heard in 2.5 s"
  [ "$back" -le 2000 ] || fail "$what, server back after $signal: heard $back ms after the server was started"
  wait_for 50 says_back || { alive "$what, server back after $signal"; fail "$what, server back after $signal: the header still says it is gone"; }
  echo "$what: server ended by $signal, the program went on, heard again $back ms after a new server was started"
}

# Started with no server: it says so, a MIDI song starts, and the song is
# heard once a server is there.
wait_for 50 says_lost || { alive "started without a server"; fail "started without a server: the header does not say so"; }
play_row tune
wait_for 100 grep -q "LOAD SONG.*tune.kar" "$work/program.log" || fail "the MIDI song was not loaded"
sleep 1
alive "a MIDI song started without a server"
server_back second "${sinks[@]}"
[ "$back" -ge 0 ] || fail "started without a server: the MIDI song not heard in 2.5 s of a server"
[ "$back" -le 2000 ] || fail "started without a server: the MIDI song heard $back ms after the server was started"
wait_for 50 says_back || fail "started without a server: the header still says it is gone"
echo "started without a server: the MIDI song heard $back ms after a server was started"

play_row "Server Tone"
e2e_record second
wait_for 100 e2e_sounds || fail "the MP3 was not heard"
e2e_record_stop
cycle MP3 TERM
cycle MP3 KILL

play_row tune
wait_for 100 grep -q "LOAD SONG.*tune.kar" "$work/program.log" || fail "the MIDI song was not loaded"
e2e_record second
e2e_record_more 1000 || fail "the recording stopped"
e2e_record_stop
e2e_sounds || fail "the MIDI song was not heard"
cycle MIDI TERM
cycle MIDI KILL

# A drop-out (the program held 0.4 s) while the MIDI song plays, so that its
# next start asks for a deeper queue; the server ends, the song starts again
# while it is away, and the server comes back.
sleep 2
kill -STOP "$program_pid"
sleep 0.4
kill -CONT "$program_pid"
sleep 3
kill -TERM "$pulse_pid"
wait "$pulse_pid" 2>/dev/null || true
wait_for 50 says_lost || { alive "after a drop-out, server ended"; fail "after a drop-out, server ended: the header does not say so"; }
loads=$(e2e_loads)
play_row tune
wait_for 100 e2e_loaded_since "$loads" || fail "the MIDI song was not started again while the server was away"
sleep 1
alive "a MIDI song started while the server was away"
server_back second "${sinks[@]}"
[ "$back" -ge 0 ] || fail "a MIDI song started while the server was away: not heard in 2.5 s of its return"
[ "$back" -le 2000 ] || fail "a MIDI song started while the server was away: heard $back ms after the server was started"
wait_for 50 says_back || fail "a MIDI song started while the server was away: the header still says it is gone"
echo "a drop-out, the server ended, the MIDI song started while it was away: heard $back ms after it was back"

# The MP3 started while the server is away.
kill -TERM "$pulse_pid"
wait "$pulse_pid" 2>/dev/null || true
wait_for 50 says_lost || { alive "server ended under MIDI"; fail "server ended under MIDI: the header does not say so"; }
loads=$(e2e_loads)
play_row "Server Tone"
wait_for 100 e2e_loaded_since "$loads" || fail "the MP3 was not started while the server was away"
sleep 1
alive "an MP3 started while the server was away"
server_back second "${sinks[@]}"
[ "$back" -ge 0 ] || fail "an MP3 started while the server was away: not heard in 2.5 s of its return"
[ "$back" -le 2000 ] || fail "an MP3 started while the server was away: heard $back ms after the server was started"
wait_for 50 says_back || fail "an MP3 started while the server was away: the header still says it is gone"
echo "the MP3 started while the server was away: heard $back ms after it was back"

# The server back without the output chosen: the default stands in, said in
# the header, until the output is there again.
kill -TERM "$pulse_pid"
wait "$pulse_pid" 2>/dev/null || true
wait_for 50 says_lost || { alive "server ended under the MP3"; fail "server ended under the MP3: the header does not say so"; }
server_back velmar_e2e velmar_e2e
[ "$back" -ge 0 ] || fail "the output chosen gone: the MP3 not heard on the default in 2.5 s of the server's return"
[ "$back" -le 2000 ] || fail "the output chosen gone: the MP3 heard on the default $back ms after the server was started"
wait_for 50 says_standing_in || fail "the output chosen gone: the header does not say that the default plays"
echo "the output chosen gone: the MP3 heard on the default $back ms after the server was started"
# The output comes as a sink that plays into one recorded before (see
# server_back).
pactl load-module module-null-sink "sink_name=coming rate=48000" >/dev/null
e2e_record coming "$work/back.raw"
from=$(stat -c %s "$work/back.raw")
pactl load-module module-remap-sink sink_name=second master=coming sink_properties=device.description=Second_Output >/dev/null
e2e_record_more 2500 "$work/back.raw" || fail "the recording stopped"
e2e_record_stop
back=$(first_sound "$work/back.raw" "$from")
[ "$back" -ge 0 ] && [ "$back" -le 2500 ] || fail "the output chosen back: the MP3 not heard on it within 2.5 s ($back)"
wait_for 50 says_back || fail "the output chosen back: the header still says that the default plays"
echo "the output chosen back: the MP3 heard on it $back ms after it came"
e2e_quit
echo "PASS"
