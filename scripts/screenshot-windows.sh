#!/usr/bin/env bash
# The Windows window under Wine and a virtual X server, reading kvp-sim through a COM
# port: presses Read, lets it read, saves a screenshot (default docs/windows.png) and
# prints the window's size and the fonts Wine gives the form's two faces.
#   scripts/screenshot-windows.sh [FILE] [--dpi 96|120|144]
# --dpi sets the prefix's LogPixels (96 is 100 %, 120 is 125 %, 144 is 150 %).
# Needs the cross-build of scripts/windows.sh in build-win/ and kvp-sim in build/.
set -euo pipefail
shopt -s extglob
cd "$(dirname "$0")/.."
root=$PWD
out=docs/windows.png
dpi=96
while (($#)); do
    case $1 in
    --dpi) dpi=${2:?--dpi needs 96, 120 or 144}; shift ;;
    *) out=$1 ;;
    esac
    shift
done
fail() {
    echo "screenshot-windows: $*" >&2
    exit 1
}
qt=${KVP_WINDOWS_QT:-$(cd ../shared/winqt/qt6-mingw 2>/dev/null && pwd || true)}
[[ -n $qt && -d $qt/bin ]] || fail "no Qt for MinGW (KVP_WINDOWS_QT, or ../shared/winqt/qt6-mingw)"
program=$root/build-win/bin/kvp-reader-window.exe
sim=$root/build/sim/kvp-sim
[[ -f $program ]] || fail "no $program: run scripts/windows.sh first"
[[ -x $sim ]] || fail "no $sim: run scripts/windows.sh first"
for tool in Xvfb xdotool xwininfo import wine gcc; do
    command -v "$tool" >/dev/null || fail "$tool is missing: bash scripts/install-deps.sh --windows --screenshot"
done

reader= xvfb= simpid=
# shellcheck source=scripts/screenshot-x.sh
. scripts/screenshot-x.sh
tmp=$(mktemp -d /tmp/kvp-winshot.XXXXXX)
cleanup() {
    kill $reader $simpid 2>/dev/null || true
    WINEPREFIX=$tmp/prefix wineserver -k 2>/dev/null || true
    kill $xvfb 2>/dev/null || true
    rm -rf "$tmp"
}
trap cleanup EXIT
start_xvfb 1024x768

export WINEPREFIX=$tmp/prefix WINEDEBUG=-all WINEARCH=win64 WINEDLLOVERRIDES="mscoree,mshtml="
gcc_dlls=$(dirname "$(x86_64-w64-mingw32-g++-posix -print-libgcc-file-name)")
export WINEPATH="Z:${qt//\//\\}\\bin;Z:${gcc_dlls//\//\\};Z:\\usr\\x86_64-w64-mingw32\\lib"
# shellcheck source=scripts/wine-session.sh
. scripts/wine-session.sh
wine_session || fail "wineboot could not make a Wine prefix"
if ((dpi != 96)); then
    # The dots per inch are read when a session starts: a new one, kept as the first was.
    wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null 2>&1
    wineserver -k
    wineserver -w
    wineserver -p >/dev/null 2>&1
    wine cmd /c exit >/dev/null 2>&1
    rm -f "$WINEPREFIX"/dosdevices/com*
fi
# Which fonts Wine puts in the faces' place (no such fonts are in a Wine prefix).
for face in "MS Sans Serif" "宋体" "SimSun"; do
    sub=$(wine reg query 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontSubstitutes' /v "$face" 2>/dev/null |
        tr -d '\r' | awk -F'    ' '/REG_SZ/ {print $NF}' || true)
    echo "font $face: ${sub:-no substitute in the registry}"
done

gcc -shared -fPIC -O2 -Wall -o "$tmp/ptylines.so" tests/wine/ptylines.c -ldl
"$sim" >"$tmp/sim" 2>&1 &
simpid=$!
device=
for _ in $(seq 100); do
    device=$(head -1 "$tmp/sim" 2>/dev/null || true)
    [[ $device == /dev/pts/* ]] && break
    sleep 0.1
done
[[ $device == /dev/pts/* ]] || fail "kvp-sim did not start: $(cat "$tmp/sim")"
com_port 5 "$device"
# The window's own language, whatever the machine's; Wine needs no such host locale.
LANG=zh_CN.UTF-8 LD_PRELOAD=$tmp/ptylines.so wine "$program" --port COM5 >"$tmp/window.log" 2>&1 &
reader=$!
window=
for _ in $(seq 300); do
    # Named by its title, compared here: xdotool's own pattern does not match Wine's
    # Chinese title.
    for id in $(xdotool search --onlyvisible --name . 2>/dev/null); do
        [[ $(xdotool getwindowname "$id" 2>/dev/null) == @(数据读取演示|KV-P Reader) ]] && window=$id
    done
    [[ -n $window ]] && break
    kill -0 $reader 2>/dev/null || fail "the window's program ended: $(tail -n 3 "$tmp/window.log")"
    sleep 0.1
done
[[ -n $window ]] || fail "the window did not come up within 30 s; windows there: $(xdotool search --name . getwindowname %@ 2>/dev/null | tr '\n' ' ')"
sleep 1
xdotool windowfocus --sync "$window" 2>/dev/null || true
xdotool key --window "$window" Tab space || fail "could not press Read"
sleep 3
kill -0 $reader 2>/dev/null || fail "the window's program ended while reading"
geometry=$(xwininfo -id "$window")
width=$(awk '/Width:/ {print $2}' <<<"$geometry")
height=$(awk '/Height:/ {print $2}' <<<"$geometry")
x=$(awk '/Absolute upper-left X:/ {print $4}' <<<"$geometry")
y=$(awk '/Absolute upper-left Y:/ {print $4}' <<<"$geometry")
echo "window at $dpi dpi: ${width}x${height} (client area, as X sees it), at $x,$y"
mkdir -p "$(dirname "$out")"
import -window root -crop "${width}x${height}+${x}+${y}" +repage "$out" || fail "could not take the picture"
[[ -s $out ]] || fail "$out is empty"
echo "saved $out"
