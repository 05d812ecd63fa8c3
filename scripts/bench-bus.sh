#!/usr/bin/env bash
# A bus with silent addresses: kvp-sim plays modules 3 and 7 only, paced like a real
# 19200 bit/s 8E1 line, and kvp-reader --console is asked for lists that name
# silent addresses too, in every order. For each list it prints when the first value
# of 3 and of 7 came (from the reader's start) and how many values of the live
# modules came per second in the second half of the run, for this build and, beside
# it, for another reader (the landed one) when there is one:
#   scripts/bench-bus.sh [SECONDS]
#   KVP_BENCH_READER=/path/to/kvp-reader scripts/bench-bus.sh   (default: /work/main/build)
#   KVP_BENCH_LISTS="3,7 0-31" scripts/bench-bus.sh 60       (the lists to run; 3,7 first)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-20}

# shellcheck source=scripts/bench-sim.sh
. scripts/bench-sim.sh
bench_reader_setup
stop_sim() { kill %% 2>/dev/null; wait 2>/dev/null || true; }

# One run: READER ADDRESSES; prints "first3 first7 rate" (first values in s, "-" if none).
row() {
    start_sim bus --pace --address 3,7 2>/dev/null
    python3 - "$1" "$device" "$2" "$seconds" <<'EOF'
import os, select, signal, subprocess, sys, time
reader, device, addresses, seconds = sys.argv[1], sys.argv[2], sys.argv[3], float(sys.argv[4])
t0 = time.monotonic()
p = subprocess.Popen([reader, "--console", "--port", device, "--address", addresses],
                     stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
first, late, buf = {}, 0, b""
while (now := time.monotonic() - t0) < seconds:
    if select.select([p.stdout], [], [], 0.05)[0]:
        chunk = os.read(p.stdout.fileno(), 65536)
        if not chunk:
            break
        buf += chunk
        *lines, buf = buf.split(b"\n")
        for line in lines:
            address = line.split(b" ")[0].decode()
            first.setdefault(address, now)
            late += now >= seconds / 2 and address in ("3", "7")
p.send_signal(signal.SIGTERM)
p.wait()
f = lambda a: "%.2f" % first[a] if a in first else "-"
print(f("3"), f("7"), "%.1f" % (late / (seconds / 2)))
EOF
    stop_sim
}

printf 'kvp-sim plays 3 and 7, paced at 19200 bit/s 8E1; %s s a run, values/s over its second half\n' "$seconds"
printf '%-16s | %-22s | %-10s' "--address" "first of 3 / 7, s" "values/s"
[[ -n "$other" ]] && printf ' || %-22s | %-10s' "landed: first 3 / 7" "values/s"
printf '\n'
for list in ${KVP_BENCH_LISTS:-3,7 3,7,9 9,3,7 3,7,9,10,11,12 0-31}; do
    read -r a b r < <(row "$reader" "$list")
    printf '%-16s | %-22s | %-10s' "$list" "$a / $b" "$r"
    [[ "$list" == 3,7 ]] && alone=$r
    if [[ -n "$other" ]]; then
        read -r oa ob orate < <(row "$other" "$list")
        printf ' || %-22s | %-10s' "$oa / $ob" "$orate"
    fi
    [[ "$list" != 3,7 ]] && printf '  (%.2f of 3,7 alone)' "$(echo "$r / $alone" | bc -l)"
    printf '\n'
done
