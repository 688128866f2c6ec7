#!/usr/bin/env bash
# Overlapped encoding benchmark: a drive that delivers at most 40x real time
# (BRINDLEWAVE_CD_FAULTS=speed:40) holds a CUE/BIN image of the corpus (about 13 minutes).
# Measured in the same run: reading alone (rip to WAV), encoding alone (`convert --to ogg` of
# those WAVs, one at a time) and the rip to Ogg Vorbis, which encodes each track while the
# next is read. Goal: rip to Ogg <= 0.8 x (reading alone + encoding alone). The Ogg files of
# the rip and of the conversion must hold the same audio.
#
#   BW_CORPUS=/work/corpus bench/overlap_rip.sh
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
cli=$repo/build/brindlewave-cli
corpus=${BW_CORPUS:-$repo/build/corpus}
runs=${BW_BENCH_RUNS:-1}
speed=${BW_DRIVE_SPEED:-40}

[ -x "$cli" ] || { echo "overlap_rip.sh: build first (scripts/build)" >&2; exit 1; }
work=$(mktemp -d "${TMPDIR:-/tmp}/bw-bench-overlap.XXXXXX")
trap 'rm -rf "$work"' EXIT
. "$repo/bench/corpus_image.sh"
make_corpus_image "$work"

run() {
    BRINDLEWAVE_CD_IMAGES=$cue BRINDLEWAVE_CD_FAULTS=speed:$speed XDG_CONFIG_HOME=$work/config \
        BRINDLEWAVE_ACCURATERIP_SERVER=127.0.0.1:1 "$cli" -q "$@" >/dev/null 2>"$work/run.log" ||
        { cat "$work/run.log" >&2; exit 1; }
}
timed() {
    local start
    start=$(now)
    run "$@"
    calc "$(now) - $start"
}

read_times=()
encode_times=()
rip_times=()
for _ in $(seq "$runs"); do
    rm -rf "$work/wav" "$work/conv" "$work/ogg"
    read_times+=("$(timed rip --format wav --output "$work/wav")")
    encode_times+=("$(timed convert --to ogg --jobs 1 --output "$work/conv" "$work"/wav/*.wav)")
    rip_times+=("$(timed rip --format ogg --output "$work/ogg")")
done
for f in "$work"/conv/*.ogg; do
    name=$(basename "$f")
    [ -f "$work/ogg/$name" ] || { echo "overlap_rip.sh: the rip lacks $name" >&2; exit 1; }
    if command -v ffmpeg >/dev/null; then
        a=$(ffmpeg -v error -i "$f" -f s16le - | md5sum)
        b=$(ffmpeg -v error -i "$work/ogg/$name" -f s16le - | md5sum)
        [ "$a" = "$b" ] || { echo "overlap_rip.sh: $name differs from its conversion" >&2; exit 1; }
    fi
done
[ -z "$(ls "$work/ogg"/*.wav 2>/dev/null)" ] ||
    { echo "overlap_rip.sh: WAV files left behind" >&2; exit 1; }

reading=$(best "${read_times[@]}")
encoding=$(best "${encode_times[@]}")
rip=$(best "${rip_times[@]}")
printf 'image: %d tracks (%d:%02d), drive at %sx\n' "$n" $((seconds / 60)) $((seconds % 60)) "$speed"
printf 'reading alone  (rip to WAV):          %.2f s\n' "$reading"
printf 'encoding alone (convert to Ogg):      %.2f s\n' "$encoding"
printf 'rip to Ogg (encoding while reading):  %.2f s\n' "$rip"
printf 'ratio rip/(reading+encoding): %.2f (goal <= 0.8)\n' "$(calc "$rip / ($reading + $encoding)")"
