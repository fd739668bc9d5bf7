#!/bin/bash
# Device scenario: the package installed over a running device whose
# NetworkManager did not yet have the drop-in that leaves wlanap alone (as
# after a package of before it): NetworkManager has taken wlanap over and,
# restarted, removed its address. apt installing the package makes NetworkManager let
# go of wlanap and restarts the daemon, which gives wlanap its address back:
# the phone downloads again, without a reboot.
# Before: the service started while wlan0 does not exist yet stays
# "activating", saying so, and is active only once its socket serves.
# After: the daemon stopped with SIGSTOP is aborted by the unit's watchdog
# and started again, and the replayed request brings the phone back.
#   scenario-upgrade.sh BUILD_DIR
set -uo pipefail
build=$1
. "$(dirname "$0")/device-lib.sh"

dropin=/usr/lib/NetworkManager/conf.d/90-wavewarden.conf
[ -f "$dropin" ] || fail "the package has no NetworkManager drop-in"
rm "$dropin"
systemctl restart NetworkManager || fail "restarting NetworkManager"

log "the service started before wlan0 exists"
systemctl start --no-block wavewarden || fail "start"
says_waiting() { [ "$(systemctl show -P StatusText wavewarden)" = "Waiting for wlan0" ]; }
wait_for "the unit saying it waits for wlan0" 300 says_waiting
[ "$(systemctl show -P ActiveState wavewarden)" = activating ] ||
  fail "not activating while waiting: $(systemctl show -P ActiveState wavewarden)"
[ -e /var/run/wavewarden.socket ] && fail "a socket before wlan0 exists"
device_up
# Active and no socket yet would be a start reported too early.
active_with_socket() {
  systemctl is-active -q wavewarden || return 1
  [ -S /var/run/wavewarden.socket ] || fail "active before its socket exists"
}
wait_for "the unit active" 300 active_with_socket
service_up
create_and_wait - - hbs nat
nm_state() { nmcli -t -f DEVICE,STATE device | sed -n 's/^wlanap://p'; }
nm_manages() { [ -n "$(nm_state)" ] && [ "$(nm_state)" != unmanaged ]; }
wait_for "NetworkManager taking wlanap over" 300 nm_manages
# Taking it over, NetworkManager leaves the address it found; starting again
# with wlanap its own, it removes it (as on an upgrade of NetworkManager).
systemctl restart NetworkManager || fail "restarting NetworkManager"
ap_address() { ip -4 addr show dev wlanap | grep -q "inet 10.35.78.1/24"; }
no_address() { ! ap_address; }
wait_for "wlanap losing its address" 300 no_address
log "NetworkManager took wlanap over: $(nm_state)"

log "apt installs the package over the running device"
pid=$(systemctl show -P MainPID wavewarden)
debs=("$build"/device/package/*.deb)
DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --reinstall "${debs[0]}" \
  >"$work/apt.log" 2>&1 || fail "apt: $(tail -5 "$work/apt.log")"
nm_lets_go() { [ "$(nm_state)" = unmanaged ]; }
wait_for "NetworkManager letting go of wlanap" 300 nm_lets_go
[ "$(systemctl show -P MainPID wavewarden)" != "$pid" ] || fail "the daemon was not restarted"
wait_for "SoftAP Running after the install" 600 status_is "2	SoftAP Running"
wait_for "wlanap's address back" 300 ap_address
unit_has "wlanap has lost 10.35.78.1, adding it again" || fail "no line about the lost address"
phone_join
download_works

log "the daemon stopped with SIGSTOP"
pid=$(systemctl show -P MainPID wavewarden)
restarts=$(systemctl show -P NRestarts wavewarden)
stopped=$(now_ms)
kill -STOP "$pid" || fail "SIGSTOP"
restarted() { [ "$(systemctl show -P NRestarts wavewarden)" -gt "$restarts" ]; }
wait_for "the watchdog restarting the daemon" 1200 restarted
log "the watchdog restarted the daemon after $(($(now_ms) - stopped)) ms"
unit_has "Watchdog timeout" || fail "restarted, but not by the watchdog"
[ "$(systemctl show -P MainPID wavewarden)" != "$pid" ] || fail "the same daemon"
wait_for "SoftAP Running after the watchdog" 600 status_is "2	SoftAP Running"
wait_for "the phone back" 600 client_linked
download_works 600
no_denials
pass
