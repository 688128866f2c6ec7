#!/usr/bin/env bash
# Secure reading benchmark, on a CUE/BIN image of the corpus (about 13 minutes of real
# music): a secure rip (`rip --secure`: every track read twice and compared) against a plain
# rip of the same clean image in the same run (goal: secure <= 2.2x plain). Both rips must
# be the image's audio byte for byte. Then the same on an NRG image of the corpus, which is
# read through libcdio as a physical drive is, standing in for a 40x drive, with a read offset
# of 0, +667 and -1000 samples stored for it: a table of secure against plain.
#
#   BW_CORPUS=/work/corpus bench/secure_rip.sh
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
cli=${BW_CLI:-$repo/build/brindlewave-cli}
corpus=${BW_CORPUS:-$repo/build/corpus}
runs=${BW_BENCH_RUNS:-3}

[ -x "$cli" ] || { echo "secure_rip.sh: build first (scripts/build)" >&2; exit 1; }
work=$(mktemp -d "${TMPDIR:-/tmp}/bw-bench-secure.XXXXXX")
trap 'rm -rf "$work"' EXIT
. "$repo/bench/corpus_image.sh"
make_corpus_image "$work"

# Rips the whole disc to WAV; $1 names the run, the rest are extra options.
rip() {
    local name=$1
    shift
    rm -rf "$work/$name" && mkdir -p "$work/$name"
    local start
    start=$(now)
    BRINDLEWAVE_CD_IMAGES=${drive:-$cue} XDG_CONFIG_HOME=$work/config \
        BRINDLEWAVE_ACCURATERIP_SERVER=127.0.0.1:1 \
        "$cli" rip --format wav --output "$work/$name" "$@" >/dev/null 2>"$work/$name.log" ||
        { cat "$work/$name.log" >&2; exit 1; }
    sync -f "$work/$name"
    calc "$(now) - $start"
}

plain_times=()
secure_times=()
for _ in $(seq "$runs"); do
    plain_times+=("$(rip plain)")
    secure_times+=("$(rip secure --secure)")
done
for f in "$work"/plain/*.wav; do
    cmp -s "$f" "$work/secure/$(basename "$f")" ||
        { echo "secure_rip.sh: $(basename "$f") differs between the rips" >&2; exit 1; }
done
# The secure rip said of every track that its two reads agreed.
[ "$(grep -c ': Copy OK$' "$work/secure.log")" -eq "$n" ] ||
    { cat "$work/secure.log" >&2; echo "secure_rip.sh: not every track read securely" >&2; exit 1; }
ripped=("$work"/plain/Track*.wav)
[ "${#ripped[@]}" -eq "$n" ] || { echo "secure_rip.sh: ${#ripped[@]} of $n tracks ripped" >&2; exit 1; }
cmp -s <(for f in "$work"/plain/Track*.wav; do tail -c +45 "$f"; done) "$bin" ||
    { echo "secure_rip.sh: the rip differs from the image" >&2; exit 1; }

plain=$(best "${plain_times[@]}")
secure=$(best "${secure_times[@]}")
printf 'image: %d tracks, %d sectors (%d:%02d)\n' "$n" "$sectors" $((seconds / 60)) $((seconds % 60))
printf 'plain rip  (best of %d): %.3f s\n' "$runs" "$plain"
printf 'secure rip (best of %d): %.3f s\n' "$runs" "$secure"
printf 'ratio secure/plain: %.2f (goal <= 2.2)\n' "$(calc "$secure / $plain")"

# The NRG table: the drive reads without an offset of its own, so that with a stored offset
# every read straddles two sectors. Both rips must give the same files (the image's audio at
# offset 0), and the secure rip must say Copy OK of every track.
python3 "$repo/bench/nrg_image.py" "$bin" "$work/disc.nrg" "${lengths[@]}"
drive=$work/disc.nrg
mkdir -p "$work/config/Vellamor/Brindlewave"
export BRINDLEWAVE_CD_FAULTS=speed:40
printf '\nNRG image at 40x, read offset stored for it\n'
printf 'offset   plain (s)  secure (s)  ratio (goal <= 2.2)\n'
for offset in 0 667 -1000; do
    printf '[AccurateRip]\nReadOffset IMAGE disc.nrg=%s\n' "$offset" \
        >"$work/config/Vellamor/Brindlewave/options.ini"
    plain=$(rip nrg-plain)
    secure=$(rip nrg-secure --secure)
    for f in "$work"/nrg-plain/Track*.wav; do
        cmp -s "$f" "$work/nrg-secure/$(basename "$f")" ||
            { echo "secure_rip.sh: $(basename "$f") differs between the rips at $offset" >&2; exit 1; }
    done
    if [ "$offset" = 0 ]; then
        cmp -s <(for f in "$work"/nrg-secure/Track*.wav; do tail -c +45 "$f"; done) "$bin" ||
            { echo "secure_rip.sh: the NRG rip differs from the image" >&2; exit 1; }
    fi
    [ "$(grep -c ': Copy OK$' "$work/nrg-secure.log")" -eq "$n" ] ||
        { cat "$work/nrg-secure.log" >&2; echo "secure_rip.sh: not every track read securely" >&2; exit 1; }
    printf '%+6d   %9.2f  %10.2f  %5.2f\n' "$offset" "$plain" "$secure" "$(calc "$secure / $plain")"
done
unset BRINDLEWAVE_CD_FAULTS
echo "load: $(uptime | sed 's/.*load average: //')"
