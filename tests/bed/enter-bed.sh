#!/bin/bash
# Runs a command inside a private test bed: its own mount, network and pid
# namespaces, with writable overlays on /etc and /root, fresh tmpfs on /run,
# /var/log and the sysfs paths the daemon writes, loopback up, and recording
# fakes of the external programs first on PATH. Nothing outside is touched:
# when the command ends, pid 1 of the bed ends and the kernel removes every
# process, mount and interface it made.
#
#   enter-bed.sh FAKEBIN_DIR PROGRAM_DIR COMMAND [ARG...]
#
# Inside, the command finds:
#   WW_BED=1, WW_BED_DIR     the bed's scratch folder (fake call log, controls)
#   WW_REAL_IP               the real ip(8), since `ip` on PATH is a fake
#   PATH                     FAKEBIN_DIR:PROGRAM_DIR:<original PATH>
set -euo pipefail

if [ "${WW_BED:-}" != 1 ]; then
  if [ "$(id -u)" != 0 ]; then
    echo "enter-bed.sh: the test bed needs root (namespaces and mounts)" >&2
    exit 77
  fi
  export WW_BED=1
  exec unshare --mount --net --pid --fork --mount-proc --propagation private "$0" "$@"
fi

fakebin=$(realpath "$1")
programs=$(realpath "$2")
shift 2

real_ip=$(command -v ip)
export WW_REAL_IP=$real_ip

# /run first: the scratch folder for the overlays lives on it.
mount -t tmpfs -o mode=0755 bedrun /run
export WW_BED_DIR=/run/.wwbed
mkdir -p "$WW_BED_DIR"/{etc-up,etc-work,root-up,root-work,status,hook}
: >"$WW_BED_DIR/calls.log"

mount -t overlay bedetc -o "lowerdir=/etc,upperdir=$WW_BED_DIR/etc-up,workdir=$WW_BED_DIR/etc-work" /etc
mount -t overlay bedroot -o "lowerdir=/root,upperdir=$WW_BED_DIR/root-up,workdir=$WW_BED_DIR/root-work" /root
mount -t tmpfs -o mode=0755 bedlog /var/log

# A sysfs of this network namespace, so /sys/class/net shows the bed's links.
mount -t sysfs bedsys /sys
mkdir -p "$WW_BED_DIR/net"
mount --bind /sys/class/net "$WW_BED_DIR/net"
mount -t tmpfs -o mode=0755 bedclass /sys/class
mkdir -p /sys/class/net /sys/class/udc
mount --move "$WW_BED_DIR/net" /sys/class/net
mount -t tmpfs -o mode=0755 bedmodule /sys/module
mkdir -p /sys/module/cfg80211/parameters
echo 0 >/sys/module/cfg80211/parameters/cfg80211_block_scans
mount -t tmpfs -o mode=0755 bedkernel /sys/kernel
mkdir -p /sys/kernel/config

"$real_ip" link set lo up

export PATH="$fakebin:$programs:$PATH"
cd "$WW_BED_DIR"
set +e
"$@"
exit $?
