#!/bin/sh
# Writes one sonogram PNG beside each WAV file in OUTDIR, titled from
# OUTDIR/scenes.txt (lines "name|title", written by yawp-wah-demo) or with
# the file name. Needs sox.
# Usage: draw-sonograms.sh OUTDIR
set -eu

if [ $# -ne 1 ] || [ ! -d "$1" ]; then
    echo "usage: draw-sonograms.sh OUTDIR" >&2
    exit 2
fi
if ! command -v sox >/dev/null 2>&1; then
    echo "draw-sonograms.sh: sox is not installed" >&2
    exit 2
fi

dir=$1
# The formants live below 4 kHz, so the picture shows 0 to 8 kHz (the
# audio is resampled to 16 kHz for it); wide enough to show each LFO cycle;
# 90 dB of range keeps the quiet resonance tails visible.
view_rate=16k
width=1200
height=513
range=90

title_of() {
    title=""
    if [ -f "$dir/scenes.txt" ]; then
        title=$(grep "^$1|" "$dir/scenes.txt" | head -n 1 | cut -d '|' -f 2-)
    fi
    if [ -z "$title" ]; then title=$1; fi
    printf '%s' "$title"
}

found=0
for wav in "$dir"/*.wav; do
    [ -e "$wav" ] || continue
    name=$(basename "$wav" .wav)
    sox -V1 "$wav" -n rate "$view_rate" spectrogram -x "$width" -y "$height" -z "$range" \
        -t "Yawp Wah - $(title_of "$name")" -o "$dir/$name.png"
    echo "$dir/$name.png"
    found=1
done
if [ "$found" -eq 0 ]; then
    echo "draw-sonograms.sh: no WAV files in $dir" >&2
    exit 2
fi
