#!/usr/bin/env bash
# AccurateRip checksum benchmark: `brindlewave-cli verify` over the tracks of a CD image made
# of real music (both checksums, CRC32 and the file reads of every track in one pass), against
# whipper's accuraterip-checksum run on the same WAV files for v1 and for v2 in the same run.
# Prints both times, their ratio and verify's peak memory. The database lookup goes to a
# closed local port.
#
#   bench/accuraterip.sh    # after scripts/build; BW_CORPUS=DIR to reuse a corpus folder
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
cli=$repo/build/brindlewave-cli
shared=${BW_SHARED:-$repo/../shared}
corpus=${BW_CORPUS:-$repo/build/corpus}
runs=${BW_BENCH_RUNS:-3}

[ -x "$cli" ] || { echo "accuraterip.sh: build first (scripts/build)" >&2; exit 1; }
command -v accuraterip-checksum >/dev/null ||
    { echo "accuraterip.sh: accuraterip-checksum is missing (scripts/install-deps)" >&2; exit 1; }
mkdir -p "$corpus"
[ -f "$corpus/MD5SUMS" ] || "$shared/corpus/make-corpus.sh" "$corpus" >"$corpus/make-corpus.log" 2>&1 ||
    { cat "$corpus/make-corpus.log" >&2; exit 1; }

work=$(mktemp -d "${TMPDIR:-/tmp}/bw-bench-ar.XXXXXX")
trap 'rm -rf "$work"' EXIT

# One track per corpus file, cut to whole sectors; the image holds the same audio.
echo 'FILE "disc.bin" BINARY' >"$work/disc.cue"
: >"$work/disc.bin"
files=()
sectors=0
n=0
for wav in "$corpus"/0[1-5]-*.wav; do
    n=$((n + 1))
    length=$(( ($(stat -c %s "$wav") - 44) / 2352 ))
    dd if="$wav" iflag=skip_bytes,count_bytes skip=44 count=$((length * 2352)) bs=1M \
        status=none >"$work/t$n.raw"
    cat "$work/t$n.raw" >>"$work/disc.bin"
    sox -t raw -r 44100 -e signed -b 16 -c 2 "$work/t$n.raw" "$work/t$n.wav"
    printf '  TRACK %02d AUDIO\n    INDEX 01 %02d:%02d:%02d\n' "$n" \
        $((sectors / 4500)) $((sectors / 75 % 60)) $((sectors % 75)) >>"$work/disc.cue"
    sectors=$((sectors + length))
    files+=("$work/t$n.wav")
done
cat "$work"/t*.wav >/dev/null # both sides read from the page cache

now() { date +%s.%N; }
calc() { awk "BEGIN { print $1 }"; }
best() { printf '%s\n' "$@" | sort -g | head -n 1; }

ours=()
peer=()
for run in $(seq "$runs"); do
    start=$(now)
    BRINDLEWAVE_CD_IMAGES=$work/disc.cue XDG_CONFIG_HOME=$work/config \
        BRINDLEWAVE_ACCURATERIP_SERVER=127.0.0.1:1 /usr/bin/time -f '%M' -o "$work/time.txt" \
        "$cli" verify "${files[@]}" >"$work/verify.log" 2>&1 || true
    ours+=("$(calc "$(now) - $start")")
    grep -q "not checked: the database could not be reached" "$work/verify.log" ||
        { cat "$work/verify.log" >&2; exit 1; }

    start=$(now)
    for i in $(seq 1 "$n"); do
        accuraterip-checksum --accuraterip-v1 "$work/t$i.wav" "$i" "$n" >/dev/null
        accuraterip-checksum --accuraterip-v2 "$work/t$i.wav" "$i" "$n" >/dev/null
    done
    peer+=("$(calc "$(now) - $start")")
done

seconds=$((sectors / 75))
printf 'tracks: %d, %d:%02d of audio\n' "$n" $((seconds / 60)) $((seconds % 60))
printf 'brindlewave-cli verify (best of %d): %.3f s\n' "$runs" "$(best "${ours[@]}")"
printf 'accuraterip-checksum v1 + v2 (best of %d): %.3f s\n' "$runs" "$(best "${peer[@]}")"
printf 'ratio verify/peer: %.2f\n' "$(calc "$(best "${ours[@]}") / $(best "${peer[@]}")")"
printf 'peak memory of verify: %.1f MB\n' "$(calc "$(tail -n 1 "$work/time.txt") / 1024")"
