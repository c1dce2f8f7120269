#!/bin/bash
# Whatever a singer presses, the song sounds as written once every channel
# row is ▶, Melody is ON and it plays: the release program, pressed with
# xdotool where it draws its controls (presses_drive.py), on two songs
# (presses_songs.py: a band of drums, a bass holding its notes 7.8 s and a
# flute melody on channel 4; the first 90 s of a song of Debian's
# planetblupi-music-midi). Each run double-clicks a song, opens the Editing
# page and presses Play, Pause, Stop, Key + and −, each row's ▶, mute and
# solo, Melody and the position bar: first a fixed sequence (which left the
# song silent for good while the header counted on), then random ones from
# seeds, each printed so that a run can be replayed. Then Play, every row
# ▶, Melody ON, the key back to 0 and the position bar at its middle; 3 s
# of the null sink's recording from 1.5 s on must be nearer to the song's
# render as written than to its render without any one channel, and close
# to it (presses_songs.py heard).
# usage: scripts/e2e/presses.sh [BUILD_DIR] [OUT_DIR]
#   PRESSES_SEEDS: the seeds to run after the fixed sequence (default one,
#   random; an even seed plays the real song, an odd one the band);
#   PRESSES_RECIPE=0 leaves the fixed sequence out.
set -euo pipefail
source "$(dirname "$0")/lib.sh"
e2e_init "${1:-build}" "${2:-}"
out=$out/presses
mkdir -p "$out"
real=/usr/share/planetblupi/music/music007.mid
[ -r "$real" ] || fail "$real is missing (./setup.sh installs planetblupi-music-midi)"
songs() { /usr/bin/python3 "$here/e2e/presses_songs.py" "$@"; }
export VELMAR_WIDGET_DUMP=$work/widgets.txt
rec=$work/rec.raw

songs write "$work/songs" "$real"
# Rendered while the program starts.
(songs references "$build" "$work/songs/band.mid" "$work/refs/band" \
  && songs references "$build" "$work/songs/real.mid" "$work/refs/real") >"$work/refs.log" 2>&1 &
refs=$!
pids+=($refs)

e2e_pulse velmar_e2e
e2e_screen 1280x800
e2e_logged_in
printf '[MainWindow]\nMainWindow=@Rect(0 0 1160 613)\n' >>"$settings"
e2e_start
for song in band real; do e2e_import "$work/songs/$song.mid"; done
e2e_record velmar_e2e "$rec"
wait "$refs" || fail "the songs were not rendered: $(tail -3 "$work/refs.log")"

seeds=${PRESSES_SEEDS-$((RANDOM * 32768 + RANDOM))}
runs=()
[ "${PRESSES_RECIPE:-1}" = 0 ] || runs+=(recipe)
for s in $seeds; do runs+=("$s"); done
failed=0
for case in "${runs[@]}"; do
  # The fixed sequence is the band's (its rows 1-3: Ch.02, Ch.04, Ch.10);
  # an even seed plays the real song, an odd one the band.
  song=band
  [ "$case" = recipe ] || [ $((case % 2)) = 1 ] || song=real
  echo "== $case on $song.mid"
  /usr/bin/python3 "$here/e2e/presses_drive.py" run "$VELMAR_WIDGET_DUMP" "$window" "$program_pid" "$rec" \
    "$pulse_rate" "$song" "$case" >"$work/drive.txt" 2>&1 || {
    cat "$work/drive.txt"
    cp "$VELMAR_WIDGET_DUMP" "$out/widgets.txt" 2>/dev/null || true
    fail "the presses did not go through"
  }
  sed 's/^/  /' "$work/drive.txt" | grep -v '^  check '
  read -r _ from bar < <(grep '^check ' "$work/drive.txt")
  e2e_record_more 3200 "$rec" || fail "the recording stopped"
  if songs heard "$rec" "$pulse_rate" "$from" "$work/songs/$song.mid" "$bar" "$work/refs/$song" \
    >"$work/heard.txt"; then
    echo "  heard as written: $(head -1 "$work/heard.txt")"
  else
    sed 's/^/  /' "$work/heard.txt"
    echo "  FAILED: $case on $song.mid is not heard as written (what was heard: $out/failed-$case.wav)"
    cp "$work/drive.txt" "$out/failed-$case.txt"
    import -display "$DISPLAY" -window root "$out/failed-$case.png" 2>/dev/null || true
    tail -c $((pulse_rate * 4 * 8)) "$rec" | sox -t raw -r "$pulse_rate" -e signed -b 16 -c 2 - "$out/failed-$case.wav"
    failed=$((failed + 1))
  fi
  # Stopped, as a singer leaves it for the next song.
  e2e_widgets
  xdotool mousemove $(e2e_at control rewButton) click 1
  sleep 0.5
done
e2e_record_stop
e2e_quit
[ "$failed" = 0 ] || fail "$failed of ${#runs[@]} runs not heard as written"
echo "PASS: ${#runs[@]} runs heard as written"
