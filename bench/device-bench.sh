#!/bin/bash
# The device image's figures, each beside its floor measured in the same
# boot (bench/run.sh --device starts it):
#   tests/device/run.sh bench/device-bench.sh BUILD_DIR
# Prints "BENCH name value unit" lines. Wall clock in a VM that emulates its
# CPUs: only the comparisons within one run mean much.
#
#   service start to the access point enabled (the last create replayed),
#     against the same bring-up by hand (below) and hostapd alone, each to
#     "AP-ENABLED";
#   create to the phone's first download from upstream, against the same
#     bring-up done by hand: the commands the daemon ran (the interface,
#     hostapd, dnsmasq and the firewall-cmd calls, as the daemon logged
#     them, each timed), with firewalld's runtime state reset before each;
#   the phone's outage (from its probes every 100 ms) when the upstream
#     network moves to another channel and the access point follows, against
#     its outage when hostapd alone is restarted on another channel.
# The access point shares the station's channel ("scs"), so a roam moves it.
set -uo pipefail
build=$1
. "$(dirname "$0")/../tests/device/device-lib.sh"

hostapd_enabled() { grep -aq "AP-ENABLED" /var/log/hostapd.log 2>/dev/null; }
phone_download() {
  wait_for "the phone associated" 600 client_linked
  phone_lease
  download_works 600
}
device_up
service_up

# Create to the phone's first download, with firewalld as after boot.
start=$(now_ms)
create_and_wait - - scs nat
read_creds
start_client "$ssid" "$passphrase"
phone_download
create_download=$(($(now_ms) - start))

# The roam: the upstream network moves from channel 6 to channel 11.
start_probes
stop_upstream
roam=$(now_ms)
start_upstream 11 02:00:00:00:aa:01
wait_for "wlanap on channel 11" 900 ap_on 11
outage "$roam" "$(now_ms)"
roam_outage=$outage_ms

# Service start to the access point enabled: the daemon replays the last
# create; wlanap is gone, as after boot.
systemctl stop wavewarden
iw dev wlanap del 2>/dev/null
journal_lines=$(unit_log | wc -l)
rm -f /var/log/hostapd.log
start=$(now_ms)
systemctl start wavewarden
wait_for "AP-ENABLED after the start" 900 hostapd_enabled
service_start=$(($(now_ms) - start))
wait_for "SoftAP Running" 600 status_is "2	SoftAP Running"
# What that bring-up ran, in order, as the daemon logged it.
unit_log | tail -n +"$((journal_lines + 1))" |
  sed -n -e 's/^# \(.*\) = -\{0,1\}[0-9]*$/\1/p' -e 's/^# \(dnsmasq .*\)$/\1 \&/p' >"$work/by-hand"
grep -q "^hostapd " "$work/by-hand" || fail "no hostapd in the bring-up: $(cat "$work/by-hand")"
cp /var/run/softap_hostapd.conf /var/run/softap_dnsmasq.conf "$work/"
systemctl stop wavewarden
iw dev wlanap del 2>/dev/null

# hostapd alone, on the same configuration.
iw dev wlan0 interface add wlanap type __ap || fail "wlanap by hand"
rm -f /var/log/hostapd.log
start=$(now_ms)
hostapd "$work/softap_hostapd.conf" >/var/log/hostapd.log 2>&1 &
alone_pid=$!
wait_for "hostapd alone" 900 hostapd_enabled
alone=$(($(now_ms) - start))
stop_pid alone_pid
iw dev wlanap del 2>/dev/null

# The same bring-up by hand, firewalld's runtime state reset first; each
# command timed, the firewall-cmd calls apart.
firewall-cmd --reload >/dev/null || fail "firewalld reload"
cp "$work/softap_hostapd.conf" "$work/softap_dnsmasq.conf" /var/run/
rm -f /var/log/hostapd.log
firewall_ms=0
start=$(now_ms)
while IFS= read -r line; do
  before=$(now_ms)
  sh -c "$line" >/dev/null 2>&1
  case "$line" in firewall-cmd*) firewall_ms=$((firewall_ms + $(now_ms) - before)) ;; esac
done <"$work/by-hand"
wait_for "AP-ENABLED by hand" 900 hostapd_enabled
by_hand_enabled=$(($(now_ms) - start))
phone_download
by_hand=$(($(now_ms) - start))

# The floor of the roam: hostapd alone restarted on another channel (6),
# with the phone probing.
sed 's/^channel=11$/channel=6/' /var/run/softap_hostapd.conf >"$work/moved.conf"
start_probes
killall -w hostapd
moved=$(now_ms)
hostapd "$work/moved.conf" >/var/log/hostapd.log 2>&1 &
wait_for "hostapd alone on channel 6" 900 ap_on 6
outage "$moved" "$(now_ms)"
alone_outage=$outage_ms
killall hostapd dnsmasq 2>/dev/null

echo "BENCH service_start_to_AP_enabled $service_start ms"
echo "BENCH the_same_bring-up_by_hand_to_AP_enabled $by_hand_enabled ms"
echo "BENCH hostapd_alone,_start_to_AP_enabled $alone ms"
echo "BENCH create_to_the_phone's_first_download $create_download ms"
echo "BENCH the_same_bring-up_by_hand_to_the_phone's_first_download $by_hand ms"
echo "BENCH of_it_the_firewall-cmd_calls $firewall_ms ms"
echo "BENCH phone's_outage,_upstream_moving_to_another_channel $roam_outage ms"
echo "BENCH phone's_outage,_hostapd_alone_restarted_on_another_channel $alone_outage ms"
no_denials
pass
