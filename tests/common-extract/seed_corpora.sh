#!/usr/bin/env bash
# Seeds the fuzz corpora with the songs the tests generate (rerun after a
# generator changes; the fuzz tests replay every seed before searching).
# usage: tests/common-extract/seed_corpora.sh
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
corpus=$here/corpus
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
py=/usr/bin/python3
"$py" "$here/gen_normalise.py" "$work/normalise" > /dev/null
"$py" "$here/gen_merge.py" gen "$work/merge"
"$py" "$here/gen_songinfo.py" "$work/songinfo"

# The normaliser's first byte picks the mode: 0 play, 2 extraction only.
for f in "$work"/normalise/*; do
  name=$(basename "$f" | tr . _)
  for mode in 0 2; do
    { printf "\\x0$mode"; cat "$f"; } > "$corpus/fuzz_normalise/gen${mode}_$name"
  done
done
for f in "$work"/merge/*.mid "$work"/normalise/music_f1_*.mid; do
  cp "$f" "$corpus/fuzz_decode/gen_$(basename "$f")"
done
for f in "$work"/songinfo/*; do
  [ -s "$f" ] && cp "$f" "$corpus/fuzz_songinfo/gen_$(basename "$f")"
done
# The MP3 text reader's first byte picks how much of the tail it searches.
for f in "$work"/songinfo/*.mp3; do
  { printf '\x01'; cat "$f"; } > "$corpus/fuzz_mp3text/gen_$(basename "$f")"
done
