# Helpers for radio scenarios, sourced inside the VM after `build` is set:
# simulated radios, an upstream access point and a client in their own
# network namespaces, the daemon started and stopped by pid, waits with
# deadlines (never bare sleeps), and a verdict.
#
# Radios: wlan0 is the device's (two channels, so station and access point
# may sit on different ones; device_channels=1 before make_radios gives a
# radio of one channel), wlan1 carries the upstream access point in the
# namespace "up", wlan2 the client in the namespace "cl".
radio_lib=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
work=/run/ww-radio
daemon_pid=
daemon_err=$work/daemon.err
daemon_out=$work/daemon.out
upstream_pid=
station_pid=
client_pid=
mkdir -p "$work"

log() { echo "--- $*"; }

# Milliseconds since the epoch.
now_ms() { echo $((${EPOCHREALTIME/./} / 1000)); }

fail() {
  echo "FAIL: $*"
  echo "--- status: $(wavectl status 2>&1 | tr '\0\t' '  ')"
  echo "--- state: $(wavectl state 2>&1)"
  echo "--- daemon standard error"
  grep -av '^Read: ' "$daemon_err" 2>/dev/null | tail -80
  echo "--- hostapd log"
  tail -30 /var/log/hostapd.log 2>/dev/null
  echo "--- processes"
  ps -eo pid,ppid,stat,wchan:20,args | grep -v ' \[' | tail -25
  stop_all
  exit 1
}

pass() {
  stop_all
  if [ -n "${WW_RADIO_VERBOSE:-}" ]; then
    echo "--- daemon standard error"
    grep -av '^Read: ' "$daemon_err"
  fi
  echo "PASS"
  exit 0
}

# wait_for WHAT TENTHS COMMAND...: polls COMMAND every 0.1 s, at most TENTHS
# times, stretched by WW_TIME_SCALE for slower guests (arm64 under emulation).
wait_for() {
  local what=$1 tries=$(($2 * ${WW_TIME_SCALE:-1}))
  shift 2
  for _ in $(seq "$tries"); do
    "$@" >/dev/null 2>&1 && return 0
    sleep 0.1
  done
  fail "timed out waiting for $what"
}

# Counts lines of the daemon's standard error that match a fixed string.
err_count() { grep -acF -- "$1" "$daemon_err"; }
err_has() { grep -aqF -- "$1" "$daemon_err"; }

# make_radios DEVICE_COUNTRY [OTHERS_COUNTRY]: the three radios, each with a
# regulatory hint (so each phy has its own domain), and a tmpfs standing in
# for the scan-block parameter that the device's kernel has.
make_radios() {
  modprobe mac80211_hwsim radios=0 || fail "mac80211_hwsim"
  "$build/tests/hwsim_radio" --channels "${device_channels:-2}" --alpha2 "$1" >/dev/null ||
    fail "device radio"
  "$build/tests/hwsim_radio" --alpha2 "${2:-DE}" >/dev/null || fail "upstream radio"
  "$build/tests/hwsim_radio" --alpha2 "${2:-DE}" >/dev/null || fail "client radio"
  wait_for "wlan2" 50 ip link show wlan2
  mount -t tmpfs params /sys/module/cfg80211/parameters || fail "parameter tmpfs"
  echo 0 >/sys/module/cfg80211/parameters/cfg80211_block_scans
}

phy_of() { cat "/sys/class/net/$1/phy80211/name"; }

# move_radio IFACE NS: the whole phy goes into the namespace (created here).
move_radio() {
  ip netns add "$2" 2>/dev/null
  iw phy "$(phy_of "$1")" set netns name "$2" || fail "moving $1 to $2"
  ip -n "$2" link set lo up
}

