#!/usr/bin/env bash
# The Windows tier: cross-builds kvp-reader for 64-bit Windows with MinGW-w64 and a Qt
# built for it, runs the core's unit tests as Windows programs under Wine, and reads
# kvp-sim's pseudo-terminal with kvp-reader.exe through a Wine COM port, then makes the
# installer and the ZIP and tries them (scripts/windows-package.sh).
#   scripts/windows.sh          build and test, in build-win/ (and build/ for kvp-sim)
# The Qt for MinGW: KVP_WINDOWS_QT, else ../shared/winqt/qt6-mingw beside the checkout.
# Without one, the tier is skipped (exit 0), saying so. KVP_WINDOWS_KEEP=1 keeps what
# the checks saw (each program's output, the prefix) in /tmp.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

qt=${KVP_WINDOWS_QT:-}
if [[ -z "$qt" && -f ../shared/winqt/qt6-mingw/lib/cmake/Qt6/qt.toolchain.cmake ]]; then
    qt=$(cd ../shared/winqt/qt6-mingw && pwd)
fi
if [[ -z "$qt" || ! -f "$qt/lib/cmake/Qt6/qt.toolchain.cmake" ]]; then
    echo "windows: Windows tier SKIPPED: no Qt for MinGW found (KVP_WINDOWS_QT is ${KVP_WINDOWS_QT:-unset}," \
         "and ../shared/winqt/qt6-mingw holds none); nothing was built or tested for Windows"
    exit 0
fi

bash scripts/install-deps.sh --windows
start=$(date +%s)

# The host's kvp-sim serves the Windows reader; the Windows build is a build of its own.
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build --parallel "$(nproc)" --target kvp-sim
# --mqtt on Windows: libmosquitto cross-built from Debian's source, kept in build-win/ (a
# second run finds it). Where that cannot be done (no package archive), the program is
# built without MQTT, and says so.
mosquitto=${KVP_MOSQUITTO_ROOT:-}
if [[ -z $mosquitto ]]; then
    if bash scripts/build-mosquitto-win.sh "$root/build-win/mosquitto"; then
        mosquitto=$root/build-win/mosquitto
    else
        echo "windows: building without MQTT: libmosquitto for MinGW could not be built (said above)"
    fi
fi
cmake -S . -B build-win -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_TOOLCHAIN_FILE="$qt/lib/cmake/Qt6/qt.toolchain.cmake" -DCMAKE_CROSSCOMPILING_EMULATOR=wine \
    ${mosquitto:+-DKVP_MOSQUITTO_ROOT="$mosquitto"} >/dev/null
cmake --build build-win --parallel "$(nproc)"
sim=$root/build/sim/kvp-sim
reader=$root/build-win/bin/kvp-reader.exe

tmp=$(mktemp -d /tmp/kvp-windows.XXXXXX)
export WINEPREFIX=$tmp/prefix WINEDEBUG=-all WINEARCH=win64
# No Mono or Gecko installer in a fresh prefix: the programs need neither.
export WINEDLLOVERRIDES="mscoree,mshtml="
gcc_dlls=$(dirname "$(x86_64-w64-mingw32-g++-posix -print-libgcc-file-name)")
# Drive Z: is /; winepath would start a session before the COM links are seen to.
export WINEPATH="Z:${mosquitto//\//\\}\\bin;Z:${qt//\//\\}\\bin;Z:${gcc_dlls//\//\\};Z:\\usr\\x86_64-w64-mingw32\\lib"
cleanup() {
    kill $(jobs -p) 2>/dev/null || true
    wineserver -k 2>/dev/null || true
    if [[ -n ${KVP_WINDOWS_KEEP:-} ]]; then echo "windows: what the checks saw is kept in $tmp"; else rm -rf "$tmp"; fi
}
trap cleanup EXIT

# shellcheck source=scripts/wine-session.sh
. scripts/wine-session.sh
wine_session || { echo "windows: wineboot could not make a Wine prefix" >&2; exit 1; }

echo "== the core's unit tests under Wine"
no_system_ports
QT_QPA_PLATFORM=offscreen ctest --test-dir build-win --output-on-failure --timeout 300

# The shim makes Wine see a pseudo-terminal's modem lines up, as a real port's are.
gcc -shared -fPIC -O2 -Wall -o "$tmp/ptylines.so" tests/wine/ptylines.c -ldl

