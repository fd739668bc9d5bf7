#!/bin/bash
# Radio scenario: test on 5 GHz channel 36, refresh, teardown, and restarts
# of the daemon whose laststate replay brings back what was asked last (and
# keeps the default passphrase).
#   scenario-replay.sh BUILD_DIR
set -uo pipefail
build=$1
. "$(dirname "$0")/radio-lib.sh"

enabled_count() { grep -ac "AP-ENABLED" /var/log/hostapd.log; }

station_up DE
start_daemon

log "test"
wavectl test lab secret123 5 36 | grep -q "Creating" || fail "test refused"
wait_for "test access point" 300 status_is "2	SoftAP Running	lab	secret123"
wait_for "wlanap on channel 36" 50 ap_on 36
[ "$(cat /var/run/wavewarden.laststate)" = "$(printf 'test\tlab\tsecret123\t5\t36')" ] ||
  fail "laststate: $(cat /var/run/wavewarden.laststate)"

log "refresh"
old_pid=$(pidof hostapd)
wavectl refresh >/dev/null
hostapd_replaced() { [ -n "$(pidof hostapd)" ] && [ "$(pidof hostapd)" != "$old_pid" ]; }
wait_for "hostapd restarted" 300 hostapd_replaced
wait_for "running after refresh" 300 status_is "2	SoftAP Running	lab"
wait_for "wlanap on channel 36 again" 100 ap_on 36

log "teardown"
wavectl teardown | grep -q "Tearing down" || fail "teardown reply"
wait_for "disabled" 100 status_is "0	Disabled."
# The interface stays, down, for the next create.
wlanap_down() { ! ip -o link show wlanap | grep -q '[<,]UP[,>]'; }
wait_for "wlanap down" 100 wlanap_down
[ -z "$(pidof hostapd)" ] || fail "hostapd still running"

log "restart after teardown: nothing comes back"
stop_daemon
start_daemon
wait_for "replay of teardown" 150 err_has "# wavectl 'teardown'"
wait_for "disabled after the replay" 100 status_is "0	Disabled."
[ -z "$(pidof hostapd)" ] || fail "hostapd came back after a teardown"

log "create, then restart: the access point comes back"
create_and_wait - - hbs nat
read_creds
first=$passphrase
stop_daemon
killall hostapd dnsmasq 2>/dev/null
start_daemon
wait_for "replay of create" 150 err_has "# wavectl 'create' '-' '-' 'hbs' 'nat'"
wait_for "running after the restart" 300 status_is "2	SoftAP Running"
wait_for "wlanap on channel 37" 100 ap_on 37
read_creds
[ "$passphrase" = "$first" ] || fail "passphrase changed over the restart"
pass
