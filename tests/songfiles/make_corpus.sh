#!/bin/bash
# Seeds of the song-head fuzz target: the karaoke song and the mix-editor song
# the engine and page tests make with mido.
set -euo pipefail
here=$(dirname "$0")
out=$here/corpus/fuzz_songheaders
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$out"
/usr/bin/python3 "$here/../playback/make_engine_songs.py" "$work" > /dev/null
/usr/bin/python3 "$here/../playback/make_midiedit_song.py" write "$work/mix.mid"
cp "$work/road.kar" "$work/mix.mid" "$out/"
