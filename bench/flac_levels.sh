#!/usr/bin/env bash
# FLAC encoding speed of brindlewave-cli against flac, level by level, on real music.
#
#   bench/flac_levels.sh [CORPUS_DIR]
#
# Encodes the corpus's longest track at each level 0..8 with
#   brindlewave-cli convert --to flac   (the level from the settings file)
#   flac -N
# alternating the two in the same run, and prints the median CPU and wall times, their ratio
# (ours / flac: at most 1.05 is the target) and the output sizes, so that a level that is
# fast because it compresses less shows up (both leave 8 KiB of padding; flac's files hold a
# seek table besides). CPU time is the steadier figure on a busy machine.
#
# Both do the same work: our ReplayGain measurement is off, as flac measures none. With
# BW_FLAC_REPLAYGAIN=1 ours measures ReplayGain 2.0 (libebur128) and flac runs with
# --replay-gain (its own, older measurement) instead.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cli=${BW_CLI:-$root/build/brindlewave-cli}
corpus=${1:-${BW_CORPUS:-/work/corpus}}
runs=${BW_BENCH_RUNS:-5}
levels=${BW_FLAC_LEVELS:-"0 1 2 3 4 5 6 7 8"}
replaygain=${BW_FLAC_REPLAYGAIN:-0}
flac_replaygain=()
[ "$replaygain" = 1 ] && flac_replaygain=(--replay-gain)

[ -x "$cli" ] || { echo "no $cli: build first" >&2; exit 1; }
command -v flac >/dev/null || { echo "flac is missing: scripts/install-deps" >&2; exit 1; }
input=$(ls -S "$corpus"/[0-9]*.wav 2>/dev/null | head -n 1)
[ -n "$input" ] || { echo "no corpus tracks in $corpus" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export XDG_CONFIG_HOME="$work/config"
mkdir -p "$XDG_CONFIG_HOME/Vellamor/Brindlewave" "$work/out"
cp "$input" "$work/track.wav"

# run LABEL CMD...: one timed run; appends "wall-seconds cpu-seconds" to $work/LABEL, to the
# microsecond (the resource usage of the child, not /usr/bin/time's hundredths).
run() {
    local label=$1
    shift
    python3 - "$@" >>"$work/$label" <<'PY'
import resource, subprocess, sys, time
def cpu():  # what finished children used; the interpreter may inherit some from its launcher
    usage = resource.getrusage(resource.RUSAGE_CHILDREN)
    return usage.ru_utime + usage.ru_stime
before, start = cpu(), time.monotonic()
subprocess.run(sys.argv[1:], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)
wall = time.monotonic() - start
print(f"{wall:.4f} {cpu() - before:.4f}")
PY
}
median() { sort -n | awk '{ a[NR] = $1 } END { print a[int((NR + 1) / 2)] }'; }

printf 'Input: %s (%s bytes); median of %d runs each, alternating; ReplayGain %s\n\n' \
    "$(basename "$input")" "$(stat -c %s "$input")" "$runs" \
    "$([ "$replaygain" = 1 ] && echo "measured by both" || echo "off (flac measures none)")"
printf '%-5s %9s %9s %7s %9s %9s %7s %10s %10s\n' level "cpu ours" "flac" ratio \
    "wall ours" "flac" ratio "size ours" "flac"
for level in $levels; do
    printf '[FLACOptions]\nCompression=%d\n[Tags]\nReplayGain=%d\n' "$level" "$replaygain" \
        >"$XDG_CONFIG_HOME/Vellamor/Brindlewave/options.ini"
    for ((i = 0; i < runs; i++)); do
        rm -f "$work/out/track.flac" "$work/flac.flac"
        run "ours-$level" "$cli" convert --to flac -o "$work/out" "$work/track.wav"
        run "flac-$level" flac "-$level" "${flac_replaygain[@]}" -s -f -o "$work/flac.flac" \
            "$work/track.wav"
    done
    [ -s "$work/out/track.flac" ] || { echo "level $level: no output from $cli" >&2; exit 1; }
    # Both must hold the same audio.
    [ "$(metaflac --show-md5sum "$work/out/track.flac")" = \
      "$(metaflac --show-md5sum "$work/flac.flac")" ] || { echo "level $level: MD5 differs" >&2; exit 1; }
    ours_cpu=$(awk '{ print $2 }' "$work/ours-$level" | median)
    flac_cpu=$(awk '{ print $2 }' "$work/flac-$level" | median)
    ours_wall=$(awk '{ print $1 }' "$work/ours-$level" | median)
    flac_wall=$(awk '{ print $1 }' "$work/flac-$level" | median)
    printf '%-5s %9.4f %9.4f %7.3f %9.3f %9.3f %7.3f %10s %10s\n' "$level" "$ours_cpu" \
        "$flac_cpu" "$(echo "$ours_cpu / $flac_cpu" | bc -l)" "$ours_wall" "$flac_wall" \
        "$(echo "$ours_wall / $flac_wall" | bc -l)" "$(stat -c %s "$work/out/track.flac")" \
        "$(stat -c %s "$work/flac.flac")"
done

# The fixed cost of starting each program (loading its shared libraries), within the
# figures above: what separates the two at the fastest levels.
for ((i = 0; i < runs * 3; i++)); do
    run start-ours "$cli" --help
    run start-flac flac --help
done
printf '\nProcess start alone (--help): ours %.4f s, flac %.4f s of CPU\n' \
    "$(awk '{ print $2 }' "$work/start-ours" | median)" \
    "$(awk '{ print $2 }' "$work/start-flac" | median)"
