#!/usr/bin/env bash
# CUETools database benchmark, on a 70-minute disc of real music (the corpus tracks repeated)
# and a stand-in database on 127.0.0.1 that serves the disc's entry and recovery data:
#   - the CTDB sums during a rip: `rip` of the image's first 20 minutes to WAV and to FLAC
#     with and without them (--no-ctdb), wall time and CPU time, goal <= 1.05;
#   - `verify` of the disc's FLAC files (AccurateRip and CTDB in one pass) against `flac -t`
#     on the same files, goal <= 1.3;
#   - `repair` of the disc with one scratch of 1,000 samples against `flac -t`, goal <= 3.
# Prints the best of the runs, the ratios and the machine's load beside them.
#
#   bench/ctdb.sh    # after building brindlewave-cli and ctdb-entry; BW_CORPUS=DIR to reuse one
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
build=${BW_BUILD:-$repo/build}
cli=$build/brindlewave-cli
entry=$build/ctdb-entry
shared=${BW_SHARED:-$repo/../shared}
corpus=${BW_CORPUS:-$build/corpus}
runs=${BW_BENCH_RUNS:-3}
target_sectors=315000 # 70 minutes
rip_sectors=90000     # 20 minutes

for tool in "$cli" "$entry"; do
    [ -x "$tool" ] || { echo "ctdb.sh: build $(basename "$tool") first" >&2; exit 1; }
done
command -v flac >/dev/null || { echo "ctdb.sh: flac is missing (scripts/install-deps)" >&2; exit 1; }
mkdir -p "$corpus"
[ -f "$corpus/MD5SUMS" ] || "$shared/corpus/make-corpus.sh" "$corpus" >"$corpus/make-corpus.log" 2>&1 ||
    { cat "$corpus/make-corpus.log" >&2; exit 1; }

work=$(mktemp -d "${TMPDIR:-/tmp}/bw-bench-ctdb.XXXXXX")
server_pid=
trap '[ -n "$server_pid" ] && kill "$server_pid"; rm -rf "$work"' EXIT

