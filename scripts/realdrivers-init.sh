#!/bin/sh
# /init of the test guest's initramfs (busybox). It mounts this machine's root
# filesystem, shared read-only over 9p, gives it the writable places a running system
# needs, and runs scripts/realdrivers-guest.sh in it. The kernel hands its unknown
# command-line words KVP_*=... to this script as environment variables.
export PATH=/bin
mkdir -p /proc /sys /dev /newroot
mount -t proc proc /proc
mount -t sysfs sysfs /sys
mount -t devtmpfs devtmpfs /dev

# The modules 9p needs, in the order of their dependencies (listed by the host).
while read -r module; do
    insmod "/modules/$module" || echo "init: insmod $module failed"
done < /modules/order

if mount -t 9p -o trans=virtio,version=9p2000.L,ro,cache=none,msize=262144 root /newroot; then
    mount -t proc proc /newroot/proc
    mount -t sysfs sysfs /newroot/sys
    mount -t devtmpfs devtmpfs /newroot/dev
    mount -t devpts devpts /newroot/dev/pts
    mount -t tmpfs tmpfs /newroot/run
    # The host's /tmp may hold the repository itself (a fresh clone there): it stays
    # in sight, read-only, and the guest's own scratch files go to /run/tmp.
    mkdir -p /newroot/run/tmp /newroot/run/out
    export TMPDIR=/run/tmp
    mount -t 9p -o trans=virtio,version=9p2000.L,cache=none,msize=262144 out /newroot/run/out
    chroot /newroot /bin/sh "$KVP_GUEST" > /newroot/run/out/guest.log 2>&1
    echo $? > /newroot/run/out/guest.rc
    dmesg > /newroot/run/out/dmesg.txt
    umount /newroot/run/out
else
    echo "init: cannot mount the host's root filesystem over 9p"
fi
sync
poweroff -f
