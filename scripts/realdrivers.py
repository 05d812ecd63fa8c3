#!/usr/bin/env python3
"""Reads the simulated module through real Linux serial drivers, in a QEMU guest.

A pseudo-terminal ignores parity (Linux clears PARENB on it), so only a real driver
shows whether the reader asks for 19200 bit/s, 8 data bits, even parity, 1 stop bit.
This boots the installed Debian kernel with this machine's root filesystem shared
read-only over 9p, and runs this build's kvp-reader in the guest on
  - ttyS1, the 16550 driver, QEMU's UART backed by kvp-sim on a host pseudo-terminal;
  - the FTDI driver (ftdi_sio) on QEMU's usb-serial, read by its /dev/serial/by-id
    name, with another kvp-sim behind it.
It checks that
  - every value the reader printed is one the simulator sent intact (kvp-sim --log),
    and --count 5 on ttyS1 prints 5 and exits 0;
  - whenever values arrived, the UART's registers and the FTDI's control requests held
    19200 8E1 (QEMU's trace events serial_update_parameters, usb_serial_set_*);
  - after QMP device_del and device_add of the adapter, reading resumes on the same
    by-id device within 2 s of its by-id link being back;
  - with the adapter gone for good, --give-up 2 ends the wait with exit 1.

    scripts/realdrivers.py [BUILD_DIR] [--accel auto|kvm|tcg] [--stty SETTINGS] [--keep]

--stty puts stty settings on each guest port once values flow, e.g. --stty=-parenb or
--stty parodd: the run must then fail its parameter check. Exit 0 when every check
passed or QEMU cannot run on this machine at all (said on a line starting SKIP), 1 on a
failed check.
"""
import argparse
import datetime
import glob
import json
import os
import re
import shutil
import socket
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
QEMU = "qemu-system-x86_64"
# What the module talks, as QEMU's trace events write it.
WANTED = (19200, "E", 8, 1)
RESUME_LIMIT_S = 2.0
GIVE_UP_S = 2
KVM_BOOT_S = 10
# One boot and its checks; two of them and a stalled KVM fit in CI's 3 minutes.
RUN_S = 75
# 9p and its transport, the guest's console: loaded from the initramfs. The serial and
# USB drivers come from the shared root filesystem, by udev and modprobe.
INITRAMFS_MODULES = ["virtio_pci", "virtio_console", "9pnet_virtio", "9p"]
BUSYBOX_APPLETS = ["sh", "mount", "umount", "insmod", "mkdir", "chroot", "dmesg", "sync", "poweroff"]


class Failure(Exception):
    pass


class QemuDied(Exception):
    def __init__(self, status):
        super().__init__(f"QEMU ended (exit status {status}) before the guest was done")
        self.status = status


class KvmStalled(Exception):
    pass


def log(text):
    print(f"realdrivers: {text}", flush=True)


# --- the guest's boot files -------------------------------------------------------

def find_kernel():
    """The newest kernel in /boot whose modules are installed."""
    found = []
    for vmlinuz in glob.glob("/boot/vmlinuz-*"):
        version = vmlinuz[len("/boot/vmlinuz-"):]
        if os.path.exists(f"/lib/modules/{version}/modules.dep"):
            found.append(version)
    if not found:
        raise Failure("no kernel with its modules in /boot and /lib/modules: "
                      "run scripts/install-deps.sh --realdrivers (installs linux-image-amd64)")
    key = lambda v: [(0, int(p), "") if p.isdigit() else (1, 0, p) for p in re.split(r"[.-]", v)]
    version = max(found, key=key)
    if not os.access(f"/boot/vmlinuz-{version}", os.R_OK):
        raise Failure(f"cannot read /boot/vmlinuz-{version}: run this as root")
    return version


def module_order(version, names):
    """Paths of the modules NAMES and what they depend on, each after its dependencies."""
    base = f"/lib/modules/{version}"
    deps = {}
    with open(f"{base}/modules.dep") as f:
        for line in f:
            path, _, rest = line.partition(":")
            deps[path] = rest.split()
    by_name = {os.path.basename(p).split(".ko")[0].replace("-", "_"): p for p in deps}
    order = []

    def add(path):
        if path in order:
            return
        for dep in reversed(deps[path]):
            add(dep)
        order.append(path)

    for name in names:
        if name not in by_name:
            raise Failure(f"kernel {version} has no module {name}")
        add(by_name[name])
    return [f"{base}/{p}" for p in order]


