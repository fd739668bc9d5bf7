#!/bin/bash
# Builds wavewarden and runs it in the hermetic test bed (private namespaces,
# a veth named wlan0, fakes of the external programs), then talks to it with
# wavectl so that you see it answer. Nothing on this machine is changed.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$top/build}

if [ "${WW_BED:-}" != 1 ]; then
  "$top/scripts/install-deps.sh"
  cmake -S "$top" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build "$build" -j2
  exec "$top/tests/bed/enter-bed.sh" "$build/tests/fakebin" "$build" "$top/scripts/demo.sh"
fi

# Inside the bed from here on.
"$WW_REAL_IP" link add wlan0 type veth peer name wlan0peer
wavewarden >"$WW_BED_DIR/daemon.out" 2>"$WW_BED_DIR/daemon.err" &
daemon=$!
for _ in $(seq 50); do
  [ -S /var/run/wavewarden.socket ] && break
  sleep 0.1
done
show() {
  echo "\$ wavectl $*"
  wavectl "$@"
}
sleep 0.3
show status
show refresh
sleep 0.5
show status
show state
kill "$daemon"
wait "$daemon" 2>/dev/null || true
echo
echo "--- daemon standard output"
cat "$WW_BED_DIR/daemon.out"
echo "--- daemon standard error"
cat "$WW_BED_DIR/daemon.err"
