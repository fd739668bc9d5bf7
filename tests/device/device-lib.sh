# Helpers for the device image's scenarios, sourced after `build` is set.
# The device runs wavewarden as its packaged service beside firewalld (which
# does the NAT) and what joins the station wlan0 to the upstream network: on
# the image of the station "nm" NetworkManager, on that of "supplicant"
# wpa_supplicant@wlan0 and busybox udhcpc, no network manager (image.sh).
# The upstream access point, its DHCP and web servers and the phone live in
# network namespaces of the VM, as in the radio bed, whose helpers are reused
# here: "up" holds wlan1, 10.9.0.1 and the servers; "cl" the phone.
. "$(dirname "${BASH_SOURCE[0]}")/../radio/radio-lib.sh"
station=$(cat /etc/ww-station 2>/dev/null || echo nm)
# Each step with the seconds since the scenario began: where a boot's time
# goes.
log() { echo "--- ${SECONDS}s $*"; }

block=/sys/module/cfg80211/parameters/cfg80211_block_scans
payload=$work/www/payload
server_pid=
dhcp_server_pid=
prober_pid=

journal() { journalctl -b --no-pager -o cat "$@" 2>/dev/null; }
unit_log() { journal -u wavewarden; }
unit_has() { unit_log | grep -aqF -- "$1"; }

fail() {
  echo "FAIL: $*"
  echo "--- status: $(wavectl status 2>&1 | tr '\0\t' '  ')"
  echo "--- state: $(wavectl state 2>&1)"
  echo "--- systemctl status wavewarden"
  systemctl status --no-pager -n 0 wavewarden 2>&1 | head -12
  echo "--- journal of wavewarden"
  unit_log | grep -av '^Read: ' | tail -60
  if [ "$station" = nm ]; then
    echo "--- NetworkManager"
    journal -u NetworkManager | tail -15
    nmcli -t device 2>&1
  else
    echo "--- the station's supplicant and DHCP client"
    journal -u wpa_supplicant@wlan0 -u ww-dhcp@wlan0 | tail -15
  fi
  echo "--- hostapd log"
  tail -15 /var/log/hostapd.log 2>/dev/null
  echo "--- addresses"
  ip -br addr
  echo "--- phone"
  tail -5 "$work/client.log" 2>/dev/null
  ip -n cl -br addr 2>/dev/null
  stop_all
  exit 1
}

pass() {
  stop_all
  if [ -n "${WW_RADIO_VERBOSE:-}" ]; then
    echo "--- journal of wavewarden"
    unit_log | grep -av '^Read: '
  fi
  echo "PASS"
  exit 0
}

stop_all() {
  stop_pid prober_pid
  stop_client
  stop_pid server_pid
  stop_pid dhcp_server_pid
  stop_upstream
}

firewalld_running() { [ "$(firewall-cmd --state 2>/dev/null)" = running ]; }

# device_up [late]: the device after boot, as in the field: firewalld
# answering, the radios, the upstream network with its DHCP and web servers,
# and the station joined to it. "late": the scan-block parameter is not
# there yet (it is made by block_appears after the service started).
# device_channels=1 gives the device a radio of one channel.
device_up() {
  wait_for "firewalld running" 900 firewalld_running
  [ "$station" != nm ] || wait_for "NetworkManager" 300 systemctl is-active -q NetworkManager
  modprobe mac80211_hwsim radios=0 || fail "mac80211_hwsim"
  "$build/tests/hwsim_radio" --channels "${device_channels:-2}" --alpha2 DE >/dev/null ||
    fail "device radio"
  "$build/tests/hwsim_radio" --alpha2 DE >/dev/null || fail "upstream radio"
  "$build/tests/hwsim_radio" --alpha2 DE >/dev/null || fail "phone radio"
  wait_for "wlan2" 50 ip link show wlan2
  # The device's kernel has this cfg80211 parameter; Debian's has not.
  mount -t tmpfs params /sys/module/cfg80211/parameters || fail "parameter tmpfs"
  [ "${1:-}" = late ] || echo 0 >"$block"
  move_radio wlan2 cl
  start_upstream 6
  mkdir -p "$work/www"
  head -c 1048576 /dev/urandom >"$payload"
  echo probe >"$work/www/probe"
  ip netns exec up python3 -m http.server -b 10.9.0.1 -d "$work/www" 8080 \
    >"$work/server.log" 2>&1 &
  server_pid=$!
  # The station's one address, for a station that asks by DHCP.
  cat >"$work/udhcpd.conf" <<CONF
start 10.9.0.2
end 10.9.0.2
interface wlan1
lease_file $work/udhcpd.leases
option subnet 255.255.255.0
option router 10.9.0.1
CONF
  : >"$work/udhcpd.leases"
  ip netns exec up busybox udhcpd -f "$work/udhcpd.conf" >"$work/udhcpd.log" 2>&1 &
  dhcp_server_pid=$!
  wait_for "station joined ($station)" 600 station_routed
}
block_appears() { echo 0 >"$block"; }

