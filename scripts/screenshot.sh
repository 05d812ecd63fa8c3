#!/usr/bin/env bash
# Starts the window under a virtual X server against the built-in simulated module,
# lets it read for a moment, and saves a screenshot (default docs/window.png).
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:-docs/window.png}
bash scripts/install-deps.sh --screenshot
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build --parallel "$(nproc)" >/dev/null
mkdir -p "$(dirname "$out")"

display=:$((90 + RANDOM % 100))
Xvfb "$display" -screen 0 640x420x24 -nolisten tcp &
xvfb=$!
trap 'kill $reader $xvfb 2>/dev/null || true' EXIT
sleep 1
DISPLAY=$display build/src/kvp-reader --simulate --address 3 &
reader=$!
sleep 2
# Press Read: focus starts in the address box, so Tab once moves to the button.
DISPLAY=$display xdotool key Tab space 2>/dev/null || true
sleep 2
# No window manager runs, so the window sits at the top left, without a frame.
DISPLAY=$display import -window root -crop 468x284+0+0 +repage "$out"
echo "saved $out"
