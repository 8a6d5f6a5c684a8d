#!/usr/bin/env bash
# A long fuzzing campaign: every target (or those named) runs under AddressSanitizer and
# UndefinedBehaviorSanitizer for a while, one at a time at low priority, then the inputs that
# reached new code are merged, minimised, into fuzz/corpus/<target>/.
#   fuzz/campaign.sh [-t seconds-per-target] [-r runs-per-target] [target...]
# Stops a target at whichever limit comes first (default: 600 s, no run limit). A crash is kept
# as build/fuzz/findings/<target>/crash-* and ends the script with status 1.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=600
runs=-1
while getopts "t:r:" option; do
    case $option in
    t) seconds=$OPTARG ;;
    r) runs=$OPTARG ;;
    *) exit 2 ;;
    esac
done
shift $((OPTIND - 1))

cmake --preset fuzz >/dev/null
nice -n 10 cmake --build --preset fuzz
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
    for binary in build/fuzz/fuzz/fuzz_*; do
        [ -x "$binary" ] && targets+=("$(basename "$binary")")
    done
fi

found=0
for name in "${targets[@]}"; do
    binary=build/fuzz/fuzz/$name
    corpus=fuzz/corpus/$name
    work=build/fuzz/campaign/$name
    findings=build/fuzz/findings/$name
    mkdir -p "$corpus" "$work" "$findings"
    echo "== $name: up to $seconds s, $runs runs"
    # New inputs go to the work folder; the committed corpus is only read until the merge.
    if ! nice -n 19 "$binary" -max_total_time="$seconds" -runs="$runs" -print_final_stats=1 \
        -artifact_prefix="$findings/" "$work" "$corpus" >"$work.log" 2>&1; then
        echo "!! $name found a fault: $(ls "$findings")"
        tail -40 "$work.log"
        found=1
        continue
    fi
    grep -E '^stat::(number_of_executed_units|new_units_added|peak_rss_mb)' "$work.log" || true
    grep -E '^#[0-9]+ *DONE' "$work.log" || true
    # Only inputs that add coverage to what the corpus already has are kept, each as small as found.
    before=$(ls "$corpus" | wc -l)
    nice -n 19 "$binary" -merge=1 "$corpus" "$work" >"$work.merge.log" 2>&1
    echo "   corpus: $before -> $(ls "$corpus" | wc -l) files, $(du -sh "$corpus" | cut -f1)"
done
exit $found
