#!/usr/bin/env python3
"""A broker that lies: it answers CONNECT, then sends a PUBLISH whose header claims
the longest remaining length MQTT has (256 MB) and streams that many bytes. Runs
kvp-reader --console --simulate --mqtt against it and prints what the reader took
and its peak RSS (VmHWM), before and after.

    scripts/oversize-broker.py [READER]     (default build/src/kvp-reader)
"""
import os
import socket
import subprocess
import sys
import threading
import time

reader = sys.argv[1] if len(sys.argv) > 1 else "build/src/kvp-reader"
CLAIMED = 268435455
sent = 0
left_at = None


def serve(listener):
    global sent, left_at
    conn, _ = listener.accept()
    conn.recv(4096)  # CONNECT
    conn.sendall(bytes.fromhex("20020000") + bytes([0x30, 0xFF, 0xFF, 0xFF, 0x7F]))
    chunk = b"x" * 65536
    start = time.monotonic()
    try:
        while sent < CLAIMED and time.monotonic() - start < 20:
            conn.sendall(chunk)
            sent += len(chunk)
    except OSError:
        left_at = sent
    conn.close()


def peak_kb(pid):
    with open(f"/proc/{pid}/status") as status:
        for line in status:
            if line.startswith("VmHWM:"):
                return int(line.split()[1])
    return 0


listener = socket.socket()
listener.bind(("127.0.0.1", 0))
listener.listen(1)
port = listener.getsockname()[1]
thread = threading.Thread(target=serve, args=(listener,), daemon=True)
run = subprocess.Popen([reader, "--console", "--simulate", "--interval", "100", "--mqtt",
                        f"mqtt://127.0.0.1:{port}/plant"],
                       stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
time.sleep(1)
before = peak_kb(run.pid)
thread.start()
thread.join(25)
time.sleep(0.5)
after = peak_kb(run.pid)
run.terminate()
_, errors = run.communicate(timeout=10)
said = [line for line in errors.splitlines() if "MQTT broker" in line][:1]
print(f"broker sent {sent / 1e6:.1f} MB of a claimed {CLAIMED / 1e6:.0f} MB packet"
      + (f"; the reader left after {left_at / 1e6:.1f} MB" if left_at is not None else "; the reader never left"))
print(f"reader peak RSS: {before / 1024:.1f} MB before, {after / 1024:.1f} MB after")
for line in said:
    print(line)
