#!/bin/bash
# Radio scenario: a second create with a new name and passphrase lands on the
# channel the access point already has, and hostapd is relaunched on the new
# settings: the air, getcreds and status agree, and a phone joins with the new
# passphrase. Then create, create and teardown in quick succession end with
# no access point and a laststate of teardown.
#   scenario-intent.sh BUILD_DIR
set -uo pipefail
build=$1
. "$(dirname "$0")/radio-lib.sh"

# stays_for WHAT TENTHS COMMAND...: COMMAND holds at each of TENTHS polls
# 0.1 s apart.
stays_for() {
  local what=$1 tries=$2
  shift 2
  for _ in $(seq "$tries"); do
    "$@" >/dev/null 2>&1 || fail "no longer $what"
    sleep 0.1
  done
}

station_up DE
start_daemon
create_and_wait first-net first-pass1 hbs nat
wait_for "wlanap on channel 37" 50 ap_on 37
read_creds
[ "$ssid" = first-net ] || fail "first name on the air: '$ssid'"

log "a new name and passphrase on the same channel"
first_hostapd=$(pidof hostapd)
wavectl create second-net second-pass2 hbs nat | grep -q "Creating" || fail "second create refused"
wait_for "running with the new settings" 300 status_is "2	SoftAP Running	second-net	second-pass2"
err_has "(freq 6135) unchanged, not recreating softap" || fail "the channel was decided anew"
hostapd_replaced() { [ -n "$(pidof hostapd)" ] && [ "$(pidof hostapd)" != "$first_hostapd" ]; }
wait_for "hostapd relaunched" 100 hostapd_replaced
# The relaunched hostapd sets the channel up again a moment after it starts.
wait_for "wlanap back on channel 37" 100 ap_on 37
grep -qx "ssid=second-net" /var/run/softap_hostapd.conf || fail "configuration keeps the old name"
grep -qx "sae_password=second-pass2" /var/run/softap_hostapd.conf ||
  fail "configuration keeps the old passphrase"
on_air_is_second() { creds_ready && [ "$ssid" = second-net ]; }
wait_for "the new name on the air" 100 on_air_is_second
[ "$passphrase" = second-pass2 ] || fail "getcreds passphrase '$passphrase'"
start_client second-net second-pass2
client_lease phone2
wait_for "one station" 100 state_has '"stations" : 1'
stop_client

log "create, create, teardown in quick succession"
wavectl create A-net A-pass-123 hbs nat | grep -q "Creating" || fail "create A"
wavectl create B-net B-pass-123 hbs nat | grep -q "Creating" || fail "create B"
wavectl teardown | grep -q "Tearing down" || fail "teardown"
wait_for "disabled" 300 status_is "0	Disabled."
# Several passes' worth: nothing comes back.
stays_for "disabled" 50 status_is "0	Disabled."
[ "$(cat /var/run/wavewarden.laststate)" = teardown ] ||
  fail "laststate: $(cat /var/run/wavewarden.laststate)"
[ -z "$(pidof hostapd)" ] || fail "hostapd still running"
pass
