#!/usr/bin/env bash
# Starts the window under a virtual X server against the built-in simulated module,
# presses Read, lets it read for a moment, and saves a screenshot (default
# docs/window.png). Any step that fails stops the script with its reason.
#   scripts/screenshot.sh [FILE] [--port-list] [--trend]
#     --port-list  with the port list open (Ctrl+P)
#     --trend      with the trend panel open (Ctrl+T), filled for a few seconds
#     --enlarged   the window made larger (936x568): the form centred, the value grown
#     --full-screen  the value alone, full screen (F11), on the whole 640x600 screen
#     --traffic    the traffic view (Ctrl+M) beside the window, with faults on the line
set -euo pipefail
cd "$(dirname "$0")/.."
out=docs/window.png
port_list=
trend=0
enlarged=
full_screen=
traffic=
for arg in "$@"; do
    case $arg in
    --port-list) port_list=1 ;;
    --trend) trend=1 ;;
    --enlarged) enlarged=1 ;;
    --full-screen) full_screen=1 ;;
    --traffic) traffic=1 ;;
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

# Tall enough for the port list to drop below the window, or the trend panel.
screen=640x600
[[ -n $traffic || -n $enlarged ]] && screen=1200x600
reader= xvfb=
# shellcheck source=scripts/screenshot-x.sh
. scripts/screenshot-x.sh
config=$(mktemp -d)
trap 'kill $reader 2>/dev/null || true; { [ -z "$reader" ] || wait $reader; } 2>/dev/null || true; kill $xvfb 2>/dev/null || true; rm -rf "$config"' EXIT
start_xvfb "$screen"

# Settings of its own, so the picture never depends on, or changes, the user's.
export XDG_CONFIG_HOME=$config
if [[ -n $traffic ]]; then
    # A line with faults on it, so that the view has more than good values to show.
    build/sim/kvp-sim --address 3 --corrupt 0.1 --drop 0.1 --split 0.3 >"$config/sim.out" &
    sim=$!
    trap 'kill $reader 2>/dev/null || true; { [ -z "$reader" ] || wait $reader; } 2>/dev/null || true; kill $xvfb $sim 2>/dev/null || true; rm -rf "$config"' EXIT
    device=
    for _ in $(seq 50); do
        device=$(grep -o '/dev/pts/[0-9]*' "$config/sim.out" | head -n 1) && [[ -n $device ]] && break
        sleep 0.1
    done
    [[ -n $device ]] || fail "kvp-sim did not say its device"
    build/src/kvp-reader --port "$device" --address 3 &
else
    build/src/kvp-reader --simulate --address 3 &
fi
reader=$!
wait_window

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
if [[ -n $enlarged ]]; then
    xdotool windowsize --sync "$window" 936 568 2>/dev/null || xdotool windowsize "$window" 936 568
    sleep 1
    import -window root -crop 936x568+0+0 +repage "$out" || fail "could not take the picture"
elif [[ -n $full_screen ]]; then
    xdotool key F11 || fail "could not press F11"
    sleep 1.5
    import -window root "$out" || fail "could not take the picture"
elif [[ -n $traffic ]]; then
    xdotool key ctrl+m || fail "could not open the traffic view"
    sleep 1
    view=$(xdotool search --name '线路通信|Line traffic' 2>/dev/null | head -n 1)
    [[ -n $view ]] || fail "the traffic view did not come up"
    xdotool windowmove "$view" 476 0
    sleep 2
    import -window root -crop 1120x460+0+0 +repage "$out" || fail "could not take the picture"
elif [[ -n $port_list ]]; then
    xdotool key ctrl+p || fail "could not open the port list"
    sleep 1
    # The window and the list below it, on the black of the bare X screen.
    import -window root png:- | convert png:- -trim +repage "$out" || fail "could not take the picture"
else
    import -window root -crop 468x${height}+0+0 +repage "$out" || fail "could not take the picture"
fi
[[ -s $out ]] || fail "$out is empty"
echo "saved $out"
