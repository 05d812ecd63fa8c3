#!/usr/bin/env bash
# The trend under a virtual X server: a bus of modules played by kvp-sim, read as
# the window reads a bus (the list of modules), with a gap where the simulator was
# held for a few seconds, saved as a picture of the window.
#   scripts/screenshot-trend.sh [FILE] [--modules 3,7,9,12] [--scale 2] [--this] [--units] [--list]
#     --modules  the addresses on the bus (default 3,7,9,12; one address: no bus)
#     --scale    QT_SCALE_FACTOR, on a 1280x900 screen; prints whether the window fits
#     --this     the box's module alone instead of every module
#     --units    every module in kg (count × 0.001), the first with limits of ±1000 kg,
#                and the list of modules open below the trend
#     --list     the list of modules alone, no trend, in English, the last address
#                on the bus silent: docs/modules.png is made with
#                `scripts/screenshot-trend.sh docs/modules.png --modules 3,7,9 --list`
# Needs a build (build/); installs Xvfb and its tools like scripts/screenshot.sh.
set -euo pipefail
cd "$(dirname "$0")/.."
out=docs/trend.png
modules=3,7,9,12
scale=
all=true
units=
list=
while (($#)); do
    case $1 in
    --modules) modules=$2; shift ;;
    --scale) scale=$2; shift ;;
    --this) all=false ;;
    --units) units=1 ;;
    --list) list=1 ;;
    *) out=$1 ;;
    esac
    shift
done
fail() { echo "screenshot-trend: $*" >&2; exit 1; }

bash scripts/install-deps.sh --screenshot
for tool in Xvfb xdotool import; do
    command -v "$tool" >/dev/null || fail "$tool is missing after installing the dependencies"
done
[[ -x build/src/kvp-reader && -x build/sim/kvp-sim ]] || fail "build first: cmake --build build"

tmp=$(mktemp -d)
sim=build/sim/kvp-sim
reader= xvfb= device=
trap 'kill $reader 2>/dev/null || true; { [ -z "$reader" ] || wait $reader; } 2>/dev/null || true; kill $xvfb 2>/dev/null || true; kill -CONT %1 2>/dev/null || true; kill %1 2>/dev/null || true; rm -rf "$tmp"' EXIT
# shellcheck source=scripts/bench-sim.sh
. scripts/bench-sim.sh
# shellcheck source=scripts/screenshot-x.sh
. scripts/screenshot-x.sh
answering=$modules
[[ -n $list ]] && answering=${modules%,*}
start_sim bus --address "$answering" --pace # as fast as a real 19200 bit/s line

screen=640x900
[[ -n $scale ]] && screen=1280x900
start_xvfb "$screen"

# Settings of its own: the list of modules, and the trend open for every module.
export XDG_CONFIG_HOME=$tmp/config
mkdir -p "$XDG_CONFIG_HOME/kvp-reader"
cat >"$XDG_CONFIG_HOME/kvp-reader/kvp-reader.conf" <<CONF
[read]
address=${modules%%,*}
[window]
modules=$modules
[trend]
open=$([[ -n $list ]] && echo false || echo true)
spanSeconds=30
allModules=$all
CONF
if [[ -n $units ]]; then
    echo "[readout]" >>"$XDG_CONFIG_HOME/kvp-reader/kvp-reader.conf"
    IFS=, read -ra addresses <<<"$modules"
    for a in "${addresses[@]}"; do
        printf '%s\\scale=0.001\n%s\\decimals=3\n%s\\unit=kg\n' "$a" "$a" "$a"
    done >>"$XDG_CONFIG_HOME/kvp-reader/kvp-reader.conf"
    printf '%s\\low=-1000\n%s\\high=1000\n' "${addresses[0]}" "${addresses[0]}" >>"$XDG_CONFIG_HOME/kvp-reader/kvp-reader.conf"
fi
[[ -n $scale ]] && export QT_SCALE_FACTOR=$scale
if [[ -n $list ]]; then
    export LANG=en_US.UTF-8 LC_ALL=en_US.UTF-8 LANGUAGE=
fi
build/src/kvp-reader --port "$device" &
reader=$!
wait_window
xdotool windowfocus --sync "$window" 2>/dev/null || true
sleep 0.5
xdotool key Tab space || fail "could not press Read"
if [[ -n $units || -n $list ]]; then
    xdotool key ctrl+b || fail "could not open the list of modules"
fi
sleep 9
if [[ -z $list ]]; then
    kill -STOP %1 # every module falls silent: a gap in each line
    sleep 5
    kill -CONT %1
    sleep 9
fi
kill -0 $reader 2>/dev/null || fail "kvp-reader ended while reading"
eval "$(xdotool getwindowgeometry --shell "$window")"
echo "window ${WIDTH}x${HEIGHT} at ${X},${Y} on a ${screen} screen"
if [[ -n $scale ]]; then
    ((Y + HEIGHT <= ${screen#*x})) || fail "the window (${HEIGHT} high at ${Y}) does not fit the ${screen} screen"
    echo "fits"
fi
import -window root -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage "$out" || fail "could not take the picture"
echo "saved $out"
