#!/bin/bash
# Runs the benchmark: the daemon of BUILD_DIR inside the hermetic test bed
# (its own namespaces, a veth as wlan0, recording fakes of the external
# programs), and with --radio also the bring-up and reaction figures on
# simulated radios in a VM. Prints a table; writes the same figures as JSON.
#
#   bench/run.sh BUILD_DIR [--quick] [--radio] [--json FILE]
#
# --quick: a few seconds in all (CTest label bench); the default run takes
# about three minutes, plus about two with --radio.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(realpath "$1")
shift
args=()
radio=0
json="$build/bench/bench.json"
while [ $# -gt 0 ]; do
  case "$1" in
    --quick) args+=(--quick) ;;
    --radio) radio=1 ;;
    --json) json=$(realpath -m "$2"); shift ;;
    *) echo "usage: bench/run.sh BUILD_DIR [--quick] [--radio] [--json FILE]" >&2; exit 2 ;;
  esac
  shift
done
mkdir -p "$(dirname "$json")"
args+=(--json "$json")

if [ "$radio" = 1 ]; then
  radio_out=$(mktemp)
  trap 'rm -f "$radio_out" "$radio_out.log"' EXIT
  # The VM's figures come back on its console as "BENCH name value unit".
  status=0
  "$here/../tests/radio/vm.sh" "$here/radio-bench.sh" "$build" >"$radio_out.log" 2>&1 || status=$?
  grep -av '^BENCH ' "$radio_out.log" >&2 || true
  if [ "$status" != 0 ]; then
    echo "bench/run.sh: the radio part failed ($status)" >&2
    exit 1
  fi
  sed -n 's/^BENCH //p' "$radio_out.log" >"$radio_out"
  args+=(--radio "$radio_out")
fi

"$here/../tests/bed/enter-bed.sh" "$build/tests/fakebin" "$build" \
  "$build/bench/ww_bench" --programs "$build" "${args[@]}"
echo "JSON: $json"
