#!/bin/bash
# Probe (not a scenario, not in CI): what Debian's hostapd 2.10 on hwsim does
# with CHAN_SWITCH on each kind of radio, a lone access point and one beside
# a station joined to an upstream network on channel 1.
#   tests/radio/vm.sh tests/radio/probe-csa.sh BUILD_DIR
build=$1
modprobe mac80211_hwsim radios=0 || exit 2
"$build/tests/hwsim_radio" --alpha2 DE >/dev/null                # wlan0: upstream
"$build/tests/hwsim_radio" --channels 1 --alpha2 DE >/dev/null   # wlan1
"$build/tests/hwsim_radio" --channels 2 --alpha2 DE >/dev/null   # wlan2
"$build/tests/hwsim_radio" --channels 1 --alpha2 DE >/dev/null   # wlan3
"$build/tests/hwsim_radio" --channels 2 --alpha2 DE >/dev/null   # wlan4
sleep 1
ip netns add up
iw phy "$(cat /sys/class/net/wlan0/phy80211/name)" set netns name up
printf 'interface=wlan0\ndriver=nl80211\nssid=upstream\nhw_mode=g\nchannel=1\ncountry_code=DE\n' >/tmp/up.conf
cp /usr/sbin/hostapd /tmp/upstream-ap
ip netns exec up /tmp/upstream-ap /tmp/up.conf >/tmp/up.log 2>&1 &
sleep 2
printf 'network={\n ssid="upstream"\n key_mgmt=NONE\n}\n' >/tmp/st.conf

# probe IFACE CHANNEL WHAT: an access point on IFACE, switched twice.
probe() {
  printf 'interface=%s\ndriver=nl80211\nssid=t%s\nhw_mode=g\nchannel=%s\ncountry_code=DE\nieee80211ax=1\nctrl_interface=/var/run/hostapd\n' \
    "$1" "$1" "$2" >"/tmp/h-$1.conf"
  hostapd -d "/tmp/h-$1.conf" >"/tmp/h-$1.log" 2>&1 &
  sleep 3
  grep -q AP-ENABLED "/tmp/h-$1.log" || echo "$3: $1 not enabled"
  for freq in 2462 2437; do
    n=$(grep -c AP-CSA-FINISHED "/tmp/h-$1.log")
    r=$(hostapd_cli -i "$1" chan_switch 5 $freq center_freq1=$freq bandwidth=20 he 2>&1 | tail -1)
    sleep 2
    m=$(grep -c AP-CSA-FINISHED "/tmp/h-$1.log")
    echo "$3: to $freq: reply $r, completed $((m - n)) $(grep "switch_channel failed" "/tmp/h-$1.log" | tail -1)"
  done
}
# beside IFACE: a station on IFACE joins the upstream network.
beside() {
  wpa_supplicant -i "$1" -c /tmp/st.conf >"/tmp/st-$1.log" 2>&1 &
  for _ in $(seq 50); do iw dev "$1" link | grep -q SSID && break; sleep 0.2; done
  iw dev "$1" interface add "ap-$1" type __ap
}

[ -n "${WW_PROBE_WIDE_ONLY:-}" ] || {
probe wlan1 1 "one-channel radio, lone"
probe wlan2 1 "two-channel radio, lone"
beside wlan3
probe ap-wlan3 1 "one-channel radio beside a station"
beside wlan4
probe ap-wlan4 6 "two-channel radio beside a station"
}

# The daemon's own command texts on a lone access point of a radio of one
# channel, 5 GHz at 80 MHz and 6 GHz at 160 MHz: what hostapd 2.10 takes.
wide() {
  printf '%s\n' "interface=$1" driver=nl80211 "ssid=w$1" "hw_mode=a" "channel=$2" country_code=DE \
    ieee80211n=1 ieee80211ac=1 ieee80211ax=1 "$3" ctrl_interface=/var/run/hostapd >"/tmp/w-$1.conf"
  hostapd -d "/tmp/w-$1.conf" >"/tmp/w-$1.log" 2>&1 &
  sleep 4
  grep -q AP-ENABLED "/tmp/w-$1.log" || { echo "$4: not enabled: $(grep -i 'fail\|invalid' "/tmp/w-$1.log" | tail -2)"; return; }
  r=$(hostapd_cli -i "$1" $5 2>&1 | tail -1)
  sleep 2
  echo "$4: reply $r, completed $(grep -c AP-CSA-FINISHED "/tmp/w-$1.log"): $(grep AP-CSA-FINISHED "/tmp/w-$1.log" | tail -1)"
  iw dev "$1" info | grep channel
}
"$build/tests/hwsim_radio" --channels 1 --alpha2 DE >/dev/null   # wlan5
"$build/tests/hwsim_radio" --channels 1 --alpha2 DE >/dev/null   # wlan6
sleep 1
wide wlan5 36 "vht_oper_chwidth=1
vht_oper_centr_freq_seg0_idx=42
he_oper_chwidth=1
he_oper_centr_freq_seg0_idx=42
ht_capab=[HT40+]" "5 GHz 80 MHz, 36 to 149" \
  "chan_switch 5 5745 sec_channel_offset=1 center_freq1=5775 bandwidth=80 ht vht he eht"
wide wlan6 37 "op_class=134
he_oper_chwidth=2
he_oper_centr_freq_seg0_idx=47
wpa=2
wpa_key_mgmt=SAE
rsn_pairwise=CCMP
ieee80211w=2
sae_pwe=1
sae_password=probe-pass" "6 GHz 160 MHz, 37 to 1" \
  "chan_switch 5 5955 sec_channel_offset=1 center_freq1=6025 bandwidth=160 he eht"
