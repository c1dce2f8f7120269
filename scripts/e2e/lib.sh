# The one library of the scripts that start a screen, a sound server or the
# store of their own: the end-to-end scenarios (scripts/e2e/,
# scripts/play_end_to_end.sh), the measuring tools (tools/*/*.sh), the
# checks in tests/ and setup.sh's run. What it starts ends with the run, and
# it touches no server it did not start (the user's own sound server, and
# any other, stay as they are). Sourced after `set -euo pipefail`:
#   e2e_init BUILD_DIR OUT_DIR   work folder, fresh home, cleanup, the program
#   e2e_workspace OUT_DIR        work folder, fresh home, cleanup only
#   e2e_work [shared]            work folder and cleanup only; "shared": other
#                                users may read it and reach its sound server
#   wait_for N CMD...            waits up to N tenths of a second for CMD to
#                                succeed; status 1 when it never did
#   e2e_pulse [--hidden] [--rate HZ] [SINK...]  the sound server (default
#                                sink velmar_e2e, 48000 Hz), its first sink
#                                the default; exports PULSE_SERVER. --hidden:
#                                on a socket of its own until e2e_pulse_show
#                                puts it where the program looks
#   e2e_screen [WxH]             the screen (default 1280x800) under a window
#                                manager (openbox); e2e_screen_stop
#   e2e_settled [N]              waits up to N tenths (default 30) for the
#                                screen to hold still
#   e2e_after CMD...             CMD (a click, a key), then up to 3 s for the
#                                screen to change and hold still
#   e2e_start [ARGS...]          the program, up to its first page
#   e2e_widgets                  the program lists what its windows show
#                                into $VELMAR_WIDGET_DUMP (exported first)
#   e2e_loads / e2e_loaded_since N  songs loaded by the log; one more than N
#   e2e_at KIND NAME [TEXT]      "X Y", the middle of where an entry of that
#                                list is seen
#   e2e_geometry WINDOW          sets X Y WIDTH HEIGHT: the window's own area
#   e2e_frame WINDOW             sets FRAME_X FRAME_Y FRAME_W FRAME_H TITLE_H:
#                                the window manager's frame around it
#   e2e_close WINDOW             its title bar's close button clicked
#   e2e_toplevel WINDOW          the root's child holding it (its frame)
#   e2e_windows                  the program's windows shown
#   e2e_new_window N BEFORE      waits up to N tenths for a window shown
#                                that was not in BEFORE (e2e_windows)
#   e2e_gone ID                  the window ID is not shown
#   e2e_store_start DIR [ARGS]   store-service/store.py with ARGS, its output
#                                in DIR; sets store, store_pid and both store
#                                addresses; status 1 when it did not start
#   e2e_store_stop               that store ends
#   e2e_store                    the test store with its controls, both store
#                                roles on it
#   e2e_import_open              Ctrl+I, then the import dialog shown and
#                                focused: sets import_dialog
#   e2e_import_names NAMES [MS]  NAMES typed into it (MS between keys) and
#                                taken
#   e2e_import_close             the dialog closed with Escape
#   e2e_import FILE              the dialog opened, FILE taken, listed
#   e2e_record [--rt] SINK [FILE]  parec of SINK's monitor into FILE
#                                ($work/rec.raw; raw 16-bit stereo at the
#                                server's rate), once it records; --rt: the
#                                recorder runs real-time
#   e2e_record_more MS [FILE]    waits until MS more of sound are recorded
#                                (what the server still holds)
#   e2e_sounds [FILE]            the recording holds sound (-50 dBFS)
#   e2e_record_stop              every recording ends
#   e2e_quit                     SIGTERM; the program must exit with 0
#   e2e_load LOAD                every core busy: "busy" from a session of its
#                                own (another program, a scheduling group of
#                                its own), "own" from this one (the user's own
#                                programs: a busy desktop); any other LOAD,
#                                none. Status 1 without stress-ng
#   e2e_run RUN                  a run named USER or USER-LOAD: sets $user
#                                and $load and starts the load
#   e2e_unload                   the load ends
#   e2e_realtimekit              RealtimeKit on a system bus of the run's own
# Sets: here (scripts/, by e2e_workspace), build, out, work, pids, program,
# program_pid, window, screen_pid, store (after e2e_store).

