# Sourced by the screenshot scripts: a virtual X server, and the window on it.
# Needs fail() from the script that sources it.

# start_xvfb WIDTHxHEIGHT: starts Xvfb on a free-looking display; sets $xvfb and DISPLAY.
start_xvfb() {
    local display=:$((90 + RANDOM % 100))
    Xvfb "$display" -screen 0 "$1"x24 -nolisten tcp &
    xvfb=$!
    export DISPLAY=$display
    for _ in $(seq 50); do
        xdpyinfo >/dev/null 2>&1 && return
        kill -0 $xvfb 2>/dev/null || fail "Xvfb did not start on $display"
        sleep 0.1
    done
    xdpyinfo >/dev/null 2>&1 || fail "Xvfb on $display does not answer"
}

# wait_window: waits up to 10 s for the window of the reader $reader; sets $window.
wait_window() {
    window=
    for _ in $(seq 100); do
        window=$(xdotool search --name '数据读取演示|KV-P Reader' 2>/dev/null | head -n 1) && [[ -n $window ]] && return
        kill -0 $reader 2>/dev/null || fail "kvp-reader ended before its window came up"
        sleep 0.1
    done
    fail "the window did not come up within 10 s"
}
