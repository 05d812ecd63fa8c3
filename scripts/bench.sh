#!/usr/bin/env bash
# Speed and memory of kvp-reader --console against kvp-sim on a pseudo-terminal,
# beside a minimal blocking poll loop (bench/floor_poll.cpp) in the same run.
#   scripts/bench.sh [VALUES_UNPACED] [VALUES_PACED]
set -euo pipefail
cd "$(dirname "$0")/.."
unpaced=${1:-20000}
paced=${2:-1000}

bash scripts/install-deps.sh
command -v /usr/bin/time >/dev/null || { apt-get update -qq && apt-get install -y -qq time; }
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build --parallel "$(nproc)" >/dev/null
reader=build/src/kvp-reader sim=build/sim/kvp-sim floor=build/bench/floor_poll
tmp=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null; rm -rf "$tmp"' EXIT

# shellcheck source=scripts/bench-sim.sh
. scripts/bench-sim.sh

# Prints "values seconds cpu_seconds max_rss_kb" for the reader.
run_reader() { # run_reader DEVICE COUNT
    /usr/bin/time -f '%e %U %S %M' -o "$tmp/time" "$reader" --console --port "$1" --count "$2" >/dev/null 2>"$tmp/reader.err"
    read -r wall user sys rss <"$tmp/time"
    echo "$2 $wall $(echo "$user + $sys" | bc -l) $rss"
}

measure() { # measure LABEL COUNT REPLY_BYTES SIM_ARGS...
    local label=$1 n=$2 bytes=$3
    start_sim reader --reply-bytes "$bytes" "${@:4}"
    read -r rn rwall rcpu rrss < <(run_reader "$device" "$n")
    kill %% 2>/dev/null; wait 2>/dev/null || true
    start_sim floor --reply-bytes "$bytes" "${@:4}"
    read -r fn fwall fcpu < <("$floor" "$device" "$n" "$bytes")
    kill %% 2>/dev/null; wait 2>/dev/null || true
    awk -v l="$label" -v n="$n" -v rw="$rwall" -v rc="$rcpu" -v rr="$rrss" -v fw="$fwall" -v fc="$fcpu" 'BEGIN {
        printf "%s, %d values\n", l, n
        printf "  kvp-reader --console: %8.1f values/s  %6.1f us CPU/value  peak RSS %.1f MB\n", n/rw, rc*1e6/n, rr/1024
        printf "  floor_poll:           %8.1f values/s  %6.1f us CPU/value\n", n/fw, fc*1e6/n
        printf "  reader / floor:       %8.3f\n", (n/rw)/(n/fw)
    }'
}

command -v bc >/dev/null || { apt-get update -qq && apt-get install -y -qq bc; }
measure "unpaced, 6-byte replies" "$unpaced" 6
# The reader learns the reply length from the replies; the floor is told it.
for bytes in 6 7 8 12; do
    measure "paced at 19200 bit/s 8E1, $bytes-byte replies" "$paced" "$bytes" --pace
    echo "  line limit:           $(awk -v b="$bytes" 'BEGIN { printf "%8.1f", 19200 / (11 * (9 + b)) }') values/s (9 + $bytes bytes of 11 bits)"
done

# The window, unpaced, with the trend panel closed and open: the panel must not slow
# reading (open / closed >= 0.95). The window's hidden bench mode (KVP_WINDOW_BENCH=N)
# presses Read itself and quits after N values with its rate and peak RSS.
window_rate() { # window_rate TREND(0|1) COUNT ; prints "rate peak_rss_kb"
    start_sim window --reply-bytes 6
    KVP_WINDOW_BENCH=$2 KVP_WINDOW_BENCH_TREND=$1 QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen} \
        build/lib/kvp-reader/kvp-reader-window --port "$device" >"$tmp/window.out" 2>"$tmp/window.err"
    kill %% 2>/dev/null; wait 2>/dev/null || true
    awk '{ print $6, $8 }' "$tmp/window.out"
}
read -r closed_rate closed_rss < <(window_rate 0 "$unpaced")
read -r open_rate open_rss < <(window_rate 1 "$unpaced")
awk -v c="$closed_rate" -v o="$open_rate" -v cr="$closed_rss" -v orss="$open_rss" -v n="$unpaced" 'BEGIN {
    printf "window, unpaced, %d values\n", n
    printf "  trend closed:         %8.1f values/s  peak RSS %.1f MB\n", c, cr/1024
    printf "  trend open:           %8.1f values/s  peak RSS %.1f MB\n", o, orss/1024
    printf "  open / closed:        %8.3f (at least 0.95)\n", o/c
}'

# The window's memory with the trend open for a long unpaced run (default 10 min):
# the trend's buckets are allocated up front, so the peak must stay flat.
minutes=${KVP_BENCH_TREND_MINUTES:-10}
if ((minutes > 0)); then
    long=$((minutes * 60 * ${open_rate%.*}))
    read -r _ long_rss < <(window_rate 1 "$long")
    printf "window, trend open, %d min unpaced (%d values): peak RSS %.1f MB\n" "$minutes" "$long" "$(echo "$long_rss / 1024" | bc -l)"
fi
