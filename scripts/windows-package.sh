#!/usr/bin/env bash
# Makes the Windows installer and ZIP from a MinGW cross-build, then tries the
# installer in a fresh Wine prefix: a silent install, the installed program's
# --version, and a silent uninstall that leaves no folder behind.
#   scripts/windows-package.sh BUILD_DIR
# scripts/windows.sh calls it after its build; it runs alone as well.
set -euo pipefail
build=$(realpath "${1:?usage: windows-package.sh BUILD_DIR}")
cd "$(dirname "$0")/.."
say() { echo "windows-package: $*" >&2; }
fail() { say "$*"; exit 1; }

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
wineserver -w
found=$(find "$prefix/drive_c" -path '*/kvp-reader/bin/kvp-reader.exe' -print -quit)
[[ -n $found ]] || fail "the installer installed no kvp-reader.exe under C:"
dir=$(dirname "$(dirname "$found")")
say "installed in ${dir#"$prefix/drive_c/"}"
[[ -f $dir/bin/kvp-reader.exe && -f $dir/bin/kvp-reader-window.exe ]] || fail "nothing installed in $dir"
[[ -f $dir/bin/plugins/kvp-trend-chart.dll && -f $dir/bin/platforms/qwindows.dll ]] ||
    fail "the trend's chart or the windows platform plugin is not installed"
version=$(wine "$dir/bin/kvp-reader.exe" --version 2>/dev/null | tr -d '\r') || fail "the installed kvp-reader.exe --version failed"
[[ $version == kvp-reader* ]] || fail "the installed kvp-reader.exe said: $version"
say "installed, and it starts: $version"
wine "$dir/Uninstall.exe" /S >/dev/null 2>&1 || fail "the uninstaller failed"
wineserver -w # the uninstaller goes on from a copy of itself
[[ ! -e $dir ]] || fail "the uninstaller left $(find "$dir" | head -n 5 | tr '\n' ' ')"
say "uninstalled, nothing left in Program Files"
