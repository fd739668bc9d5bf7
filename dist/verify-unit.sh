#!/bin/bash
# Checks the service unit with systemd-analyze verify.
#   verify-unit.sh UNIT DAEMON
# verify insists that ExecStart names an executable, so a copy of the unit
# that starts DAEMON (the daemon just built) is checked in a scratch folder.
# Any message about the unit, or a failing verify, fails the check.
set -uo pipefail

if [ $# -ne 2 ]; then
  echo "usage: verify-unit.sh UNIT DAEMON" >&2
  exit 2
fi
unit=$1
daemon=$2
name=$(basename "$unit")

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

sed "s|^ExecStart=/usr/sbin/wavewarden\$|ExecStart=$daemon|" "$unit" >"$scratch/$name"
if ! grep -qxF "ExecStart=$daemon" "$scratch/$name"; then
  echo "$unit: no line ExecStart=/usr/sbin/wavewarden to point at the built daemon" >&2
  exit 1
fi

# --man=no: the manual pages are not installed here (lint.man checks them).
# --recursive-errors=no: units this one orders itself after (firewalld) need
# not be installed on the machine that builds.
out=$(cd "$scratch" && systemd-analyze verify --man=no --recursive-errors=no "./$name" 2>&1)
rc=$?
echo "$out"
if [ $rc -ne 0 ] || grep -q -e "$name" -e "$scratch" <<<"$out"; then
  echo "verify-unit: $unit has problems (status $rc)" >&2
  exit 1
fi
