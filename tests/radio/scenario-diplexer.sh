#!/bin/bash
# Radio scenario, the old-diplexer board: with the station on 2.4 GHz the
# access point goes to 5 GHz channel 149; when the station roams to an access
# point on channel 149 (above 5470 MHz), the connect event moves the access
# point to channel 36 within seconds, not at the next 20-second pass.
#   scenario-diplexer.sh BUILD_DIR
set -uo pipefail
build=$1
. "$(dirname "$0")/radio-lib.sh"

touch /root/zzzOldDiplexer
station_up DE
start_daemon
create_and_wait - - hbs nat
wait_for "wlanap on channel 149" 50 ap_on 149
log "$(ap_channel_line)"

stop_upstream
start_upstream 149 02:00:00:00:01:49
station_on_5745() { [ "$(station_mhz)" = 5745 ]; }
wait_for "station on 5745 MHz" 300 station_on_5745
wait_for "connect event" 50 err_has "connected to AP MAC: 02:00:00:00:01:49 CHANGED"
start=$(date +%s%N)
wait_for "wlanap on channel 36 within 5 s of the connect event" 50 ap_on 36
log "moved after $((($(date +%s%N) - start) / 1000000)) ms: $(ap_channel_line)"
wait_for "running again" 100 status_is "2	SoftAP Running"
pass
