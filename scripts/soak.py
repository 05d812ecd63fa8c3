#!/usr/bin/env python3
"""Soak test: kvp-reader --console against kvp-sim with faults on the line.

Checks that nothing the simulator did not send intact is printed, and nothing out of
order; that no more than --max-lost (0.1 %) of the values it sent intact go unprinted;
that no gap between two printed values is longer than what the replies that failed
between them cost (the time-out, and the byte gap of silence after it in which a late
reply would be caught; from the second time-out in a row on, also the time-out's
length of watching for a late answer) plus 50 ms; and that resident memory at the end is within
1 MB of what it was after the first 1,000 values.

With --bus 3,7,12 the simulator plays those modules on one line and the reader reads
them in turn: every module's printed values are checked against what that module sent,
in order, and the loss is counted per module. The gap check is left out on a bus, where
a module's gap holds the other modules' turns and the back-off of a silent one.

    scripts/soak.py [--values 100000] [--reply-bytes 8] [--lead 0.01] [--pause 0.05]
                    [--status-byte] [--sim-args "--change-after 100 ..."] [--build build]
                    [--bus 3,7,12 --reply-bytes 6,7=7,12=8 --filler 0]
"""
import argparse
import os
import subprocess
import sys
import tempfile
import time


# The reader's silence after a given-up reply before it asks again.
BYTE_GAP_MS = 20


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
    ap.add_argument("--lead", default="0")
    ap.add_argument("--pause", default="0")
    ap.add_argument("--pause-ms", default=None, help="the pause of --pause, and of split replies (default: 40 ms, and 1 to 5 ms)")
    ap.add_argument("--reply-bytes", default="6")
    ap.add_argument("--status-byte", action="store_true")
    ap.add_argument("--max-lost", type=float, default=0.001, help="share of intact values that may go unprinted")
    ap.add_argument("--seed", default="1")
    ap.add_argument("--timeout", type=int, default=500)
    ap.add_argument("--sim-args", default="", help="more kvp-sim options, e.g. a module that changes under the reader")
    ap.add_argument("--build", default="build")
    ap.add_argument("--bus", default="", help="addresses of several modules on the line, read in turn")
    ap.add_argument("--filler", default=None, help="kvp-sim's --filler (0 makes a zero status byte)")
    a = ap.parse_args()

    tmp = tempfile.mkdtemp()
    trace_path = os.path.join(tmp, "trace")
    sim = subprocess.Popen([f"{a.build}/sim/kvp-sim", "--split", a.split, "--drop", a.drop, "--corrupt", a.corrupt,
                            "--stray", a.stray, "--lead", a.lead, "--pause", a.pause,
                            "--reply-bytes", a.reply_bytes, "--seed", a.seed, "--trace", trace_path]
                           + (["--status-byte"] if a.status_byte else [])
                           + (["--pause-ms", a.pause_ms] if a.pause_ms else [])
                           + (["--filler", a.filler] if a.filler else [])
                           + (["--address", a.bus] if a.bus else []) + a.sim_args.split(),
                           stdout=subprocess.PIPE, text=True)
    device = sim.stdout.readline().strip()
    errors = open(os.path.join(tmp, "reader.err"), "w+")
    reader = subprocess.Popen([f"{a.build}/src/kvp-reader", "--console", "--port", device, "--count", str(a.values),
                               "--timeout", str(a.timeout)] + (["--address", a.bus] if a.bus else []), stdout=subprocess.PIPE, stderr=errors, text=True)
    printed, times = [], []
    rss_early = rss_late = None
    started = time.monotonic()
    for line in reader.stdout:
        times.append(time.monotonic())
        printed.append(tuple(int(w) for w in line.split()) if a.bus else int(line))
        n = len(printed)
        if n == 1000:
            rss_early = rss_kb(reader.pid)
        elif n == a.values - 10 or (n % 10000 == 0 and n > 1000):
            rss_late = rss_kb(reader.pid) or rss_late
    reader.wait()
    if a.bus:
        sim.terminate()
        sim.wait()
        return check_bus(a, printed, trace_path, rss_early, rss_late, time.monotonic() - started)
    elapsed = time.monotonic() - started
    sim.terminate()
    sim.wait()
    errors.seek(0)
    summary = [l.strip() for l in errors if "values in" in l]

    trace = []
    with open(trace_path) as f:
        for line in f:
            words = line.split()
            trace.append((words[0], int(words[1]) if len(words) > 1 and words[0] != "dropped" else None,
                          set(words[2:] if words[0] != "dropped" else words[1:])))
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
        allowed = (failed * (a.timeout + BYTE_GAP_MS) + max(0, failed - 1) * a.timeout) / 1000 + 0.050
        gap = times[i2] - times[i1]
        if gap - allowed > worst_excess:
            worst_excess, worst_at = gap - allowed, (i2, failed, gap)
        late += gap > allowed

    kinds = {k: sum(1 for t in trace if t[0] == k) for k in ("value", "dropped", "corrupted")}
    marks = {m: sum(1 for t in trace if m in t[2]) for m in ("stray", "lead", "pause", "split")}
    print(f"soak: {a.reply_bytes}-byte replies{', status byte' if a.status_byte else ''}, split {a.split}, "
          f"drop {a.drop}, corrupt {a.corrupt}, stray {a.stray}, lead {a.lead}, pause {a.pause} of {a.pause_ms or 40} ms, "
          f"seed {a.seed}, timeout {a.timeout} ms {a.sim_args}")
    print(f"  {len(trace)} queries answered: {kinds['value']} intact, {kinds['dropped']} dropped, "
          f"{kinds['corrupted']} corrupted; {marks['split']} split, {marks['stray']} with a stray byte, "
          f"{marks['lead']} with a leading byte, {marks['pause']} with a pause; {elapsed:.0f} s")
    intact_sent = sum(1 for q in range(last_query + 1) if trace[q][0] == "value")
    lost_share = len(missed) / intact_sent if intact_sent else 0
    print(f"  printed {len(printed)} values; intact values not printed: {len(missed)} ({lost_share:.3%}); "
          f"printed values never sent intact or out of order: {len(wrong)}")
    if wrong:
        print(f"    first wrong: {wrong[:5]}")
    print(f"  gaps longer than their failed replies' time-outs and byte gaps + 50 ms: {late}"
          + (f" (worst: {worst_excess * 1000:+.1f} ms at value {worst_at[0]}, {worst_at[1]} failed before, "
             f"gap {worst_at[2] * 1000:.1f} ms)" if worst_at else ""))
    if rss_early and rss_late:
        print(f"  resident memory after 1,000 values {rss_early} kB, near the end {rss_late} kB "
              f"({rss_late - rss_early:+d} kB)")
    for s in summary:
        print(f"  reader: {s}")
    ok = not wrong and lost_share <= a.max_lost and late == 0 and rss_early and rss_late and rss_late - rss_early <= 1024
    print("  PASS" if ok else "  FAIL")
    return 0 if ok else 1


