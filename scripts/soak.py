#!/usr/bin/env python3
"""Soak test: kvp-reader --console against kvp-sim with faults on the line.

Checks that every value the simulator sent intact is printed, in order; that nothing
it did not send is printed; that no gap between two printed values is longer than the
time-outs of the replies that failed between them plus 50 ms; and that resident memory
at the end is within 1 MB of what it was after the first 1,000 values.

    scripts/soak.py [--values 100000] [--stray 0.01] [--build build]
"""
import argparse
import os
import subprocess
import sys
import tempfile
import time


def rss_kb(pid):
    try:
        with open(f"/proc/{pid}/status") as f:
            for line in f:
                if line.startswith("VmRSS:"):
                    return int(line.split()[1])
    except OSError:
        pass
    return None


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--values", type=int, default=100000)
    ap.add_argument("--split", default="0.3")
    ap.add_argument("--drop", default="0.01")
    ap.add_argument("--corrupt", default="0.01")
    ap.add_argument("--stray", default="0")
    ap.add_argument("--seed", default="1")
    ap.add_argument("--timeout", type=int, default=500)
    ap.add_argument("--build", default="build")
    a = ap.parse_args()

    tmp = tempfile.mkdtemp()
    trace_path = os.path.join(tmp, "trace")
    sim = subprocess.Popen([f"{a.build}/sim/kvp-sim", "--split", a.split, "--drop", a.drop, "--corrupt", a.corrupt,
                            "--stray", a.stray, "--seed", a.seed, "--trace", trace_path],
                           stdout=subprocess.PIPE, text=True)
    device = sim.stdout.readline().strip()
    errors = open(os.path.join(tmp, "reader.err"), "w+")
    reader = subprocess.Popen([f"{a.build}/src/kvp-reader", "--console", "--port", device, "--count", str(a.values),
                               "--timeout", str(a.timeout)], stdout=subprocess.PIPE, stderr=errors, text=True)
    printed, times = [], []
    rss_early = rss_late = None
    started = time.monotonic()
    for line in reader.stdout:
        times.append(time.monotonic())
        printed.append(int(line))
        n = len(printed)
        if n == 1000:
            rss_early = rss_kb(reader.pid)
        elif n == a.values - 10 or (n % 10000 == 0 and n > 1000):
            rss_late = rss_kb(reader.pid) or rss_late
    reader.wait()
    elapsed = time.monotonic() - started
    sim.terminate()
    sim.wait()
    errors.seek(0)
    summary = [l.strip() for l in errors if "values in" in l]

    trace = []
    with open(trace_path) as f:
        for line in f:
            words = line.split()
            trace.append((words[0], int(words[1]) if len(words) > 1 else None, "stray" in words))
    intact = [v for kind, v, _ in trace if kind == "value"]

    # Place each printed value at the query that produced it.
    at, wrong, placed = 0, [], []
    for i, v in enumerate(printed):
        j = at
        while j < len(trace) and not (trace[j][0] == "value" and trace[j][1] == v):
            j += 1
        if j == len(trace):
            wrong.append((i, v))
            continue
        placed.append((i, j))
        at = j + 1
    last_query = placed[-1][1] if placed else -1
    shown_queries = {j for _, j in placed}
    missed = [trace[q][1] for q in range(last_query + 1)
              if trace[q][0] == "value" and q not in shown_queries]

    worst_excess, worst_at, late = -1e9, None, 0
    for (i1, q1), (i2, q2) in zip(placed, placed[1:]):
        failed = q2 - q1 - 1
        allowed = failed * a.timeout / 1000 + 0.050
        gap = times[i2] - times[i1]
        if gap - allowed > worst_excess:
            worst_excess, worst_at = gap - allowed, (i2, failed, gap)
        late += gap > allowed

    kinds = {k: sum(1 for t in trace if t[0] == k) for k in ("value", "dropped", "corrupted")}
    strays = sum(1 for t in trace if t[2])
    print(f"soak: split {a.split}, drop {a.drop}, corrupt {a.corrupt}, stray {a.stray}, seed {a.seed}, "
          f"timeout {a.timeout} ms")
    print(f"  {len(trace)} queries answered: {kinds['value']} intact, {kinds['dropped']} dropped, "
          f"{kinds['corrupted']} corrupted, {strays} with a stray byte; {elapsed:.0f} s")
    print(f"  printed {len(printed)} values; intact values not printed: {len(missed)}; "
          f"printed values never sent intact or out of order: {len(wrong)}")
    if wrong:
        print(f"    first wrong: {wrong[:5]}")
    print(f"  gaps longer than their failed replies' time-outs + 50 ms: {late}"
          + (f" (worst: {worst_excess * 1000:+.1f} ms at value {worst_at[0]}, {worst_at[1]} failed before, "
             f"gap {worst_at[2] * 1000:.1f} ms)" if worst_at else ""))
    if rss_early and rss_late:
        print(f"  resident memory after 1,000 values {rss_early} kB, near the end {rss_late} kB "
              f"({rss_late - rss_early:+d} kB)")
    for s in summary:
        print(f"  reader: {s}")
    ok = not wrong and not missed and late == 0 and rss_early and rss_late and rss_late - rss_early <= 1024
    print("  PASS" if ok else "  FAIL")
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