e2e_scripts=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

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
  here=$e2e_scripts
  out=$1
  mkdir -p "$out"
  e2e_work
  for tool in Xvfb openbox xprop xdotool import pulseaudio parec pactl; do
    command -v "$tool" >/dev/null || fail "$tool is not installed (./setup.sh installs it)"
  done
  export HOME=$work/home XDG_CONFIG_HOME=$work/home/.config XDG_DATA_HOME=$work/home/.local/share
  export XDG_RUNTIME_DIR=$work/runtime XDG_CACHE_HOME=$work/home/.cache
  mkdir -p "$XDG_CONFIG_HOME/Kvero" "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
  settings=$XDG_CONFIG_HOME/Kvero/VelmarPC.conf
  library=$HOME/Documents/VelmarPC
}

# A player run as another user (nobody) reads its songs from a shared work
# folder and plays into its sound server.
e2e_work() {
  work=$(mktemp -d)
  work_shared=""
  if [ "${1:-}" = shared ]; then
    chmod 755 "$work"
    work_shared=1
  fi
  pids=()
  recorders=()
  trap e2e_cleanup EXIT
}

# Only what still runs: a PID the run has already waited for may be another
# program's by now (PIDs come round within minutes on a busy machine).
e2e_cleanup() {
  local running p
  running=" $(jobs -pr | tr '\n' ' ') "
  for p in "${pids[@]}"; do [[ $running == *" $p "* ]] && kill "$p" 2>/dev/null || true; done
  for p in "${pids[@]}"; do [[ $running == *" $p "* ]] && wait "$p" 2>/dev/null || true; done
  rm -rf "$work"
}

fail() {
  echo "FAIL: $*"
  [ -n "${DISPLAY:-}" ] && [ -n "${out:-}" ] \
    && import -display "$DISPLAY" -window root "$out/end-to-end-failed.png" 2>/dev/null \
    && echo "screen: $out/end-to-end-failed.png"
  if [ -s "${work:-}/program.log" ]; then
    echo "--- program log (last lines)"; tail -20 "$work/program.log"
  fi
  exit 1
}

wait_for() { local n=$1; shift; for _ in $(seq "$n"); do "$@" >/dev/null 2>&1 && return 0; sleep 0.1; done; return 1; }

# A store account, so that the first page is the main page.
e2e_logged_in() {
  printf '[User]\nuser_id=1\nname=Stage\nsurname=Singer\n' >> "$settings"
}

# The project's store service, on a free port of the loopback address.
e2e_store_start() {
  local dir=$1
  shift
  mkdir -p "$dir"
  rm -f "$dir/store.out"
  /usr/bin/python3 "$e2e_scripts/../store-service/store.py" "$@" >"$dir/store.out" 2>"$dir/store.log" &
  store_pid=$!
  # Up once it names its port; a store that ended is waited for no longer.
  wait_for 100 e2e_store_answered "$dir" || true
  local port
  port=$(awk '/^PORT /{print $2; exit}' "$dir/store.out" 2>/dev/null)
  [ -n "$port" ] || return 1
  store=http://127.0.0.1:$port
  export VELMAR_STORE_URL=$store VELMAR_CHECK_URL=$store
}
e2e_store_answered() { grep -q '^PORT ' "$1/store.out" || ! kill -0 "$store_pid"; }
e2e_store_stop() {
  [ -n "${store_pid:-}" ] || return 0
  kill "$store_pid" 2>/dev/null || true
  wait "$store_pid" 2>/dev/null || true
}

# The store with its test controls; it offers no newer program and no newer
# sound bank, so no question stops the run. Its account: anna@example.org
# with the password "secret".
e2e_store() {
  e2e_store_start "$work" --control || fail "the test store did not start: $(tail -3 "$work/store.log")"
  pids+=("$store_pid")
  e2e_store_reply /version_checker/check_version_velmarpc.php \
    '<melodrome_message><velmarpc><sw_version>2.4.10</sw_version></velmarpc></melodrome_message>'
  e2e_store_reply /version_checker/check_soundfont.php \
    '<melodrome_message><soundfont><version>0.0</version></soundfont></melodrome_message>'
}
e2e_store_reply() {
  /usr/bin/python3 -c 'import sys, urllib.request; urllib.request.urlopen(sys.argv[1], sys.argv[2].encode())' \
    "$store/_control/reply?path=$1" "$2" || fail "the test store did not take the reply for $1"
}

