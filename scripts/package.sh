#!/usr/bin/env bash
# Builds the Debian package build/kvp-reader_<version>_<arch>.deb and checks it with
# lintian, which must find no errors. The package is built in build-deb/ with Debian's
# compiler and linker flags (hardening), without the tests; the .deb is copied to build/.
#   scripts/package.sh           build and lint
#   scripts/package.sh --check   also unpack it and run it from there, and render its
#                                manual pages (what CI does)
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh --package

dir=build-deb
# The flags a Debian package is built with, all hardening on: fortified functions,
# stack protector, position-independent code, read-only relocations bound at start.
# RelWithDebInfo keeps -O2 and NDEBUG as in the tested build; the debug information is
# stripped from the packaged files.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
CXXFLAGS="$(dpkg-buildflags --get CXXFLAGS) $(dpkg-buildflags --get CPPFLAGS)"
LDFLAGS="$(dpkg-buildflags --get LDFLAGS)"
export CXXFLAGS LDFLAGS
# A fresh configuration each time, so flags from an earlier run never linger.
rm -rf "$dir/CMakeCache.txt" "$dir/_CPack_Packages"
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKVP_BUILD_TESTS=OFF >/dev/null
cmake --build "$dir" --parallel "$(nproc)"
rm -f "$dir"/kvp-reader_*.deb
(cd "$dir" && cpack -G DEB)

deb=$(ls "$dir"/kvp-reader_*.deb)
mkdir -p build
rm -f build/kvp-reader_*.deb
cp "$deb" build/
deb=build/$(basename "$deb")

echo "== $deb"
dpkg-deb --field "$deb"
# lintian prints errors, warnings and notes; only errors fail. Its complaint about
# running as root (as CI does) is not about the package.
status=0
lintian --display-level '>=info' --fail-on error "$deb" >"$dir/lintian.txt" 2>&1 || status=$?
grep -v 'running with root privileges' "$dir/lintian.txt" || true
if ((status != 0)); then
    echo "package.sh: lintian found errors in $deb" >&2
    exit 1
fi
echo "package.sh: $deb"

if [[ "${1:-}" == "--check" ]]; then
    bash scripts/check-package.sh "$deb"
fi