station_routed() {
  station_linked && ip route show default | grep -q "via 10.9.0.1 dev wlan0"
}

# service_up: the packaged service enabled and started, up to the adoption
# of the phy's country.
service_up() {
  systemctl enable --now wavewarden 2>"$work/enable.log" || fail "enable: $(cat "$work/enable.log")"
  wait_for "management socket" 100 test -S /var/run/wavewarden.socket
  wait_for "country adopted" 300 unit_has "Domain resolved to "
}

# phone_join: the phone joins with the credentials the access point runs,
# takes a lease and configures what it was offered (address, router).
phone_join() {
  read_creds
  start_client "$ssid" "$passphrase"
  phone_lease
}
phone_lease() {
  cat >"$work/udhcpc.sh" <<'SCRIPT'
#!/bin/sh
[ "$1" = bound ] || exit 0
env >"$(dirname "$0")/offer"
ip addr flush dev "$interface"
ip addr add "$ip/${mask:-24}" dev "$interface"
[ -n "$router" ] && ip route replace default via "$router" dev "$interface"
exit 0
SCRIPT
  chmod +x "$work/udhcpc.sh"
  rm -f "$work/offer"
  ip netns exec cl busybox udhcpc -i wlan2 -n -q -t 10 -T 1 -s "$work/udhcpc.sh" \
    -x hostname:phone >"$work/udhcpc.log" 2>&1 || fail "no lease: $(cat "$work/udhcpc.log")"
}

# fetch [TIMEOUT]: the phone downloads the payload from the upstream server
# through the device; true when the bytes are the server's.
fetch() {
  ip netns exec cl python3 - "${1:-5}" "$payload" <<'PY' >/dev/null 2>&1
import hashlib, sys, urllib.request
with urllib.request.urlopen("http://10.9.0.1:8080/payload", timeout=float(sys.argv[1])) as r:
    got = r.read()
with open(sys.argv[2], "rb") as f:
    sys.exit(0 if hashlib.sha256(got).digest() == hashlib.sha256(f.read()).digest() else 1)
PY
}
download_works() { wait_for "the phone's download through the device" "${1:-300}" fetch 3; }

# The phone's probes of the upstream server, every 100 ms; a line per
# answered one, with its time in milliseconds.
start_probes() {
  : >"$work/probes"
  ip netns exec cl python3 - "$work/probes" <<'PY' &
import sys, time, urllib.request
with open(sys.argv[1], "w", buffering=1) as out:
    for _ in range(3000):
        try:
            with urllib.request.urlopen("http://10.9.0.1:8080/probe", timeout=0.5) as r:
                if r.read() == b"probe\n":
                    out.write("%d\n" % (time.time() * 1000))
        except OSError:
            pass
        time.sleep(0.1)
PY
  prober_pid=$!
  wait_for "the phone's probes" 100 test -s "$work/probes"
}
answered_after() { awk -v t="$1" '$1 > t { found = 1 } END { exit !found }' "$work/probes"; }
# outage SINCE UNTIL: sets outage_ms, the phone's time without answers from
# the last answer before SINCE to the first after UNTIL (the gaps longer
# than half a second, summed: the access point may move after the phone was
# back once), and back_ms, the time of that first answer.
outage() {
  wait_for "a probe answered" 600 answered_after "$2"
  stop_pid prober_pid
  awk -v t="$1" '$1 <= t' "$work/probes" | tail -1 | grep -q . || fail "no probe answered before $1"
  back_ms=$(awk -v t="$2" '$1 > t' "$work/probes" | head -1)
  outage_ms=$(awk -v from="$1" -v to="$back_ms" '
    $1 <= from { last = $1; next }
    $1 <= to { if ($1 - last > 500) sum += $1 - last; last = $1 }
    END { print sum + 0 }' "$work/probes")
}

# No sandbox denial anywhere in what the daemon, hostapd, dnsmasq and
# firewall-cmd (through firewalld) wrote.
no_denials() {
  local logs
  logs=$( {
    unit_log
    journal -u firewalld
    cat /var/log/hostapd.log /var/log/dnsmasq_ap.log 2>/dev/null
  } | grep -aE "Permission denied|Operation not permitted|Read-only file system")
  [ -z "$logs" ] || fail "denied in the sandbox: $logs"
}
