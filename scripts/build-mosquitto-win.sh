#!/usr/bin/env bash
# Builds libmosquitto, the MQTT client library --mqtt publishes through, for 64-bit
# Windows: from Debian's own `mosquitto` source package, cross-compiled with Debian's
# MinGW-w64. Debian packages no MinGW build of it.
#
#   scripts/build-mosquitto-win.sh [PREFIX]
#
# PREFIX (default build-win/mosquitto) receives include/mosquitto.h,
# lib/libmosquitto.dll.a and bin/libmosquitto.dll; hand it to the Windows build as
# -DKVP_MOSQUITTO_ROOT=PREFIX. A prefix that holds the library already is left as
# it is, so a second run costs nothing; delete it to build again.
#
# Without TLS: the Windows build refuses mqtts:// with a message saying so. The
# source tarball is fetched with apt-get source through a deb-src list of our own, so
# the machine's own package lists stay as they are.
set -euo pipefail
cd "$(dirname "$0")/.."
prefix=$(realpath -m "${1:-build-win/mosquitto}")
work=${KVP_MOSQUITTO_WORK:-$(realpath -m build-win/mosquitto-work)}
jobs=${JOBS:-2}
say() { echo "build-mosquitto-win: $*" >&2; }
# A step's output goes to a log, shown only when the step fails.
log=$work/build.log
quiet() {
    "$@" >>"$log" 2>&1 || { tail -n 25 "$log" >&2; say "failed: $* (the whole log: $log)"; exit 1; }
}

if [[ -f $prefix/lib/libmosquitto.dll.a && -f $prefix/bin/libmosquitto.dll && -f $prefix/include/mosquitto.h ]]; then
    say "already built in $prefix"
    exit 0
fi
for tool in x86_64-w64-mingw32-gcc-posix cmake apt-get dpkg-source; do
    command -v "$tool" >/dev/null || {
        say "needs $tool (apt-get install gcc-mingw-w64-x86-64-posix cmake dpkg-dev)"
        exit 1
    }
done

# The source: Debian's tarball and its patches, from the archive the machine uses.
src=$work/src
mkdir -p "$src"
if ! compgen -G "$src/mosquitto_*.dsc" >/dev/null; then
    apt=$work/apt
    mkdir -p "$apt/sources.list.d" "$apt/lists/partial"
    shopt -s nullglob
    sources=(/etc/apt/sources.list.d/*.sources)
    shopt -u nullglob
    ((${#sources[@]})) || { say "no /etc/apt/sources.list.d/*.sources to make a deb-src entry from"; exit 1; }
    sed 's/^Types:.*/Types: deb-src/' "${sources[@]}" >"$apt/sources.list.d/src.sources"
    opts=(-o "Dir::Etc::SourceParts=$apt/sources.list.d" -o "Dir::Etc::SourceList=/dev/null"
          -o "Dir::State::Lists=$apt/lists" -o "Dir::Cache::pkgcache=" -o "Dir::Cache::srcpkgcache=")
    apt-get "${opts[@]}" -qq update ||
        { say "apt-get update of the source lists failed: is the package archive reachable?"; exit 1; }
    (cd "$src" && apt-get "${opts[@]}" -qq source --download-only mosquitto) ||
        { say "apt-get source mosquitto failed"; exit 1; }
fi
tree=$work/mosquitto
if [[ ! -f $tree/CMakeLists.txt ]]; then
    rm -rf "$tree"
    dsc=$(compgen -G "$src/mosquitto_*.dsc" | head -n 1)
    dpkg-source --no-check -x "$dsc" "$tree" >/dev/null
fi
# On Windows the source links threads from a Visual C++ pthreads folder on C:; MinGW's
# POSIX thread model has its own (winpthreads), found by name like on Linux.
sed -i -e 's|C:\\\\pthreads\\\\Pre-built.2\\\\lib\\\\x[0-9]*\\\\pthreadVC2.lib|pthread|' \
       -e 's|C:\\\\pthreads\\\\Pre-built.2\\\\include|""|' "$tree/CMakeLists.txt"

# The client library alone, with the C API only; no broker, clients, plugins, TLS,
# SOCKS or SRV look-ups. Threading on: the library's network loop runs in its own
# thread (mosquitto_loop_start), as on Linux.
toolchain=$work/mingw.cmake
cat >"$toolchain" <<'EOF'
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
EOF
generator=()
command -v ninja >/dev/null && generator=(-G Ninja)
: >"$log"
quiet cmake -S "$tree" -B "$work/build" "${generator[@]}" --log-level=WARNING \
    -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" \
    -DWITH_TLS=OFF -DWITH_TLS_PSK=OFF -DWITH_CJSON=OFF -DWITH_BROKER=OFF -DWITH_APPS=OFF \
    -DWITH_CLIENTS=OFF -DWITH_PLUGINS=OFF -DDOCUMENTATION=OFF -DWITH_SOCKS=OFF -DWITH_SRV=OFF \
    -DWITH_UNIX_SOCKETS=OFF -DWITH_THREADING=ON -DWITH_LIB_CPP=OFF -DWITH_STATIC_LIBRARIES=OFF
quiet cmake --build "$work/build" --parallel "$jobs"
quiet cmake --install "$work/build"
# The source installs the DLL but not its import library, which the linker wants.
cp "$work/build/lib/libmosquitto.dll.a" "$prefix/lib/"
# The library needs the MinGW thread library at run time; the installer collects it
# with the compiler's own.
[[ -f $prefix/lib/libmosquitto.dll.a && -f $prefix/bin/libmosquitto.dll ]] ||
    { say "the build ended without $prefix/lib/libmosquitto.dll.a and bin/libmosquitto.dll"; exit 1; }
say "libmosquitto for Windows in $prefix"