def cpio_newc(entries):
    """An initramfs archive (cpio newc) of (name, mode, data) entries."""
    out = bytearray()
    for ino, (name, mode, data) in enumerate(entries + [("TRAILER!!!", 0, b"")], start=1):
        encoded = name.encode() + b"\0"
        fields = [ino, mode, 0, 0, 1, 0, len(data), 0, 0, 0, 0, len(encoded), 0]
        out += b"070701" + b"".join(b"%08X" % v for v in fields) + encoded
        out += b"\0" * (-len(out) % 4) + data
        out += b"\0" * (-len(out) % 4)
    return bytes(out)


def build_initramfs(version, path):
    busybox = shutil.which("busybox")
    if not busybox or not is_static(busybox):
        raise Failure("no static busybox: run scripts/install-deps.sh --realdrivers (installs busybox-static)")
    modules = module_order(version, INITRAMFS_MODULES)
    DIR, FILE, EXE, LINK = 0o040755, 0o100644, 0o100755, 0o120777
    entries = [("bin", DIR, b""), ("modules", DIR, b"")]
    entries.append(("bin/busybox", EXE, open(busybox, "rb").read()))
    entries += [(f"bin/{a}", LINK, b"busybox") for a in BUSYBOX_APPLETS]
    entries.append(("init", EXE, open(os.path.join(HERE, "realdrivers-init.sh"), "rb").read()))
    for m in modules:
        entries.append((f"modules/{os.path.basename(m)}", FILE, open(m, "rb").read()))
    order = "".join(os.path.basename(m) + "\n" for m in modules).encode()
    entries.append(("modules/order", FILE, order))
    with open(path, "wb") as f:
        f.write(cpio_newc(entries))


def is_static(path):
    # Without file(1): a dynamically linked ELF names its interpreter.
    with open(path, "rb") as f:
        return b"/lib64/ld-linux" not in f.read()


# --- the host's side --------------------------------------------------------------

def start_sim(build, name, seed, out):
    simlog = os.path.join(out, f"{name}.sim")
    err = open(os.path.join(out, f"{name}.sim.err"), "w")
    proc = subprocess.Popen([os.path.join(build, "sim", "kvp-sim"), "--seed", str(seed), "--log", simlog],
                            stdout=subprocess.PIPE, stderr=err, text=True)
    device = proc.stdout.readline().strip()
    if not device.startswith("/dev/"):
        proc.kill()
        raise Failure(f"kvp-sim did not say which device it serves (said {device!r})")
    return proc, device, simlog


class Qmp:
    def __init__(self, path, deadline):
        while True:
            try:
                self.sock = socket.socket(socket.AF_UNIX)
                self.sock.connect(path)
                break
            except OSError:
                self.sock.close()
                if time.time() > deadline:
                    raise Failure("QEMU's QMP socket did not come up")
                time.sleep(0.05)
        self.buf = b""
        self.events = []
        self._read()  # the greeting
        self.command("qmp_capabilities")

    def _read(self):
        while b"\n" not in self.buf:
            chunk = self.sock.recv(65536)
            if not chunk:
                raise QemuDied("QEMU closed its QMP socket")
            self.buf += chunk
        line, self.buf = self.buf.split(b"\n", 1)
        return json.loads(line)

    def command(self, name, **args):
        self.sock.sendall(json.dumps({"execute": name, "arguments": args}).encode() + b"\n")
        while True:
            msg = self._read()
            if "event" in msg:
                self.events.append(msg)
            elif "error" in msg:
                raise Failure(f"QMP {name}: {msg['error'].get('desc')}")
            elif "return" in msg:
                return msg["return"]

    def wait_event(self, name, timeout):
        self.sock.settimeout(timeout)
        try:
            while True:
                for e in self.events:
                    if e["event"] == name:
                        self.events.remove(e)
                        return e
                self.events.append(self._read())
        except socket.timeout:
            raise Failure(f"QEMU sent no {name} within {timeout} s")
        finally:
            self.sock.settimeout(None)