def check_bus(a, printed, trace_path, rss_early, rss_late, elapsed):
    """Each module's printed values against what that module sent, in order."""
    sent = {}
    with open(trace_path) as f:
        for line in f:
            words = line.split()
            sent.setdefault(int(words[0]), []).append(
                (words[1], int(words[2]) if words[1] != "dropped" else None))
    print(f"soak on a bus of {a.bus}: reply bytes {a.reply_bytes}, filler {a.filler or 32}, split {a.split}, "
          f"drop {a.drop}, corrupt {a.corrupt}, stray {a.stray}, lead {a.lead}, pause {a.pause}, seed {a.seed}, "
          f"timeout {a.timeout} ms {a.sim_args}; {elapsed:.0f} s")
    ok = bool(rss_early and rss_late and rss_late - rss_early <= 1024)
    for address in sorted(sent):
        mine = [v for who, v in printed if who == address]
        trace = sent[address]
        at, wrong, placed = 0, 0, set()
        for v in mine:
            j = at
            while j < len(trace) and not (trace[j][0] == "value" and trace[j][1] == v):
                j += 1
            if j == len(trace):
                wrong += 1
                continue
            placed.add(j)
            at = j + 1
        last = max(placed) if placed else -1
        intact = sum(1 for q in range(last + 1) if trace[q][0] == "value")
        missed = sum(1 for q in range(last + 1) if trace[q][0] == "value" and q not in placed)
        share = missed / intact if intact else 1
        print(f"  address {address}: {len(trace)} queries answered, {intact} intact up to the last shown; "
              f"printed {len(mine)}, not printed {missed} ({share:.3%}), never sent intact or out of order {wrong}")
        ok = ok and wrong == 0 and share <= a.max_lost and len(mine) > 0
    strangers = sum(1 for who, _ in printed if who not in sent)
    if strangers:
        print(f"  values printed for addresses that are not on the line: {strangers}")
        ok = False
    if rss_early and rss_late:
        print(f"  resident memory after 1,000 values {rss_early} kB, near the end {rss_late} kB "
              f"({rss_late - rss_early:+d} kB)")
    print("  PASS" if ok else "  FAIL")
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
