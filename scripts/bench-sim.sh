# Sourced by the benchmarks: starts kvp-sim in the background and waits for its device;
# finds a free TCP port.
# Needs $sim (the simulator) and $tmp (a scratch folder).

# For a benchmark of the console reader beside another one: builds this tree's reader
# and simulator, and sets $reader, $sim, $other (KVP_BENCH_READER, or the landed
# build; empty when there is none) and $tmp, removed at exit.
bench_reader_setup() {
    bash scripts/install-deps.sh >/dev/null
    cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
    cmake --build build --parallel 2 --target kvp-reader kvp-sim >/dev/null
    reader=build/src/kvp-reader sim=build/sim/kvp-sim
    other=${KVP_BENCH_READER:-/work/main/build/src/kvp-reader}
    [[ -x "$other" ]] || other=
    tmp=$(mktemp -d)
    trap 'kill $(jobs -p) 2>/dev/null; rm -rf "$tmp"' EXIT
}
start_sim() { # start_sim NAME ARGS... ; sets $device
    "$sim" "${@:2}" >"$tmp/$1.sim" 2>&1 &
    device=
    for _ in $(seq 100); do
        # The background job may not have made its output file yet.
        device=$(head -1 "$tmp/$1.sim" 2>/dev/null || true)
        [[ "$device" == /dev/* ]] && return
        sleep 0.1
    done
    # Never go on without a device: an empty --port would mean the machine's first port.
    echo "bench: kvp-sim did not start: $(cat "$tmp/$1.sim")" >&2
    exit 1
}

# A TCP port of 127.0.0.1 that nothing listens on now, for a server of the benchmark's own.
free_port() { python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'; }
