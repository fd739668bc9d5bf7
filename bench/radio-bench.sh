#!/bin/bash
# Bring-up and reaction of the daemon on simulated radios, each against
# hostapd's own start on the same radio in the same run. Runs in the radio
# VM (bench/run.sh --radio starts it):
#   tests/radio/vm.sh bench/radio-bench.sh BUILD_DIR
# Prints "BENCH name value unit" lines; times are wall clock in the VM, which
# emulates its CPU, so only the comparisons within one run mean much.
#
# The board is the old-diplexer one: with the station on 2.4 GHz the access
# point comes up on 5 GHz channel 149; when the station roams to channel 149
# the access point moves to channel 36.
set -uo pipefail
build=$1
. "$(dirname "$0")/../tests/radio/radio-lib.sh"

now_ms() { echo $(($(date +%s%N) / 1000000)); }

# poll TRIES COMMAND...: true once COMMAND holds, polled every 10 ms.
poll() {
  local tries=$1
  shift
  for _ in $(seq "$tries"); do
    "$@" >/dev/null 2>&1 && return 0
    sleep 0.01
  done
  return 1
}

connects() { grep -ac "CTRL-EVENT-CONNECTED" "$work/station.log"; }
more_connects_than() { [ "$(connects)" -gt "$1" ]; }
moved_and_enabled() { ap_on 36 && hostapd_enabled; }
alone_enabled() { grep -aq "AP-ENABLED" "$work/alone.log"; }

touch /root/zzzOldDiplexer
station_up DE
start_daemon
# The adopted country refreshes the (absent) access point; a create sent
# during that pass would wait for it.
wait_for "the refresh after the country adoption" 300 status_is "0	Disabled."

# Bring-up: from the request to hostapd's "AP-ENABLED" (the kernel beacons
# and answers probes from then on).
lines_before=$(wc -l <"$daemon_err")
start=$(now_ms)
wavectl create - - hbs nat | grep -q Creating || fail "create refused"
poll 3000 hostapd_enabled || fail "no AP-ENABLED after create"
bringup=$(($(now_ms) - start))
# The shell commands the bring-up ran (each logged as "# COMMAND = STATUS").
commands=$(tail -n +"$((lines_before + 1))" "$daemon_err" | grep -ac '^# ')
wait_for "wlanap on channel 149" 100 ap_on 149
cp /var/run/softap_hostapd.conf "$work/alone.conf"
wait_for "running" 300 status_is "2	SoftAP Running"

# hostapd alone: the daemon's own configuration of the bring-up, on the same
# interface and radio, with the station where it was, through the same
# adapter, from its start to "AP-ENABLED". The daemon's own hostapd is
# stopped for it; its next pass is 20 s away, and a refresh afterwards
# brings its access point back.
killall hostapd 2>/dev/null
gone() { ! pgrep -x hostapd; }
wait_for "hostapd gone" 50 gone
start=$(now_ms)
"$build/tests/radio-bin/hostapd" "$work/alone.conf" >"$work/alone.log" 2>&1 &
alone_pid=$!
poll 3000 alone_enabled || fail "hostapd alone did not come up: $(tail -5 "$work/alone.log")"
alone=$(($(now_ms) - start))
stop_pid alone_pid
wait_for "hostapd gone" 50 gone
# The refresh sets the state to 1 before it answers.
wavectl refresh | grep -q Refreshing || fail "refresh refused"
wait_for "running again" 300 status_is "2	SoftAP Running"
wait_for "wlanap on channel 149 again" 100 ap_on 149

# Reaction: the upstream moves to channel 149, the station follows; from its
# connect to the access point enabled on channel 36.
before=$(connects)
stop_upstream
start_upstream 149 02:00:00:00:01:49
poll 3000 more_connects_than "$before" || fail "the station did not roam"
start=$(now_ms)
poll 3000 moved_and_enabled || fail "the access point did not move to channel 36"
reaction=$(($(now_ms) - start))

# The round trips where nl80211 exists, against the daemon as it runs the
# access point: its slow-down against the two floors of the same VM.
wait_for "running on channel 36" 100 status_is "2	SoftAP Running"
"$build/bench/ww_bench" --attach || fail "round trips"

# What the bring-up's shell commands cost here, each re-run in a harmless
# form with the same shell and tool (the VM emulates its CPU, so a process
# start is dear and varies with the host's load).
harmless() {
  case "$1" in
    iw) echo "iw dev wlanap info" ;;
    ip) echo "ip link show dev wlanap" ;;
    ifconfig) echo "ifconfig wlanap" ;;
    firewall-cmd) echo "firewall-cmd --state" ;;
    killall) echo "killall -0 ww-no-such-program" ;;
    *) echo "true" ;;  # hostapd and dnsmasq are started in the background
  esac
}
command_ms=0
for tool in $(tail -n +"$((lines_before + 1))" "$daemon_err" | sed -n 's/^# \([^ ]*\).*/\1/p'); do
  line=$(harmless "$tool")
  start=$(now_ms)
  sh -c "$line > /dev/null 2>&1"
  command_ms=$((command_ms + $(now_ms) - start))
done
# Sleeps of the creation: 100 ms after adding the interface, 200 ms after
# bringing it up, 100 ms after starting hostapd.
sleeps=400

echo "BENCH bring-up,_create_to_AP_enabled $bringup ms"
echo "BENCH hostapd_alone,_start_to_AP_enabled $alone ms"
echo "BENCH bring-up_beyond_hostapd $((bringup - alone)) ms"
echo "BENCH shell_commands_of_the_bring-up $commands"
echo "BENCH the_same_commands_re-run $command_ms ms"
echo "BENCH bring-up_beyond_hostapd,_its_commands_and_${sleeps}_ms_of_sleeps $((bringup - alone - sleeps - command_ms)) ms"
echo "BENCH reaction,_station_connect_to_AP_on_new_channel $reaction ms"
echo "BENCH reaction_beyond_hostapd $((reaction - alone)) ms"
echo "BENCH supervision_period 20000 ms"
pass
