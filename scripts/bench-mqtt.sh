#!/usr/bin/env bash
# kvp-reader --console --mqtt against a mosquitto of its own on 127.0.0.1:
#   1. the unpaced reading rate with --mqtt against without it, in turns in one run
#      (target: at least 0.9);
#   2. the reader's RSS over a run in which the broker is killed every INTERVAL
#      seconds and comes back DOWN seconds later (target: flat; the queue is bounded).
#   scripts/bench-mqtt.sh [VALUES [SOAK_SECONDS [INTERVAL [DOWN [TURNS]]]]]
# Defaults: 20000 values a turn, a 600 s soak, a restart every 60 s, 15 s away, 5 turns
# each way; SOAK_SECONDS 0 skips the soak. On a busy machine, take more, shorter turns:
# the ratio of each turn's pair is what to look at then.
set -euo pipefail
cd "$(dirname "$0")/.."
n=${1:-20000} soak=${2:-600} interval=${3:-60} down=${4:-15} turns=${5:-5}

bash scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build --target kvp-reader kvp-sim >/dev/null
reader=${KVP_BENCH_READER:-build/src/kvp-reader} sim=build/sim/kvp-sim
mosquitto=$(command -v mosquitto || echo /usr/sbin/mosquitto)
tmp=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null; rm -rf "$tmp"' EXIT

# shellcheck source=scripts/bench-sim.sh
. scripts/bench-sim.sh
port=$(free_port)
printf 'listener %s 127.0.0.1\nallow_anonymous true\npersistence false\nuser root\n' "$port" >"$tmp/broker.conf"
broker_pid=
start_broker() {
    "$mosquitto" -c "$tmp/broker.conf" >>"$tmp/broker.log" 2>&1 &
    broker_pid=$!
    for _ in $(seq 50); do grep -q " running" "$tmp/broker.log" 2>/dev/null && return; sleep 0.1; done
    echo "bench: mosquitto did not start: $(cat "$tmp/broker.log")" >&2
    exit 1
}
stop_broker() { kill -9 "$broker_pid" 2>/dev/null; wait "$broker_pid" 2>/dev/null || true; : >"$tmp/broker.log"; }
url="mqtt://127.0.0.1:$port/bench"

# 1. Rate: the summary's values per second, TURNS turns each way on one simulator,
#    and CPU time per value (user + system): the reader's whole, and its reading
#    thread's alone, which is what publishing must not add to. The broker runs on the
#    same cores.
start_broker
start_sim rate
rate_of() { sed -n 's/.* values in .* (\([0-9.]*\)\/s).*/\1/p' "$tmp/err"; }
broker_cpu() { awk '{ print $14 + $15 }' "/proc/$broker_pid/stat"; }
hz=$(getconf CLK_TCK)
# Runs the reader, sampling the CPU ticks of the process and of its first thread until
# it ends (the last 20 ms go unseen); sets $rate, $cpu and $reading_cpu (us a value).
run_reader() {
    "$reader" --console --port "$device" --count "$n" "$@" >/dev/null 2>"$tmp/err" &
    local pid=$! all=0 main=0 sample
    while sample=$(awk '{ print $14 + $15 }' "/proc/$pid/stat" 2>/dev/null) && [[ -n $sample ]]; do
        all=$sample
        main=$(awk '{ print $14 + $15 }' "/proc/$pid/task/$pid/stat" 2>/dev/null || echo "$main")
        sleep 0.02
    done
    wait "$pid" || true
    rate=$(rate_of)
    cpu=$(awk -v t="$all" -v n="$n" -v hz="$hz" 'BEGIN { printf "%.1f", t / hz * 1e6 / n }')
    reading_cpu=$(awk -v t="$main" -v n="$n" -v hz="$hz" 'BEGIN { printf "%.1f", t / hz * 1e6 / n }')
}
plain=() mqtt=() plain_cpu=() mqtt_cpu=() plain_reading=() mqtt_reading=()
broker_ticks=0
pairs=()
for turn in $(seq "$turns"); do
    run_reader
    plain+=("$rate") plain_cpu+=("$cpu") plain_reading+=("$reading_cpu")
    before=$(broker_cpu)
    run_reader --mqtt "$url"
    mqtt+=("$rate") mqtt_cpu+=("$cpu") mqtt_reading+=("$reading_cpu")
    broker_ticks=$((broker_ticks + $(broker_cpu) - before))
    pairs+=("$(awk -v p="${plain[-1]}" -v m="${mqtt[-1]}" 'BEGIN { printf "%.2f", m / p }')")
    grep -h "MQTT" "$tmp/err" | sed "s/^/  turn $turn: /"
