#!/usr/bin/env bash
# Installs what is missing, builds, and then either starts the program (run)
# or runs every test (test).
set -euo pipefail
cd "$(dirname "$0")"

mode=${1:-run}
jobs=$(nproc)

packages=(
  build-essential cmake ninja-build pkg-config clang libclang-rt-14-dev lld
  qt6-base-dev qt6-base-dev-tools qt6-multimedia-dev qt6-5compat-dev
  qt6-tools-dev qt6-tools-dev-tools qt6-l10n-tools qt6-translations-l10n
  libqt6sql6-sqlite qt6-image-formats-plugins libgl-dev
  librtmidi-dev librtaudio-dev libpulse-dev libmpg123-dev libsoundtouch-dev
  libquazip1-qt6-dev libfluidsynth-dev timgm6mb-soundfont
  python3 python3-mido python3-mutagen midicsv sox lame ffmpeg sqlite3 planetblupi-music-midi
  fluidsynth soundstretch pulseaudio pulseaudio-utils dbus-daemon rtkit polkitd xvfb xauth xdotool x11-utils imagemagick procps stress-ng
  fonts-dotgothic16 fonts-comic-neue fonts-open-sans fonts-dejavu-core fonts-liberation2 fonts-beteckna
  fonts-kacst-one fonts-wqy-microhei
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# The program users get: what `run` starts, and what `test` builds with its
# unit tests and runs them and the end-to-end scenarios on. `run` builds no
# tests into a fresh build and leaves a build with tests as it is.
build_release() {
  local tests=()
  [ -f build/CMakeCache.txt ] || tests=(-DVELMAR_TESTS=OFF)
  [ "${1:-}" = with-tests ] && tests=(-DVELMAR_TESTS=ON)
  cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release "${tests[@]}"
  cmake --build build -j "$jobs"
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
*)
  echo "usage: $0 run|test" >&2
  exit 2
  ;;
esac