# start_upstream CHANNEL [BSSID]: an open network "upstream" on wlan1 that
# advertises DE, run from a copy of hostapd under another name so that the
# daemon's "killall hostapd" spares it. Another BSSID makes it another access
# point of the same network, as when the station roams.
start_upstream() {
  local channel=$1 mode=g
  [ "$channel" -gt 14 ] && mode=a
  if ip link show wlan1 >/dev/null 2>&1; then
    move_radio wlan1 up
    ip -n up addr add 10.9.0.1/24 dev wlan1
  fi
  if [ $# -gt 1 ]; then
    ip -n up link set wlan1 down
    ip -n up link set wlan1 address "$2" || fail "upstream BSSID"
  fi
  cp /usr/sbin/hostapd "$work/upstream-ap"
  cat >"$work/upstream.conf" <<CONF
interface=wlan1
driver=nl80211
ssid=upstream
hw_mode=$mode
channel=$channel
country_code=DE
ieee80211d=1
ieee80211n=1
ctrl_interface=$work/upstream-ctrl
CONF
  : >"$work/upstream.log"
  ip netns exec up "$work/upstream-ap" "$work/upstream.conf" >"$work/upstream.log" 2>&1 &
  upstream_pid=$!
  wait_for "upstream on channel $channel" 100 grep -q AP-ENABLED "$work/upstream.log"
}

# stop_pid VARIABLE: ends the process whose pid the variable holds, by pid.
stop_pid() {
  local pid=${!1}
  if [ -n "$pid" ]; then
    kill "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
    printf -v "$1" '%s' ""
  fi
}

stop_upstream() { stop_pid upstream_pid; }

station_linked() { iw dev wlan0 link | grep -q "SSID: upstream"; }

# connect_station: wlan0 joins the upstream network, with an address and a
# default route through it.
connect_station() {
  cat >"$work/station.conf" <<CONF
ctrl_interface=$work/station-ctrl
network={
  ssid="upstream"
  key_mgmt=NONE
}
CONF
  wpa_supplicant -i wlan0 -c "$work/station.conf" >"$work/station.log" 2>&1 &
  station_pid=$!
  wait_for "station connected" 300 station_linked
  ip addr add 10.9.0.2/24 dev wlan0
  ip route add default via 10.9.0.1
}

# station_up COUNTRY: the radios, the upstream on 2.4 GHz channel 6 and the
# device's station joined to it: where most scenarios start.
station_up() {
  make_radios "$1"
  start_upstream 6
  connect_station
}

station_mhz() { iw dev wlan0 link | awk '/freq:/ {print int($2)}'; }

# start_client SSID PASSPHRASE: wlan2 joins the device's access point from
# the namespace "cl" (SAE or WPA2, whatever the access point offers).
start_client() {
  ip link show wlan2 >/dev/null 2>&1 && move_radio wlan2 cl
  cat >"$work/client.conf" <<CONF
ctrl_interface=$work/client-ctrl
sae_pwe=2
network={
  ssid="$1"
  key_mgmt=SAE WPA-PSK
  psk="$2"
  sae_password="$2"
  ieee80211w=1
}
CONF
  ip netns exec cl wpa_supplicant -i wlan2 -c "$work/client.conf" >"$work/client.log" 2>&1 &
  client_pid=$!
  wait_for "client associated" 400 client_linked
}

client_linked() { ip netns exec cl iw dev wlan2 link | grep -q "^Connected"; }

# phone_kept: the phone neither disconnected nor associated again since it
# had `associations` (its count of CTRL-EVENT-CONNECTED lines).
phone_kept() {
  grep -q "CTRL-EVENT-DISCONNECTED" "$work/client.log" &&
    fail "the phone was disconnected: $(grep CTRL-EVENT-DISCONNECTED "$work/client.log")"
  [ "$(grep -c "CTRL-EVENT-CONNECTED" "$work/client.log")" = "$associations" ] ||
    fail "the phone associated again"
}

# client_lease HOSTNAME: one DHCP exchange with the daemon's dnsmasq; the
# options offered land in $work/offer.
client_lease() {
  printf '#!/bin/sh\n[ "$1" = bound ] && env >%s\nexit 0\n' "$work/offer" >"$work/udhcpc.sh"
  chmod +x "$work/udhcpc.sh"
  rm -f "$work/offer"
  ip netns exec cl busybox udhcpc -i wlan2 -n -q -t 10 -T 1 -s "$work/udhcpc.sh" \
    -x "hostname:$1" >"$work/udhcpc.log" 2>&1 || fail "no lease: $(cat "$work/udhcpc.log")"
}

stop_client() { stop_pid client_pid; }

# start_daemon: the daemon with the bed's hostapd adapter and firewall-cmd
# stand-in first on its PATH, up to the adoption of the phy's country (which
# refreshes the access point, so requests made before it race with that).
start_daemon() {
  export PATH="$build/tests/radio-bin:$radio_lib/bin:$build:$PATH"
  "$build/wavewarden" >"$daemon_out" 2>"$daemon_err" &
  daemon_pid=$!
  wait_for "management socket" 50 test -S /var/run/wavewarden.socket
  wait_for "country adopted" 300 err_has "Domain resolved to "
}

stop_daemon() { stop_pid daemon_pid; }

stop_all() {
  stop_daemon
  stop_client
  stop_pid station_pid
  stop_upstream
  killall hostapd dnsmasq 2>/dev/null
}

# create_and_wait WORD...: a create request, then the access point running.
create_and_wait() {
  wavectl create "$@" | grep -q "Creating" || fail "create $* refused"
  wait_for "SoftAP Running after create $*" 300 status_is "2	SoftAP Running"
}

# The credentials as the access point runs them: sets ssid and passphrase.
# "SoftAP Running" is published when hostapd starts, before it has set the
# name up in the kernel; until then getcreds answers with a bare NUL.
creds_ready() {
  wavectl getcreds | tr '\0' '\n' >"$work/creds"
  ssid=$(sed -n 1p "$work/creds")
  passphrase=$(sed -n 2p "$work/creds")
  [ -n "$ssid" ]
}
read_creds() { wait_for "credentials" 100 creds_ready; creds_ready; }

# The access point as the kernel sees it.
ap_channel_line() { iw dev wlanap info | grep -a "channel"; }
ap_on() { iw dev wlanap info 2>/dev/null | grep -aq "channel $1 "; }
ap_width() { iw dev wlanap info 2>/dev/null | grep -aq "width: $1 MHz"; }
hostapd_enabled() { grep -aq "AP-ENABLED" /var/log/hostapd.log; }
status_is() { wavectl status | grep -aq "^$1"; }
state_has() { wavectl state | grep -aqF -- "$1"; }
