#!/bin/bash
# The demo, run inside the radio VM: an upstream network and the device's
# station on simulated radios, the daemon creating its access point, a client
# joining it; then what the daemon reports.
#   demo.sh BUILD_DIR
set -uo pipefail
build=$1
. "$(dirname "$0")/radio-lib.sh"

show() {
  echo
  echo "\$ $*"
  "$@"
}

log "radios: wlan0 (the device), wlan1 (an upstream access point), wlan2 (a phone)"
station_up DE
log "wlan0 joined the upstream network on $(station_mhz) MHz; starting wavewarden"
start_daemon
show wavectl create - - hbs nat
wait_for "the access point" 300 status_is "2	SoftAP Running"
read_creds
log "a phone joins \"$ssid\" with the passphrase \"$passphrase\""
start_client "$ssid" "$passphrase"
client_lease phone
wait_for "the lease in the report" 100 state_has '"name" : "phone"'
show wavectl status
echo
echo "\$ wavectl state | python3 -m json.tool"
wavectl state | python3 -m json.tool || fail "state is not JSON"
show bandprobe wlan0
show bandprobe wlanap
echo
pass
