#!/bin/bash
# The sound explorer: a host's evening with its sound server, drawn from a
# seed, against the release program on a screen and a PulseAudio server of
# its own (scripts/e2e/explore.py says what it does and checks). Four songs
# are imported into a fresh library once, with a playlist of them in which
# Auto Play goes on; each episode starts from a copy
# of that home with a new server and a new program. Prints each step, each
# fault, and for each fault the shortest sequence of steps that still shows
# it, replayed to confirm it; ends with 1 when it found any, 2 when an
# episode could not be walked to its end (the program did not come up). A
# fault is one that a replay of the same steps shows again: one seen once
# only is listed apart and does not count.
#   SEEDS="1 2"   the seeds (default one, random, printed)
#   MINUTES=N     minutes of episodes per seed (default 10)
#   EPISODES=N    N episodes per seed instead
#   STEPS=N       steps per episode (default 24)
#   ROADS=ci      only the roads of the CI scenario
#   SHRINK=N      minutes of shrinking per fault (default 15; 0: none)
#   CONFIRM=N     replays of a fault's steps that may show it again
#                 (default 2; 0: a fault seen once counts)
#   REPLAY="..."  one episode of these steps instead (as printed)
#   KEEP=1        keep every episode's recordings and log, not only a
#                 failed one's
# usage: scripts/explore.sh [BUILD_DIR] [OUT_DIR]
set -euo pipefail
source "$(dirname "$0")/e2e/lib.sh"
e2e_init "${1:-build}" "${2:-${1:-build}/explore}"
[ -x "$build/bin/heard-record" ] || fail "$build/bin/heard-record is not built"
e2e_logged_in
printf '[WindowsPosition]\nMainWindow=@Rect(0 0 1160 613)\n' >>"$settings"
explore() { /usr/bin/python3 "$here/e2e/explore.py" "$@"; }
explore songs "$work/songs"

# The library filled once, on a server that then goes: every episode starts
# from a copy of this home.
e2e_screen 1280x800
e2e_pulse
pulse_pid=${pids[-1]}
export VELMAR_WIDGET_DUMP=$work/widgets.txt
e2e_start
for song in organ-a.mid organ-b.mid tone-a.mp3 tone-b.mp3; do e2e_import "$work/songs/$song"; done
e2e_quit
explore playlist "$library/db_VelmarPC.sqlite"
kill "$pulse_pid"
wait "$pulse_pid" 2>/dev/null || true
cp -a "$HOME" "$work/template"

common=(--program "$program" --work "$work" --out "$out" --template "$work/template" --songs "$work/songs")
[ -n "${KEEP:-}" ] && common+=(--keep)
if [ -n "${REPLAY:-}" ]; then
  explore replay "${common[@]}" --shrink-minutes "${SHRINK:-0}" $REPLAY
  exit
fi
args=(--steps "${STEPS:-24}" --roads "${ROADS:-all}" --shrink-minutes "${SHRINK:-15}" --minutes "${MINUTES:-10}"
  --confirm "${CONFIRM:-2}")
[ -n "${SEEDS:-}" ] && args+=(--seeds $SEEDS)
[ -n "${EPISODES:-}" ] && args+=(--episodes "$EPISODES")
explore run "${common[@]}" "${args[@]}"
