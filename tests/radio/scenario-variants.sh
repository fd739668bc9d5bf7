#!/bin/bash
# Radio scenario: the variants of create with the station on 2.4 GHz, each
# with a client that joins and takes a lease: "--width 80" (6 GHz channel 37
# at 80 MHz), "scs" (the station's own channel) and "noroute" (no router
# offered to the client).
#   scenario-variants.sh BUILD_DIR
set -uo pipefail
build=$1
. "$(dirname "$0")/radio-lib.sh"

# join_and_leave HOSTNAME: a client joins, counts, takes a lease, leaves.
join_and_leave() {
  read_creds
  start_client "$ssid" "$passphrase"
  wait_for "one station" 100 state_has '"stations" : 1'
  client_lease "$1"
  wait_for "lease of $1 in state" 100 state_has "\"name\" : \"$1\""
  stop_client
  wait_for "no station" 100 state_has '"stations" : 0'
}

station_up DE
start_daemon

log "--width 80"
create_and_wait - - hbs nat --width 80
wait_for "wlanap on channel 37" 50 ap_on 37
ap_width 80 || fail "width: $(ap_channel_line)"
join_and_leave phone1
grep -q "^router=10.35.78.1$" "$work/offer" || fail "nat offers no router: $(cat "$work/offer")"

log "scs"
create_and_wait - - scs nat
wait_for "wlanap on the station's channel" 50 ap_on 6
ap_width 20 || fail "width: $(ap_channel_line)"
state_has '"mode" : "SCS"' || fail "mode in state"
join_and_leave phone2

log "noroute"
create_and_wait - - hbs noroute
wait_for "wlanap on channel 37" 50 ap_on 37
state_has '"route" : "No Route"' || fail "route in state"
join_and_leave phone3
grep -q "^router=" "$work/offer" && fail "noroute offers a router: $(grep router "$work/offer")"
grep -q "^ip=10.35.78." "$work/offer" || fail "lease address: $(cat "$work/offer")"
pass
