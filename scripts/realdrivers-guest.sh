#!/bin/sh
# The guest's half of scripts/realdrivers.py. It runs in the guest, chrooted into this
# machine's root filesystem (shared read-only), and talks to the host through files in
# /run/out (shared read-write): each reader NAME writes NAME.out and NAME.err there,
# NAME.reading once values flow and NAME.rc at its end; the host, which pulls the USB
# adapter out and puts it back meanwhile, ends a reader by writing NAME.stop.
# It takes its settings from $out/env:
#   KVP_BUILD   the build directory holding src/kvp-reader
#   KVP_STTY    optional stty settings put on each port once values flow: a way to see
#               the parameter check fail, as it must for a reader with the wrong parity
set -u
# Only ever in the test guest (its kernel line names this script; its console is
# hvc0): on the host, ttyS0 is the system console and no ttyS device is touched.
grep -q 'KVP_GUEST=' /proc/cmdline || { echo "guest: not in the test guest: nothing opened"; exit 1; }
out=/run/out
# shellcheck source=/dev/null # written by the host for this run
. "$out/env"
reader="$KVP_BUILD/src/kvp-reader"
export PATH=/usr/sbin:/usr/bin:/sbin:/bin QT_QPA_PLATFORM=offscreen
# udevadm does nothing in a chroot unless told to; this one is the guest's whole system.
export SYSTEMD_IGNORE_CHROOT=1

note() { echo "guest: $*"; }


# not_a_console PORT: the port's device numbers are no console's, compared by stat on
# the port and sysfs for the consoles, so that nothing is opened to find out.
not_a_console() {
    port_dev=$(stat -L -c '%t:%T' "$1") || return 1
    # No list of consoles, no telling: the port is left alone.
    consoles=$(cat /sys/class/tty/console/active) || consoles=
    if [ -z "$consoles" ]; then
        note "the consoles are not known: $1 not opened"
        return 1
    fi
    for c in $consoles; do
        [ -r "/sys/class/tty/$c/dev" ] || continue
        IFS=: read -r major minor < "/sys/class/tty/$c/dev"
        if [ "$(printf '%x:%x' "$major" "$minor")" = "$port_dev" ]; then
            note "$1 is the console $c: not opened"
            return 1
        fi
    done
}

# Centiseconds since boot, without a process: under TCG every fork costs.
now_cs() {
    read -r up _ < /proc/uptime
    echo "${up%.*}${up#*.}"
}

# wait_for TEST SECONDS: evaluate the shell test TEST every 50 ms until it holds.
wait_for() {
    deadline=$(($(now_cs) + $2 * 100))
    while ! eval "$1"; do
        [ "$(now_cs)" -lt $deadline ] || return 1
        sleep 0.05
    done
}

# read_port NAME PORT ARGS...: run the reader on PORT; once it has printed a value, say
# so in $out/NAME.reading and put KVP_STTY on the port if asked; end it with SIGTERM
# when the host writes $out/NAME.stop.
read_port() {
    name=$1 port=$2
    shift 2
    "$reader" --console --port "$port" "$@" > "$out/$name.out" 2> "$out/$name.err" &
    pid=$!
    running="kill -0 $pid 2>/dev/null"
    if wait_for "[ -s $out/$name.out ] || ! $running" 60 && eval "$running"; then
        if [ -n "${KVP_STTY:-}" ]; then
            # shellcheck disable=SC2086 # the settings are several words
            stty -F "$port" $KVP_STTY && note "stty -F $port $KVP_STTY"
        fi
        touch "$out/$name.reading"
    fi
    wait_for "[ -e $out/$name.stop ] || ! $running" 120
    kill -TERM $pid 2>/dev/null
    wait $pid
    echo $? > "$out/$name.rc"
}

modprobe -a xhci_pci ftdi_sio || note "modprobe failed"
/lib/systemd/systemd-udevd --resolve-names=never > "$out/udevd.log" 2>&1 &
wait_for "[ -S /run/udev/control ]" 30 || note "systemd-udevd did not start"
udevadm trigger --action=add --subsystem-match=usb --subsystem-match=tty
udevadm settle --timeout=30
touch "$out/ready"

# The 16550 on ttyS1: read until the host has seen enough, then a --count run.
not_a_console /dev/ttyS1 || exit 1
read_port uart /dev/ttyS1
"$reader" --console --port /dev/ttyS1 --count 5 > "$out/count.out" 2> "$out/count.err"
echo $? > "$out/count.rc"

# The FTDI adapter, by its /dev/serial/by-id name: the host pulls it out and puts it
# back while the reader reads, and stops the reader once it reads again.
byid() {
    for link in /dev/serial/by-id/*; do
        [ -e "$link" ] && return 0
    done
    return 1
}
if ! wait_for byid 30; then
    note "no /dev/serial/by-id/ link appeared for the USB adapter"
    ls -l /dev/ttyUSB* /dev/serial 2>&1
    udevadm info --query=property /dev/ttyUSB0 2>&1
    exit 1
fi
echo "$link" > "$out/usb.link"
# The moment the adapter is back, on the clock of the reader's --log: how long the
# reader then takes is its own doing, not the emulated USB bus's or udev's.
(
    wait_for "[ ! -e $link ]" 120 && wait_for "[ -e $link ]" 60 &&
        date -u +%Y-%m-%dT%H:%M:%S.%3NZ > "$out/usb.back"
) &
read_port usb "$link" --give-up 30 --log "$out/usb.csv"

# The same adapter, pulled out for good: --give-up ends the wait.
wait_for "[ -e $link ]" 30 || note "$link is not back for the --give-up run"
read_port giveup "$link" --give-up 2
