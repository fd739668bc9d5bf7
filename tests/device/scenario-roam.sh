#!/bin/bash
# Device scenario: with "create - - scs nat" the access point shares the
# station's channel. The upstream network moves from channel 6 to another
# access point on channel 11; NetworkManager's station follows, the daemon
# moves the access point to channel 11, and the phone, probing the upstream
# server every 100 ms throughout, is back and downloads again. Prints the
# phone's outage.
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
no_denials
pass
