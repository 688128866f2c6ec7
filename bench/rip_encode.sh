#!/usr/bin/env bash
# Rip-and-encode and batch conversion benchmarks on the five corpus tracks, each against a
# peer measured in the same run (best of BW_BENCH_RUNS wall times):
#  1. `brindlewave-cli rip --format flac` of a 5-track CUE/BIN image of the corpus against a
#     plain read of each track from the image (dd) piped into `flac` at the same level
#     (goal: ratio <= 1.1);
#  2. `brindlewave-cli convert --jobs 2 --to mp3` of the five tracks against
#     `lame -b 128 -q 5` run on them one after another (goal: ratio <= 0.6 on two cores).
# Also checks that the rip's FLAC files decode to the image's bytes, and prints peak memory.
#
#   bench/rip_encode.sh     # after scripts/build; BW_CORPUS=DIR names the corpus folder
set -euo pipefail
# The rip verifies against AccurateRip; a closed local port keeps the benchmark off the network.
export BRINDLEWAVE_ACCURATERIP_SERVER=127.0.0.1:1
repo=$(cd "$(dirname "$0")/.." && pwd)
cli=$repo/build/brindlewave-cli
shared=${BW_SHARED:-$repo/../shared}
runs=${BW_BENCH_RUNS:-3}
level=5
if [ -z "${BW_CORPUS:-}" ] && [ -f "$repo/../corpus/MD5SUMS" ]; then
    corpus=$repo/../corpus
else
    corpus=${BW_CORPUS:-$repo/build/corpus}
fi

[ -x "$cli" ] || { echo "rip_encode.sh: build first (scripts/build)" >&2; exit 1; }
for tool in flac lame /usr/bin/time; do
    command -v "$tool" >/dev/null || { echo "rip_encode.sh: $tool is missing" >&2; exit 1; }
done
if [ ! -f "$corpus/MD5SUMS" ]; then
    mkdir -p "$corpus"
    "$shared/corpus/make-corpus.sh" "$corpus" >"$corpus/make-corpus.log" 2>&1 ||
        { cat "$corpus/make-corpus.log" >&2; exit 1; }
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/bw-bench-ripenc.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/config/Vellamor/Brindlewave"
printf '[CommonOptions]\nFLACCompression=%d\nConstantBitRate=5\nIsSelectVBR=0\nMp3CPU=3\n' \
    "$level" >"$work/config/Vellamor/Brindlewave/options.ini"

# The image: the five corpus tracks, whole sectors each.
tracks=("$corpus"/0[1-5]-*.wav)
bin=$work/disc.bin
cue=$work/disc.cue
echo 'FILE "disc.bin" BINARY' >"$cue"
: >"$bin"
sectors=0
starts=()
lengths=()
for i in "${!tracks[@]}"; do
    length=$(( ($(stat -c %s "${tracks[$i]}") - 44) / 2352 ))
    dd if="${tracks[$i]}" iflag=skip_bytes,count_bytes skip=44 count=$((length * 2352)) bs=1M \
        status=none >>"$bin"
    printf '  TRACK %02d AUDIO\n    INDEX 01 %02d:%02d:%02d\n' $((i + 1)) \
        $((sectors / 4500)) $((sectors / 75 % 60)) $((sectors % 75)) >>"$cue"
    starts+=("$sectors")
    lengths+=("$length")
    sectors=$((sectors + length))
