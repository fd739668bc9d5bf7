#!/bin/bash
# Installs what building and testing wavewarden needs on Debian 12.
# Idempotent: when everything is present, nothing is downloaded.
set -euo pipefail

packages=(
  build-essential cmake pkg-config
  libnl-3-dev libnl-genl-3-dev libnl-route-3-dev
  libgtest-dev googletest
  clang-format clang-tidy clang-tools
  util-linux iproute2 procps
  dnsmasq-base busybox-static nlohmann-json3-dev
  qemu-system-x86 kmod cpio hostapd wpasupplicant iw wireless-regdb net-tools psmisc python3
  clang libclang-rt-14-dev
  scdoc mandoc systemd
  dpkg-dev lintian mmdebstrap
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
if [ ${#missing[@]} -gt 0 ]; then
  if [ "$(id -u)" != 0 ]; then
    echo "install-deps: run as root to install: ${missing[*]}" >&2
    exit 1
  fi
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
