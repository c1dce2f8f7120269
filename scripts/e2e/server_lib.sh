# What the scenarios of the sound server share (sourced after lib.sh; the
# program's widget list exported before they look at it): the songs, the
# header read, rows played, the program's threads measured, a server
# started again and listened to.
# The long MIDI song (tune.kar) and MP3 ("Server Tone", tone.mp3) played.
server_songs() {
  /usr/bin/python3 "$here/make_kar.py" "$work" 90 tune >/dev/null
  sox -n -r 44100 -c 2 -b 16 "$work/tone.wav" synth 90 sine 330 sine 495 vol 0.5
  lame --quiet -b 128 --tt "Server Tone" "$work/tone.wav" "$work/tone.mp3"
}
text_of() {
  awk -F'\t' -v kind="$1" -v name="$2" '$1 == kind && $6 ~ ("(^|/)" name "$") { print $7; exit }' \
    "$VELMAR_WIDGET_DUMP"
}
# False at once once the program has ended (the check after says so).
says_lost() { kill -0 "$program_pid" 2>/dev/null && e2e_widgets && text_of label authorLabel | grep -q "^No sound"; }
# Neither the server away nor the default in the chosen output's place.
says_back() { kill -0 "$program_pid" 2>/dev/null && e2e_widgets && ! text_of label authorLabel | grep -q "^No sound\|is not connected"; }
says_standing_in() { kill -0 "$program_pid" 2>/dev/null && e2e_widgets && text_of label authorLabel | grep -q "is not connected"; }
alive() { kill -0 "$program_pid" 2>/dev/null || fail "the program ended ($1)"; }
shown_row() { e2e_widgets; e2e_at item songsListview "$1" >/dev/null; }
play_row() {
  wait_for 50 shown_row "$1" || fail "the row of $1 is not on the screen"
  xdotool mousemove $(e2e_at item songsListview "$1") click --repeat 2 --delay 80 1
}
# Every thread of the program over two seconds: none above 25 % of a core.
# A thread that spins (a retry without a pause) takes a whole one; the
# window's own thread was seen at up to 13.5 % on a loaded machine.
threads_calm() {
  local before after
  before=$(cat /proc/"$program_pid"/task/*/stat 2>/dev/null | awk '{print $1, $14 + $15}')
  sleep 2
  after=$(cat /proc/"$program_pid"/task/*/stat 2>/dev/null | awk '{print $1, $14 + $15}')
  join <(echo "$before" | sort) <(echo "$after" | sort) \
    | awk -v hz="$(getconf CLK_TCK)" '{ p = ($3 - $2) * 100 / hz / 2; if (p > 25) { print "thread " $1 " at " p " % of a core"; bad = 1 } }
                                      END { exit bad }'
}
# A new server on the same socket (with the sinks SINKS, e2e_pulse's
# arguments; its default one alone without), the sink RECORDED recorded
# (default velmar_e2e): sets back, when sound came back on it in ms from the
# server's start (-1: not within 2.5 s). A new sink's monitor gives its
# first sound up to 2 s after the recorder asked, so the server is shown to
# the program only once the recording runs.
server_back() {
  local recorded=${1:-velmar_e2e} from
  shift || true
  e2e_pulse --hidden "$@"
  pulse_pid=${pids[-1]}
  e2e_record "$recorded" "$work/back.raw"
  from=$(stat -c %s "$work/back.raw")
  e2e_pulse_show
  e2e_record_more 2500 "$work/back.raw" || fail "the recording stopped"
  e2e_record_stop
  back=$(first_sound "$work/back.raw" "$from")
}
# When the recording FILE first sounds (-40 dBFS) after its byte FROM, in
# ms; -1 when it never does.
first_sound() {
  /usr/bin/python3 - "$1" "$2" <<'PY'
import array, sys
data = open(sys.argv[1], "rb").read()[int(sys.argv[2]) // 4 * 4:]
a = array.array("h", data[:len(data) // 2 * 2])
level = 32768 * 10 ** (-40 / 20)
first = next((i for i, v in enumerate(a) if abs(v) > level), None)
print(-1 if first is None else first // 2 * 1000 // 48000)
PY
}
# When the recording FILE, still being made, began (ns): its length counted
# back from now.
record_began() { echo $(( $(date +%s%N) - $(stat -c %s "$1") * 1000000000 / (${pulse_rate:-48000} * 4) )); }
