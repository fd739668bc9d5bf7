#!/bin/bash
# Soaks the device image (prepare.sh built it): scenario-soak.sh for SECONDS
# (default 180) with the steps drawn from SEED (default: a new one, printed;
# give it again to repeat a failing run's steps).
#   soak.sh BUILD_DIR [SECONDS] [SEED]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
seconds=${2:-180}
seed=${3:-$((RANDOM * 32768 + RANDOM))}
echo "soak: $seconds s, seed $seed" >&2
# The VM's own limit: the soak, and its boot and set-up as on amd64 or arm64.
export WW_RADIO_TIMEOUT=$((seconds + 1800))
exec "$here/run.sh" "$here/scenario-soak.sh" "$1" "$seconds" "$seed"
