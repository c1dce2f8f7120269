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
  librtmidi-dev librtaudio-dev libmpg123-dev libsoundtouch-dev
  libquazip1-qt6-dev libfluidsynth-dev timgm6mb-soundfont
  python3 python3-mido python3-mutagen midicsv sox lame ffmpeg sqlite3
  fluidsynth soundstretch pulseaudio pulseaudio-utils dbus-daemon xvfb xauth xdotool imagemagick
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

case "$mode" in
run)
  cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DVELMAR_TESTS=OFF
  cmake --build build -j "$jobs"
  if [ -x scripts/install-soundbank.sh ]; then bash scripts/install-soundbank.sh; fi
  if [ -x build/bin/VelmarPC ]; then
    exec build/bin/VelmarPC
  fi
  echo "The program is not built yet: build/bin holds the tools built so far."
  ;;
test)
  CC=clang CXX=clang++ cmake -S . -B build-test -G Ninja -DCMAKE_BUILD_TYPE=Debug \
    -DVELMAR_SANITIZE=ON -DVELMAR_FUZZ=ON
  cmake --build build-test -j "$jobs"
  (cd build-test && ctest --output-on-failure -j "$jobs" --timeout 600)
  # The engine's threads and the song player's under ThreadSanitizer; test
  # classes that start programs stay out (a child process aborts under it).
  CC=clang CXX=clang++ cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVELMAR_TSAN=ON
  cmake --build build-tsan -j "$jobs" --target tst_sequencer tst_playback
  classes=$(grep -L 'runPython\|runProgram' tests/common-sound/sequencer/tst_*.cpp | xargs sed -n 's/^VELMAR_TEST(\(.*\))$/\1/p')
  export QT_QPA_PLATFORM=offscreen TSAN_OPTIONS="suppressions=$PWD/tests/tsan.supp"
  build-tsan/bin/tst_sequencer $classes
  build-tsan/bin/tst_playback TestAudioThreads
  ;;
*)
  echo "usage: $0 run|test" >&2
  exit 2
  ;;
esac
