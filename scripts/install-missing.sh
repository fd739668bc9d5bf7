#!/bin/bash
# Installs those of the given Debian packages that are not installed yet
# (without their recommendations). Needs root when any is missing.
#   scripts/install-missing.sh PACKAGE...
set -euo pipefail
missing=()
for p in "$@"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -q
  apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
