#!/usr/bin/env bash
# Puts a General MIDI sound bank from the system's packages in place as the
# synthesizer's "Basic.sfc" when the application data folder has none, so the
# program sounds on a fresh machine. A bank that is already there is kept.
set -euo pipefail

# The program sets no organisation name on the application, so its data
# folder is the executable's name under the data home.
folder="${XDG_DATA_HOME:-$HOME/.local/share}/VelmarPC"
target="$folder/Basic.sfc"

if [ -s "$target" ]; then
  exit 0
fi

for bank in /usr/share/sounds/sf2/TimGM6mb.sf2 /usr/share/sounds/sf2/FluidR3_GM.sf2; do
  if [ -r "$bank" ]; then
    mkdir -p "$folder"
    cp "$bank" "$target.part"
    mv -f "$target.part" "$target"
    echo "Sound bank: $bank -> $target"
    exit 0
  fi
done

echo "No General MIDI sound bank found (install timgm6mb-soundfont);" \
  "the software synthesizer stays silent until one is in $target" >&2
