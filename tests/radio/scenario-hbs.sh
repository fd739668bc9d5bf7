#!/bin/bash
# Radio scenario: with the station on 2.4 GHz, "create - - hbs nat" puts the
# access point on 6 GHz channel 37 at 160 MHz with SAE; a client joins, gets
# a lease from the daemon's dnsmasq and shows in the state report; the
# credentials come back; the client leaving brings the count back.
#   scenario-hbs.sh BUILD_DIR
set -uo pipefail
build=$1
. "$(dirname "$0")/radio-lib.sh"

station_up DE
[ "$(station_mhz)" = 2437 ] || fail "station not on 2437 MHz"
start_daemon
create_and_wait - - hbs nat
wait_for "wlanap on 6135 MHz" 50 ap_on 37
ap_width 160 || fail "width: $(ap_channel_line)"
log "$(iw dev wlanap info | grep -a channel)"
"$build/bandprobe" wlanap >"$work/probe.txt" || fail "bandprobe wlanap"
cat "$work/probe.txt"
grep -q "6135" "$work/probe.txt" || fail "bandprobe does not show 6135 MHz"
grep -q "^wpa_key_mgmt=SAE$" /var/run/softap_hostapd.conf || fail "not SAE"

# The credentials as the access point really runs them.
read_creds
[ "$ssid" = "$(head -1 /etc/hostname)" ] || fail "getcreds SSID '$ssid'"
[ "$passphrase" = "$(cat /etc/softap_password)" ] || fail "getcreds passphrase"

start_client "$ssid" "$passphrase"
wait_for "one station" 100 state_has '"stations" : 1'
client_lease phone1
wait_for "lease in state" 100 state_has '"phone1"'
wavectl state >"$work/state.json"
cat "$work/state.json"
grep -qF '"SSID" : "upstream"' "$work/state.json" || fail "station not in state"
python3 -c 'import json,sys; json.load(open(sys.argv[1]))' "$work/state.json" || fail "state is not JSON"

stop_client
wait_for "no station" 100 state_has '"stations" : 0'
pass
