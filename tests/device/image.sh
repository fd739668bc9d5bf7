#!/bin/bash
# Builds the device image: Debian 12 booted by systemd, with dbus, firewalld,
# wireless-regdb, what runs the station wlan0, and wavewarden's own package
# installed by apt from the built file with its recommendations, so that apt
# resolves its dependencies as on a device. Never touches this machine's
# root: everything lives in a cache folder beside the radio bed's kernel.
#
#   image.sh DEB ADAPTER [STATION]   prints the image folder
#
# STATION, what runs the station:
#   nm          NetworkManager (the default)
#   supplicant  wpa_supplicant@wlan0 and busybox udhcpc, no network manager;
#               apt must pull none in
#
# The image is of the package's architecture (amd64, or arm64 through
# qemu-user and binfmt_misc for the programs run while it is built). Two
# layers, each rebuilt only when its inputs change:
#   base-ARCH-KEY  the packages of the distribution (about 90 s), keyed by the
#                package list and this script; the package's dependencies are
#                downloaded into it, so that the second layer needs no network
#   device-ARCH-KEY the base with the .deb installed, the kernel's modules, the
#                hostapd adapter and the guest's scenario runner; keyed by the
#                base, the .deb, the adapter and the kernel
# ADAPTER: Debian 12's hostapd 2.10 refuses keys that the device's newer
# hostapd accepts; the radio bed's adapter (which execs /usr/sbin/hostapd on
# a copy without them) goes first on the unit's PATH as /usr/local/sbin/hostapd.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
deb=$(realpath "$1")
adapter=$(realpath "$2")
station=${3:-nm}
case $station in
  nm | supplicant) ;;
  *)
    echo "device image: unknown station $station" >&2
    exit 2
    ;;
esac
arch=$(dpkg-deb -f "$deb" Architecture)
cache=${WW_RADIO_CACHE:-/var/cache/wavewarden-radio}
images=$cache/device
mkdir -p "$images"

# The base: what a device runs besides wavewarden, and what the tests drive
# (python3 for the phone's and the upstream server's HTTP, busybox for the
# phone's DHCP client).
base_packages=(systemd systemd-sysv dbus udev kmod netbase
  wpasupplicant wireless-regdb iproute2 iw busybox procps psmisc python3
  iputils-ping)
[ "$station" = supplicant ] || base_packages+=(network-manager)
# Downloaded into the base's apt cache for the second layer: the package's
# dependencies (cmake/Packaging.cmake) and what they and their
# recommendations pull in.
dep_packages=(hostapd dnsmasq-base iw iproute2 net-tools firewalld
  libnl-3-200 libnl-genl-3-200 libnl-route-3-200)

key() { sha256sum | cut -c1-16; }
base_key=$( {
  echo "$arch $station"
  printf '%s\n' "${base_packages[@]}" "${dep_packages[@]}"
  sed -n '/^build_base()/,/^}/p' "$0"
} | key)
base=$images/base-$arch-$station-$base_key.tar

# A foreign architecture's programs run through qemu-user, which the kernel
# starts for them once binfmt_misc knows it.
foreign_programs() {
  [ "$arch" != "$(dpkg --print-architecture)" ] || return 0
  local qemu=qemu-aarch64
  [ "$arch" = arm64 ] || {
    echo "device image: no emulator known for $arch" >&2
    return 1
  }
  [ -f /proc/sys/fs/binfmt_misc/status ] ||
    mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc
  [ -f "/proc/sys/fs/binfmt_misc/$qemu" ] || update-binfmts --enable "$qemu" >&2
  grep -qx enabled "/proc/sys/fs/binfmt_misc/$qemu" || {
    echo "device image: binfmt_misc does not run $arch programs" >&2
    return 1
  }
}

build_base() {
  local tmp=${base%.tar}.tmp.tar
  rm -f "$tmp"
  # Recommends stay out, as on a device image; apt's lists and cache stay in
  # for the second layer.
  mmdebstrap --quiet --variant=minbase --mode=root --arch="$arch" \
    --include="$(
      IFS=,
      echo "${base_packages[*]}"
    )" \
    --skip=cleanup/apt/lists --skip=cleanup/apt/cache \
    --customize-hook='chroot "$1" apt-get install --download-only -o APT::Install-Recommends=true -y -qq '"${dep_packages[*]}"' >/dev/null' \
    bookworm "$tmp" http://deb.debian.org/debian
  mv "$tmp" "$base"
}

# Serialises builds by several scenarios and checkouts on one machine.
exec 8>"$images/.lock"
flock 8
foreign_programs
if [ ! -f "$base" ]; then
  echo "device image: building the base (about 90 s)" >&2
  build_base >&2
  # Older bases of this architecture are of no further use.
  find "$images" -maxdepth 1 -name "base-$arch-$station-*.tar" ! -name "${base##*/}" -delete
