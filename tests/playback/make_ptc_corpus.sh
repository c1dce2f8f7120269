#!/bin/bash
# Seeds of the patch-file fuzz target: a two-layer split and a file without
# its "Type" line, in the layout the program writes.
set -euo pipefail
out=$(dirname "$0")/corpus/fuzz_ptc
mkdir -p "$out"
layer() { # part, then the 22 values in file order
  local keys=(Volume Pan Reverb BankSelect PrgChange Attack Release CutOff Decay Sustain Chorus
              Insert IsDrumKit Mute Resonance Transpose DestChannel LowKeyLimit HiKeyLimit
              LowVelLimit HiVelLimit SrcChannel)
  echo "Part_$1 = 1"; shift
  for k in "${keys[@]}"; do echo "$k = $1"; shift; done
}
{
  echo "Name = Split = piano/bass"; echo "Type = 0"
  layer 0 120 64 30 0 0 64 64 64 64 64 0 0 0 0 64 4294967284 0 0 60 0 127 255
  echo "Part_1 = 0"
  layer 2 100 64 0 0 1 64 64 64 64 64 0 0 1 2 64 0 9 61 127 64 127 1
  echo "Part_3 = 0"
} > "$out/split.PTC"
printf 'Name = No type\npart_0 = 1\nvolume = 99\nPart_9 = 1\n' > "$out/notype.PTC"
