#!/bin/bash
# Builds the package of a built tree and the device image that installs it,
# of the tree's architecture (a cross-built arm64 tree gives an arm64 image);
# the scenarios boot that image (run.sh). Writes the image's folder to
# BUILD_DIR/device/image, or for WW_DEVICE_STATION=supplicant (the station run
# by wpa_supplicant and udhcpc instead of NetworkManager; image.sh) to
# BUILD_DIR/device-supplicant/image.
#   prepare.sh BUILD_DIR
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(realpath "$1")
station=${WW_DEVICE_STATION:-nm}
out=$build/device
[ "$station" = nm ] || out=$build/device-$station
rm -rf "$out"
mkdir -p "$out"
if ! cpack -G DEB --config "$build/CPackConfig.cmake" -B "$out/package" >"$out/cpack.log" 2>&1; then
  cat "$out/cpack.log" >&2
  exit 1
fi
debs=("$out"/package/*.deb)
"$here/image.sh" "${debs[0]}" "$build/tests/radio-bin/hostapd" "$station" >"$out/image.tmp"
dpkg-deb -f "${debs[0]}" Architecture >"$out/arch"
mv "$out/image.tmp" "$out/image"
echo "device image: $(cat "$out/image")"
