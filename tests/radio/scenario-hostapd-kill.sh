#!/bin/bash
# Radio scenario: hostapd killed behind the daemon's back; the next pass
# reports it and a refresh brings the access point back.
#   scenario-hostapd-kill.sh BUILD_DIR
set -uo pipefail
build=$1
. "$(dirname "$0")/radio-lib.sh"

station_up DE
start_daemon
create_and_wait - - hbs nat
wait_for "wlanap on channel 37" 50 ap_on 37
kill -9 "$(pidof hostapd)"
# The supervision pass comes within 20 seconds.
wait_for "failure reported" 300 err_has "hostapd failed ("
log "$(wavectl status | tr '\t' ' ')"
wavectl refresh >/dev/null
wait_for "running after refresh" 300 status_is "2	SoftAP Running"
wait_for "wlanap on channel 37" 100 ap_on 37
[ -n "$(pidof hostapd)" ] || fail "no hostapd"
pass
