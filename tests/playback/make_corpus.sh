#!/bin/bash
# Seeds of the MP3 feed fuzz target: two short tones made by sox and lame.
set -euo pipefail
out=$(dirname "$0")/corpus/fuzz_mp3feed
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$out"
sox -n -r 22050 -c 1 "$work/tiny.wav" synth 0.3 sine 300
lame --quiet -b 32 "$work/tiny.wav" "$out/tiny_cbr.mp3"
lame --quiet -V 6 --add-id3v2 --tt x "$work/tiny.wav" "$out/tiny_vbr_id3.mp3"
