#!/bin/bash
# Lyrics lit when they are heard: the real VelmarPC plays songs whose every
# syllable falls on a short percussive note (a KAR in sections at 120, 70 and
# 180 BPM and with tempo changes, from the command line; then an MP3 with
# SYLT lyrics from the song list, started again from there while it plays)
# with the karaoke view in a window of its own; one ffmpeg process records
# that window (x11grab) and the sink's monitor (pulse) on one clock.
# Below the window, in the recorded area, screen-clock turns a patch black and
# white at wall-clock times it prints: the recorder's own lateness, which
# varies from run to run, is measured on it and taken off. The recorder
# stamps its sound late as well: heard-record records the same monitor and
# places its frames where the sound server's own timing says they sounded;
# the notes are taken from there.
# lyrics_timing_lags.py pairs each note heard with its syllable's lighting
# and prints, per song, the count, median and worst lag; the run fails when a
# syllable lights before its note or after the next one (beyond what the
# reference leaves uncertain), or when no lit row shows within 0.5 s of the
# restart. Only with MAX_LAG_MS set does a lag above it fail the run too:
# that is a measurement, on a machine left alone.
# With BUSY=1 stress-ng keeps every core busy from the program's own
# session (a busy desktop) while the songs play: a measurement, run on
# demand.
# usage: scripts/e2e/lyrics_timing.sh [BUILD_DIR] [OUT_DIR]
#   Keeps OUT_DIR/lyrics-timing.mkv and OUT_DIR/lyrics-timing-lags.json,
#   and beside them what the figures were made from (lyrics-timing-*.json,
#   lyrics-timing-clock.txt, lyrics-timing-heard.*, lyrics-timing-wall.txt)
#   (default OUT_DIR: BUILD_DIR/end-to-end).
set -euo pipefail
source "$(dirname "$0")/lib.sh"
e2e_init "${1:-build}" "${2:-}"
command -v ffmpeg >/dev/null || fail "ffmpeg is not installed (./setup.sh installs it)"
e2e_logged_in
/usr/bin/python3 "$here/e2e/lyrics_timing_songs.py" "$work" > "$work/songs.json"
e2e_pulse velmar_e2e
e2e_screen 1280x1024
# The MP3 goes into the library first, so that nothing else keeps the
# program busy while the songs play.
e2e_start
e2e_import "$work/timing.mp3"
e2e_quit
# The karaoke view in a window below the main window, recorded alone.
view="0 640 1100 340"
sed -i '/^\[WindowsPosition\]/,/^$/d' "$settings"
# The main window above it (a first start would fill the screen and cover
# the reference patch).
printf '\n[WindowsPosition]\nKaraokeTextWidget=@Rect(%s)\nMainWindow=@Rect(0 0 1160 613)\n' "$view" >> "$settings"

# The lyric rows of that window, without its title bar and its buttons, and
# under them the reference patch.
read -r x y w h <<<"$view"
rows_w=$((w - 300)) rows_h=$((h - 30)) ref_y=$((y + h + 6)) ref_h=30
[ -x "$build/bin/screen-clock" ] || fail "$build/bin/screen-clock is not built"
[ -x "$build/bin/heard-record" ] || fail "$build/bin/heard-record is not built (libpulse-simple)"
"$build/bin/screen-clock" $((x + 150)) "$ref_y" 120 "$ref_h" 250 900 > "$work/clock.txt" 2>"$work/clock.log" &
pids+=($!)
wait_for 100 test -s "$work/clock.txt" || fail "screen-clock did not start: $(tail -3 "$work/clock.log")"
capture=$out/lyrics-timing.mkv
ffmpeg -hide_banner -loglevel error -y -f x11grab -framerate 60 \
  -video_size "${rows_w}x$((ref_y + ref_h + 2 - y - 28))" \
  -i "$DISPLAY+$((x + 150)),$((y + 28))" -f pulse -i velmar_e2e.monitor -copyts \
  -c:v libx264rgb -qp 0 -preset ultrafast -c:a pcm_s16le "$capture" </dev/null &
recorder=$!
pids+=($recorder)
/usr/bin/python3 -c 'import time; print(time.clock_gettime(time.CLOCK_REALTIME) * 1000 - time.clock_gettime(time.CLOCK_MONOTONIC) * 1000)' \
  > "$work/wall.txt"
"$build/bin/heard-record" velmar_e2e.monitor 48000 "$work/heard.raw" "$work/heard.times" 2>"$work/heard.log" &
heard=$!
pids+=($heard)
wait_for 50 test -s "$work/heard.times" || fail "heard-record did not record: $(tail -3 "$work/heard.log")"
if [ -n "${BUSY:-}" ]; then
  command -v stress-ng >/dev/null || fail "stress-ng is not installed"
  stress-ng --cpu "$(nproc)" --quiet &
  pids+=($!)
fi
now() { date +%s.%N; }
kar=$(now)
e2e_start "$work/timing.kar"
wait_for 400 grep -q "UNLOAD SONG.*timing.kar" "$work/program.log" || fail "the KAR did not play to its end"
# The song list's only song; the space bar plays it, and plays it again
# from the start while it plays, as a double-click on its row does.
e2e_geometry "$window"
xdotool mousemove --window "$window" $(( WIDTH * 3 / 4 )) $(( HEIGHT - 110 )) click 1
mp3=$(now); xdotool key Home space
# The MP3 plays a while, then again from its start.
sleep 2.3
restart=$(now); xdotool key space
sleep 5.5
end=$(now)
kill -INT "$recorder"; wait "$recorder" || true
kill -INT "$heard"; wait "$heard" || true
e2e_quit

printf '{"kar": %s, "mp3": %s, "restart": %s, "end": %s, "rows": [%d, %d], "reference": [0, %d, 120, %d]}\n' \
  "$kar" "$mp3" "$restart" "$end" "$rows_w" "$rows_h" $((ref_y - y - 28)) "$ref_h" > "$work/events.json"
cp "$work/songs.json" "$out/lyrics-timing-songs.json"
cp "$work/events.json" "$out/lyrics-timing-events.json"
cp "$work/clock.txt" "$out/lyrics-timing-clock.txt"
for f in heard.raw heard.times wall.txt; do cp "$work/$f" "$out/lyrics-timing-$f"; done
/usr/bin/python3 "$here/e2e/lyrics_timing_lags.py" "$capture" "$out/lyrics-timing-songs.json" \
  "$out/lyrics-timing-events.json" "$out/lyrics-timing-clock.txt" "$out/lyrics-timing-heard.raw" \
  "$out/lyrics-timing-heard.times" "$out/lyrics-timing-wall.txt" "$out/lyrics-timing-lags.json" "${MAX_LAG_MS:-}" \
  || fail "lyrics out of time (capture: $capture)"
echo PASS
