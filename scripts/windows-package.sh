#!/usr/bin/env bash
# Makes the Windows installer and ZIP from a MinGW cross-build, then tries the
# installer in a fresh Wine prefix: a silent install, the installed program's
# --version (and values read, given a module), and a silent uninstall that leaves no folder behind.
#   scripts/windows-package.sh BUILD_DIR
#   KVP_PACKAGE_DEVICE=/dev/pts/N KVP_PACKAGE_SHIM=ptylines.so scripts/windows-package.sh BUILD_DIR
#       (the installed program also reads 5 values of the module on that pseudo-terminal)
# scripts/windows.sh calls it after its build; it runs alone as well.
set -euo pipefail
build=$(realpath "${1:?usage: windows-package.sh BUILD_DIR}")
cd "$(dirname "$0")/.."
say() { echo "windows-package: $*" >&2; }
fail() { say "$*"; exit 1; }
# The session's wineserver is kept (wine_session), so `wineserver -w` would wait for
# ever: the installer's work, and the uninstaller's copy of itself, are waited for by
# what they leave. within SECONDS COMMAND...: true once COMMAND is.
within() {
    local i
    for ((i = 0; i < $1 * 10; i++)); do "${@:2}" && return 0; sleep 0.1; done
    return 1
}
installed() { found=$(find "$prefix/drive_c" -path '*/kvp-reader/Uninstall.exe' -print -quit) && [[ -n $found ]]; }

(cd "$build" && cpack -G "NSIS;ZIP" >cpack.log 2>&1) || { tail -n 20 "$build/cpack.log" >&2; fail "cpack failed ($build/cpack.log)"; }
installer=$(compgen -G "$build/kvp-reader-*-win64.exe" | head -n 1) || true
[[ -n $installer ]] || fail "cpack made no kvp-reader-*-win64.exe in $build"
[[ -f ${installer%.exe}.zip ]] || fail "cpack made no ${installer%.exe}.zip"
say "made $installer and ${installer%.exe}.zip"

prefix=$(mktemp -d)
trap 'WINEPREFIX=$prefix wineserver -k 2>/dev/null || true; rm -rf "$prefix"' EXIT
export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
# shellcheck source=scripts/wine-session.sh
. scripts/wine-session.sh
wine_session || fail "wineboot could not make a Wine prefix"
no_system_ports
wine "$installer" /S >/dev/null 2>&1 || fail "the installer failed"
within 120 installed || fail "the installer installed no kvp-reader under C: within 2 min"
dir=$(dirname "$found")
say "installed in ${dir#"$prefix/drive_c/"}"
[[ -f $dir/bin/kvp-reader.exe && -f $dir/bin/kvp-reader-window.exe ]] || fail "nothing installed in $dir"
[[ -f $dir/bin/plugins/kvp-trend-chart.dll && -f $dir/bin/platforms/qwindows.dll ]] ||
    fail "the trend's chart or the windows platform plugin is not installed"
version=$(wine "$dir/bin/kvp-reader.exe" --version 2>/dev/null | tr -d '\r') || fail "the installed kvp-reader.exe --version failed"
[[ $version == kvp-reader* ]] || fail "the installed kvp-reader.exe said: $version"
say "installed, and it starts: $version"
# Given a module's pseudo-terminal (and the modem-line shim scripts/windows.sh builds),
# the installed program reads it through COM5, with only what the installer put there.
if [[ -n ${KVP_PACKAGE_DEVICE:-} ]]; then
    com_port 5 "$KVP_PACKAGE_DEVICE"
    values=$(LD_PRELOAD=${KVP_PACKAGE_SHIM:-} timeout 120 wine "$dir/bin/kvp-reader.exe" --console --port COM5 --count 5 2>"$prefix/read.err" | tr -d '\r') ||
        fail "the installed kvp-reader.exe did not read COM5: $(tail -n 3 "$prefix/read.err")"
    [[ $(wc -l <<<"$values") -eq 5 ]] || fail "the installed kvp-reader.exe read: $values"
    say "the installed program read 5 values through COM5"
fi
wine "$dir/Uninstall.exe" /S >/dev/null 2>&1 || fail "the uninstaller failed"
# The uninstaller goes on from a copy of itself.
within 120 test ! -e "$dir" || fail "the uninstaller left $(find "$dir" | head -n 5 | tr '\n' ' ')"
say "uninstalled, nothing left in Program Files"
