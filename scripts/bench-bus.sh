#!/usr/bin/env bash
# A bus read by kvp-reader --console against kvp-sim playing several modules, paced
# like a real 19200 bit/s 8E1 line, beside the one-module floor loop in the same run:
#   - three live modules read in turn against the floor (at least 0.95: one command
#     on the line at a time, so the line's rate is the limit either way);
#   - two live modules beside a third that never answers, against the two alone
#     (the live ones keep at least 0.8 of their rate).
#   scripts/bench-bus.sh [VALUES]
set -euo pipefail
cd "$(dirname "$0")/.."
n=${1:-3000}

bash scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build --parallel "$(nproc)" >/dev/null
reader=build/src/kvp-reader sim=build/sim/kvp-sim floor=build/bench/floor_poll
tmp=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null; rm -rf "$tmp"' EXIT

# shellcheck source=scripts/bench-sim.sh
. scripts/bench-sim.sh
stop_sim() { kill %% 2>/dev/null; wait 2>/dev/null || true; }
rate() { awk -v n="$1" -v s="$2" 'BEGIN { printf "%.1f", n / s }'; }

# Values per second of the reader on a bus: rate ADDRESSES SIM_ARGS...
reader_rate() {
    start_sim bus --pace --address "$1" "${@:2}"
    local t0 t1
    t0=$(date +%s.%N)
    "$reader" --console --port "$device" --address "$1" --count "$n" >"$tmp/out" 2>"$tmp/err"
    t1=$(date +%s.%N)
    stop_sim
    rate "$n" "$(echo "$t1 - $t0" | bc -l)"
}

command -v bc >/dev/null || { apt-get update -qq && apt-get install -y -qq bc; }
start_sim floor --pace --address 0
read -r fn fwall _ < <("$floor" "$device" "$n" 6)
stop_sim
floor_rate=$(rate "$fn" "$fwall")
bus_rate=$(reader_rate 0,1,2)
two_rate=$(reader_rate 0,1)
dead_rate=$(reader_rate 0,1,2 --drop 2=1)
awk -v f="$floor_rate" -v b="$bus_rate" -v t="$two_rate" -v d="$dead_rate" -v n="$n" 'BEGIN {
    printf "paced at 19200 bit/s 8E1, 6-byte replies, %d values\n", n
    printf "  floor_poll, one module:          %8.1f values/s\n", f
    printf "  kvp-reader, bus of 3:            %8.1f values/s   bus / floor: %.3f (at least 0.95)\n", b, b / f
    printf "  kvp-reader, 2 live:              %8.1f values/s\n", t
    printf "  kvp-reader, 2 live and 1 dead:   %8.1f values/s   with / without: %.3f (at least 0.8)\n", d, d / t
}'
