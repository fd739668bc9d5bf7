#!/bin/bash
# Builds wavewarden and runs it in the hermetic test bed (private namespaces,
# a veth named wlan0, fakes of the external programs), then has it create an
# access point, report its state and tear it down, driven by wavectl. Nothing
# on this machine is changed.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$top/build}

if [ "${WW_BED:-}" != 1 ]; then
  "$top/scripts/install-deps.sh"
  cmake -S "$top" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build "$build" -j2
  exec "$top/tests/bed/enter-bed.sh" "$build/tests/fakebin" "$build" "$top/scripts/bed-demo.sh"
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
show create demo-net demo-pass-1 hbs nat
for _ in $(seq 50); do
  wavectl status | grep -q '^2' && break
  sleep 0.2
done
show status
show state
echo
echo "--- what the (fake) network tools were asked to do"
cat "$WW_BED_DIR/calls.log"
echo
show teardown
sleep 1
show status
kill "$daemon"
wait "$daemon" 2>/dev/null || true
echo
echo "--- daemon standard output"
cat "$WW_BED_DIR/daemon.out"
echo "--- daemon standard error"
cat "$WW_BED_DIR/daemon.err"
