#!/bin/bash
# Restarts the real VelmarPC with the devices chosen on its settings page and
# plays a MIDI song at once, on a screen (Xvfb) and a sound server
# (PulseAudio with null sinks) of its own, on a fresh home.
# The song (a mido-made KAR file) is imported; the synthesizer and the last
# audio device listed are chosen on the settings page; the program quits and
# starts again; the song is played by a double click in the library, and,
# once it has ended, by choosing its row and pressing Play. Passes when the
# settings hold the choice, each play sounds from its first note (at most
# 1 s after the request, as long as the song within 0.3 s, no silence past
# the song's own rests, none of 20 ms in its first 150 ms), the log shows
# one load per request and no failed device, and the program exits with 0.
# With TWIN_SINKS=1 a second null sink of the same description is loaded
# after the first (the sound server's default): the settings page offers
# the description once, both sinks are recorded, and the song played right
# after the choice and both plays after the restart must each reach the
# default sink alone (the audio library alone would open the other).
# usage: scripts/e2e/restart.sh [BUILD_DIR] [OUT_DIR]
set -euo pipefail
source "$(dirname "$0")/lib.sh"
e2e_init "${1:-build}" "${2:-}"
seconds=4
e2e_logged_in
length=$(/usr/bin/python3 "$here/make_kar.py" "$work" "$seconds" song)
sinks=(velmar_e2e)
[ -n "${TWIN_SINKS:-}" ] && sinks+=(velmar_twin)
e2e_pulse "${sinks[@]}"
e2e_screen 1280x800
export VELMAR_WIDGET_DUMP=$work/widgets.txt
e2e_start
e2e_import "$work/song.kar"

