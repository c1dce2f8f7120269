#!/bin/bash
# Seeds of the song-head fuzz target: the karaoke song and the mix-editor song
# the engine and page tests make with mido, and a head whose first track
# starts with a delta time of F0 before a settings record's bytes.
set -euo pipefail
here=$(dirname "$0")
out=$here/corpus/fuzz_songheaders
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$out"
/usr/bin/python3 "$here/../../scripts/make_engine_songs.py" "$work" > /dev/null
/usr/bin/python3 "$here/../playback/make_midiedit_song.py" write "$work/mix.mid"
cp "$work/road.kar" "$work/mix.mid" "$out/"
printf 'MThdMTrk\x00\x00\x00\x0a\xf0\x03\x00\x20\x24\x00\x3f\x00\x00\x00' > "$out/delta_time_f0.mid"
