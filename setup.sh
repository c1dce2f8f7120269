#!/usr/bin/env bash
# Installs what is missing, builds, and then either starts the program (run)
# or runs every test (test). Typed by a user at their desktop, it installs
# through sudo and builds and runs as that user, on their screen and sound
# server; as root with no desktop (a fresh server, CI) it does it all as root.
set -euo pipefail
cd "$(dirname "$0")"

mode=${1:-run}
case "$mode" in
run | test) ;;
*)
  echo "usage: $0 run|test" >&2
  exit 2
  ;;
esac
jobs=$(nproc)

packages=(
  build-essential cmake ninja-build pkg-config clang libclang-rt-14-dev lld ccache git
  qt6-base-dev qt6-base-dev-tools qt6-multimedia-dev qt6-5compat-dev
  qt6-tools-dev qt6-tools-dev-tools qt6-l10n-tools qt6-translations-l10n
  libqt6sql6-sqlite libsqlite3-dev qt6-image-formats-plugins libgl-dev
  librtmidi-dev librtaudio-dev libpulse-dev libmpg123-dev libsoundtouch-dev
  libquazip1-qt6-dev libfluidsynth-dev timgm6mb-soundfont
  python3 python3-mido python3-mutagen midicsv sox lame ffmpeg sqlite3 planetblupi-music-midi
  fluidsynth soundstretch pulseaudio pulseaudio-utils dbus-daemon rtkit polkitd xvfb xauth xdotool x11-utils imagemagick procps stress-ng
  openbox sudo
  fonts-dotgothic16 fonts-comic-neue fonts-open-sans fonts-dejavu-core fonts-liberation2 fonts-beteckna
  fonts-kacst-one fonts-wqy-microhei
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing+=("$p")
done
install=(apt-get install -y -qq --no-install-recommends "${missing[@]}")
# What a user without sudo types instead, as root.
as_root() {
  echo "Install them as root with this command (it asks for root's password), then type ./setup.sh $mode again:" >&2
  echo "  su -c 'apt-get update && apt-get install -y --no-install-recommends ${missing[*]}'" >&2
  exit 1
}
if [ ${#missing[@]} -gt 0 ] && [ "$(id -u)" -eq 0 ]; then
  echo "Installing: ${missing[*]}"
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${install[@]}"
elif [ ${#missing[@]} -gt 0 ]; then
  # Only root installs packages: sudo asks for the user's own password.
  echo "These packages are missing: ${missing[*]}"
  if ! command -v sudo >/dev/null; then
    echo "sudo is not installed to install them." >&2
    as_root
  fi
  echo "Installing them needs root: sudo asks for your password."
  if ! sudo apt-get update -qq || ! sudo env DEBIAN_FRONTEND=noninteractive "${install[@]}"; then
    echo "They could not be installed through sudo." >&2
    as_root
  fi
fi

# `sudo ./setup.sh` typed at a desktop: root was needed for the packages
# only. The build, the program and the tests belong to the user who typed
# it, with their home, their screen and their sound server (sudo keeps the
# screen, not the rest).
if [ "$(id -u)" -eq 0 ] && [ -n "${SUDO_USER:-}" ] && [ "$SUDO_USER" != root ]; then
  user_id=$(id -u "$SUDO_USER")
  user_home=$(getent passwd "$SUDO_USER" | cut -d: -f6)
  # What an earlier run as root built goes to the user, who builds on it.
  for dir in build build-test build-tsan build.log build-test.log build-tsan.log; do
    if [ -e "$dir" ] && [ "$(stat -c %u "$dir")" != "$user_id" ]; then
      chown -R "$user_id:$(id -g "$SUDO_USER")" "$dir"
    fi
  done
  user_env=()
  for var in XDG_CONFIG_HOME XDG_DATA_HOME XDG_CACHE_HOME XDG_RUNTIME_DIR PULSE_SERVER \
    DBUS_SESSION_BUS_ADDRESS CCACHE_DIR SUDO_USER SUDO_UID SUDO_GID SUDO_COMMAND; do
    user_env+=(-u "$var")
  done
  user_env+=(HOME="$user_home" USER="$SUDO_USER" LOGNAME="$SUDO_USER")
  if [ -d "/run/user/$user_id" ]; then
    user_env+=(XDG_RUNTIME_DIR="/run/user/$user_id")
    if [ -S "/run/user/$user_id/bus" ]; then
      user_env+=(DBUS_SESSION_BUS_ADDRESS="unix:path=/run/user/$user_id/bus")
    fi
  fi
  echo "Building and running as $SUDO_USER"
  exec runuser -u "$SUDO_USER" -- env "${user_env[@]}" ./setup.sh "$mode"
fi

# An ordinary user builds into build/ of this folder: the folder must be
# theirs, and a build an earlier run as root left there cannot be written.
if [ "$(id -u)" -ne 0 ]; then
  for dir in . build build-test build-tsan; do
    if [ -e "$dir" ] && [ ! -w "$dir" ]; then
      echo "$(cd "$dir" && pwd) belongs to $(stat -c %U "$dir"): $(id -un) cannot build there." >&2
      echo "Make it yours with this command, then run ./setup.sh $mode again:" >&2
      echo "  sudo chown -R $(id -un): $(cd "$dir" && pwd)" >&2
      exit 1
    fi
  done
fi

# The program users get: what `run` starts (the program alone), and what
# `test` builds whole with its unit tests and runs them and the end-to-end
# scenarios on. `run` builds no tests into a fresh build and leaves a build
# with tests as it is. Through ccache: a second clone, or a build folder
# made anew, compiles only what changed (paths within this folder are
# hashed relative to it, and the precompiled Qt headers are taken as they
# are).
build_release() {
  local tests=() launcher=() target=(--target VelmarPC)
  [ -f build/CMakeCache.txt ] || tests=(-DVELMAR_TESTS=OFF)
  if [ "${1:-}" = with-tests ]; then
    tests=(-DVELMAR_TESTS=ON)
    target=()
  fi
  if command -v ccache >/dev/null; then
    launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
    export CCACHE_BASEDIR=$PWD CCACHE_NOHASHDIR=1
    export CCACHE_SLOPPINESS=pch_defines,time_macros,include_file_mtime,include_file_ctime
  fi
  cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release "${tests[@]}" "${launcher[@]}"
  cmake --build build -j "$jobs" "${target[@]}"
}

# aside LOG COMMAND...: runs the command in the background, its output in
# LOG. done_aside [PATTERN]: waits for it, shows the lines of its output
# that match PATTERN (without one, the last line) and fails as it failed,
# showing all of it. Ended with the script.
aside() {
  aside_log=$1
  shift
  "$@" >"$aside_log" 2>&1 &
  aside_pid=$!
  trap 'kill "$aside_pid" 2>/dev/null || true' EXIT
}
done_aside() {
  local status=0
  wait "$aside_pid" || status=$?
  trap - EXIT
  if [ "$status" -ne 0 ]; then
    cat "$aside_log"
    echo "The work in the background failed ($status)" >&2
    exit "$status"
  fi
  if [ -n "${1:-}" ]; then grep -E "$1" "$aside_log" || true; else tail -n 1 "$aside_log"; fi
}
# Targets $2... of the build folder $1, at the lowest priority.
build_at_lowest() {
  local dir=$1
  shift
  nice -n 19 cmake --build "$dir" -j "$jobs" --target "$@"
}
# The engine's threads and the song player's under ThreadSanitizer, built at
# the lowest priority and run as soon as they are built; test classes that
# start programs stay out (a child process aborts under it).
tsan_checks() {
  build_at_lowest build-tsan tst_sequencer tst_playback || return
  local classes
  classes=$(grep -L 'runPython\|runProgram' tests/common-sound/sequencer/tst_*.cpp | xargs sed -n 's/^VELMAR_TEST(\(.*\))$/\1/p')
  export QT_QPA_PLATFORM=offscreen TSAN_OPTIONS="suppressions=$PWD/tests/tsan.supp"
  # shellcheck disable=SC2086
  build-tsan/bin/tst_sequencer $classes && build-tsan/bin/tst_playback TestAudioThreads
}

# The maker's store cannot be reached from here: a store of the project's
# own, on the loopback address, with three songs, banners and the sound bank.
# Sets store_pid and exports the two store addresses; the scripts' own
# library starts it as it does for the end-to-end runs.
start_store() {
  source scripts/e2e/lib.sh
  /usr/bin/python3 store-service/make_catalogue.py build/store
  if ! e2e_store_start build/store --catalogue build/store; then
    echo "The local store did not start: $(tail -3 build/store/store.log)" >&2
    exit 1
  fi
  echo "Local store: $VELMAR_STORE_URL (pid $store_pid); log in as singer@example.org, password velmar"
}
stop_store() {
  if [ -n "${store_pid:-}" ]; then
    e2e_store_stop
    echo "Local store stopped"
  fi
}

case "$mode" in
run)
  build_release
  bash scripts/install-soundbank.sh
  trap stop_store EXIT
  trap 'exit 130' INT TERM
  start_store
  status=0
  build/bin/VelmarPC || status=$?
  exit "$status"
  ;;
test)
  # The release program (gcc) with its unit tests and the end-to-end
  # scenarios: what users run is what is tested.
  build_release with-tests
  # The scenarios that listen to the sound first, one at a time, while the
  # machine does nothing else.
  (cd build && ctest --output-on-failure --timeout 600 -L listens)
  # On top: the unit tests and the fuzzers under the sanitizers (clang).
  # Only what its tests run (the tests, the fuzzers and what they start),
  # with the line tables the sanitizers' reports need rather than full
  # debugging information. Built at the lowest priority while the other
  # tests run: they mostly wait (songs played in real time, windows
  # awaited), so twice as many run at once as there are cores, and the
  # build takes what they leave.
  CC=clang CXX=clang++ cmake -S . -B build-test -G Ninja -DCMAKE_BUILD_TYPE=Debug \
    -DCMAKE_C_FLAGS_DEBUG=-gline-tables-only -DCMAKE_CXX_FLAGS_DEBUG=-gline-tables-only \
    -DVELMAR_SANITIZE=ON -DVELMAR_FUZZ=ON -DVELMAR_BENCH=OFF -DVELMAR_PROGRAM_DIR="$PWD/build"
  aside build-test.log build_at_lowest build-test velmar_checks
  (cd build && ctest --output-on-failure -j "$((jobs * 2))" --timeout 600 -LE listens)
  done_aside
  # The ThreadSanitizer checks beside the sanitizer tests, which mostly
  # wait on windows and songs too; their end waits for both.
  CC=clang CXX=clang++ cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVELMAR_TSAN=ON -DVELMAR_BENCH=OFF \
    -DCMAKE_C_FLAGS_DEBUG=-gline-tables-only -DCMAKE_CXX_FLAGS_DEBUG=-gline-tables-only
  aside build-tsan.log tsan_checks
  (cd build-test && ctest --output-on-failure -j "$((jobs * 2))" --timeout 600 \
    -E '^(end_to_end.*|lyrics_timing|realtimekit|store_service)$')
  done_aside '^(Totals|FAIL|WARNING: ThreadSanitizer)'
  ;;
esac