class Run:
    """One boot of the guest."""

    def __init__(self, args, version, out, accel):
        self.args, self.version, self.out, self.accel = args, version, out, accel
        self.build = os.path.abspath(args.build)
        self.seen = {}      # reader name -> [(host time, lines printed)] whenever it grew
        self.qemu = None
        self.deadline = time.time() + RUN_S
        self.pulled = False  # QEMU 7.2 may crash on device_del of a busy usb-serial

    def path(self, name):
        return os.path.join(self.out, name)

    def lines(self, name):
        try:
            with open(self.path(name + ".out")) as f:
                return f.read().count("\n")
        except FileNotFoundError:
            return 0

    def poll(self):
        """Note when each reader printed more; called every 20 ms while waiting."""
        now = time.time()
        for name in ("uart", "usb", "giveup"):
            n = self.lines(name)
            seen = self.seen.setdefault(name, [])
            if n and (not seen or seen[-1][1] != n):
                seen.append((now, n))
        if self.qemu.poll() is not None and not os.path.exists(self.path("guest.rc")):
            raise QemuDied(self.qemu.returncode)

    def wait(self, what, test, timeout):
        deadline = min(time.time() + timeout, self.deadline)
        while True:
            self.poll()
            if test():
                return time.time()
            if time.time() > deadline:
                if deadline == self.deadline:
                    raise Failure(f"the run took longer than {RUN_S} s; it was waiting for {what}")
                raise Failure(f"timed out after {timeout} s waiting for {what}")
            time.sleep(0.02)

    def err_says(self, name, text):
        try:
            with open(self.path(name + ".err")) as f:
                return text in f.read()
        except FileNotFoundError:
            return False

    def start(self):
        out = self.out
        initrd = self.path("initrd.cpio")
        build_initramfs(self.version, initrd)
        self.sims = {}
        for seed, name in enumerate(("uart", "usb"), start=1):
            self.sims[name] = start_sim(self.build, name, seed, out)
        with open(self.path("env"), "w") as f:
            f.write(f"KVP_BUILD='{self.build}'\n")
            if self.args.stty:
                f.write(f"KVP_STTY='{self.args.stty}'\n")
        self.trace = self.path("trace.log")
        qmp_path = self.path("qmp.sock")
        cmd = [QEMU, "-nodefaults", "-no-user-config", "-display", "none", "-no-reboot", "-accel", self.accel,
               "-m", "512", "-smp", "1",
               "-kernel", f"/boot/vmlinuz-{self.version}", "-initrd", initrd,
               "-append", f"console=hvc0 panic=-1 KVP_GUEST={HERE}/realdrivers-guest.sh",
               "-fsdev", "local,id=rootfs,path=/,security_model=none,readonly=on,multidevs=remap",
               "-device", "virtio-9p-pci,fsdev=rootfs,mount_tag=root",
               "-fsdev", f"local,id=outfs,path={out},security_model=none,multidevs=remap",
               "-device", "virtio-9p-pci,fsdev=outfs,mount_tag=out",
               "-device", "virtio-serial-pci", "-device", "virtconsole,chardev=con",
               "-chardev", f"file,id=con,path={self.path('console.log')}",
               # the 16550 at 0x2f8, the guest's ttyS1
               "-chardev", f"serial,id=uart,path={self.sims['uart'][1]}",
               "-device", "isa-serial,chardev=uart,index=1",
               "-chardev", f"serial,id=usbsim,path={self.sims['usb'][1]}",
               "-device", "qemu-xhci,id=xhci", "-device", self.adapter_option(),
               "-qmp", f"unix:{qmp_path},server=on,wait=off",
               "-msg", "timestamp=on", "-D", self.trace,
               "-trace", "enable=serial_update_parameters", "-trace", "enable=usb_serial_set_*"]
        with open(self.path("qemu.cmd"), "w") as f:
            f.write(" ".join(cmd) + "\n")
        self.qemu = subprocess.Popen(cmd, stdout=open(self.path("qemu.out"), "w"), stderr=subprocess.STDOUT)
        self.qmp = Qmp(qmp_path, time.time() + 10)
        log(f"guest booting (kernel {self.version}, {self.accel.upper()})")
        if self.accel == "kvm":
            # Some hosts offer a /dev/kvm that starts a guest but never runs it (nested
            # virtualisation gone wrong); the guest's console says within seconds.
            try:
                self.wait("the guest's console", self.console_started, KVM_BOOT_S)
            except Failure:
                raise KvmStalled(f"KVM did not boot the guest within {KVM_BOOT_S} s")

    # A fixed serial number, as a real adapter has: its by-id name stays when it comes back.
    ADAPTER = {"driver": "usb-serial", "id": "ftdi", "chardev": "usbsim", "bus": "xhci.0",
               "serial": "KVPTEST1", "always-plugged": True}

    def adapter_option(self):
        return ",".join(f"{k}={'on' if v is True else v}" for k, v in self.ADAPTER.items())

    def unplug(self):
        """Pull the adapter out; return when we began to."""
        began = time.time()
        self.pulled = True
        self.qmp.command("device_del", id="ftdi")
        self.qmp.wait_event("DEVICE_DELETED", 10)
        return began

    def console_started(self):
        return os.path.exists(self.path("console.log")) and os.path.getsize(self.path("console.log")) > 0

    def read_some(self, name, count, timeout=20):
        """Wait until the reader NAME has read COUNT values since it began (and since
        the guest put --stty settings on its port); return when it started."""
        started = self.wait(f"the reader {name} to read", lambda: os.path.exists(self.path(name + ".reading")), 45)
        first = self.lines(name)
        self.wait(f"{count} values from the reader {name}", lambda: self.lines(name) >= first + count, timeout)
        return started

    def stop_reader(self, name):
        open(self.path(name + ".stop"), "w").close()
        stopped = time.time()
        self.wait(f"the reader {name} to end", lambda: os.path.exists(self.path(name + ".rc")), 10)
        return stopped

    def scenario(self):
        self.wait("the guest to start udev", lambda: os.path.exists(self.path("ready")), 90)
        log("guest up; reading on ttyS1")
        # While values arrive in these spans, the port must be set as the module talks;
        # each ends before the reader lets go of the port or loses it.
        self.spans = {"uart": [], "usb": [], "giveup": []}
        started = self.read_some("uart", 20)
        self.spans["uart"].append((started, self.stop_reader("uart")))
        self.wait("the --count 5 reader on ttyS1 to end", lambda: os.path.exists(self.path("count.rc")), 20)

        started = self.read_some("usb", 5)
        with open(self.path("usb.link")) as f:
            log(f"reading on {f.read().strip()}")
        self.spans["usb"].append((started, self.unplug()))
        # Whether a read or a write meets the unplug first is a race; either is noticed.
        self.wait("the reader to notice the adapter is gone",
                  lambda: self.err_says("usb", "went away while it was open")
                  or self.err_says("usb", "Could not send on serial port"), 10)
        before = self.lines("usb")
        self.qmp.command("device_add", **self.ADAPTER)
        added = time.time()
        resumed = self.wait("reading to resume after device_add", lambda: self.lines("usb") > before, 15)
        self.resume_s = resumed - added
        log("adapter pulled out and put back")
        # The guest writes when the by-id link is back; under TCG that alone can take a second.
        self.wait("the guest to note the adapter back", lambda: os.path.exists(self.path("usb.back")), 5)
        self.wait("5 more values after the adapter came back", lambda: self.lines("usb") >= before + 5, 10)
        self.spans["usb"].append((added, self.stop_reader("usb")))

        started = self.read_some("giveup", 5)
        pulled = self.unplug()
        self.spans["giveup"].append((started, pulled))
        ended = self.wait("--give-up to end the reader", lambda: os.path.exists(self.path("giveup.rc")), GIVE_UP_S + 15)
        self.give_up_s = ended - pulled
        self.wait("the guest to power off", lambda: self.qemu.poll() is not None, 30)

    def stop(self):
        if self.qemu and self.qemu.poll() is None:
            self.qemu.kill()
            self.qemu.wait()
        for proc, _, _ in getattr(self, "sims", {}).values():
            proc.terminate()
            proc.wait()


