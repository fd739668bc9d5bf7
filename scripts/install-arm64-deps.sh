#!/bin/bash
# Installs what the arm64 cross-build and the arm64 device image need on
# Debian 12: the cross toolchain and the arm64 libraries (multiarch),
# qemu-user for the cross-built unit tests, qemu-user-static and
# binfmt_misc for the image's arm64 programs while apt builds it
# (mmdebstrap checks them with arch-test), qemu-system-arm to boot it. Needs
# root when anything is missing.
#   scripts/install-arm64-deps.sh
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
if ! dpkg --print-foreign-architectures | grep -qx arm64; then
  dpkg --add-architecture arm64
  apt-get update -q
fi
"$top/scripts/install-missing.sh" g++-aarch64-linux-gnu libnl-3-dev:arm64 \
  libnl-genl-3-dev:arm64 libnl-route-3-dev:arm64 libgtest-dev:arm64 libstdc++6:arm64 \
  qemu-user qemu-user-static binfmt-support qemu-system-arm arch-test
