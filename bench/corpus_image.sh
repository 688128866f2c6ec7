# Sourced by the benchmarks: make_corpus_image DIR writes DIR/disc.cue and DIR/disc.bin, the
# corpus tracks one after another (each cut to whole sectors), and sets n (tracks), sectors,
# seconds and lengths (each track's sectors).
make_corpus_image() {
    local dir=$1 wav length
    local tracks=("$corpus"/0[1-5]-*.wav)
    [ -f "${tracks[0]}" ] || { echo "no corpus in $corpus (BW_CORPUS)" >&2; exit 1; }
    bin=$dir/disc.bin
    cue=$dir/disc.cue
    echo 'FILE "disc.bin" BINARY' >"$cue"
    : >"$bin"
    sectors=0
    n=0
    lengths=()
    for wav in "${tracks[@]}"; do
        length=$(( ($(stat -c %s "$wav") - 44) / 2352 ))
        n=$((n + 1))
        lengths+=("$length")
        dd if="$wav" iflag=skip_bytes,count_bytes skip=44 count=$((length * 2352)) bs=1M \
            status=none >>"$bin"
        printf '  TRACK %02d AUDIO\n    INDEX 01 %02d:%02d:%02d\n' "$n" \
            $((sectors / 4500)) $((sectors / 75 % 60)) $((sectors % 75)) >>"$cue"
        sectors=$((sectors + length))
    done
    seconds=$((sectors / 75))
    cat "$bin" >/dev/null # every rip reads from the page cache
}

now() { date +%s.%N; }
calc() { awk "BEGIN { print $1 }"; }
# The best of the runs: other work on the machine only ever adds time.
best() { printf '%s\n' "$@" | sort -g | head -n 1; }
