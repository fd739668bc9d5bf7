#!/bin/bash
# Device scenario: with "create - - scs nat" the access point shares the
# station's channel. The upstream network moves from channel 6 to another
# access point on channel 11; NetworkManager's station follows, the daemon
# moves the access point to channel 11, and the phone, probing the upstream
# server every 100 ms throughout, is back and downloads again. Prints the
# phone's outage. Then, in the same boot (a boot costs a minute):
# "create - - hbs noroute": the phone takes a lease without a router, reaches
# the device at 10.35.78.1 but not the upstream server, although the device
# routed it a moment before.
#   scenario-roam.sh BUILD_DIR
set -uo pipefail
build=$1
. "$(dirname "$0")/device-lib.sh"

device_up
service_up
create_and_wait - - scs nat
wait_for "wlanap on channel 6" 100 ap_on 6
phone_join
download_works

start_probes

log "the upstream network moves to channel 11"
stop_upstream
roam=$(now_ms)
start_upstream 11 02:00:00:00:aa:01
station_on_11() { [ "$(station_mhz)" = 2462 ]; }
wait_for "station on channel 11" 600 station_on_11
joined=$(now_ms)
wait_for "wlanap on channel 11" 600 ap_on 11
moved=$(now_ms)
wait_for "the phone back" 600 client_linked
download_works 600
outage "$roam" "$moved"
log "the phone's outage $outage_ms ms; station joined after $((joined - roam)) ms, access point moved after $((moved - roam)) ms"

log "create - - hbs noroute"
stop_client
create_and_wait - - hbs noroute
wait_for "wlanap on channel 37" 100 ap_on 37
state_has '"route" : "No Route"' || fail "route in state"
phone_join
grep -q "^router=" "$work/offer" && fail "noroute offers a router: $(grep router "$work/offer")"
grep -q "^ip=10.35.78." "$work/offer" || fail "lease: $(cat "$work/offer")"
device_answers() { ip netns exec cl ping -c 1 -W 1 10.35.78.1; }
wait_for "the phone reaching 10.35.78.1" 300 device_answers
fetch 5 && fail "the phone reaches the upstream server"
no_denials
pass
