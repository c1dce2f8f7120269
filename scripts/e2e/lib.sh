# Shared steps of the end-to-end runs: the real VelmarPC on a screen of its
# own (Xvfb) and a sound server of its own (PulseAudio, null sinks), on a fresh
# home. Sourced by each scenario after `set -euo pipefail`:
#   e2e_init BUILD_DIR OUT_DIR   work folder, fresh home, cleanup, the program
#   e2e_workspace OUT_DIR        work folder, fresh home, cleanup only
#   e2e_pulse [SINK...]          the sound server (default sink velmar_e2e)
#   e2e_screen [WxH]             the screen (default 1280x800); e2e_screen_stop
#   e2e_start [ARGS...]          the program, up to its first page
#   e2e_store                    the local test store, both store roles on it
#   e2e_import FILE              Ctrl+I, FILE typed into the dialog, listed
#   e2e_record SINK [FILE]       parec of SINK's monitor into FILE ($work/rec.raw)
#   e2e_record_stop              every recording ends
#   e2e_quit                     SIGTERM; the program must exit with 0
# Sets: here (scripts/), build, out, work, program, program_pid, window,
# screen_pid, store (the test store's address, after e2e_store).

e2e_init() {
  build=$(cd "${1:-build}" && pwd)
  e2e_workspace "${2:-$build/end-to-end}"
  program=$build/bin/VelmarPC
  [ -x "$program" ] || fail "$program is not built"
  bash "$here/install-soundbank.sh" >/dev/null
  # Nothing leaves the machine: a scenario that needs the store starts the
  # local stand-in and points these at it.
  export VELMAR_STORE_URL=http://127.0.0.1:9 VELMAR_CHECK_URL=http://127.0.0.1:9
}

# The work folder, a fresh home in it, and the cleanup of what the run starts.
e2e_workspace() {
  here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
  out=$1
  mkdir -p "$out"
  work=$(mktemp -d)
  pids=()
  recorders=()
  trap e2e_cleanup EXIT
  for tool in Xvfb xdotool import pulseaudio parec pactl; do
    command -v "$tool" >/dev/null || fail "$tool is not installed (./setup.sh installs it)"
  done
  export HOME=$work/home XDG_CONFIG_HOME=$work/home/.config XDG_DATA_HOME=$work/home/.local/share
  export XDG_RUNTIME_DIR=$work/runtime XDG_CACHE_HOME=$work/home/.cache
  mkdir -p "$XDG_CONFIG_HOME/Kvero" "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
  settings=$XDG_CONFIG_HOME/Kvero/VelmarPC.conf
  library=$HOME/Documents/VelmarPC
}

e2e_cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  for p in "${pids[@]}"; do wait "$p" 2>/dev/null || true; done
  rm -rf "$work"
}

fail() {
  echo "FAIL: $*"
  [ -n "${DISPLAY:-}" ] && import -display "$DISPLAY" -window root "$out/end-to-end-failed.png" 2>/dev/null \
    && echo "screen: $out/end-to-end-failed.png"
  echo "--- program log (last lines)"; tail -20 "$work/program.log" 2>/dev/null || true; exit 1; }

# Waits up to $1 tenths of a second for the command after it to succeed.
wait_for() { local n=$1; shift; for _ in $(seq "$n"); do "$@" >/dev/null 2>&1 && return 0; sleep 0.1; done; return 1; }

# A store account, so that the first page is the main page.
e2e_logged_in() {
  printf '[User]\nuser_id=1\nname=Stage\nsurname=Singer\n' >> "$settings"
}

# The store service (store-service/store.py) with its test controls on a free port; it offers
# no newer program and no newer sound bank, so no question stops the run. Its
# account: anna@example.org with the password "secret".
e2e_store() {
  /usr/bin/python3 "$here/../store-service/store.py" --control >"$work/store.out" 2>"$work/store.log" &
  pids+=($!)
  wait_for 100 grep -q '^PORT ' "$work/store.out" || fail "the test store did not start"
  store=http://127.0.0.1:$(awk '/^PORT /{print $2; exit}' "$work/store.out")
  export VELMAR_STORE_URL=$store VELMAR_CHECK_URL=$store
  e2e_store_reply /version_checker/check_version_velmarpc.php \
    '<melodrome_message><velmarpc><sw_version>2.4.10</sw_version></velmarpc></melodrome_message>'
  e2e_store_reply /version_checker/check_soundfont.php \
    '<melodrome_message><soundfont><version>0.0</version></soundfont></melodrome_message>'
}
e2e_store_reply() {
  /usr/bin/python3 -c 'import sys, urllib.request; urllib.request.urlopen(sys.argv[1], sys.argv[2].encode())' \
    "$store/_control/reply?path=$1" "$2" || fail "the test store did not take the reply for $1"
}

