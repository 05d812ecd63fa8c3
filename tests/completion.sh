#!/usr/bin/env bash
# Runs the bash completion of kvp-reader and kvp-sim on typed command lines and checks
# what it offers.   completion.sh COMPLETION-SCRIPT KVP-READER KVP-SIM
set -uo pipefail

script=$1 reader=$2 sim=$3
bash_completion=/usr/share/bash-completion/bash_completion
if [[ ! -r $bash_completion ]]; then
    echo "SKIP: bash-completion is not installed"
    exit 77
fi
source "$bash_completion"
source "$script"

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
touch "$tmp/device-a" "$tmp/values.csv"
mkdir -p "$tmp/sys/console" && touch "$tmp/sys/console/active" # no system console, till the last case
export KVP_SYS_CLASS_TTY=$tmp/sys

# Offers what bash would for the line, with the cursor at its end, one a line.
complete_line() {
    local program=$1 line=$2
    # bash splits the line at blanks and around "=" (COMP_WORDBREAKS); so does this.
    local split_line=${line//=/ = }
    local -a typed
    read -ra typed <<<"$split_line"
    [[ $line == *" " || -z $line ]] && typed+=("")
    COMP_WORDS=("$program" "${typed[@]}")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    COMP_LINE="$program $line"
    COMP_POINT=${#COMP_LINE}
    COMPREPLY=()
    _kvp_reader "$program" "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
    printf '%s\n' "${COMPREPLY[@]}" | sort -u
}

serial=""
for device in /dev/ttyS* /dev/ttyUSB* /dev/ttyACM*; do
    [[ -e $device ]] && { serial=$device; break; }
done

# program | typed line | must be offered (space-separated) | must not be offered;
# "-" as the third field: nothing at all must be offered.
cases=(
    "reader|--p|--port|--pace"
    "sim|--p|--pace|--port"
    "reader|--console --co|--console --count|--port"
    "reader|--he|--help --help-all|"
    "sim|--ver|--version|"
    "reader|--port $tmp/dev|$tmp/device-a|--port"
    "reader|--port=$tmp/dev|$tmp/device-a|"
    "sim|--device $tmp/dev|$tmp/device-a|"
    "reader|--log $tmp/v|$tmp/values.csv|"
    "sim|--log $tmp/|$tmp/device-a $tmp/values.csv|"
    "sim|--trace $tmp/d|$tmp/device-a|"
    "reader|--address 3|3 30 31|32 --address"
    "sim|--address |0 17 31|32"
    "reader|--timeout |-|"
    "reader|--timeout --|-|"
    "sim|--seed |-|"
    "reader|--console |-|"
)
if [[ -n $serial ]]; then
    # Only globbed, never opened.
    cases+=("reader|--port ${serial%?}|$serial|" "sim|--device ${serial%?}|$serial|")
fi

passed=0 failed=0
for row in "${cases[@]}"; do
    IFS='|' read -r which line want refuse <<<"$row"
    program=$reader
    [[ $which == sim ]] && program=$sim
    offered=$(complete_line "$program" "$line")
    problems=()
    if [[ $want == - ]]; then
        [[ -n $offered ]] && problems+=("offered something: $(tr '\n' ' ' <<<"$offered")")
    else
        for word in $want; do
            grep -qxF -- "$word" <<<"$offered" || problems+=("lacks $word")
        done
    fi
    for word in $refuse; do
        grep -qxF -- "$word" <<<"$offered" && problems+=("offers $word")
    done
    if ((${#problems[@]})); then
        echo "FAIL $which '$line': ${problems[*]}; offered: $(tr '\n' ' ' <<<"$offered")"
        failed=$((failed + 1))
    else
        passed=$((passed + 1))
    fi
done
if [[ -n $serial ]]; then
    # The system console is not offered; the names here make the first serial device it.
    echo "tty0 ${serial#/dev/}" >"$tmp/sys/console/active"
    if grep -qxF -- "$serial" <<<"$(complete_line "$reader" "--port ${serial%?}")"; then
        echo "FAIL reader '--port ${serial%?}': offers the system console $serial"
        failed=$((failed + 1))
    else
        passed=$((passed + 1))
    fi
fi
echo "completion: $passed passed, $failed failed"
((failed == 0))
