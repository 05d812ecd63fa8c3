#!/usr/bin/env bash
# The window's own memory (RssAnon: heap, stacks, relocated library data; not the
# shared library code) while it reads a module paced like a real 19200 bit/s line,
# with the trend closed and after a while with it open, and whether the trend's chart
# library is mapped. Prints figures; exits 1 only when something did not run.
#   scripts/trend-footprint.sh [BUILD_DIR]
#   CLOSED_SECONDS=60 OPEN_MINUTES=10 (the defaults) set how long each reads;
#   OPEN_MINUTES=0 leaves the open run out.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
closed_seconds=${CLOSED_SECONDS:-60}
open_minutes=${OPEN_MINUTES:-10}
sim=$build/sim/kvp-sim
reader=$build/src/kvp-reader
[[ -x $sim && -x $reader ]] || { echo "trend-footprint: build first (no $reader or $sim)" >&2; exit 1; }
tmp=$(mktemp -d)
window=
trap 'kill $window 2>/dev/null || true; kill $(jobs -p) 2>/dev/null || true; rm -rf "$tmp"' EXIT
# shellcheck source=scripts/bench-sim.sh
. scripts/bench-sim.sh

field() { awk -v f="$1:" '$1 == f { print $2 }' "/proc/$2/status"; }

measure() { # measure LABEL TREND(0|1) SECONDS
    start_sim "$1" --pace
    local simulator=$!
    # The window's bench mode presses Read itself and opens the trend when asked;
    # a count it never reaches keeps it reading until it is ended here.
    XDG_CONFIG_HOME=$tmp/config KVP_WINDOW_BENCH=1000000000 KVP_WINDOW_BENCH_TREND=$2 \
        QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen} "$reader" --port "$device" >"$tmp/$1.out" 2>"$tmp/$1.err" &
    window=$!
    sleep "$3"
    kill -0 "$window" 2>/dev/null || { echo "trend-footprint: the window ended: $(cat "$tmp/$1.err")" >&2; exit 1; }
    local anon rss charts=no
    anon=$(field RssAnon "$window")
    rss=$(field VmRSS "$window")
    grep -q kvp-trend-chart "/proc/$window/maps" && charts=yes
    printf '%-34s RssAnon %5.1f MB   VmRSS %5.1f MB   chart library mapped: %s\n' \
        "$1:" "$(echo "$anon / 1024" | bc -l)" "$(echo "$rss / 1024" | bc -l)" "$charts"
    kill "$window"
    for _ in $(seq 50); do kill -0 "$window" 2>/dev/null || break; sleep 0.1; done
    kill -9 "$window" 2>/dev/null || true # a window that did not end on SIGTERM
    wait "$window" 2>/dev/null || true
    window=
    kill "$simulator" 2>/dev/null || true
    wait "$simulator" 2>/dev/null || true
}

command -v bc >/dev/null || { echo "trend-footprint: needs bc (apt-get install bc)" >&2; exit 1; }
measure "trend closed, ${closed_seconds} s" 0 "$closed_seconds"
((open_minutes > 0)) && measure "trend open, ${open_minutes} min" 1 $((open_minutes * 60))
exit 0