# --- the checks -------------------------------------------------------------------

def read_values(path):
    try:
        with open(path) as f:
            return [line.strip() for line in f if line.strip()]
    except FileNotFoundError:
        return []


def is_subsequence(small, big):
    it = iter(big)
    return all(v in it for v in small)


def parameter_changes(trace):
    """(time, device, (baud, parity, data, stop)) for every change QEMU traced, in order."""
    uart = re.compile(r"@(\d+\.\d+):serial_update_parameters baudrate=(\d+) parity='(.)' data=(\d+) stop=(\d+)")
    baud = re.compile(r"@(\d+\.\d+):usb_serial_set_baud dev \S+ baud rate (\d+)")
    data = re.compile(r"@(\d+\.\d+):usb_serial_set_data dev \S+ parity (.), data bits (\d+), stop bits (\d+)")
    changes = []
    usb = [None, None, None, None]
    with open(trace) as f:
        for line in f:
            if m := uart.search(line):
                changes.append((float(m[1]), "uart", (int(m[2]), m[3], int(m[4]), int(m[5]))))
            elif m := baud.search(line):
                usb[0] = int(m[2])
                changes.append((float(m[1]), "usb", tuple(usb)))
            elif m := data.search(line):
                usb[1:] = [m[2], int(m[3]), int(m[4])]
                changes.append((float(m[1]), "usb", tuple(usb)))
    return changes


