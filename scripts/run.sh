#!/usr/bin/env bash
# Installs what is missing, builds, and starts kvp-reader. With no arguments it reads
# the built-in simulated module in the window; any arguments are passed on
# (e.g. --port /dev/ttyUSB0, or --console --simulate).
set -euo pipefail
cd "$(dirname "$0")/.."

if (($# == 0)); then set -- --simulate; fi

# The window needs a display; say so now rather than after a build.
wants_window=1
for arg in "$@"; do
    case $arg in
        --console | --list-ports | --help | --help-all | -h | --version | -v) wants_window=0 ;;
    esac
done
has_display() {
    [[ -n ${DISPLAY:-} || -n ${WAYLAND_DISPLAY:-} ]] && return 0
    # offscreen, vnc and the like need no display server.
    [[ -n ${QT_QPA_PLATFORM:-} && ${QT_QPA_PLATFORM} != xcb* && ${QT_QPA_PLATFORM} != wayland* ]]
}
if ((wants_window)) && ! has_display; then
    echo "kvp-reader: no display: set DISPLAY, or use --console" >&2
    exit 1
fi

bash scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build --parallel "$(nproc)"
exec build/src/kvp-reader "$@"
