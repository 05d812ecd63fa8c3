#!/usr/bin/env bash
# Reads the simulated module through the real 16550 and FTDI drivers of a QEMU guest
# (scripts/realdrivers.py says how). Run as root: Debian's kernel image is readable
# only by root.
#   scripts/realdrivers.sh [BUILD_DIR] [--stty SETTINGS] [--accel auto|kvm|tcg] [--keep]
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh --realdrivers
exec python3 scripts/realdrivers.py "$@"