passed=0 failed=0
check() { # check WHAT COMMAND...: counts a check that passed or failed
    if "${@:2}"; then passed=$((passed + 1)); echo "ok   $1"; else failed=$((failed + 1)); echo "FAIL $1"; fi
}
start_sim() { # start_sim NAME ARGS...: kvp-sim on a fresh pty, as COM5; sets $simpid
    "$sim" --log "$tmp/$1.sent" "${@:2}" >"$tmp/$1.sim" 2>&1 &
    simpid=$!
    local device=
    for _ in $(seq 100); do
        device=$(head -1 "$tmp/$1.sim" 2>/dev/null || true)
        [[ "$device" == /dev/pts/* ]] && break
        sleep 0.1
    done
    [[ "$device" == /dev/pts/* ]] || { echo "windows: kvp-sim did not start: $(cat "$tmp/$1.sim")" >&2; exit 1; }
    com_port 5 "$device"
}
stop_sim() { kill "$simpid" 2>/dev/null || true; wait "$simpid" 2>/dev/null || true; }
run_reader() { # run_reader NAME ARGS...: kvp-reader.exe; out, err and status in $tmp
    no_system_ports
    local rc=0
    LD_PRELOAD="$tmp/ptylines.so" timeout 120 wine "$reader" "${@:2}" >"$tmp/$1.out" 2>"$tmp/$1.err" || rc=$?
    echo "$rc" >"$tmp/$1.rc"
}
read_com5() { run_reader "$1" --port COM5 "${@:2}"; } # read_com5 NAME ARGS...: on COM5
in_order() { # in_order NAME: every value read is the one the module sent, in order
    [[ $(wc -l <"$tmp/$1.out") -eq $2 ]] && diff -q <(head -n "$2" "$tmp/$1.sent") "$tmp/$1.out" >/dev/null
}
none_wrong() { # none_wrong NAME: values read are values sent, in their order (some may be missing)
    python3 - "$tmp/$1.sent" "$tmp/$1.out" <<'PY'
import sys
sent = open(sys.argv[1]).read().split()
got = open(sys.argv[2]).read().split()
i = 0
for v in got:
    while i < len(sent) and sent[i] != v:
        i += 1
    if i == len(sent):
        sys.exit(1)
    i += 1
sys.exit(0 if got else 1)
PY
}
interrupt_com5() { # interrupt_com5 NAME [stalled] ARGS...: kvp-reader.exe on COM5 ended by Ctrl+C
    # (SIGINT, which Wine hands to the console's handlers) once 20 values came, or, with
    # its standard output a pipe that nobody reads, once it says so; status in $tmp/NAME.rc
    no_system_ports
    local name=$1 stalled=
    shift
    [[ ${1:-} == stalled ]] && { stalled=1; shift; }
    LD_PRELOAD="$tmp/ptylines.so" python3 - "$tmp/$name" "$stalled" wine "$reader" --port COM5 "$@" <<'PY'
import fcntl, os, signal, subprocess, sys, time
base, stalled, command = sys.argv[1], sys.argv[2] == "1", sys.argv[3:]
if stalled:
    r, out = os.pipe()
    fcntl.fcntl(out, 1031, 4096)  # F_SETPIPE_SZ: the least a pipe holds
else:
    out = os.open(base + ".out", os.O_WRONLY | os.O_CREAT | os.O_TRUNC)
with open(base + ".err", "wb") as err:
    p = subprocess.Popen(command, stdout=out, stderr=err)
os.close(out)
def due():
    if stalled:
        return b"not taking" in open(base + ".err", "rb").read()
    return open(base + ".out", "rb").read().count(b"\n") >= 20
# Under a loaded Wine the serial line is slow, and a stalled pipe takes a while to fill.
deadline = time.monotonic() + (240 if stalled else 90)
while p.poll() is None and not due() and time.monotonic() < deadline:
    time.sleep(0.1)
p.send_signal(signal.SIGINT)
try:
    rc = p.wait(30)
except subprocess.TimeoutExpired:
    p.kill()
    rc = "hung"
open(base + ".rc", "w").write(str(rc))
PY
}
status_is() { [[ $(cat "$tmp/$1.rc") == "$2" ]]; }
err_says() { grep -qF -- "$2" "$tmp/$1.err"; }

echo "== kvp-reader.exe against kvp-sim through COM5"
start_sim plain
read_com5 plain --console --count 200
stop_sim
check "200 values, the ones sent, in order" in_order plain 200
check "exit status 0" status_is plain 0

start_sim faults --split 0.3 --drop 0.1 --corrupt 0.1 --stray 0.1 --seed 7
read_com5 faults --console --count 200
stop_sim
check "split, lost, corrupt and stray replies: no value wrong" none_wrong faults
check "the summary counts the faults" err_says faults "time-outs"

start_sim scan --address 3,7,12
read_com5 scan --scan
stop_sim
check "--scan finds a bus of three" bash -c "grep -q 3 '$tmp/scan.out' && grep -q 7 '$tmp/scan.out' && grep -q 12 '$tmp/scan.out'"

read_com5 badaddress --console --address 32
check "a bad address exits 2" status_is badaddress 2
check "a bad address is named" err_says badaddress "--address must be"

run_reader ports --list-ports
# Wine's own list (SetupAPI, the registry's SERIALCOMM) holds the COM ports it made at
# start, not the link made since: listed is what Windows says it has.
check "--list-ports lists what Windows says it has" grep -q '^COM[0-9]' "$tmp/ports.out"
check "--list-ports: exit status 0" status_is ports 0

start_sim interrupted
interrupt_com5 interrupted --console
check "Ctrl+C ends the run with status 0" status_is interrupted 0
check "Ctrl+C: the run's summary" err_says interrupted " commands, "
stop_sim
# A fresh module, as every run here has: the same pseudo-terminal opened again after a
# run ended by Ctrl+C was refused its line settings by Wine (error 87).
start_sim stalled
interrupt_com5 stalled stalled --console
stop_sim
check "standard output that nobody reads is said, and the run goes on" err_says stalled "is not taking"
check "Ctrl+C with standard output stalled: status 0" status_is stalled 0
check "Ctrl+C with standard output stalled: what was not taken is said" \
    err_says stalled "not yet taken by standard output"

if [[ -n $mosquitto ]]; then
    broker_port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
    printf 'listener %s 127.0.0.1\nallow_anonymous true\n' "$broker_port" >"$tmp/broker.conf"
    mosquitto -c "$tmp/broker.conf" >"$tmp/broker.log" 2>&1 &
    brokerpid=$!
    for _ in $(seq 50); do mosquitto_sub -h 127.0.0.1 -p "$broker_port" -t x -W 1 -C 1 -E >/dev/null 2>&1 && break; sleep 0.1; done
    mosquitto_sub -h 127.0.0.1 -p "$broker_port" -v -t 'kvp/#' -C 8 -W 90 >"$tmp/mqtt.sub" 2>&1 &
    subpid=$!
    start_sim mqtt
    read_com5 mqtt --console --count 20 --mqtt "mqtt://127.0.0.1:$broker_port/kvp"
    stop_sim
    wait "$subpid" || true
    kill "$brokerpid" 2>/dev/null || true
    check "--mqtt publishes to a broker on the host: status, state and values" \
        bash -c "grep -q '^kvp/status online' '$tmp/mqtt.sub' && grep -q '^kvp/0/state live' '$tmp/mqtt.sub' && grep -q '^kvp/0/value ' '$tmp/mqtt.sub'"
    read_com5 mqtts --console --count 1 --mqtt mqtts://127.0.0.1/kvp
    check "mqtts:// without TLS in the build: refused, exit 2" status_is mqtts 2
    check "mqtts:// without TLS in the build: said why" err_says mqtts "mqtts:// (TLS) is not in this build"
fi

start_sim gone
# Killed once values flow, however long Wine took to start.
(
    for _ in $(seq 600); do
        [[ $({ wc -l <"$tmp/gone.out"; } 2>/dev/null || echo 0) -ge 20 ]] && break # the file comes with the reader
        sleep 0.1
    done
    kill "$simpid"
) &
read_com5 gone --console --give-up 3
check "kvp-sim killed mid-run: the device is gone" err_says gone "went away"
check "values came before it went" test -s "$tmp/gone.out"

echo "== the installer and the ZIP"
# Without the build's search path: what the installed program needs must be installed.
start_sim installed
check "installer and ZIP made; installed, read values and uninstalled under Wine" \
    env -u WINEPATH -u LD_PRELOAD KVP_PACKAGE_DEVICE="$(head -1 "$tmp/installed.sim")" KVP_PACKAGE_SHIM="$tmp/ptylines.so" \
    bash scripts/windows-package.sh "$root/build-win"
stop_sim

echo "windows: $passed passed, $failed failed ($(($(date +%s) - start)) s)"
((failed == 0))
