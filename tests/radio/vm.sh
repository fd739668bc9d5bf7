#!/bin/bash
# Runs a script inside a throw-away virtual machine with Debian's own kernel,
# so that it can use the kernel's simulated Wi-Fi radios (mac80211_hwsim)
# without touching this machine's kernel. The guest sees this machine's file
# system read-only with a tmpfs on top, so the built programs and the tests
# are at the same paths; it writes nothing back except the script's exit
# status and output into a folder of the caller's.
#
#   vm.sh SCRIPT [ARG...]      exit status: the script's, or 125 when the VM
#                              failed before the script ran
#   vm.sh --prepare            only downloads the kernel and builds the
#                              initramfs
#
# The kernel package is downloaded once (not installed) into WW_RADIO_CACHE.
# The device image boots through the same kernel and initramfs, with its own
# tree as the guest's root and systemd as its init:
#   WW_VM_ROOT   the folder the guest boots from (default: this machine's /;
#                otherwise this machine's / is shared read-only as "hostfs")
#   WW_VM_INIT   the guest's first process (default: guest-init.sh)
#   WW_VM_SMP    emulated CPUs (default 1)
#   WW_VM_APPEND more of the kernel's command line
#   WW_VM_ARCH   amd64 (default) or arm64: Debian's arm64 kernel on an
#                emulated "virt" board; that guest needs WW_VM_ROOT, a tree of
#                its own architecture, since it cannot run this machine's
#                programs
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
cache=${WW_RADIO_CACHE:-/var/cache/wavewarden-radio}
memory=${WW_RADIO_MEMORY:-256}
timeout_s=${WW_RADIO_TIMEOUT:-600}
vm_root=${WW_VM_ROOT:-/}
vm_init=${WW_VM_INIT:-$here/guest-init.sh}
vm_smp=${WW_VM_SMP:-1}
vm_arch=${WW_VM_ARCH:-amd64}
case $vm_arch in
  amd64) kernel_dir=$cache/kernel ;;
  arm64) kernel_dir=$cache/kernel-arm64 ;;
  *)
    echo "vm.sh: no VM for architecture $vm_arch" >&2
    exit 2
    ;;
esac
if [ "$vm_arch" = arm64 ] && [ "$vm_root" = / ] && [ "${1:-}" != --prepare ]; then
  echo "vm.sh: an arm64 guest needs WW_VM_ROOT, a tree of arm64 programs" >&2
  exit 2
fi

