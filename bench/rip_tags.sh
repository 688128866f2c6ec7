#!/usr/bin/env bash
# Tagging overhead: rips the corpus tracks, as one CUE/BIN image, with
# `brindlewave-cli rip --format flac` twice in the same run: with every tag feature on
# (full tags, ReplayGain measured while encoding, album gain rewritten at the end) and with
# ReplayGain off. Prints both times (the best of the runs) and the overhead in percent
# (goal <= 5 %). The disc is known in the title cache with a release's full data (track
# artists, album artist, disc number, label, ids), so every tag a lookup gives is written.
# With BW_BASELINE_CLI (another build of the program, e.g. of the main branch) the same
# rip with every tag feature on is timed with it too, and the ratio printed (goal <= 1.05).
#
#   BW_CORPUS=/work/corpus [BW_BASELINE_CLI=/path/brindlewave-cli] bench/rip_tags.sh
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
cli=$repo/build/brindlewave-cli
corpus=${BW_CORPUS:-/work/corpus}
runs=${BW_BENCH_RUNS:-3}
[ -x "$cli" ] || { echo "rip_tags.sh: build first" >&2; exit 1; }
[ -f "$corpus/MD5SUMS" ] || { echo "rip_tags.sh: no corpus in $corpus" >&2; exit 1; }

work=$(mktemp -d "${TMPDIR:-/tmp}/bw-bench-tags.XXXXXX")
trap 'rm -rf "$work"' EXIT
echo 'FILE "disc.bin" BINARY' >"$work/disc.cue"
: >"$work/disc.bin"
sectors=0
n=0
for wav in "$corpus"/0[1-5]-*.wav; do
    length=$(( ($(stat -c %s "$wav") - 44) / 2352 ))
    n=$((n + 1))
    dd if="$wav" iflag=skip_bytes,count_bytes skip=44 count=$((length * 2352)) bs=1M \
        status=none >>"$work/disc.bin"
    printf '  TRACK %02d AUDIO\n    INDEX 01 %02d:%02d:%02d\n' "$n" \
        $((sectors / 4500)) $((sectors / 75 % 60)) $((sectors % 75)) >>"$work/disc.cue"
    sectors=$((sectors + length))
done

# Each program from a folder of its own, so that its title cache is the bench's.
mkdir -p "$work/new" "$work/base"
cp "$cli" "$work/new/brindlewave-cli"
cp "$repo/build/libMACDll.so" "$work/new/" 2>/dev/null || true
baseline=${BW_BASELINE_CLI:-}
[ -z "$baseline" ] || cp "$baseline" "$work/base/brindlewave-cli"
key=$(XDG_CONFIG_HOME=$work/config BRINDLEWAVE_CD_IMAGES=$work/disc.cue "$work/new/brindlewave-cli" \
    toc | sed -n 's/^Disc key: //p')
{
    printf '[%s]\nCDArtist=Various Artists\nCDAlbum=Bench Album\nCDYear=2011\nCDGenre=-1\n' "$key"
    printf 'CDComment=\nCDTrackNumber=%d\n' "$n"
    for t in $(seq "$n"); do printf '%d=Title %d\n' "$t" "$t"; done
    printf 'AlbumArtist=Various Artists\nDate=2011-07-11\nOriginalDate=1986-03\nLabel=Label\n'
    printf 'CatalogNumber=CAT 1\nBarcode=5016958997123\nReleaseType=Album\nDiscNumber=2\nDiscTotal=5\n'
    for t in $(seq "$n"); do
        printf 'TrackArtist%d=Ann feat. Bo\nTrackArtists%d=Ann\037Bo\nReleaseTrackId%d=t%d\n' \
            "$t" "$t" "$t" "$t"
    done
} >"$work/cd.dat"
cp "$work/cd.dat" "$work/new/cd.dat"
cp "$work/cd.dat" "$work/base/cd.dat"

now() { date +%s.%N; }
best() { printf '%s\n' "$@" | sort -g | head -n 1; }
rip() { # $1: ReplayGain setting; $2: the program's folder (new by default)
    local program=$work/${2:-new}/brindlewave-cli
    mkdir -p "$work/config/Vellamor/Brindlewave"
    printf '[Tags]\nReplayGain=%s\n' "$1" >"$work/config/Vellamor/Brindlewave/options.ini"
    rm -rf "$work/out"
    local start end
    start=$(now)
    XDG_CONFIG_HOME=$work/config BRINDLEWAVE_CD_IMAGES=$work/disc.cue \
        BRINDLEWAVE_ACCURATERIP_SERVER=127.0.0.1:1 \
        "$program" --quiet rip --format flac --output "$work/out" >/dev/null 2>&1 || true
    end=$(now)
    awk "BEGIN { print $end - $start }"
}
with=()
without=()
base=()
for run in $(seq "$runs"); do
    without+=("$(rip 0)")
    with+=("$(rip 1)")
    [ -z "$baseline" ] || base+=("$(rip 1 base)")
done
t0=$(best "${without[@]}")
t1=$(best "${with[@]}")
printf 'rip --format flac, %d s of audio, best of %d runs\n' $((sectors / 75)) "$runs"
printf '  ReplayGain off: %8.2f s\n  ReplayGain on:  %8.2f s\n  overhead:       %+7.1f %% (goal <= 5 %%)\n' \
    "$t0" "$t1" "$(awk "BEGIN { print ($t1 / $t0 - 1) * 100 }")"
if [ -n "$baseline" ]; then
    tb=$(best "${base[@]}")
    printf '  baseline (%s), every tag on: %8.2f s\n  this build / baseline: %.3f (goal <= 1.05)\n' \
        "$baseline" "$tb" "$(awk "BEGIN { print $t1 / $tb }")"
fi
printf '  load: %s\n' "$(uptime | sed 's/.*load average: //')"
