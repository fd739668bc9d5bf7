#!/bin/bash
# Radio scenario, run inside the VM: at boot the daemon adopts the phy's own
# country on its first attempt, caches it, and replays the last request,
# whose pass logs the phy's 6 GHz rule. The boot survey counts the country
# that the upstream access point advertises.
#   scenario-boot.sh BUILD_DIR
set -uo pipefail
build=$1
. "$(dirname "$0")/radio-lib.sh"

station_up DE
printf 'create\t-\t-\thbs\tnat\n' >/var/run/wavewarden.laststate
start_daemon
wait_for "country adopted" 100 err_has "Domain resolved to DE"
err_has "Called reg get; domain: DE (max remain = 19)" || fail "not on the first attempt"
[ "$(cat /etc/softap_cache_domain)" = DE ] || fail "cache file"
# The station's scan results hold the upstream, which advertises DE.
err_has "  - 1 DE domain" || fail "survey: $(grep -a -A3 'Scans show' "$daemon_err")"
wait_for "replay" 100 err_has "# wavectl 'create' '-' '-' 'hbs' 'nat'"
wait_for "6 GHz rule" 100 err_has "NOTE: 6GHz rule: 5945 - 6425 MHz"
pass
