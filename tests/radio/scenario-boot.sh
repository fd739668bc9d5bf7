#!/bin/bash
# Radio scenario, run inside the VM: at boot the daemon adopts the phy's own
# country on its first attempt, caches it, and replays the last request,
# whose pass logs the phy's 6 GHz rule.
#   scenario-boot.sh BUILD_DIR
set -uo pipefail
build=$1
. "$(dirname "$0")/radio-lib.sh"

modprobe mac80211_hwsim radios=0
"$build/tests/hwsim_radio" --channels 2 --alpha2 DE >/dev/null || fail "no radio"
wait_for "wlan0 exists" 50 ip link show wlan0
printf 'create\t-\t-\thbs\tnat\n' >/var/run/wavewarden.laststate
start_daemon "$build"
wait_for "country adopted" 100 grep -q "Domain resolved to DE" "$daemon_err"
grep -q "Called reg get; domain: DE (max remain = 19)" "$daemon_err" || fail "not on the first attempt"
[ "$(cat /etc/softap_cache_domain)" = DE ] || fail "cache file"
wait_for "replay" 100 grep -q "# wavectl 'create' '-' '-' 'hbs' 'nat'" "$daemon_err"
wait_for "6 GHz rule" 100 grep -q "NOTE: 6GHz rule: 5945 - 6425 MHz" "$daemon_err"
pass
