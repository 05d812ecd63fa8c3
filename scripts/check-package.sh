#!/usr/bin/env bash
# Checks a built package without installing it: unpacks it into a temporary folder,
# reads the simulated module with the unpacked program, and renders its manual pages.
#   scripts/check-package.sh build/kvp-reader_<version>_<arch>.deb
set -euo pipefail

deb=$1
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
dpkg-deb -x "$deb" "$root"

fail() { echo "check-package: $*" >&2; exit 1; }

for program in kvp-reader kvp-sim; do
    [[ -x $root/usr/bin/$program ]] || fail "no /usr/bin/$program in $deb"
    file "$root/usr/bin/$program" | grep -q ', stripped' || fail "/usr/bin/$program is not stripped"
done

# Three values from the built-in simulated module, from the unpacked files alone.
values=$(timeout 60 "$root/usr/bin/kvp-reader" --console --simulate --count 3) \
    || fail "the unpacked kvp-reader --console --simulate --count 3 failed"
[[ $(grep -cE '^-?[0-9]+$' <<<"$values") == 3 ]] || fail "expected 3 values, got: $values"
echo "check-package: the unpacked kvp-reader read $(tr '\n' ' ' <<<"$values")"
"$root/usr/bin/kvp-reader" --version
"$root/usr/bin/kvp-sim" --version

# The window's program loads its trend's chart from the library beside it; the
# window's hidden bench mode opens the trend, reads 20 values and says what it loaded.
chart=$root/usr/lib/kvp-reader/plugins/kvp-trend-chart.so
[[ -f $chart ]] || fail "no /usr/lib/kvp-reader/plugins/kvp-trend-chart.so in $deb"
file "$chart" | grep -q ', stripped' || fail "the trend's chart library is not stripped"
bench=$(XDG_CONFIG_HOME=$root/config QT_QPA_PLATFORM=offscreen KVP_WINDOW_BENCH=20 KVP_WINDOW_BENCH_TREND=1 \
    timeout 60 "$root/usr/bin/kvp-reader" --simulate 2>&1) || fail "the unpacked window did not read: $bench"
grep -q 'trend open chart loaded' <<<"$bench" || fail "the unpacked window's trend has no chart: $bench"
echo "check-package: the unpacked window's trend loaded its chart"

for page in "$root"/usr/share/man/man1/*.1.gz; do
    name=$(basename "$page")
    # man renders the page as a reader sees it; groff -ww reports every warning.
    MANWIDTH=80 man -l "$page" >/dev/null || fail "man cannot render $name"
    warnings=$(zcat "$page" | groff -ww -z -man 2>&1)
    [[ -z $warnings ]] || fail "groff warns about $name: $warnings"
    echo "check-package: $name renders without warnings"
done

for path in usr/share/doc/kvp-reader/copyright usr/share/doc/kvp-reader/changelog.gz \
            usr/share/bash-completion/completions/kvp-reader usr/share/bash-completion/completions/kvp-sim \
            usr/share/applications/kvp-reader.desktop usr/share/icons/hicolor/scalable/apps/kvp-reader.svg; do
    [[ -e $root/$path ]] || fail "no /$path in $deb"
done
echo "check-package: $deb is complete"
