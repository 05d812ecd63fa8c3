#!/usr/bin/env bash
# A line that loses or garbles some replies: kvp-sim, paced like a real 19200 bit/s
# 8E1 line, with one fault at a time, read by kvp-reader --console. For each it prints
# the values per second and how many lines the reader wrote to standard error (what
# it said of the line), for this build and, beside it, for another reader:
#   scripts/bench-lossy.sh [SECONDS]
#   KVP_BENCH_READER=/path/to/kvp-reader scripts/bench-lossy.sh   (default: /work/main/build)
#   KVP_BENCH_FAULTS="--drop=0.01 --clash=0.2" scripts/bench-lossy.sh   (the faults to run)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-20}

# shellcheck source=scripts/bench-sim.sh
. scripts/bench-sim.sh
bench_reader_setup

# One run: READER FAULT; prints "values/s stderr-lines".
row() {
    start_sim lossy --pace --seed 5 "${2%%=*}" "${2#*=}"
    local values
    values=$(timeout -s INT "$seconds" "$1" --console --port "$device" 2>"$tmp/err" | wc -l) || true
    kill %% 2>/dev/null; wait 2>/dev/null || true
    # The run's summary is its last line, not something said of the line.
    printf '%.1f %d\n' "$(echo "$values / $seconds" | bc -l)" "$(($(wc -l <"$tmp/err") - 1))"
}

printf 'kvp-sim paced at 19200 bit/s 8E1, one module; %s s a run\n' "$seconds"
printf '%-14s | %-9s | %-12s' "fault" "values/s" "stderr lines"
[[ -n "$other" ]] && printf ' || %-16s | %-12s' "other: values/s" "stderr lines"
printf '\n'
for fault in ${KVP_BENCH_FAULTS:---drop=0.01 --drop=0.05 --drop=0.3 --clash=0.05 --clash=0.2}; do
    read -r v n < <(row "$reader" "$fault")
    printf '%-14s | %-9s | %-12s' "$fault" "$v" "$n"
    if [[ -n "$other" ]]; then
        read -r ov on < <(row "$other" "$fault")
        printf ' || %-16s | %-12s' "$ov" "$on"
    fi
    printf '\n'
done