# The disc: the corpus tracks one after another until 70 minutes are full, as FLAC files.
tracks=("$corpus"/0[1-5]-*.wav)
echo 'FILE "disc.bin" BINARY' >"$work/disc.cue"
: >"$work/disc.bin"
mkdir -p "$work/flac"
sectors=0
n=0
starts=()
files=()
rip_tracks=0
while [ "$sectors" -lt "$target_sectors" ]; do
    wav=${tracks[$((n % ${#tracks[@]}))]}
    length=$(( ($(stat -c %s "$wav") - 44) / 2352 ))
    [ $((sectors + length)) -gt "$target_sectors" ] && length=$((target_sectors - sectors))
    n=$((n + 1))
    raw=$work/t$n.raw
    dd if="$wav" iflag=skip_bytes,count_bytes skip=44 count=$((length * 2352)) bs=1M \
        status=none >"$raw"
    cat "$raw" >>"$work/disc.bin"
    printf '  TRACK %02d AUDIO\n    INDEX 01 %02d:%02d:%02d\n' "$n" \
        $((sectors / 4500)) $((sectors / 75 % 60)) $((sectors % 75)) >>"$work/disc.cue"
    file=$work/flac/$(printf 'Track%02d.flac' "$n")
    flac -s --force-raw-format --endian=little --sign=signed --channels=2 --bps=16 \
        --sample-rate=44100 --tag=TITLE="Track $n" -o "$file" "$raw"
    [ "$n" -eq 10 ] && cp "$raw" "$work/damaged.raw"
    rm "$raw"
    files+=("$file")
    starts+=("$sectors")
    sectors=$((sectors + length))
    [ "$sectors" -le "$rip_sectors" ] && rip_tracks=$n
done
minutes=$(awk "BEGIN { printf \"%.1f\", $sectors / 4500 }")

# The stand-in database.
"$entry" "$work/disc.bin" "${starts[*]} $sectors" "$work/db" >/dev/null
python3 "$repo/tests/support/file_server.py" "$work/db" >"$work/port" &
server_pid=$!
for _ in $(seq 50); do [ -s "$work/port" ] && break; sleep 0.1; done
server=http://127.0.0.1:$(head -n 1 "$work/port")

# Track 10 with a scratch: 1,000 samples of zeros in its middle.
mkdir -p "$work/scratched"
for f in "${files[@]}"; do ln -s "$f" "$work/scratched/$(basename "$f")"; done
rm "$work/scratched/Track10.flac"
size=$(stat -c %s "$work/damaged.raw")
at=$(( size / 2 / 4 * 4 ))
dd if=/dev/zero of="$work/damaged.raw" bs=1 seek="$at" count=4000 conv=notrunc status=none
flac -s --force-raw-format --endian=little --sign=signed --channels=2 --bps=16 \
    --sample-rate=44100 --tag=TITLE="Track 10" -o "$work/scratched/Track10.flac" "$work/damaged.raw"
scratched=()
for f in "${files[@]}"; do scratched+=("$work/scratched/$(basename "$f")"); done

cat "$work/disc.bin" "${files[@]}" >/dev/null # every side reads from the page cache
now() { date +%s.%N; }
calc() { awk "BEGIN { print $1 }"; }
best() { printf '%s\n' "$@" | sort -g | head -n 1; }
env=(BRINDLEWAVE_CD_IMAGES=$work/disc.cue XDG_CONFIG_HOME=$work/config
     BRINDLEWAVE_ACCURATERIP_SERVER=127.0.0.1:1 BRINDLEWAVE_CTDB_SERVER=$server)

flac_t=() verify=() repair=()
declare -A rip_wall rip_cpu
for run in $(seq "$runs"); do
    start=$(now)
    flac -t -s "${files[@]}"
    flac_t+=("$(calc "$(now) - $start")")

    start=$(now)
    env "${env[@]}" "$cli" verify "${files[@]}" >"$work/verify.log" 2>&1 || true
    verify+=("$(calc "$(now) - $start")")
    grep -q "CTDB accurately ripped (confidence 5 of 5)" "$work/verify.log" ||
        { cat "$work/verify.log" >&2; exit 1; }

    rm -rf "$work/mended"
    start=$(now)
    env "${env[@]}" "$cli" --quiet repair --output "$work/mended" "${scratched[@]}" \
        >"$work/repair.log" 2>&1 || { cat "$work/repair.log" >&2; exit 1; }
    repair+=("$(calc "$(now) - $start")")
    grep -q "Corrected: 2000 samples" "$work/repair.log" || { cat "$work/repair.log" >&2; exit 1; }

    for format in wav flac; do
        for mode in with without; do
            rm -rf "$work/out"
            option=()
            [ "$mode" = without ] && option=(--no-ctdb)
            start=$(now)
            env "${env[@]}" /usr/bin/time -f '%U %S' -o "$work/time.txt" "$cli" rip \
                --format "$format" --tracks "1-$rip_tracks" --output "$work/out" "${option[@]}" \
                >"$work/rip.log" 2>&1 || { cat "$work/rip.log" >&2; exit 1; }
            key=$format-$mode
            rip_wall[$key]="${rip_wall[$key]:-} $(calc "$(now) - $start")"
            rip_cpu[$key]="${rip_cpu[$key]:-} $(awk '{ print $1 + $2 }' "$work/time.txt")"
        done
    done
done

ft=$(best "${flac_t[@]}")
vt=$(best "${verify[@]}")
rt=$(best "${repair[@]}")
echo "disc: $n tracks, $minutes minutes; best of $runs runs; load: $(cut -d' ' -f1-3 /proc/loadavg)"
printf 'flac -t:          %7.2f s\n' "$ft"
printf 'verify:           %7.2f s  = %.2f x flac -t (goal <= 1.3)\n' "$vt" "$(calc "$vt / $ft")"
printf 'repair:           %7.2f s  = %.2f x flac -t (goal <= 3)\n' "$rt" "$(calc "$rt / $ft")"
for format in wav flac; do
    # shellcheck disable=SC2086
    ww=$(best ${rip_wall[$format-with]}) wo=$(best ${rip_wall[$format-without]})
    # shellcheck disable=SC2086
    cw=$(best ${rip_cpu[$format-with]}) co=$(best ${rip_cpu[$format-without]})
    printf 'rip to %-4s with CTDB: %6.2f s = %.3f x without (%.2f s); CPU %.2f s = %.3f x (%.2f s); goal <= 1.05\n' \
        "$format" "$ww" "$(calc "$ww / $wo")" "$wo" "$cw" "$(calc "$cw / $co")" "$co"
done
