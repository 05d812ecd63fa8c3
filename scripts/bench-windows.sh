#!/usr/bin/env bash
# Paced values/s of the Windows build under Wine beside the Linux build, both reading
# kvp-sim --pace on a pseudo-terminal (19200 bit/s 8E1, 6-byte replies), in one run.
#   scripts/bench-windows.sh [VALUES]     (needs the Qt for MinGW, as scripts/windows.sh)
set -euo pipefail
cd "$(dirname "$0")/.."
n=${1:-500}
qt=${KVP_WINDOWS_QT:-../shared/winqt/qt6-mingw}
[[ -f "$qt/lib/cmake/Qt6/qt.toolchain.cmake" ]] || { echo "bench-windows: no Qt for MinGW at $qt (KVP_WINDOWS_QT)"; exit 0; }
qt=$(cd "$qt" && pwd)
bash scripts/install-deps.sh --windows
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build --parallel "$(nproc)" --target kvp-sim kvp-reader >/dev/null
cmake -S . -B build-win -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_TOOLCHAIN_FILE="$qt/lib/cmake/Qt6/qt.toolchain.cmake" >/dev/null
cmake --build build-win --parallel "$(nproc)" --target kvp-reader >/dev/null
sim=build/sim/kvp-sim
tmp=$(mktemp -d /tmp/kvp-bench-windows.XXXXXX)
export WINEPREFIX=$tmp/prefix WINEDEBUG=-all WINEARCH=win64 WINEDLLOVERRIDES="mscoree,mshtml="
gcc_dlls=$(dirname "$(x86_64-w64-mingw32-g++-posix -print-libgcc-file-name)")
export WINEPATH="Z:${qt//\//\\}\\bin;Z:${gcc_dlls//\//\\};Z:\\usr\\x86_64-w64-mingw32\\lib"
trap 'kill $(jobs -p) 2>/dev/null; wineserver -k 2>/dev/null; rm -rf "$tmp"' EXIT
# shellcheck source=scripts/wine-session.sh
. scripts/wine-session.sh
wine_session || { echo "bench-windows: wineboot could not make a Wine prefix" >&2; exit 1; }
gcc -shared -fPIC -O2 -o "$tmp/ptylines.so" tests/wine/ptylines.c -ldl

# shellcheck source=scripts/bench-sim.sh
. scripts/bench-sim.sh

# The rate from the reader's own summary: the time from its first query to its last
# value, without the start-up of Wine.
rate() { sed -n 's/.* values in .* s (\([0-9.]*\)\/s).*/\1/p' "$1" | tail -1; }

start_sim linux --pace
build/src/kvp-reader --console --port "$device" --count "$n" >/dev/null 2>"$tmp/linux.err"
kill %% 2>/dev/null; wait 2>/dev/null || true
start_sim windows --pace
com_port 5 "$device"
LD_PRELOAD="$tmp/ptylines.so" wine build-win/bin/kvp-reader.exe --console --port COM5 --count "$n" >/dev/null 2>"$tmp/windows.err"
kill %% 2>/dev/null; wait 2>/dev/null || true

echo "paced at 19200 bit/s 8E1, 6-byte replies, $n values"
echo "  Linux kvp-reader:           $(rate "$tmp/linux.err") values/s"
echo "  Windows kvp-reader.exe/Wine: $(rate "$tmp/windows.err") values/s"
echo "  line limit:                 $(awk 'BEGIN { printf "%.1f", 19200 / (11 * 15) }') values/s (9 + 6 bytes of 11 bits)"
grep -h "reply time" "$tmp/linux.err" "$tmp/windows.err" | sed 's/.*reply time/  reply time/'
