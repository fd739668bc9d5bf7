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

# The VM has one emulated CPU, where starting a process costs tens of
# milliseconds: a poll that ran grep or sleep every 10 ms would take that CPU
# from the daemon while it is being timed. So the clock, the naps and the
# tests of the polls below are bash builtins, and start no process.
now_ms() { printf -v "$1" '%d' $((${EPOCHREALTIME/./} / 1000)); }
mkfifo "$work/tick"
exec {tick}<>"$work/tick"
nap() { read -r -t "$1" -u "$tick" _ || true; }
# file_has FILE TEXT; file_count VAR FILE TEXT: on the file as it is now.
file_has() {
  local text=''
  [ -r "$1" ] || return 1
  IFS= read -r -d '' text <"$1" || true
  [[ $text == *"$2"* ]]
}
file_count() {
  local text='' rest
  [ -r "$2" ] && { IFS= read -r -d '' text <"$2" || true; }
  rest=${text//"$3"/}
  printf -v "$1" '%d' $(((${#text} - ${#rest}) / ${#3}))
}

# poll TRIES COMMAND...: true once COMMAND holds, tried every 10 ms; COMMAND
# must be built in (see above).
poll() {
  local tries=$1 i
  shift
  for ((i = 0; i < tries; i++)); do
    "$@" && return 0
    nap 0.01
  done
  return 1
}

more_connects_than() {
  local n
  file_count n "$work/station.log" "CTRL-EVENT-CONNECTED"
  [ "$n" -gt "$1" ]
}
# The daemon starts hostapd with its log truncated; the caller removes the
# previous log, so an "AP-ENABLED" here is the new hostapd's.
enabled() { file_has /var/log/hostapd.log "AP-ENABLED"; }
alone_enabled() { file_has "$work/alone.log" "AP-ENABLED"; }

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
# The shell commands the daemon logged on lines $1 + 1 to $2 of its
# standard error: their tools, a line each.
tools_between() {
  sed -n "$(($1 + 1)),$2p" "$daemon_err" | sed -n 's/^# \([^ ]*\).*/\1/p'
}
# run_timed VAR LINE: runs the shell line, output dropped, and adds its
# milliseconds to the variable VAR.
run_timed() {
  local start end
  now_ms start
  sh -c "$2" >/dev/null 2>&1
  now_ms end
  printf -v "$1" '%d' $((${!1} + end - start))
}
# Their wall time, each re-run in its harmless form.
commands_ms() {
  local total=0
  for tool in $(tools_between "$1" "$2"); do
    run_timed total "$(harmless "$tool")"
  done
  echo "$total"
}

# Milliseconds since boot, now and at the start of process $2 (the kernel
# keeps the start in clock ticks: 10 ms steps), into the variable $1.
uptime_ms() {
  local up
  read -r up _ </proc/uptime
  printf -v "$1" '%d' $((${up%.*} * 1000 + 10#${up#*.} * 10))
}
started_ms() {
  local stat
  stat=$(cat "/proc/$2/stat") || return 1
  set -- "$1" ${stat##*) }
  printf -v "$1" '%d' $((${21} * 1000 / $(getconf CLK_TCK)))
}
# create_timed VAR: a create, and the milliseconds until its "AP-ENABLED".
create_timed() {
  local start end reply
  rm -f /var/log/hostapd.log
  now_ms start
  reply=$(wavectl create - - hbs nat)
  [[ $reply == *Creating* ]] || fail "create refused: $reply"
  poll 3000 enabled || fail "no AP-ENABLED after create"
  now_ms end
  printf -v "$1" '%d' $((end - start))
}

touch /root/zzzOldDiplexer
station_up DE
start_daemon
# The adopted country refreshes the (absent) access point; a create sent
# during that pass would wait for it.
wait_for "the refresh after the country adoption" 300 status_is "0	Disabled."

# The first bring-up after boot: the kernel loads its cipher modules when
# hostapd installs the first keys (about 2 s of this VM's emulated CPU), and
# the programs come into the page cache. hostapd alone, timed later, finds
# both done, so the comparison below is made on the second bring-up.
create_timed cold
wait_for "running" 300 status_is "2	SoftAP Running"
wavectl teardown | grep -q "Tearing down" || fail "teardown refused"
wait_for "disabled" 100 status_is "0	Disabled."
gone() { ! pgrep -x hostapd; }
wait_for "hostapd gone" 50 gone
# As after boot: no interface.
iw dev wlanap del 2>/dev/null

# Bring-up: from the request to hostapd's "AP-ENABLED" (the kernel beacons
# and answers probes from then on).
lines_before=$(wc -l <"$daemon_err")
uptime_ms start_up
create_timed bringup
# Split at hostapd's start: the daemon's part before it, hostapd's after.
hostapd_pid=$(pgrep -x hostapd | head -1)
started_ms launch "$hostapd_pid" || fail "hostapd's start unknown"
launch=$((launch - start_up))
# The shell commands the bring-up ran (each logged as "# COMMAND = STATUS").
lines_up=$(wc -l <"$daemon_err")
commands=$(tools_between "$lines_before" "$lines_up" | wc -l)
wait_for "wlanap on channel 149" 100 ap_on 149
cp /var/run/softap_hostapd.conf "$work/alone.conf"
wait_for "running" 300 status_is "2	SoftAP Running"

# hostapd alone: the daemon's own configuration of the bring-up, on the same
# interface and radio, with the station where it was, through the same
# adapter, from its start to "AP-ENABLED". The daemon's own hostapd is
# stopped for it; its next pass is 20 s away, and a refresh afterwards
# brings its access point back.
killall hostapd 2>/dev/null
wait_for "hostapd gone" 50 gone
now_ms start
"$build/tests/radio-bin/hostapd" "$work/alone.conf" >"$work/alone.log" 2>&1 &
alone_pid=$!
poll 3000 alone_enabled || fail "hostapd alone did not come up: $(tail -5 "$work/alone.log")"
now_ms end
alone=$((end - start))
stop_pid alone_pid
wait_for "hostapd gone" 50 gone
# The refresh sets the state to 1 before it answers.
wavectl refresh | grep -q Refreshing || fail "refresh refused"
wait_for "running again" 300 status_is "2	SoftAP Running"
wait_for "wlanap on channel 149 again" 100 ap_on 149

# Reaction: the upstream moves to channel 149, the station follows; from its
# connect to the access point enabled on channel 36. The running hostapd
# keeps writing to the log it has open; the one the daemon starts next
# writes a new one.
file_count before "$work/station.log" "CTRL-EVENT-CONNECTED"
lines_roam=$(wc -l <"$daemon_err")
rm -f /var/log/hostapd.log
stop_upstream
start_upstream 149 02:00:00:00:01:49
poll 3000 more_connects_than "$before" || fail "the station did not roam"
now_ms start
poll 3000 enabled || fail "the access point did not come back after the roam"
now_ms end
reaction=$((end - start))
ap_on 36 || fail "the access point did not move to channel 36: $(ap_channel_line)"
lines_moved=$(wc -l <"$daemon_err")
reaction_commands=$(tools_between "$lines_roam" "$lines_moved" | wc -l)

# The round trips where nl80211 exists, against the daemon as it runs the
# access point: its slow-down against the floors of the same VM.
wait_for "running on channel 36" 100 status_is "2	SoftAP Running"
"$build/bench/ww_bench" --attach || fail "round trips"

# What the bring-up's shell commands cost here, each re-run in a harmless
# form with the same shell and tool (the VM emulates its CPU, so a process
# start is dear and varies with the host's load).
command_ms=$(commands_ms "$lines_before" "$lines_up")
# The commands before the one that starts hostapd, as the daemon ran them.
before_hostapd=$(tools_between "$lines_before" "$lines_up" | sed '/^hostapd$/,$d' | wc -l)
prefix_ms=$(commands_ms "$lines_before" \
  "$(awk -v from="$lines_before" 'NR > from && /^# hostapd / { print NR - 1; exit }' "$daemon_err")")
reaction_command_ms=$(commands_ms "$lines_roam" "$lines_moved")

# Those same commands once more, exactly as the daemon ran them, with the
# daemon stopped and its access point gone (the harmless forms above start
# the same programs but ask less of the kernel).
hostapd_line=$(awk -v from="$lines_before" 'NR > from && /^# hostapd / { print NR; exit }' "$daemon_err")
stop_daemon
killall hostapd dnsmasq 2>/dev/null
wait_for "hostapd gone" 50 gone
iw dev wlanap del 2>/dev/null
sed -n "$((lines_before + 1)),$((hostapd_line - 1))p" "$daemon_err" |
  sed -n 's/^# \(.*\) = -\{0,1\}[0-9]*$/\1/p' >"$work/replay"
replay_ms=0
while IFS= read -r line; do
  run_timed replay_ms "$line"
done <"$work/replay"
iw dev wlanap del 2>/dev/null
# Sleeps of the creation: 100 ms after adding the interface, 200 ms after
# bringing it up, 100 ms after starting hostapd.
sleeps=400

echo "BENCH first_bring-up_after_boot,_create_to_AP_enabled $cold ms"
echo "BENCH bring-up,_create_to_AP_enabled $bringup ms"
echo "BENCH hostapd_alone,_start_to_AP_enabled $alone ms"
echo "BENCH bring-up_beyond_hostapd $((bringup - alone)) ms"
echo "BENCH shell_commands_of_the_bring-up $commands"
echo "BENCH the_same_commands_re-run $command_ms ms"
echo "BENCH bring-up_beyond_hostapd,_its_commands_and_${sleeps}_ms_of_sleeps $((bringup - alone - sleeps - command_ms)) ms"
echo "BENCH bring-up,_create_to_hostapd_started $launch ms"
echo "BENCH bring-up,_hostapd_started_to_AP_enabled $((bringup - launch)) ms"
echo "BENCH commands_before_hostapd $before_hostapd"
echo "BENCH commands_before_hostapd_re-run $prefix_ms ms"
echo "BENCH commands_before_hostapd_replayed $replay_ms ms"
echo "BENCH create_to_hostapd_started_beyond_its_replayed_commands_and_300_ms_of_sleeps $((launch - replay_ms - 300)) ms"
echo "BENCH reaction,_station_connect_to_AP_on_new_channel $reaction ms"
echo "BENCH reaction_beyond_hostapd $((reaction - alone)) ms"
echo "BENCH shell_commands_of_the_reaction $reaction_commands"
echo "BENCH commands_of_the_reaction_re-run $reaction_command_ms ms"
echo "BENCH reaction_beyond_hostapd_and_its_commands $((reaction - alone - reaction_command_ms)) ms"
echo "BENCH supervision_period 20000 ms"
pass
