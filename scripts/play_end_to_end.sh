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
length=$(/usr/bin/python3 "$here/make_kar.py" "$work" "$seconds" song)
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
e2e_settled || true
import -display "$DISPLAY" -window root "$out/end-to-end-login-refused.png"
xdotool key ctrl+a type --delay 20 secret
xdotool key Return
wait_for 150 grep -q "logged in, user 42" "$work/program.log" || fail "the right password did not log in"

e2e_import "$work/song.kar"
e2e_record velmar_e2e
# The song list fills the lower right of the window above the search row: a
# click there makes it the focus, Home picks the first (only) song and the
# space bar plays it.
e2e_geometry "$window"
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

# The song sounds as long as it is (within 1 s), with no silence longer
# than its own rests (10 ms between notes); each screenshot holds the lyric
# row being sung.
/usr/bin/python3 "$here/e2e/checks.py" song "$work/rec.raw" "$length" 0.2 "${shots[@]}"