# download_package NAME FOLDER: one Debian package unpacked into FOLDER
# (never installed).
download_package() {
  local tmp
  tmp=$(mktemp -d)
  (cd "$tmp" && apt-get download -qq "$1" 2>/dev/null)
  dpkg-deb -x "$tmp"/*.deb "$2"
  rm -rf "$tmp"
}

prepare_kernel() {
  mkdir -p "$cache"
  if [ -f "$kernel_dir/.ready" ]; then
    return
  fi
  local meta=linux-image-$vm_arch pkg
  # A foreign architecture's packages (the kernel, busybox-static) need dpkg
  # to know it.
  if [ "$(dpkg --print-architecture)" != "$vm_arch" ]; then
    meta=$meta:$vm_arch
    if ! dpkg --print-foreign-architectures | grep -qx "$vm_arch"; then
      dpkg --add-architecture "$vm_arch"
      apt-get update -qq
    fi
  fi
  pkg=$(apt-cache depends "$meta" | awk '/Depends:/ {print $2; exit}')
  rm -rf "$kernel_dir"
  download_package "$pkg" "$kernel_dir"
  depmod -b "$kernel_dir" "$(ls "$kernel_dir/lib/modules")"
  touch "$kernel_dir/.ready"
}

# A busybox initramfs that loads virtio and 9p, mounts the host's / with an
# overlay and hands over to the guest init.
prepare_initramfs() {
  local version root modules out
  version=$(ls "$kernel_dir/lib/modules")
  modules="$kernel_dir/lib/modules/$version/kernel"
  # Named by a digest of this script: the cache is shared by every checkout,
  # and nothing checkout-specific goes into the image.
  out="$cache/initramfs-$version-$(sha256sum "$here/vm.sh" | cut -c1-12).cpio.gz"
  initramfs=$out
  if [ -f "$out" ]; then
    return
  fi
  root=$(mktemp -d)
  mkdir -p "$root"/{bin,dev,proc,sys,mnt/host,mnt/rw,newroot,modules}
  if [ "$vm_arch" = amd64 ]; then
    cp /bin/busybox "$root/bin/busybox"
  else
    # Debian's plain busybox is linked dynamically; the initramfs has no libc.
    download_package "busybox-static:$vm_arch" "$root/pkg"
    mv "$root/pkg/bin/busybox" "$root/bin/busybox"
    rm -rf "$root/pkg"
  fi
  for tool in sh mount umount mkdir insmod switch_root cat echo poweroff sleep; do
    ln -s busybox "$root/bin/$tool"
  done
  # Dependency order: each module after the ones it needs.
  local order=(
    drivers/virtio/virtio_ring.ko drivers/virtio/virtio.ko
    drivers/virtio/virtio_pci_modern_dev.ko drivers/virtio/virtio_pci_legacy_dev.ko
    drivers/virtio/virtio_pci.ko drivers/char/hw_random/virtio-rng.ko
    fs/netfs/netfs.ko fs/fscache/fscache.ko net/9p/9pnet.ko net/9p/9pnet_virtio.ko
    fs/9p/9p.ko fs/overlayfs/overlay.ko
  )
  local names=()
  for m in "${order[@]}"; do
    if [ -f "$modules/$m" ]; then
      cp "$modules/$m" "$root/modules/"
      names+=("$(basename "$m")")
    fi
  done
  cat >"$root/init" <<INIT
#!/bin/sh
mount -t proc proc /proc
mount -t sysfs sys /sys
mount -t devtmpfs dev /dev
for m in ${names[*]}; do insmod /modules/\$m || echo "insmod \$m failed"; done
# The virtio devices appear shortly after their driver loads.
n=0
until mount -t 9p -o trans=virtio,version=9p2000.L,ro host /mnt/host 2>/dev/null; do
  n=\$((n + 1))
  if [ \$n -gt 50 ]; then echo "9p failed"; poweroff -f; fi
  sleep 0.1
done
mount -t tmpfs rw /mnt/rw
mkdir -p /mnt/rw/upper /mnt/rw/work
mount -t overlay overlay -o lowerdir=/mnt/host,upperdir=/mnt/rw/upper,workdir=/mnt/rw/work /newroot
mount --move /mnt/rw /newroot/mnt 2>/dev/null || true
# The guest init of the calling checkout, from the kernel command line.
for word in \$(cat /proc/cmdline); do
  case \$word in ww_init=*) guest_init=\${word#ww_init=} ;; esac
done
exec switch_root /newroot \$guest_init
INIT
  chmod +x "$root/init"
  (cd "$root" && find . | cpio -o -H newc 2>/dev/null | gzip -1) >"$out.tmp"
  mv "$out.tmp" "$out"
  rm -rf "$root"
}

if [ $# -lt 1 ]; then
  echo "usage: vm.sh SCRIPT [ARG...]" >&2
  exit 2
fi
initramfs=
# Scenarios run side by side: one of them prepares the cache, the others
# wait for it.
mkdir -p "$cache"
exec 9>"$cache/.lock"
flock 9
prepare_kernel
prepare_initramfs
flock -u 9
exec 9>&-
if [ "$1" = --prepare ]; then
  exit 0
fi
version=$(ls "$kernel_dir/lib/modules")
results=$(mktemp -d)
trap 'rm -rf "$results"' EXIT
# The script runs in the caller's folder, so relative paths work as here.
# WW_RADIO_VERBOSE=1 passes on, for scenarios to show all they logged.
# The device image sees this machine's / at /run/host.
prefix=
[ "$vm_root" = / ] || prefix=/run/host
{
  printf 'cd %q || exit 125; ' "$prefix$PWD"
  printf 'export WW_RADIO_VERBOSE=%q WW_TIME_SCALE=%q; ' "${WW_RADIO_VERBOSE:-}" \
    "${WW_TIME_SCALE:-1}"
  printf '%q ' "$@"
} >"$results/command"
printf '%s\n' "$kernel_dir/lib/modules" >"$results/modules"
echo 125 >"$results/status"
hostfs=()
if [ "$vm_root" != / ]; then
  hostfs=(-fsdev local,id=hostfs,path=/,security_model=none,readonly=on,multidevs=remap
    -device virtio-9p-pci,fsdev=hostfs,mount_tag=hostfs)
fi

if [ "$vm_arch" = arm64 ]; then
  # pauth-impdef: the same pointer authentication at a fraction of the cost
  # of emulating the architected algorithm.
  machine=(qemu-system-aarch64 -machine virt,accel=tcg -cpu max,pauth-impdef=on)
  console=ttyAMA0
else
  machine=(qemu-system-x86_64 -machine q35,accel=tcg -cpu max)
  console=ttyS0
fi
timeout "$timeout_s" "${machine[@]}" -m "$memory" -smp "$vm_smp" \
  -nographic -no-reboot -nodefaults -serial stdio \
  -kernel "$kernel_dir/boot/vmlinuz-$version" \
  -initrd "$initramfs" \
  -append "console=$console quiet panic=-1 ww_init=$vm_init ${WW_VM_APPEND:-}" \
  -fsdev local,id=host,path="$vm_root",security_model=none,readonly=on,multidevs=remap \
  -device virtio-9p-pci,fsdev=host,mount_tag=host \
  -fsdev local,id=results,path="$results",security_model=none \
  -device virtio-9p-pci,fsdev=results,mount_tag=results \
  "${hostfs[@]}" -device virtio-rng-pci </dev/null |
  # Only the guest's own output: no firmware banners, terminal resets or the
  # kernel's power-off line.
  sed -u -e 's/\r//g' -e 's/\x1bc//g' -e 's/\x1b\[[0-9;?]*[A-Za-z]//g' \
    -e '/^SeaBIOS (version/d' -e '/^Booting from ROM/d' -e '/reboot: Power down/d' \
    -e '/^Powering off\.$/d' || true

# The device image's runner leaves the scenario's output in a file.
if [ -f "$results/output" ]; then
  cat "$results/output"
fi
exit "$(cat "$results/status")"
