#!/bin/bash
# Radio scenario: with the station on 2.4 GHz, "create - - hbs nat" puts the
# access point on 6 GHz channel 37 at 160 MHz with SAE; a client joins, gets
# a lease from the daemon's dnsmasq and shows in the state report; the
# credentials come back; the client leaving brings the count back. Then the
# station follows its network to 6 GHz: a move across bands, by a restart.
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

# A move across bands: the upstream network goes to 6 GHz (with SAE, which
# 6 GHz requires) and the station follows; the access point leaves 6 GHz for
# channel 36, which no channel switch can do: hostapd restarts.
cat >>"$work/station.conf" <<CONF
sae_pwe=2
network={
  ssid="upstream"
  key_mgmt=SAE
  sae_password="upstream-pass"
  ieee80211w=2
}
CONF
wpa_cli -p "$work/station-ctrl" -i wlan0 reconfigure >/dev/null || fail "station reconfigure"
launches=$(err_count "Opening apps.")
log "the upstream network moves to 6 GHz channel 5"
stop_upstream
cat >"$work/upstream.conf" <<CONF
interface=wlan1
driver=nl80211
ssid=upstream
hw_mode=a
op_class=131
channel=5
country_code=DE
ieee80211ax=1
wpa=2
wpa_key_mgmt=SAE
rsn_pairwise=CCMP
ieee80211w=2
sae_password=upstream-pass
sae_pwe=1
ctrl_interface=$work/upstream-ctrl
CONF
ip -n up link set wlan1 down
ip -n up link set wlan1 address 02:00:00:00:aa:06 || fail "upstream BSSID"
ip netns exec up "$work/upstream-ap" "$work/upstream.conf" >"$work/upstream.log" 2>&1 &
upstream_pid=$!
wait_for "upstream on 6 GHz" 100 grep -q AP-ENABLED "$work/upstream.log"
station_on_6() { [ "$(station_mhz)" = 5975 ]; }
wait_for "station on 5975 MHz" 900 station_on_6
wait_for "wlanap on channel 36" 300 ap_on 36
err_has "Changing to use channel 36, band 5, freq 5180" || fail "no move to channel 36 logged"
err_has "freq 5180 failed after" && fail "a move across bands tried a switch"
err_has "Switched channel to freq 5180" && fail "a move across bands was switched"
[ "$(err_count "Opening apps.")" -gt "$launches" ] || fail "hostapd was not restarted"
log "across bands: $(grep -a "SPLIT:5900, STA ON 5975" "$daemon_err" | tail -1); hostapd restarted"
pass
