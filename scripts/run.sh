#!/usr/bin/env bash
# Installs what is missing, builds, and starts kvp-reader. With no arguments it reads
# the built-in simulated module; any arguments are passed on (e.g. --port /dev/ttyUSB0).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build --parallel "$(nproc)" >/dev/null
if (($# == 0)); then set -- --simulate; fi
exec build/src/kvp-reader "$@"
