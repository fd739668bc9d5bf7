#!/bin/bash
# Device scenario, on a device radio of one channel: with "create - - scs
# nat" the access point shares the station's channel, and the phone probes
# the upstream server every 100 ms throughout. Three moves of the upstream
# network, each measured against the station's own time without upstream
# (the floor: the phone can do no better):
#  1. its access point announces a move to channel 11: the station follows,
#     the access point switches with it, the phone stays associated;
#  2. it moves unannounced to another access point on channel 1: the access
#     point goes ahead to where the station's scans see it, by a switch, and
#     the phone stays associated while NetworkManager's station rejoins;
#  3. the same move to channel 6 with hostapd's control socket hidden: the
#     switch fails, hostapd restarts, and the phone has to join again.
# Prints the three outages beside their floors. Then, in the same boot (a
# boot costs a minute): "create - - scs noroute": the phone takes a lease
# without a router, reaches the device at 10.35.78.1 but not the upstream
# server, although the device routed it a moment before.
#   scenario-roam.sh BUILD_DIR
set -uo pipefail
build=$1
. "$(dirname "$0")/device-lib.sh"

device_channels=1 device_up
service_up
create_and_wait - - scs nat
wait_for "wlanap on channel 6" 100 ap_on 6
phone_join
download_works
start_probes

# within_floor WHAT: the phone's outage at most a second over the floor.
within_floor() {
  log "$1: the phone's outage $outage_ms ms, the station's $floor_ms ms"
  [ "$outage_ms" -le $((floor_ms + 1000)) ] ||
    fail "$1: the phone's outage $outage_ms ms, over the station's $floor_ms ms plus 1 s"
}
station_at() { [ "$(station_mhz)" = "$1" ] && station_routed; }
associations=$(grep -c "CTRL-EVENT-CONNECTED" "$work/client.log")

log "1. the upstream access point announces a move to channel 11"
roam=$(now_ms)
reply=$(ip netns exec up hostapd_cli -p "$work/upstream-ctrl" -i wlan1 \
  chan_switch 10 2462 ht 2>&1 | tail -1)
[ "$reply" = OK ] || fail "upstream chan_switch: $reply"
wait_for "station on channel 11" 300 station_at 2462
floor_ms=$(($(now_ms) - roam))
wait_for "wlanap on channel 11" 300 ap_on 11
wait_for "the switch line" 100 unit_has "Switched channel to freq 2462 in "
outage "$roam" "$(now_ms)"
grep -q "CTRL-EVENT-CHANNEL-SWITCH.*freq=2462" "$work/client.log" ||
  fail "the phone logged no channel switch to 2462"
phone_kept
within_floor "announced"
echo "FIGURE device_roam_announced_outage_ms $outage_ms"
echo "FIGURE device_roam_announced_floor_ms $floor_ms"

log "2. the upstream network moves to another access point on channel 1"
start_probes
stop_upstream
roam=$(now_ms)
start_upstream 1 02:00:00:00:aa:01
wait_for "station on channel 1" 900 station_at 2412
floor_ms=$(($(now_ms) - roam))
wait_for "wlanap on channel 1" 300 ap_on 1
unit_has "Switched channel to freq 2412 in " || fail "the access point did not go ahead by a switch"
outage "$roam" "$(now_ms)"
phone_kept
within_floor "unannounced"
echo "FIGURE device_roam_rejoin_outage_ms $outage_ms"
echo "FIGURE device_roam_rejoin_floor_ms $floor_ms"

log "3. the same move to channel 6, hostapd's control socket hidden: a restart"
mv /var/run/hostapd/wlanap /var/run/hostapd/hidden || fail "no control socket to hide"
start_probes
stop_upstream
roam=$(now_ms)
start_upstream 6 02:00:00:00:aa:02
wait_for "station on channel 6" 900 station_at 2437
floor_ms=$(($(now_ms) - roam))
wait_for "wlanap on channel 6" 300 ap_on 6
unit_has "Channel switch to freq 2437 failed after " || fail "no failed switch logged"
wait_for "the phone back" 600 client_linked
download_works 600
outage "$roam" "$(now_ms)"
rm -f /var/run/hostapd/hidden
log "restart: the phone's outage $outage_ms ms, the station's $floor_ms ms"
echo "FIGURE device_roam_restart_outage_ms $outage_ms"
echo "FIGURE device_roam_restart_floor_ms $floor_ms"

log "create - - scs noroute"
stop_client
create_and_wait - - scs noroute
wait_for "wlanap on channel 6" 100 ap_on 6
state_has '"route" : "No Route"' || fail "route in state"
phone_join
grep -q "^router=" "$work/offer" && fail "noroute offers a router: $(grep router "$work/offer")"
grep -q "^ip=10.35.78." "$work/offer" || fail "lease: $(cat "$work/offer")"
device_answers() { ip netns exec cl ping -c 1 -W 1 10.35.78.1; }
wait_for "the phone reaching 10.35.78.1" 300 device_answers
fetch 5 && fail "the phone reaches the upstream server"
no_denials
pass
