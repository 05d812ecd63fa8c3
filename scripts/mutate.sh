#!/usr/bin/env bash
# Mutation testing of the pure core. Applies each mutant of scripts/mutations.txt to
# its file, one at a time, rebuilds the core's tests incrementally, runs them, and
# puts the file back. A mutant is killed when a test fails (or hangs); the kill rate
# leaves out the mutants the list marks as equivalent.
#   scripts/mutate.sh          every mutant
#   scripts/mutate.sh 7 12     mutants 7 and 12 only (numbered in list order)
# Builds in build-mut/ (KVP_MUTATE_BUILD to change it), so a mutated object never
# reaches build/. Runs only the fast tests of the core, never the pseudo-terminal ones.
set -euo pipefail
cd "$(dirname "$0")/.."

list=scripts/mutations.txt
dir=${KVP_MUTATE_BUILD:-build-mut}
tests=(tst_frames tst_conversions tst_readcycle) # fastest first: most mutants die early
jobs=2

# The list's one parser: "count", "check" (every original found exactly once, in
# the file as it is now), "file N" (the file mutant N changes), or "apply N" (mutant
# N written into its file; prints path TAB kind TAB why).
mutants() {
    python3 - "$list" "$@" <<'EOF'
import sys

def parse(path):
    out, cur = [], None
    for number, line in enumerate(open(path, encoding="utf-8").read().split("\n"), 1):
        if line.startswith(("@ ", "= ")):
            fields = [f.strip() for f in line[2:].split(" | ")]
            kind = "equivalent" if line[0] == "=" else "mutant"
            if len(fields) != (3 if kind == "equivalent" else 2) or not all(fields):
                sys.exit(f"{path}:{number}: want '@ file | why' or '= file | why | why it is equivalent'")
            cur = {"line": number, "kind": kind, "file": fields[0], "why": fields[1],
                   "reason": fields[2] if kind == "equivalent" else "", "from": [], "to": []}
            out.append(cur)
        elif line.startswith(("-", "+")):
            if cur is None:
                sys.exit(f"{path}:{number}: text before the first mutant")
            cur["from" if line[0] == "-" else "to"].append(line[1:])
        elif line.strip() and not line.startswith("#"):
            sys.exit(f"{path}:{number}: not a header, '-', '+' or '#' line")
    for m in out:
        if not m["from"]:
            sys.exit(f"{path}:{m['line']}: no original text")
    return out

def found(m):
    text = open(m["file"], encoding="utf-8").read()
    original = "\n".join(m["from"])
    return text, original, text.count(original)

ms = parse(sys.argv[1])
what = sys.argv[2]
if what == "count":
    print(len(ms))
elif what == "check":
    bad = 0
    for i, m in enumerate(ms, 1):
        _, original, n = found(m)
        if n != 1:
            bad += 1
            print(f"mutant {i} ({sys.argv[1]}:{m['line']}): original found {n} times in {m['file']}:\n{original}",
                  file=sys.stderr)
    sys.exit(1 if bad else 0)
elif what == "file":
    print(ms[int(sys.argv[3]) - 1]["file"])
elif what == "apply":
    m = ms[int(sys.argv[3]) - 1]
    text, original, n = found(m)
    if n != 1:
        sys.exit(f"mutant {sys.argv[3]}: original found {n} times in {m['file']}")
    with open(m["file"], "w", encoding="utf-8") as f:
        f.write(text.replace(original, "\n".join(m["to"])))
    print(m["file"], m["kind"], m["why"] + (" [equivalent: " + m["reason"] + "]" if m["reason"] else ""), sep="\t")
EOF
}

mutants check || { echo "mutate.sh: $list does not match the sources" >&2; exit 2; }
total=$(mutants count)
if (($#)); then picked=("$@"); else picked=($(seq 1 "$total")); fi

work=$(mktemp -d)
applied=""
restore() {
    # cp, not cp -p: the restored file must look newer than the mutated object.
    if [[ -n "$applied" ]]; then
        cp "$work/original" "$applied"
        applied=""
    fi
}
trap 'restore; rm -rf "$work"' EXIT
trap 'exit 130' INT TERM

cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Debug >"$work/cmake.log" 2>&1 \
    || { cat "$work/cmake.log" >&2; exit 2; }
build() { cmake --build "$dir" --parallel "$jobs" --target "${tests[@]}" >"$work/build.log" 2>&1; }
# Returns the first test that fails, or nothing when all pass.
run_tests() {
    for t in "${tests[@]}"; do
        local rc=0
        timeout 20 "$dir/tests/$t" -silent >"$work/test.log" 2>&1 || rc=$?
        if ((rc == 124)); then echo "$t (hung)"; return; fi
        if ((rc != 0)); then echo "$t"; return; fi
    done
}

echo "mutate.sh: building the unmutated core tests in $dir"
build || { cat "$work/build.log" >&2; exit 2; }
if [[ -n "$(run_tests)" ]]; then
    echo "mutate.sh: the tests fail without any mutant; fix that first" >&2
    exit 2
fi

killed=0 survived=0 equivalent=0 stillborn=0
survivors=() wrong=()
for n in "${picked[@]}"; do
    ((n >= 1 && n <= total)) || { echo "mutate.sh: no mutant $n (1..$total)" >&2; exit 2; }
    file=$(mutants file "$n")
    cp "$file" "$work/original"
    applied=$file
    header=$(mutants apply "$n")
    IFS=$'\t' read -r _ kind why <<<"$header"
    label="[$n] $file: $why"
    if ! build; then
        ((++stillborn))
        echo "did not build  $label"
        restore
        continue
    fi
    by=$(run_tests)
    restore
    if [[ "$kind" == equivalent ]]; then
        ((++equivalent))
        if [[ -n "$by" ]]; then
            wrong+=("$label (killed by $by)")
            echo "equivalent, yet killed by $by  $label"
        else
            echo "equivalent     $label"
        fi
    elif [[ -n "$by" ]]; then
        ((++killed))
        echo "killed         $label  <- $by"
    else
        ((++survived))
        survivors+=("$label")
        echo "SURVIVED       $label"
    fi
done

# Leave build-mut/ built from the sources as they are.
build || true

echo
if ((${#survivors[@]})); then
    echo "Survivors:"
    printf '  %s\n' "${survivors[@]}"
fi
if ((${#wrong[@]})); then
    echo "Marked equivalent but killed (the list is wrong about them):"
    printf '  %s\n' "${wrong[@]}"
fi
judged=$((killed + survived))
echo "mutants: ${#picked[@]}; equivalent: $equivalent; did not build: $stillborn; killed $killed of $judged"
if ((judged)); then
    awk -v k="$killed" -v j="$judged" 'BEGIN { printf "kill rate: %.1f %%\n", 100 * k / j }'
fi
((stillborn == 0 && ${#wrong[@]} == 0)) || exit 1
