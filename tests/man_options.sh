#!/usr/bin/env bash
# Fails when a manual page and its program's --help list different options.
#   man_options.sh PROGRAM PAGE [PROGRAM PAGE ...]
# Both sides are parsed, so a new option fails here until the page describes it,
# with a diff that names it. Each option is compared with its aliases and value name:
# "-h, --help" and "--port DEVICE".
set -euo pipefail

# --help lists an option as "  -h, --help  text" or "  --port <DEVICE>  text"; the
# text starts after two spaces, or on the next line when the option is long.
help_options() {
    awk '
        /^  -/ {
            entry = substr($0, 3)
            sub(/  .*/, "", entry)
            gsub(/[<>]/, "", entry)
            sub(/ +$/, "", entry)
            print entry
        }'
}

# The page's OPTIONS section gives each option as the tag of a .TP paragraph, e.g.
# ".BR \-h \", \" \-\-help" or ".BI \-\-port \" DEVICE\"". The tag's words are joined as
# troff joins them (a font macro's arguments run together, quotes keep spaces) and
# the escapes are dropped.
page_options() {
    awk '
        function unescape(s) {
            gsub(/\\-/, "-", s)
            gsub(/\\f(\[[^]]*\]|\(..|.)/, "", s)
            gsub(/\\[%&]/, "", s)
            gsub(/[ \t]+/, " ", s)
            sub(/^ /, "", s); sub(/ $/, "", s)
            return s
        }
        function macro_arguments(s,    out, i, c, quoted) {
            sub(/^\.[A-Za-z]+[ \t]*/, "", s)
            out = ""; quoted = 0
            for (i = 1; i <= length(s); i++) {
                c = substr(s, i, 1)
                if (c == "\"") quoted = !quoted
                else if (quoted || (c != " " && c != "\t")) out = out c
            }
            return out
        }
        /^\.SH/ { section = $0; sub(/^\.SH[ \t]+/, "", section); gsub(/"/, "", section); next }
        section != "OPTIONS" { next }
        /^\.TP/ { tag = 1; next }
        tag { print unescape($0 ~ /^\./ ? macro_arguments($0) : $0); tag = 0 }
    ' "$1"
}

status=0
while (($# >= 2)); do
    program=$1 page=$2
    shift 2
    name=$(basename "$program")
    if ! help=$("$program" --help); then
        echo "FAIL $name: '$program --help' failed" >&2
        status=1
        continue
    fi
    from_help=$(help_options <<<"$help" | sort)
    from_page=$(page_options "$page" | sort)
    if [[ -z "$from_help" || -z "$from_page" ]]; then
        echo "FAIL $name: no options found in $([[ -z "$from_help" ]] && echo "its --help" || echo "$page")" >&2
        status=1
    elif ! diff -u --label "$page (OPTIONS)" --label "$name --help" <(echo "$from_page") <(echo "$from_help"); then
        echo "FAIL $name: the manual page and --help list different options (- page only, + --help only)" >&2
        status=1
    else
        echo "ok   $name: $(wc -l <<<"$from_help") options, the same in $page"
    fi
done
exit $status
