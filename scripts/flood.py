#!/usr/bin/env python3
"""Flood test: a module that streams garbage at full speed for 10 s.

The flood starts once the reader has read a few hundred values, so it has learned
the module's replies. Checks that nothing is printed while the flood lasts (noise
that passes the check byte, one block in 256, must still fail the reply's length and
fixed trailing bytes), that kvp-reader --console stays responsive (it stops within
a second of SIGTERM in the middle of the flood), that its memory stays bounded, and
that it reads good values again within a second after the flood ends.

    scripts/flood.py [--seconds 10] [--reply-bytes 6] [--build build]
"""
import argparse
import os
import select
import signal
import subprocess
import sys
import tempfile
import threading
import time


def rss_kb(pid):
    try:
        with open(f"/proc/{pid}/status") as f:
            return next(int(l.split()[1]) for l in f if l.startswith("VmRSS:"))
    except (OSError, StopIteration):
        return None


def cpu_seconds(pid):
    with open(f"/proc/{pid}/stat") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def start(build, seconds, reply_bytes, log):
    sim = subprocess.Popen([f"{build}/sim/kvp-sim", "--flood", str(seconds), "--flood-after", "300",
                            "--reply-bytes", str(reply_bytes), "--log", log],
                           stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    device = sim.stdout.readline().strip()
    reader = subprocess.Popen([f"{build}/src/kvp-reader", "--console", "--port", device],
                              stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
    return sim, reader


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--seconds", type=int, default=10)
    ap.add_argument("--build", default="build")
    ap.add_argument("--reply-bytes", type=int, default=6)
    a = ap.parse_args()
    log = os.path.join(tempfile.mkdtemp(), "sent")

    # Run 1: through the flood and out of it.
    sim, reader = start(a.build, a.seconds, a.reply_bytes, log)
    values = []

    def collect():
        for line in reader.stdout:
            values.append((time.monotonic(), line.strip()))
    threading.Thread(target=collect, daemon=True).start()

    started_at = ended_at = None
    rss, cpu0, t0 = [], cpu_seconds(reader.pid), time.monotonic()
    deadline = time.monotonic() + a.seconds + 5
    while time.monotonic() < deadline and ended_at is None:
        ready, _, _ = select.select([sim.stderr], [], [], 0.5)
        if ready:
            line = sim.stderr.readline()
            if "flood started at" in line:
                started_at = float(line.split()[-1])
            if "flood ended at" in line:
                ended_at = float(line.split()[-1])
        rss.append(rss_kb(reader.pid))
    flood_cpu = (cpu_seconds(reader.pid) - cpu0) / (time.monotonic() - t0)
    time.sleep(1.5)
    reader.send_signal(signal.SIGTERM)
    reader.wait(5)
    sim.terminate()
    sim.wait()
    after = [t for t, _ in values if ended_at is not None and t >= ended_at]
    recovery = after[0] - ended_at if after else None
    with open(log) as f:
        sent = {int(l) for l in f}
    # Lines are stamped when this script reads them, a little after the reader wrote
    # them: what counts is any value the module never sent, and the flood sends none.
    during = [v for t, v in values if started_at is not None and ended_at is not None and started_at < t < ended_at]
    never_sent = [v for _, v in values if int(v) not in sent]

    # Run 2: SIGTERM in the middle of the flood.
    sim, reader = start(a.build, a.seconds, a.reply_bytes, log)
    while "flood started" not in sim.stderr.readline():
        pass
    time.sleep(a.seconds / 2)
    asked = time.monotonic()
    reader.send_signal(signal.SIGTERM)
    try:
        status = reader.wait(5)
    except subprocess.TimeoutExpired:
        status = None
    stop_latency = time.monotonic() - asked
    sim.terminate()
    sim.wait()

    rss = [r for r in rss if r]
    print(f"flood: {a.seconds} s of garbage at full speed on a pseudo-terminal")
    print(f"  values read before the flood: {len(values) - len(during) - len(after)}")
    print(f"  values printed during the flood: {len(during)}, values printed that were never sent: {len(never_sent)}")
    print(f"  reader CPU while flooded: {flood_cpu * 100:.0f}% of one core")
    print(f"  resident memory during the flood: {min(rss)} to {max(rss)} kB")
    print("  first good value after the flood: "
          + (f"{recovery * 1000:.0f} ms after it ended" if recovery is not None else "none"))
    print(f"  SIGTERM mid-flood: exit status {status} after {stop_latency * 1000:.0f} ms")
    ok = (not never_sent and started_at is not None and recovery is not None and recovery <= 1.0 and status == 0 and stop_latency <= 1.0
          and max(rss) - min(rss) <= 2048)
    print("  PASS" if ok else "  FAIL")
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
