#!/usr/bin/env bash
# Starts the window under a virtual X server against the built-in simulated module,
# presses Read, lets it read for a moment, and saves a screenshot (default
# docs/window.png). Any step that fails stops the script with its reason.
#   scripts/screenshot.sh [FILE] [--port-list] [--trend]
#     --port-list  with the port list open (Ctrl+P)
#     --trend      with the trend panel open (Ctrl+T), filled for a few seconds
set -euo pipefail
cd "$(dirname "$0")/.."
out=docs/window.png
port_list=
trend=0
for arg in "$@"; do
    case $arg in
    --port-list) port_list=1 ;;
    --trend) trend=1 ;;
    *) out=$arg ;;
    esac
done

fail() {
    echo "screenshot: $*" >&2
    exit 1
}

bash scripts/install-deps.sh --screenshot
for tool in Xvfb xdotool import; do
    command -v "$tool" >/dev/null || fail "$tool is missing after installing the dependencies"
done
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build --parallel "$(nproc)"
mkdir -p "$(dirname "$out")"

display=:$((90 + RANDOM % 100))
# Tall enough for the port list to drop below the window, or the trend panel.
Xvfb "$display" -screen 0 640x600x24 -nolisten tcp &
xvfb=$!
reader=
config=$(mktemp -d)
trap 'kill $reader $xvfb 2>/dev/null || true; rm -rf "$config"' EXIT
export DISPLAY=$display
for _ in $(seq 50); do
    xdpyinfo >/dev/null 2>&1 && break
    kill -0 $xvfb 2>/dev/null || fail "Xvfb did not start on $display"
    sleep 0.1
done
xdpyinfo >/dev/null 2>&1 || fail "Xvfb on $display does not answer"

# Settings of its own, so the picture never depends on, or changes, the user's.
export XDG_CONFIG_HOME=$config
build/src/kvp-reader --simulate --address 3 &
reader=$!
window=
for _ in $(seq 100); do
    window=$(xdotool search --name '数据读取演示|KV-P Reader' 2>/dev/null | head -n 1) && [[ -n $window ]] && break
    kill -0 $reader 2>/dev/null || fail "kvp-reader ended before its window came up"
    sleep 0.1
done
[[ -n $window ]] || fail "the window did not come up within 10 s"

# Without a window manager nobody activates the window; the shortcuts need it active.
xdotool windowfocus "$window" || fail "could not focus the window"
# Press Read: focus starts in the address box, so Tab once moves to the button.
xdotool windowfocus --sync "$window" 2>/dev/null || true
sleep 0.5
xdotool key Tab space || fail "could not press Read"
height=284
if ((trend)); then
    xdotool key ctrl+t || fail "could not open the trend"
    height=$((284 + 232))
    sleep 8
fi
sleep 2
kill -0 $reader 2>/dev/null || fail "kvp-reader ended while reading"
# No window manager runs, so the window sits at the top left, without a frame.
if [[ -n $port_list ]]; then
    xdotool key ctrl+p || fail "could not open the port list"
    sleep 1
    # The window and the list below it, on the black of the bare X screen.
    import -window root png:- | convert png:- -trim +repage "$out" || fail "could not take the picture"
else
    import -window root -crop 468x${height}+0+0 +repage "$out" || fail "could not take the picture"
fi
[[ -s $out ]] || fail "$out is empty"
echo "saved $out"