fi

WW_VM_ARCH=$arch "$here/../radio/vm.sh" --prepare >&2
cache_kernel=$cache/kernel
[ "$arch" = amd64 ] || cache_kernel=$cache/kernel-$arch
version=$(ls "$cache_kernel/lib/modules")
device_key=$( {
  echo "$base_key $version"
  # What the package holds, not its archive, which carries the time it was made.
  dpkg-deb -f "$deb"
  dpkg-deb --fsys-tarfile "$deb" | tar -xO | sha256sum
  sha256sum "$adapter" | cut -c1-64
  for folder in guest "station-$station"; do
    (cd "$here/$folder" && find . -type f -print0 | LC_ALL=C sort -z | xargs -0 sha256sum)
  done
  sed -n '/^build_device()/,/^}/p' "$0"
} | key)
device=$images/device-$arch-$station-$device_key

build_device() {
  local tmp=$device.tmp manager
  rm -rf "$tmp"
  mkdir -p "$tmp"
  tar -C "$tmp" -xf "$base"
  # The kernel of the radio bed and its modules (hard links into the cache).
  mkdir -p "$tmp/lib/modules"
  cp -al "$cache_kernel/lib/modules/$version" "$tmp/lib/modules/"
  # apt installs the package from the file with its recommendations, as a
  # device maker would; its dependencies come from the cache the base holds.
  # Nothing starts in the chroot (policy-rc.d), as in an image built offline.
  cp "$deb" "$tmp/tmp/wavewarden.deb"
  printf '#!/bin/sh\nexit 101\n' >"$tmp/usr/sbin/policy-rc.d"
  chmod +x "$tmp/usr/sbin/policy-rc.d"
  mount -t proc proc "$tmp/proc"
  local status=0
  {
    chroot "$tmp" apt-get install -s /tmp/wavewarden.deb >"$tmp.simulated" &&
      DEBIAN_FRONTEND=noninteractive chroot "$tmp" apt-get install -y -qq /tmp/wavewarden.deb &&
      # The zone the access point joins is there for firewalld's first start.
      chroot "$tmp" firewall-offline-cmd --get-zones | grep -qw nm-shared
  } >"$tmp.log" 2>&1 || status=$?
  umount "$tmp/proc"
  if [ $status -ne 0 ]; then
    cat "$tmp.log" >&2
    echo "device image: apt could not install the package, or firewalld has no zone nm-shared" >&2
    return 1
  fi
  echo "device image: apt installs $(grep -c '^Inst ' "$tmp.simulated") packages for wavewarden" >&2
  for manager in network-manager modemmanager connman; do
    if grep -q "^Inst $manager " "$tmp.simulated"; then
      echo "device image: installing the package pulls in $manager" >&2
      return 1
    fi
  done
  # Enabled at install; the scenarios start it themselves, once the radios
  # they make exist.
  [ -L "$tmp/etc/systemd/system/multi-user.target.wants/wavewarden.service" ] || {
    echo "device image: the package did not enable its service" >&2
    return 1
  }
  chroot "$tmp" systemctl disable wavewarden.service >/dev/null 2>&1
  rm -f "$tmp/usr/sbin/policy-rc.d" "$tmp/tmp/wavewarden.deb"
  chroot "$tmp" apt-get clean
  install -m 0755 "$adapter" "$tmp/usr/local/sbin/hostapd"
  # The device's side: its name, what runs its station, the scenario runner.
  echo device >"$tmp/etc/hostname"
  echo "$station" >"$tmp/etc/ww-station"
  cp -r "$here/guest/." "$here/station-$station/." "$tmp/"
  if [ "$station" = nm ]; then
    chmod 0600 "$tmp/etc/NetworkManager/system-connections/"*
  fi
  chmod 0755 "$tmp/usr/local/sbin/"ww-*
  chroot "$tmp" systemctl enable ww-scenario.service >/dev/null 2>&1
  chroot "$tmp" systemctl mask serial-getty@ttyS0.service getty@tty1.service \
    apt-daily.timer apt-daily-upgrade.timer >/dev/null 2>&1
  mv "$tmp" "$device"
  rm -f "$tmp.log" "$tmp.simulated"
}

if [ ! -d "$device" ]; then
  echo "device image: installing the package into the base" >&2
  build_device
fi
# The pruning goes by last use. Keep a few other device layers: scenarios of
# other checkouts may be booting them.
touch "$device"
kept=0
for layer in $(ls -1dt "$images"/device-"$arch"-"$station"-*); do
  case $layer in
    "$device" | *.tmp) ;;
    *) [ $((++kept)) -le 2 ] || rm -rf "$layer" ;;
  esac
done
flock -u 8
echo "$device"
