#!/bin/bash
# Radio scenario: a radio whose own domain is the US one carries NO-IR above
# 5 GHz; the daemon detects it, reports it as "noir" and leaves the name
# visible although --hidden is asked for (a client joins without probing for
# a hidden name).
#   scenario-noir.sh BUILD_DIR
set -uo pipefail
build=$1
. "$(dirname "$0")/radio-lib.sh"

station_up US
start_daemon
create_and_wait - - scs nat --hidden
wait_for "wlanap on channel 6" 50 ap_on 6
err_has "Discovered NO-IR / PASSIVE-SCAN in this reg domain.  Enter NOIR mode" || fail "no NOIR line"
state_has '"noir" : 1' || state_has '"noir" : 3' || fail "noir not reported"
grep -q "ignore_broadcast_ssid" /var/run/softap_hostapd.conf && fail "hidden name applied"
read_creds
start_client "$ssid" "$passphrase"
wait_for "one station" 100 state_has '"stations" : 1'
pass
