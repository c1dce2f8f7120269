#!/bin/bash
# Plays a karaoke song end to end through the real VelmarPC on a screen of
# its own (Xvfb) and a sound server of its own (PulseAudio with a null sink),
# on a fresh home without a user: the login page comes first, against the
# local test store; a wrong password is refused in words (photographed),
# then the right one opens the program. The song (a KAR file made with mido)
# is imported through the Import action's file dialog, chosen in the
# library's song list and started there with the space bar, recorded from
# the sink's monitor with parec and photographed while it plays. Passes when
# the recording sounds as long as the song (within 1 s), is never silent
# longer than the song's own rests, the screenshot shows a lit lyric row and
# the program exits with 0.
# The steps shared with the other end-to-end scenarios are in e2e/lib.sh.
# usage: scripts/play_end_to_end.sh [BUILD_DIR] [OUT_DIR]
#   The screenshots are OUT_DIR/end-to-end-login-refused.png and
#   OUT_DIR/end-to-end-playing.png (default BUILD_DIR/end-to-end).
#   With KARAOKE_WINDOW="X Y WIDTH HEIGHT" the karaoke view starts in a window
#   of its own there, photographed as OUT_DIR/end-to-end-karaoke-window.png.
set -euo pipefail
source "$(dirname "$0")/e2e/lib.sh"
e2e_init "${1:-build}" "${2:-}"
seconds=12
shots=("$out/end-to-end-playing.png")
if [ -n "${KARAOKE_WINDOW:-}" ]; then
  printf '[WindowsPosition]\nKaraokeTextWidget=@Rect(%s)\n' "$KARAOKE_WINDOW" >> "$settings"
  shots+=("$out/end-to-end-karaoke-window.png")
fi
length=$(/usr/bin/python3 "$here/../tests/app/make_kar.py" "$work" "$seconds" song)
e2e_store
e2e_pulse velmar_e2e
e2e_screen 1280x800
e2e_start

# The login page, the cursor in the e-mail field.
xdotool windowfocus --sync "$window" type --delay 20 anna@example.org
xdotool key Tab type --delay 20 wrong
xdotool key Return
wait_for 150 grep -q "the store says Wrong e-mail or password" "$work/program.log" \
  || fail "the wrong password was not refused"
sleep 0.5
import -display "$DISPLAY" -window root "$out/end-to-end-login-refused.png"
xdotool key ctrl+a type --delay 20 secret
xdotool key Return
wait_for 150 grep -q "logged in, user 42" "$work/program.log" || fail "the right password did not log in"

e2e_import "$work/song.kar"
e2e_record velmar_e2e
# The song list fills the lower right of the window above the search row: a
# click there makes it the focus, Home picks the first (only) song and the
# space bar plays it.
eval "$(xdotool getwindowgeometry --shell "$window")"
xdotool mousemove --window "$window" $(( WIDTH * 3 / 4 )) $(( HEIGHT - 110 )) click 1
xdotool key Home space
wait_for 300 grep -q "LOAD SONG" "$work/program.log" || fail "the song did not start from the library"

# The picture half-way through the song, counted in recorded audio.
wait_for 300 e2e_recorded $(( 48000 * 4 * (seconds / 2 + 3) )) || fail "nothing was recorded"
if [ ${#shots[@]} -gt 1 ]; then
  # No window manager stacks the windows: the karaoke window comes forward.
  karaoke=$(xdotool search --onlyvisible --name '^Karaoke$' | head -1)
  [ -n "$karaoke" ] || fail "the karaoke window is not open"
  xdotool windowraise "$karaoke"
  import -display "$DISPLAY" -window "$karaoke" "${shots[1]}"
fi
import -display "$DISPLAY" -window root "${shots[0]}"

# Up to the end of the song and a little more.
wait_for 400 e2e_recorded $(( 48000 * 4 * (seconds + 5) )) || fail "the recording stopped"
e2e_record_stop
e2e_quit

/usr/bin/python3 - "$work/rec.raw" "$length" "${shots[@]}" <<'PY'
# The song sounds from the first to the last 10 ms block above -50 dBFS; it
# must last as long as the song (within 1 s) with no silent stretch longer
# than the song's own rests (10 ms between notes). Each screenshot must hold
# the lyric row being sung: the settings' default highlight colour (yellow)
# beside the white of the rows to come.
import array, subprocess, sys
raw, length, shots = sys.argv[1], float(sys.argv[2]), sys.argv[3:]
samples = array.array("h", open(raw, "rb").read())
block = 960
level = 32768 * 10 ** (-50 / 20)
loud = [(sum(x * x for x in samples[i:i + block]) / block) ** 0.5 > level
        for i in range(0, len(samples) - block + 1, block)]
if not any(loud):
    sys.exit(f"FAIL: the recording is silent")
first, last = loud.index(True), len(loud) - 1 - loud[::-1].index(True)
sounded = (last - first + 1) * 0.01
gap = run = at = 0
for i, on in enumerate(loud[first:last + 1]):
    run = 0 if on else run + 1
    if run > gap:
        gap, at = run, i

ok = abs(sounded - length) <= 1.0 and gap * 0.01 <= 0.2
print(f"sounded {sounded:.2f} s of {length:.2f} s, longest silence {gap * 10} ms (ending {at * 0.01:.2f} s in)")
for shot in shots:
    pixels = subprocess.run(["convert", shot, "-format", "%c", "histogram:info:-"],
                            capture_output=True, text=True, check=True).stdout
    sung = sum(int(l.split(":")[0]) for l in pixels.splitlines() if "#EDCB0C" in l)
    white = sum(int(l.split(":")[0]) for l in pixels.splitlines() if "#FFFFFF" in l)
    ok = ok and sung > 200 and white > 200
    print(f"sung-colour pixels {sung}, white pixels {white}; screenshot {shot}")
print("PASS" if ok else "FAIL")
sys.exit(0 if ok else 1)
PY
