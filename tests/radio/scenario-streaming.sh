#!/bin/bash
# Radio scenario: the streaming socket turns the kernel's background scans
# off by band (5 for the station on 2.4 GHz, 1 once the access point on
# 6 GHz streams too, 0 when the client goes), and test-scan reports the
# radio's real survey.
#   scenario-streaming.sh BUILD_DIR
set -uo pipefail
build=$1
. "$(dirname "$0")/radio-lib.sh"

block=/sys/module/cfg80211/parameters/cfg80211_block_scans
station_up DE
start_daemon
create_and_wait - - hbs nat
wait_for "wlanap on channel 37" 50 ap_on 37

# One streaming connection, held open while the parameter is checked.
"$radio_lib/streamer.py" "$block" wlan0=5 wlanap=1 close=0 || fail "streaming client"
err_has "iw dev wlan0 cqm rssi -110 4" || fail "no cqm threshold while streaming"

log "test-scan"
[ "$(wavectl test-scan | tr -d '\0')" = "$(printf '1\tDone check journalctl -u wavewarden')" ] ||
  fail "test-scan reply"
# hwsim keeps the survey of the channels of its latest scan.
grep -aqE "^SUMMARY, [1-9][0-9]{3}, [0-9.]+$" "$daemon_err" || fail "no surveyed channel"
err_has "Noise: " || fail "no noise floor in the survey"
log "$(grep -acE '^SUMMARY, [1-9]' "$daemon_err") channels surveyed"
pass