# The server's only clients are the run's (its socket is in the work
# folder); anonymous ones are let in so that a player run as another user
# reaches it through a shared work folder.
e2e_pulse() {
  pulse_rate=48000
  local socket=native
  if [ "${1:-}" = --hidden ]; then
    socket=hidden
    shift
  fi
  if [ "${1:-}" = --rate ]; then
    pulse_rate=$2
    shift 2
  fi
  local sinks=("$@") args=()
  [ ${#sinks[@]} -gt 0 ] || sinks=(velmar_e2e)
  for s in "${sinks[@]}"; do args+=(-L "module-null-sink sink_name=$s rate=$pulse_rate"); done
  mkdir -p "$work/pulse"
  export PULSE_SERVER=unix:$work/pulse/$socket
  PULSE_RUNTIME_PATH=$work/pulse PULSE_STATE_PATH=$work/pulse \
    pulseaudio -n --daemonize=no --exit-idle-time=-1 --use-pid-file=no --disallow-exit \
    -L "module-native-protocol-unix socket=$work/pulse/$socket auth-anonymous=1" \
    "${args[@]}" -L "module-always-sink" 2>"$work/pulse.log" &
  pids+=($!)
  wait_for 100 pactl info || fail "PulseAudio did not start: $(tail -3 "$work/pulse.log")"
  if [ -n "${work_shared:-}" ]; then
    chmod 755 "$work/pulse"
    chmod 666 "$work/pulse/native"
  fi
  # This server is the run's own: its default sink may be set.
  pactl set-default-sink "${sinks[0]}"
}
# A server started --hidden is found where the program looks from now on.
e2e_pulse_show() {
  mv "$work/pulse/hidden" "$work/pulse/native"
  export PULSE_SERVER=unix:$work/pulse/native
}

# A desktop's screen: Xvfb with Debian's openbox managing it, so that
# windows get a frame with a title bar, are placed and take the focus as a
# desktop gives them.
e2e_screen() {
  local size=${1:-1280x800}
  rm -f "$work/display"
  Xvfb -displayfd 3 -screen 0 "${size}x24" -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
  screen_pid=$!
  pids+=($screen_pid)
  # A machine busy with builds and other runs can take Xvfb well past 10 s.
  wait_for 300 test -s "$work/display" || fail "Xvfb did not start"
  export DISPLAY=:$(head -1 "$work/display")
  command -v openbox >/dev/null || fail "openbox is not installed (./setup.sh installs it)"
  openbox --sm-disable >"$work/openbox.log" 2>&1 &
  wm_pid=$!
  pids+=($wm_pid)
  wait_for 300 e2e_managed || fail "openbox did not take the screen: $(tail -3 "$work/openbox.log")"
}
# The window manager has announced itself on the screen.
e2e_managed() { xprop -root _NET_SUPPORTING_WM_CHECK | grep -q 'window id'; }
e2e_screen_stop() {
  kill "$wm_pid" 2>/dev/null || true
  wait "$wm_pid" 2>/dev/null || true
  kill "$screen_pid"
  wait "$screen_pid" 2>/dev/null || true
  unset DISPLAY
}

# Two pictures of the screen a tenth of a second apart alike: what a step
# changed is drawn. Status 1 when it kept changing (a song's lyrics, say).
e2e_settled() {
  local last="" now
  for _ in $(seq "${1:-30}"); do
    now=$(e2e_picture)
    [ "$now" = "$last" ] && return 0
    last=$now
    sleep 0.1
  done
  return 1
}
e2e_picture() { import -display "$DISPLAY" -window root rgb:- 2>/dev/null | md5sum || true; }
e2e_changed() { [ "$(e2e_picture)" != "$1" ]; }
# A click or a key whose answer is on the screen (a page, a pop-up, a row
# chosen): the command, then up to 3 s for the screen to change and settle.
e2e_after() {
  local before
  before=$(e2e_picture)
  "$@"
  wait_for 30 e2e_changed "$before" || true
  e2e_settled 20 || true
}

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

# What the program's windows show, one line per text or control: kind, cut,
# need, have, "X Y W H" on the screen, object path, text (tab-separated).
e2e_widgets() {
  rm -f "$VELMAR_WIDGET_DUMP"
  kill -USR1 "$program_pid"
  wait_for 50 test -e "$VELMAR_WIDGET_DUMP" || fail "the program wrote no list of its controls"
}
# The middle of the part seen (what its ancestors let show) of the first
# entry of the last list of kind $1 (any kind when empty) whose object path
# ends in $2 (an extended regular expression) and, when given, whose text is
# $3. Status 1 when there is none.
e2e_at() {
  awk -F'\t' -v kind="$1" -v name="$2" -v text="${3-}" -v any="${3+x}" '
    (kind == "" || $1 == kind) && $6 ~ ("(^|/)" name "$") && (any == "" || $7 == text) {
      split($8, r, " "); print r[1] + int(r[3] / 2), r[2] + int(r[4] / 2); found = 1; exit }
    END { exit !found }' "$VELMAR_WIDGET_DUMP"
}
# Some shown entry of kind $1 has a text matching the extended regular
# expression $2.
e2e_shows() {
  e2e_widgets
  awk -F'\t' -v kind="$1" -v text="$2" '$1 == kind && $7 ~ text { found = 1 } END { exit !found }' \
    "$VELMAR_WIDGET_DUMP"
}

# Songs the program has loaded so far by its log (which keeps every start's
# lines), and whether it loaded one since it had loaded $1.
e2e_loads() { grep -c 'currSong\] LOAD SONG' "$work/program.log" || true; }
e2e_loaded_since() { [ "$(e2e_loads)" -gt "$1" ]; }
e2e_listed() {
  [ "$(sqlite3 "file:$library/db_VelmarPC.sqlite?mode=ro" \
    "SELECT count(*) FROM Songs WHERE NomeFile LIKE '%$(basename "$1")'")" = 1 ]
}

# Where the window $1's own area is on the screen: sets X, Y, WIDTH and
# HEIGHT (xdotool's getwindowgeometry counts a window manager's frame twice).
e2e_geometry() {
  local info
  info=$(xwininfo -id "$1") || return 1
  X=$(sed -n 's/.*Absolute upper-left X: *//p' <<<"$info")
  Y=$(sed -n 's/.*Absolute upper-left Y: *//p' <<<"$info")
  WIDTH=$(sed -n 's/^ *Width: *//p' <<<"$info")
  HEIGHT=$(sed -n 's/^ *Height: *//p' <<<"$info")
}
# The window manager's frame around the window $1, title bar and borders:
# sets FRAME_X, FRAME_Y, FRAME_W, FRAME_H and TITLE_H. Status 1 while the
# window has none.
e2e_frame() {
  local extents left right bottom
  extents=$(xprop -id "$1" _NET_FRAME_EXTENTS 2>/dev/null | sed -n 's/.*= *//p' | tr -d ',')
  [ -n "$extents" ] && e2e_geometry "$1" || return 1
  read -r left right TITLE_H bottom <<<"$extents"
  FRAME_X=$((X - left)) FRAME_Y=$((Y - TITLE_H))
  FRAME_W=$((WIDTH + left + right)) FRAME_H=$((HEIGHT + TITLE_H + bottom))
}
# The child of the root window that holds the window $1, as "0x..." (its
# window manager's frame; the window itself where it has none): what the
# root's list of children stacks.
e2e_toplevel() {
  local w=$1 tree
  while tree=$(xwininfo -id "$w" -tree) && ! grep -q 'Parent window id: .*(the root window)' <<<"$tree"; do
    w=$(awk '/Parent window id:/ { print $4; exit }' <<<"$tree")
  done
  printf '0x%x\n' "$w"
}
# The close button of the window $1's title bar clicked where openbox draws
# it, at the bar's right end.
e2e_close() {
  e2e_frame "$1" || fail "the window $1 has no frame"
  xdotool mousemove $((FRAME_X + FRAME_W - 2 - TITLE_H / 2)) $((FRAME_Y + TITLE_H / 2)) click 1
}

e2e_windows() { xdotool search --onlyvisible --pid "$program_pid" 2>/dev/null | sort; }
e2e_new_window() {
  local found
  for _ in $(seq "$1"); do
    found=$(comm -13 <(echo "$2") <(e2e_windows) | tail -1)
    [ -n "$found" ] && { echo "$found"; return 0; }
    sleep 0.1
  done
  return 1
}
e2e_gone() { ! e2e_windows | grep -qx "$1"; }

# The import dialog is kept between imports, hidden: only a shown one has
# opened, and keys go to it once it has the focus.
e2e_import_open() {
  xdotool windowfocus --sync "$window" key ctrl+i
  wait_for 100 e2e_import_shown || fail "Ctrl+I did not open the import dialog"
  import_dialog=$(e2e_import_shown)
  xdotool windowfocus --sync "$import_dialog"
}
e2e_import_shown() { xdotool search --onlyvisible --name "^Import$" | head -1 | grep .; }
e2e_import_names() {
  local before list
  before=$(e2e_windows)
  xdotool windowfocus --sync "$import_dialog" type --delay "${2:-20}" "$1"
  # Escape closes the name completer's list, Return then takes the names.
  if list=$(e2e_new_window 50 "$before"); then
    xdotool key Escape
    wait_for 50 e2e_gone "$list" || true
  fi
  xdotool key Return
}
e2e_import_close() {
  xdotool windowfocus --sync "$import_dialog" key Escape
  wait_for 50 e2e_gone "$import_dialog" || fail "the import dialog did not close with Escape"
}
e2e_import() {
  e2e_import_open
  e2e_import_names "$1"
  wait_for 300 e2e_listed "$1" || fail "$(basename "$1") was not imported into the library"
}

# Short fragments: the file's size tells the moment of the sound within 20 ms.
# Under way once two seconds are in: a request made after it is heard from
# its start. A recorder run real-time drops nothing on a busy machine: it is
# the measuring instrument.
e2e_record() {
  local rt=()
  if [ "$1" = --rt ]; then
    rt=(chrt -r 50)
    shift
  fi
  local file=${2:-$work/rec.raw} rate=${pulse_rate:-48000}
  : >"$file"
  "${rt[@]}" parec -d "$1.monitor" --format=s16le --rate="$rate" --channels=2 --raw --latency-msec=20 "$file" &
  recorders+=($!)
  pids+=($!)
  wait_for 100 e2e_recorded $((rate * 4 * 2)) "$file" || fail "parec did not record"
}
e2e_recorded() { [ "$(stat -c %s "${2:-$work/rec.raw}")" -ge "$1" ]; }
e2e_record_more() {
  local file=${2:-$work/rec.raw}
  local want=$(( $(stat -c %s "$file") + ${pulse_rate:-48000} * 4 * $1 / 1000 ))
  wait_for $(( 100 + $1 / 10 )) e2e_recorded "$want" "$file"
}
# The recording holds sound: a sample above -50 dBFS.
e2e_sounds() {
  /usr/bin/python3 - "${1:-$work/rec.raw}" <<'PY'
import array, sys
data = open(sys.argv[1], "rb").read()
a = array.array("h", data[:len(data) // 2 * 2])
sys.exit(0 if a and max(abs(v) for v in a) > 104 else 1)
PY
}
e2e_record_stop() {
  for r in "${recorders[@]}"; do kill "$r" 2>/dev/null || true; wait "$r" 2>/dev/null || true; done
  recorders=()
}

e2e_quit() {
  kill -TERM "$program_pid"
  local status=0
  wait "$program_pid" || status=$?
  [ "$status" -eq 0 ] || fail "the program exited with $status"
}

e2e_load() {
  busy=""
  [ "$1" = busy ] || [ "$1" = own ] || return 0
  command -v stress-ng >/dev/null || return 1
  if [ "$1" = busy ]; then
    setsid stress-ng --cpu "$(nproc)" --quiet &
  else
    stress-ng --cpu "$(nproc)" --quiet &
  fi
  busy=$!
  pids+=("$busy")
  # Under way once its workers run.
  wait_for 50 pgrep -P "$busy" || true
}

e2e_run() {
  user=${1%%-*}
  load=""
  [ "$1" != "$user" ] && load=${1#*-}
  e2e_load "$load"
}

e2e_unload() {
  [ -n "${busy:-}" ] && { kill "$busy"; wait "$busy" 2>/dev/null || true; }
  busy=""
}

# RealtimeKit for the run's ordinary users (as root): Debian's rtkit-daemon on
# a system bus of the run's own, asking polkitd on that bus; polkitd runs in
# a mount namespace of its own whose rules folder grants RealtimeKit's
# actions, as a user's desktop session would (there is no logind here).
# Nothing of the machine's own bus or polkit is used or changed. Exports
# DBUS_SYSTEM_BUS_ADDRESS; the daemon's log is $work/rtkit.log. Status 1
# (why in $rtkit_skip) when polkitd cannot start so, 2 (why in $rtkit_fail)
# when the bus or rtkit-daemon does not start.
e2e_bus_names() { dbus-send --system --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus org.freedesktop.DBus.ListNames; }
e2e_bus_has() { e2e_bus_names | grep -q "\"$1\""; }
e2e_realtimekit() {
  # The system bus of the test: every user may connect, the services' own
  # rules (rtkit's, polkit's) from Debian's system.d.
  cat > "$work/bus.conf" <<EOF
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>system</type>
  <auth>EXTERNAL</auth>
  <listen>unix:path=$work/system_bus_socket</listen>
  <policy context="default">
    <allow user="*"/>
    <deny own="*"/>
    <deny send_type="method_call"/>
    <allow send_type="signal"/>
    <allow send_requested_reply="true" send_type="method_return"/>
    <allow send_requested_reply="true" send_type="error"/>
    <allow receive_type="method_call"/>
    <allow receive_type="method_return"/>
    <allow receive_type="error"/>
    <allow receive_type="signal"/>
    <allow send_destination="org.freedesktop.DBus" send_interface="org.freedesktop.DBus"/>
    <allow send_destination="org.freedesktop.DBus" send_interface="org.freedesktop.DBus.Introspectable"/>
    <allow send_destination="org.freedesktop.DBus" send_interface="org.freedesktop.DBus.Properties"/>
  </policy>
  <includedir>/usr/share/dbus-1/system.d</includedir>
</busconfig>
EOF
  dbus-daemon --config-file="$work/bus.conf" --nofork --nopidfile 2>"$work/bus.log" &
  pids+=($!)
  export DBUS_SYSTEM_BUS_ADDRESS=unix:path=$work/system_bus_socket
  wait_for 100 e2e_bus_names || { rtkit_fail="the system bus did not start"; return 2; }

  mkdir -p "$work/rules"
  cat > "$work/rules/50-velmar-test.rules" <<'EOF'
// As for a user at the desktop: RealtimeKit's actions are granted.
polkit.addRule(function(action, subject) {
    if (action.id.indexOf("org.freedesktop.RealtimeKit1.") == 0)
        return polkit.Result.YES;
});
EOF
  chmod 755 "$work/rules"
  chmod 644 "$work/rules/50-velmar-test.rules"
  unshare -m sh -c "mount --bind '$work/rules' /etc/polkit-1/rules.d && exec /usr/lib/polkit-1/polkitd --no-debug" \
    >"$work/polkit.log" 2>&1 &
  pids+=($!)
  wait_for 100 e2e_bus_has org.freedesktop.PolicyKit1 \
      || { rtkit_skip="polkitd did not start in a mount namespace of its own: $(tail -2 "$work/polkit.log")"; return 1; }

  # rtkit-daemon limits its own file size (its log goes through a pipe) and
  # its user's processes (to 3): it must be gone, and reaped, before the
  # next start. It runs as a system user that runs nothing else, not as
  # rtkit: the machine's own rtkit-daemon (a desktop's sound server starts
  # one), or another run's, already fills that user's limit, and this one
  # could start no thread.
  local rtkit_user=""
  for u in daemon bin sys games man lp mail news uucp proxy backup list irc; do
    id -u "$u" >/dev/null 2>&1 || continue
    pgrep -u "$u" >/dev/null 2>&1 && continue
    rtkit_user=$u
    break
  done
  [ -n "$rtkit_user" ] || { rtkit_skip="no system user free to run rtkit-daemon as"; return 1; }
  /usr/libexec/rtkit-daemon --stderr --user-name="$rtkit_user" >/dev/null 2> >(cat >"$work/rtkit.log") &
  pids+=($!)
  wait_for 100 e2e_bus_has org.freedesktop.RealtimeKit1 || { rtkit_fail="rtkit-daemon did not start"; return 2; }
}
