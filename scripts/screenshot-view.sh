#!/usr/bin/env bash
# Pictures of what the window shows at a glance, under a virtual X server, against
# the built-in simulated module (the build tree must be built):
#   docs/full-screen-en.png, docs/full-screen-zh.png  F11 with a unit and a limit
#   docs/status-wide.png, docs/status-narrow.png      a long message, 1200 and 468 px wide
#   docs/scale2-panels.png                             QT_SCALE_FACTOR=2, trend and list open, 1280x900
#   scripts/screenshot-view.sh [full-screen-en|full-screen-zh|status|scale2]...   (default: all)
set -euo pipefail
cd "$(dirname "$0")/.."
fail() {
    echo "screenshot-view: $*" >&2
    exit 1
}
for tool in Xvfb xdotool import; do
    command -v "$tool" >/dev/null || fail "$tool is missing: bash scripts/install-deps.sh --screenshot"
done
[[ -x build/src/kvp-reader ]] || fail "build kvp-reader first (cmake --build build --target kvp-reader kvp-reader-window)"
reader= xvfb=
# shellcheck source=scripts/screenshot-x.sh
. scripts/screenshot-x.sh
config=$(mktemp -d)
trap 'kill $reader 2>/dev/null || true; { [ -z "$reader" ] || wait $reader; } 2>/dev/null || true; kill $xvfb 2>/dev/null || true; rm -rf "$config"' EXIT
export XDG_CONFIG_HOME=$config

# run SCREEN LANG ARGS...: a fresh X server and settings, the window up and focused.
run() {
    local screen=$1 lang=$2
    shift 2
    kill $reader $xvfb 2>/dev/null || true
    wait $reader $xvfb 2>/dev/null || true
    rm -rf "${config:?}"/*
    start_xvfb "$screen"
    LANG=$lang LANGUAGE= LC_ALL=$lang build/src/kvp-reader "$@" &
    reader=$!
    wait_window
    # Without a window manager nobody activates the window; the shortcuts need it active.
    local focused=
    for _ in $(seq 20); do
        sleep 0.3
        xdotool windowfocus "$window" 2>/dev/null && focused=1 && break
    done
    [[ -n $focused ]] || fail "could not focus the window"
    sleep 0.5
}

read_now() {
    xdotool key Tab space || fail "could not press Read"
    sleep 2
}

full_screen() {
    local lang=$1
    # Every value below the low limit: the symbol, the unit and the state at once.
    run 1280x720 "$( [[ $lang == en ]] && echo en_US.UTF-8 || echo C.UTF-8 )" \
        --simulate --address 3 --scale 0.001 --decimals 3 --unit kg --low 5000
    read_now
    xdotool key F11 || fail "could not press F11"
    sleep 1.5
    import -window root "docs/full-screen-$lang.png" || fail "could not take the picture"
    echo "saved docs/full-screen-$lang.png"
}

status_line() {
    local port=/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0
    run 1280x400 en_US.UTF-8 --port "$port"
    import -window root -crop 468x284+0+0 +repage docs/status-narrow.png || fail "could not take the picture"
    echo "saved docs/status-narrow.png"
    xdotool windowsize --sync "$window" 1200 284 2>/dev/null || xdotool windowsize "$window" 1200 284
    sleep 1
    import -window root -crop 1200x284+0+0 +repage docs/status-wide.png || fail "could not take the picture"
    echo "saved docs/status-wide.png"
}

scale2() {
    QT_SCALE_FACTOR=2 run 1280x900 C.UTF-8 --simulate --address 3
    read_now
    xdotool key ctrl+t ctrl+b || fail "could not open the panels"
    sleep 6
    import -window root docs/scale2-panels.png || fail "could not take the picture"
    echo "saved docs/scale2-panels.png"
}

# One picture a run, each on an X server of its own.
if (($# != 1)); then
    for w in "${@:-full-screen-en full-screen-zh status scale2}"; do
        for one in $w; do
            bash "$0" "$one" || exit 1
        done
    done
    exit 0
fi
for w in "$1"; do
    case $w in
    full-screen-en) full_screen en ;;
    full-screen-zh) full_screen zh ;;
    status) status_line ;;
    scale2) scale2 ;;
    *) fail "no such picture: $w" ;;
    esac
done
