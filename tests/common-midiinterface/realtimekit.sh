#!/usr/bin/env bash
# An ordinary user's music threads get real-time scheduling through
# RealtimeKit: Debian's rtkit-daemon on a system bus of the test's own
# (dbus-daemon with a system-like configuration on its own socket), asking
# polkitd on that bus, and the player run as nobody against a PulseAudio
# server of its own. velmar-play plays a MIDI song (the sequencer and the
# synthesizer's audio thread) and velmar-engine an MP3 (the song player's
# audio thread too); each must say its threads run real-time through
# RealtimeKit, the kernel must show them so while they play (SCHED_RR in
# /proc), and rtkit-daemon must have made them so for user 65534.
#
# There is no logind here, so polkit would see no desktop session and
# refuse (RealtimeKit's actions are allowed to active and inactive local
# sessions); polkitd runs in a mount namespace of its own whose rules folder
# holds one rule granting them, as a user's session would. Nothing of the
# machine's own bus, polkit or sound server is used or changed.
#
# Needs root (to start the daemons and run the player as nobody), rtkit,
# polkitd, dbus-daemon, unshare, PulseAudio; exits 77 (skipped) without.
# usage: realtimekit.sh BIN_DIR
set -euo pipefail
bin=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
skip() { echo "SKIP: $*"; exit 77; }
[ "$(id -u)" = 0 ] || skip "not root"
for tool in /usr/libexec/rtkit-daemon /usr/lib/polkit-1/polkitd; do [ -x "$tool" ] || skip "$tool is not installed"; done
for tool in dbus-daemon dbus-send unshare mount pulseaudio pactl runuser sox lame; do
  command -v "$tool" >/dev/null || skip "$tool is not installed"
done

source "$here/../../scripts/e2e/lib.sh"
e2e_work shared
# To stderr: a failure inside $(play ...) must still be read.
fail() { { echo "FAIL: $*"; for f in rtkit polkit bus; do echo "--- $f"; tail -5 "$work/$f.log" 2>/dev/null || true; done; } >&2; exit 1; }

status=0
e2e_realtimekit || status=$?
[ "$status" -ne 1 ] || skip "$rtkit_skip"
[ "$status" -eq 0 ] || fail "$rtkit_fail"

e2e_pulse --rate 44100 velmar_rt

/usr/bin/python3 "$here/../../scripts/clicktrack.py" make "$work/song.mid"
sox -n -r 44100 -c 2 "$work/tone.wav" synth 4 sine 440 vol 0.5
lame --quiet -b 128 "$work/tone.wav" "$work/song.mp3"
mkdir "$work/home" && chown nobody "$work/home"
chmod 644 "$work"/song.*

# The threads of nobody's players the kernel runs SCHED_RR (field 41 of
# /proc/PID/task/TID/stat: 2), counted into $rr; at least $1 of them.
raised() {
  rr=0
  local pid stat
  for pid in $(pgrep -u nobody -f "$bin/velmar-" || true); do
    for stat in /proc/"$pid"/task/*/stat; do
      [ "$(sed 's/.*) //' "$stat" | awk '{print $39}')" = 2 ] && rr=$((rr + 1))
    done
  done
  [ "$rr" -ge "$1" ]
}

# As nobody; while it plays (3 s), its threads are counted until two run
# real-time: each is raised as it starts.
play() {
  local out=$1; shift
  (cd "$work/home" && exec runuser -u nobody -- env HOME="$work/home" XDG_RUNTIME_DIR="$work/home" \
    DBUS_SYSTEM_BUS_ADDRESS="$DBUS_SYSTEM_BUS_ADDRESS" PULSE_SERVER="$PULSE_SERVER" ASAN_OPTIONS=detect_leaks=0 \
    "$@") >"$work/$out.txt" 2>"$work/$out.log" &
  local runner=$!
  wait_for 25 raised 2 || true
  wait "$runner" || fail "$* ended with $? ($(tail -3 "$work/$out.log"))"
  echo "$rr"
}

rr=$(play live "$bin/velmar-play" "$work/song.mid" --live --seconds 3 --soundfont /usr/share/sounds/sf2/TimGM6mb.sf2)
line=$(grep '^scheduling:' "$work/live.txt" || true)
echo "velmar-play: $line; $rr threads SCHED_RR while it played"
[[ "$line" =~ sequencer:\ real-time\ [0-9]+\ \(RealtimeKit\) ]] || fail "the sequencer: $line"
[[ "$line" =~ synthesizer\ audio:\ real-time\ [0-9]+\ \(RealtimeKit\) ]] || fail "the synthesizer's audio: $line"
[ "$rr" -ge 2 ] || fail "$rr threads of the player ran SCHED_RR"

rr=$(play engine "$bin/velmar-engine" "$work/song.mp3" --seconds 3 --soundbank /usr/share/sounds/sf2/TimGM6mb.sf2)
line=$(grep '^scheduling:' "$work/engine.txt" || true)
echo "velmar-engine: $line; $rr threads SCHED_RR while it played"
[[ "$line" =~ song\ player\ audio:\ real-time\ [0-9]+\ \(RealtimeKit\) ]] || fail "the song player's audio: $line"
[ "$rr" -ge 2 ] || fail "$rr threads of the player ran SCHED_RR"

made=$(grep -c "RT at priority .* owned by '65534'\|owned by '65534' RT" "$work/rtkit.log" || true)
[ "$made" -ge 5 ] || fail "rtkit-daemon made $made threads of user 65534 real-time"
echo "rtkit-daemon made $made threads of user 65534 real-time"
echo PASS