# The settings page opens from the gear at the right end of the header bar;
# in its "Devices" box the MIDI list takes the synthesizer (its only entry
# here), the Audio list its last device. Each is clicked where the widget
# list shows it; each step waits for what it brings: the page shown, each
# choice stored.
click() { e2e_after xdotool mousemove "$1" "$2" click 1; }
showing() {
  e2e_widgets
  awk -F'\t' -v name="$1" '$6 ~ ("/" name "$") { found = 1 } END { exit !found }' "$VELMAR_WIDGET_DUMP"
}
stored_device() { [ -n "$(sed -n '/^\[AudioDevice\]/,/^\[/p' "$settings" | sed -n 's/^Name=//p')" ]; }
click_at() {
  local at
  at=$(e2e_at "" "$1") || fail "$1 is not shown"
  click $at
}
e2e_widgets
click_at optionsButton
wait_for 50 showing comboSoundCard || fail "the settings page did not open"
click_at comboSoundCard
e2e_after xdotool key Home Return
wait_for 50 grep -q '^Name=Timbra MIDI Module$' "$settings" || fail "the synthesizer was not chosen"
showing comboAudioDevices
click_at comboAudioDevices
e2e_after xdotool key End Return
wait_for 50 stored_device || fail "no audio device was chosen"
xdotool key Escape
# The song's row of the library's list, where it is drawn.
song_row() {
  e2e_widgets
  read -r row_x row_y < <(e2e_at item songsListview song) || fail "the song's row is not shown"
}
song_row
if [ ${#sinks[@]} -gt 1 ]; then
  # Where the choice plays before the restart.
  n=0
  for s in "${sinks[@]}"; do e2e_record "$s" "$work/before$((n++)).raw"; done
  xdotool mousemove $row_x $row_y click --repeat 2 --delay 80 1
  wait_for 150 grep -q 'UNLOAD SONG' "$work/program.log" || fail "the song did not play before the restart"
  # Its last notes' release.
  e2e_record_more 500 "$work/before0.raw" || fail "the recording stopped"
  e2e_record_stop
fi
e2e_quit
grep -q '^Name=Timbra MIDI Module$' "$settings" || fail "the synthesizer was not stored: $(cat "$settings")"
device=$(sed -n '/^\[AudioDevice\]/,/^\[/p' "$settings" | sed -n 's/^Name=//p')
[ -n "$device" ] || fail "no audio device was stored"

e2e_start
song_row
! grep -E "synthesizer on audio device|Unable to open|non funziona" "$work/program.log" \
  || fail "a device failed to open"
n=0
for s in "${sinks[@]}"; do e2e_record "$s" "$work/rec$((n++)).raw"; done
# The moment of a request, as byte offsets into the recordings.
requests=()
lines=()
mark() {
  requests+=("$(stat -c %s "$work"/rec*.raw | paste -sd,)")
  lines+=("$(wc -l <"$work/program.log")")
}
# The current song's loads in the log from line $1 on, up to line $2.
loads() { sed -n "$(($1 + 1)),${2:-\$}p" "$work/program.log" | grep -c 'currSong\] LOAD SONG' || true; }
before=$(grep -c 'UNLOAD SONG' "$work/program.log" || true)
played() { [ "$(grep -c 'UNLOAD SONG' "$work/program.log")" -ge $((before + $1)) ]; }

xdotool mousemove $row_x $row_y
mark
xdotool click --repeat 2 --delay 80 1
wait_for 150 played 1 || fail "the double-clicked song did not play to its end"
e2e_record_more 500 "$work/rec0.raw" || fail "the recording stopped"
# The row, chosen already by the double click, is chosen again: nothing
# new to see once the screen holds still.
xdotool mousemove $row_x $row_y click 1
e2e_settled || true
# Play where the header draws it.
e2e_widgets
play=$(e2e_at control playButton) || fail "Play is not shown"
xdotool mousemove $play
mark
xdotool click 1
wait_for 150 played 2 || fail "the song started with Play did not play to its end"
e2e_record_more 500 "$work/rec0.raw" || fail "the recording stopped"
e2e_record_stop
e2e_quit
cp "$work/program.log" "$out/restart-program.log"
for n in 0 1; do
  count=$(loads "${lines[$n]}" "${lines[$((n + 1))]:-}")
  [ "$count" -eq 1 ] || fail "request $((n + 1)) loaded the song $count times"
done

# Which sinks the song reached before the restart (the one sink there is
# without twins).
chosen=0
if [ ${#sinks[@]} -gt 1 ]; then
  chosen=$(/usr/bin/python3 - "$work"/before*.raw <<'PY'
import array, sys
level = 32768 * 10 ** (-50 / 20)
def sounds(path):
    s = array.array("h", open(path, "rb").read())
    return any((sum(x * x for x in s[i:i + 480]) / 480) ** 0.5 > level for i in range(0, len(s) - 479, 480))
heard = [i for i, f in enumerate(sys.argv[1:]) if sounds(f)]
print(heard[0] if len(heard) == 1 else "sinks %s" % [i + 1 for i in heard])
PY
)
  [[ "$chosen" =~ ^[0-9]+$ ]] || fail "before the restart the song reached $chosen of ${#sinks[@]}, not exactly one"
  [ "$chosen" -eq 0 ] || fail "before the restart the song reached ${sinks[$chosen]}, not the default ${sinks[0]}"
  echo "before the restart: all on sink $((chosen + 1)) of ${#sinks[@]} (${sinks[$chosen]})"
fi
/usr/bin/python3 - "$length" "${requests[*]}" "$chosen" "$work"/rec*.raw <<'PY'
# Sound is a 5 ms block above -50 dBFS. Each request starts a stretch of
# sound that must begin within 1 s, last as long as the song (within
# 0.3 s), hold no silence longer than 0.2 s (the song's rests are 10 ms) and
# none of 20 ms in its first 150 ms (a song loaded twice sounds 15 ms, falls
# silent 20 ms, then starts again). Of several sinks, the one the song
# reached before the restart must hold all of it and the others nothing.
import array, sys
length, at, files = float(sys.argv[1]), int(sys.argv[3]), sys.argv[4:]
requests = [int(r.split(",")[at]) for r in sys.argv[2].split()]
block = 240  # frames of 5 ms at 48 kHz
level = 32768 * 10 ** (-50 / 20)
def loudness(path):
    s = array.array("h", open(path, "rb").read())
    return [(sum(x * x for x in s[i:i + 2 * block]) / (2 * block)) ** 0.5 > level
            for i in range(0, len(s) - 2 * block + 1, 2 * block)]
blocks = [loudness(f) for f in files]
sounding = [i for i, b in enumerate(blocks) if any(b)]
if sounding != [at]:
    sys.exit(f"FAIL: after the restart sound on sinks {[i + 1 for i in sounding]} of {len(files)}, "
             f"before it on sink {at + 1}")
loud = blocks[at]
ok = True
starts = [r // (4 * block) for r in requests] + [len(loud)]
for n in range(len(requests)):
    part = loud[starts[n]:starts[n + 1]]
    if not any(part):
        sys.exit(f"FAIL: request {n + 1} is silent")
    first, last = part.index(True), len(part) - 1 - part[::-1].index(True)
    run = gap = early = 0
    for i, on in enumerate(part[first:last + 1]):
        run = 0 if on else run + 1
        gap = max(gap, run)
        if i < 30:
            early = max(early, run)
    sounded = (last - first + 1) * 0.005
    good = first * 0.005 <= 1.0 and abs(sounded - length) <= 0.3 and gap * 5 <= 200 and early * 5 < 20
    ok = ok and good
    print(f"request {n + 1}: sound after {first * 5} ms, {sounded:.2f} s of {length:.2f} s, "
          f"longest silence {gap * 5} ms, {early * 5} ms in the first 150 ms: {'ok' if good else 'FAIL'}")
print(f"all on sink {at + 1} of {len(files)}")
print("PASS" if ok else "FAIL")
sys.exit(0 if ok else 1)
PY
