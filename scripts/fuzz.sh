#!/usr/bin/env bash
# Builds the libFuzzer targets with clang under ASan and UBSan and runs each.
#   scripts/fuzz.sh            1,000,000 inputs per target
#   scripts/fuzz.sh --ci       a short bounded run on the checked-in corpus
set -euo pipefail
cd "$(dirname "$0")/.."

need=()
for p in clang libclang-rt-14-dev cmake ninja-build; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || need+=("$p")
done
if ((${#need[@]})); then
    apt-get update -qq
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${need[@]}"
fi

CXX=clang++ cmake -S tests/fuzz -B build-fuzz -G Ninja >/dev/null
cmake --build build-fuzz --parallel "$(nproc)" >/dev/null

runs=(-runs=1000000)
[[ "${1:-}" == "--ci" ]] && runs=(-max_total_time=20)
for target in fuzz_readcycle fuzz_address fuzz_telnet; do
    corpus=tests/fuzz/corpus/${target#fuzz_}
    work=$(mktemp -d)
    # New inputs go to a scratch folder, so the checked-in corpus only changes on purpose.
    start=$(date +%s)
    build-fuzz/$target "${runs[@]}" -max_len=512 -print_final_stats=1 "$work" "$corpus" 2>"$work.log" || {
        tail -40 "$work.log"
        echo "$target: FOUND A FAULT (see above)"
        exit 1
    }
    execs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$work.log" | grep -o '[0-9]*$')
    cov=$(grep -o 'cov: [0-9]*' "$work.log" | tail -1)
    echo "$target: $execs inputs in $(( $(date +%s) - start )) s, $cov, no finding"
    rm -rf "$work" "$work.log"
done
