#!/bin/bash
# Device scenario: the packaged service beside firewalld and what runs the
# station (NetworkManager, or wpa_supplicant and udhcpc: device-lib.sh).
# "create - - hbs nat": a phone joins with SAE, takes a lease and downloads a
# file from the upstream server through the device's NAT (done by firewalld).
# The hotspot survives NetworkManager restarting (where it runs), firewalld
# reloading, the service restarting and the daemon killed with SIGKILL; no
# network manager came with the package; scan blocking and enablencm work although
# the cfg80211 parameter and the USB gadget appear after the service started;
# a stop leaves nothing running; the sandbox denies nothing.
#   scenario-nat.sh BUILD_DIR
set -uo pipefail
build=$1
. "$(dirname "$0")/device-lib.sh"

device_up late
modprobe dummy_hcd || fail "dummy_hcd"
service_up

log "the scan-block parameter and the USB gadget appear after the start"
block_appears
modprobe libcomposite || fail "libcomposite"
gadget=/sys/kernel/config/usb_gadget/g1
mkdir -p "$gadget/configs/c.1" || fail "gadget g1"
echo 0x1d6b >"$gadget/idVendor"
echo 0x0104 >"$gadget/idProduct"

log "create - - hbs nat"
start=$(now_ms)
create_and_wait - - hbs nat
running=$(now_ms)
wait_for "wlanap on channel 37" 100 ap_on 37
phone_join
grep -q "^router=10.35.78.1$" "$work/offer" || fail "no router offered: $(cat "$work/offer")"
download_works
first=$(now_ms)
log "create to SoftAP Running $((running - start)) ms, to the phone's download $((first - start)) ms"
echo "FIGURE create_to_download_ms $((first - start))"
read_creds
first_ssid=$ssid first_passphrase=$passphrase

log "scan blocking while wlan0 streams"
"$radio_lib/streamer.py" "$block" wlan0=5 close=0 || fail "streaming client"

log "enablencm"
reply=$(wavectl enablencm | tr -d '\0')
[ "$reply" = "Entered NC Mmode" ] || fail "enablencm: $reply"
usb0_up() { ip link show usb0 | grep -q "<.*UP.*>"; }
wait_for "usb0 up" 100 usb0_up

ap_address() { ip -4 addr show dev wlanap | grep -q "inet 10.35.78.1/24"; }
if [ "$station" = nm ]; then
  log "NetworkManager restarts while the access point runs"
  systemctl restart NetworkManager || fail "restarting NetworkManager"
  nm_sees_wlanap() { nmcli -t -f DEVICE,STATE device | grep -q "^wlanap:"; }
  wait_for "NetworkManager listing wlanap" 300 nm_sees_wlanap
  nmcli -t -f DEVICE,STATE device | grep -qx "wlanap:unmanaged" ||
    fail "NetworkManager manages wlanap: $(nmcli -t -f DEVICE,STATE device)"
  download_works
  ap_address || fail "wlanap lost 10.35.78.1"
else
  for manager in network-manager modemmanager connman; do
    dpkg -s "$manager" >/dev/null 2>&1 && fail "$manager is installed"
  done
  log "no network manager installed"
fi

log "systemctl restart wavewarden"
systemctl restart wavewarden || fail "restart"
wait_for "SoftAP Running after the restart" 600 status_is "2	SoftAP Running"
read_creds
[ "$ssid/$passphrase" = "$first_ssid/$first_passphrase" ] || fail "other credentials: $ssid"
wait_for "the phone back" 600 client_linked
download_works 600

log "the daemon killed with SIGKILL"
systemctl kill -s KILL --kill-whom=main wavewarden || fail "kill"
restarted() { [ "$(systemctl show -P NRestarts wavewarden)" = 1 ]; }
wait_for "the unit restarting the daemon" 300 restarted
wait_for "SoftAP Running after SIGKILL" 600 status_is "2	SoftAP Running"
read_creds
[ "$ssid/$passphrase" = "$first_ssid/$first_passphrase" ] || fail "other credentials: $ssid"
wait_for "the phone back" 600 client_linked
download_works 600

log "firewalld reloads"
firewall-cmd --reload >/dev/null || fail "firewalld reload"
firewall-cmd --get-zones | grep -qw nm-shared || fail "no zone nm-shared after a firewalld reload"
# The daemon's bindings are firewalld's runtime ones, which a reload drops.
log "wlanap's zone after the reload: $(firewall-cmd --get-zone-of-interface=wlanap 2>&1)"

log "systemctl stop wavewarden"
systemctl stop wavewarden || fail "stop"
[ "$(systemctl show -P Result wavewarden)" = success ] ||
  fail "unclean stop: $(systemctl show -p Result -p ExecMainCode -p ExecMainStatus wavewarden)"
pgrep -x hostapd >/dev/null && fail "hostapd still runs"
pgrep -x dnsmasq >/dev/null && fail "dnsmasq still runs"
[ "$(cat "$block")" = 0 ] || fail "scan blocking left at $(cat "$block")"
no_denials

if [ "$station" = supplicant ]; then
  log "apt removes the package, installs it again, purges it"
  copy=/etc/firewalld/zones/nm-shared.xml
  debs=("$build"/device-supplicant/package/*.deb)
  apt_get() {
    DEBIAN_FRONTEND=noninteractive apt-get -y -qq "$@" >"$work/apt.log" 2>&1 ||
      fail "apt-get $*: $(tail -5 "$work/apt.log")"
  }
  zone_known() { firewall-cmd --get-zones | grep -qw nm-shared; }
  [ -f "$copy" ] || fail "no zone file $copy"
  apt_get remove wavewarden
  [ -e "$copy" ] && fail "the zone file stays after the removal"
  zone_known && fail "firewalld keeps the zone after the removal"
  apt_get install "${debs[0]}"
  zone_known || fail "no zone nm-shared in firewalld after installing again"
  systemctl is-enabled -q wavewarden || fail "the install did not enable the service"
  wait_for "SoftAP Running, started by the install" 600 status_is "2	SoftAP Running"
  apt_get purge wavewarden
  zone_known && fail "firewalld keeps the zone after the purge"
  left=$(find /etc /usr /lib /var/lib /var/log -name '*wavewarden*' 2>/dev/null |
    grep -v '^/var/lib/dpkg/' || true)
  [ -z "$left" ] || fail "left after the purge: $left"
  for file in "$copy" /etc/softap_cache_domain /var/log/hostapd.log /var/log/dnsmasq_ap.log; do
    [ -e "$file" ] && fail "left after the purge: $file"
  done
  pgrep -x hostapd >/dev/null && fail "hostapd runs after the purge"
fi
pass