def settings_at(changes, device, t):
    now = None
    for when, dev, settings in changes:
        if when > t:
            break
        if dev == device:
            now = settings
    return now


def check(run):
    problems = []
    out = run.path
    changes = parameter_changes(run.trace)
    device_of = {"uart": "uart", "usb": "usb", "giveup": "usb"}
    # The adapter's two readers read one simulator, one after the other.
    printed_from = {"uart": ["uart", "count"], "usb": ["usb", "giveup"]}
    for sim, names in printed_from.items():
        printed = [v for name in names for v in read_values(out(name + ".out"))]
        if not is_subsequence(printed, read_values(out(sim + ".sim"))):
            problems.append(f"{'/'.join(names)}: the reader printed values the simulator did not send intact")
    for name in ("uart", "usb", "giveup"):
        printed = read_values(out(name + ".out"))
        if not printed:
            problems.append(f"{name}: the reader printed no value")
        # Whenever new values were seen, the port must have been set as the module talks.
        bad = set()
        seen = [t for t, _ in run.seen.get(name, []) if any(a <= t <= b for a, b in run.spans[name])]
        for t in seen:
            settings = settings_at(changes, device_of[name], t)
            if settings != WANTED:
                bad.add(settings)
        if bad:
            shown = ", ".join(describe(s) for s in sorted(bad, key=str))
            problems.append(f"{name}: values arrived while the port was set to {shown}, not {describe(WANTED)}")
        elif not seen:
            problems.append(f"{name}: no values were seen arriving")
        log(f"{name}: {len(printed)} values printed; port set to "
            f"{describe(WANTED) if not bad else 'WRONG settings'} while they arrived")
    rc = {n: " ".join(read_values(out(n + ".rc"))) or "none" for n in ("uart", "count", "usb", "giveup")}
    counted = len(read_values(out("count.out")))
    if rc["count"] != "0" or counted != 5:
        problems.append(f"count: the reader printed {counted} values and ended with exit status {rc['count']}; "
                        "want 5 values and exit 0 after --count 5")
    else:
        log("count: --count 5 on ttyS1 printed 5 values and ended with exit 0")
    for name in ("uart", "usb"):
        if rc[name] != "0":
            problems.append(f"{name}: the reader ended with exit status {rc[name]}, not 0 after SIGTERM")
    if not run.err_says("usb", "is back; reading again"):
        problems.append("usb: the reader did not say the adapter was back")
    resume = resume_after_link(out("usb.back"), out("usb.csv"))
    if resume is None:
        problems.append("usb: no value in the reader's --log after the adapter's by-id link was back")
    else:
        log(f"usb: first value {resume:.2f} s after the by-id link was back "
            f"({run.resume_s:.2f} s after device_add)")
        if resume > RESUME_LIMIT_S:
            problems.append(f"usb: reading resumed {resume:.2f} s after the adapter was back, "
                            f"more than {RESUME_LIMIT_S} s")
    if rc["giveup"] != "1" or not run.err_says("giveup", "did not come back within"):
        problems.append(f"giveup: the reader ended with exit status {rc['giveup']} and without "
                        "saying it gave up; want exit 1")
    else:
        log(f"giveup: exit 1 {run.give_up_s:.1f} s after the adapter was pulled (--give-up {GIVE_UP_S})")
    return problems


