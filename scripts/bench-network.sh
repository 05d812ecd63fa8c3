#!/usr/bin/env bash
# Values per second of kvp-reader --console reading kvp-sim paced like a real 19200 bit/s
# 8E1 line, in one run: on its pseudo-terminal directly, through socat (raw TCP) and
# through ser2net (Telnet COM port option), both on 127.0.0.1.
#   scripts/bench-network.sh [VALUES]
set -euo pipefail
cd "$(dirname "$0")/.."
n=${1:-2000}

bash scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build --parallel "$(nproc)" --target kvp-reader kvp-sim >/dev/null
reader=build/src/kvp-reader sim=build/sim/kvp-sim
ser2net=$(command -v ser2net || echo /usr/sbin/ser2net)
tmp=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null; rm -rf "$tmp"' EXIT

# shellcheck source=scripts/bench-sim.sh
. scripts/bench-sim.sh
stop_all() { kill $(jobs -p) 2>/dev/null; wait 2>/dev/null || true; }
wait_listen() { # wait_listen PORT: until something listens there (without connecting: socat serves one)
    local hex
    hex=$(printf '%04X' "$1")
    for _ in $(seq 100); do
        grep -q "0100007F:$hex [0-9A-F:]* 0A" /proc/net/tcp && return
        sleep 0.1
    done
    echo "bench: no server on port $1" >&2
    exit 1
}
# Values per second of the reader at --port $1 (a run of $n values).
reader_rate() {
    local t0 t1
    t0=$(date +%s.%N)
    "$reader" --console --port "$1" --count "$n" >"$tmp/out" 2>"$tmp/err"
    t1=$(date +%s.%N)
    [[ $(wc -l <"$tmp/out") -eq $n ]] || { cat "$tmp/err" >&2; exit 1; }
    awk -v n="$n" -v a="$t0" -v b="$t1" 'BEGIN { printf "%.1f", n / (b - a) }'
}

start_sim direct --pace
direct=$(reader_rate "$device")
stop_all

start_sim raw --pace
port=$(free_port)
socat "TCP-LISTEN:$port,bind=127.0.0.1,reuseaddr" "FILE:$device,raw,echo=0" &
wait_listen "$port"
raw=$(reader_rate "tcp://127.0.0.1:$port")
stop_all

# ser2net_rate CHARDELAY: through ser2net, with its wait for more bytes (chardelay) on or off.
ser2net_rate() {
    start_sim rfc --pace
    port=$(free_port)
    printf 'connection: &kvp\n    accepter: telnet(rfc2217),tcp,127.0.0.1,%s\n    connector: serialdev,%s,9600n81,local\n    options:\n      chardelay: %s\n' \
        "$port" "$device" "$1" >"$tmp/ser2net.yaml"
    "$ser2net" -n -u -c "$tmp/ser2net.yaml" 2>/dev/null &
    wait_listen "$port"
    reader_rate "rfc2217://127.0.0.1:$port"
    stop_all
}
rfc=$(ser2net_rate true)
rfcnodelay=$(ser2net_rate false)

awk -v d="$direct" -v r="$raw" -v c="$rfc" -v z="$rfcnodelay" -v n="$n" 'BEGIN {
    printf "paced at 19200 bit/s 8E1, 6-byte replies, %d values\n", n
    printf "  pseudo-terminal directly:        %8.1f values/s\n", d
    printf "  through socat (tcp://):          %8.1f values/s   / direct: %.3f\n", r, r / d
    printf "  through ser2net (rfc2217://):    %8.1f values/s   / direct: %.3f\n", c, c / d
    printf "  ser2net with chardelay: false:   %8.1f values/s   / direct: %.3f\n", z, z / d
}'
