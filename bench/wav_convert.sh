#!/usr/bin/env bash
# WAV conversion speed and memory of brindlewave-cli against sox, on real music.
#
#   bench/wav_convert.sh [CORPUS_DIR]
#
# Builds a 10-minute 44.1 kHz 16-bit stereo WAV from the corpus (made with
# make-corpus.sh when missing), then times, in the same run and alternating runs:
#   brindlewave-cli convert --to wav        against  sox in.wav out.wav
#   brindlewave-cli convert --to ima-adpcm  against  sox in.wav -e ima-adpcm out.wav
# and prints the median wall and CPU times, their ratios (ours / sox; at most 1.0 means we
# are no slower) and the peak resident memory, also for a 1-minute file to show that it does
# not grow with the file's length. CPU time is the steadier figure on a busy machine.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cli=${BW_CLI:-$root/build/brindlewave-cli}
corpus=${1:-${BW_CORPUS:-/tmp/bw-corpus}}
make_corpus=${BW_MAKE_CORPUS:-/work/shared/corpus/make-corpus.sh}
runs=${BW_BENCH_RUNS:-7}

[ -x "$cli" ] || { echo "no $cli: build first (scripts/build)" >&2; exit 1; }
command -v sox >/dev/null || { echo "sox is missing: scripts/install-deps" >&2; exit 1; }
[ -x /usr/bin/time ] || { echo "/usr/bin/time is missing (package time)" >&2; exit 1; }
tracks=(01-orchestral-wesnoth-northerners 02-metal-muldjord-chaos-god
        03-electronic-singularity-awakening 04-speech-asterisk-allison)
if [ ! -f "$corpus/${tracks[3]}.wav" ]; then
    "$make_corpus" "$corpus" >/dev/null
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
inputs=()
for t in "${tracks[@]}"; do inputs+=("$corpus/$t.wav"); done
sox "${inputs[@]}" "$work/ten.wav" trim 0 600
sox "$work/ten.wav" "$work/one.wav" trim 0 60

# run LABEL CMD...: one timed run; appends "wall-seconds kilobytes cpu-seconds" to $work/LABEL.
run() {
    local label=$1
    shift
    rm -rf "$work/out" "$work/sox-out.wav"
    mkdir -p "$work/out"
    /usr/bin/time -f "%e %M %U %S" -o "$work/time.txt" "$@" >/dev/null 2>&1
    awk '{ printf "%s %s %.2f\n", $1, $2, $3 + $4 }' "$work/time.txt" >>"$work/$label"
}

median() { sort -n | awk '{ a[NR] = $1 } END { print a[int((NR + 1) / 2)] }'; }
peak_mb() { awk '{ if ($2 > m) m = $2 } END { printf "%.1f", m / 1024 }' "$work/$1"; }

for input in ten one; do
    for ((i = 0; i < runs; i++)); do
        run "ours-wav-$input" "$cli" convert --to wav -o "$work/out" "$work/$input.wav"
        run "sox-wav-$input" sox "$work/$input.wav" "$work/sox-out.wav"
        run "ours-ima-$input" "$cli" convert --to ima-adpcm -o "$work/out" "$work/$input.wav"
        run "sox-ima-$input" sox "$work/$input.wav" -e ima-adpcm "$work/sox-out.wav"
    done
done

printf 'Input: 10:00 of 44.1 kHz 16-bit stereo music (%s bytes); median of %d runs each\n\n' \
    "$(stat -c %s "$work/ten.wav")" "$runs"
printf '%-10s %9s %8s %6s %9s %8s %6s %10s %9s %7s\n' format "wall ours" sox ratio \
    "CPU ours" sox ratio "MB 10 min" "MB 1 min" "MB sox"
for fmt in wav ima; do
    wall=$(awk '{print $1}' "$work/ours-$fmt-ten" | median)
    wall_sox=$(awk '{print $1}' "$work/sox-$fmt-ten" | median)
    cpu=$(awk '{print $3}' "$work/ours-$fmt-ten" | median)
    cpu_sox=$(awk '{print $3}' "$work/sox-$fmt-ten" | median)
    ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", (b > 0 ? a / b : 0) }'; }
    printf '%-10s %8ss %7ss %6s %8ss %7ss %6s %10s %9s %7s\n' \
        "$([ $fmt = wav ] && echo wav || echo ima-adpcm)" \
        "$wall" "$wall_sox" "$(ratio "$wall" "$wall_sox")" \
        "$cpu" "$cpu_sox" "$(ratio "$cpu" "$cpu_sox")" \
        "$(peak_mb ours-$fmt-ten)" "$(peak_mb ours-$fmt-one)" "$(peak_mb sox-$fmt-ten)"
done