def resume_after_link(back_file, csv_file):
    """Seconds from the by-id link's return to the first value after it, both on the
    guest's clock; None without such a value."""
    stamp = lambda text: datetime.datetime.strptime(text.strip(), "%Y-%m-%dT%H:%M:%S.%fZ")
    try:
        with open(back_file) as f:
            back = stamp(f.read())
        with open(csv_file) as f:
            times = [stamp(row.split(",")[0]) for row in list(f)[1:]]
    except (FileNotFoundError, ValueError):
        return None
    after = [t for t in times if t >= back]
    return (after[0] - back).total_seconds() if after else None


def describe(settings):
    if not settings or None in settings:
        return "nothing traced"
    baud, parity, data, stop = settings
    return f"{baud} {data}{parity}{stop}"


def show_logs(out):
    for name in ("guest.log", "uart.err", "count.err", "usb.err", "giveup.err", "qemu.out", "console.log"):
        p = os.path.join(out, name)
        if os.path.exists(p) and os.path.getsize(p):
            print(f"----- {name}", flush=True)
            with open(p, errors="replace") as f:
                print(f.read()[-3000:], flush=True)
    print(f"----- everything is in {out}", flush=True)


def can_run_qemu():
    if not shutil.which(QEMU):
        return f"{QEMU} is not installed (scripts/install-deps.sh --realdrivers installs it)"
    probe = subprocess.run([QEMU, "-M", "none", "-accel", "tcg", "-display", "none", "-nodefaults",
                            "-S", "-qmp", "stdio"], input='{"execute":"qmp_capabilities"}\n'
                           '{"execute":"quit"}\n', capture_output=True, text=True, timeout=30)
    if probe.returncode != 0:
        return f"{QEMU} cannot start here: {probe.stderr.strip()[:300]}"
    return None


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("build", nargs="?", default="build")
    ap.add_argument("--accel", choices=["auto", "kvm", "tcg"], default="auto")
    ap.add_argument("--stty", help="stty settings put on each guest port once values flow")
    ap.add_argument("--keep", action="store_true", help="keep the run's files even when it passes")
    args = ap.parse_args()
    for program in ("src/kvp-reader", "sim/kvp-sim"):
        if not os.access(os.path.join(args.build, program), os.X_OK):
            sys.exit(f"realdrivers: no {args.build}/{program}; build first (scripts/test.sh)")
    if reason := can_run_qemu():
        print(f"SKIP realdrivers: {reason}", flush=True)
        return 0
    try:
        version = find_kernel()
    except Failure as e:
        sys.exit(f"realdrivers: {e}")

    accel = args.accel
    if accel == "auto":
        accel = "kvm" if os.access("/dev/kvm", os.R_OK | os.W_OK) else "tcg"
    attempt = 0
    while attempt < 2:
        attempt += 1
        out = tempfile.mkdtemp(prefix="kvp-realdrivers-")
        run = Run(args, version, out, accel)
        try:
            run.start()
            run.scenario()
            run.stop()  # kvp-sim writes the last of its log as it ends
            problems = check(run)
        except KvmStalled as e:
            run.stop()
            if args.accel == "auto":
                log(f"{e}; with TCG instead")
                accel = "tcg"
                attempt -= 1
                shutil.rmtree(out, ignore_errors=True)
                continue
            problems = [str(e)]
        except QemuDied as e:
            run.stop()
            if run.pulled and e.status != 0 and attempt == 1:
                # QEMU 7.2 itself sometimes crashes on device_del of a busy usb-serial;
                # a guest that powered off or panicked ends QEMU with status 0.
                log(f"{e}, after device_del: QEMU crashed, not the reader; once more")
                show_logs(out)
                continue
            problems = [str(e)]
        except Failure as e:
            problems = [str(e)]
        finally:
            run.stop()
        if problems:
            for p in problems:
                log(f"FAIL {p}")
            show_logs(out)
            return 1
        log("PASS: 16550 and FTDI drivers, 19200 8E1, unplug and replug, --give-up")
        if args.keep:
            log(f"files in {out}")
        else:
            shutil.rmtree(out, ignore_errors=True)
        return 0
    return 1


if __name__ == "__main__":
    sys.exit(main())
