#!/bin/bash
# Radio scenario: the access point follows the station by a channel switch,
# on a radio of one channel (where mac80211 completes a switch only when
# every interface on the channel moves together). "create - - scs nat"
# shares the station's channel 1; a phone joins, takes a lease and probes
# the device every 100 ms. The upstream access point announces a move to
# channel 11; the station follows it, and the daemon, told of the station's
# move when it starts, announces the same move on the access point: both
# land on 2462 MHz together. The phone followed without leaving (no
# disconnection, no new association, the same address) and the daemon still
# counts it. Then the upstream network moves unannounced, to another access
# point on channel 6: the station's scans show it there, and the access
# point goes ahead by a switch, without which the station could never join
# (its radio holds channel 11 for the access point). The phone stays on.
# Prints the station's switch and rejoin times and the phone's longest gaps.
#   scenario-roam.sh BUILD_DIR
set -uo pipefail
build=$1
. "$(dirname "$0")/radio-lib.sh"
pinger_pid=
eval "$(declare -f stop_all | sed '1s/stop_all/stop_the_bed/')"
stop_all() {
  stop_pid pinger_pid
  stop_the_bed
}

# start_probes: the phone's probes, a TCP connection to a closed port of the
# device every 100 ms, answered by the device's kernel at once (refused); a
# line per answer with its time in milliseconds.
start_probes() {
  ip netns exec cl python3 - "$work/probes" <<'PY' &
import socket, sys, time
with open(sys.argv[1], "w", buffering=1) as out:
    for _ in range(3000):
        try:
            socket.create_connection(("10.35.78.1", 9), timeout=0.5).close()
            out.write("%d\n" % (time.time() * 1000))
        except ConnectionRefusedError:
            out.write("%d\n" % (time.time() * 1000))
        except OSError:
            pass
        time.sleep(0.1)
PY
  pinger_pid=$!
  wait_for "the phone's probes answered" 100 test -s "$work/probes"
}

# The longest gap between the phone's answers, in milliseconds.
gap() {
  awk '{ if (last && $1 - last > max) max = $1 - last; last = $1 } END { printf "%d", max }' \
    "$work/probes"
}

# phone_stayed: the phone never left the access point, and hostapd ran on.
phone_stayed() {
  phone_kept
  client_linked || fail "the phone is not associated"
  ip -n cl -4 addr show dev wlan2 | grep -q "inet $address/" || fail "the phone lost $address"
  [ "$(err_count "Opening apps.")" = "$launches" ] || fail "hostapd was restarted"
  counts_one || fail "state: $(wavectl state)"
  status_is 2 || fail "status: $(wavectl status | tr "\0\t" "  ")"
}

device_channels=1
make_radios DE
start_upstream 1
connect_station
start_daemon
create_and_wait - - scs nat
wait_for "wlanap on channel 1" 100 ap_on 1
read_creds
start_client "$ssid" "$passphrase"
client_lease phone
address=$(sed -n 's/^ip=//p' "$work/offer")
[ -n "$address" ] || fail "no address offered"
ip -n cl addr add "$address/24" dev wlan2 || fail "phone address"
counts_one() { state_has '"stations" : 1'; }
wait_for "one station counted" 300 counts_one

start_probes
associations=$(grep -c "CTRL-EVENT-CONNECTED" "$work/client.log")
launches=$(err_count "Opening apps.")

log "the upstream access point announces a move to channel 11"
started=$(now_ms)
reply=$(ip netns exec up hostapd_cli -p "$work/upstream-ctrl" -i wlan1 \
  chan_switch 10 2462 ht 2>&1 | tail -1)
[ "$reply" = OK ] || fail "upstream chan_switch: $reply"
station_on_11() { [ "$(station_mhz)" = 2462 ]; }
wait_for "station on 2462 MHz" 300 station_on_11
station_ms=$(($(now_ms) - started))
wait_for "wlanap on channel 11" 300 ap_on 11
wait_for "the switch line" 100 err_has "Switched channel to freq 2462 in "
log "$(grep -a "Station switching\|Switched channel to freq" "$daemon_err")"
sleep 2
stop_pid pinger_pid

switched() { grep -q "CTRL-EVENT-CHANNEL-SWITCH.*freq=2462" "$work/client.log"; }
switched || fail "the phone logged no channel switch to 2462: $(tail -5 "$work/client.log")"
phone_stayed
station_linked || fail "the station left upstream"
log "the station's switch: $station_ms ms; the phone's longest gap between answers: $(gap) ms"
echo "FIGURE roam_station_switch_ms $station_ms"
echo "FIGURE roam_switch_gap_ms $(gap)"

log "the upstream network moves to another access point, on channel 6, unannounced"
start_probes
stop_upstream
lost=$(now_ms)
start_upstream 6 02:00:00:00:aa:01
station_on_6() { [ "$(station_mhz)" = 2437 ]; }
wait_for "station on 2437 MHz" 900 station_on_6
rejoin_ms=$(($(now_ms) - lost))
wait_for "wlanap on channel 6" 100 ap_on 6
log "$(grep -a "Station's network seen\|Switched channel to freq 2437" "$daemon_err")"
err_has "Switched channel to freq 2437 in " || fail "the access point did not go ahead by a switch"
sleep 2
stop_pid pinger_pid
phone_stayed
log "the station's rejoin: $rejoin_ms ms; the phone's longest gap between answers: $(gap) ms"
echo "FIGURE roam_station_rejoin_ms $rejoin_ms"
echo "FIGURE roam_rejoin_gap_ms $(gap)"
pass