done
kill %% 2>/dev/null || true
median() { printf '%s\n' "$@" | sort -g | sed -n "$((($# + 1) / 2))p"; }
p=$(median "${plain[@]}") m=$(median "${mqtt[@]}")
echo "rate without --mqtt: ${plain[*]} values/s (median $p)"
echo "rate with --mqtt:    ${mqtt[*]} values/s (median $m)"
awk -v p="$p" -v m="$m" 'BEGIN { printf "ratio with/without: %.2f (target >= 0.90)\n", m / p }'
echo "ratio of each turn's pair: ${pairs[*]} (median $(median "${pairs[@]}"))"
echo "reader CPU per value without --mqtt: ${plain_cpu[*]} us (median $(median "${plain_cpu[@]}"))"
echo "reader CPU per value with --mqtt:    ${mqtt_cpu[*]} us (median $(median "${mqtt_cpu[@]}"))"
echo "reading thread CPU per value without --mqtt: ${plain_reading[*]} us (median $(median "${plain_reading[@]}"))"
echo "reading thread CPU per value with --mqtt:    ${mqtt_reading[*]} us (median $(median "${mqtt_reading[@]}"))"
awk -v t="$broker_ticks" -v n="$n" -v hz="$(getconf CLK_TCK)" \
    -v turns="$turns" 'BEGIN { printf "broker CPU per value (two messages): %.1f us\n", t / hz * 1e6 / (turns * n) }'
echo "cores: $(nproc), load: $(cut -d' ' -f1-3 /proc/loadavg)"

# 1a. Side by side: a reader with --mqtt and one without, each on a simulator of its
#     own, at the same time for 3 s, the simulators swapped every turn. Both see the
#     same machine, which turns one after the other do not: on a small virtual machine
#     the unpaced rate of the reader alone swings with where the scheduler puts it.
start_sim side1
device1=$device side1_pid=$!
start_sim side2
device2=$device side2_pid=$!
sides=()
for turn in $(seq "$turns"); do
    a=$device1 b=$device2
    ((turn % 2)) || { a=$device2 b=$device1; }
    "$reader" --console --port "$a" >/dev/null 2>"$tmp/side.plain" &
    plain_pid=$!
    "$reader" --console --port "$b" --mqtt "$url" >/dev/null 2>"$tmp/side.mqtt" &
    mqtt_pid=$!
    sleep 3
    kill -TERM "$plain_pid" "$mqtt_pid"
    wait "$plain_pid" "$mqtt_pid" || true
    side_rate() { sed -n 's/.* values in .* (\([0-9.]*\)\/s).*/\1/p' "$1"; }
    p=$(side_rate "$tmp/side.plain") m=$(side_rate "$tmp/side.mqtt")
    sides+=("$(awk -v p="$p" -v m="$m" 'BEGIN { printf "%.2f", m / p }')")
    echo "  side by side, turn $turn: $p values/s without, $m with; $(grep -ho '[0-9]* messages delivered.*' "$tmp/side.mqtt")"
done
kill "$side1_pid" "$side2_pid" 2>/dev/null || true
echo "side by side, with/without: ${sides[*]} (median $(median "${sides[@]}"); target >= 0.90)"

# 1b. The same at a real line's pace (19200 bit/s 8E1), where a module gives about
#     110 values a second: 1000 values each way.
start_sim paced --pace
for way in without with; do
    extra=()
    [[ $way == with ]] && extra=(--mqtt "$url")
    "$reader" --console --port "$device" --count 1000 "${extra[@]}" >/dev/null 2>"$tmp/err"
    echo "paced, $way --mqtt: $(rate_of) values/s"
done
kill %% 2>/dev/null || true
((soak > 0)) || exit 0

# 2. RSS while the broker comes and goes. A module of about 400 values a second (800
#    messages): DOWN seconds away fill the 10,000-message queue, so it must drop.
start_sim soak --turnaround 2
"$reader" --console --port "$device" --mqtt "$url" >/dev/null 2>"$tmp/soak.err" &
pid=$!
start=$(date +%s)
next_restart=$((start + interval))
echo "soak: ${soak} s, broker killed every ${interval} s for ${down} s; RSS of kvp-reader (KB) every 10 s:"
samples=()
while (($(date +%s) - start < soak)); do
    now=$(date +%s)
    if ((now >= next_restart)); then
        stop_broker
        sleep "$down"
        start_broker
        next_restart=$((next_restart + interval))
    fi
    samples+=("$(awk '/VmRSS/ { print $2 }' "/proc/$pid/status")")
    echo "  $(($(date +%s) - start)) s: ${samples[-1]} KB"
    sleep 10
done
kill -TERM "$pid"
wait "$pid" || true
printf '%s\n' "${samples[@]}" | awk 'NR == 1 { first = $1 } { if ($1 > max) max = $1; last = $1 }
    END { printf "RSS first %d KB, last %d KB, highest %d KB\n", first, last, max }'
grep -c "unreachable" "$tmp/soak.err" | sed 's/^/broker away, said: /; s/$/ times/'
grep -c "is back;" "$tmp/soak.err" | sed 's/^/broker back, said: /; s/$/ times/'
grep -h "values in\|^kvp-reader: MQTT" "$tmp/soak.err" | sed 's/; 0 bytes.*//'
