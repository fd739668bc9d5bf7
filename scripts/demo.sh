#!/bin/bash
# The main job on simulated radios: installs what is needed, builds the three
# programs, and boots a throw-away VM with Debian's kernel and its simulated
# Wi-Fi radios (mac80211_hwsim). There an upstream access point (hostapd) and
# the device's station (wpa_supplicant) come up, wavewarden creates its
# access point, a phone joins it and takes a lease from the daemon's dnsmasq,
# and the demo prints `wavectl status`, `wavectl state` and `bandprobe` for
# both interfaces. Nothing on this machine is changed besides the packages
# and the kernel cache in /var/cache/wavewarden-radio.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$top/build}

"$top/scripts/install-deps.sh"
cmake -S "$top" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
if ! cmake --build "$build" -j2 --target wavewarden wavectl bandprobe hwsim_radio hostapd_adapter \
  >"$build/demo-build.log" 2>&1; then
  cat "$build/demo-build.log"
  exit 1
fi
exec "$top/tests/radio/vm.sh" "$top/tests/radio/demo.sh" "$build"
