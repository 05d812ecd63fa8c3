#!/usr/bin/env bash
# How long kvp-reader --console takes to end at SIGTERM while it connects to a serial
# server that does not answer (a listener on 127.0.0.1 whose queue is full, so the
# connection is never made): RUNS signals spread over the 3 s the connection may take.
# Prints the median and the longest time from the signal to the end of the run.
#   scripts/bench-connecting.sh [RUNS]
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-10}
reader=${KVP_READER:-build/src/kvp-reader}
[[ -x $reader ]] || { echo "bench: build $reader first" >&2; exit 1; }
tmp=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null; rm -rf "$tmp"' EXIT

# A queue of one, taken by a connection of our own and never accepted.
python3 -c '
import socket, sys, time
s = socket.socket(); s.bind(("127.0.0.1", 0)); s.listen(0)
c = socket.socket(); c.connect(s.getsockname())
print(s.getsockname()[1], flush=True)
time.sleep(3600)' >"$tmp/port" &
for _ in $(seq 50); do [[ -s $tmp/port ]] && break; sleep 0.1; done
port=$(cat "$tmp/port")

for i in $(seq "$runs"); do
    "$reader" --console --port "tcp://127.0.0.1:$port" 2>/dev/null &
    pid=$!
    sleep "$(awk -v i="$i" -v n="$runs" 'BEGIN { printf "%.2f", 0.1 + 2.8 * (i - 1) / (n > 1 ? n - 1 : 1) }')"
    t0=$(date +%s.%N)
    kill -TERM "$pid"
    wait "$pid" || true
    t1=$(date +%s.%N)
    awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.1f\n", (b - a) * 1000 }' >>"$tmp/ms"
done
sort -n "$tmp/ms" | awk '{ v[NR] = $1 } END { printf "runs %d median_ms %.1f max_ms %.1f\n", NR, v[int((NR + 1) / 2)], v[NR] }'