e2e_pulse() {
  local sinks=("$@") args=()
  [ ${#sinks[@]} -gt 0 ] || sinks=(velmar_e2e)
  for s in "${sinks[@]}"; do args+=(-L "module-null-sink sink_name=$s rate=48000"); done
  mkdir -p "$work/pulse"
  export PULSE_RUNTIME_PATH=$work/pulse PULSE_STATE_PATH=$work/pulse PULSE_SERVER=unix:$work/pulse/native
  pulseaudio -n --daemonize=no --exit-idle-time=-1 --use-pid-file=no --disallow-exit \
    -L "module-native-protocol-unix socket=$work/pulse/native" \
    "${args[@]}" -L "module-always-sink" 2>"$work/pulse.log" &
  pids+=($!)
  wait_for 100 pactl info || fail "PulseAudio did not start: $(tail -3 "$work/pulse.log")"
  # This server is the run's own: its default sink may be set.
  pactl set-default-sink "${sinks[0]}"
}

e2e_screen() {
  local size=${1:-1280x800}
  rm -f "$work/display"
  Xvfb -displayfd 3 -screen 0 "${size}x24" -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
  screen_pid=$!
  pids+=($screen_pid)
  wait_for 100 test -s "$work/display" || fail "Xvfb did not start"
  export DISPLAY=:$(head -1 "$work/display")
}
e2e_screen_stop() { kill "$screen_pid"; wait "$screen_pid" 2>/dev/null || true; unset DISPLAY; }

# Started from the work folder (its log folder lands there); the log of every
# start is kept in $work/program.log, appended.
e2e_start() {
  local from
  touch "$work/program.log"
  from=$(wc -l <"$work/program.log")
  (cd "$work" && QT_QPA_PLATFORM=xcb ASAN_OPTIONS=detect_leaks=0 exec "$program" "$@") \
    >>"$work/program.log" 2>&1 &
  program_pid=$!
  pids+=($program_pid)
  # The first page is up once the stored outputs are connected.
  wait_for 300 bash -c "tail -n +$((from + 1)) '$work/program.log' | grep -q 'Connected to port'" \
    || fail "the first page did not come up"
  window=$(xdotool search --sync --name "Velmar PC" | head -1)
}

e2e_listed() {
  [ "$(sqlite3 "file:$library/db_VelmarPC.sqlite?mode=ro" \
    "SELECT count(*) FROM Songs WHERE NomeFile LIKE '%$(basename "$1")'")" = 1 ]
}

e2e_import() {
  local file=$1 dialog before
  xdotool windowfocus --sync "$window" key ctrl+i
  dialog=$(xdotool search --sync --name "^Import$" | head -1)
  before=$(xdotool search --onlyvisible --pid "$program_pid" | wc -l)
  xdotool windowfocus --sync "$dialog" type --delay 20 "$file"
  # Escape closes the name completer's list, Return then takes the name.
  if wait_for 50 e2e_shown "$before"; then xdotool key Escape; fi
  xdotool key Return
  wait_for 300 e2e_listed "$file" || fail "$(basename "$file") was not imported into the library"
}
e2e_shown() { [ "$(xdotool search --onlyvisible --pid "$program_pid" | wc -l)" -gt "$1" ]; }

# Short fragments: the file's size tells the moment of the sound within 20 ms.
e2e_record() {
  local file=${2:-$work/rec.raw}
  parec -d "$1.monitor" --format=s16le --rate=48000 --channels=2 --raw --latency-msec=20 "$file" &
  recorders+=($!)
  pids+=($!)
  wait_for 100 e2e_recorded $((48000 * 4 * 2)) "$file" || fail "parec did not record"
}
e2e_recorded() { [ "$(stat -c %s "${2:-$work/rec.raw}")" -ge "$1" ]; }
e2e_record_stop() {
  for r in "${recorders[@]}"; do kill "$r"; wait "$r" 2>/dev/null || true; done
  recorders=()
}

e2e_quit() {
  kill -TERM "$program_pid"
  local status=0
  wait "$program_pid" || status=$?
  [ "$status" -eq 0 ] || fail "the program exited with $status"
}
