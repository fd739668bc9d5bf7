#!/bin/bash
# The first process of the radio VM after the initramfs: a minimal system
# (proc, sys, dev, a fresh /run, the downloaded kernel's modules), then the
# caller's script, whose exit status goes back through the results share.
export PATH=/usr/sbin:/usr/bin:/sbin:/bin
mount -t proc proc /proc
mount -t sysfs sys /sys
mount -t devtmpfs dev /dev 2>/dev/null
mkdir -p /dev/pts && mount -t devpts devpts /dev/pts
mount -t tmpfs run /run
mkdir -p /run/results
mount -t 9p -o trans=virtio,version=9p2000.L results /run/results
mkdir -p /lib/modules
mount --bind "$(cat /run/results/modules)" /lib/modules
ip link set lo up
status=125
if [ -f /run/results/command ]; then
  eval "$(cat /run/results/command)"
  status=$?
fi
echo "$status" >/run/results/status
sync
poweroff -f