done
n=${#tracks[@]}
seconds=$((sectors / 75))
cat "$bin" "${tracks[@]}" >/dev/null # every side reads from the page cache

now() { date +%s.%N; }
calc() { awk "BEGIN { print $1 }"; }
best() { printf '%s\n' "$@" | sort -g | head -n 1; }
peak() { tail -n 1 "$1"; }

rip_times=() peer_rip_times=() conv_times=() lame_times=() conv_cpu=() lame_cpu=()
rip_kb=0 conv_kb=0
for run in $(seq "$runs"); do
    rm -rf "$work/rip" "$work/peer" "$work/conv" "$work/lame"
    mkdir -p "$work/rip" "$work/peer" "$work/conv" "$work/lame"

    start=$(now)
    BRINDLEWAVE_CD_IMAGES=$cue XDG_CONFIG_HOME=$work/config \
        /usr/bin/time -f '%M' -o "$work/time.txt" \
        "$cli" rip --format flac --output "$work/rip" 2>"$work/rip.log" ||
        { cat "$work/rip.log" >&2; exit 1; }
    rip_times+=("$(calc "$(now) - $start")")
    kb=$(peak "$work/time.txt"); [ "$kb" -gt "$rip_kb" ] && rip_kb=$kb

    start=$(now)
    for i in $(seq 0 $((n - 1))); do
        dd if="$bin" iflag=skip_bytes,count_bytes bs=1M status=none \
            skip=$((starts[i] * 2352)) count=$((lengths[i] * 2352)) |
            flac -s -"$level" --force-raw-format --endian=little --sign=signed --channels=2 \
                --bps=16 --sample-rate=44100 -o "$work/peer/$i.flac" -
    done
    peer_rip_times+=("$(calc "$(now) - $start")")

    start=$(now)
    XDG_CONFIG_HOME=$work/config /usr/bin/time -f '%U %S %M' -o "$work/time.txt" \
        "$cli" convert --jobs 2 --to mp3 -o "$work/conv" "${tracks[@]}" 2>"$work/conv.log" ||
        { cat "$work/conv.log" >&2; exit 1; }
    conv_times+=("$(calc "$(now) - $start")")
    read -r user sys kb <"$work/time.txt"
    conv_cpu+=("$(calc "$user + $sys")")
    [ "$kb" -gt "$conv_kb" ] && conv_kb=$kb

    start=$(now)
    /usr/bin/time -f '%U %S' -o "$work/time.txt" sh -c '
        for t in "$@"; do lame --quiet -b 128 -q 5 "$t" "$0/$(basename "$t" .wav).mp3"; done
    ' "$work/lame" "${tracks[@]}"
    lame_times+=("$(calc "$(now) - $start")")
    read -r user sys <"$work/time.txt"
    lame_cpu+=("$(calc "$user + $sys")")
done

# The rip must be the image's audio, byte for byte.
for i in $(seq 0 $((n - 1))); do
    f=$(printf '%s/rip/Track%02d.flac' "$work" $((i + 1)))
    cmp -s <(flac -s -d -c --force-raw-format --endian=little --sign=signed "$f") \
        <(dd if="$bin" iflag=skip_bytes,count_bytes bs=1M status=none \
            skip=$((starts[i] * 2352)) count=$((lengths[i] * 2352))) ||
        { echo "rip_encode.sh: track $((i + 1)) differs from the image" >&2; exit 1; }
done
[ "$(ls "$work/rip" | wc -l)" -eq "$n" ] || { echo "rip_encode.sh: WAV files left" >&2; exit 1; }

rip=$(best "${rip_times[@]}"); peer=$(best "${peer_rip_times[@]}")
conv=$(best "${conv_times[@]}"); lame=$(best "${lame_times[@]}")
printf 'disc: %d tracks, %d:%02d of corpus music; %d cores, load %s; best of %d runs\n' "$n" \
    $((seconds / 60)) $((seconds % 60)) "$(nproc)" "$(cut -d" " -f1 /proc/loadavg)" "$runs"
printf 'rip --format flac: %.2f s; dd + flac -%d: %.2f s; ratio %.3f (goal <= 1.1)\n' \
    "$rip" "$level" "$peer" "$(calc "$rip / $peer")"
printf 'convert --jobs 2 --to mp3: %.2f s; lame -b 128 -q 5 in turn: %.2f s; ratio %.3f (goal <= 0.6)\n' \
    "$conv" "$lame" "$(calc "$conv / $lame")"
printf 'processor time of the conversions: ours %.2f s, lame %.2f s; ratio %.3f\n' \
    "$(best "${conv_cpu[@]}")" "$(best "${lame_cpu[@]}")" \
    "$(calc "$(best "${conv_cpu[@]}") / $(best "${lame_cpu[@]}")")"
printf 'peak memory: rip %.1f MB, convert %.1f MB\n' "$(calc "$rip_kb / 1024")" \
    "$(calc "$conv_kb / 1024")"
